// The terrain mesh through the recording GL stand-in: the call stream, the
// counts at the default grid, the shapes of flat runs and the exact
// single-precision values of greys and coordinates.
#include "computed_grid.h"
#include "fractal/flat_cells.h"
#include "fractal/height_field.h"
#include "recorded_geometry.h"
#include "render/terrain_mesh.h"
#include "state/viewer_state.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct MeshCounts {
    std::size_t strips = 0, quads = 0, stripVertices = 0, quadVertices = 0;
};

MeshCounts countMesh(const std::vector<RecordedPrimitive>& primitives)
{
    MeshCounts counts;
    for (const RecordedPrimitive& p : primitives) {
        if (p.mode == GL_TRIANGLE_STRIP) {
            ++counts.strips;
            counts.stripVertices += p.vertices.size();
        } else if (p.mode == GL_QUADS) {
            ++counts.quads;
            counts.quadVertices += p.vertices.size();
        } else {
            ADD_FAILURE() << "primitive of mode " << p.mode;
        }
    }
    return counts;
}

std::vector<RecordedPrimitive> emitMesh(const ViewerState& state, int shadingMode, bool colorsInverted)
{
    clearRecordedCalls();
    drawTerrain(state, shadingMode, colorsInverted);
    return recordedPrimitives();
}

TEST(TerrainMesh, DefaultGridCountsInEveryVariantAndConvention)
{
    for (bool heightInverted : {false, true}) {
        const ViewerState state = computedGrid(128, 25, heightInverted);
        for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
            for (bool colorsInverted : {false, true}) {
                const MeshCounts counts = countMesh(emitMesh(state, mode, colorsInverted));
                EXPECT_EQ(counts.strips, 1118u);
                EXPECT_EQ(counts.quads, 991u);
                EXPECT_EQ(counts.stripVertices, 9882u);
                EXPECT_EQ(counts.quadVertices, 3964u);
            }
        }
    }
}

