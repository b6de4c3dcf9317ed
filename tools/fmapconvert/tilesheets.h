// Tiles cut out of a Tiled map's tilesets: which tile a gid names, and the
// RGBA pixels of one tile, taken from the tileset's image (by margin,
// spacing and columns) or from an image-collection tile's own image, with
// the tileset's transparent colour applied. Each image is read once, and
// all of them together stay within the import's limit on pixels.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_TILESHEETS_H
#define TILVOGL_TOOLS_FMAPCONVERT_TILESHEETS_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "convert.h"
#include "image.h"
#include "tiledmodel.h"

namespace tmapconvert {

// Loads the PNG at path (joined already) as RGBA, or false with a reason.
using ImageSource = std::function<bool(const std::string& path, tmapimage::Image& image, std::string& error)>;

// One tile: its tileset's index in the map's (sorted) list, and its id there.
struct TileRef {
    size_t tileset = 0;
    uint32_t id = 0;
    bool operator<(const TileRef& other) const { return std::tie(tileset, id) < std::tie(other.tileset, other.id); }
};

// "tile 3 of tileset "name"", for messages.
std::string tileWhere(const TiledTileset& tileset, uint32_t id);

// The tileset's description of a tile (animation, properties, own image), or nullptr.
const TiledTile* describedTile(const TiledTileset& tileset, uint32_t id);

// The RGBA pixels of a square tile of size x size, mirrored about its
// diagonal: Tiled's diagonal flip.
std::string transposed(const std::string& rgba, int size);

struct TileSheets {
    TileSheets(const TiledMap& tiled, const ImageSource& images, const ImportLimits& limits);

    // How many tiles the tileset holds (a collection: up to its largest id).
    int64_t tileCount(size_t tileset);
    // The tile a gid names (flip bits cleared), or a failure naming where.
    TileRef resolve(uint32_t gid, const std::string& where);
    // RGBA of one tile at the map's tile size, or a failure naming the tile.
    const std::string& pixels(TileRef ref);

private:
    const tmapimage::Image& image(const TiledTileset& tileset, const std::string& path, const std::string& where);
    int columnsOf(const TiledTileset& tileset, const tmapimage::Image& sheet) const;
    // Where the tile lies in which image; fails naming the tile.
    const tmapimage::Image& placeOf(TileRef ref, int64_t& x, int64_t& y);

    const TiledMap& tiled;
    const ImageSource& images;
    const ImportLimits& limits;
    std::map<std::string, std::shared_ptr<tmapimage::Image>> imageCache;
    std::map<TileRef, std::string> tilePixels; // RGBA of each tile read so far
    uint64_t imagePixels = 0;                  // of every image read so far
    std::vector<int64_t> tileCounts;           // per tileset, -1 until known
};

} // namespace tmapconvert

#endif
