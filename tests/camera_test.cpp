// Camera moves and pointer turns, with exact single-precision results, and
// the handlers that apply them and draw.
#include "input/camera.h"
#include "input/handlers.h"
#include "viewer_fixture.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

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

TEST_F(NavigationHandlers, MouseButtonsDoNothing)
{
    mouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
    mouseButton(GLUT_RIGHT_BUTTON, GLUT_UP, 10, 10);
    EXPECT_TRUE(recordedCalls().empty());
    EXPECT_EQ(viewer.lastMouseX, 250);
}

} // namespace
