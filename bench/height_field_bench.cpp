// computeFractal with the vector kernel against the same computation with
// the plain per-sample loop, at the default grid and at large grids and
// caps, and the kernel's ways of stepping against each other. Every line
// reports the plain loop's own step count per second, so their rates compare
// the same work; the line after a baseline adds its speed-up over it,
// measured just before it in the same run.
//
// At the highest cap the plain loop would take minutes a run: its line
// times the plain loop over every 64th row, takes its CPU time per step there
// and multiplies it by the exact number of steps the plain loop takes over
// the whole grid (counted from the heights), and reports that as its time.
#include "bench_ratio.h"

#include "fractal/escape_kernel.h"
#include "fractal/height_field.h"
#include "state/viewer_state.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// computeFractal as it was before the kernel: the same steps around the
// plain loop.
void computeFractalPlain(ViewerState& state)
{
    computeFractalWith(state, computeHeightsPlain);
}

// The steppings compared, by the steps their blocks take and whether the
// refill detects cycles.
template <int kBlockSteps, bool kCycles>
void fillWithStepping(std::uint16_t* heights, int gridSize, int maxIterations, bool heightInverted)
{
    computeHeightsFastWith(heights, gridSize, maxIterations, heightInverted, EscapeStepping{kBlockSteps, kCycles});
}

template <int kBlockSteps, bool kCycles>
void computeFractalStepping(ViewerState& state)
{
    computeFractalWith(state, fillWithStepping<kBlockSteps, kCycles>);
}

// Steps the plain loop takes for one height: k + 1 for a sample that escapes
// after k counted steps, the cap for one that reaches it.
double plainSteps(std::uint16_t height, int maxIterations)
{
    const int k = maxIterations - height;
    return k < maxIterations ? k + 1 : k;
}

double plainSteps(const ViewerState& state)
{
    double steps = 0.0;
    for (std::uint16_t height : gridValues(state.heights)) {
        steps += plainSteps(height, state.maxIterations);
    }
    return steps;
}

std::string pairName(const ViewerState& state)
{
    return "computeFractal/" + std::to_string(state.gridSize) + "/" + std::to_string(state.maxIterations);
}

ViewerState stateOfArguments(const benchmark::State& bench)
{
    ViewerState state;
    state.gridSize = static_cast<int>(bench.range(0));
    state.maxIterations = static_cast<int>(bench.range(1));
    return state;
}

// Times `compute` on the benchmark's grid and cap; a baseline records its
// time under `pair` for the next line's ratio.
void timeComputation(benchmark::State& bench, ViewerState& state, void (*compute)(ViewerState&),
                     const std::string& pair, bool baseline)
{
    const double start = nowSeconds();
    for (auto _ : bench) {
        compute(state);
        benchmark::DoNotOptimize(state.heights.values.get());
        benchmark::ClobberMemory();
    }
    const double perIteration = (nowSeconds() - start) / static_cast<double>(bench.iterations());
    if (baseline) {
        recordBaseline(pair, perIteration);
    } else {
        reportRatio(bench, pair, perIteration);
    }
}

