// Loading, animation and drawing, with the library's objects linked against
// the GL double with recording off, so GL costs next to nothing. Each
// library benchmark has a baseline beside it (named ...Baseline); the
// scripts/bench table divides one by the other.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "benchfile.h"
#include "benchmaps.h"
#include "gldouble.h"
#include "tilvogl/tilvogl.h"

namespace {

const int firstTexture = 1;

const benchmaps::MapFile& largeFile()
{
    static const benchmaps::MapFile file = benchmaps::makeMapFile(benchmaps::largeMap(), "large.fmp");
    return file;
}

void decodeOrAbort(const tmapwriter::Bytes& image, benchmark::State& state)
{
    tmapError = 0;
    if (tmapDecodeBuffer(image.data(), image.size(), firstTexture) != 0)
        state.SkipWithError(tmapErrorString(tmapError));
}

// ---- Load ----

// What any loader must at least do: read the file into memory, copy it once.
void BM_LoadBaseline(benchmark::State& state)
{
    const benchmaps::MapFile& file = largeFile();
    for (auto _ : state) {
        std::FILE* in = std::fopen(file.path.c_str(), "rb");
        std::fseek(in, 0, SEEK_END);
        long size = std::ftell(in);
        std::fseek(in, 0, SEEK_SET);
        auto* bytes = static_cast<unsigned char*>(std::malloc(size_t(size)));
        size_t got = std::fread(bytes, 1, size_t(size), in);
        std::fclose(in);
        auto* copy = static_cast<unsigned char*>(std::malloc(got));
        std::memcpy(copy, bytes, got);
        benchmark::DoNotOptimize(copy);
        benchmark::ClobberMemory();
        std::free(bytes);
        std::free(copy);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.image.size()));
}

void BM_LoadFile(benchmark::State& state)
{
    const benchmaps::MapFile& file = largeFile();
    gldouble::setRecording(false);
    for (auto _ : state) {
        if (tmapLoadFile(file.path.c_str(), firstTexture) != 0)
            state.SkipWithError(tmapErrorString(tmapError));
        state.PauseTiming();
        tmapRelease();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.image.size()));
}

// The image already in memory: copying it once, against decoding it.
void BM_DecodeBufferBaseline(benchmark::State& state)
{
    const benchmaps::MapFile& file = largeFile();
    for (auto _ : state) {
        auto* copy = static_cast<unsigned char*>(std::malloc(file.image.size()));
        std::memcpy(copy, file.image.data(), file.image.size());
        benchmark::DoNotOptimize(copy);
        benchmark::ClobberMemory();
        std::free(copy);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.image.size()));
}

void BM_DecodeBuffer(benchmark::State& state)
{
    const benchmaps::MapFile& file = largeFile();
    gldouble::setRecording(false);
    for (auto _ : state) {
        decodeOrAbort(file.image, state);
        state.PauseTiming();
        tmapRelease();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.image.size()));
}

// The graphics alone through the GL double: pixel conversion without upload
// (bench_upload measures the same with a real GL).
void BM_DecodeGraphicsNoUpload(benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::graphicsOnlyMap());
    gldouble::setRecording(false);
    for (auto _ : state)
        decodeOrAbort(image, state);
    state.counters["graphics"] = tmapGraphicCount;
    tmapRelease();
}

// ---- Animation ----

const int animRecords = 100000;

void loadManyAnims(benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::manyAnimsMap(animRecords));
    gldouble::setRecording(false);
    decodeOrAbort(image, state);
    if (tmapAnimCount != animRecords)
        state.SkipWithError("the map did not load all its animations");
    tmapResetAnims();
}

// The least a tick must do: one pass over the records counting down.
void BM_StepAnimsBaseline(benchmark::State& state)
{
    loadManyAnims(state);
    std::vector<TmapAnim> records(tmapAnims, tmapAnims + tmapAnimCount);
    for (auto _ : state) {
        for (TmapAnim& anim : records)
            if (--anim.countdown < 0)
                anim.countdown = anim.delay;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * animRecords);
    tmapRelease();
}

void BM_StepAnims(benchmark::State& state)
{
    loadManyAnims(state);
    for (auto _ : state) {
        tmapStepAnims();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * animRecords);
    tmapRelease();
}

// ---- Drawing: a 50 x 50 window, as the demos draw ----

const int window = 50;
const int windowCells = window * window;

void loadDrawMap(benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::drawMap());
    gldouble::setRecording(false);
    decodeOrAbort(image, state);
    tmapResetAnims();
}

