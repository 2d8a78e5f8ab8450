// A viewer record with its grids computed for the given parameters, the
// common starting point of the height-field and mesh tests.
#pragma once

#include "fractal/height_field.h"
#include "state/viewer_state.h"

inline ViewerState computedGrid(int gridSize, int maxIterations, bool heightInverted = false)
{
    ViewerState state;
    state.gridSize = gridSize;
    state.maxIterations = maxIterations;
    state.heightInverted = heightInverted;
    computeFractal(state);
    return state;
}
