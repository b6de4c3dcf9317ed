// What Tiled shows of a tile layer beyond its cells (visibility, opacity,
// tint colour, offsets, parallax factors), each composed through the
// layer's groups as Tiled composes it. A map file keeps none of them: a
// hidden layer is left out, and every other setting that changes the
// picture is dropped with a note naming the layer and what was lost.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_LAYERLOOK_H
#define TILVOGL_TOOLS_FMAPCONVERT_LAYERLOOK_H

#include <string>
#include <vector>

#include "tiledmodel.h"

namespace tmapconvert {

// True when the layer or one of its groups is hidden.
bool isHidden(const TiledLayer& layer);

// One note for each setting of the layer (and its groups) that the map
// file cannot keep; for a hidden layer, the one note that it is left out.
std::vector<std::string> droppedLookNotes(const TiledLayer& layer);

} // namespace tmapconvert

#endif
