// Escape-time height field over the 3 x 3 window from (-2, -1.5).
#include "fractal/height_field.h"

#include "fractal/escape_kernel.h"
#include "fractal/flat_cells.h"
#include "state/viewer_state.h"

#include <cstddef>
#include <new>
#include <vector>

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
    const std::size_t entries = gridEntryCount(state.gridSize);
    state.heights.resize(entries);
    state.flatCells.resize(entries);
    fillHeights(state.heights.data(), state.gridSize, state.maxIterations, state.heightInverted);
    findFlatCells(state);
    state.meshDirty = true;
}

bool resizeGrids(ViewerState& state, int gridSize)
{
    const std::size_t entries = gridEntryCount(gridSize);
    if (state.heights.size() == entries && state.flatCells.size() == entries) {
        return true;
    }
    // Fresh buffers rather than an in-place resize: a failed allocation then
    // leaves the old grids untouched, and a smaller grid gives its memory back.
    try {
        std::vector<std::uint16_t> heights(entries);
        std::vector<std::uint8_t> flatCells(entries);
        state.heights.swap(heights);
        state.flatCells.swap(flatCells);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
