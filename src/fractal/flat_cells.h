// Flat-cell mask: one flag per grid cell, set where the four corner heights
// are equal. The terrain mesh merges runs of flat cells into quads.
#pragma once

struct ViewerState;

// Clears all gridSize^2 entries of state.flatCells and sets those of the
// flat cells. The last row and column have no cell and stay 0. Both grids
// must already hold gridSize^2 entries.
void findFlatCells(ViewerState& state);
