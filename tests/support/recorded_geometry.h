// Reads the recorder's log back as geometry: the primitives between each
// glBegin and glEnd, with their vertices and the colour current at each.
#pragma once

#include "gl_recorder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct RecordedVertex {
    float x, y, z;
    float grey; // red component of the colour in force; the mesh only emits greys
};

struct RecordedPrimitive {
    int mode; // GL_TRIANGLE_STRIP or GL_QUADS
    std::vector<RecordedVertex> vertices;
};

// Primitives of the logged calls from index `first` on. Calls outside a
// glBegin/glEnd pair are skipped; a glBegin left open gives a primitive
// with mode -1 so that tests see it.
std::vector<RecordedPrimitive> recordedPrimitives(std::size_t first = 0);

// Exact bit pattern of a recorded single-precision argument.
std::uint32_t floatBits(double recorded);
