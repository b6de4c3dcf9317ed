// Several maps, through a real GL (Mesa offscreen, llvmpipe) and the shader
// renderer: a switch between two uploaded maps against a decode plus upload
// of the same map (what a program without handles does at every switch),
// and the drawing thread's frame times while the 2048 x 2048 benchmark map
// decodes on a worker thread, against the same decode on the drawing thread.
#include <benchmark/benchmark.h>

#include <GL/gl.h> // glClear, glFinish of the frames
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "benchmaps.h"
#include "offscreen.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

using tmapwriter::Bytes;

const Bytes &denseImage()
{
    static const Bytes image = tmapwriter::buildImage(benchmaps::denseMap());
    return image;
}

TmapMap *uploadedMap(const Bytes &image)
{
    TmapMap *map = tmapDecodeBufferAside(image.data(), image.size(), TMAP_TEXTURES_NONE, nullptr);
    if (map == nullptr || tmapMakeCurrent(map) != 0 || tmapGpuUpload() != 0)
        return nullptr;
    return map;
}

void BM_SwitchMaps(benchmark::State &state)
{
    if (!tmapoffscreen::openContext(64, 64)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    TmapMap *a = uploadedMap(denseImage());
    TmapMap *b = uploadedMap(denseImage());
    if (a == nullptr || b == nullptr)
        state.SkipWithError(tmapErrorString(tmapError));
    for (auto _ : state) {
        tmapMakeCurrent(a);
        tmapMakeCurrent(b);
    }
    state.counters["switches"] = 2;
    tmapReleaseMap(a);
    tmapReleaseMap(b);
    tmapoffscreen::closeContext();
}

void BM_DecodeUploadSameMap(benchmark::State &state)
{
    if (!tmapoffscreen::openContext(64, 64)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    const Bytes &image = denseImage();
    for (auto _ : state) {
        if (tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE) != 0 || tmapGpuUpload() != 0)
            state.SkipWithError(tmapErrorString(tmapError));
    }
    tmapGpuRelease();
    tmapRelease();
    tmapoffscreen::closeContext();
}

// One frame: the dense map's layer 0 filling 320 x 240 pixels, finished.
double frameMilliseconds(const TmapGpuView &view)
{
    const auto start = std::chrono::steady_clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    tmapGpuDrawLayer(&view, 0, 0, 50, 50, -1.0f, 1.0f, 0.0f, 0.04f, -0.04f);
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

enum class DecodeOn { worker, idleWorker, drawingThread };

// Frames drawn while the large map decodes: on a worker, on a worker that
// asks to run only when a core is idle (SCHED_IDLE), or at the start of one
// frame on the drawing thread itself. On a machine with as few cores as the
// software GL has rasterizer threads, a worker of normal priority takes
// time slices from those threads, and the frame waits for the slowest.
void framesWhileDecoding(benchmark::State &state, DecodeOn where)
{
    static const Bytes large = tmapwriter::buildImage(benchmaps::largeMap());
    if (!tmapoffscreen::openContext(320, 240)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    TmapMap *playing = uploadedMap(denseImage());
    if (playing == nullptr) {
        state.SkipWithError(tmapErrorString(tmapError));
        return;
    }
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    std::vector<double> frames;
    for (auto _ : state) {
        for (int k = 0; k < 20; ++k)
            frameMilliseconds(view);
        frames.clear();
        std::atomic<bool> done{false};
        TmapMap *decoded = nullptr;
        auto decode = [&] {
            if (where == DecodeOn::idleWorker) {
                const sched_param idle{};
                pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
            }
            decoded = tmapDecodeBufferAside(large.data(), large.size(), TMAP_TEXTURES_NONE, nullptr);
            done = true;
        };
        if (where != DecodeOn::drawingThread) {
            std::thread worker(decode);
            while (!done)
                frames.push_back(frameMilliseconds(view));
            worker.join();
        } else {
            const auto start = std::chrono::steady_clock::now();
            decode();
            const double decodeMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            frames.push_back(decodeMs + frameMilliseconds(view));
        }
        if (decoded == nullptr)
            state.SkipWithError("the large map did not decode");
        tmapReleaseMap(decoded);
    }
    std::vector<double> sorted = frames;
    std::sort(sorted.begin(), sorted.end());
    // Frames of the same program while nothing decodes, for the median.
    std::vector<double> quiet;
    for (int k = 0; k < 200; ++k)
        quiet.push_back(frameMilliseconds(view));
    std::sort(quiet.begin(), quiet.end());
    state.counters["frames"] = double(frames.size());
    state.counters["median_ms"] = sorted[sorted.size() / 2];
    state.counters["p95_ms"] = sorted[std::min(sorted.size() - 1, sorted.size() * 95 / 100)];
    state.counters["max_ms"] = sorted.back();
    state.counters["quiet_median_ms"] = quiet[quiet.size() / 2];
    tmapReleaseMap(playing);
    tmapoffscreen::closeContext();
}

void BM_FramesDecodingOnWorker(benchmark::State &state) { framesWhileDecoding(state, DecodeOn::worker); }
void BM_FramesDecodingOnIdleWorker(benchmark::State &state) { framesWhileDecoding(state, DecodeOn::idleWorker); }
void BM_FramesDecodingOnDrawingThread(benchmark::State &state)
{
    framesWhileDecoding(state, DecodeOn::drawingThread);
}

} // namespace

BENCHMARK(BM_SwitchMaps)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_DecodeUploadSameMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FramesDecodingOnWorker)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramesDecodingOnIdleWorker)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramesDecodingOnDrawingThread)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
