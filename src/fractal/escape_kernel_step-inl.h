// One step of the escape-time iteration in every lane of a vector, shared by
// both ways the kernel drives its lanes (escape_kernel_refill-inl.h and
// escape_kernel_blocks-inl.h).
//
// A step does the plain loop's operations in the plain loop's order, each
// rounded as it is formed: the product x * y doubled, then cy added; the
// difference of the carried squares, then cx added. Nothing is fused (the
// whole program is built with -ffp-contract=off, and no fused operation of
// Highway is used), so every lane's orbit is the plain loop's, bit for bit.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_STEP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_STEP_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_STEP_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_STEP_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Steps every lane once.
HWY_INLINE void advanceOrbit(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy)
{
    // Doubling is exact, so 2 * xy is xy + xy bit for bit; as a product it
    // leaves the adder to the other three additions.
    y = hn::Add(hn::Mul(hn::Mul(x, y), hn::Set(d, 2.0)), cy);
    x = hn::Add(hn::Sub(xsq, ysq), cx);
    xsq = hn::Mul(x, x);
    ysq = hn::Mul(y, y);
}

// Steps every lane once and returns the lanes whose new iterate lies outside
// the square. The four tests x >= 2, y >= 2, x <= -2, y <= -2 are
// max(|x|, |y|) >= 2 wherever the values are numbers; a lane holds NaN only
// once it has long escaped.
HWY_INLINE M stepOrbit(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy)
{
    advanceOrbit(d, x, y, xsq, ysq, cx, cy);
    return hn::Ge(largerMagnitude(x, y), hn::Set(d, 2.0));
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_STEP_INL_H_
