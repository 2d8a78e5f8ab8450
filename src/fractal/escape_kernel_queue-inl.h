// The escape-time kernel's sample queue and result log. The queue holds the
// samples waiting for a lane, filled vector by vector in row order from the
// rectangle being computed; samples the cardioid and bulb shortcut settles
// get the cap's height as they are met and never enter it. The log collects
// the heights of finished lanes, stored to the grid in batches.
//
// Both hold plain arrays, no vectors: the lane moves write and read them a
// whole vector at a time, so each keeps room for one vector past its end.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"
#include "fractal/escape_kernel_shortcut-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Pending samples kept queued, and results logged before they are stored.
inline constexpr std::size_t QUEUE_CAPACITY = 1024;
inline constexpr std::size_t LOG_CAPACITY = 1024;

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

// An empty queue over the rectangle; paddedCx holds its real parts followed
// by MAX_LANES zeros.
inline SampleQueue emptyQueue(std::uint16_t* heights, const std::vector<double>& paddedCx, std::size_t columns,
                              const double* rowCy, std::size_t rows, std::uint16_t capHeight)
{
    SampleQueue q;
    q.columnCx = paddedCx.data();
    q.rowCy = rowCy;
    q.columns = columns;
    q.rows = rows;
    q.heights = heights;
    q.capHeight = capHeight;
    q.cx.resize(QUEUE_CAPACITY + MAX_LANES);
    q.cy.resize(QUEUE_CAPACITY + MAX_LANES);
    q.index.resize(QUEUE_CAPACITY + MAX_LANES);
    return q;
}

inline ResultLog emptyLog()
{
    ResultLog log;
    log.height.resize(LOG_CAPACITY + MAX_LANES);
    log.index.resize(LOG_CAPACITY + MAX_LANES);
    return log;
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
    M keep = present;
    if (!hn::AllFalse(d, hn::And(nearShortcutRegions(d, cx, cy), present))) {
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

// Logs the given heights and grid indices of the lanes of `finished`.
HWY_INLINE void logLanes(D d, ResultLog& log, VI height, VI index, M finished)
{
    const DI di;
    // Whole vectors are stored; the entries past the finished lanes are
    // overwritten by the next store or never read.
    hn::StoreU(packFront(d, height, finished), di, log.height.data() + log.count);
    hn::StoreU(packFront(d, index, finished), di, log.index.data() + log.count);
    log.count += hn::CountTrue(d, finished);
}

inline void storeLogged(ResultLog& log, std::uint16_t* heights, int maxIterations, bool heightInverted)
{
    for (std::size_t t = 0; t < log.count; ++t) {
        const auto fromCap = static_cast<int>(log.height[t]);
        heights[log.index[t]] = static_cast<std::uint16_t>(heightInverted ? maxIterations - fromCap : fromCap);
    }
    log.count = 0;
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
