// Drawing one layer of the current map into the current GL context.
#ifndef TILVOGL_TOOLS_RENDER_H
#define TILVOGL_TOOLS_RENDER_H

#include <cstdint>

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
};

// Draws the view's layer window of the current map, filling the whole
// viewport; the layer must exist and the window must lie inside it.
void drawView(const View& view);

} // namespace tmaprender

#endif
