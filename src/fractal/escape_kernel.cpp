// Dispatch of the escape-time kernel. Highway compiles the kernel once for
// every instruction set it targets (this file includes itself through
// foreach_target.h, and with it the kernel's -inl.h files) and the entry
// points here call the best one the processor runs, with the stepping that
// suits the cap.
//
// The kernel's parts: escape_kernel_lanes-inl.h (vector types and lane
// moves), escape_kernel_shortcut-inl.h (the cardioid and bulb shortcut),
// escape_kernel_queue-inl.h (pending samples and finished results),
// escape_kernel_step-inl.h (one step), escape_kernel_blocks-inl.h (the first
// pass, in blocks of neighbours) and escape_kernel_refill-inl.h (the driver,
// with per-lane refill and cycle detection).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fractal/escape_kernel.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

#include "fractal/escape_kernel.h"
#include "fractal/escape_kernel_queue-inl.h"
#include "fractal/escape_kernel_refill-inl.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

void ComputeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted,
                               EscapeStepping stepping)
{
    const D d;
    std::vector<double> paddedCx(columns + QUEUE_PADDING, 0.0);
    std::copy(columnCx, columnCx + columns, paddedCx.begin());
    SampleQueue q =
        emptyQueue(heights, paddedCx, columns, rowCy, rows, maxIterations, heightInverted, stepping.blockSteps);
    ResultLog log = emptyLog();
    if (stepping.detectCycles) {
        computeWithRefill<true>(d, q, log);
    } else {
        computeWithRefill<false>(d, q, log);
    }
}

const char* KernelTargetName()
{
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

#include "fractal/height_field.h"

// The dispatch tables and the calls through them stay inside the kernel's
// namespace and name the per-target functions unqualified: a build that
// compiles a single target turns HWY_DYNAMIC_DISPATCH(F) into that target's
// namespace followed by F.
namespace escape_kernel {

HWY_EXPORT(ComputeHeightsOfRectangle);
HWY_EXPORT(KernelTargetName);

static void dispatchRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                              const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted,
                              EscapeStepping stepping)
{
    HWY_DYNAMIC_DISPATCH(ComputeHeightsOfRectangle)
    (heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted, stepping);
}

static const char* dispatchedTargetName()
{
    return HWY_DYNAMIC_DISPATCH(KernelTargetName)();
}

} // namespace escape_kernel

// Steps of the blocks before the refill takes over. At grid 2048 with
// AVX-512, 32 steps beat 64 and 128 at caps 250, 1000 and 65525, and blocks
// alone beat the refill alone up to cap 200 but lose at 1000.
static constexpr int BLOCK_STEPS = 32;
// Cycle detection costs 3-6% at cap 250, breaks even at 500, and gains from
// there: 14-21% at 1000, 10-12 times at 65525.
static constexpr int CYCLES_FROM_CAP = 500;

EscapeStepping steppingForCap(int maxIterations)
{
    return EscapeStepping{BLOCK_STEPS, maxIterations >= CYCLES_FROM_CAP};
}

void computeHeightsOfRectangleWith(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                                   const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted,
                                   EscapeStepping stepping)
{
    if (columns == 0 || rows == 0) {
        return;
    }
    if (maxIterations < 1) {
        // No step is taken: every escape count is 0.
        std::fill_n(heights, rows * columns, static_cast<std::uint16_t>(heightInverted ? 0 : maxIterations));
        return;
    }
    escape_kernel::dispatchRectangle(heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted,
                                     stepping);
}

void computeHeightsOfRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns,
                               const double* rowCy, std::size_t rows, int maxIterations, bool heightInverted)
{
    computeHeightsOfRectangleWith(heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted,
                                  steppingForCap(maxIterations));
}

void computeHeightsFastWith(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted,
                            EscapeStepping stepping)
{
    if (gridSize < 1) {
        return;
    }
    // Every row's real parts are the same running sums, and so are the
    // imaginary parts of the rows: one table of each is the whole grid.
    const std::vector<double> columnCx = sampleCoordinates(WINDOW_LEFT, gridSize);
    const std::vector<double> rowCy = sampleCoordinates(WINDOW_BOTTOM, gridSize);
    const auto n = static_cast<std::size_t>(gridSize);
    computeHeightsOfRectangleWith(heights, columnCx.data(), n, rowCy.data(), n, maxIterations, heightInverted,
                                  stepping);
}

void computeHeightsFast(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted)
{
    computeHeightsFastWith(heights, gridSize, maxIterations, heightInverted, steppingForCap(maxIterations));
}

std::vector<std::int64_t> escapeKernelTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char* escapeKernelTargetName()
{
    return escape_kernel::dispatchedTargetName();
}

#endif // HWY_ONCE
