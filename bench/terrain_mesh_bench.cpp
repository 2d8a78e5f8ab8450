// drawTerrain with its per-call tables against the walk that forms every
// grey and y at its vertex, at a 2048 grid, into GL entry points that do
// nothing (gl_noop.cpp). The tables' line adds its speed-up over the
// per-vertex walk measured just before it.
#include "bench_ratio.h"
#include "terrain_mesh_per_vertex.h"

#include "fractal/height_field.h"
#include "render/terrain_mesh.h"
#include "state/viewer_state.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const ViewerState& grid2048()
{
    static const ViewerState state = [] {
        ViewerState s;
        s.gridSize = 2048;
        computeFractal(s);
        return s;
    }();
    return state;
}

void runDrawTerrain(benchmark::State& bench, void (*draw)(const ViewerState&, int, bool), bool baseline)
{
    const ViewerState& state = grid2048();
    const int shadingMode = static_cast<int>(bench.range(0));
    const double start = nowSeconds();
    for (auto _ : bench) {
        draw(state, shadingMode, false);
        benchmark::ClobberMemory();
    }
    const double perIteration = (nowSeconds() - start) / static_cast<double>(bench.iterations());
    const std::string pair = "drawTerrain/" + std::to_string(shadingMode);
    if (baseline) {
        recordBaseline(pair, perIteration);
    } else {
        reportRatio(bench, pair, perIteration);
    }
}

void BM_DrawTerrainPerVertex(benchmark::State& bench)
{
    runDrawTerrain(bench, drawTerrainPerVertex, true);
}

void BM_DrawTerrainTables(benchmark::State& bench)
{
    runDrawTerrain(bench, drawTerrain, false);
}

} // namespace

// The linear shading and the costliest one, the square root from the cap.
BENCHMARK(BM_DrawTerrainPerVertex)->ArgName("mode")->Arg(SHADE_LINEAR)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTerrainTables)->ArgName("mode")->Arg(SHADE_LINEAR)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTerrainPerVertex)->ArgName("mode")->Arg(SHADE_SQRT_FROM_CAP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTerrainTables)->ArgName("mode")->Arg(SHADE_SQRT_FROM_CAP)->Unit(benchmark::kMillisecond);
