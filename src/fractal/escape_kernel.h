// Fast escape-time kernel: the heights of many samples at once, in the widest
// vectors the processor offers, bit for bit equal to the plain per-sample loop
// of height_field.h.
//
// Entry points: computeHeightsFast (a whole square grid, as computeFractal
// needs it), computeHeightsOfRectangle (any rectangle of sample points, so
// that tests can aim dense patches at the delicate places of the set), and
// two queries that name the instruction sets the kernel was compiled for and
// the one it runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How the kernel drives its lanes. All ways give the same heights. The
// entry points without a stepping choose one by the cap (steppingForCap);
// tests and benchmarks name one to compare them.
struct EscapeStepping {
    // Steps that blocks of neighbouring samples take together before the
    // samples still in the square go to the per-lane refill; at least the
    // cap: blocks alone; 0: the refill alone.
    int blockSteps;
    // Whether the refill finishes an orbit caught in a cycle at once.
    bool detectCycles;
};

// The stepping the kernel uses at the given cap.
EscapeStepping steppingForCap(int maxIterations);

// For the rows x columns samples with points (columnCx[c], rowCy[r]), stores
// the height of the escape count, maxIterations - k or k while heightInverted
// is set, at heights[r * columns + c]. Results equal escapeCount exactly.
void computeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted);
void computeHeightsOfRectangleWith(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                                   const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted,
                                   EscapeStepping stepping);

// Same contract as computeHeightsPlain: gridSize^2 heights, row-major, at the
// same sample coordinates.
void computeHeightsFast(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted);
void computeHeightsFastWith(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted,
                            EscapeStepping stepping);

// Highway target bits of the kernel's instruction sets that are compiled in
// and that this processor can run, best first.
std::vector<std::int64_t> escapeKernelTargets();

// Name of the instruction set the next call of the kernel dispatches to.
const char* escapeKernelTargetName();
