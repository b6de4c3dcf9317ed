// The cached overview of fmapview: one texel per cell (or per block of
// cells when zoomed far out), coloured with the mean colour of what the cell shows, so that a far zoom over a large map
// costs one textured quad instead of a quad per cell. Cells showing
// animations are recoloured as their frames change.
#ifndef TILVOGL_TOOLS_FMAPVIEW_OVERVIEW_H
#define TILVOGL_TOOLS_FMAPVIEW_OVERVIEW_H

namespace fmapview {

// What the flat picture shows: one layer, or all present layers each
// blended over the ones before; optionally every cell's second graphic
// blended over its first.
struct Composition {
    int layer = 0;
    bool allLayers = false;
    bool secondGraphic = false;
};

// Texture name of the overview image (viewer.h: viewerTexture).
const int overviewTextureSlot = 0;

// Forgets the cached image; the next draw rebuilds it from the current map
// (its graphics are measured again). Call after every load.
void invalidateOverview();

// Draws the map area 0..tmapWidth x 0..tmapHeight (in cells, under the
// caller's matrices) from the overview, rebuilding or recolouring it first
// as needed. The background colour shows through transparent cells. Far
// out (pixelsPerCell at or below 1, 1/2, ...) one texel stands for 2 x 2,
// 4 x 4, ... cells, sampled at their first cell.
void drawOverview(const Composition& composition, const float background[3], double pixelsPerCell);

} // namespace fmapview

#endif
