// Camera moves and pointer turns, with exact single-precision results, and
// the handlers that apply them and draw.
#include "input/camera.h"
#include "input/handlers.h"
#include "viewer_fixture.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ios>
#include <string>
#include <vector>

namespace {

struct MoveCase {
    const char* name;
    float yaw, pitch;
    int key;
    float camX, camY, camZ; // expected, from the default translation (0, -6, -0.9)
};

TEST(MoveCamera, ArrowKeysFromTheDefaultTranslation)
{
    const MoveCase cases[] = {
        {"up", 0, 0, GLUT_KEY_UP, 0.0f, -6.0f, -0.7f},
        {"yaw 90, up", 90, 0, GLUT_KEY_UP, -0.2f, -6.0f, -0.900000036f},
        {"pitch 30, up", 0, 30, GLUT_KEY_UP, 0.0f, -5.9f, -0.726794899f},
        {"left", 0, 0, GLUT_KEY_LEFT, 1.0f / 3.0f, -6.0f, -0.900000036f},
        {"right", 0, 0, GLUT_KEY_RIGHT, -1.0f / 3.0f, -6.0f, -0.900000036f},
        {"pitch 60, left", 0, 60, GLUT_KEY_LEFT, 0.166666627f, -6.0f, -0.9f},
        {"page up", 0, 0, GLUT_KEY_PAGE_UP, 0.0f, -6.0f, -0.9f},
        {"F1", 0, 0, GLUT_KEY_F1, 0.0f, -6.0f, -0.9f},
    };
    for (const MoveCase& c : cases) {
        ViewerState state;
        state.yaw = c.yaw;
        state.pitch = c.pitch;
        moveCamera(state, c.key);
        EXPECT_EQ(state.camX, c.camX) << c.name;
        EXPECT_EQ(state.camY, c.camY) << c.name;
        EXPECT_EQ(state.camZ, c.camZ) << c.name;
        EXPECT_EQ(state.yaw, c.yaw) << c.name;
        EXPECT_EQ(state.pitch, c.pitch) << c.name;
    }
}

TEST(MoveCamera, DownUndoesUpAndSidewaysDriftStaysTiny)
{
    ViewerState state;
    moveCamera(state, GLUT_KEY_UP);
    moveCamera(state, GLUT_KEY_DOWN);
    EXPECT_EQ(state.camZ, -0.9f);
    // 3.141593 / 180 is not exactly pi / 180, so a level sideways step moves camZ a little.
    ViewerState sideways;
    moveCamera(sideways, GLUT_KEY_LEFT);
    EXPECT_NE(sideways.camZ, -0.9f);
    EXPECT_LT(std::fabs(sideways.camZ - -0.9f), 1e-6);
}

// Steps whose result depends on the order of rounding: angles widened from
// the stored floats, b = cos P x 0.3333333333333333 formed first, the side
// angle added in degrees, everything in double until the store. Each start
// translation is one the step nearly cancels, so that the last bits of the
// step's double value reach the stored float. The literals were worked out
// by tests/reference_values.py in Python's double arithmetic, with sines
// and cosines checked against 80-digit decimals. Every case gives another
// float under single-precision arithmetic and under another association of
// the products; the sideways cases also under the side angle added in
// radians, b rounded to single precision and b as cos P / 3.
struct RoundingCase {
    const char* name;
    int key;
    float yaw, pitch;
    float before[3], after[3]; // camX, camY, camZ
};

TEST(MoveCamera, StepsFollowTheOrderOfRounding)
{
    const RoundingCase cases[] = {
        {"left", GLUT_KEY_LEFT, 1.0f, 20.0f,
         {-0x1.40b316p-2f, -0x1.8p+2f, -0x1.6641fap-8f},
         {0x1.52b57cp-28f, -0x1.8p+2f, -0x1.b37e7ep-33f}},
        {"right", GLUT_KEY_RIGHT, 1.5f, 75.0f,
         {0x1.6140c4p-4f, -0x1.8p+2f, 0x1.28029ap-9f},
         {0x1.7797ecp-30f, -0x1.8p+2f, 0x1.861ff6p-34f}},
        {"up", GLUT_KEY_UP, 1.5f, 20.0f,
         {0x1.426a28p-8f, -0x1.182ed4p-4f, -0x1.80c426p-3f},
         {-0x1.7cda28p-36f, 0x1.23346ep-29f, -0x1.03dbdep-28f}},
        {"down", GLUT_KEY_DOWN, 1.5f, 60.0f,
         {-0x1.571b42p-9f, 0x1.62b95ap-3f, 0x1.9975a6p-4f},
         {-0x1.47b2cep-34f, 0x1.0dda9p-32f, 0x1.86b34ep-30f}},
    };
    for (const RoundingCase& c : cases) {
        ViewerState state;
        state.yaw = c.yaw;
        state.pitch = c.pitch;
        state.camX = c.before[0];
        state.camY = c.before[1];
        state.camZ = c.before[2];
        moveCamera(state, c.key);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(state.camX), std::bit_cast<std::uint32_t>(c.after[0]))
            << c.name << ": camX " << std::hexfloat << state.camX;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(state.camY), std::bit_cast<std::uint32_t>(c.after[1]))
            << c.name << ": camY " << std::hexfloat << state.camY;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(state.camZ), std::bit_cast<std::uint32_t>(c.after[2]))
            << c.name << ": camZ " << std::hexfloat << state.camZ;
    }
}

