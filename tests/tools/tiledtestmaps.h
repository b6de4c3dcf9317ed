// Small Tiled maps written by the tests (and the fuzz seeds): JSON or TMX
// text, external tilesets, and PNG tile sheets whose pixels are known, so a
// test can say what every imported texel must be.
#ifndef TILVOGL_TESTS_TILEDTESTMAPS_H
#define TILVOGL_TESTS_TILEDTESTMAPS_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tiledtest {

using Rgba = std::array<uint8_t, 4>;
// Every test tile has its own, asymmetric pixels: tile number t, pixel (x, y).
Rgba tilePixel(int tile, int x, int y);

struct Property {
    std::string name, type, value;
};

struct Tile {
    uint32_t id = 0;
    std::vector<std::pair<uint32_t, int>> frames;  // animation: tile id, milliseconds
    std::vector<Property> properties;
    std::string image;  // image collections: the tile's own PNG
};

struct Tileset {
    uint32_t firstGid = 1;
    std::string name = "tiles";
    std::string file;          // "" embedded, else "name.tsx" or "name.tsj" beside the map
    std::string image = "tiles.png"; // tile sheet PNG; "" for an image collection
    int columns = 4, rows = 2;
    int margin = 0, spacing = 0;
    int firstTile = 0;         // tilePixel number of tile id 0
    std::string transparent;   // "#rrggbb" or ""
    std::vector<Tile> tiles;
};

struct Chunk {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> gids;
};

struct Layer {
    std::string name;
    std::vector<uint32_t> gids;  // finite maps
    std::vector<Chunk> chunks;   // infinite maps
    std::vector<Property> properties;
    bool inGroup = false;        // wrapped in a group layer of its own
};

struct Map {
    int width = 4, height = 2, tileWidth = 4, tileHeight = 4;
    std::string orientation = "orthogonal";
    bool infinite = false;
    std::string encoding = "csv";  // "csv", "base64", or "xml" (TMX <tile> elements)
    std::string compression;       // "", "zlib", "gzip", "zstd"
    std::vector<Tileset> tilesets = {Tileset()};
    std::vector<Layer> layers;
    std::vector<Property> properties;
    int objectLayers = 0, imageLayers = 0;
};

// Every file of the map: "map.tmj" or "map.tmx" (the name given), external
// tilesets and the PNGs (sheets of tilePixel tiles, gaps filled with an
// opaque marker colour; collection images one tile each).
using Files = std::map<std::string, std::string>;
Files writeMap(const Map& map, const std::string& name);

// A PNG of one tile (tilePixel number t) or of a sheet.
std::string tilePng(int tile, int width, int height);

// Layer data as Tiled writes it.
std::string encodeGids(const std::vector<uint32_t>& gids, const std::string& encoding, const std::string& compression);

// ---- The maps the tests and fuzz seeds share ----
const uint32_t flipH = 0x80000000u, flipV = 0x40000000u, flipD = 0x20000000u;

// One row of the eight flip combinations of tile 1 (combination i: bit 0
// horizontal, bit 1 vertical, bit 2 diagonal).
Map flipMap();
// Tile 0 animated over tiles 1, 2, 3 for 100, 300 and 50 ms; cells: the
// animated tile, tile 1 flipped, the animated tile flipped vertically.
Map animationMap();
// Two 16 x 16 chunks at -16,-16 and 16,0 (bounding box 48 x 32).
Map infiniteMap();
// An embedded tileset with margin and spacing, an external .tsx with a
// transparent colour, an external .tsj image collection; three tile layers
// (one named LYR2, one in a group), an object layer and an image layer.
Map severalTilesetsMap();
// Tiles whose properties fill every block field.
Map propertiesMap();
// All of the above in both formats and every encoding: name -> files.
std::vector<std::pair<std::string, Files>> seedMaps();

// The files as one fuzz input: the map text first, then for each other
// file "\n#file NAME\n" and its bytes (see tests/fuzz/fuzz_tiled.cpp).
std::string bundle(const Files& files, const std::string& mapName);
extern const char bundleSeparator[];

} // namespace tiledtest

#endif
