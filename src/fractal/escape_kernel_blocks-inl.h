// The first pass over the rectangle: blocks of BLOCK_GROUPS vectors of
// neighbouring samples of a row step together, up to blockSteps steps, and
// leave together. Neighbours have nearly equal counts, so few steps go to
// lanes that are already out, and no lane is refilled: where orbits last a
// few steps, a per-lane refill costs more than the steps it saves. The
// cardioid and bulb shortcut settles its samples here, before any step.
//
// A block stores the heights of its samples straight into the grid. Samples
// still in the square after blockSteps steps (when the cap lies further)
// are queued for the per-lane refill, which iterates them from the start;
// the height stored for them here is a placeholder that the refill's result
// overwrites later.
//
// A lane that has left keeps stepping (its values grow to infinity and NaN),
// but its count no longer moves.
// Included once per target, like every -inl.h of the kernel.

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_BLOCKS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_BLOCKS_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_BLOCKS_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_BLOCKS_INL_H_
#endif

#include "fractal/escape_kernel_lanes-inl.h"
#include "fractal/escape_kernel_queue-inl.h"
#include "fractal/escape_kernel_shortcut-inl.h"
#include "fractal/escape_kernel_step-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

// One vector of a block before its first step: the lanes of the row that
// are present, and those the shortcut settles.
HWY_INLINE void startBlockVector(D d, const V& cx, const V& cy, std::size_t present, M& inRow, M& settled)
{
    inRow = hn::FirstN(d, present);
    settled = hn::FirstN(d, 0);
    if (!hn::AllFalse(d, hn::And(nearShortcutRegions(d, cx, cy), inRow))) {
        settled = hn::And(settledByShortcut(d, cx, cy), inRow);
    }
}

// One step of a vector of a block: `out` gathers the lanes that have left the
// square (and starts with the lanes that need no step), and `count` holds
// for each lane the number of the last step after which it was still in:
// its escape count once it has left.
HWY_INLINE void stepBlockVector(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy, M& out, VI& count,
                                const VI& stepNumber)
{
    const DI di;
    out = hn::Or(out, stepOrbit(d, x, y, xsq, ysq, cx, cy));
    count = hn::IfThenElse(hn::RebindMask(di, out), count, stepNumber);
}

// The first step of a vector of a block. Every orbit starts at 0, so the
// step's products and the difference of the squares are +0, and what is
// left of it is the two additions of the point to +0, exactly as the plain
// loop forms them. `y` and `ysq` are the row's, shared by the vectors.
HWY_INLINE void firstBlockStep(D d, V& x, V& xsq, const V& y, const V& cx, M& out, VI& count)
{
    const DI di;
    x = hn::Add(hn::Zero(d), cx);
    xsq = hn::Mul(x, x);
    out = hn::Or(out, hn::Ge(largerMagnitude(x, y), hn::Set(d, 2.0)));
    count = hn::IfThenZeroElse(hn::RebindMask(di, out), hn::Set(di, 1));
}

// Heights counted from the cap, cap - k, of one vector of a block; settled
// lanes get 0, and so do lanes at the cap. Survivors get a placeholder.
HWY_INLINE VI blockHeights(const VI& count, const M& settled, const VI& cap)
{
    const DI di;
    return hn::IfThenZeroElse(hn::RebindMask(di, settled), hn::Sub(cap, count));
}

// Stores one vector of heights counted from the cap at `heights`, in the
// queue's convention.
HWY_INLINE void storeHeightVector(const SampleQueue& q, std::uint16_t* heights, const VI& fromCap)
{
    const DI di;
    const DU du;
    const hn::Rebind<std::uint16_t, DU> d16;
    VI height = fromCap;
    if (q.heightInverted) {
        height = hn::Sub(hn::Set(di, static_cast<std::int64_t>(q.maxIterations)), fromCap);
    }
    hn::StoreU(hn::TruncateTo(d16, hn::BitCast(du, height)), d16, heights);
}

// Queues the lanes of `survivors` at the queue's tail: their points and
// their indices in the grid, from `first` on in lane order.
HWY_INLINE void queueSurvivors(D d, SampleQueue& q, const V& cx, const V& cy, std::int64_t first, const M& survivors)
{
    const DI di;
    // Iota(di, first) would be built lane by lane on the stack on some
    // targets; the lane numbers are a constant.
    const VI index = hn::Add(hn::Iota(di, 0), hn::Set(di, first));
    // Whole vectors are stored at the tail, which moves on only past the
    // survivors; the entries after them are overwritten or never read.
    hn::StoreU(packFront(d, cx, survivors), d, q.cx.data() + q.tail);
    hn::StoreU(cy, d, q.cy.data() + q.tail);
    hn::StoreU(packFront(d, index, survivors), di, q.index.data() + q.tail);
    q.tail += hn::CountTrue(d, survivors);
}

