// Decoder and invariant checks shared by the fuzzer and the seeded test.
//
// Each event takes one opcode byte and a few argument bytes: a key 0..255, a
// special key 0..255, a pointer position (signed, up to about a million
// pixels off the window either way), a reshape of 0..2047 a side, or a
// display pass. Escape is skipped (it ends the process); so that each input
// runs fast, no '+' is sent once the grid is 512 and no '1' once the cap is
// 250. The program itself keeps its real bounds.
#include "event_checks.h"

#include "fractal/flat_cells.h"
#include "fractal/height_field.h"
#include "gl_recorder.h"
#include "input/handlers.h"
#include "render/display.h"
#include "state/viewer_state.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// The parts of the state the compiled terrain is made from.
struct MeshInputs {
    int gridSize;
    int maxIterations;
    bool heightInverted;
    int shadingMode;
    bool colorsInverted;
    std::vector<std::uint16_t> heights;
};

MeshInputs meshInputs()
{
    return {viewer.gridSize, viewer.maxIterations, viewer.heightInverted, viewer.shadingMode,
            viewer.colorsInverted, {viewer.heights.values.get(), viewer.heights.values.get() + viewer.heights.count}};
}

bool sameMeshInputs(const MeshInputs& a, const MeshInputs& b)
{
    return a.gridSize == b.gridSize && a.maxIterations == b.maxIterations && a.heightInverted == b.heightInverted
           && a.shadingMode == b.shadingMode && a.colorsInverted == b.colorsInverted && a.heights == b.heights;
}

std::string checkState()
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
    for (const std::uint16_t height : gridValues(viewer.heights)) {
        if (height > cap) {
            return "height " + std::to_string(height) + " above the cap " + std::to_string(cap);
        }
    }
    ViewerState recomputed;
    recomputed.gridSize = size;
    resizeGrids(recomputed, size);
    std::ranges::copy(gridValues(viewer.heights), recomputed.heights.values.get());
    findFlatCells(recomputed);
    if (!std::ranges::equal(gridValues(recomputed.flatCells), gridValues(viewer.flatCells))) {
        return "the flat-cell mask differs from the one the heights give";
    }
    if (!(viewer.pitch >= -80.0f && viewer.pitch <= 80.0f) || !isMultipleOfHalf(viewer.pitch)) {
        return "pitch " + std::to_string(viewer.pitch);
    }
    if (!isMultipleOfHalf(viewer.yaw)) {
        return "yaw " + std::to_string(viewer.yaw);
    }
    return {};
}

// Every glBegin ended before the next, and nothing between them but vertices
// and colours. Only possible while calls are logged one by one.
std::string checkPrimitives()
{
    bool open = false;
    for (const GlCall& call : recordedCalls()) {
        const std::string name = call.name;
        if (name == "glBegin") {
            if (open) {
                return "glBegin inside glBegin";
            }
            open = true;
        } else if (name == "glEnd") {
            if (!open) {
                return "glEnd without glBegin";
            }
            open = false;
        } else if (open && name != "glVertex3f" && name != "glColor3f") {
            return name + " inside glBegin";
        }
    }
    return open ? "glBegin never ended" : "";
}

// The calls of one event: list 1 compiled exactly when the terrain was due
// (dirty before, or its inputs changed), replayed on every other pass.
std::string checkCalls(bool compileDue)
{
    const std::size_t passes = callCount("glClear");
    const std::size_t compiles = callCount("glNewList");
    if (callCount("glBegin") != callCount("glEnd")) {
        return "glBegin and glEnd counts differ";
    }
    if (compiles != callCount("glEndList") || compiles != callCount("glDeleteLists")) {
        return "glNewList, glEndList and glDeleteLists counts differ";
    }
    if (passes == 0) {
        return compiles == 0 ? "" : "compiled outside a display pass";
    }
    const std::size_t expected = compileDue ? 1 : 0;
    if (compiles != expected) {
        return "list 1 compiled " + std::to_string(compiles) + " times, expected " + std::to_string(expected);
    }
    if (callCount("glCallList") != passes - compiles) {
        return "replays do not match the display passes";
    }
    if (viewer.meshDirty) {
        return "meshDirty still set after a display pass";
    }
    if (callCount("glutPostRedisplay") != 0 || callCount("glGetError") != 0) {
        return "a redisplay was posted or an error queried";
    }
    return checkPrimitives();
}

std::string describe(int opcode, int a, int b)
{
    static const char* const kinds[] = {"key", "special key", "pointer", "reshape", "display"};
    return std::string(kinds[opcode]) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

} // namespace

void startEventSequence()
{
    // Start-up is the same for every sequence: run it once, keep its grids,
    // and give each sequence the same record again. Start-up changes no
    // field but the grids and meshDirty, which its first frame clears.
    static const std::vector<std::uint16_t> startedHeights = [] {
        viewer = ViewerState{};
        computeFractal(viewer);
        reshape(512, 512);
        display();
        return std::vector<std::uint16_t>(viewer.heights.values.get(), viewer.heights.values.get() + viewer.heights.count);
    }();
    viewer = ViewerState{};
    resizeGrids(viewer, viewer.gridSize);
    std::ranges::copy(startedHeights, viewer.heights.values.get());
    findFlatCells(viewer);
    viewer.meshDirty = false;
    pauseRecording(false);
    clearRecordedCalls();
}

std::string runEventSequence(const std::uint8_t* data, std::size_t size)
{
    ByteReader reader{data, size, 0};
    std::string failure = checkState();
    for (int event = 1; failure.empty() && reader.position < reader.size; ++event) {
        const int opcode = nextByte(reader) % 5;
        int a = 0;
        int b = 0;
        const bool dirtyBefore = viewer.meshDirty;
        const MeshInputs before = meshInputs();
        // Calls of a grid above 128 are only counted: they run to millions.
        pauseRecording(viewer.gridSize > MIN_GRID_SIZE);
        clearRecordedCalls();
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
        failure = checkState();
        if (failure.empty()) {
            failure = checkCalls(dirtyBefore || !sameMeshInputs(before, meshInputs()));
        }
        if (!failure.empty()) {
            failure += " after event " + std::to_string(event) + ", " + describe(opcode, a, b);
        }
    }
    pauseRecording(false);
    clearRecordedCalls();
    return failure;
}
