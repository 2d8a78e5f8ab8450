// The largest cap and grid as figures of their own: the other keyboard tests
// are written against the named bounds, so a wrong bound would pass them.
#include "fractal/height_field.h"
#include "input/handlers.h"
#include "state/viewer_state.h"
#include "viewer_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using CommandBounds = ViewerTest;

TEST_F(CommandBounds, LargestCapIsTheLastStepWhoseHeightsFitSixteenBits)
{
    // 65525 + 25 would not fit a 16-bit height; '1' must refuse it without
    // computing anything.
    static_assert(65525 + 25 > std::numeric_limits<std::uint16_t>::max());
    ASSERT_EQ(MAX_ITERATIONS, 65525);
    computeFractal(viewer);
    viewer.meshDirty = false;
    viewer.maxIterations = 65525;
    keyboard('1', 0, 0);
    EXPECT_EQ(viewer.maxIterations, 65525);
    EXPECT_EQ(callCount("glNewList"), 0u);
}

TEST_F(CommandBounds, LargestGridIs16384)
{
    // Checked first: a larger bound would have '+' below compute a grid of
    // 32768 x 32768. The grids are left small, and the frame only replays
    // the list.
    ASSERT_EQ(MAX_GRID_SIZE, 16384);
    computeFractal(viewer);
    viewer.meshDirty = false;
    viewer.gridSize = 16384;
    keyboard('+', 0, 0);
    EXPECT_EQ(viewer.gridSize, 16384);
    EXPECT_EQ(viewer.heights.count, gridEntryCount(128)) << "no allocation is even tried";
    EXPECT_EQ(callCount("glNewList"), 0u);
}

} // namespace
