// Decoder and invariant checks shared by the fuzzer and the seeded test.
//
// Each event takes one opcode byte and a few argument bytes: a key 0..255, a
// special key 0..255, a pointer position (signed, up to about a million
// pixels off the window either way), a reshape of 0..2047 a side, or a
// display pass. Escape is skipped (it ends the process); so that each input
// runs fast, no '+' is sent once the grid is 512 and no '1' once the cap is
// 250. The program itself keeps its real bounds.
#include "event_checks.h"

#include "counting_gl.h"
#include "fractal/flat_cells.h"
#include "fractal/height_field.h"
#include "input/handlers.h"
#include "render/display.h"
#include "state/viewer_state.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int FUZZ_GRID_LIMIT = 512;
constexpr int FUZZ_CAP_LIMIT = 250;

struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

std::uint8_t nextByte(ByteReader& reader)
{
    return reader.position < reader.size ? reader.data[reader.position++] : 0;
}

int nextSigned16(ByteReader& reader)
{
    const int high = nextByte(reader);
    const int low = nextByte(reader);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(high << 8 | low));
}

// Pointer coordinates: mostly near the window, sometimes far off it.
int nextPointerCoordinate(ByteReader& reader)
{
    const int value = nextSigned16(reader);
    return (nextByte(reader) & 7) == 0 ? value * 32 : value % 1024;
}

bool isMultipleOfHalf(float angle)
{
    return std::isfinite(angle) && std::floor(angle * 2.0f) == angle * 2.0f;
}

// The grids as last checked, with the size and cap they were checked for.
// Every event starts from them, so an event that leaves them as they were
// needs no new pass over every entry: comparing them is enough.
struct CheckedGrids {
    int gridSize;
    int maxIterations;
    std::vector<std::uint16_t> heights;
    std::vector<std::uint8_t> flatCells;
};

CheckedGrids checked;

bool gridsAsChecked()
{
    return viewer.gridSize == checked.gridSize && viewer.maxIterations == checked.maxIterations
           && std::ranges::equal(gridValues(viewer.heights), checked.heights)
           && std::ranges::equal(gridValues(viewer.flatCells), checked.flatCells);
}

// The settings the compiled terrain is made from, besides the grids.
struct MeshSettings {
    bool heightInverted;
    int shadingMode;
    bool colorsInverted;
};

MeshSettings meshSettings() { return {viewer.heightInverted, viewer.shadingMode, viewer.colorsInverted}; }

bool sameMeshSettings(const MeshSettings& a, const MeshSettings& b)
{
    return a.heightInverted == b.heightInverted && a.shadingMode == b.shadingMode
           && a.colorsInverted == b.colorsInverted;
}

// Every entry of the grids: heights within the cap, and the mask the one the
// heights give. On success the grids become the checked ones.
std::string checkGridEntries()
{
    const int cap = viewer.maxIterations;
    for (const std::uint16_t height : gridValues(viewer.heights)) {
        if (height > cap) {
            return "height " + std::to_string(height) + " above the cap " + std::to_string(cap);
        }
    }
    ViewerState recomputed;
    recomputed.gridSize = viewer.gridSize;
    resizeGrids(recomputed, viewer.gridSize);
    std::ranges::copy(gridValues(viewer.heights), recomputed.heights.values.get());
    findFlatCells(recomputed);
    if (!std::ranges::equal(gridValues(recomputed.flatCells), gridValues(viewer.flatCells))) {
        return "the flat-cell mask differs from the one the heights give";
    }
    const auto heights = gridValues(viewer.heights);
    const auto flatCells = gridValues(viewer.flatCells);
    checked = {viewer.gridSize, cap, {heights.begin(), heights.end()}, {flatCells.begin(), flatCells.end()}};
    return {};
}

std::string checkState(bool gridsUnchanged)
{
    const int size = viewer.gridSize;
    if (size < MIN_GRID_SIZE || size > MAX_GRID_SIZE || size % MIN_GRID_SIZE != 0
        || ((size / MIN_GRID_SIZE) & (size / MIN_GRID_SIZE - 1)) != 0) {
        return "gridSize " + std::to_string(size) + " is not 128 * 2^k up to 16384";
    }
    const int cap = viewer.maxIterations;
    if (cap < MIN_ITERATIONS || cap > MAX_ITERATIONS || cap % ITERATION_STEP != 0) {
        return "maxIterations " + std::to_string(cap);
    }
    const std::size_t entries = gridEntryCount(size);
    if (viewer.heights.count != entries || viewer.flatCells.count != entries) {
        return "grids of " + std::to_string(viewer.heights.count) + " and "
               + std::to_string(viewer.flatCells.count) + " entries for gridSize " + std::to_string(size);
    }
    if (!gridsUnchanged) {
        const std::string failure = checkGridEntries();
        if (!failure.empty()) {
            return failure;
        }
    }
    if (!(viewer.pitch >= -80.0f && viewer.pitch <= 80.0f) || !isMultipleOfHalf(viewer.pitch)) {
        return "pitch " + std::to_string(viewer.pitch);
    }
    if (!isMultipleOfHalf(viewer.yaw)) {
        return "yaw " + std::to_string(viewer.yaw);
    }
    return {};
}

