// The escape-time kernel's driver: the first pass in blocks fills the queue
// with the samples it leaves in the square, and here every vector lane
// follows one of them. When a lane's sample escapes, reaches the cap or is
// caught in a cycle, its height goes to the log and the lane takes the next
// pending sample at once, so no lane idles while its neighbours iterate.
//
// A step tests only for escape. Every CHECK_INTERVAL steps a check finds
// the lanes that have reached the cap; a lane may step up to
// CHECK_INTERVAL - 1 times past it, and one that escapes there has, like
// one that never escapes, the cap's height.
//
// Cycle detection (with kCycles), at the same checks: in floating point an
// orbit attracted to a cycle comes to repeat one state (x, y) exactly, bit
// for bit; from then on it repeats forever inside the square, so its count
// is the cap. Each lane compares its state with a saved one of its own
// orbit, and the saved state is replaced at the first check after the
// lane's step count passes a power of two (Brent's scheme), so a cycle of
// any length is found within a few times its length once the orbit has
// settled. Equal bit patterns, not a tolerance: the next steps are then the
// same operations on the same values, so no height can change.
//
// A group's vectors are locals of the driver, passed by reference: SVE
// vectors are sizeless and cannot be members of a struct or an array.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_
#endif

#include "fractal/escape_kernel_blocks-inl.h"
#include "fractal/escape_kernel_lanes-inl.h"
#include "fractal/escape_kernel_queue-inl.h"
#include "fractal/escape_kernel_step-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Passes of the driver between two checks (a power of two). A check costs
// about as much as a step; cycles are found within a few checks of their
// length rounded up to a multiple of this.
inline constexpr unsigned CHECK_INTERVAL = 16;

// The saved state of a lane with none yet: all bits set, a NaN, which no
// state of a lane still in the square can equal.
HWY_INLINE V noSavedState(D d)
{
    const DI di;
    return hn::BitCast(d, hn::Set(di, -1));
}

// A lane's vectors, as the driver holds them for each group: the orbit, its
// point, the pass at which it reaches the cap, its index in the grid (-1
// while idle) and its saved state.
#define VELLACOR_LANE_GROUP_PARAMETERS                                                                              \
    V &x, V &y, V &xsq, V &ysq, V &cx, V &cy, VI &deadline, VI &index, V &savedX, V &savedY

// The lanes of `take` start on the next pending samples, in lane order,
// after pass `pass`; past the last pending sample they go idle. Idle lanes
// hold the point 0 (their orbit stays at 0 and never leaves) with no
// deadline. Returns how many samples were taken.
HWY_INLINE std::size_t refillLanes(D d, VELLACOR_LANE_GROUP_PARAMETERS, M take, SampleQueue& q, const VI& capAfterPass)
{
    const DI di;
    cx = spreadInto(d, cx, take, hn::LoadU(d, q.cx.data() + q.head));
    cy = spreadInto(d, cy, take, hn::LoadU(d, q.cy.data() + q.head));
    index = spreadInto(d, index, take, hn::LoadU(di, q.index.data() + q.head));
    const M idle = hn::RebindMask(d, hn::Lt(index, hn::Zero(di)));
    deadline = hn::IfThenElse(hn::RebindMask(di, idle), hn::Set(di, std::numeric_limits<std::int64_t>::max()),
                              hn::IfThenElse(hn::RebindMask(di, take), capAfterPass, deadline));
    x = hn::IfThenZeroElse(take, x);
    y = hn::IfThenZeroElse(take, y);
    xsq = hn::IfThenZeroElse(take, xsq);
    ysq = hn::IfThenZeroElse(take, ysq);
    savedX = hn::IfThenElse(take, noSavedState(d), savedX);
    savedY = hn::IfThenElse(take, noSavedState(d), savedY);
    const std::size_t taken = std::min(hn::CountTrue(d, take), q.tail - q.head);
    q.head += taken;
    return taken;
}

