// Scalar twin of the kernel's cardioid and bulb shortcut, operation for
// operation the vector form in escape_kernel_shortcut-inl.h.
#include "fractal/escape_kernel_shortcut.h"

#include <cmath>

bool settledByShortcut(double cx, double cy)
{
    if (!(cx > SHORTCUT_BOX_LEFT && cx < SHORTCUT_BOX_RIGHT && std::fabs(cy) < SHORTCUT_BOX_HALF_HEIGHT)) {
        return false;
    }
    // Period-2 bulb: the 2-cycle's multiplier is 4 (c + 1).
    const double u = cx + 1.0;
    const double cySq = cy * cy;
    const double bulbRadius = 0.25 * SHORTCUT_MULTIPLIER_BOUND;
    const bool inBulb = u * u + cySq < bulbRadius * bulbRadius;
    // Main cardioid: the fixed point's multiplier is 1 - s, s the principal
    // root of w = 1 - 4c (see escape_kernel_shortcut.h for the test without
    // roots).
    const double wr = 1.0 - 4.0 * cx;
    const double wi = 4.0 * cy;
    const double wSq = wr * wr + wi * wi;
    const double p = 16.0 * (cx * cx + cySq) - SHORTCUT_DISC_LIMIT;
    const bool inCardioid = p < 0.0 || p * p < SHORTCUT_ROOTLESS_FACTOR * wSq;
    return inBulb || inCardioid;
}
