// The escape-time kernel's driver: the first pass in blocks fills the queue
// with the samples it leaves in the square, and here every vector lane
// follows one of them. When a lane's sample escapes, reaches the cap or is
// caught in a cycle, its height goes to the log and the lane takes the next
// pending sample at once, so no lane idles while its neighbours iterate.
//
// Cycle detection (with kCycles): in floating point an orbit attracted to a
// cycle comes to repeat one state (x, y) exactly, bit for bit; from then on
// it repeats forever inside the square, so its count is the cap. Every
// CYCLE_CHECK_INTERVAL steps each lane compares its state with a saved one of
// its own orbit, and the saved state is replaced at the first such check
// after the lane's step count passes a power of two (Brent's scheme), so a
// cycle of any length is found within a few times its length once the orbit
// has settled. Equal bit patterns, not a tolerance: the next steps are then
// the same operations on the same values, so no height can change.
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

// From this cap on, most steps of a group finish no lane, and testing for
// that pays; below it, short orbits make the test a coin toss.
inline constexpr int SKIP_QUIET_FROM_CAP = 200;

// Steps between two cycle checks of a group (a power of two). A check costs
// about as much as a step; cycles are found within a few checks of their
// length rounded up to a multiple of this.
inline constexpr unsigned CYCLE_CHECK_INTERVAL = 16;

// The saved state of a lane with none yet: all bits set, a NaN, which no
// state of a lane still in the square can equal.
HWY_INLINE V noSavedState(D d)
{
    const DI di;
    return hn::BitCast(d, hn::Set(di, -1));
}

// The lanes of `take` start on the next pending samples, in lane order; past
// the last pending sample they go idle. Idle lanes hold the point 0 with an
// endless budget (their orbit stays at 0 and never finishes) and the index
// -1. Returns how many samples were taken.
HWY_INLINE std::size_t refillLanes(D d, V& x, V& y, V& xsq, V& ysq, V& cx, V& cy, VI& budget, VI& index, M take,
                                   SampleQueue& q, const VI& capBudget)
{
    const DI di;
    cx = spreadInto(d, cx, take, hn::LoadU(d, q.cx.data() + q.head));
    cy = spreadInto(d, cy, take, hn::LoadU(d, q.cy.data() + q.head));
    index = spreadInto(d, index, take, hn::LoadU(di, q.index.data() + q.head));
    const M idle = hn::RebindMask(d, hn::Lt(index, hn::Zero(di)));
    budget = hn::IfThenElse(hn::RebindMask(di, idle), hn::Set(di, std::numeric_limits<std::int64_t>::max()),
                            hn::IfThenElse(hn::RebindMask(di, take), capBudget, budget));
    x = hn::IfThenZeroElse(take, x);
    y = hn::IfThenZeroElse(take, y);
    xsq = hn::IfThenZeroElse(take, xsq);
    ysq = hn::IfThenZeroElse(take, ysq);
    const std::size_t taken = std::min(hn::CountTrue(d, take), q.tail - q.head);
    q.head += taken;
    return taken;
}

// One step of the group, with the budget spent; `done` holds the lanes that
// escaped or reached the cap.
HWY_INLINE void stepGroup(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy, VI& budget, M& escaped,
                          M& done)
{
    const DI di;
    escaped = stepOrbit(d, x, y, xsq, ysq, cx, cy);
    budget = hn::Sub(budget, hn::Set(di, 1));
    done = hn::Or(escaped, hn::RebindMask(d, hn::Eq(budget, hn::Zero(di))));
}

