// computeFractal with the vector kernel against the same computation with
// the plain per-sample loop, at the default grid and at large grids and
// caps. Both report the plain loop's own step count per second, so their
// rates compare the same work; the kernel's line adds its speed-up over the
// plain loop measured just before it.
#include "bench_ratio.h"

#include "fractal/escape_kernel.h"
#include "fractal/height_field.h"
#include "state/viewer_state.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

// computeFractal as it was before the kernel: the same steps around the
// plain loop.
void computeFractalPlain(ViewerState& state)
{
    computeFractalWith(state, computeHeightsPlain);
}

// Steps the plain loop takes over the grid: k + 1 for a sample that escapes
// after k counted steps, the cap for one that reaches it.
double plainSteps(const ViewerState& state)
{
    double steps = 0.0;
    for (std::uint16_t height : gridValues(state.heights)) {
        const int k = state.maxIterations - height;
        steps += k < state.maxIterations ? k + 1 : k;
    }
    return steps;
}

void runComputeFractal(benchmark::State& bench, void (*compute)(ViewerState&), bool baseline)
{
    ViewerState state;
    state.gridSize = static_cast<int>(bench.range(0));
    state.maxIterations = static_cast<int>(bench.range(1));
    const double start = nowSeconds();
    for (auto _ : bench) {
        compute(state);
        benchmark::DoNotOptimize(state.heights.values.get());
        benchmark::ClobberMemory();
    }
    const double perIteration = (nowSeconds() - start) / static_cast<double>(bench.iterations());
    const std::string pair = std::to_string(state.gridSize) + "/" + std::to_string(state.maxIterations);
    if (baseline) {
        recordBaseline("computeFractal/" + pair, perIteration);
    } else {
        reportRatio(bench, "computeFractal/" + pair, perIteration);
        bench.SetLabel(escapeKernelTargetName());
    }
    bench.counters["sample_iterations"] =
        benchmark::Counter(plainSteps(state), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ComputeFractalPlain(benchmark::State& bench)
{
    runComputeFractal(bench, computeFractalPlain, true);
}

void BM_ComputeFractalFast(benchmark::State& bench)
{
    runComputeFractal(bench, computeFractal, false);
}

// Each plain run is registered right before its fast counterpart.
void gridsAndCaps(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"grid", "cap"})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({128, 25});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({128, 25})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({2048, 25});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({2048, 25});
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({2048, 1000});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({2048, 1000});
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({4096, 250});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({4096, 250});
