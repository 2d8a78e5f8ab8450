// The viewer's one record of state, kept from one event to the next.
//
// Exactly one instance, `viewer`, exists for the life of the process. Every
// field holds its default before any code runs (constant initialisation), so
// no start-up code assigns defaults. The fractal code fills the grids; the
// toolkit callbacks change the rest. Nothing here is read from or saved to
// the outside world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Shading modes: the colour formula of the terrain.
inline constexpr int SHADE_LINEAR = 0;
inline constexpr int SHADE_SQRT = 1;
inline constexpr int SHADE_SQRT_FROM_CAP = 2;
inline constexpr int SHADING_MODE_COUNT = 3;

// Grid resolution bounds. The grid only doubles and halves from 128. At 16384
// the grids take 768 MiB; one more doubling would need 3 GiB for them alone.
//
// Short of that bound the limit is memory, and more than the grids': the GL
// driver keeps the compiled terrain, which grows with the grid as well (with
// Mesa 196 MiB at 8192, beside 192 MiB of grids; state/grid_memory.h). Under
// Linux's default overcommit the allocator does not refuse a grid that will
// not fit: its pages fail only when touched, and then the kernel kills the
// process. So '+' takes a larger grid only when the grids, an estimate of the
// terrain and a margin fit into what the process can still get (MemAvailable,
// and its cgroup's limit); an allocation that fails all the same is refused
// too, as the last line of defence.
inline constexpr int MIN_GRID_SIZE = 128;
inline constexpr int MAX_GRID_SIZE = 16384;

// Iteration cap bounds. Heights are 16-bit, so 65,525 is the largest multiple
// of the step whose heights can all be stored.
inline constexpr int ITERATION_STEP = 25;
inline constexpr int MIN_ITERATIONS = 25;
inline constexpr int MAX_ITERATIONS = 65525;

// The storage of one grid: `count` entries behind `values`, and nothing
// else. The fractal code writes every entry of a grid before anything reads
// it, so new storage is taken without being zero-filled first.
template <typename Entry>
struct GridStorage {
    std::unique_ptr<Entry[]> values;
    std::size_t count = 0;
};

template <typename Entry>
std::span<Entry> gridValues(GridStorage<Entry>& grid)
{
    return {grid.values.get(), grid.count};
}

template <typename Entry>
std::span<const Entry> gridValues(const GridStorage<Entry>& grid)
{
    return {grid.values.get(), grid.count};
}

struct ViewerState {
    int gridSize = 128;          // samples per side; always 128 * 2^k, at most MAX_GRID_SIZE
    int maxIterations = 25;      // escape-time cap and largest height; multiple of 25 in 25..65525
    bool heightInverted = false; // false: height = cap - escape count; true: height = escape count
    GridStorage<std::uint16_t> heights; // gridSize^2 heights, row-major (row = imaginary axis), each in 0..maxIterations
    GridStorage<std::uint8_t> flatCells; // gridSize^2 flags, 1 where a cell's four corners are equal; last row and column 0
    bool meshDirty = true;       // the compiled terrain no longer matches the state; cleared only by the display pass
    int shadingMode = SHADE_SQRT_FROM_CAP; // colour formula, 0..2
    bool colorsInverted = false; // picks the inverted variant of the shading mode
    bool wireframe = false;      // true exactly while front faces are drawn as lines
    float camX = 0.0f;           // camera translation x, scene units, unbounded
    float camY = -6.0f;          // camera translation y, scene units, unbounded
    float camZ = -0.9f;          // camera translation z, scene units, unbounded
    float yaw = 0.0f;            // degrees about y; a multiple of 0.5, wrapped once per change into [0, 360)
    float pitch = 0.0f;          // degrees about x; a multiple of 0.5 within [-80, 80]
    int lastMouseX = 250;        // pointer x of the last passive-motion event, window pixels
    int lastMouseY = 250;        // pointer y of the last passive-motion event, window pixels
};

// Number of entries of each grid for a side of `gridSize` samples.
inline std::size_t gridEntryCount(int gridSize)
{
    return static_cast<std::size_t>(gridSize) * static_cast<std::size_t>(gridSize);
}

extern constinit ViewerState viewer;
