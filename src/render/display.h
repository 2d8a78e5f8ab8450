// Display pass and reshape: the only place the terrain is drawn.
//
// display clears the window, sets the camera and the scale that fits the grid
// into the world, replays the compiled terrain in TERRAIN_LIST or, while
// meshDirty is set, compiles it anew in compile-and-execute mode, and swaps
// the buffers. reshape owns the viewport and the projection matrix and leaves
// the model-view matrix selected for display.
#pragma once

// The fixed display-list name that holds the compiled terrain.
inline constexpr unsigned int TERRAIN_LIST = 1;

// x and z scale that makes the grid about 51.2 units a side at every size.
float terrainScale(int gridSize);

// Width over height in double precision. A height of 0 (a minimised window)
// counts as 1, so the projection stays finite.
double aspectRatio(int width, int height);

void display();
void reshape(int width, int height);
