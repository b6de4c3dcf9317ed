// One Tiled document, a map or tileset file in JSON (nlohmann-json) or in
// TMX/TSX (pugixml), and the questions the reader asks of its parts.
//
// Both formats name the same things alike but nest them differently: a JSON
// layer holds its cells as "data", a TMX layer in a <data> child; a JSON
// tileset names its image as "image", a TSX one in an <image> element. This
// file is the one place that knows how, so the walk over a map (tiledread.cpp)
// is written once for both. Every question checks what it reads and fails
// (inputcheck.h) with a reason that begins with `where`.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_TILEDDOCUMENT_H
#define TILVOGL_TOOLS_FMAPCONVERT_TILEDDOCUMENT_H

#include <nlohmann/json.hpp> // the JSON tree
#include <pugixml.hpp>       // the XML tree

#include <cstdint>
#include <string>
#include <vector>

#include "tiledmodel.h"

namespace tmapconvert {

// A JSON object or an XML element of a document (object is null for XML).
struct TiledNode {
    const nlohmann::json* object = nullptr;
    pugi::xml_node element;
};

// The parsed file; it owns what its nodes point into.
struct TiledDocument {
    nlohmann::json json;
    pugi::xml_document xml;
};

// Parses text, JSON when it begins with '{' or '[' and XML otherwise, into
// document and returns its root: the JSON object, or the XML element named
// rootName ("map" or "tileset"). what names the file in messages.
TiledNode openDocument(const std::string& text, const char* rootName, const std::string& what,
                       TiledDocument& document);

// Whether the node has key at all (a JSON null counts as absent).
bool hasKey(const TiledNode& node, const char* key);

// The value of key, or fallback when it is absent.
std::string readText(const TiledNode& node, const char* key, const std::string& fallback, const std::string& where);
int64_t readWhole(const TiledNode& node, const char* key, int64_t fallback, int64_t low, int64_t high,
                  const std::string& where);
double readNumber(const TiledNode& node, const char* key, double fallback, const std::string& where);
bool readFlag(const TiledNode& node, const char* key, bool fallback, const std::string& where);
// The value of key, which must be there.
int64_t readRequiredWhole(const TiledNode& node, const char* key, int64_t low, int64_t high,
                          const std::string& where);

TiledProperties readProperties(const TiledNode& node, const std::string& where);

// The parts of a node that come in lists.
enum class TiledList {
    tilesets, // of a map
    tiles,    // of a tileset: those it describes beyond their place in the image
    frames,   // of a tile's animation
    layers,   // of a map or group, in draw order
    chunks,   // of an infinite map's tile layer
};
std::vector<TiledNode> listOf(const TiledNode& node, TiledList list, const std::string& where);

// A layer's kind in Tiled's JSON words: "tilelayer", "objectgroup",
// "imagelayer", "group", or what the file calls a kind it does not know.
std::string layerKind(const TiledNode& layer);

// The image file of a tileset or of one tile of an image collection, "" when
// it has none; an image embedded in the file is refused.
std::string imageOf(const TiledNode& node, const std::string& where);
// A tileset's transparent colour as written, "" when it has none.
std::string transparentColourOf(const TiledNode& tileset, const std::string& where);

// How a tile layer stores its cells: encoding "csv" or "base64" ("" in TMX
// for one <tile> element per cell), compression "" or the codec's name.
std::string cellEncoding(const TiledNode& layer, const std::string& where);
std::string cellCompression(const TiledNode& layer, const std::string& where);
// What holds the cells of a finite map's layer (the layer, or its <data>).
TiledNode layerCells(const TiledNode& layer);
// Reads the count gids that holder (a layer's cells or a chunk) stores.
void readGids(const TiledNode& holder, const std::string& encoding, const std::string& compression, uint64_t count,
              std::vector<uint32_t>& gids, const std::string& where);

} // namespace tmapconvert

#endif