// Logs the lanes of `finished` with the given heights and refills them.
// Returns the busy lanes gained, less those lost.
HWY_INLINE std::ptrdiff_t finishLanes(D d, VELLACOR_LANE_GROUP_PARAMETERS, M finished, const VI& fromCap,
                                      SampleQueue& q, ResultLog& log, const VI& capAfterPass)
{
    logLanes(d, log, fromCap, index, finished);
    const auto lost = static_cast<std::ptrdiff_t>(hn::CountTrue(d, finished));
    const std::size_t taken =
        refillLanes(d, x, y, xsq, ysq, cx, cy, deadline, index, savedX, savedY, finished, q, capAfterPass);
    return static_cast<std::ptrdiff_t>(taken) - lost;
}

// Pass `pass` of one group: one step; lanes that escaped are logged and take
// new samples. A lane that escaped on its step e has k = e - 1; it took its
// first step in the pass after deadline - cap, so e = pass - deadline + cap
// and cap - k = deadline - pass + 1, at most 0 past the cap.
HWY_INLINE std::ptrdiff_t advanceGroup(D d, VELLACOR_LANE_GROUP_PARAMETERS, const VI& passes, SampleQueue& q,
                                       ResultLog& log, const VI& capAfterPass)
{
    const DI di;
    const M escaped = stepOrbit(d, x, y, xsq, ysq, cx, cy);
    if (hn::AllFalse(d, escaped)) {
        return 0;
    }
    const VI fromCap = hn::Max(hn::Add(hn::Sub(deadline, passes), hn::Set(di, 1)), hn::Zero(di));
    return finishLanes(d, x, y, xsq, ysq, cx, cy, deadline, index, savedX, savedY, escaped, fromCap, q, log,
                       capAfterPass);
}

// The lanes whose state (x, y) equals their saved one, bit for bit.
HWY_INLINE M inCycle(D d, const V& x, const V& y, const V& savedX, const V& savedY)
{
    const DI di;
    const auto sameX = hn::Eq(hn::BitCast(di, x), hn::BitCast(di, savedX));
    const auto sameY = hn::Eq(hn::BitCast(di, y), hn::BitCast(di, savedY));
    return hn::RebindMask(d, hn::And(sameX, sameY));
}

// The lanes whose step count t passed a power of two since the previous
// check, CHECK_INTERVAL steps ago, and those checked for the first time: with
// u = max(t - interval, 0), the highest bit of t is not one of u's exactly
// when t xor u exceeds u. Idle lanes have t < 0 and never save.
HWY_INLINE M dueForSaving(D d, const VI& steps)
{
    const DI di;
    const VI before = hn::Max(hn::Sub(steps, hn::Set(di, CHECK_INTERVAL)), hn::Zero(di));
    return hn::RebindMask(d, hn::Gt(hn::Xor(steps, before), before));
}

// The check of one group after pass `pass`: lanes at the cap, or caught in a
// cycle, are logged with the cap's height and take new samples; with
// kCycles the others save their state when due.
template <bool kCycles>
HWY_INLINE std::ptrdiff_t checkGroup(D d, VELLACOR_LANE_GROUP_PARAMETERS, const VI& passes, const VI& cap,
                                     SampleQueue& q, ResultLog& log, const VI& capAfterPass)
{
    const DI di;
    M finished = hn::RebindMask(d, hn::Lt(deadline, hn::Add(passes, hn::Set(di, 1))));
    if (kCycles) {
        finished = hn::Or(finished, inCycle(d, x, y, savedX, savedY));
        const M save = dueForSaving(d, hn::Sub(hn::Add(passes, cap), deadline));
        savedX = hn::IfThenElse(save, x, savedX);
        savedY = hn::IfThenElse(save, y, savedY);
    }
    if (hn::AllFalse(d, finished)) {
        return 0;
    }
    return finishLanes(d, x, y, xsq, ysq, cx, cy, deadline, index, savedX, savedY, finished, hn::Zero(di), q, log,
                       capAfterPass);
}

