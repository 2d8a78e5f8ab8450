// Camera moves and pointer turns.
#include "input/camera.h"

#include "state/viewer_state.h"

#include <GL/glut.h>

#include <cmath>
#include <cstdint>

static void moveAlongSight(ViewerState& state, double direction)
{
    const double p = state.pitch * DEG_TO_RAD;
    const double y = state.yaw * DEG_TO_RAD;
    const double step = direction * FORWARD_STEP;
    state.camZ = static_cast<float>(state.camZ + step * std::cos(p) * std::cos(y));
    state.camX = static_cast<float>(state.camX - step * std::cos(p) * std::sin(y));
    state.camY = static_cast<float>(state.camY + step * std::sin(p));
}

static void moveSideways(ViewerState& state, double sideAngle)
{
    const double p = state.pitch * DEG_TO_RAD;
    // The side angle is added in degrees, before the conversion.
    const double a = (state.yaw + sideAngle) * DEG_TO_RAD;
    const double b = std::cos(p) * SIDEWAYS_STEP;
    state.camZ = static_cast<float>(state.camZ + b * std::cos(a));
    state.camX = static_cast<float>(state.camX - b * std::sin(a));
}

void moveCamera(ViewerState& state, int key)
{
    switch (key) {
    case GLUT_KEY_UP:
        moveAlongSight(state, 1.0);
        break;
    case GLUT_KEY_DOWN:
        moveAlongSight(state, -1.0);
        break;
    case GLUT_KEY_LEFT:
        moveSideways(state, -SIDE_ANGLE);
        break;
    case GLUT_KEY_RIGHT:
        moveSideways(state, SIDE_ANGLE);
        break;
    default:
        break;
    }
}

void turnCamera(ViewerState& state, int x, int y)
{
    // Differences in 64 bits: pointer positions far outside the window must
    // not overflow an int.
    const std::int64_t dx = std::int64_t{x} - state.lastMouseX;
    const std::int64_t dy = std::int64_t{y} - state.lastMouseY;
    state.yaw = static_cast<float>(state.yaw + static_cast<double>(dx) * TURN_RATE);
    // The tests use the pitch before this event, so motion further past a
    // limit already reached is refused, and motion back is always taken.
    if ((dy > 0 && state.pitch < PITCH_LIMIT) || (dy < 0 && state.pitch > -PITCH_LIMIT)) {
        state.pitch = static_cast<float>(state.pitch + static_cast<double>(dy) * TURN_RATE);
    }
    if (state.pitch > PITCH_LIMIT) {
        state.pitch = static_cast<float>(PITCH_LIMIT);
    } else if (state.pitch < -PITCH_LIMIT) {
        state.pitch = static_cast<float>(-PITCH_LIMIT);
    }
    state.lastMouseX = x;
    state.lastMouseY = y;
    if (state.yaw >= FULL_TURN) {
        state.yaw = static_cast<float>(state.yaw - FULL_TURN);
    }
    if (state.yaw < 0.0) {
        state.yaw = static_cast<float>(state.yaw + FULL_TURN);
    }
}
