#include "scenes.h"

#include <tilvogl/tilvogl.h>  // tmapSelectLayer, tmapDrawLayer, tmapDrawLayerSecondGraphic, tmapDrawBlocks
#include <tilvogl/tilvogl_gpu.h>  // tmapGpuDrawLayer, tmapGpuDrawLayerSecondGraphic, tmapGpuDrawBlocks

namespace tmapscenes {

// Every scene looks from below the map toward +y with y up; the map lies in
// the z = 0 plane, its cells half a unit square, rows growing toward -y.
// Constant-initialised, so programs may refer to them during start-up.

const Scene shipdemo = {
    "VORLA.FMP",
    {{0.0, -8.4, -3.2}, {0.0, -6.0, 0.0}, {0.0, 1.0, 0.0}},           // eye, centre, up
    {{-10.0f, {1, 0, 0}}, {180.0f, {0, 1, 0}}, {0.0f, {0, 0, 1}}}, 3,  // turns
    false, {0.0f, 0.0f, 0.0f, 0.0f},                                   // unlit
    true, 0.1f, {0.1f, 0.04f, 0.0f, 0.0f},                             // fog
    false,                                                             // clears depth every frame
    false,                                                             // drawn anew every frame
    {
        // Far layer: half the scroll, moved against the ship by a third of
        // its position.
        {PASS_FIRST_GRAPHICS, 0, 0, 0, 22, 50, -3.75f, 7.5f, 0.0f, 0.5f, -0.5f, false, true, 1.0f, 2, 3.0},
        // Near layer: the whole scroll, twice the move, 70 % opaque over the ship.
        {PASS_FIRST_GRAPHICS, 1, 0, 0, 22, 50, -2.0f, 7.5f, 2.0f, 0.5f, -0.5f, true, false, 0.7f, 1, 1.5},
    },
    2,
};

const Scene spinlit = {
    "TEST2A.FMP",
    {{0.0, -9.4, -4.2}, {0.0, -6.0, 0.0}, {0.0, 1.0, 0.0}},
    {{0.0f, {1, 0, 0}}, {180.0f, {0, 1, 0}}, {-90.0f, {0, 0, 1}}}, 3,
    true, {-15.0f, -15.0f, -8.0f, 0.0f},                               // w 0: directional
    true, 0.15f, {0.1f, 0.0f, 0.3f, 0.5f},
    true,                                                              // depth phases
    true,                                                              // a display list
    {{PASS_BLOCKS, 1, 0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f, false, true, 1.0f, 0, 0.0}},
    1,
};

const Scene spinblend = {
    "TEST2A.FMP",
    {{0.0, -12.4, -4.2}, {0.0, -9.0, 0.0}, {0.0, 1.0, 0.0}},
    {{-10.0f, {1, 0, 0}}, {180.0f, {0, 1, 0}}, {0.0f, {0, 0, 1}}}, 3,
    false, {0.0f, 0.0f, 0.0f, 0.0f},
    true, 0.1f, {0.1f, 0.0f, 0.3f, 0.5f},
    true,
    false,
    {
        {PASS_FIRST_GRAPHICS, 0, 0, 0, 50, 50, -12.0f, 8.0f, 0.0f, 0.5f, -0.5f, false, true, 1.0f, 0, 0.0},
        // The second graphics a little in front, blended over the first.
        {PASS_SECOND_GRAPHICS, 0, 0, 0, 50, 50, -12.0f, 8.0f, 0.002f, 0.5f, -0.5f, true, true, 1.0f, 0, 0.0},
    },
    2,
};

const Scene isoview = {
    "TEST2A.FMP",
    {{0.0, -5.4, -4.2}, {0.0, -2.0, 0.0}, {0.0, 1.0, 0.0}},
    // Turned 45 degrees and seen at a slant; nothing turns it further.
    {{180.0f, {0, 1, 0}}, {-45.0f, {0, 0, 1}}, {0.0f, {0, 0, 0}}}, 2,
    true, {-15.0f, 15.0f, -8.0f, 0.0f},                                // above the map, unlike spinlit's
    true, 0.15f, {0.1f, 0.0f, 0.3f, 0.5f},
    true,
    false,
    {{PASS_BLOCKS, 2, 0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f, false, true, 1.0f, 0, 0.0}},
    1,
};

Pass scrolledPass(const Pass &pass, int32_t scrollPos, float shipX, int tileHeight)
{
    if (pass.scrollDivisor <= 0)
        return pass;
    Pass scrolled = pass;
    int32_t position = scrollPos / pass.scrollDivisor;
    int tile = tileHeight > 0 ? tileHeight : 1;
    scrolled.cellY = pass.cellY + position / tile;
    scrolled.originY = (float)((double)(position % tile) / (2.0 * tile) + pass.originY);
    scrolled.originX = (float)((double)pass.originX - shipX / pass.shipDivisor);
    return scrolled;
}

void drawPass(const Pass &pass)
{
    // A map without the layer goes on showing the current one.
    tmapSelectLayer(pass.layer);
    switch (pass.kind) {
    case PASS_FIRST_GRAPHICS:
        tmapDrawLayer(pass.cellX, pass.cellY, pass.columns, pass.rows, pass.originX, pass.originY, pass.z,
                      pass.cellWidth, pass.cellHeight);
        break;
    case PASS_SECOND_GRAPHICS:
        tmapDrawLayerSecondGraphic(pass.cellX, pass.cellY, pass.columns, pass.rows, pass.originX, pass.originY,
                                   pass.z, pass.cellWidth, pass.cellHeight);
        break;
    case PASS_BLOCKS:
        tmapDrawBlocks(pass.cellX, pass.cellY, pass.columns, pass.rows, pass.originX, pass.originY, pass.z,
                       pass.cellWidth, pass.cellHeight);
        break;
    }
}

int drawPassShader(const TmapGpuView &view, const Pass &pass)
{
    tmapSelectLayer(pass.layer);
    switch (pass.kind) {
    case PASS_FIRST_GRAPHICS:
        return tmapGpuDrawLayer(&view, pass.cellX, pass.cellY, pass.columns, pass.rows, pass.originX,
                                pass.originY, pass.z, pass.cellWidth, pass.cellHeight);
    case PASS_SECOND_GRAPHICS:
        return tmapGpuDrawLayerSecondGraphic(&view, pass.cellX, pass.cellY, pass.columns, pass.rows,
                                             pass.originX, pass.originY, pass.z, pass.cellWidth, pass.cellHeight);
    case PASS_BLOCKS:
        return tmapGpuDrawBlocks(&view, pass.cellX, pass.cellY, pass.columns, pass.rows, pass.originX,
                                 pass.originY, pass.z, pass.cellWidth, pass.cellHeight);
    }
    return -1;
}

} // namespace tmapscenes