TEST(TerrainMesh, CallsOnlyPrimitiveEntryPointsAndClosesEveryPrimitive)
{
    const ViewerState state = computedGrid(128, 25);
    clearRecordedCalls();
    drawTerrain(state, SHADE_LINEAR, true);
    const std::set<std::string> allowed = {"glBegin", "glEnd", "glColor3f", "glVertex3f"};
    int depth = 0;
    for (const GlCall& call : recordedCalls()) {
        ASSERT_TRUE(allowed.count(call.name)) << call.name;
        if (std::strcmp(call.name, "glBegin") == 0) {
            ASSERT_EQ(depth++, 0) << "glBegin inside a primitive";
        } else if (std::strcmp(call.name, "glEnd") == 0) {
            ASSERT_EQ(depth--, 1) << "glEnd without glBegin";
        } else {
            ASSERT_EQ(depth, 1) << call.name << " outside a primitive";
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(TerrainMesh, SmallGridsEmitNothing)
{
    ViewerState state;
    for (int n : {0, 1}) {
        state.gridSize = n;
        fillGrid<std::uint16_t>(state.heights, static_cast<std::size_t>(n * n), 0);
        fillGrid<std::uint8_t>(state.flatCells, static_cast<std::size_t>(n * n), 0);
        clearRecordedCalls();
        drawTerrain(state, SHADE_SQRT, false);
        EXPECT_TRUE(recordedCalls().empty()) << "N = " << n;
    }
}

// An 8 x 8 grid of distinct heights in which the given cells of row 0 are
// made flat; no other cell is. Each run of adjacent cells gets its own
// height, 70 for the first, so separate runs stay apart.
ViewerState rowFixture(std::vector<int> flatCellsOfRowZero)
{
    ViewerState state;
    state.gridSize = 8;
    state.maxIterations = 75;
    fillGrid<std::uint16_t>(state.heights, 64, 0);
    for (std::size_t k = 0; k < 64; ++k) {
        state.heights.values[k] = static_cast<std::uint16_t>(k);
    }
    std::uint16_t runHeight = 69;
    int previous = -2;
    for (int cell : flatCellsOfRowZero) {
        if (cell != previous + 1) {
            ++runHeight;
        }
        previous = cell;
        for (std::size_t corner : {0u, 1u, 8u, 9u}) {
            state.heights.values[static_cast<std::size_t>(cell) + corner] = runHeight;
        }
    }
    fillGrid<std::uint8_t>(state.flatCells, 64, 0);
    findFlatCells(state);
    return state;
}

struct RowShape {
    const char* name;
    std::vector<int> flatCells;
    std::vector<std::size_t> primitiveSizes; // row 0's primitives, strips and quads alternating
};

TEST(TerrainMesh, FlatRunsCutTheRowStrip)
{
    const RowShape shapes[] = {
        {"no flat cell", {}, {16}},
        {"cells 2 to 4 flat", {2, 3, 4}, {6, 4, 6}},
        {"run from column 0", {0, 1}, {2, 4, 12}},
        {"run to the last cell", {5, 6}, {12, 4, 2}},
        {"runs around one non-flat cell", {1, 3}, {4, 4, 4, 4, 8}},
        {"whole row flat", {0, 1, 2, 3, 4, 5, 6}, {2, 4, 2}},
    };
    for (const RowShape& shape : shapes) {
        const ViewerState state = rowFixture(shape.flatCells);
        const std::vector<RecordedPrimitive> primitives = emitMesh(state, SHADE_SQRT_FROM_CAP, false);
        std::vector<std::size_t> sizes;
        for (const RecordedPrimitive& p : primitives) {
            sizes.push_back(p.vertices.size());
            if (sizes.size() == shape.primitiveSizes.size()) {
                break;
            }
        }
        EXPECT_EQ(sizes, shape.primitiveSizes) << shape.name;
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            EXPECT_EQ(primitives[k].mode, k % 2 == 0 ? GL_TRIANGLE_STRIP : GL_QUADS) << shape.name;
        }
        // Every row strip ends with the pair of the last column.
        const RecordedPrimitive& last = primitives[sizes.size() - 1];
        EXPECT_EQ(last.vertices.back().x, 7.0f) << shape.name;
    }
}

TEST(TerrainMesh, WorkedRowOfEight)
{
    const ViewerState state = rowFixture({2, 3, 4});
    const std::vector<RecordedPrimitive> p = emitMesh(state, SHADE_SQRT_FROM_CAP, false);
    ASSERT_GE(p.size(), 3u);
    const float xs[] = {0, 0, 1, 1, 2, 2};
    const float zs[] = {0, 1, 0, 1, 0, 1};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(p[0].vertices[k].x, xs[k]);
        EXPECT_EQ(p[0].vertices[k].z, zs[k]);
    }
    // The quad spans x from 1.98 to 5.02 and z from -0.02 to 1.02, counter-clockwise from above.
    const RecordedVertex corners[] = {
        {1.98f, 1.4f, -0.02f, 0}, {1.98f, 1.4f, 1.02f, 0}, {5.02f, 1.4f, 1.02f, 0}, {5.02f, 1.4f, -0.02f, 0}};
    const float quadGrey = vertexGrey(70, 75, shadingDivisor(75), SHADE_SQRT_FROM_CAP, false);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(p[1].vertices[k].x, corners[k].x) << "corner " << k + 1;
        EXPECT_EQ(p[1].vertices[k].y, corners[k].y) << "corner " << k + 1;
        EXPECT_EQ(p[1].vertices[k].z, corners[k].z) << "corner " << k + 1;
        EXPECT_EQ(p[1].vertices[k].grey, quadGrey);
    }
    EXPECT_EQ(p[2].vertices.front().x, 5.0f);
    EXPECT_EQ(p[2].vertices.back().x, 7.0f);
    // Vertex pairs carry their own heights: row 0 above row 1.
    EXPECT_EQ(p[0].vertices[2].y, vertexHeight(1));
    EXPECT_EQ(p[0].vertices[3].y, vertexHeight(9));
}

TEST(TerrainMesh, RunToTheLastCellEndsBeyondTheLastColumn)
{
    const std::vector<RecordedPrimitive> p = emitMesh(rowFixture({5, 6}), SHADE_LINEAR, false);
    EXPECT_EQ(p[1].vertices[2].x, 7.02f);
    EXPECT_EQ(p[1].vertices[3].x, 7.02f);
}

