// The escape-time grid and its flat-cell mask, pinned at the known figures of
// the default grid and beyond.
#include "computed_grid.h"
#include "fractal/flat_cells.h"
#include "fractal/height_field.h"
#include "state/viewer_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

namespace {

int heightAt(const ViewerState& state, int row, int column)
{
    return state.heights.values[static_cast<std::size_t>(row) * static_cast<std::size_t>(state.gridSize) +
                         static_cast<std::size_t>(column)];
}

std::size_t countHeight(const ViewerState& state, int height)
{
    return static_cast<std::size_t>(std::ranges::count(gridValues(state.heights), height));
}

struct GridFigures {
    int gridSize;
    int maxIterations;
    std::size_t samplesAtCap;
    long long heightSum; // -1 where no sum is pinned
};

class GridFiguresTest : public ::testing::TestWithParam<GridFigures> {};

TEST_P(GridFiguresTest, CountAtCapAndSumMatch)
{
    const GridFigures figures = GetParam();
    const ViewerState state = computedGrid(figures.gridSize, figures.maxIterations);
    ASSERT_EQ(state.heights.count, gridEntryCount(figures.gridSize));
    EXPECT_EQ(countHeight(state, 0), figures.samplesAtCap);
    if (figures.heightSum >= 0) {
        const std::span<const std::uint16_t> heights = gridValues(state.heights);
        EXPECT_EQ(std::accumulate(heights.begin(), heights.end(), 0LL), figures.heightSum);
    }
    EXPECT_TRUE(state.meshDirty);
}

INSTANTIATE_TEST_SUITE_P(KnownGrids, GridFiguresTest,
                         ::testing::Values(GridFigures{128, 25, 3092, 291711}, GridFigures{128, 50, 2912, 626869},
                                           GridFigures{256, 25, 12273, -1}));

TEST(HeightField, NamedSamplesOfTheDefaultGrid)
{
    const ViewerState state = computedGrid(128, 25);
    struct Sample {
        int row, column, height;
    };
    const Sample samples[] = {
        {0, 0, 25},    // (-2, -1.5): x = -2 counts as outside at once
        {0, 1, 24},    // |c| > 2 but inside the square, so the first step counts
        {64, 1, 0},    {64, 64, 0}, {64, 85, 0}, {64, 86, 0}, {64, 96, 0},
        {64, 97, 7},   // 35/128 escapes after 18 steps
        {64, 127, 23}, {127, 127, 24},
    };
    for (const Sample& s : samples) {
        EXPECT_EQ(heightAt(state, s.row, s.column), s.height) << "sample (" << s.row << ", " << s.column << ")";
    }
}

TEST(HeightField, OnlyColumnZeroEscapesAtOnce)
{
    for (const GridFigures& grid : {GridFigures{128, 25, 0, 0}, GridFigures{256, 75, 0, 0}}) {
        const ViewerState state = computedGrid(grid.gridSize, grid.maxIterations);
        for (int i = 0; i < grid.gridSize; ++i) {
            ASSERT_EQ(heightAt(state, i, 0), grid.maxIterations) << "row " << i;
        }
        EXPECT_EQ(countHeight(state, grid.maxIterations), static_cast<std::size_t>(grid.gridSize));
    }
}

TEST(HeightField, InvertedConventionStoresEscapeCounts)
{
    const ViewerState plain = computedGrid(128, 25);
    const ViewerState inverted = computedGrid(128, 25, true);
    for (std::size_t k = 0; k < plain.heights.count; ++k) {
        ASSERT_EQ(inverted.heights.values[k], 25 - plain.heights.values[k]) << "index " << k;
    }
}

TEST(HeightField, FinerGridContainsTheCoarseSamples)
{
    const ViewerState coarse = computedGrid(128, 25);
    const ViewerState fine = computedGrid(256, 25);
    for (int i = 0; i < 128; ++i) {
        for (int j = 0; j < 128; ++j) {
            ASSERT_EQ(heightAt(fine, 2 * i, 2 * j), heightAt(coarse, i, j)) << "sample (" << i << ", " << j << ")";
        }
    }
}

TEST(EscapeCount, SquareTestOnComponents)
{
    struct Case {
        double cx, cy;
        int cap, count;
    };
    const Case cases[] = {
        {-2.0, 0.0, 25, 0},         // a component equal to -2 is outside
        {2.0, 0.0, 25, 0},
        {0.0, -2.0, 25, 0},
        {-1.9, -1.9, 25, 1},        // |c| > 2, both components inside: counted
        {-0.5, 0.0, 25, 25},        // inside the cardioid: reaches the cap
        {-0.5, 0.0, 1000, 1000},
        {0.5, 0.0, 25, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(escapeCount(c.cx, c.cy, c.cap), c.count) << c.cx << " + " << c.cy << "i, cap " << c.cap;
    }
}

TEST(HeightField, SizesOtherThanPowersOfTwoUseRunningSums)
{
    // 3 / 100 is inexact, so the running sum drifts from -2 + 3j/100; the
    // grid must still be computed sample for sample by the plain loop.
    const ViewerState state = computedGrid(100, 25);
    double cy = -1.5;
    const double step = 3.0 / 100;
    for (int i = 0; i < 100; ++i) {
        double cx = -2.0;
        for (int j = 0; j < 100; ++j) {
            ASSERT_EQ(heightAt(state, i, j), 25 - escapeCount(cx, cy, 25));
            cx += step;
        }
        cy += step;
    }
}

TEST(ResizeGrids, KeepsAGridOfTheSameSizeAndGivesAnotherSizeExactStorage)
{
    ViewerState state = computedGrid(256, 25);
    const std::uint16_t* before = state.heights.values.get();
    const std::vector<std::uint16_t> heights = copyOf(state.heights);
    ASSERT_TRUE(resizeGrids(state, 256));
    EXPECT_EQ(state.heights.values.get(), before);
    EXPECT_EQ(copyOf(state.heights), heights);
    ASSERT_TRUE(resizeGrids(state, 128));
    EXPECT_EQ(state.heights.count, gridEntryCount(128));
    EXPECT_EQ(state.flatCells.count, gridEntryCount(128));
    state.gridSize = 128;
    computeFractal(state);
    EXPECT_EQ(copyOf(state.heights), copyOf(computedGrid(128, 25).heights));
}

TEST(GridEntryCount, LargestGridNeedsNoIntOverflow)
{
    EXPECT_EQ(gridEntryCount(MAX_GRID_SIZE), std::size_t{268435456});
    EXPECT_EQ(gridEntryCount(65536), std::size_t{1} << 32);
}

// --- Flat-cell mask -------------------------------------------------------

std::size_t countFlat(const ViewerState& state)
{
    return static_cast<std::size_t>(std::ranges::count(gridValues(state.flatCells), 1));
}

TEST(FlatCells, DefaultGridFigures)
{
    const ViewerState state = computedGrid(128, 25);
    std::size_t atCap = 0;
    for (std::size_t k = 0; k < state.flatCells.count; ++k) {
        ASSERT_LE(state.flatCells.values[k], 1);
        if (state.flatCells.values[k] == 1 && state.heights.values[k] == 0) {
            ++atCap;
        }
    }
    EXPECT_EQ(countFlat(state), 12306u);
    EXPECT_EQ(atCap, 2784u);
    EXPECT_EQ(state.flatCells.values[1], 1);
    EXPECT_EQ(heightAt(state, 0, 1), 24);
    EXPECT_EQ(state.flatCells.values[64 * 128 + 64], 1);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(state.flatCells.values[static_cast<std::size_t>(i) * 128], 0) << "column 0 is never flat, row " << i;
    }
}

TEST(FlatCells, EqualHeightsFlagAllButLastRowAndColumn)
{
    ViewerState state;
    state.gridSize = 5;
    fillGrid<std::uint16_t>(state.heights, 25, 7);
    fillGrid<std::uint8_t>(state.flatCells, 25, 1); // stale flags must not survive
    findFlatCells(state);
    EXPECT_EQ(countFlat(state), 16u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(state.flatCells.values[static_cast<std::size_t>(4 * 5 + k)], 0) << "last row";
        EXPECT_EQ(state.flatCells.values[static_cast<std::size_t>(k * 5 + 4)], 0) << "last column";
    }
}

TEST(FlatCells, EachCornerCanBreakFlatness)
{
    // One 2 x 2 grid has one cell; changing any one corner makes it unflat.
    for (std::size_t corner = 0; corner < 4; ++corner) {
        ViewerState state;
        state.gridSize = 2;
        fillGrid<std::uint16_t>(state.heights, 4, 3);
        state.heights.values[corner] = 4;
        fillGrid<std::uint8_t>(state.flatCells, 4, 0);
        findFlatCells(state);
        EXPECT_EQ(countFlat(state), 0u) << "corner " << corner;
    }
}

TEST(FlatCells, RebuiltAfterEveryComputation)
{
    ViewerState state = computedGrid(128, 25);
    state.gridSize = 256;
    computeFractal(state);
    ASSERT_EQ(state.flatCells.count, gridEntryCount(256));
    const std::vector<std::uint8_t> mask = copyOf(state.flatCells);
    fillGrid<std::uint8_t>(state.flatCells, gridEntryCount(256), 1);
    findFlatCells(state);
    EXPECT_EQ(copyOf(state.flatCells), mask);
}

} // namespace