// The flat operations' GL calls alone: per cell a bind and one textured quad.
void BM_DrawLayerBaseline(benchmark::State& state)
{
    static const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    gldouble::setRecording(false);
    for (auto _ : state) {
        for (int cell = 0; cell < windowCells; ++cell) {
            float x = float(cell % window) * 0.5f, y = float(cell / window) * -0.5f;
            glBindTexture(GL_TEXTURE_2D, GLuint(firstTexture + cell % 32));
            glBegin(GL_QUADS);
            glNormal3f(0.0f, 0.0f, -1.0f);
            for (const auto& corner : corners) {
                glTexCoord2f(corner[0], corner[1]);
                glVertex3f(x + corner[0] * 0.5f, y - corner[1] * 0.5f, 0.0f);
            }
            glEnd();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
}

void BM_DrawLayer(benchmark::State& state)
{
    loadDrawMap(state);
    for (auto _ : state)
        tmapDrawLayer(0, 0, window, window, -12.0f, 8.0f, 0.0f, 0.5f, -0.5f);
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
    tmapRelease();
}

// As many faces as tmapDrawBlocks emits for the window, each an enable (for
// side faces), a bind and one textured quad.
void BM_DrawBlocksBaseline(benchmark::State& state)
{
    loadDrawMap(state);
    gldouble::reset();
    gldouble::setRecording(true);
    tmapDrawBlocks(0, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    size_t faces = gldouble::count("glBegin");
    size_t sideFaces = gldouble::count("glEnable");
    gldouble::setRecording(false);
    gldouble::reset();
    static const float corners[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    for (auto _ : state) {
        for (size_t face = 0; face < faces; ++face) {
            float x = float(face % window) * 0.5f, y = float(face / window % window) * -0.5f;
            if (face < sideFaces)
                glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, GLuint(firstTexture + face % 32));
            glBegin(GL_QUADS);
            glNormal3f(-1.0f, 0.0f, 0.0f);
            for (const auto& corner : corners) {
                glTexCoord2f(corner[0], corner[1]);
                glVertex3f(x, y - corner[0] * 0.5f, corner[1] * 0.5f);
            }
            glEnd();
        }
    }
    state.counters["faces"] = double(faces);
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
    tmapRelease();
}

void BM_DrawBlocks(benchmark::State& state)
{
    loadDrawMap(state);
    for (auto _ : state)
        tmapDrawBlocks(0, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
    tmapRelease();
}

// ---- Drawing grouped by texture ----
//
// The same windows with tmapDrawOrder TMAP_DRAW_BY_TEXTURE: the library's own
// time per cell against the cell order's above, and the binds per frame in
// each order ("binds" against "cellOrderBinds"). Grouping pays when its extra
// time per frame is less than the binds it saves cost a real GL (2 to 4 us
// each on Mesa's software renderer). Culling is on, as in the demos.

// Binds per call in the given order, counted once with recording on.
double bindsPerCall(int order, int (*draw)(int, int, int, int, float, float, float, float, float))
{
    gldouble::reset();
    gldouble::setRecording(true);
    glEnable(GL_CULL_FACE);
    tmapDrawOrder = order;
    draw(0, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    double binds = double(gldouble::count("glBindTexture"));
    gldouble::setRecording(false);
    return binds;
}

// What changes between calls: nothing (the order is reused), the textures
// (an animation steps every call, the order is worked out again), or the
// geometry (the window moves by a cell, the dependencies are worked out again).
enum Change { unchanged, textures, geometry };

void drawGrouped(benchmark::State& state, int (*draw)(int, int, int, int, float, float, float, float, float),
                 Change change)
{
    loadDrawMap(state);
    const double cellOrderBinds = bindsPerCall(TMAP_DRAW_CELL_ORDER, draw);
    const double binds = bindsPerCall(TMAP_DRAW_BY_TEXTURE, draw);
    int call = 0;
    for (auto _ : state) {
        if (change == textures)
            tmapStepAnims();
        const int cellX = change == geometry ? call++ % 2 : 0;
        draw(cellX, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    }
    state.counters["binds"] = binds;
    state.counters["cellOrderBinds"] = cellOrderBinds;
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    glDisable(GL_CULL_FACE);
    tmapRelease();
}

void BM_DrawLayerGrouped(benchmark::State& state) { drawGrouped(state, tmapDrawLayer, unchanged); }
void BM_DrawBlocksGrouped(benchmark::State& state) { drawGrouped(state, tmapDrawBlocks, unchanged); }
void BM_DrawBlocksGroupedNewTextures(benchmark::State& state) { drawGrouped(state, tmapDrawBlocks, textures); }
void BM_DrawBlocksGroupedNewGeometry(benchmark::State& state) { drawGrouped(state, tmapDrawBlocks, geometry); }

// ---- Grouped drawing on an animated block map ----
//
// isoview's window of the animated block map (benchmaps::animatedBlockMap),
// drawn grouped with culling on: a frame after an animation has moved, its
// columns changing height, against a frame in which nothing changed.

void loadAnimatedBlockMap(benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::animatedBlockMap());
    gldouble::setRecording(false);
    decodeOrAbort(image, state);
    tmapResetAnims();
    tmapSelectLayer(2);
    glEnable(GL_CULL_FACE);
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
}

// Steps the animations until one of them shows another frame.
void stepUntilAFrameChanges()
{
    std::vector<int32_t> shown(static_cast<size_t>(tmapAnimCount));
    for (int32_t a = 0; a < tmapAnimCount; ++a)
        shown[size_t(a)] = tmapAnims[a].current;
    for (bool moved = false; !moved;) {
        tmapStepAnims();
        for (int32_t a = 0; a < tmapAnimCount && !moved; ++a)
            moved = tmapAnims[a].current != shown[size_t(a)];
    }
}

void drawAnimatedBlockMap(benchmark::State& state, bool animate)
{
    loadAnimatedBlockMap(state);
    tmapDrawBlocks(0, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    for (auto _ : state) {
        if (animate) {
            state.PauseTiming();
            stepUntilAFrameChanges();
            state.ResumeTiming();
        }
        tmapDrawBlocks(0, 0, window, window, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * windowCells);
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    glDisable(GL_CULL_FACE);
    tmapRelease();
}

void BM_DrawBlocksGroupedAnimatedStill(benchmark::State& state) { drawAnimatedBlockMap(state, false); }
void BM_DrawBlocksGroupedAnimatedStep(benchmark::State& state) { drawAnimatedBlockMap(state, true); }

} // namespace

BENCHMARK(BM_LoadBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeBufferBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeGraphicsNoUpload)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepAnimsBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepAnims)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawLayerBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawLayerGrouped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksGrouped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksGroupedNewTextures)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksGroupedNewGeometry)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksGroupedAnimatedStill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBlocksGroupedAnimatedStep)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
