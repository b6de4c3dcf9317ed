// Texture upload with a real GL (Mesa offscreen, llvmpipe): the graphics of
// the large benchmark map decoded into textures. bench_library's
// BM_DecodeGraphicsNoUpload is the same decode with GL calls costing nothing.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "benchmaps.h"
#include "offscreen.h"
#include "tilvogl/tilvogl.h"

namespace {

void BM_DecodeGraphicsUpload(benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::graphicsOnlyMap());
    if (!tmapoffscreen::openContext(16, 16)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    for (auto _ : state) {
        tmapError = 0;
        if (tmapDecodeBuffer(image.data(), image.size(), 1) != 0)
            state.SkipWithError(tmapErrorString(tmapError));
    }
    state.counters["graphics"] = tmapGraphicCount;
    tmapRelease();
    tmapoffscreen::closeContext();
}

} // namespace

BENCHMARK(BM_DecodeGraphicsUpload)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
