// The terrain walk with every value formed at its vertex: the grey and y
// from the shading formulas, the z values from the row index. It is what the
// per-call tables of drawTerrain replace, kept as the baseline the benchmark
// measures them against and as the reference whose call stream theirs must
// equal, call for call and value for value.
#pragma once

struct ViewerState;

void drawTerrainPerVertex(const ViewerState& state, int shadingMode, bool colorsInverted);
