// Keyboard commands through the real handler: the effect of every key in
// both cases, the keys that only redraw, the bounds, the meshDirty protocol
// over sequences, Escape, and a '+' refused for lack of memory.
#include "fractal/height_field.h"
#include "input/camera.h"
#include "input/handlers.h"
#include "input/key_commands.h"
#include "recorded_geometry.h"
#include "render/display.h"
#include "viewer_fixture.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

class Keyboard : public ViewerTest {
protected:
    // A computed grid whose terrain has been compiled by a first frame.
    void startAt(int gridSize, int maxIterations)
    {
        viewer.gridSize = gridSize;
        viewer.maxIterations = maxIterations;
        computeFractal(viewer);
        pauseRecording(true);
        display();
        pauseRecording(false);
        clearRecordedCalls();
    }

    std::size_t compilations() const { return callCount("glNewList"); }
    std::size_t frames() const { return callCount("glutSwapBuffers"); }
};

std::vector<std::uint16_t> plainHeights(int gridSize, int maxIterations, bool heightInverted)
{
    std::vector<std::uint16_t> heights(gridEntryCount(gridSize));
    computeHeightsPlain(heights.data(), gridSize, maxIterations, heightInverted);
    return heights;
}

struct KeyCase {
    unsigned char key;
    int startGrid, startCap;
    int gridSize, maxIterations, shadingMode;
    bool wireframe, heightInverted, colorsInverted;
    std::size_t compilations;
};

TEST_F(Keyboard, EveryCommandInEveryCase)
{
    const KeyCase cases[] = {
        {'+', 128, 25, 256, 25, 2, false, false, false, 1},
        {'=', 128, 25, 256, 25, 2, false, false, false, 1},
        {'-', 256, 25, 128, 25, 2, false, false, false, 1},
        {'_', 256, 25, 128, 25, 2, false, false, false, 1},
        {'1', 128, 25, 128, 50, 2, false, false, false, 1},
        {'2', 128, 50, 128, 25, 2, false, false, false, 1},
        {'m', 128, 25, 128, 25, 0, false, false, false, 1},
        {'M', 128, 25, 128, 25, 0, false, false, false, 1},
        {'w', 128, 25, 128, 25, 2, true, false, false, 0},
        {'W', 128, 25, 128, 25, 2, true, false, false, 0},
        {'i', 128, 25, 128, 25, 2, false, true, false, 1},
        {'I', 128, 25, 128, 25, 2, false, true, false, 1},
        {'c', 128, 25, 128, 25, 2, false, false, true, 1},
        {'C', 128, 25, 128, 25, 2, false, false, true, 1},
    };
    for (const KeyCase& c : cases) {
        SetUp();
        startAt(c.startGrid, c.startCap);
        keyboard(c.key, 17, 33);
        const std::string name = std::string("key ") + char(c.key);
        EXPECT_EQ(viewer.gridSize, c.gridSize) << name;
        EXPECT_EQ(viewer.maxIterations, c.maxIterations) << name;
        EXPECT_EQ(viewer.shadingMode, c.shadingMode) << name;
        EXPECT_EQ(viewer.wireframe, c.wireframe) << name;
        EXPECT_EQ(viewer.heightInverted, c.heightInverted) << name;
        EXPECT_EQ(viewer.colorsInverted, c.colorsInverted) << name;
        EXPECT_TRUE(viewer.heights == plainHeights(c.gridSize, c.maxIterations, c.heightInverted)) << name;
        EXPECT_EQ(viewer.flatCells.size(), gridEntryCount(c.gridSize)) << name;
        EXPECT_EQ(compilations(), c.compilations) << name;
        EXPECT_EQ(frames(), 1u) << name;
        EXPECT_FALSE(viewer.meshDirty) << name;
        EXPECT_EQ(callCount("glPolygonMode"), c.wireframe ? 1u : 0u) << name;
    }
}

