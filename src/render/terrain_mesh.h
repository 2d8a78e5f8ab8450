// Terrain mesh: emits the height grid as immediate-mode geometry, one
// triangle strip per pair of rows with every run of flat cells cut out and
// drawn as a single quad, and a grey at every vertex from one of six
// shadings (three modes, plain or inverted colours).
//
// Object space: x is the column index, z the row index, y is HEIGHT_SCALE
// times the height. Seen from above every face winds counter-clockwise.
//
// The grey and height arithmetic is kept in pure functions so that tests can
// pin every value without a rendering context; drawTerrain is the thin walk
// that passes those values to OpenGL.
#pragma once

#include <cstdint>

struct ViewerState;

inline constexpr double HEIGHT_SCALE = 0.02;

// The single-precision square root of the cap that the square-root shadings
// divide by.
float shadingDivisor(int maxIterations);

// Grey of a vertex of the given height under one of the six shadings, formed
// in double precision and rounded to single precision once.
float vertexGrey(int height, int maxIterations, float divisor, int shadingMode, bool colorsInverted);

// y of a vertex of the given height: the double product rounded once.
float vertexHeight(int height);

// Emits the whole terrain of the state's grids. Begins and ends every
// primitive it opens; calls only glBegin, glEnd, glColor3f and glVertex3f.
void drawTerrain(const ViewerState& state, int shadingMode, bool colorsInverted);
