// The start-up sequence against the recording stand-in, whose event loop
// returns at once: console text, toolkit set-up, window, callbacks in order
// and the fixed rendering state.
#include "app/startup.h"
#include "input/handlers.h"
#include "recorded_geometry.h"
#include "render/display.h"
#include "viewer_fixture.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

namespace {

using StartUp = ViewerTest;

const char* const CONSOLE_TEXT =
    "Vellacor\n"
    "Programmed by Tarnesk\n"
    "\n"
    "Usage:\n"
    "Arrow keys move the viewpoint\n"
    "Use the mouse to rotate the viewpoint\n"
    "'+'/'-' increases/decreases the polygon resolution by 2x\n"
    "'w' switches between wireframe and solid polygons\n"
    "'i' inverts the height of the fractal\n"
    "'c' inverts the colors\n"
    "'m' cycles though the various shading modes\n"
    "'1'/'2' increase/decrease the maximum number of iterations used for calculating the fractal\n"
    "Escape exits the program\n";

std::string runWithArguments(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runViewer(static_cast<int>(arguments.size()), argv.data()), 0);
    return ::testing::internal::GetCapturedStdout();
}

TEST_F(StartUp, SequenceInOrder)
{
    EXPECT_EQ(runWithArguments({"vellacor"}), CONSOLE_TEXT);
    EXPECT_EQ(viewer.heights.count, 128u * 128u);
    EXPECT_TRUE(viewer.meshDirty) << "nothing is drawn before the toolkit asks";

    const std::vector<GlCall>& calls = recordedCalls();
    const std::vector<std::string> expected = {
        "glutInit", "glutInitDisplayMode", "glutInitWindowPosition", "glutInitWindowSize", "glutCreateWindow",
        "glutReshapeFunc", "glutDisplayFunc", "glutSpecialFunc", "glutKeyboardFunc", "glutMouseFunc",
        "glutPassiveMotionFunc", "glClearColor", "glEnable", "glDepthFunc", "glShadeModel", "glCullFace",
        "glEnable", "glHint", "glutMainLoop",
    };
    ASSERT_EQ(recordedNames(), expected);
    EXPECT_EQ(calls[0].args[0], 1.0);
    EXPECT_EQ(calls[1].args[0], 18.0);
    EXPECT_EQ(calls[2].args[0], 50.0);
    EXPECT_EQ(calls[2].args[1], 50.0);
    EXPECT_EQ(calls[3].args[0], 512.0);
    EXPECT_EQ(calls[3].args[1], 512.0);
    EXPECT_EQ(calls[4].text, "Vellacor");

    const void* handlers[] = {
        reinterpret_cast<const void*>(reshape), reinterpret_cast<const void*>(display),
        reinterpret_cast<const void*>(specialKey), reinterpret_cast<const void*>(keyboard),
        reinterpret_cast<const void*>(mouseButton), reinterpret_cast<const void*>(passiveMotion),
    };
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(calls[5 + k].callback, handlers[k]) << calls[5 + k].name;
    }

    EXPECT_EQ(floatBits(calls[11].args[0]), floatBits(0.0392156877f));
    EXPECT_EQ(floatBits(calls[11].args[1]), floatBits(0.752941191f));
    EXPECT_EQ(floatBits(calls[11].args[2]), floatBits(0.960784316f));
    EXPECT_EQ(floatBits(calls[11].args[3]), floatBits(0.0f));
    EXPECT_EQ(calls[12].args[0], double(GL_DEPTH_TEST));
    EXPECT_EQ(calls[13].args[0], double(GL_LEQUAL));
    EXPECT_EQ(calls[14].args[0], double(GL_SMOOTH));
    EXPECT_EQ(calls[15].args[0], double(GL_BACK));
    EXPECT_EQ(calls[16].args[0], double(GL_CULL_FACE));
    EXPECT_EQ(calls[17].args[0], double(GL_PERSPECTIVE_CORRECTION_HINT));
    EXPECT_EQ(calls[17].args[1], double(GL_NICEST));
}

TEST_F(StartUp, ArgumentsNeverReachTheToolkit)
{
    const std::string console = runWithArguments({"./vellacor", "-display", "x", "-geometry", "1x1", "foo"});
    EXPECT_EQ(console, CONSOLE_TEXT);
    ASSERT_FALSE(recordedCalls().empty());
    EXPECT_EQ(recordedCalls()[0].args[0], 1.0);
    EXPECT_EQ(recordedCalls()[0].text, "./vellacor");
    EXPECT_EQ(recordedCalls().size(), 19u);
}

// Standard output as a stream that notes, at every write that reaches the
// console, whether the first grid had been computed yet.
struct ConsoleWrites {
    std::string text;
    bool wroteAfterTheGrid = false;
};

ssize_t noteConsoleWrite(void* cookie, const char* data, size_t size)
{
    auto* writes = static_cast<ConsoleWrites*>(cookie);
    writes->text.append(data, size);
    writes->wroteAfterTheGrid = writes->wroteAfterTheGrid || viewer.heights.count != 0;
    return static_cast<ssize_t>(size);
}

TEST_F(StartUp, ConsoleTextIsOutBeforeTheFirstGridIsComputed)
{
    // A user watching a pipe or a log sees the whole text while the first
    // grid is worked out, not after it.
    ConsoleWrites writes;
    FILE* console = fopencookie(&writes, "w", cookie_io_functions_t{nullptr, noteConsoleWrite, nullptr, nullptr});
    ASSERT_NE(console, nullptr);
    FILE* const realStdout = stdout;
    stdout = console;
    char name[] = "vellacor";
    char* argv[] = {name, nullptr};
    runViewer(1, argv);
    std::fflush(console);
    stdout = realStdout;
    std::fclose(console);
    EXPECT_EQ(writes.text, CONSOLE_TEXT);
    EXPECT_FALSE(writes.wroteAfterTheGrid);
    EXPECT_EQ(viewer.heights.count, 128u * 128u);
}

} // namespace