void runComputeFractal(benchmark::State& bench, void (*compute)(ViewerState&), bool baseline)
{
    ViewerState state = stateOfArguments(bench);
    timeComputation(bench, state, compute, pairName(state), baseline);
    if (compute != computeFractalPlain) {
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

// The kernel's steppings against each other: the refill is the baseline of
// the blocks at low caps and of the refill with cycle detection above.
std::string steppingPairName(const ViewerState& state)
{
    return "stepping/" + std::to_string(state.gridSize) + "/" + std::to_string(state.maxIterations);
}

void runStepping(benchmark::State& bench, void (*compute)(ViewerState&), bool baseline)
{
    ViewerState state = stateOfArguments(bench);
    timeComputation(bench, state, compute, steppingPairName(state), baseline);
    bench.SetLabel(escapeKernelTargetName());
    bench.counters["sample_iterations"] =
        benchmark::Counter(plainSteps(state), benchmark::Counter::kIsIterationInvariantRate);
}

template <int kBlockSteps, bool kCycles, bool kBaseline>
void BM_Stepping(benchmark::State& bench)
{
    runStepping(bench, computeFractalStepping<kBlockSteps, kCycles>, kBaseline);
}

// Rows of the grid the estimate of the plain loop times: every 64th, away
// from the real axis and the edges.
constexpr int ESTIMATE_ROW_STRIDE = 64;
constexpr int ESTIMATE_FIRST_ROW = 17;

// The plain loop's time over the whole grid, from its time per step over
// every 64th row and the exact number of steps over all rows.
void BM_ComputeFractalPlainEstimated(benchmark::State& bench)
{
    ViewerState state = stateOfArguments(bench);
    computeFractal(state); // the heights, to count the plain loop's steps
    const double allSteps = plainSteps(state);
    const std::vector<double> columnCx = sampleCoordinates(WINDOW_LEFT, state.gridSize);
    const std::vector<double> rowCy = sampleCoordinates(WINDOW_BOTTOM, state.gridSize);
    double timedSteps = 0.0;
    double timedSeconds = 0.0;
    for (auto _ : bench) {
        const double start = nowSeconds();
        double steps = 0.0;
        for (std::size_t i = ESTIMATE_FIRST_ROW; i < rowCy.size(); i += ESTIMATE_ROW_STRIDE) {
            for (double cx : columnCx) {
                const int k = escapeCount(cx, rowCy[i], state.maxIterations);
                steps += plainSteps(static_cast<std::uint16_t>(state.maxIterations - k), state.maxIterations);
            }
        }
        const double seconds = nowSeconds() - start;
        timedSteps += steps;
        timedSeconds += seconds;
        bench.SetIterationTime(seconds / steps * allSteps);
    }
    const double secondsPerStep = timedSeconds / timedSteps;
    recordBaseline(pairName(state), secondsPerStep * allSteps);
    bench.SetLabel("every 64th row timed, x all steps");
    bench.counters["ns_per_step"] = 1e9 * secondsPerStep;
    bench.counters["all_steps"] = allSteps;
}

void gridsAndCaps(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"grid", "cap"})->Unit(benchmark::kMillisecond);
}

using BenchmarkFunction = void (*)(benchmark::State&);

// Registers `baseline` and `compared` at each cap, each pair in turn.
bool registerPairs(const char* baselineName, BenchmarkFunction baseline, const char* comparedName,
                   BenchmarkFunction compared, int gridSize, std::vector<int> caps)
{
    for (int cap : caps) {
        benchmark::RegisterBenchmark(baselineName, baseline)->Apply(gridsAndCaps)->Args({gridSize, cap});
        benchmark::RegisterBenchmark(comparedName, compared)->Apply(gridsAndCaps)->Args({gridSize, cap});
    }
    return true;
}

} // namespace

// Each baseline is registered right before the line it is compared with.
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({128, 25});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({128, 25})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({2048, 25});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({2048, 25});
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({2048, 1000});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({2048, 1000});
BENCHMARK(BM_ComputeFractalPlain)->Apply(gridsAndCaps)->Args({4096, 250});
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({4096, 250});
BENCHMARK(BM_ComputeFractalPlainEstimated)->Apply(gridsAndCaps)->Args({2048, 65525})->UseManualTime()->Iterations(1);
BENCHMARK(BM_ComputeFractalFast)->Apply(gridsAndCaps)->Args({2048, 65525});

// Where one stepping gives way to the next: blocks alone against the refill
// alone at low caps; then, as computeFractal steps, blocks of 32 steps and
// the refill without cycle detection (the baseline) against the same with
// it; and blocks of 32 steps against 64.
constexpr int ALL_BLOCKS = 1 << 30;
[[maybe_unused]] static const bool blocksAgainstRefill =
    registerPairs("BM_RefillAlone_baseline", BM_Stepping<0, false, true>, "BM_BlocksAlone",
                  BM_Stepping<ALL_BLOCKS, false, false>, 2048, {25, 50, 100, 200, 1000});
[[maybe_unused]] static const bool cyclesAgainstNone =
    registerPairs("BM_Blocks32Refill_baseline", BM_Stepping<32, false, true>, "BM_Blocks32RefillCycles",
                  BM_Stepping<32, true, false>, 2048, {250, 500, 1000, 65525});
[[maybe_unused]] static const bool blockLengths =
    registerPairs("BM_Blocks32RefillCycles_baseline", BM_Stepping<32, true, true>, "BM_Blocks64RefillCycles",
                  BM_Stepping<64, true, false>, 2048, {250, 1000, 65525});
