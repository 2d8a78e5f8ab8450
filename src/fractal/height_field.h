// Escape-time height field: turns the grid size, iteration cap and height
// convention of the viewer state into one 16-bit height per sample, and
// rebuilds the flat-cell mask from them.
//
// Entry points: computeFractal (the only code that fills the grids),
// resizeGrids (the one way a key gives the grids a new size, refusing sizes
// whose memory cannot be had), and the plain per-sample loop that every faster
// path must match bit for bit.
#pragma once

#include <cstdint>
#include <vector>

struct ViewerState;

// Number of iterates of z <- z^2 + c, from z1 = c, that lie strictly inside
// the square -2 < x, y < 2 before the first that does not, capped at
// maxIterations.
int escapeCount(double cx, double cy, int maxIterations);

// The lower-left corner of the sampled 3 x 3 window of the complex plane.
inline constexpr double WINDOW_LEFT = -2.0;
inline constexpr double WINDOW_BOTTOM = -1.5;

// The gridSize sample coordinates along one axis from `origin`: running sums
// of the step 3 / gridSize, each addition rounded as it is made (for sizes
// other than 128 * 2^k they differ from origin + j * step). Every way of
// computing the heights takes its coordinates from here.
std::vector<double> sampleCoordinates(double origin, int gridSize);

// Fills gridSize^2 heights, row-major, sample by sample with escapeCount, at
// the sample coordinates of both axes from (WINDOW_LEFT, WINDOW_BOTTOM).
void computeHeightsPlain(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted);

// Sizes both grids for state.gridSize, computes every height with the state's
// cap and convention, rebuilds the flat-cell mask and marks the mesh dirty.
void computeFractal(ViewerState& state);

// computeFractal with the given way of filling the heights, so that the
// plain loop can be measured in the very same steps as the vector kernel.
using HeightsFiller = void (*)(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted);
void computeFractalWith(ViewerState& state, HeightsFiller fillHeights);

// Gives both grids exactly gridSize^2 entries of fresh storage. When that
// memory cannot be obtained the grids are left exactly as they were and the
// result is false; the caller then keeps the grid size it had.
bool resizeGrids(ViewerState& state, int gridSize);
