// Baseline times of the benchmark pairs, kept for the length of the run.
#include "bench_ratio.h"

#include <map>

namespace {

std::map<std::string, double>& baselineSeconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

} // namespace

void recordBaseline(const std::string& pair, double secondsPerIteration)
{
    baselineSeconds()[pair] = secondsPerIteration;
}

void reportRatio(benchmark::State& state, const std::string& pair, double secondsPerIteration)
{
    const auto found = baselineSeconds().find(pair);
    if (found != baselineSeconds().end() && secondsPerIteration > 0.0) {
        state.counters["x_baseline"] = found->second / secondsPerIteration;
    }
}
