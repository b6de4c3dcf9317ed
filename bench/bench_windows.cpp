// The library's CPU time per frame against the size of the window drawn:
// flat and block windows of 16^2, 64^2, 256^2 and 1024^2 cells, with each
// renderer (cell order, grouped by texture, shader), over a GL that does
// nothing (the GL double with recording off), so the figures are the
// library's own work. A frame is one animation tick and one draw, as in the
// demos. scripts/bench divides every size by the same renderer's 16^2
// window, measured in the same run.
//
// The shader renderer finds the GL functions by name in the process: this
// program exports the double's definitions (ENABLE_EXPORTS), and the double
// answers as a GL 3.3 context would.
#include <benchmark/benchmark.h>

#include <string>

#include "benchmaps.h"
#include "gldouble.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

const int largestSide = 1024;
const int sides[] = {16, 64, 256, 1024};

enum Renderer { cellOrder, grouped, shader };
enum Kind { flat, blocks };

const char* const rendererNames[] = {"Cell", "Grouped", "Shader"};
const char* const kindNames[] = {"Layer", "Blocks"};

// The map is loaded once per renderer kind of load: with texture names for
// the fixed-function paths, with kept pixels and an upload for the shader.
bool loadWindowMap(Renderer renderer, benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::drawMap(largestSide));
    gldouble::setRecording(false);
    int firstTexture = renderer == shader ? TMAP_TEXTURES_NONE : 1;
    tmapError = 0;
    if (tmapDecodeBuffer(image.data(), image.size(), firstTexture) != 0) {
        state.SkipWithError(tmapErrorString(tmapError));
        return false;
    }
    tmapResetAnims();
    if (renderer == shader && tmapGpuUpload() != 0) {
        state.SkipWithError((std::string("upload: ") + tmapErrorString(tmapError)).c_str());
        tmapRelease();
        return false;
    }
    return true;
}

void drawWindow(benchmark::State& state, Renderer renderer, Kind kind, int side)
{
    if (!loadWindowMap(renderer, state))
        return;
    tmapDrawOrder = renderer == grouped ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER;
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    view.fogEnabled = 1;
    view.lightingEnabled = kind == blocks;
    // Culling on, as in the demos (the grouped path orders faces by it).
    glEnable(GL_CULL_FACE);
    for (auto _ : state) {
        tmapStepAnims();
        const float origin = -0.25f * float(side);
        if (renderer == shader && kind == flat)
            tmapGpuDrawLayer(&view, 0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else if (renderer == shader)
            tmapGpuDrawBlocks(&view, 0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else if (kind == flat)
            tmapDrawLayer(0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else
            tmapDrawBlocks(0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
    }
    glDisable(GL_CULL_FACE);
    state.counters["cells"] = double(side) * side;
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    if (renderer == shader)
        tmapGpuRelease();
    tmapRelease();
}

} // namespace

int main(int argc, char** argv)
{
    gldouble::setVersion("3.3 gldouble");
    for (int renderer : {cellOrder, grouped, shader})
        for (int kind : {flat, blocks})
            for (int side : sides) {
                std::string name = std::string("BM_Window") + kindNames[kind] + rendererNames[renderer]
                                   + std::to_string(side);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                    drawWindow(state, Renderer(renderer), Kind(kind), side);
                })->Unit(benchmark::kMicrosecond);
            }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
