// The fmap.* custom properties: what an exported map carries that Tiled
// cannot show (header values, the colour map, block and animation records,
// the frame list, each layer's exact cell values), so that importing the
// exported map gives back the same map. Their names, their writing (by the
// export) and their reading (by the import) live here together.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_FMAPPROPERTIES_H
#define TILVOGL_TOOLS_FMAPCONVERT_FMAPPROPERTIES_H

#include <cstdint>
#include <string>
#include <vector>

#include "mapmodel.h"
#include "mapwriter.h"
#include "tiledmodel.h"

namespace tmapconvert {

// Map properties.
extern const char propertyDepth[];           // int
extern const char propertyLittleEndian[];    // bool
extern const char propertyBlockRecordSize[]; // int
extern const char propertyGraphicCount[];    // int
extern const char propertyColourMap[];       // string: lowercase hex of the "CMAP" bytes
// string: one line per block, "graphic1 graphic2 graphic3 graphic4 userLong1
// userLong2 userShort1 userShort2 userByte1 userByte2 userByte3 flags" in
// decimal, lines joined by "\n".
extern const char propertyBlocks[];
// string: one line per animation, "mode delay countdown user current start end".
extern const char propertyAnims[];
extern const char propertyFrames[]; // string: the frame list's block indices, space-separated
// Tile properties of an animation's tile, for the reader of the Tiled map
// (the import finds animations by tile id).
extern const char propertyAnim[]; // int: the animation's number n
extern const char propertyMode[]; // int: its mode
// Layer property: the layer's cell values, row after row, space-separated.
extern const char propertyCells[];

// ---- Writing ----

TiledProperties exportedMapProperties(const MapModel& model);
TiledProperties exportedAnimTileProperties(const MapModel& model, size_t anim);
TiledProperties exportedLayerProperties(const std::vector<int32_t>& cells);

// ---- Reading ----

// True when the map has any fmap.* property: it is an exported map, and
// the import restores it field for field.
bool hasExportedProperties(const TiledProperties& mapProperties);

// What an exported map's properties restore.
struct RestoredMap {
    int depth = 32;
    bool littleEndian = true;
    int blockRecordSize = 32;
    int graphicCount = 0;
    tmapwriter::Bytes colourMap;
    std::vector<tmapwriter::Block> blocks;
    std::vector<tmapwriter::Anim> anims;
    std::vector<int32_t> frames;
    // The same records as the export saw them, for exportedGid.
    MapModel model;
};

// Reads the map properties of an exported map. writtenDepth is the depth
// the import writes, or 0 for the restored one; with the tile size it
// bounds the graphic indices, whose byte offsets must fit the file.
// Throws a Failure naming the property that is wrong.
RestoredMap readExportedMap(const TiledProperties& mapProperties, int tileWidth, int tileHeight, int writtenDepth);

// The cell values a layer's fmap.cells keeps, or none when the layer has
// no such property (a layer added in Tiled). Throws a Failure naming the
// layer (where) when the values do not fit it.
std::vector<int32_t> readExportedCells(const TiledProperties& layerProperties, size_t cellCount,
                                       const std::string& where);

} // namespace tmapconvert

#endif