TEST_F(Keyboard, KeysWithoutEffectOnlyRedraw)
{
    struct Case {
        unsigned char key;
        int gridSize, maxIterations;
    };
    const Case cases[] = {
        {'!', 128, 25}, {'@', 128, 25}, {'"', 128, 25}, {'x', 128, 25}, {' ', 128, 25}, {0, 128, 25}, {255, 128, 25},
        {'-', 128, 25},  // already the smallest grid
        {'2', 128, 25},  // already the smallest cap
        {'1', 128, MAX_ITERATIONS},
    };
    for (const Case& c : cases) {
        SetUp();
        startAt(c.gridSize, 25);
        viewer.maxIterations = c.maxIterations; // only the bound matters here
        const std::vector<std::uint16_t> heights = viewer.heights;
        const std::uint16_t* storage = viewer.heights.data();
        keyboard(c.key, 0, 0);
        EXPECT_EQ(viewer.gridSize, c.gridSize) << int(c.key);
        EXPECT_EQ(viewer.maxIterations, c.maxIterations) << int(c.key);
        EXPECT_EQ(viewer.heights.data(), storage) << int(c.key);
        EXPECT_TRUE(viewer.heights == heights) << int(c.key);
        EXPECT_EQ(viewer.shadingMode, 2) << int(c.key);
        EXPECT_FALSE(viewer.wireframe || viewer.heightInverted || viewer.colorsInverted) << int(c.key);
        EXPECT_EQ(recordedNames().size(), 8u) << int(c.key);
        EXPECT_EQ(callCount("glCallList"), 1u) << int(c.key);
    }
}

TEST_F(Keyboard, PlusStopsAtTheLargestGrid)
{
    // The grids are left small: at the bound, '+' must not even try to allocate.
    startAt(128, 25);
    viewer.gridSize = MAX_GRID_SIZE;
    keyboard('+', 0, 0);
    EXPECT_EQ(viewer.gridSize, MAX_GRID_SIZE);
    EXPECT_EQ(viewer.heights.size(), gridEntryCount(128));
    EXPECT_EQ(compilations(), 0u);
    EXPECT_EQ(frames(), 1u);
}

TEST_F(Keyboard, NoKeyMatchesTwoCommands)
{
    std::set<unsigned char> seen;
    for (const KeyCommand* c = keyCommandsBegin(); c != keyCommandsEnd(); ++c) {
        seen.insert(c->key);
        if (c->otherKey != c->key) {
            EXPECT_TRUE(seen.insert(c->otherKey).second) << c->otherKey;
        }
    }
    EXPECT_EQ(seen.size(), 14u);
    EXPECT_EQ(findKeyCommand(ESCAPE_KEY), nullptr);
}

TEST_F(Keyboard, ShadingCyclesAndCompilesOncePerPress)
{
    startAt(128, 25);
    const int expectedModes[] = {SHADE_LINEAR, SHADE_SQRT, SHADE_SQRT_FROM_CAP};
    for (std::size_t press = 0; press < 3; ++press) {
        keyboard('m', 0, 0);
        EXPECT_EQ(viewer.shadingMode, expectedModes[press]);
        EXPECT_EQ(compilations(), press + 1);
    }
}

TEST_F(Keyboard, WireframeSetsFrontPolygonModeAndNeverCompiles)
{
    startAt(128, 25);
    keyboard('w', 0, 0);
    keyboard('W', 0, 0);
    const std::vector<GlCall>& calls = recordedCalls();
    std::vector<double> modes;
    for (const GlCall& call : calls) {
        if (std::strcmp(call.name, "glPolygonMode") == 0) {
            EXPECT_EQ(call.args[0], double(GL_FRONT));
            modes.push_back(call.args[1]);
        }
    }
    EXPECT_EQ(modes, (std::vector<double>{GL_LINE, GL_FILL}));
    EXPECT_STREQ(calls[0].name, "glPolygonMode") << "the mode is set before the frame";
    EXPECT_FALSE(viewer.wireframe);
    EXPECT_EQ(compilations(), 0u);
    EXPECT_EQ(frames(), 2u);
}

TEST_F(Keyboard, CameraEventsBetweenCommandsCompileNothing)
{
    startAt(128, 25);
    keyboard('m', 0, 0);
    passiveMotion(260, 300);
    specialKey(GLUT_KEY_UP, 0, 0);
    specialKey(GLUT_KEY_LEFT, 0, 0);
    passiveMotion(200, 200);
    keyboard('c', 0, 0);
    EXPECT_EQ(compilations(), 2u);
    EXPECT_EQ(callCount("glCallList"), 4u);
    EXPECT_EQ(frames(), 6u);
}

