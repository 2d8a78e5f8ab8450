// Side-by-side ratios within one benchmark run: the baseline of a pair
// records its CPU time per iteration, and the faster variant, run right
// after it, reports how many times faster it is as the counter "x_baseline".
#pragma once

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

// CPU seconds of the calling thread: the ratios then hold while other
// processes share the cores, as on a busy build machine.
inline double nowSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Stores the baseline's time per iteration under `pair`.
void recordBaseline(const std::string& pair, double secondsPerIteration);

// Sets state.counters["x_baseline"] from the baseline recorded under `pair`,
// when there is one.
void reportRatio(benchmark::State& state, const std::string& pair, double secondsPerIteration);