struct TurnCase {
    const char* name;
    float yaw, pitch;
    int lastX, lastY;
    int x, y;
    float expectedYaw, expectedPitch;
};

TEST(TurnCamera, PointerMotionTurnsClampsAndWraps)
{
    const TurnCase cases[] = {
        {"first event from (250, 250)", 0, 0, 250, 250, 300, 260, 25.0f, 5.0f},
        {"overshoot clamps", 0, 79, 250, 250, 250, 260, 0, 80.0f},
        {"further past the limit is refused", 0, 80, 250, 250, 250, 251, 0, 80.0f},
        {"back from the limit is taken", 0, 80, 250, 250, 250, 246, 0, 78.0f},
        {"refused at the lower limit", 0, -80, 250, 250, 250, 249, 0, -80.0f},
        {"overshoot below clamps", 0, -75, 250, 250, 250, 200, 0, -80.0f},
        {"horizontal leaves pitch", 10, 33.5f, 250, 250, 100, 250, 295.0f, 33.5f},
        {"359.5 wraps to 0", 359.5f, 0, 250, 250, 251, 250, 0.0f, 0},
        {"0 wraps to 359.5", 0, 0, 250, 250, 249, 250, 359.5f, 0},
        {"359 + 4 px", 359, 0, 250, 250, 254, 250, 1.0f, 0},
        {"1 - 4 px", 1, 0, 250, 250, 246, 250, 359.0f, 0},
        {"800 px subtracts once", 350, 0, 100, 250, 900, 250, 390.0f, 0},
    };
    for (const TurnCase& c : cases) {
        ViewerState state;
        state.yaw = c.yaw;
        state.pitch = c.pitch;
        state.lastMouseX = c.lastX;
        state.lastMouseY = c.lastY;
        turnCamera(state, c.x, c.y);
        EXPECT_EQ(state.yaw, c.expectedYaw) << c.name;
        EXPECT_EQ(state.pitch, c.expectedPitch) << c.name;
        EXPECT_EQ(state.lastMouseX, c.x) << c.name;
        EXPECT_EQ(state.lastMouseY, c.y) << c.name;
    }
}

TEST(TurnCamera, FarOffPointerPositionsStayDefined)
{
    // Differences across the whole int range must not overflow.
    ViewerState state;
    state.lastMouseX = INT_MIN;
    state.lastMouseY = INT_MIN;
    turnCamera(state, INT_MAX, INT_MAX);
    EXPECT_TRUE(std::isfinite(state.yaw));
    EXPECT_EQ(state.pitch, 80.0f);
    turnCamera(state, INT_MIN, INT_MIN);
    EXPECT_EQ(state.pitch, -80.0f);
    EXPECT_TRUE(std::isfinite(state.yaw));
}

using NavigationHandlers = ViewerTest;

TEST_F(NavigationHandlers, EveryEventEndsWithOneFrameThatReplaysTheList)
{
    viewer.meshDirty = false;
    specialKey(GLUT_KEY_UP, 3, 4);
    EXPECT_EQ(viewer.camZ, -0.7f);
    specialKey(GLUT_KEY_HOME, 0, 0);
    passiveMotion(300, 260);
    EXPECT_EQ(viewer.yaw, 25.0f);
    EXPECT_EQ(viewer.pitch, 5.0f);
    EXPECT_EQ(callCount("glutSwapBuffers"), 3u);
    EXPECT_EQ(callCount("glCallList"), 3u);
    EXPECT_EQ(callCount("glNewList"), 0u);
    EXPECT_FALSE(viewer.meshDirty);
}

TEST_F(NavigationHandlers, TheFrameOfAnEventShowsTheMovedCamera)
{
    // A handler that drew before it moved would show every change one event late.
    viewer.meshDirty = false;
    specialKey(GLUT_KEY_UP, 0, 0);
    passiveMotion(300, 260);
    std::vector<const GlCall*> translations, rotations;
    for (const GlCall& call : recordedCalls()) {
        if (std::string(call.name) == "glTranslatef") {
            translations.push_back(&call);
        } else if (std::string(call.name) == "glRotatef") {
            rotations.push_back(&call);
        }
    }
    ASSERT_EQ(translations.size(), 2u);
    ASSERT_EQ(rotations.size(), 4u);
    EXPECT_EQ(translations[0]->args[2], double(-0.7f)) << "camZ of the arrow key's frame";
    EXPECT_EQ(rotations[2]->args[0], 5.0) << "pitch of the pointer's frame";
    EXPECT_EQ(rotations[3]->args[0], 25.0) << "yaw of the pointer's frame";
}

TEST_F(NavigationHandlers, MouseButtonsDoNothing)
{
    mouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
    mouseButton(GLUT_RIGHT_BUTTON, GLUT_UP, 10, 10);
    EXPECT_TRUE(recordedCalls().empty());
    EXPECT_EQ(viewer.lastMouseX, 250);
}

} // namespace
