// Fast escape-time kernel, compiled by Highway once for every instruction set
// it targets (this file includes itself through foreach_target.h) and
// dispatched at run time to the best one the processor runs.
//
// Every vector lane follows one sample. When a lane's sample escapes or
// reaches the cap, its height goes to a short log and the lane takes the next
// pending sample at once, so no lane idles while its neighbours iterate.
// Pending samples wait in a small queue, filled row by row. The samples that
// the cardioid and bulb shortcut settles are given the cap's height as they
// are met and never enter the queue at all.
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

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fractal/escape_kernel.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

#include "fractal/escape_kernel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most 8 lanes, so that the lane mask of a vector fits one byte.
using D = hn::CappedTag<double, 8>;
using DI = hn::RebindToSigned<D>;
using DU = hn::RebindToUnsigned<D>;
using V = hn::Vec<D>;
using VI = hn::Vec<DI>;
using M = hn::Mask<D>;

inline constexpr std::size_t MAX_LANES = hn::MaxLanes(D());

// Independent groups of lanes stepped in turn: one step's chain of dependent
// operations is long, and interleaved groups keep the arithmetic units busy.
inline constexpr std::size_t LANE_GROUPS = 3;

// From this cap on, most steps of a group finish no lane, and testing for
// that pays; below it, short orbits make the test a coin toss.
inline constexpr int SKIP_QUIET_FROM_CAP = 200;

// Pending samples kept queued, and results logged before they are stored.
inline constexpr std::size_t QUEUE_CAPACITY = 1024;
inline constexpr std::size_t LOG_CAPACITY = 1024;

// Byte `lane` of entry `bits` counts the set bits of `bits` below `lane`: the
// rank of that lane among the lanes that take new samples.
constexpr std::array<std::uint64_t, 256> packedRanks()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        std::uint64_t packed = 0;
        unsigned below = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            packed |= static_cast<std::uint64_t>(below) << (8 * lane);
            below += (bits >> lane) & 1u;
        }
        table[bits] = packed;
    }
    return table;
}

inline constexpr std::array<std::uint64_t, 256> PACKED_RANKS = packedRanks();

// Byte k of entry `bits` is the lane of the k-th set bit of `bits` (0 past
// the last): the lanes a mask selects, packed to the front in lane order.
// Highway's own Compress is avoided on purpose: on some targets it rebuilds
// its permutation table on every call.
constexpr std::array<std::uint64_t, 256> packedLanes()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        std::uint64_t packed = 0;
        unsigned rank = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            if ((bits >> lane) & 1u) {
                packed |= static_cast<std::uint64_t>(lane) << (8 * rank++);
            }
        }
        table[bits] = packed;
    }
    return table;
}

inline constexpr std::array<std::uint64_t, 256> PACKED_LANES = packedLanes();

// Unpacks eight byte-sized lane numbers into a vector of lane indices.
HWY_INLINE VI unpackLaneBytes(std::uint64_t packed)
{
    const DI di;
    const DU du;
    const auto laneShifts = hn::ShiftLeft<3>(hn::Iota(du, 0));
    return hn::BitCast(di, hn::And(hn::Shr(hn::Set(du, packed), laneShifts), hn::Set(du, 0xFF)));
}

HWY_INLINE unsigned maskBits(D d, M mask)
{
    std::uint8_t bits[8] = {};
    hn::StoreMaskBits(d, mask, bits);
    return bits[0];
}

// The two lane moves of the queue and the log: packing the lanes of a mask to
// the front, and spreading the front lanes of a vector over the lanes of a
// mask. AVX-512 has one instruction for each; elsewhere a table of lane
// numbers drives a permutation.
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3

HWY_INLINE V packFront(D, V v, M mask)
{
    return V{_mm512_maskz_compress_pd(mask.raw, v.raw)};
}

HWY_INLINE VI packFront(D, VI v, M mask)
{
    return VI{_mm512_maskz_compress_epi64(mask.raw, v.raw)};
}

HWY_INLINE V spreadInto(D, V into, M mask, V front)
{
    return V{_mm512_mask_expand_pd(into.raw, mask.raw, front.raw)};
}

