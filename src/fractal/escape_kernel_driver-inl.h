// The escape-time kernel's stepping driver: every vector lane follows one
// sample. When a lane's sample escapes or reaches the cap, its height goes to
// the log and the lane takes the next pending sample at once, so no lane idles
// while its neighbours iterate.
//
// At low caps orbits are short and a lane of some group finishes on nearly
// every step, unpredictably; there the log and the refill run on every step
// without a branch. From SKIP_QUIET_FROM_CAP on, groups with no finished lane
// skip them.
//
// A step does the plain loop's operations in the plain loop's order, each
// rounded as it is formed: the product x * y doubled, then cy added; the
// difference of the carried squares, then cx added. Nothing is fused (the
// whole program is built with -ffp-contract=off, and no fused operation of
// Highway is used), so every lane's orbit is the plain loop's, bit for bit.
//
// A group's vectors are locals of the driver, passed by reference: SVE
// vectors are sizeless and cannot be members of a struct or an array.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_DRIVER_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_DRIVER_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_DRIVER_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_DRIVER_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"
#include "fractal/escape_kernel_queue-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Independent groups of lanes stepped in turn: one step's chain of dependent
// operations is long, and interleaved groups keep the arithmetic units busy.
inline constexpr std::size_t LANE_GROUPS = 3;

// From this cap on, most steps of a group finish no lane, and testing for
// that pays; below it, short orbits make the test a coin toss.
inline constexpr int SKIP_QUIET_FROM_CAP = 200;

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

// One step of every lane of the group, the plain loop's step exactly. The
// four tests x >= 2, y >= 2, x <= -2, y <= -2 are max(|x|, |y|) >= 2: the
// values of a lane that has not escaped are finite, never NaN.
HWY_INLINE void stepGroup(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy, VI& budget, M& escaped,
                          M& done)
{
    const V xy = hn::Mul(x, y);
    y = hn::Add(hn::Add(xy, xy), cy);
    x = hn::Add(hn::Sub(xsq, ysq), cx);
    xsq = hn::Mul(x, x);
    ysq = hn::Mul(y, y);
    const DI di;
    budget = hn::Sub(budget, hn::Set(di, 1));
    escaped = hn::Ge(largerMagnitude(x, y), hn::Set(d, 2.0));
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
HWY_INLINE std::ptrdiff_t advanceGroup(D d, V& x, V& y, V& xsq, V& ysq, V& cx, V& cy, VI& budget, VI& index,
                                       SampleQueue& q, ResultLog& log, const VI& capBudget, bool skipQuiet)
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
    return static_cast<std::ptrdiff_t>(taken) - finished;
}

void ComputeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted)
{
    const D d;
    const DI di;
    const std::size_t lanes = hn::Lanes(d);
    std::vector<double> paddedCx(columns + MAX_LANES, 0.0);
    std::copy(columnCx, columnCx + columns, paddedCx.begin());
    SampleQueue q = emptyQueue(heights, paddedCx, columns, rowCy, rows,
                               static_cast<std::uint16_t>(heightInverted ? maxIterations : 0));
    ResultLog log = emptyLog();

    const VI capBudget = hn::Set(di, static_cast<std::int64_t>(maxIterations));
    const bool skipQuiet = maxIterations >= SKIP_QUIET_FROM_CAP;
    // Three named groups, not an array: vectors cannot be array elements on
    // SVE, and named locals stay in registers everywhere.
    static_assert(LANE_GROUPS == 3);
    const V zero = hn::Zero(d);
    const VI idleIndex = hn::Set(di, -1);
    V x0 = zero, y0 = zero, xsq0 = zero, ysq0 = zero, cx0 = zero, cy0 = zero;
    V x1 = zero, y1 = zero, xsq1 = zero, ysq1 = zero, cx1 = zero, cy1 = zero;
    V x2 = zero, y2 = zero, xsq2 = zero, ysq2 = zero, cx2 = zero, cy2 = zero;
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
    while (busyLanes > 0) {
        if (q.tail - q.head < LANE_GROUPS * lanes && q.nextRow < q.rows) {
            topUpQueue(d, q);
        }
        if (log.count + LANE_GROUPS * lanes > LOG_CAPACITY) {
            storeLogged(log, heights, maxIterations, heightInverted);
        }
        busyLanes += advanceGroup(d, x0, y0, xsq0, ysq0, cx0, cy0, budget0, index0, q, log, capBudget, skipQuiet);
        busyLanes += advanceGroup(d, x1, y1, xsq1, ysq1, cx1, cy1, budget1, index1, q, log, capBudget, skipQuiet);
        busyLanes += advanceGroup(d, x2, y2, xsq2, ysq2, cx2, cy2, budget2, index2, q, log, capBudget, skipQuiet);
    }
    storeLogged(log, heights, maxIterations, heightInverted);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_DRIVER_INL_H_
