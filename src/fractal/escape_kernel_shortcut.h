// The cardioid and bulb shortcut of the escape-time kernel: samples whose
// point lies well inside the main cardioid or the period-2 bulb never leave
// the escape square, and the kernel gives them the cap's height without
// iterating. The kernel's vector form of the test (escape_kernel_shortcut-inl.h)
// and the scalar twin declared here perform the same operations in the same
// order, so tests can find with the twin exactly the points the kernel settles.
#pragma once

// The box around both regions, outside which the test is not even formed.
// Left edge: the period-2 bulb reaches -5/4; right edge: the cardioid reaches
// 3/8, at Im c = +-sqrt(3) / 8, on either side of its cusp at 1/4; margins of
// 1/100 and 1/200.
inline constexpr double SHORTCUT_BOX_LEFT = -1.26;
inline constexpr double SHORTCUT_BOX_RIGHT = 0.38;
// Half its height: the cardioid is widest at |Im c| = 3 sqrt(3) / 8 = 0.6495.
inline constexpr double SHORTCUT_BOX_HALF_HEIGHT = 0.66;

// Bound on the magnitude of the multiplier of the attracting fixed point
// (cardioid) or 2-cycle (bulb); the multiplier reaches 1 on the boundary,
// where orbits converge ever more slowly. Keeping a thousandth inside makes
// the rounding of the test and of the orbit itself irrelevant.
inline constexpr double SHORTCUT_MULTIPLIER_BOUND = 0.999;

// The cardioid test without square roots. With w = 1 - 4c, m = |w|, s the
// principal root of w and a = 1 - bound^2, |1 - s|^2 = 1 - 2 Re s + m, so
// |1 - s| < bound reads a + m < 2 Re s = sqrt(2 (m + Re w)). Both sides are
// non-negative; squared, it reads P < 2 (1 - a) m with
// P = m^2 + a^2 - 2 Re w = 16 |c|^2 - (1 - a^2). That holds where P < 0 (a
// disc of radius just under 1/4 around 0), and elsewhere, squared once more,
// where P^2 < 4 (1 - a)^2 m^2. Only products and sums are left, each with a
// relative error far below the thousandth the bound keeps from 1; the square
// roots this replaces cost a quarter of a whole grid at the lowest caps.
inline constexpr double SHORTCUT_SLACK = 1.0 - SHORTCUT_MULTIPLIER_BOUND * SHORTCUT_MULTIPLIER_BOUND;
inline constexpr double SHORTCUT_DISC_LIMIT = 1.0 - SHORTCUT_SLACK * SHORTCUT_SLACK;
inline constexpr double SHORTCUT_ROOTLESS_FACTOR = 4.0 * (1.0 - SHORTCUT_SLACK) * (1.0 - SHORTCUT_SLACK);

// True when the kernel gives the point (cx, cy) the cap's height without
// iterating it.
bool settledByShortcut(double cx, double cy);
