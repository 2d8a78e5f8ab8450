// The escape-time kernel's sample queue and result log. The queue holds the
// samples waiting for a lane of the per-lane refill: those the first pass in
// blocks (escape_kernel_blocks-inl.h) leaves in the square. The log collects
// the heights of the lanes the refill finishes, stored to the grid in
// batches.
//
// Both hold plain arrays, no vectors: the lane moves write and read them a
// whole vector at a time, so each keeps room past its end.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// Pending samples kept queued, and results logged before they are stored.
inline constexpr std::size_t QUEUE_CAPACITY = 1024;
inline constexpr std::size_t LOG_CAPACITY = 1024;

// Idle entries kept after the pending ones, and zeros after the real parts
// of a row: enough for a load of one vector for each group of the refill
// or of a block.
inline constexpr std::size_t QUEUE_PADDING = (LANE_GROUPS > BLOCK_GROUPS ? LANE_GROUPS : BLOCK_GROUPS) * MAX_LANES;

// The rectangle being computed, and the samples queued from it. Entries
// [head, tail) are pending; QUEUE_PADDING idle entries follow them, so the
// refill may always load a whole vector from head.
struct SampleQueue {
    const double* columnCx; // padded with QUEUE_PADDING zeros
    const double* rowCy;
    std::size_t columns, rows;
    std::uint16_t* heights;
    int maxIterations;
    bool heightInverted;
    int blockSteps; // steps a block takes before its survivors are queued
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
// by QUEUE_PADDING zeros.
inline SampleQueue emptyQueue(std::uint16_t* heights, const std::vector<double>& paddedCx, std::size_t columns,
                              const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted,
                              int blockSteps)
{
    SampleQueue q;
    q.columnCx = paddedCx.data();
    q.rowCy = rowCy;
    q.columns = columns;
    q.rows = rows;
    q.heights = heights;
    q.maxIterations = maxIterations;
    q.heightInverted = heightInverted;
    q.blockSteps = blockSteps;
    q.cx.resize(QUEUE_CAPACITY + QUEUE_PADDING);
    q.cy.resize(QUEUE_CAPACITY + QUEUE_PADDING);
    q.index.resize(QUEUE_CAPACITY + QUEUE_PADDING);
    return q;
}

inline ResultLog emptyLog()
{
    ResultLog log;
    log.height.resize(LOG_CAPACITY + MAX_LANES);
    log.index.resize(LOG_CAPACITY + MAX_LANES);
    return log;
}

// Moves the pending samples to the front of the queue.
inline void compactQueue(SampleQueue& q)
{
    const std::size_t pending = q.tail - q.head;
    std::copy(q.cx.begin() + q.head, q.cx.begin() + q.tail, q.cx.begin());
    std::copy(q.cy.begin() + q.head, q.cy.begin() + q.tail, q.cy.begin());
    std::copy(q.index.begin() + q.head, q.index.begin() + q.tail, q.index.begin());
    q.head = 0;
    q.tail = pending;
}

// Lays idle entries, the point 0 with index -1, after the pending ones.
inline void padQueue(SampleQueue& q)
{
    std::fill_n(q.cx.begin() + q.tail, QUEUE_PADDING, 0.0);
    std::fill_n(q.cy.begin() + q.tail, QUEUE_PADDING, 0.0);
    std::fill_n(q.index.begin() + q.tail, QUEUE_PADDING, std::int64_t{-1});
}

// A height counted from the cap, cap - k, in the queue's convention.
inline std::uint16_t heightInConvention(const SampleQueue& q, std::int64_t fromCap)
{
    const auto height = static_cast<int>(fromCap);
    return static_cast<std::uint16_t>(q.heightInverted ? q.maxIterations - height : height);
}

// Stores `count` heights counted from the cap at consecutive entries.
inline void storeHeights(const SampleQueue& q, std::uint16_t* heights, const std::int64_t* fromCap,
                         std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        heights[k] = heightInConvention(q, fromCap[k]);
    }
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

inline void storeLogged(ResultLog& log, const SampleQueue& q)
{
    for (std::size_t t = 0; t < log.count; ++t) {
        q.heights[log.index[t]] = heightInConvention(q, log.height[t]);
    }
    log.count = 0;
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_QUEUE_INL_H_
