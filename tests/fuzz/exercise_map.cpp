#include "exercise_map.h"

#include <cstdlib>

#include "tilvogl/tilvogl.h"

namespace {

// Draws the whole current layer and a window reaching past every edge.
void drawAll() {
    const int width = tmapWidth;
    const int height = tmapHeight;
    tmapDrawLayer(0, 0, width, height, 0.0f, 0.0f, 0.0f, 0.5f, -0.5f);
    tmapDrawLayerSecondGraphic(0, 0, width, height, 0.0f, 0.0f, 0.002f, 0.5f, -0.5f);
    tmapDrawBlocks(0, 0, width, height, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    tmapDrawLayer(-3, -2, width + 7, height + 5, 1.0f, 2.0f, 0.0f, 1.0f, 1.0f);
    tmapDrawLayerSecondGraphic(-3, -2, width + 7, height + 5, 1.0f, 2.0f, 0.0f, 1.0f, 1.0f);
    tmapDrawBlocks(-3, -2, width + 7, height + 5, 1.0f, 2.0f, 0.0f, 1.0f, 1.0f);
}

} // namespace

int exerciseMap(const uint8_t* data, size_t size) {
    // The same bytes decoded into a handle must meet the same verdict.
    TmapLoadError error;
    TmapMap* aside = tmapDecodeBufferAside(data, size, TMAP_TEXTURES_GENERATED, &error);
    tmapError = 0;
    int result = tmapDecodeBuffer(data, size, 10);
    if ((aside != nullptr) != (result == 0) || (result != 0 && error.code != tmapError)) std::abort();
    if (result != 0) {
        tmapRelease();
        return result;
    }
    tmapResetAnims();
    for (int tick = 0; tick < 5; ++tick) tmapStepAnims();
    tmapBuildRowTables();
    for (unsigned layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        if (tmapSelectLayer(layer) < 0) continue;
        for (int y = 0; y < tmapHeight; ++y)
            for (int x = 0; x < tmapWidth; ++x) tmapBlockAt(x, y);
        drawAll();
    }
    tmapResetAnims();
    // Switched to the handle's copy and back, each drawn.
    TmapMap* loaded = tmapSetAside();
    if (tmapMakeCurrent(aside) != 0) std::abort();
    drawAll();
    if (tmapMakeCurrent(loaded) != 0) std::abort();
    drawAll();
    tmapReleaseMap(aside);
    tmapRelease();
    return result;
}