TEST_F(Keyboard, HeightFlipTwiceRestoresEveryHeightAndKeepsTheMask)
{
    startAt(128, 25);
    const std::vector<std::uint16_t> heights = viewer.heights;
    const std::vector<std::uint8_t> mask = viewer.flatCells;
    keyboard('i', 0, 0);
    EXPECT_TRUE(viewer.heights == plainHeights(128, 25, true));
    EXPECT_TRUE(viewer.flatCells == mask);
    keyboard('I', 0, 0);
    EXPECT_FALSE(viewer.heightInverted);
    EXPECT_TRUE(viewer.heights == heights);
    EXPECT_TRUE(viewer.flatCells == mask);
    EXPECT_EQ(compilations(), 2u);
}

TEST_F(Keyboard, GridAndCapRoundTrips)
{
    startAt(128, 25);
    const std::vector<std::uint16_t> heights = viewer.heights;
    keyboard('+', 0, 0);
    keyboard('-', 0, 0);
    EXPECT_EQ(viewer.gridSize, 128);
    EXPECT_TRUE(viewer.heights == heights);
    EXPECT_EQ(viewer.heights.capacity(), gridEntryCount(128)) << "a smaller grid gives its memory back";
    keyboard('1', 0, 0);
    keyboard('2', 0, 0);
    EXPECT_EQ(viewer.maxIterations, 25);
    EXPECT_TRUE(viewer.heights == heights);
    EXPECT_EQ(compilations(), 4u);
}

TEST_F(Keyboard, LaterComputationsFollowTheFlippedConvention)
{
    startAt(128, 25);
    keyboard('i', 0, 0);
    keyboard('1', 0, 0);
    EXPECT_TRUE(viewer.heights == plainHeights(128, 50, true));
}

void reportFrames()
{
    std::fprintf(stderr, "frames drawn: %zu\n", callCount("glutSwapBuffers"));
}

TEST_F(Keyboard, EscapeExitsWithStatusZeroWithoutAFrame)
{
    startAt(128, 25);
    EXPECT_EXIT(
        {
            std::atexit(reportFrames);
            keyboard(ESCAPE_KEY, 0, 0);
        },
        ::testing::ExitedWithCode(0), "frames drawn: 0");
}

std::size_t addressSpaceInUse()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmSize:", 0) == 0) {
            return std::stoul(line.substr(7)) * 1024;
        }
    }
    return 0;
}

// In a child whose address space leaves no room for the doubled grid: '+' is
// refused, the old grid stays whole, and the viewer keeps working.
void pressPlusWithoutMemory()
{
    const std::vector<std::uint16_t> heights = viewer.heights;
    const std::vector<std::uint8_t> mask = viewer.flatCells;
    const std::size_t limit = addressSpaceInUse() + (4u << 20);
    const rlimit cap{limit, limit};
    if (limit == 4u << 20 || setrlimit(RLIMIT_AS, &cap) != 0) {
        std::fprintf(stderr, "could not limit the address space\n");
        std::_Exit(2);
    }
    keyboard('+', 0, 0);
    const bool kept = viewer.gridSize == 1024 && viewer.heights == heights && viewer.flatCells == mask &&
                      !viewer.meshDirty && callCount("glCallList") == 1 && callCount("glutSwapBuffers") == 1;
    pauseRecording(true); // the recorder's own log of the new mesh would not fit
    keyboard('1', 0, 0);  // the same grid size needs no new memory
    const bool working = viewer.maxIterations == 50 && viewer.heights.size() == gridEntryCount(1024) &&
                         callCount("glNewList") == 1;
    std::fprintf(stderr, "kept %d working %d\n", kept, working);
    std::_Exit(kept && working ? 0 : 1);
}

TEST_F(Keyboard, PlusIsRefusedWhenTheLargerGridCannotBeAllocated)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    if (std::getenv("VELLACOR_EMULATED") != nullptr) {
        GTEST_SKIP() << "qemu-user does not apply an address-space limit to the program it runs";
    }
    startAt(1024, 25);
    EXPECT_EXIT(pressPlusWithoutMemory(), ::testing::ExitedWithCode(0), "kept 1 working 1");
}

} // namespace