// The calls of one event: every pass swapped one frame; list 1 compiled
// exactly when the terrain was due (dirty before, or what it is made from
// changed), replayed on every other pass; no redisplay asked for; and every
// primitive and list begun was ended, with nothing between glBegin and glEnd
// but vertices and colours.
std::string checkCalls(bool compileDue)
{
    const GlTally& calls = glTally();
    if (calls.misuse != nullptr) {
        return calls.misuse;
    }
    if (calls.insidePrimitive) {
        return "glBegin never ended";
    }
    if (calls.compilingList) {
        return "glNewList never ended";
    }
    if (calls.redisplayRequests != 0) {
        return "a redisplay was posted";
    }
    const std::size_t passes = calls.clears;
    const std::size_t compiles = calls.newLists;
    if (calls.swaps != passes) {
        return std::to_string(calls.swaps) + " buffer swaps in " + std::to_string(passes) + " display passes";
    }
    if (compiles != calls.endLists || compiles != calls.deleteLists) {
        return "glNewList, glEndList and glDeleteLists counts differ";
    }
    if (passes == 0) {
        return compiles == 0 ? "" : "compiled outside a display pass";
    }
    const std::size_t expected = compileDue ? 1 : 0;
    if (compiles != expected) {
        return "list 1 compiled " + std::to_string(compiles) + " times, expected " + std::to_string(expected);
    }
    if (calls.callLists != passes - compiles) {
        return "replays do not match the display passes";
    }
    if (viewer.meshDirty) {
        return "meshDirty still set after a display pass";
    }
    return {};
}

std::string describe(int opcode, int a, int b)
{
    static const char* const kinds[] = {"key", "special key", "pointer", "reshape", "display"};
    return std::string(kinds[opcode]) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

} // namespace

void startEventSequence()
{
    // Start-up is the same for every sequence: run it once and keep its
    // grids. Start-up changes no field but the grids and meshDirty, which its
    // first frame clears, so each sequence gets a fresh record with the
    // started grids copied in.
    static const CheckedGrids started = [] {
        viewer = ViewerState{};
        computeFractal(viewer);
        reshape(512, 512);
        display();
        const auto heights = gridValues(viewer.heights);
        const auto flatCells = gridValues(viewer.flatCells);
        return CheckedGrids{viewer.gridSize, viewer.maxIterations, {heights.begin(), heights.end()},
                            {flatCells.begin(), flatCells.end()}};
    }();
    // Checked once too; if they fail, nothing is taken as checked, and every
    // sequence checks them again and reports it.
    static const CheckedGrids startChecked = [] {
        checkGridEntries();
        return checked;
    }();
    viewer = ViewerState{};
    resizeGrids(viewer, viewer.gridSize);
    std::ranges::copy(started.heights, viewer.heights.values.get());
    std::ranges::copy(started.flatCells, viewer.flatCells.values.get());
    viewer.meshDirty = false;
    checked = startChecked;
    resetGlTally();
}

std::string runEventSequence(const std::uint8_t* data, std::size_t size)
{
    ByteReader reader{data, size, 0};
    std::string failure = checkState(gridsAsChecked());
    for (int event = 1; failure.empty() && reader.position < reader.size; ++event) {
        const int opcode = nextByte(reader) % 5;
        int a = 0;
        int b = 0;
        const bool dirtyBefore = viewer.meshDirty;
        const MeshSettings before = meshSettings();
        resetGlTally();
        if (opcode == 0) {
            a = nextByte(reader);
            const bool growsGrid = (a == '+' || a == '=') && viewer.gridSize >= FUZZ_GRID_LIMIT;
            const bool raisesCap = a == '1' && viewer.maxIterations >= FUZZ_CAP_LIMIT;
            if (a == 27 || growsGrid || raisesCap) {
                continue;
            }
            keyboard(static_cast<unsigned char>(a), 0, 0);
        } else if (opcode == 1) {
            a = nextByte(reader);
            specialKey(a, 0, 0);
        } else if (opcode == 2) {
            a = nextPointerCoordinate(reader);
            b = nextPointerCoordinate(reader);
            passiveMotion(a, b);
        } else if (opcode == 3) {
            a = nextSigned16(reader) & 2047;
            b = nextSigned16(reader) & 2047;
            reshape(a, b);
        } else {
            display();
        }
        const bool gridsUnchanged = gridsAsChecked();
        failure = checkState(gridsUnchanged);
        if (failure.empty()) {
            failure = checkCalls(dirtyBefore || !gridsUnchanged || !sameMeshSettings(before, meshSettings()));
        }
        if (!failure.empty()) {
            failure += " after event " + std::to_string(event) + ", " + describe(opcode, a, b);
        }
    }
    resetGlTally();
    return failure;
}
