// The graphics of the map being built: RGBA pixels while the map is put
// together, identical pixels stored once, then converted to the stored
// pixels of the depth the map file is written at.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_PIXELS_H
#define TILVOGL_TOOLS_FMAPCONVERT_PIXELS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "mapwriter.h"

namespace tmapconvert {

struct GraphicSet {
    std::vector<std::string> rgba;              // tileWidth x tileHeight x 4 bytes each
    std::unordered_map<std::string, int> index; // first graphic with these pixels

    // The graphic with these pixels, added when it is new.
    int add(std::string pixels);
    // Adds the pixels as the next graphic even when another has them (a
    // restored map keeps its graphics as they were numbered).
    void append(std::string pixels);
};

// Fills map.graphics with the graphics at map.depth. At depth 8 it also
// fills map.colourMap: the entries of startColourMap first, then each new
// colour; with keepStartColourMap the start's exact bytes are kept when no
// colour was added. Returns how many opaque texels were moved off the
// colour key; fails when depth 8 needs more than 255 colours.
long storeGraphics(const GraphicSet& graphics, const tmapwriter::Bytes& startColourMap, bool keepStartColourMap,
                   tmapwriter::Map& map);

} // namespace tmapconvert

#endif