// The rectangle of the queue, with cycle detection if kCycles.
template <bool kCycles>
void computeWithRefill(D d, SampleQueue& q, ResultLog& log)
{
    const DI di;
    const std::size_t lanes = hn::Lanes(d);
    const VI cap = hn::Set(di, static_cast<std::int64_t>(q.maxIterations));
    // A pass of the loop below finishes at most this many samples: every
    // group once in its step and once more in a check.
    const std::size_t finishedPerPass = 2 * LANE_GROUPS * lanes;
    // Three named groups, not an array: vectors cannot be array elements on
    // SVE, and named locals stay in registers everywhere.
    static_assert(LANE_GROUPS == 3);
    const V zero = hn::Zero(d);
    const V unsaved = noSavedState(d);
    const VI idleIndex = hn::Set(di, -1);
    V x0 = zero, y0 = zero, xsq0 = zero, ysq0 = zero, cx0 = zero, cy0 = zero, savedX0 = unsaved, savedY0 = unsaved;
    V x1 = zero, y1 = zero, xsq1 = zero, ysq1 = zero, cx1 = zero, cy1 = zero, savedX1 = unsaved, savedY1 = unsaved;
    V x2 = zero, y2 = zero, xsq2 = zero, ysq2 = zero, cx2 = zero, cy2 = zero, savedX2 = unsaved, savedY2 = unsaved;
    VI deadline0 = hn::Zero(di), deadline1 = deadline0, deadline2 = deadline0;
    VI index0 = idleIndex, index1 = idleIndex, index2 = idleIndex;

    topUpQueue(d, q);
    const M all = hn::FirstN(d, lanes);
    std::ptrdiff_t busyLanes = 0;
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x0, y0, xsq0, ysq0, cx0, cy0, deadline0, index0, savedX0, savedY0, all, q, cap));
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x1, y1, xsq1, ysq1, cx1, cy1, deadline1, index1, savedX1, savedY1, all, q, cap));
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x2, y2, xsq2, ysq2, cx2, cy2, deadline2, index2, savedX2, savedY2, all, q, cap));
    std::int64_t pass = 0;
    while (busyLanes > 0) {
        // Enough pending samples for every lane that may finish in this
        // pass: a lane that found none would go idle for good.
        if (q.tail - q.head < finishedPerPass && q.nextRow < q.rows) {
            topUpQueue(d, q);
        }
        if (log.count + finishedPerPass > LOG_CAPACITY) {
            storeLogged(log, q);
        }
        ++pass;
        const VI passes = hn::Set(di, pass);
        const VI capAfterPass = hn::Add(passes, cap);
        busyLanes += advanceGroup(d, x0, y0, xsq0, ysq0, cx0, cy0, deadline0, index0, savedX0, savedY0, passes, q,
                                  log, capAfterPass);
        busyLanes += advanceGroup(d, x1, y1, xsq1, ysq1, cx1, cy1, deadline1, index1, savedX1, savedY1, passes, q,
                                  log, capAfterPass);
        busyLanes += advanceGroup(d, x2, y2, xsq2, ysq2, cx2, cy2, deadline2, index2, savedX2, savedY2, passes, q,
                                  log, capAfterPass);
        if (pass % CHECK_INTERVAL == 0) {
            busyLanes += checkGroup<kCycles>(d, x0, y0, xsq0, ysq0, cx0, cy0, deadline0, index0, savedX0, savedY0,
                                             passes, cap, q, log, capAfterPass);
            busyLanes += checkGroup<kCycles>(d, x1, y1, xsq1, ysq1, cx1, cy1, deadline1, index1, savedX1, savedY1,
                                             passes, cap, q, log, capAfterPass);
            busyLanes += checkGroup<kCycles>(d, x2, y2, xsq2, ysq2, cx2, cy2, deadline2, index2, savedX2, savedY2,
                                             passes, cap, q, log, capAfterPass);
        }
    }
    storeLogged(log, q);
}

#undef VELLACOR_LANE_GROUP_PARAMETERS

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_