HWY_INLINE VI spreadInto(D, VI into, M mask, VI front)
{
    return VI{_mm512_mask_expand_epi64(into.raw, mask.raw, front.raw)};
}

#else

HWY_INLINE V packFront(D d, V v, M mask)
{
    const VI lanes = unpackLaneBytes(PACKED_LANES[maskBits(d, mask)]);
    return hn::TableLookupLanes(v, hn::IndicesFromVec(d, lanes));
}

HWY_INLINE VI packFront(D d, VI v, M mask)
{
    const DI di;
    const VI lanes = unpackLaneBytes(PACKED_LANES[maskBits(d, mask)]);
    return hn::TableLookupLanes(v, hn::IndicesFromVec(di, lanes));
}

HWY_INLINE V spreadInto(D d, V into, M mask, V front)
{
    const VI ranks = unpackLaneBytes(PACKED_RANKS[maskBits(d, mask)]);
    return hn::IfThenElse(mask, hn::TableLookupLanes(front, hn::IndicesFromVec(d, ranks)), into);
}

HWY_INLINE VI spreadInto(D d, VI into, M mask, VI front)
{
    const DI di;
    const VI ranks = unpackLaneBytes(PACKED_RANKS[maskBits(d, mask)]);
    return hn::IfThenElse(hn::RebindMask(di, mask), hn::TableLookupLanes(front, hn::IndicesFromVec(di, ranks)),
                          into);
}

#endif

// One vector of samples in flight. Idle lanes hold the point 0 with an
// endless budget: their orbit stays at 0 and they never finish.
struct LaneGroup {
    V x, y, xsq, ysq; // the orbit, with the squares carried to the next step
    V cx, cy;
    VI budget; // steps left before the cap; reaches 0 at the cap
    VI index; // where the sample's height goes; -1 while idle
};

// The rectangle being computed, and the samples queued from it. Entries
// [head, tail) are pending; MAX_LANES idle entries follow them, so a refill
// may always load a whole vector from head.
struct SampleQueue {
    const double* columnCx; // padded with MAX_LANES zeros
    const double* rowCy;
    std::size_t columns, rows;
    std::uint16_t* heights;
    std::uint16_t capHeight; // height of a sample that reaches the cap
    std::size_t nextRow = 0, nextColumn = 0;
    std::vector<double> cx, cy;
    std::vector<std::int64_t> index;
    std::size_t head = 0, tail = 0;
};

// Finished samples: their heights in the uninverted convention, cap - k.
struct ResultLog {
    std::vector<std::int64_t> height;
    std::vector<std::int64_t> index;
    std::size_t count = 0;
};

// Points inside the main cardioid or the period-2 bulb whose attracting fixed
// point or 2-cycle has a multiplier of magnitude below the bound. Their orbit
// never leaves the square; the bound keeps so far inside that neither the
// rounding of this test nor that of the orbit can matter.
HWY_INLINE M settledByShortcut(D d, V cx, V cy)
{
    const V one = hn::Set(d, 1.0);
    const V half = hn::Set(d, 0.5);
    // Period-2 bulb: the 2-cycle's multiplier is 4 (c + 1).
    const V u = hn::Add(cx, one);
    const V bulbRadius = hn::Set(d, 0.25 * SHORTCUT_MULTIPLIER_BOUND);
    const M inBulb = hn::Lt(hn::Add(hn::Mul(u, u), hn::Mul(cy, cy)), hn::Mul(bulbRadius, bulbRadius));
    // Main cardioid: the fixed point's multiplier is 1 - sqrt(1 - 4c). With
    // w = 1 - 4c and s its principal root, |1 - s|^2 = (1 - Re s)^2 + (Im s)^2.
    const V four = hn::Set(d, 4.0);
    const V wr = hn::Sub(one, hn::Mul(four, cx));
    const V wi = hn::Mul(four, cy);
    const V magnitude = hn::Sqrt(hn::Add(hn::Mul(wr, wr), hn::Mul(wi, wi)));
    const V rootRe = hn::Sqrt(hn::Mul(hn::Add(magnitude, wr), half));
    const V rootImSq = hn::Mul(hn::Sub(magnitude, wr), half);
    const V offRe = hn::Sub(one, rootRe);
    const V multiplierSq = hn::Add(hn::Mul(offRe, offRe), rootImSq);
    const V bound = hn::Set(d, SHORTCUT_MULTIPLIER_BOUND);
    const M inCardioid = hn::Lt(multiplierSq, hn::Mul(bound, bound));
    return hn::Or(inBulb, inCardioid);
}

