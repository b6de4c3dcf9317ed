// Turns a Tiled map (tiledmodel.h) into the map file model of the writer:
// graphics from the tiles that are used, blocks from tiles and their flips,
// animations from Tiled's tile animations, cells from layers. A map that was
// exported by fmapconvert (fmap.* properties) is restored field for field.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_MAPBUILD_H
#define TILVOGL_TOOLS_FMAPCONVERT_MAPBUILD_H

#include <string>
#include <vector>

#include "convert.h"
#include "mapwriter.h"
#include "tiledmodel.h"
#include "tilesheets.h"

namespace tmapconvert {

// What the import tells the user besides the map itself.
struct ImportReport {
    bool infinite = false;
    int64_t originX = 0, originY = 0;  // Tiled's cell that became cell (0, 0)
    long movedTexels = 0;              // opaque texels moved off the colour key
    int objectLayers = 0, imageLayers = 0;
    std::vector<std::string> unknownLayers; // layers of a kind the import does not know, skipped
    bool restored = false;             // fmap.* properties were followed
    std::vector<std::string> layerNotes; // hidden layers left out, layer settings dropped
};

bool buildMap(const TiledMap& tiled, const ImageSource& images, const Options& options, tmapwriter::Map& map,
              ImportReport& report, std::string& error);

} // namespace tmapconvert

#endif
