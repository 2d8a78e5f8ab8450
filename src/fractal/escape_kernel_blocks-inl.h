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

// Lanes of the row in vector `v` of a block of `inBlock` samples.
HWY_INLINE std::size_t lanesInRow(std::size_t inBlock, std::size_t v, std::size_t lanes)
{
    return inBlock > v * lanes ? std::min(inBlock - v * lanes, lanes) : 0;
}

// A block keeps no mask from step to step: `count` holds for each lane the
// number of the last step after which it was still in the square, so the
// lanes still followed are those whose count is the number of the step
// before. A lane that needs no step starts with the cap, which no step
// number before the cap equals; for a settled lane, cap - count is then its
// height, 0.
HWY_INLINE VI startBlockVector(D d, const V& cx, const V& cy, std::size_t present, const VI& cap, bool nearShortcut)
{
    const DI di;
    M needsNoStep = hn::Not(hn::FirstN(d, present));
    if (nearShortcut) {
        needsNoStep = hn::Or(needsNoStep, settledByShortcut(d, cx, cy));
    }
    return hn::IfThenElseZero(hn::RebindMask(di, needsNoStep), cap);
}

// Moves the lanes that were still in before this step and whose new
// iterate (x, y) lies inside the square on to `stepNumber`, and returns them.
HWY_INLINE M countStep(D d, const V& x, const V& y, VI& count, const VI& previousStep, const VI& stepNumber)
{
    const DI di;
    const M wasIn = hn::RebindMask(d, hn::Eq(count, previousStep));
    const M stillIn = notAtLeastTwoAmong(d, largerMagnitude(x, y), wasIn);
    count = hn::IfThenElse(hn::RebindMask(di, stillIn), stepNumber, count);
    return stillIn;
}

// One step of a vector of a block; returns the lanes still in after it.
HWY_INLINE M stepBlockVector(D d, V& x, V& y, V& xsq, V& ysq, const V& cx, const V& cy, VI& count,
                             const VI& previousStep, const VI& stepNumber)
{
    advanceOrbit(d, x, y, xsq, ysq, cx, cy);
    return countStep(d, x, y, count, previousStep, stepNumber);
}

// The first step of a vector of a block. Every orbit starts at 0, so the
// step's products and the difference of the squares are +0, and what is
// left of it is the two additions of the point to +0, exactly as the plain
// loop forms them. `y` and `ysq` are the row's, shared by the vectors.
HWY_INLINE M firstBlockStep(D d, V& x, V& xsq, const V& y, const V& cx, VI& count)
{
    const DI di;
    x = hn::Add(hn::Zero(d), cx);
    xsq = hn::Mul(x, x);
    return countStep(d, x, y, count, hn::Zero(di), hn::Set(di, 1));
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
    const VI cap = hn::Set(di, static_cast<std::int64_t>(q.maxIterations));
    // One test for the whole block: only one block in four lies near the
    // regions. Lanes past the end of the row may count; they only cost the
    // test.
    const bool nearShortcut = !hn::AllFalse(d, hn::Or(hn::Or(nearShortcutRegions(d, cx0, cy), nearShortcutRegions(d, cx1, cy)),
                                                      hn::Or(nearShortcutRegions(d, cx2, cy), nearShortcutRegions(d, cx3, cy))));
    VI count0 = startBlockVector(d, cx0, cy, lanesInRow(inBlock, 0, lanes), cap, nearShortcut);
    VI count1 = startBlockVector(d, cx1, cy, lanesInRow(inBlock, 1, lanes), cap, nearShortcut);
    VI count2 = startBlockVector(d, cx2, cy, lanesInRow(inBlock, 2, lanes), cap, nearShortcut);
    VI count3 = startBlockVector(d, cx3, cy, lanesInRow(inBlock, 3, lanes), cap, nearShortcut);
    const V zero = hn::Zero(d);
    V x0 = zero, y0 = zero, xsq0 = zero, ysq0 = zero;
    V x1 = zero, y1 = zero, xsq1 = zero, ysq1 = zero;
    V x2 = zero, y2 = zero, xsq2 = zero, ysq2 = zero;
    V x3 = zero, y3 = zero, xsq3 = zero, ysq3 = zero;
    VI stepNumber = hn::Zero(di);
    const int stepLimit = std::min(q.blockSteps, q.maxIterations);
    int steps = 0;
    bool anyIn = false;
    if (stepLimit > 0) {
        const V yFirst = hn::Add(zero, cy);
        const V ysqFirst = hn::Mul(yFirst, yFirst);
        const M in0 = firstBlockStep(d, x0, xsq0, yFirst, cx0, count0);
        const M in1 = firstBlockStep(d, x1, xsq1, yFirst, cx1, count1);
        const M in2 = firstBlockStep(d, x2, xsq2, yFirst, cx2, count2);
        const M in3 = firstBlockStep(d, x3, xsq3, yFirst, cx3, count3);
        anyIn = !hn::AllFalse(d, hn::Or(hn::Or(in0, in1), hn::Or(in2, in3)));
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
    while (steps < stepLimit && anyIn) {
        const VI previousStep = stepNumber;
        stepNumber = hn::Add(stepNumber, hn::Set(di, 1));
        const M in0 = stepBlockVector(d, x0, y0, xsq0, ysq0, cx0, cy, count0, previousStep, stepNumber);
        const M in1 = stepBlockVector(d, x1, y1, xsq1, ysq1, cx1, cy, count1, previousStep, stepNumber);
        const M in2 = stepBlockVector(d, x2, y2, xsq2, ysq2, cx2, cy, count2, previousStep, stepNumber);
        const M in3 = stepBlockVector(d, x3, y3, xsq3, ysq3, cx3, cy, count3, previousStep, stepNumber);
        anyIn = !hn::AllFalse(d, hn::Or(hn::Or(in0, in1), hn::Or(in2, in3)));
        ++steps;
    }

    // Heights counted from the cap, cap - k; 0 for settled lanes and lanes at
    // the cap, a placeholder for survivors.
    const VI fromCap0 = hn::Sub(cap, count0), fromCap1 = hn::Sub(cap, count1), fromCap2 = hn::Sub(cap, count2),
             fromCap3 = hn::Sub(cap, count3);
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

    // Survivors exist only when the block ran out of steps before the cap:
    // they are the lanes still in after its last step (before any step, the
    // lanes that need steps).
    if (steps == stepLimit && stepLimit < q.maxIterations) {
        const auto start = static_cast<std::int64_t>(first);
        const auto lanesApart = static_cast<std::int64_t>(lanes);
        queueSurvivors(d, q, cx0, cy, start, hn::RebindMask(d, hn::Eq(count0, stepNumber)));
        queueSurvivors(d, q, cx1, cy, start + lanesApart, hn::RebindMask(d, hn::Eq(count1, stepNumber)));
        queueSurvivors(d, q, cx2, cy, start + 2 * lanesApart, hn::RebindMask(d, hn::Eq(count2, stepNumber)));
        queueSurvivors(d, q, cx3, cy, start + 3 * lanesApart, hn::RebindMask(d, hn::Eq(count3, stepNumber)));
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
