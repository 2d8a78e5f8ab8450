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
    const double bulbRadius = 0.25 * SHORTCUT_MULTIPLIER_BOUND;
    const bool inBulb = u * u + cy * cy < bulbRadius * bulbRadius;
    // Main cardioid: the fixed point's multiplier is 1 - sqrt(1 - 4c). With
    // w = 1 - 4c and s its principal root, |1 - s|^2 = (1 - Re s)^2 + (Im s)^2.
    const double wr = 1.0 - 4.0 * cx;
    const double wi = 4.0 * cy;
    const double magnitude = std::sqrt(wr * wr + wi * wi);
    const double rootRe = std::sqrt((magnitude + wr) * 0.5);
    const double rootImSq = (magnitude - wr) * 0.5;
    const double offRe = 1.0 - rootRe;
    const double multiplierSq = offRe * offRe + rootImSq;
    const bool inCardioid = multiplierSq < SHORTCUT_MULTIPLIER_BOUND * SHORTCUT_MULTIPLIER_BOUND;
    return inBulb || inCardioid;
}
