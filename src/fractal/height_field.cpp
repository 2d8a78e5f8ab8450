// Escape-time height field over the 3 x 3 window from (-2, -1.5).
#include "fractal/height_field.h"

#include "fractal/escape_kernel.h"
#include "fractal/flat_cells.h"
#include "state/viewer_state.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

int escapeCount(double cx, double cy, int maxIterations)
{
    double x = 0.0;
    double y = 0.0;
    double xsq = 0.0;
    double ysq = 0.0;
    int k = 0;
    while (k < maxIterations) {
        // The squares are carried from the escape test of the previous step,
        // so each step costs three products.
        y = 2.0 * (x * y) + cy;
        x = (xsq - ysq) + cx;
        xsq = x * x;
        ysq = y * y;
        if (x >= 2.0 || y >= 2.0 || x <= -2.0 || y <= -2.0) {
            break;
        }
        ++k;
    }
    return k;
}

std::vector<double> sampleCoordinates(double origin, int gridSize)
{
    const double step = 3.0 / gridSize;
    std::vector<double> coordinates(gridSize > 0 ? static_cast<std::size_t>(gridSize) : 0);
    double sum = origin;
    for (double& coordinate : coordinates) {
        coordinate = sum;
        sum += step;
    }
    return coordinates;
}

void computeHeightsPlain(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted)
{
    const std::vector<double> columnCx = sampleCoordinates(WINDOW_LEFT, gridSize);
    const std::vector<double> rowCy = sampleCoordinates(WINDOW_BOTTOM, gridSize);
    std::uint16_t* height = heights;
    for (double cy : rowCy) {
        for (double cx : columnCx) {
            const int k = escapeCount(cx, cy, maxIterations);
            *height++ = static_cast<std::uint16_t>(heightInverted ? k : maxIterations - k);
        }
    }
}

void computeFractal(ViewerState& state)
{
    computeFractalWith(state, computeHeightsFast);
}

void computeFractalWith(ViewerState& state, HeightsFiller fillHeights)
{
    if (!resizeGrids(state, state.gridSize)) {
        std::fputs("vellacor: not enough memory for the first grid\n", stderr);
        std::exit(EXIT_FAILURE);
    }
    fillHeights(state.heights.values.get(), state.gridSize, state.maxIterations, state.heightInverted);
    findFlatCells(state);
    state.meshDirty = true;
}

template <typename Entry>
static GridStorage<Entry> uninitialisedGrid(std::size_t entries)
{
    return {std::make_unique_for_overwrite<Entry[]>(entries), entries};
}

bool resizeGrids(ViewerState& state, int gridSize)
{
    const std::size_t entries = gridEntryCount(gridSize);
    if (state.heights.count == entries && state.flatCells.count == entries) {
        return true;
    }
    // Both new grids are taken before either is replaced, so a refusal
    // leaves the old pair whole.
    try {
        GridStorage<std::uint16_t> heights = uninitialisedGrid<std::uint16_t>(entries);
        GridStorage<std::uint8_t> flatCells = uninitialisedGrid<std::uint8_t>(entries);
        state.heights = std::move(heights);
        state.flatCells = std::move(flatCells);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
