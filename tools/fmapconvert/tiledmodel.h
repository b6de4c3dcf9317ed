// A Tiled map as read from JSON or TMX, before it becomes a map file.
//
// The readers (tiledread.cpp) fill these structs from either format, so the
// building step (mapbuild.cpp) sees one shape whatever the input was. Files
// the map names (external tilesets, images) are fetched through a FileSource,
// so the same code reads from disk for the tool and from memory for the
// fuzz target.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_TILEDMODEL_H
#define TILVOGL_TOOLS_FMAPCONVERT_TILEDMODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "convert.h"

namespace tmapconvert {

// A typed custom property; the value is kept as text ("12", "true", "#ff00ff").
struct TiledProperty {
    std::string name;
    std::string type;   // "string", "int", "bool", "float", "color", "file", ...
    std::string value;
};
using TiledProperties = std::vector<TiledProperty>;

// The property with this name, or nullptr.
const TiledProperty* findProperty(const TiledProperties& properties, const std::string& name);

struct TiledFrame {
    uint32_t tileId = 0;   // within the same tileset
    int64_t duration = 0;  // milliseconds
};

// A tile that the tileset describes beyond its place in the image.
struct TiledTile {
    uint32_t id = 0;
    std::string image;         // image-collection tiles: the tile's own image ("" otherwise)
    int imageX = 0, imageY = 0; // sub-rectangle of that image (Tiled 1.9 and later)
    int width = -1, height = -1; // sub-rectangle size, -1: the whole image
    std::vector<TiledFrame> animation;
    TiledProperties properties;
};

struct TiledTileset {
    uint32_t firstGid = 0;
    std::string name;
    std::string where;         // for messages: tileset "name" (file)
    std::string folder;        // folder that its image paths are relative to
    int tileWidth = 0, tileHeight = 0;
    int margin = 0, spacing = 0;
    int columns = 0;           // 0: from the image width
    int64_t tileCount = -1;    // -1: from the image size (or the tiles, for collections)
    std::string image;         // "" for an image collection
    bool hasTransparentColour = false;
    uint8_t transparentColour[3] = {0, 0, 0};
    std::vector<TiledTile> tiles;  // sorted by id, ids unique
};

// A rectangle of cells of one tile layer: the whole layer of a finite map,
// or one chunk of an infinite one. Gids keep Tiled's flip bits.
struct TiledRegion {
    int64_t x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> gids;  // width * height, row by row
};

// How Tiled draws a tile layer or group beyond its cells, as the file
// sets it. A map file has none of these, so the import notes each one that
// changes the picture (layerlook.h).
struct TiledLayerLook {
    std::string name;          // of the layer or group that sets it
    bool isGroup = false;
    bool visible = true;
    double opacity = 1;
    std::string tint;          // "" (none), or "#rrggbb" / "#aarrggbb" as written
    double offsetX = 0, offsetY = 0;   // pixels
    double parallaxX = 1, parallaxY = 1;
};

struct TiledLayer {
    std::string name;
    std::vector<TiledRegion> regions;  // none when the layer is hidden: its cells are not read
    TiledProperties properties;
    std::vector<TiledLayerLook> looks; // its groups', outermost first, then its own
};

struct TiledMap {
    std::string orientation;
    int64_t width = 0, height = 0;
    int tileWidth = 0, tileHeight = 0;
    bool infinite = false;
    TiledProperties properties;
    std::vector<TiledLayer> layers;     // tile layers only, groups flattened, in draw order, hidden ones too
    std::vector<TiledTileset> tilesets; // sorted by firstGid
    int objectLayers = 0, imageLayers = 0;  // skipped
    std::vector<std::string> unknownLayers; // skipped, each as "layer "name" of unknown type "kind""
};

// Reads a Tiled map from its text (JSON when it begins with '{', else TMX).
// where names the map in messages; folder is where its relative paths start.
bool readTiledMap(const std::string& text, const std::string& folder, const FileSource& files,
                  const ImportLimits& limits, TiledMap& map, std::string& error);

} // namespace tmapconvert

#endif
