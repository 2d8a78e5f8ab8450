// Dispatch of the escape-time kernel. Highway compiles the kernel once for
// every instruction set it targets (this file includes itself through
// foreach_target.h, and with it the kernel's -inl.h files) and the entry
// points here call the best one the processor runs.
//
// The kernel's parts: escape_kernel_lanes-inl.h (vector types and lane
// moves), escape_kernel_shortcut-inl.h (the cardioid and bulb shortcut),
// escape_kernel_queue-inl.h (pending samples and finished results) and
// escape_kernel_driver-inl.h (the stepping loop).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fractal/escape_kernel.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

#include "fractal/escape_kernel_driver-inl.h"

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {

const char* KernelTargetName()
{
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

#include "fractal/escape_kernel.h"
#include "fractal/height_field.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The dispatch tables and the calls through them stay inside the kernel's
// namespace and name the per-target functions unqualified: a build that
// compiles a single target turns HWY_DYNAMIC_DISPATCH(F) into that target's
// namespace followed by F.
namespace escape_kernel {

HWY_EXPORT(ComputeHeightsOfRectangle);
HWY_EXPORT(KernelTargetName);

static void dispatchRectangle(std::uint16_t* heights, const double* columnCx, std::size_t columns, const double* rowCy,
                       std::size_t rows, int maxIterations, bool heightInverted)
{
    HWY_DYNAMIC_DISPATCH(ComputeHeightsOfRectangle)
    (heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted);
}

static const char* dispatchedTargetName()
{
    return HWY_DYNAMIC_DISPATCH(KernelTargetName)();
}

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
    escape_kernel::dispatchRectangle(heights, columnCx, columns, rowCy, rows, maxIterations, heightInverted);
}

void computeHeightsFast(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted)
{
    if (gridSize < 1) {
        return;
    }
    // Every row's real parts are the same running sums, and so are the
    // imaginary parts of the rows: one table of each is the whole grid.
    const std::vector<double> columnCx = sampleCoordinates(WINDOW_LEFT, gridSize);
    const std::vector<double> rowCy = sampleCoordinates(WINDOW_BOTTOM, gridSize);
    const auto n = static_cast<std::size_t>(gridSize);
    computeHeightsOfRectangle(heights, columnCx.data(), n, rowCy.data(), n, maxIterations, heightInverted);
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