// Runs the next block of the current row and moves on past it.
HWY_INLINE void runNextBlock(D d, SampleQueue& q)
{
    const DI di;
    const std::size_t lanes = hn::Lanes(d);
    const std::size_t inBlock = std::min(BLOCK_GROUPS * lanes, q.columns - q.nextColumn);
    const double* cxs = q.columnCx + q.nextColumn;
    const V cx0 = hn::LoadU(d, cxs), cx1 = hn::LoadU(d, cxs + lanes), cx2 = hn::LoadU(d, cxs + 2 * lanes),
            cx3 = hn::LoadU(d, cxs + 3 * lanes);
    const V cy = hn::Set(d, q.rowCy[q.nextRow]);
    M inRow0, inRow1, inRow2, inRow3, settled0, settled1, settled2, settled3;
    startBlockVector(d, cx0, cy, std::min(inBlock, lanes), inRow0, settled0);
    startBlockVector(d, cx1, cy, inBlock > lanes ? std::min(inBlock - lanes, lanes) : 0, inRow1, settled1);
    startBlockVector(d, cx2, cy, inBlock > 2 * lanes ? std::min(inBlock - 2 * lanes, lanes) : 0, inRow2, settled2);
    startBlockVector(d, cx3, cy, inBlock > 3 * lanes ? inBlock - 3 * lanes : 0, inRow3, settled3);
    // Lanes that need no step: settled, or past the end of the row.
    M out0 = hn::Or(settled0, hn::Not(inRow0)), out1 = hn::Or(settled1, hn::Not(inRow1)),
      out2 = hn::Or(settled2, hn::Not(inRow2)), out3 = hn::Or(settled3, hn::Not(inRow3));

    const V zero = hn::Zero(d);
    V x0 = zero, y0 = zero, xsq0 = zero, ysq0 = zero;
    V x1 = zero, y1 = zero, xsq1 = zero, ysq1 = zero;
    V x2 = zero, y2 = zero, xsq2 = zero, ysq2 = zero;
    V x3 = zero, y3 = zero, xsq3 = zero, ysq3 = zero;
    VI count0 = hn::Zero(di), count1 = count0, count2 = count0, count3 = count0;
    VI stepNumber = hn::Zero(di);
    const int stepLimit = std::min(q.blockSteps, q.maxIterations);
    int steps = 0;
    if (stepLimit > 0 && !hn::AllTrue(d, hn::And(hn::And(out0, out1), hn::And(out2, out3)))) {
        const V yFirst = hn::Add(zero, cy);
        const V ysqFirst = hn::Mul(yFirst, yFirst);
        firstBlockStep(d, x0, xsq0, yFirst, cx0, out0, count0);
        firstBlockStep(d, x1, xsq1, yFirst, cx1, out1, count1);
        firstBlockStep(d, x2, xsq2, yFirst, cx2, out2, count2);
        firstBlockStep(d, x3, xsq3, yFirst, cx3, out3, count3);
        y0 = yFirst;
        y1 = yFirst;
        y2 = yFirst;
        y3 = yFirst;
        ysq0 = ysqFirst;
        ysq1 = ysqFirst;
        ysq2 = ysqFirst;
        ysq3 = ysqFirst;
        stepNumber = hn::Set(di, 1);
        steps = 1;
    }
    while (steps < stepLimit && !hn::AllTrue(d, hn::And(hn::And(out0, out1), hn::And(out2, out3)))) {
        stepNumber = hn::Add(stepNumber, hn::Set(di, 1));
        stepBlockVector(d, x0, y0, xsq0, ysq0, cx0, cy, out0, count0, stepNumber);
        stepBlockVector(d, x1, y1, xsq1, ysq1, cx1, cy, out1, count1, stepNumber);
        stepBlockVector(d, x2, y2, xsq2, ysq2, cx2, cy, out2, count2, stepNumber);
        stepBlockVector(d, x3, y3, xsq3, ysq3, cx3, cy, out3, count3, stepNumber);
        ++steps;
    }

    const VI cap = hn::Set(di, static_cast<std::int64_t>(q.maxIterations));
    const VI fromCap0 = blockHeights(count0, settled0, cap), fromCap1 = blockHeights(count1, settled1, cap),
             fromCap2 = blockHeights(count2, settled2, cap), fromCap3 = blockHeights(count3, settled3, cap);
    const std::size_t first = q.nextRow * q.columns + q.nextColumn;
    std::uint16_t* heights = q.heights + first;
    if (inBlock == BLOCK_GROUPS * lanes) {
        storeHeightVector(q, heights, fromCap0);
        storeHeightVector(q, heights + lanes, fromCap1);
        storeHeightVector(q, heights + 2 * lanes, fromCap2);
        storeHeightVector(q, heights + 3 * lanes, fromCap3);
    } else {
        std::int64_t fromCap[BLOCK_GROUPS * MAX_LANES];
        hn::StoreU(fromCap0, di, fromCap);
        hn::StoreU(fromCap1, di, fromCap + lanes);
        hn::StoreU(fromCap2, di, fromCap + 2 * lanes);
        hn::StoreU(fromCap3, di, fromCap + 3 * lanes);
        storeHeights(q, heights, fromCap, inBlock);
    }

    // Survivors exist only when the block ran out of steps before the cap.
    if (steps == stepLimit && stepLimit < q.maxIterations) {
        const auto start = static_cast<std::int64_t>(first);
        const auto lanesApart = static_cast<std::int64_t>(lanes);
        queueSurvivors(d, q, cx0, cy, start, hn::AndNot(out0, inRow0));
        queueSurvivors(d, q, cx1, cy, start + lanesApart, hn::AndNot(out1, inRow1));
        queueSurvivors(d, q, cx2, cy, start + 2 * lanesApart, hn::AndNot(out2, inRow2));
        queueSurvivors(d, q, cx3, cy, start + 3 * lanesApart, hn::AndNot(out3, inRow3));
    }
    q.nextColumn += inBlock;
    if (q.nextColumn == q.columns) {
        q.nextColumn = 0;
        ++q.nextRow;
    }
}

// Moves the pending samples to the front and runs blocks while the queue has
// room for all their survivors.
HWY_NOINLINE void topUpQueue(D d, SampleQueue& q)
{
    compactQueue(q);
    while (q.tail + BLOCK_GROUPS * hn::Lanes(d) <= QUEUE_CAPACITY && q.nextRow < q.rows) {
        runNextBlock(d, q);
    }
    padQueue(q);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_BLOCKS_INL_H_
