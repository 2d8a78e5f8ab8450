// A viewer record with its grids computed for the given parameters, the
// common starting point of the height-field and mesh tests, and helpers to
// read and set up grids.
#pragma once

#include "fractal/height_field.h"
#include "state/viewer_state.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

inline ViewerState computedGrid(int gridSize, int maxIterations, bool heightInverted = false)
{
    ViewerState state;
    state.gridSize = gridSize;
    state.maxIterations = maxIterations;
    state.heightInverted = heightInverted;
    computeFractal(state);
    return state;
}

// The entries of a grid as a vector, to compare and to keep.
template <typename Entry>
std::vector<Entry> copyOf(const GridStorage<Entry>& grid)
{
    const std::span<const Entry> values = gridValues(grid);
    return {values.begin(), values.end()};
}

// Fixture storage of `count` entries, all `value`.
template <typename Entry>
void fillGrid(GridStorage<Entry>& grid, std::size_t count, Entry value)
{
    grid = {std::make_unique<Entry[]>(count), count};
    std::fill_n(grid.values.get(), count, value);
}
