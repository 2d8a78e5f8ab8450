// Terrain walk with per-vertex formulas, written straight from the mesh's
// description: nothing is looked up, everything is computed where it is
// passed.
#include "terrain_mesh_per_vertex.h"

#include "render/terrain_mesh.h"
#include "state/viewer_state.h"

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

namespace {

void emitFormulaVertex(const ViewerState& state, float divisor, int shadingMode, bool colorsInverted,
                       int height, double x, double z)
{
    const float grey = vertexGrey(height, state.maxIterations, divisor, shadingMode, colorsInverted);
    glColor3f(grey, grey, grey);
    glVertex3f(static_cast<float>(x), vertexHeight(height), static_cast<float>(z));
}

} // namespace

void drawTerrainPerVertex(const ViewerState& state, int shadingMode, bool colorsInverted)
{
    const float divisor = shadingMode == SHADE_LINEAR ? 0.0f : shadingDivisor(state.maxIterations);
    const std::size_t n = static_cast<std::size_t>(state.gridSize);
    if (n < 2) {
        return;
    }
    const bool overlapping = shadingMode == SHADE_LINEAR && colorsInverted;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double row = static_cast<double>(i);
        const std::uint16_t* top = state.heights.values.get() + i * n;
        const std::uint16_t* bottom = top + n;
        const std::uint8_t* flags = state.flatCells.values.get() + i * n;
        glBegin(GL_TRIANGLE_STRIP);
        for (std::size_t j = 0; j < n; ++j) {
            if (flags[j] == 1) {
                const double start = static_cast<double>(j);
                emitFormulaVertex(state, divisor, shadingMode, colorsInverted, top[j], start, row);
                emitFormulaVertex(state, divisor, shadingMode, colorsInverted, bottom[j], start, row + 1.0);
                glEnd();
                glBegin(GL_QUADS);
                const int height = top[j];
                const float grey = vertexGrey(height, state.maxIterations, divisor, shadingMode, colorsInverted);
                const float y = vertexHeight(height);
                glColor3f(grey, grey, grey);
                glVertex3f(static_cast<float>(start - 0.02), y, static_cast<float>(row - 0.02));
                glVertex3f(static_cast<float>(start - 0.02), y, static_cast<float>(row + 1.02));
                while (j < n && flags[j] == 1) {
                    ++j;
                }
                const double end = static_cast<double>(j);
                glVertex3f(static_cast<float>(end + 0.02), y, static_cast<float>(overlapping ? row + 1.0 : row + 1.02));
                glVertex3f(static_cast<float>(end + 0.02), y, static_cast<float>(overlapping ? row : row - 0.02));
                glEnd();
                glBegin(GL_TRIANGLE_STRIP);
            }
            const double x = static_cast<double>(j);
            emitFormulaVertex(state, divisor, shadingMode, colorsInverted, top[j], x, overlapping ? row - 0.01 : row);
            emitFormulaVertex(state, divisor, shadingMode, colorsInverted, bottom[j], x,
                              overlapping ? row + 1.01 : row + 1.0);
        }
        glEnd();
    }
}
