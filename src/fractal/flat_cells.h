// Flat-cell mask: one flag per grid cell, set where the four corner heights
// are equal. The terrain mesh merges runs of flat cells into quads.
#pragma once

struct ViewerState;

// Writes all gridSize^2 entries of state.flatCells: 1 for a flat cell, 0
// elsewhere; the last row and column have no cell and are 0. Nothing of the
// mask's old contents survives, so new storage needs no clearing. Both grids
// must already hold gridSize^2 entries.
void findFlatCells(ViewerState& state);
