// The terrain walk with its per-call tables emits exactly the call stream of
// the walk that forms every grey, y and z at its vertex: the same calls, in
// the same order, with the same bits in every argument.
#include "fractal/height_field.h"
#include "gl_recorder.h"
#include "render/terrain_mesh.h"
#include "state/viewer_state.h"
#include "terrain_mesh_per_vertex.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <ios>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<GlCall> recordedMesh(void (*draw)(const ViewerState&, int, bool), const ViewerState& state,
                                 int shadingMode, bool colorsInverted)
{
    clearRecordedCalls();
    draw(state, shadingMode, colorsInverted);
    return recordedCalls();
}

::testing::AssertionResult sameCallStream(const std::vector<GlCall>& expected, const std::vector<GlCall>& actual)
{
    if (expected.size() != actual.size()) {
        return ::testing::AssertionFailure() << expected.size() << " calls expected, " << actual.size() << " made";
    }
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const GlCall& e = expected[k];
        const GlCall& a = actual[k];
        const bool sameArgs = e.argCount == a.argCount &&
                              std::memcmp(e.args, a.args, sizeof(double) * static_cast<std::size_t>(e.argCount)) == 0;
        if (std::strcmp(e.name, a.name) != 0 || !sameArgs) {
            ::testing::AssertionResult failure = ::testing::AssertionFailure();
            failure << "call " << k << ": expected " << e.name << std::hexfloat;
            for (int n = 0; n < e.argCount; ++n) {
                failure << ' ' << e.args[n];
            }
            failure << ", got " << a.name;
            for (int n = 0; n < a.argCount; ++n) {
                failure << ' ' << a.args[n];
            }
            return failure;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(TerrainMeshTables, CallStreamEqualsPerVertexFormulas)
{
    for (auto [gridSize, maxIterations] : {std::pair{128, 25}, std::pair{256, 75}}) {
        for (bool heightInverted : {false, true}) {
            ViewerState state;
            state.gridSize = gridSize;
            state.maxIterations = maxIterations;
            state.heightInverted = heightInverted;
            computeFractal(state);
            for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
                for (bool colorsInverted : {false, true}) {
                    SCOPED_TRACE("grid " + std::to_string(gridSize) + ", cap " + std::to_string(maxIterations) +
                                 ", mode " + std::to_string(mode) + (colorsInverted ? ", colours inverted" : "") +
                                 (heightInverted ? ", heights inverted" : ""));
                    const std::vector<GlCall> formulas = recordedMesh(drawTerrainPerVertex, state, mode, colorsInverted);
                    const std::vector<GlCall> tables = recordedMesh(drawTerrain, state, mode, colorsInverted);
                    EXPECT_TRUE(sameCallStream(formulas, tables));
                }
            }
        }
    }
}

} // namespace
