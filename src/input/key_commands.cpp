// Keyboard command table and the state changes it names.
#include "input/key_commands.h"

#include "fractal/height_field.h"
#include "state/grid_memory.h"
#include "state/system_memory.h"
#include "state/viewer_state.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <new>
#include <string>

MemoryFigures (*memoryFiguresNow)() = readSystemMemoryFigures;

// A larger grid is weighed first against the memory the process can still
// get, since with overcommit the allocator would not refuse it and the
// kernel would kill the viewer later instead.
static bool largerGridFits(int gridSize)
{
    try {
        const GridMemoryVerdict verdict = gridMemoryVerdict(gridSize, memoryFiguresNow());
        if (!verdict.fits) {
            std::fputs(gridRefusalLine(gridSize, verdict).c_str(), stderr);
        }
        return verdict.fits;
    } catch (const std::bad_alloc&) {
        // Not even the few KiB for reading the figures (a tight address-space
        // limit): there is certainly no room for a larger grid.
        return false;
    }
}

// A new grid size or cap is taken only when the grids can be given the
// storage for it; a refused change leaves the old grid, its mask and the
// compiled terrain as they were, and the frame replays the terrain.
static void recomputeGrid(ViewerState& state, int gridSize, int maxIterations)
{
    if (gridSize > state.gridSize && !largerGridFits(gridSize)) {
        return;
    }
    if (!resizeGrids(state, gridSize)) {
        return;
    }
    state.gridSize = gridSize;
    state.maxIterations = maxIterations;
    computeFractal(state);
}

static void doubleGrid(ViewerState& state)
{
    if (state.gridSize < MAX_GRID_SIZE) {
        recomputeGrid(state, state.gridSize * 2, state.maxIterations);
    }
}

static void halveGrid(ViewerState& state)
{
    if (state.gridSize > MIN_GRID_SIZE) {
        recomputeGrid(state, state.gridSize / 2, state.maxIterations);
    }
}

static void raiseCap(ViewerState& state)
{
    if (state.maxIterations < MAX_ITERATIONS) {
        recomputeGrid(state, state.gridSize, state.maxIterations + ITERATION_STEP);
    }
}

static void lowerCap(ViewerState& state)
{
    if (state.maxIterations > MIN_ITERATIONS) {
        recomputeGrid(state, state.gridSize, state.maxIterations - ITERATION_STEP);
    }
}

static void cycleShading(ViewerState& state)
{
    state.meshDirty = true;
    state.shadingMode = (state.shadingMode + 1) % SHADING_MODE_COUNT;
}

static void toggleWireframe(ViewerState& state)
{
    state.wireframe = !state.wireframe;
}

// Heights lie in 0..cap, so cap - h turns the grid into the other convention
// exactly; equal heights stay equal, so the flat-cell mask stays valid.
static void flipHeights(ViewerState& state)
{
    state.heightInverted = !state.heightInverted;
    const auto cap = static_cast<std::uint16_t>(state.maxIterations);
    for (std::uint16_t& h : gridValues(state.heights)) {
        h = static_cast<std::uint16_t>(cap - h);
    }
    state.meshDirty = true;
}

static void toggleColors(ViewerState& state)
{
    state.meshDirty = true;
    state.colorsInverted = !state.colorsInverted;
}

static constexpr KeyCommand KEY_COMMANDS[] = {
    {'+', '=', doubleGrid, false},
    {'-', '_', halveGrid, false},
    {'1', '1', raiseCap, false},
    {'2', '2', lowerCap, false},
    {'m', 'M', cycleShading, false},
    {'w', 'W', toggleWireframe, true},
    {'i', 'I', flipHeights, false},
    {'c', 'C', toggleColors, false},
};

const KeyCommand* findKeyCommand(unsigned char key)
{
    for (const KeyCommand& command : KEY_COMMANDS) {
        if (command.key == key || command.otherKey == key) {
            return &command;
        }
    }
    return nullptr;
}

const KeyCommand* keyCommandsBegin()
{
    return std::begin(KEY_COMMANDS);
}

const KeyCommand* keyCommandsEnd()
{
    return std::end(KEY_COMMANDS);
}
