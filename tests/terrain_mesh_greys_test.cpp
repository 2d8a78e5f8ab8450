// The greys of all six shadings and the y of a vertex, pinned bit for bit at
// caps whose square root is inexact, and the same values on the vertices of
// a mesh computed under either height convention.
//
// The literals were worked out once by tests/reference_values.py, which
// does not use the viewer's code: Python's IEEE double arithmetic in the
// order the mesh forms them (the cap's root rounded to single precision
// first, the root of the height divided by it in double, any subtraction
// from 1 after that, one rounding to single precision at the end), with the
// square roots checked against 80-digit decimals. For every row the script
// also lists which slips the row tells apart: float division or square root,
// the double root of the cap as divisor, (s - root) / s, rounding before the
// subtraction from 1, a float product for y. The cap 52275 is there for the
// only two heights of any cap at which (C - h) / C is not 1 - h / C.
#include "computed_grid.h"
#include "recorded_geometry.h"
#include "render/terrain_mesh.h"
#include "state/viewer_state.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ios>
#include <sstream>
#include <string>

namespace {

struct PinnedShade {
    int cap, height;
    float y;
    float plain[3];    // modes SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP
    float inverted[3]; // the same with colours inverted
};

const PinnedShade kShades[] = {
    {50, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, -0x1.18f5cp-32f}, {0x1p+0f, 0x1p+0f, 0x1p+0f}},
    {50, 1, 0x1.47ae14p-6f,
     {0x1.47ae14p-6f, 0x1.21a186p-3f, 0x1.4955c2p-7f}, {0x1.f5c29p-1f, 0x1.b7979ep-1f, 0x1.fadaa8p-1f}},
    {50, 5, 0x1.99999ap-4f,
     {0x1.99999ap-4f, 0x1.43d136p-2f, 0x1.a462ecp-5f}, {0x1.ccccccp-1f, 0x1.5e1764p-1f, 0x1.e5b9d2p-1f}},
    {50, 6, 0x1.eb851ep-4f,
     {0x1.eb851ep-4f, 0x1.62b958p-2f, 0x1.fb390ap-5f}, {0x1.c28f5cp-1f, 0x1.4ea354p-1f, 0x1.e04c7p-1f}},
    {50, 13, 0x1.0a3d7p-2f,
     {0x1.0a3d7p-2f, 0x1.0511dep-1f, 0x1.1e3e68p-3f}, {0x1.7ae148p-1f, 0x1.f5dc44p-2f, 0x1.b87066p-1f}},
    {50, 17, 0x1.5c28f6p-2f,
     {0x1.5c28f6p-2f, 0x1.2a8b74p-1f, 0x1.80326ap-3f}, {0x1.51eb86p-1f, 0x1.aae918p-2f, 0x1.9ff366p-1f}},
    {50, 33, 0x1.51eb86p-1f,
     {0x1.51eb86p-1f, 0x1.9ff366p-1f, 0x1.aae918p-2f}, {0x1.5c28f6p-2f, 0x1.80326ap-3f, 0x1.2a8b74p-1f}},
    {50, 37, 0x1.7ae148p-1f,
     {0x1.7ae148p-1f, 0x1.b87066p-1f, 0x1.f5dc44p-2f}, {0x1.0a3d7p-2f, 0x1.1e3e68p-3f, 0x1.0511dep-1f}},
    {50, 49, 0x1.f5c29p-1f,
     {0x1.f5c29p-1f, 0x1.fadaa8p-1f, 0x1.b7979ep-1f}, {0x1.47ae14p-6f, 0x1.4955c2p-7f, 0x1.21a186p-3f}},
    {50, 50, 0x1p+0f,
     {0x1p+0f, 0x1p+0f, 0x1p+0f}, {0x0p+0f, -0x1.18f5cp-32f, 0x0p+0f}},
    {75, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, 0x1.b50854p-25f}, {0x1p+0f, 0x1p+0f, 0x1.fffffep-1f}},
    {75, 1, 0x1.47ae14p-6f,
     {0x1.b4e81cp-7f, 0x1.d8f71ep-4f, 0x1.b6604ap-8f}, {0x1.f92c6p-1f, 0x1.c4e11cp-1f, 0x1.fc934p-1f}},
    {75, 23, 0x1.d70a3ep-2f,
     {0x1.3a06d4p-2f, 0x1.1b8862p-1f, 0x1.56b306p-3f}, {0x1.62fc96p-1f, 0x1.c8ef3cp-2f, 0x1.aa533ep-1f}},
    {75, 28, 0x1.1eb852p-1f,
     {0x1.7e4b18p-2f, 0x1.38d65p-1f, 0x1.aac1aep-3f}, {0x1.40da74p-1f, 0x1.8e536p-2f, 0x1.954f94p-1f}},
    {75, 47, 0x1.e147aep-1f,
     {0x1.40da74p-1f, 0x1.954f94p-1f, 0x1.8e536p-2f}, {0x1.7e4b18p-2f, 0x1.aac1aep-3f, 0x1.38d65p-1f}},
    {75, 52, 0x1.0a3d7p+0f,
     {0x1.62fc96p-1f, 0x1.aa533ep-1f, 0x1.c8ef3cp-2f}, {0x1.3a06d4p-2f, 0x1.56b306p-3f, 0x1.1b8862p-1f}},
    {75, 74, 0x1.7ae148p+0f,
     {0x1.f92c6p-1f, 0x1.fc934p-1f, 0x1.c4e11cp-1f}, {0x1.b4e81cp-7f, 0x1.b6604ap-8f, 0x1.d8f71ep-4f}},
    {75, 75, 0x1.8p+0f,
     {0x1p+0f, 0x1.fffffep-1f, 0x1p+0f}, {0x0p+0f, 0x1.b50854p-25f, 0x0p+0f}},
    {1000, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, -0x1.35c518p-26f}, {0x1p+0f, 0x1p+0f, 0x1p+0f}},
    {1000, 1, 0x1.47ae14p-6f,
     {0x1.0624dep-10f, 0x1.030dc6p-5f, 0x1.06333cp-11f}, {0x1.ff7ceep-1f, 0x1.efcf24p-1f, 0x1.ffbe74p-1f}},
    {1000, 151, 0x1.828f5cp+1f,
     {0x1.353f7cp-3f, 0x1.8de9ccp-2f, 0x1.41e584p-4f}, {0x1.b2b02p-1f, 0x1.390b1ap-1f, 0x1.d7c35p-1f}},
    {1000, 312, 0x1.8f5c28p+2f,
     {0x1.3f7ceep-2f, 0x1.1dfcd6p-1f, 0x1.5d454cp-3f}, {0x1.60418ap-1f, 0x1.c40654p-2f, 0x1.a8aeacp-1f}},
    {1000, 348, 0x1.bd70a4p+2f,
     {0x1.645a1cp-2f, 0x1.2e096p-1f, 0x1.8a4fb2p-3f}, {0x1.4dd2f2p-1f, 0x1.a3ed42p-2f, 0x1.9d6c14p-1f}},
    {1000, 652, 0x1.a147aep+3f,
     {0x1.4dd2f2p-1f, 0x1.9d6c14p-1f, 0x1.a3ed42p-2f}, {0x1.645a1cp-2f, 0x1.8a4fb2p-3f, 0x1.2e096p-1f}},
    {1000, 688, 0x1.b851ecp+3f,
     {0x1.60418ap-1f, 0x1.a8aeacp-1f, 0x1.c40654p-2f}, {0x1.3f7ceep-2f, 0x1.5d454cp-3f, 0x1.1dfcd6p-1f}},
    {1000, 999, 0x1.3fae14p+4f,
     {0x1.ff7ceep-1f, 0x1.ffbe74p-1f, 0x1.efcf24p-1f}, {0x1.0624dep-10f, 0x1.06333cp-11f, 0x1.030dc6p-5f}},
    {1000, 1000, 0x1.4p+4f,
     {0x1p+0f, 0x1p+0f, 0x1p+0f}, {0x0p+0f, -0x1.35c518p-26f, 0x0p+0f}},
    {52275, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, 0x1.ca9da8p-29f}, {0x1p+0f, 0x1p+0f, 0x1p+0f}},
    {52275, 52273, 0x1.055d7p+10f,
     {0x1.fffafcp-1f, 0x1.fffd7ep-1f, 0x1.fcd544p-1f}, {0x1.40f104p-15f, 0x1.410024p-16f, 0x1.955dd6p-8f}},
    {52275, 52274, 0x1.055eb8p+10f,
     {0x1.fffd7ep-1f, 0x1.fffebep-1f, 0x1.fdc2bap-1f}, {0x1.40f104p-16f, 0x1.410e14p-17f, 0x1.1ea32ep-8f}},
    {52275, 52275, 0x1.056p+10f,
     {0x1p+0f, 0x1p+0f, 0x1p+0f}, {0x0p+0f, 0x1.ca9da8p-29f, 0x0p+0f}},
    {65525, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, 0x1.e414ccp-29f}, {0x1p+0f, 0x1p+0f, 0x1p+0f}},
    {65525, 1, 0x1.47ae14p-6f,
     {0x1.000bp-16f, 0x1.00058p-8f, 0x1.002982p-17f}, {0x1.fffep-1f, 0x1.fdfff4p-1f, 0x1.ffffp-1f}},
    {65525, 10052, 0x1.92147ap+7f,
     {0x1.3a2d8p-3f, 0x1.911282p-2f, 0x1.474028p-4f}, {0x1.b174ap-1f, 0x1.3776bep-1f, 0x1.d717fap-1f}},
    {65525, 65524, 0x1.479eb8p+10f,
     {0x1.fffep-1f, 0x1.ffffp-1f, 0x1.fdfff4p-1f}, {0x1.000bp-16f, 0x1.002982p-17f, 0x1.00058p-8f}},
    {65525, 65525, 0x1.47ap+10f,
     {0x1p+0f, 0x1p+0f, 0x1p+0f}, {0x0p+0f, 0x1.e414ccp-29f, 0x0p+0f}},
    {65535, 0, 0x0p+0f,
     {0x0p+0f, 0x0p+0f, 0x1.0001p-35f}, {0x1p+0f, 0x1p+0f, 0x1p+0f}},
    {65535, 1, 0x1.47ae14p-6f,
     {0x1.0001p-16f, 0x1.00008p-8f, 0x1.00018p-17f}, {0x1.fffep-1f, 0x1.fdfffep-1f, 0x1.ffffp-1f}},
    {65535, 36177, 0x1.69c51ep+9f,
     {0x1.1aa31ap-1f, 0x1.7c687p-1f, 0x1.52a0b2p-2f}, {0x1.cab9cap-2f, 0x1.072f22p-2f, 0x1.56afa6p-1f}},
    {65535, 56498, 0x1.1a7d7p+10f,
     {0x1.b965bap-1f, 0x1.db63c8p-1f, 0x1.41df4ep-1f}, {0x1.1a691ap-3f, 0x1.24e1b8p-4f, 0x1.7c4166p-2f}},
    {65535, 65534, 0x1.47ab86p+10f,
     {0x1.fffep-1f, 0x1.ffffp-1f, 0x1.fdfffep-1f}, {0x1.0001p-16f, 0x1.00018p-17f, 0x1.00008p-8f}},
    {65535, 65535, 0x1.47acccp+10f,
     {0x1p+0f, 0x1p+0f, 0x1p+0f}, {0x0p+0f, 0x1.0001p-35f, 0x0p+0f}},
};

