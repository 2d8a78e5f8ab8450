// Vector form of the cardioid and bulb shortcut (escape_kernel_shortcut.h),
// operation for operation its scalar twin in escape_kernel_shortcut.cpp.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_SHORTCUT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_SHORTCUT_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_SHORTCUT_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_SHORTCUT_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"
#include "fractal/escape_kernel_shortcut.h"

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Lanes whose point lies inside the box around both regions; only where one
// does is the test below worth forming.
HWY_INLINE M nearShortcutRegions(D d, V cx, V cy)
{
    const M inRealRange = hn::And(hn::Gt(cx, hn::Set(d, SHORTCUT_BOX_LEFT)), hn::Lt(cx, hn::Set(d, SHORTCUT_BOX_RIGHT)));
    return hn::And(inRealRange, hn::Lt(hn::Abs(cy), hn::Set(d, SHORTCUT_BOX_HALF_HEIGHT)));
}

// Lanes whose point the shortcut settles (the twin's test without the box,
// which holds wherever this does).
HWY_INLINE M settledByShortcut(D d, V cx, V cy)
{
    const V one = hn::Set(d, 1.0);
    const V u = hn::Add(cx, one);
    const V cySq = hn::Mul(cy, cy);
    const V bulbRadius = hn::Set(d, 0.25 * SHORTCUT_MULTIPLIER_BOUND);
    const M inBulb = hn::Lt(hn::Add(hn::Mul(u, u), cySq), hn::Mul(bulbRadius, bulbRadius));
    const V four = hn::Set(d, 4.0);
    const V wr = hn::Sub(one, hn::Mul(four, cx));
    const V wi = hn::Mul(four, cy);
    const V wSq = hn::Add(hn::Mul(wr, wr), hn::Mul(wi, wi));
    const V p = hn::Sub(hn::Mul(hn::Set(d, 16.0), hn::Add(hn::Mul(cx, cx), cySq)), hn::Set(d, SHORTCUT_DISC_LIMIT));
    const M inDisc = hn::Lt(p, hn::Zero(d));
    const M inCardioid = hn::Or(inDisc, hn::Lt(hn::Mul(p, p), hn::Mul(hn::Set(d, SHORTCUT_ROOTLESS_FACTOR), wSq)));
    return hn::Or(inBulb, inCardioid);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_SHORTCUT_INL_H_
