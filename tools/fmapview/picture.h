// The flat picture of fmapview: the cells in view of every drawn layer,
// kept in a texture, with either renderer. It is drawn in full only when
// the view, what it shows or the map changes; otherwise a frame copies it
// back from the texture and draws again only the animated cells whose
// frames moved.
#ifndef TILVOGL_TOOLS_FMAPVIEW_PICTURE_H
#define TILVOGL_TOOLS_FMAPVIEW_PICTURE_H

#include "overview.h"
#include "view.h"

namespace fmapview {

// Texture name of the kept picture, beside the overview's (viewer.h:
// viewerTexture).
const int pictureTextureSlot = 1;

// Matrices and state for drawing in map coordinates (cells, row 0 at the
// top) into the map area's viewport.
void setMapMatrices(const FlatView& view);

// Draws the map area, the viewport set to it, its cells through the shader
// renderer or the fixed-function path. background shows through
// transparent texels; bottom is the window row of the area's lowest pixel;
// mapGeneration changes with every load, so a kept picture of another map is
// never shown.
void drawFlatPicture(const FlatView& view, const Composition& composition, const float background[3], int bottom,
                     int mapGeneration, bool throughShaders);

// The next drawFlatPicture draws in full.
void forgetPicture();

} // namespace fmapview

#endif
