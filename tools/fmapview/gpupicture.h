// fmapview's two pictures drawn through the library's shader renderer
// (OpenGL 3.3 core, OpenGL ES 3.0, WebGL 2): the flat view of one layer or
// all layers, and the layer as lit block columns seen from an orbiting
// camera. The matrices, light and blending are those of the window viewer's
// fixed-function drawing, so both show the same picture of the same view.
//
// The map must be loaded with TMAP_TEXTURES_NONE and uploaded with
// tmapGpuUpload in the current context.
#ifndef TILVOGL_TOOLS_FMAPVIEW_GPUPICTURE_H
#define TILVOGL_TOOLS_FMAPVIEW_GPUPICTURE_H

#include <vector>

#include "overview.h"
#include "view.h"

namespace fmapview {

// Draws the flat view into the map area: the viewport from window row
// bottom up, the view's size. Only the cells in view are drawn.
void drawFlatThroughShaders(const FlatView& view, const Composition& composition, int bottom);

// Draws the cells of every drawn layer in the rectangles, first graphics
// then second ones, layer by layer over all the rectangles, in the view's
// map coordinates, into the viewport set.
void drawCellsThroughShaders(const FlatView& view, const Composition& composition,
                             const std::vector<CellRange>& rectangles);

// Draws the layer composition.layer as block columns around the point the
// orbit looks at, into an area of width x height pixels from window row
// bottom up. The orbit's distance and pitch are first brought into their
// limits. Leaves depth test, culling and blending off.
// The depth test and culling that the block columns are drawn with, by
// either renderer: nearest face wins, faces wound clockwise are the front
// ones, back faces culled, no blending.
void useBlockDepthAndCulling();

void drawBlocksThroughShaders(Orbit& orbit, const Composition& composition, int width, int height, int bottom);

// The cell of the ground under a point of the 3D view's area (pixels, y
// down, as the mouse reports them); false when the point's ray misses the
// map. The columns' heights are not taken into account.
bool groundCellAt(const Orbit& orbit, int width, int height, double x, double y, int& cellX, int& cellY);

} // namespace fmapview

#endif