// Queues the next vector of samples of the current row, leaving out those
// the shortcut settles; their heights are the cap's, stored here.
HWY_INLINE void queueNextVector(D d, SampleQueue& q)
{
    const DI di;
    const std::size_t count = std::min(hn::Lanes(d), q.columns - q.nextColumn);
    const V cx = hn::LoadU(d, q.columnCx + q.nextColumn);
    const V cy = hn::Set(d, q.rowCy[q.nextRow]);
    const auto first = static_cast<std::int64_t>(q.nextRow * q.columns + q.nextColumn);
    // Iota(di, first) would be built lane by lane on the stack on some
    // targets; the lane numbers are a constant.
    const VI index = hn::Add(hn::Iota(di, 0), hn::Set(di, first));
    const M present = hn::FirstN(d, count);
    // The square root is paid only where a shortcut region is near.
    const M nearRegions = hn::And(hn::And(hn::Gt(cx, hn::Set(d, -1.26)), hn::Lt(cx, hn::Set(d, 0.26))),
                                  hn::Lt(hn::Abs(cy), hn::Set(d, 0.66)));
    M keep = present;
    if (!hn::AllFalse(d, hn::And(nearRegions, present))) {
        const M settled = hn::And(settledByShortcut(d, cx, cy), present);
        keep = hn::AndNot(settled, present);
        for (unsigned bits = maskBits(d, settled); bits != 0; bits &= bits - 1) {
            q.heights[first + std::countr_zero(bits)] = q.capHeight;
        }
    }
    // Whole vectors are stored at the tail, which moves on only past the
    // samples kept; the entries after them are overwritten or never read.
    hn::StoreU(packFront(d, cx, keep), d, q.cx.data() + q.tail);
    hn::StoreU(cy, d, q.cy.data() + q.tail);
    hn::StoreU(packFront(d, index, keep), di, q.index.data() + q.tail);
    q.tail += hn::CountTrue(d, keep);
    q.nextColumn += count;
    if (q.nextColumn == q.columns) {
        q.nextColumn = 0;
        ++q.nextRow;
    }
}

// Moves the pending samples to the front, queues more while there is room,
// and lays the idle entries after them.
HWY_NOINLINE void topUpQueue(D d, SampleQueue& q)
{
    const std::size_t pending = q.tail - q.head;
    std::copy(q.cx.begin() + q.head, q.cx.begin() + q.tail, q.cx.begin());
    std::copy(q.cy.begin() + q.head, q.cy.begin() + q.tail, q.cy.begin());
    std::copy(q.index.begin() + q.head, q.index.begin() + q.tail, q.index.begin());
    q.head = 0;
    q.tail = pending;
    while (q.tail + hn::Lanes(d) <= QUEUE_CAPACITY && q.nextRow < q.rows) {
        queueNextVector(d, q);
    }
    std::fill_n(q.cx.begin() + q.tail, MAX_LANES, 0.0);
    std::fill_n(q.cy.begin() + q.tail, MAX_LANES, 0.0);
    std::fill_n(q.index.begin() + q.tail, MAX_LANES, std::int64_t{-1});
}

// The lanes of `take` start on the next pending samples, in lane order; past
// the last pending sample they go idle. Returns how many samples were taken.
HWY_INLINE std::size_t refillLanes(D d, LaneGroup& g, M take, SampleQueue& q, VI capBudget)
{
    const DI di;
    g.cx = spreadInto(d, g.cx, take, hn::LoadU(d, q.cx.data() + q.head));
    g.cy = spreadInto(d, g.cy, take, hn::LoadU(d, q.cy.data() + q.head));
    g.index = spreadInto(d, g.index, take, hn::LoadU(di, q.index.data() + q.head));
    const M idle = hn::RebindMask(d, hn::Lt(g.index, hn::Zero(di)));
    g.budget = hn::IfThenElse(hn::RebindMask(di, idle), hn::Set(di, std::numeric_limits<std::int64_t>::max()),
                              hn::IfThenElse(hn::RebindMask(di, take), capBudget, g.budget));
    g.x = hn::IfThenZeroElse(take, g.x);
    g.y = hn::IfThenZeroElse(take, g.y);
    g.xsq = hn::IfThenZeroElse(take, g.xsq);
    g.ysq = hn::IfThenZeroElse(take, g.ysq);
    const std::size_t taken = std::min(hn::CountTrue(d, take), q.tail - q.head);
    q.head += taken;
    return taken;
}

