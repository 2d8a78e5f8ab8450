// The cardioid and bulb shortcut of the escape-time kernel: samples whose
// point lies well inside the main cardioid or the period-2 bulb never leave
// the escape square, and the kernel gives them the cap's height without
// iterating. The kernel's vector form of the test (escape_kernel_shortcut-inl.h)
// and the scalar twin declared here perform the same operations in the same
// order, so tests can find with the twin exactly the points the kernel settles.
#pragma once

// The box around both regions, outside which the test is not even formed.
// Left edge: the period-2 bulb reaches -5/4; right edge: the cardioid's cusp
// lies at 1/4; a margin of 1/100 on each side.
inline constexpr double SHORTCUT_BOX_LEFT = -1.26;
inline constexpr double SHORTCUT_BOX_RIGHT = 0.26;
// Half its height: the cardioid is widest at |Im c| = 3 sqrt(3) / 8 = 0.6495.
inline constexpr double SHORTCUT_BOX_HALF_HEIGHT = 0.66;

// Bound on the magnitude of the multiplier of the attracting fixed point
// (cardioid) or 2-cycle (bulb); the multiplier reaches 1 on the boundary,
// where orbits converge ever more slowly. Keeping a thousandth inside makes
// the rounding of the test and of the orbit itself irrelevant.
inline constexpr double SHORTCUT_MULTIPLIER_BOUND = 0.999;

// True when the kernel gives the point (cx, cy) the cap's height without
// iterating it.
bool settledByShortcut(double cx, double cy);
