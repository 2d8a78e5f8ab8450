// Camera navigation arithmetic: arrow keys fly the eye, pointer motion turns
// the view. Pure functions on the viewer state, no rendering context needed;
// the handlers apply them and then draw.
//
// Every new value is formed in double precision from the stored
// single-precision fields and stored back in single precision.
#pragma once

struct ViewerState;

// 3.141593 / 180, slightly more than pi / 180: the viewer's own conversion.
inline constexpr double DEG_TO_RAD = 3.141593 / 180.0;
inline constexpr double FORWARD_STEP = 0.2;
inline constexpr double SIDEWAYS_STEP = 0.3333333333333333;
inline constexpr double SIDE_ANGLE = 90.0;
inline constexpr double TURN_RATE = 0.5;   // degrees per pixel
inline constexpr double PITCH_LIMIT = 80.0;
inline constexpr double FULL_TURN = 360.0;

// Up and down move along the line of sight, left and right sideways in the
// level plane; any other special key changes nothing. Keys are GLUT codes.
void moveCamera(ViewerState& state, int key);

// Turns the view by half a degree per pixel from the last pointer position,
// keeping pitch within its limits and wrapping yaw once.
void turnCamera(ViewerState& state, int x, int y);