// One step of the group; its finished lanes are logged and take new samples.
// Returns the busy lanes it gained, less those it lost. With skipQuiet a
// group none of whose lanes finished is passed over; without it the log and
// the refill run on every step, finished lanes or not, which costs less
// than a mispredicted branch where orbits are short.
//
// A lane that escaped at step t has k = t - 1 and t - 1 + budget = cap - 1,
// so its height cap - k is budget + 1; one that reached the cap has height 0.
template <bool kCycles>
HWY_INLINE std::ptrdiff_t advanceGroup(D d, V& x, V& y, V& xsq, V& ysq, V& cx, V& cy, VI& budget, VI& index,
                                       V& savedX, V& savedY, SampleQueue& q, ResultLog& log, const VI& capBudget,
                                       bool skipQuiet)
{
    const DI di;
    M escaped, done;
    stepGroup(d, x, y, xsq, ysq, cx, cy, budget, escaped, done);
    if (skipQuiet && hn::AllFalse(d, done)) {
        return 0;
    }
    logLanes(d, log, hn::IfThenElseZero(hn::RebindMask(di, escaped), hn::Add(budget, hn::Set(di, 1))), index, done);
    const auto finished = static_cast<std::ptrdiff_t>(hn::CountTrue(d, done));
    const std::size_t taken = refillLanes(d, x, y, xsq, ysq, cx, cy, budget, index, done, q, capBudget);
    if (kCycles) {
        savedX = hn::IfThenElse(done, noSavedState(d), savedX);
        savedY = hn::IfThenElse(done, noSavedState(d), savedY);
    }
    return static_cast<std::ptrdiff_t>(taken) - finished;
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
// check, CYCLE_CHECK_INTERVAL steps ago, and those checked for the first
// time: with u = max(t - interval, 0), the highest bit of t is not one of u's
// exactly when t xor u exceeds u. Idle lanes have t < 0 and never save.
HWY_INLINE M dueForSaving(D d, const VI& budget, const VI& capBudget)
{
    const DI di;
    const VI steps = hn::Sub(capBudget, budget);
    const VI before = hn::Max(hn::Sub(steps, hn::Set(di, CYCLE_CHECK_INTERVAL)), hn::Zero(di));
    return hn::RebindMask(d, hn::Gt(hn::Xor(steps, before), before));
}

// The cycle check of one group: lanes caught in a cycle are logged with the
// cap's height and take new samples; the others save their state when due.
// Returns the busy lanes gained, less those lost.
HWY_INLINE std::ptrdiff_t checkGroupForCycles(D d, V& x, V& y, V& xsq, V& ysq, V& cx, V& cy, VI& budget,
                                              VI& index, V& savedX, V& savedY, SampleQueue& q, ResultLog& log,
                                              const VI& capBudget)
{
    const DI di;
    const M cycled = inCycle(d, x, y, savedX, savedY);
    const M save = dueForSaving(d, budget, capBudget);
    savedX = hn::IfThenElse(save, x, savedX);
    savedY = hn::IfThenElse(save, y, savedY);
    if (hn::AllFalse(d, cycled)) {
        return 0;
    }
    logLanes(d, log, hn::Zero(di), index, cycled);
    const auto finished = static_cast<std::ptrdiff_t>(hn::CountTrue(d, cycled));
    const std::size_t taken = refillLanes(d, x, y, xsq, ysq, cx, cy, budget, index, cycled, q, capBudget);
    savedX = hn::IfThenElse(cycled, noSavedState(d), savedX);
    savedY = hn::IfThenElse(cycled, noSavedState(d), savedY);
    return static_cast<std::ptrdiff_t>(taken) - finished;
}

// The rectangle of the queue, with cycle detection if kCycles.
template <bool kCycles>
void computeWithRefill(D d, SampleQueue& q, ResultLog& log)
{
    const int maxIterations = q.maxIterations;
    const DI di;
    const std::size_t lanes = hn::Lanes(d);
    const VI capBudget = hn::Set(di, static_cast<std::int64_t>(maxIterations));
    const bool skipQuiet = maxIterations >= SKIP_QUIET_FROM_CAP;
    // A pass of the loop below finishes at most this many samples: every
    // group once in its step and once more in a cycle check.
    const std::size_t finishedPerPass = (kCycles ? 2 : 1) * LANE_GROUPS * lanes;
    // Three named groups, not an array: vectors cannot be array elements on
    // SVE, and named locals stay in registers everywhere.
    static_assert(LANE_GROUPS == 3);
    const V zero = hn::Zero(d);
    const V unsaved = noSavedState(d);
    const VI idleIndex = hn::Set(di, -1);
    V x0 = zero, y0 = zero, xsq0 = zero, ysq0 = zero, cx0 = zero, cy0 = zero, savedX0 = unsaved, savedY0 = unsaved;
    V x1 = zero, y1 = zero, xsq1 = zero, ysq1 = zero, cx1 = zero, cy1 = zero, savedX1 = unsaved, savedY1 = unsaved;
    V x2 = zero, y2 = zero, xsq2 = zero, ysq2 = zero, cx2 = zero, cy2 = zero, savedX2 = unsaved, savedY2 = unsaved;
    VI budget0 = hn::Zero(di), budget1 = hn::Zero(di), budget2 = hn::Zero(di);
    VI index0 = idleIndex, index1 = idleIndex, index2 = idleIndex;

    topUpQueue(d, q);
    const M all = hn::FirstN(d, lanes);
    std::ptrdiff_t busyLanes = 0;
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x0, y0, xsq0, ysq0, cx0, cy0, budget0, index0, all, q, capBudget));
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x1, y1, xsq1, ysq1, cx1, cy1, budget1, index1, all, q, capBudget));
    busyLanes += static_cast<std::ptrdiff_t>(
        refillLanes(d, x2, y2, xsq2, ysq2, cx2, cy2, budget2, index2, all, q, capBudget));
    unsigned passes = 0;
    while (busyLanes > 0) {
        // Enough pending samples for every lane that may finish in this
        // pass: a lane that found none would go idle for good.
        if (q.tail - q.head < finishedPerPass && q.nextRow < q.rows) {
            topUpQueue(d, q);
        }
        if (log.count + finishedPerPass > LOG_CAPACITY) {
            storeLogged(log, q);
        }
        busyLanes += advanceGroup<kCycles>(d, x0, y0, xsq0, ysq0, cx0, cy0, budget0, index0, savedX0, savedY0, q,
                                           log, capBudget, skipQuiet);
        busyLanes += advanceGroup<kCycles>(d, x1, y1, xsq1, ysq1, cx1, cy1, budget1, index1, savedX1, savedY1, q,
                                           log, capBudget, skipQuiet);
        busyLanes += advanceGroup<kCycles>(d, x2, y2, xsq2, ysq2, cx2, cy2, budget2, index2, savedX2, savedY2, q,
                                           log, capBudget, skipQuiet);
        if (kCycles && ++passes % CYCLE_CHECK_INTERVAL == 0) {
            busyLanes += checkGroupForCycles(d, x0, y0, xsq0, ysq0, cx0, cy0, budget0, index0, savedX0, savedY0, q,
                                             log, capBudget);
            busyLanes += checkGroupForCycles(d, x1, y1, xsq1, ysq1, cx1, cy1, budget1, index1, savedX1, savedY1, q,
                                             log, capBudget);
            busyLanes += checkGroupForCycles(d, x2, y2, xsq2, ysq2, cx2, cy2, budget2, index2, savedX2, savedY2, q,
                                             log, capBudget);
        }
    }
    storeLogged(log, q);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_REFILL_INL_H_
