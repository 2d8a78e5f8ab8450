// Geometry view of the recorder's log.
#include "recorded_geometry.h"

#include <bit>
#include <cstring>

std::vector<RecordedPrimitive> recordedPrimitives(std::size_t first)
{
    std::vector<RecordedPrimitive> primitives;
    const std::vector<GlCall>& calls = recordedCalls();
    bool open = false;
    float grey = 0.0f;
    for (std::size_t k = first; k < calls.size(); ++k) {
        const GlCall& call = calls[k];
        if (std::strcmp(call.name, "glBegin") == 0) {
            primitives.push_back({open ? -1 : static_cast<int>(call.args[0]), {}});
            open = true;
        } else if (std::strcmp(call.name, "glEnd") == 0) {
            open = false;
        } else if (std::strcmp(call.name, "glColor3f") == 0) {
            grey = static_cast<float>(call.args[0]);
        } else if (std::strcmp(call.name, "glVertex3f") == 0 && open) {
            primitives.back().vertices.push_back({static_cast<float>(call.args[0]), static_cast<float>(call.args[1]),
                                                  static_cast<float>(call.args[2]), grey});
        }
    }
    if (open) {
        primitives.back().mode = -1;
    }
    return primitives;
}

std::uint32_t floatBits(double recorded)
{
    return std::bit_cast<std::uint32_t>(static_cast<float>(recorded));
}
