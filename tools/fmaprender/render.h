// Drawing one layer of the current map into the current GL context.
#ifndef TILVOGL_TOOLS_RENDER_H
#define TILVOGL_TOOLS_RENDER_H

#include <cstdint>

#include "image.h"

namespace tmaprender {

struct View {
    int layer = 0;
    int cellX = 0, cellY = 0, columns = 0, rows = 0; // window of cells
    int width = 0, height = 0;                       // picture size in pixels
    bool blocks = false;       // block columns in 3D instead of flat quads
    bool secondGraphic = false; // flat: blend graphic2 over graphic1
    bool lighting = false;     // blocks: one directional light
    float yaw = 30.0f;         // blocks: camera turn about the vertical, degrees
    float pitch = 45.0f;       // blocks: camera height above the map plane, degrees
    uint8_t background[3] = {0, 0, 0};
    uint8_t backgroundAlpha = 255; // 0: a transparent background
};

// Draws the view's layer window of the current map, filling the whole
// viewport; the layer must exist and the window must lie inside it.
void drawView(const View& view);

// Makes every tile texture of the current map sample its nearest texel, so
// that a picture at a whole number of pixels per texel shows exact texels.
void useNearestTexels();

// Lays above over below (same size) as alpha blending does, each pixel's
// colour not premultiplied by its alpha. A texel that is opaque or fully
// transparent gives exactly itself or what lies below.
void compositeOver(tmapimage::Image& below, const tmapimage::Image& above);

} // namespace tmaprender

#endif