const PinnedShade* pinnedShade(int cap, int height)
{
    for (const PinnedShade& row : kShades) {
        if (row.cap == cap && row.height == height) {
            return &row;
        }
    }
    return nullptr;
}

std::string bits(float value)
{
    std::ostringstream text;
    text << std::hexfloat << value;
    return text.str();
}

// Equal bit patterns: -0 is not 0, and a grey just below black at height 0
// must stay negative.
::testing::AssertionResult sameFloat(float expected, float actual)
{
    if (std::bit_cast<std::uint32_t>(expected) == std::bit_cast<std::uint32_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected " << bits(expected) << ", got " << bits(actual);
}

TEST(TerrainMeshGreys, EveryShadingAtCapsWithInexactRoots)
{
    for (const PinnedShade& row : kShades) {
        const float divisor = shadingDivisor(row.cap);
        for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
            EXPECT_TRUE(sameFloat(row.plain[mode], vertexGrey(row.height, row.cap, divisor, mode, false)))
                << "cap " << row.cap << ", height " << row.height << ", mode " << mode;
            EXPECT_TRUE(sameFloat(row.inverted[mode], vertexGrey(row.height, row.cap, divisor, mode, true)))
                << "cap " << row.cap << ", height " << row.height << ", mode " << mode << ", inverted";
        }
        EXPECT_TRUE(sameFloat(row.y, vertexHeight(row.height))) << "height " << row.height;
    }
}

