// fmapconvert both ways on a 1024 x 1024 map with 4 layers and 1 000
// distinct tiles, beside loading the same map file with the library. Times
// are wall-clock: the conversions are mostly file and text work.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp> // to strip the export's own properties

#include <cstdio>
#include <fstream>
#include <string>

#include "benchfile.h"
#include "benchmaps.h"
#include "convert.h"
#include "offscreen.h"
#include "tilvogl/tilvogl.h"

namespace {

const benchmaps::MapFile& mapFile()
{
    static const benchmaps::MapFile file = benchmaps::makeMapFile(benchmaps::convertMap(), "convert.fmp");
    return file;
}

// The map exported once, for the import benchmarks (in the run's folder,
// removed at exit).
const std::string& exported(const std::string& extension)
{
    static std::string paths[2];
    std::string& path = paths[extension == ".tmx" ? 1 : 0];
    if (path.empty()) {
        path = mapFile().path + extension;
        tmapconvert::Options options;
        options.notes = nullptr;
        std::string error;
        if (!tmapconvert::exportTiled(mapFile().path, path, options, error)) {
            std::fprintf(stderr, "bench_convert: export failed: %s\n", error.c_str());
            std::abort();
        }
    }
    return path;
}

void exportTo(benchmark::State& state, const std::string& extension)
{
    const std::string out = mapFile().path + ".out" + extension;
    tmapconvert::Options options;
    options.notes = nullptr;
    for (auto _ : state) {
        std::string error;
        if (!tmapconvert::exportTiled(mapFile().path, out, options, error))
            state.SkipWithError(error.c_str());
    }
    std::remove(out.c_str());
    std::remove(tmapconvert::exportedImagePath(out).c_str());
}

void importFrom(benchmark::State& state, const std::string& extension)
{
    const std::string in = exported(extension);
    const std::string out = mapFile().path + ".back.fmp";
    tmapconvert::Options options;
    options.notes = nullptr;
    for (auto _ : state) {
        std::string error;
        if (!tmapconvert::importTiled(in, out, options, error))
            state.SkipWithError(error.c_str());
    }
    std::remove(out.c_str());
}

// The export without its fmap.* properties: a map as drawn in Tiled, which
// the import de-duplicates tile by tile.
void BM_ImportPlainTmj(benchmark::State& state)
{
    static const std::string plain = [] {
        std::ifstream in(exported(".tmj"));
        nlohmann::json map = nlohmann::json::parse(in);
        map.erase("properties");
        for (nlohmann::json& layer : map["layers"])
            layer.erase("properties");
        for (nlohmann::json& tile : map["tilesets"][0]["tiles"])
            tile.erase("properties");
        const std::string path = mapFile().path + ".plain.tmj";
        std::ofstream(path) << map.dump();
        return path;
    }();
    const std::string out = mapFile().path + ".plain.fmp";
    tmapconvert::Options options;
    options.notes = nullptr;
    for (auto _ : state) {
        std::string error;
        if (!tmapconvert::importTiled(plain, out, options, error))
            state.SkipWithError(error.c_str());
    }
    std::remove(out.c_str());
    std::remove(plain.c_str());
}

void BM_ExportTmj(benchmark::State& state) { exportTo(state, ".tmj"); }
void BM_ExportTmx(benchmark::State& state) { exportTo(state, ".tmx"); }
void BM_ImportTmj(benchmark::State& state) { importFrom(state, ".tmj"); }
void BM_ImportTmx(benchmark::State& state) { importFrom(state, ".tmx"); }

// The same map file loaded by the library, textures uploaded through Mesa.
void BM_LoadConvertMap(benchmark::State& state)
{
    const std::string& path = mapFile().path;
    if (!tmapoffscreen::openContext(16, 16)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    for (auto _ : state)
        if (tmapLoadFile(path.c_str(), 1) != 0)
            state.SkipWithError(tmapErrorString(tmapError));
    tmapRelease();
    tmapoffscreen::closeContext();
}

} // namespace

BENCHMARK(BM_LoadConvertMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ExportTmj)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExportTmx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ImportTmj)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ImportTmx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ImportPlainTmj)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
