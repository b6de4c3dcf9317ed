// What a flat draw of the shader renderer costs on a real GL (Mesa
// offscreen, llvmpipe) against what its window shows: one 64 x 64 window
// at 11 pixels a cell on a 1280 x 720 picture, over a layer whose every
// cell shows a graphic (the baseline), one with islands of cells (5 % of
// the cells, in squares of 8 x 8), one with the same share scattered cell
// by cell, and an empty one; each draw finished before the next. Also the
// clear and finish alone, the floor beneath every draw.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <glm/ext/matrix_clip_space.hpp> // glm::ortho
#include <glm/gtc/type_ptr.hpp>          // glm::value_ptr

#include <cstring>
#include <random>

#include "mapwriter.h"
#include "offscreen.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

const int pictureWidth = 1280, pictureHeight = 720, side = 64, pixelsPerCell = 11;
enum Layer { allShow, islands, scattered, empty };

tmapwriter::Map flatLayersMap()
{
    tmapwriter::Map map;
    map.width = map.height = side;
    map.tileWidth = map.tileHeight = 32;
    map.depth = 32;
    for (int g = 0; g < 8; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < 32 * 32; ++p)
            tmapwriter::put32(pixels, 255, uint8_t(30 * g), uint8_t(p), uint8_t(p / 32));
        map.graphics.push_back(pixels);
    }
    for (int b = 0; b < 8; ++b) {
        tmapwriter::Block block;
        block.graphic[0] = b;
        block.flags = uint8_t((b % 4) << 6);
        map.blocks.push_back(block);
    }
    const int32_t nothing = 1000; // names no block
    std::mt19937 random(5);
    for (int layer = allShow; layer <= empty; ++layer) {
        std::vector<int32_t> cells(size_t(side) * side, nothing);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const bool shows = layer == allShow ||
                                   (layer == islands && (x / 8 + 3 * (y / 8)) % 20 == 0) ||
                                   (layer == scattered && random() % 20 == 0);
                if (shows)
                    cells[size_t(y) * side + x] = int32_t((x + y) % 8);
            }
        map.layers[layer] = cells;
    }
    return map;
}

bool openMap()
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(flatLayersMap());
    return tmapoffscreen::openContext(pictureWidth, pictureHeight) &&
           tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE) == 0 && tmapGpuUpload() == 0;
}

// The window filling 704 x 704 pixels in the middle of the picture.
TmapGpuView flatView()
{
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    const float across = float(pictureWidth) / pixelsPerCell, down = float(pictureHeight) / pixelsPerCell;
    const float left = (side - across) / 2.0f, top = (side - down) / 2.0f;
    const glm::mat4 projection = glm::ortho(left, left + across, top + down, top, -1.0f, 1.0f);
    std::memcpy(view.projection, glm::value_ptr(projection), sizeof view.projection);
    return view;
}

void BM_FlatDraw(benchmark::State &state)
{
    if (!openMap()) {
        state.SkipWithError(tmapErrorString(tmapError));
        tmapoffscreen::closeContext();
        return;
    }
    const int layer = int(state.range(0));
    const TmapGpuView view = flatView();
    tmapSelectLayer(unsigned(layer));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        if (layer >= 0 && tmapGpuDrawLayer(&view, 0, 0, side, side, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f) != 0)
            state.SkipWithError(tmapErrorString(tmapError));
        glFinish();
    }
    tmapGpuRelease();
    tmapRelease();
    tmapoffscreen::closeContext();
}

} // namespace

// -1: the clear and finish alone.
BENCHMARK(BM_FlatDraw)->Arg(allShow)->Arg(islands)->Arg(scattered)->Arg(empty)->Arg(-1)->UseRealTime()
    ->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