TEST(TerrainMeshGreys, FiguresOfTheSmallestInexactCaps)
{
    // Height 0 from the cap: just below black at 50, just above at 75.
    EXPECT_NEAR(pinnedShade(50, 0)->plain[SHADE_SQRT_FROM_CAP], -2.6e-10, 0.05e-10);
    EXPECT_NEAR(pinnedShade(75, 0)->plain[SHADE_SQRT_FROM_CAP], 5.1e-8, 0.05e-8);
    EXPECT_EQ(pinnedShade(50, 5)->y, 0.1f);
}

// Samples of the 128 grid near the edge of the set, with their escape counts
// worked out by the same script.
struct MeshSample {
    int cap, row, column, escapeCount;
};

const MeshSample kSamples[] = {
    {50, 41, 62, 37},
    {50, 40, 95, 17},
    {75, 43, 58, 47},
    {75, 46, 57, 52},
    {1000, 49, 57, 348},
    {1000, 53, 42, 312},
};

TEST(TerrainMeshGreys, MeshVerticesCarryThePinnedValuesUnderBothConventions)
{
    for (const MeshSample& sample : kSamples) {
        for (bool heightInverted : {false, true}) {
            const ViewerState state = computedGrid(128, sample.cap, heightInverted);
            const int height = heightInverted ? sample.escapeCount : sample.cap - sample.escapeCount;
            const auto index = static_cast<std::size_t>(sample.row * 128 + sample.column);
            ASSERT_EQ(gridValues(state.heights)[index], height) << "sample (" << sample.row << ", " << sample.column << ")";
            const PinnedShade* pinned = pinnedShade(sample.cap, height);
            ASSERT_NE(pinned, nullptr) << "no pinned row for cap " << sample.cap << ", height " << height;
            for (int mode : {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP}) {
                for (bool colorsInverted : {false, true}) {
                    SCOPED_TRACE("cap " + std::to_string(sample.cap) + ", sample (" + std::to_string(sample.row) +
                                 ", " + std::to_string(sample.column) + "), mode " + std::to_string(mode) +
                                 (colorsInverted ? ", colours inverted" : "") +
                                 (heightInverted ? ", heights inverted" : ""));
                    clearRecordedCalls();
                    drawTerrain(state, mode, colorsInverted);
                    const float grey = colorsInverted ? pinned->inverted[mode] : pinned->plain[mode];
                    // The sample is a strip vertex of its own row and of the row
                    // before, within the inverted linear shading's 0.01 overlap.
                    std::size_t seen = 0;
                    for (const RecordedPrimitive& p : recordedPrimitives()) {
                        for (const RecordedVertex& v : p.vertices) {
                            if (p.mode == GL_TRIANGLE_STRIP && v.x == static_cast<float>(sample.column) &&
                                std::fabs(v.z - static_cast<float>(sample.row)) < 0.015f) {
                                ++seen;
                                EXPECT_TRUE(sameFloat(pinned->y, v.y));
                                EXPECT_TRUE(sameFloat(grey, v.grey));
                            }
                        }
                    }
                    EXPECT_EQ(seen, 2u);
                }
            }
        }
    }
}

} // namespace