// One step of every lane of the group, the plain loop's step exactly. The
// four tests x >= 2, y >= 2, x <= -2, y <= -2 are max(|x|, |y|) >= 2: the
// values of a lane that has not escaped are finite, never NaN.
// The larger magnitude of the two parts: one instruction on AVX-512.
HWY_INLINE V largerMagnitude(V x, V y)
{
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
    // Range operation 3 (the larger absolute value) with the sign cleared.
    return V{_mm512_range_pd(x.raw, y.raw, 0x0B)};
#else
    return hn::Max(hn::Abs(x), hn::Abs(y));
#endif
}

HWY_INLINE void stepGroup(D d, LaneGroup& g, M& escaped, M& done)
{
    const V xy = hn::Mul(g.x, g.y);
    g.y = hn::Add(hn::Add(xy, xy), g.cy);
    g.x = hn::Add(hn::Sub(g.xsq, g.ysq), g.cx);
    g.xsq = hn::Mul(g.x, g.x);
    g.ysq = hn::Mul(g.y, g.y);
    const DI di;
    g.budget = hn::Sub(g.budget, hn::Set(di, 1));
    escaped = hn::Ge(largerMagnitude(g.x, g.y), hn::Set(d, 2.0));
    done = hn::Or(escaped, hn::RebindMask(d, hn::Eq(g.budget, hn::Zero(di))));
}

// Logs the heights of the finished lanes. A lane that escaped at step t has
// k = t - 1 and t - 1 + budget = cap - 1, so cap - k = budget + 1; one that
// reached the cap has height 0.
HWY_INLINE void logFinished(D d, const LaneGroup& g, M escaped, M done, ResultLog& log)
{
    const DI di;
    const VI height = hn::IfThenElseZero(hn::RebindMask(di, escaped), hn::Add(g.budget, hn::Set(di, 1)));
    // Whole vectors are stored; the entries past the finished lanes are
    // overwritten by the next store or never read.
    hn::StoreU(packFront(d, height, done), di, log.height.data() + log.count);
    hn::StoreU(packFront(d, g.index, done), di, log.index.data() + log.count);
    log.count += hn::CountTrue(d, done);
}

// One step of the group; its finished lanes are logged and take new samples.
// Returns the busy lanes it gained, less those it lost. With skipQuiet a
// group none of whose lanes finished is passed over; without it the log and
// the refill run on every step, finished lanes or not, which costs less
// than a mispredicted branch where orbits are short.
HWY_INLINE std::ptrdiff_t advanceGroup(D d, LaneGroup& g, SampleQueue& q, ResultLog& log, VI capBudget,
                                       bool skipQuiet)
{
    M escaped, done;
    stepGroup(d, g, escaped, done);
    if (skipQuiet && hn::AllFalse(d, done)) {
        return 0;
    }
    logFinished(d, g, escaped, done, log);
    const auto finished = static_cast<std::ptrdiff_t>(hn::CountTrue(d, done));
    return static_cast<std::ptrdiff_t>(refillLanes(d, g, done, q, capBudget)) - finished;
}

// A group with every lane idle.
HWY_INLINE LaneGroup idleGroup(D d)
{
    const DI di;
    const V zero = hn::Zero(d);
    return LaneGroup{zero, zero, zero, zero, zero, zero, hn::Zero(di), hn::Set(di, -1)};
}

void storeLogged(ResultLog& log, std::uint16_t* heights, int maxIterations, bool heightInverted)
{
    for (std::size_t t = 0; t < log.count; ++t) {
        const auto fromCap = static_cast<int>(log.height[t]);
        heights[log.index[t]] = static_cast<std::uint16_t>(heightInverted ? maxIterations - fromCap : fromCap);
    }
    log.count = 0;
}

void ComputeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted)
{
    const D d;
    const std::size_t lanes = hn::Lanes(d);
    std::vector<double> paddedCx(columns + MAX_LANES, 0.0);
    std::copy(columnCx, columnCx + columns, paddedCx.begin());

    SampleQueue q;
    q.columnCx = paddedCx.data();
    q.rowCy = rowCy;
    q.columns = columns;
    q.rows = rows;
    q.heights = heights;
    q.capHeight = static_cast<std::uint16_t>(heightInverted ? maxIterations : 0);
    q.cx.resize(QUEUE_CAPACITY + MAX_LANES);
    q.cy.resize(QUEUE_CAPACITY + MAX_LANES);
    q.index.resize(QUEUE_CAPACITY + MAX_LANES);
    ResultLog log;
    log.height.resize(LOG_CAPACITY);
    log.index.resize(LOG_CAPACITY);

    const DI di;
    const VI capBudget = hn::Set(di, static_cast<std::int64_t>(maxIterations));
    const bool skipQuiet = maxIterations >= SKIP_QUIET_FROM_CAP;
    // Named groups rather than an array, so that they stay in registers.
    LaneGroup g0 = idleGroup(d), g1 = idleGroup(d), g2 = idleGroup(d);
    static_assert(LANE_GROUPS == 3);
    topUpQueue(d, q);
    std::ptrdiff_t busyLanes = 0;
    busyLanes += static_cast<std::ptrdiff_t>(refillLanes(d, g0, hn::FirstN(d, lanes), q, capBudget));
    busyLanes += static_cast<std::ptrdiff_t>(refillLanes(d, g1, hn::FirstN(d, lanes), q, capBudget));
    busyLanes += static_cast<std::ptrdiff_t>(refillLanes(d, g2, hn::FirstN(d, lanes), q, capBudget));
    while (busyLanes > 0) {
        if (q.tail - q.head < LANE_GROUPS * lanes && q.nextRow < q.rows) {
            topUpQueue(d, q);
        }
        if (log.count + LANE_GROUPS * lanes > LOG_CAPACITY) {
            storeLogged(log, heights, maxIterations, heightInverted);
        }
        busyLanes += advanceGroup(d, g0, q, log, capBudget, skipQuiet);
        busyLanes += advanceGroup(d, g1, q, log, capBudget, skipQuiet);
        busyLanes += advanceGroup(d, g2, q, log, capBudget, skipQuiet);
    }
    storeLogged(log, heights, maxIterations, heightInverted);
}

const char* KernelTargetName()
{
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace escape_kernel {
HWY_EXPORT(ComputeHeightsOfRectangle);
HWY_EXPORT(KernelTargetName);
} // namespace escape_kernel

void computeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted)
{
    if (columns == 0 || rows == 0) {
        return;
    }
    if (maxIterations < 1) {
        // No step is taken: every escape count is 0.
        std::fill_n(heights, rows * columns, static_cast<std::uint16_t>(heightInverted ? 0 : maxIterations));
        return;
    }
    HWY_DYNAMIC_DISPATCH(escape_kernel::ComputeHeightsOfRectangle)
    (heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted);
}

void computeHeightsFast(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted)
{
    if (gridSize < 1) {
        return;
    }
    // Every row's real parts are the same running sums, and so are the
    // imaginary parts of the rows: one table of each is the whole grid.
    const std::size_t n = static_cast<std::size_t>(gridSize);
    const double step = 3.0 / gridSize;
    std::vector<double> columnCx(n);
    std::vector<double> rowCy(n);
    double cx = -2.0;
    double cy = -1.5;
    for (std::size_t k = 0; k < n; ++k) {
        columnCx[k] = cx;
        rowCy[k] = cy;
        cx += step;
        cy += step;
    }
    computeHeightsOfRectangle(heights, columnCx.data(), n, rowCy.data(), n, maxIterations, heightInverted);
}

std::vector<std::int64_t> escapeKernelTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char* escapeKernelTargetName()
{
    return HWY_DYNAMIC_DISPATCH(escape_kernel::KernelTargetName)();
}

#endif // HWY_ONCE