TEST(TerrainMesh, InvertedLinearOverlapsRowsAndDrawsTrapezoids)
{
    ViewerState state = rowFixture({2, 3, 4});
    // Move the run to row 3 so the offsets are seen away from z = 0.
    fillGrid<std::uint16_t>(state.heights, 64, 0);
    for (std::size_t k = 0; k < 64; ++k) {
        state.heights.values[k] = static_cast<std::uint16_t>(k);
    }
    for (std::size_t cell : {26u, 27u, 28u}) {
        for (std::size_t corner : {0u, 1u, 8u, 9u}) {
            state.heights.values[cell + corner] = 70;
        }
    }
    findFlatCells(state);
    const std::vector<RecordedPrimitive> p = emitMesh(state, SHADE_LINEAR, true);
    // Rows 0..2 are plain strips; row 3 starts at primitive 3.
    const RecordedPrimitive& strip = p[3];
    EXPECT_EQ(strip.vertices[0].z, 2.99f);
    EXPECT_EQ(strip.vertices[1].z, 4.01f);
    EXPECT_EQ(strip.vertices[4].z, 3.0f) << "the pair closing a strip before a run has no overlap";
    EXPECT_EQ(strip.vertices[5].z, 4.0f);
    const RecordedPrimitive& quad = p[4];
    const float quadZ[] = {2.98f, 4.02f, 4.0f, 3.0f};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(quad.vertices[k].z, quadZ[k]) << "corner " << k + 1;
    }
    // Every other variant keeps plain pairs and margins on all four corners.
    const std::vector<RecordedPrimitive> plain = emitMesh(state, SHADE_LINEAR, false);
    EXPECT_EQ(plain[3].vertices[0].z, 3.0f);
    EXPECT_EQ(plain[3].vertices[1].z, 4.0f);
    EXPECT_EQ(plain[4].vertices[2].z, 4.02f);
    EXPECT_EQ(plain[4].vertices[3].z, 2.98f);
}

TEST(TerrainMesh, HeightIsTheRoundedDoubleProduct)
{
    EXPECT_EQ(vertexHeight(5), 0.1f);
    const float singlePrecisionProduct = 0.02f * 5.0f;
    EXPECT_LT(singlePrecisionProduct, vertexHeight(5)) << "a float product gives the next smaller float";
    EXPECT_EQ(vertexHeight(0), 0.0f);
}

TEST(TerrainMesh, GreysAtTheEnds)
{
    // With a cap whose square root is exact, both ends are exactly black and white.
    for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
        const float s = shadingDivisor(25);
        EXPECT_EQ(vertexGrey(0, 25, s, mode, false), 0.0f) << "mode " << mode;
        EXPECT_EQ(vertexGrey(25, 25, s, mode, false), 1.0f) << "mode " << mode;
        EXPECT_EQ(vertexGrey(0, 25, s, mode, true), 1.0f) << "mode " << mode;
        EXPECT_EQ(vertexGrey(25, 25, s, mode, true), 0.0f) << "mode " << mode;
    }
    // Otherwise the single-precision divisor leaves a trace, passed on unclamped.
    const float at50 = vertexGrey(0, 50, shadingDivisor(50), SHADE_SQRT_FROM_CAP, false);
    EXPECT_LT(at50, 0.0f);
    EXPECT_NEAR(at50, -2.6e-10, 0.05e-10);
    const float at75 = vertexGrey(0, 75, shadingDivisor(75), SHADE_SQRT_FROM_CAP, false);
    EXPECT_NEAR(at75, 5.1e-8, 0.05e-8);
    EXPECT_EQ(vertexGrey(12, 25, shadingDivisor(25), SHADE_LINEAR, false), 0.48f);
    EXPECT_EQ(vertexGrey(16, 25, shadingDivisor(25), SHADE_SQRT, false), 0.8f);
    EXPECT_EQ(vertexGrey(16, 25, shadingDivisor(25), SHADE_SQRT_FROM_CAP, true), 0.6f);
}

TEST(TerrainMesh, EmittedGreysFollowTheVariant)
{
    const ViewerState state = computedGrid(128, 50);
    for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
        for (bool inverted : {false, true}) {
            const std::vector<RecordedPrimitive> p = emitMesh(state, mode, inverted);
            // The first vertex is sample (0, 0), at height 50.
            EXPECT_EQ(p[0].vertices[0].grey, vertexGrey(50, 50, shadingDivisor(50), mode, inverted));
            EXPECT_EQ(p[0].vertices[0].y, 1.0f);
        }
    }
}

} // namespace
