// Reads Tiled maps and tilesets into the model of tiledmodel.h: one walk
// over the map, its tilesets and layers, asking its questions of either
// format through tileddocument.h. Every check is one line that throws a
// Failure with its reason; readTiledMap is the one place that catches.
#include <algorithm>
#include <cstdlib>

#include "files.h"
#include "inputcheck.h"
#include "layerlook.h"
#include "tileddocument.h"
#include "tiledmodel.h"

namespace tmapconvert {

namespace {

// ---- Colours and sizes ----

// "#rrggbb", "rrggbb" or with alpha first "#aarrggbb".
void parseColour(const std::string& text, uint8_t rgb[3], const std::string& what)
{
    std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() == 8)
        hex = hex.substr(2);
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        fail(what + " is not a colour: " + inQuotes(text.substr(0, 40)));
    for (int i = 0; i < 3; ++i)
        rgb[i] = uint8_t(std::strtoul(hex.substr(size_t(2 * i), 2).c_str(), nullptr, 16));
}

// A layer's tint colour as written, once it is known to be a colour.
std::string checkedTint(const std::string& text, const std::string& where)
{
    if (!text.empty()) {
        uint8_t rgb[3];
        parseColour(text, rgb, where + ": tintcolor");
    }
    return text;
}

const int64_t largestSize = 65535;
const int64_t largestCoordinate = int64_t(1) << 40;

// Cells of one region, checked against the per-layer budget before decoding.
uint64_t regionCells(int64_t width, int64_t height, const ImportLimits& limits, const std::string& where)
{
    if (width <= 0 || height <= 0)
        fail(where + " has no cells (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (width > largestCoordinate || height > largestCoordinate
        || uint64_t(width) * uint64_t(height) > limits.cellsPerLayer)
        fail(where + " claims " + std::to_string(width) + " x " + std::to_string(height)
             + " cells, more than the " + std::to_string(limits.cellsPerLayer) + " a layer may have");
    return uint64_t(width) * uint64_t(height);
}

std::string layerWhere(const std::string& name) { return "layer " + inQuotes(name); }

void sortTiles(TiledTileset& tileset)
{
    std::sort(tileset.tiles.begin(), tileset.tiles.end(),
              [](const TiledTile& a, const TiledTile& b) { return a.id < b.id; });
    for (size_t i = 1; i < tileset.tiles.size(); ++i)
        if (tileset.tiles[i].id == tileset.tiles[i - 1].id)
            fail(tileset.where + " describes tile " + std::to_string(tileset.tiles[i].id) + " twice");
}

void checkTileset(TiledTileset& tileset)
{
    const std::string& where = tileset.where;
    inRange(tileset.tileWidth, 1, largestSize, where + ": tile width");
    inRange(tileset.tileHeight, 1, largestSize, where + ": tile height");
    inRange(tileset.margin, 0, largestSize, where + ": margin");
    inRange(tileset.spacing, 0, largestSize, where + ": spacing");
    inRange(tileset.columns, 0, largestSize, where + ": columns");
    inRange(tileset.tileCount, -1, int64_t(1) << 29, where + ": tile count");
    sortTiles(tileset);
}

// What the walk over one map needs.
struct Reader {
    const FileSource& files;
    const ImportLimits& limits;
    TiledMap& map;
};

std::string readNamedFile(Reader& reader, const std::string& path, const std::string& what)
{
    std::string bytes, error;
    if (!reader.files(path, bytes, error))
        fail(what + ": " + error);
    return bytes;
}

const int64_t largestTileId = (int64_t(1) << 29) - 1;

// ---- Tilesets, embedded or external ----

void readTilesetBody(const TiledNode& node, TiledTileset& tileset)
{
    const std::string& where = tileset.where;
    tileset.tileWidth = int(readWhole(node, "tilewidth", 0, 0, largestSize, where));
    tileset.tileHeight = int(readWhole(node, "tileheight", 0, 0, largestSize, where));
    tileset.margin = int(readWhole(node, "margin", 0, 0, largestSize, where));
    tileset.spacing = int(readWhole(node, "spacing", 0, 0, largestSize, where));
    tileset.columns = int(readWhole(node, "columns", 0, 0, largestSize, where));
    tileset.tileCount = readWhole(node, "tilecount", -1, -1, int64_t(1) << 29, where);
    tileset.image = imageOf(node, where);
    const std::string transparent = transparentColourOf(node, where);
    if (!transparent.empty()) {
        parseColour(transparent, tileset.transparentColour, where + ": transparent colour");
        tileset.hasTransparentColour = true;
    }
    for (const TiledNode& entry : listOf(node, TiledList::tiles, where)) {
        TiledTile tile;
        tile.id = uint32_t(readRequiredWhole(entry, "id", 0, largestTileId, where + ": a tile"));
        const std::string tileWhere = where + ": tile " + std::to_string(tile.id);
        tile.image = imageOf(entry, tileWhere);
        tile.imageX = int(readWhole(entry, "x", 0, 0, largestSize, tileWhere));
        tile.imageY = int(readWhole(entry, "y", 0, 0, largestSize, tileWhere));
        tile.width = int(readWhole(entry, "width", -1, -1, largestSize, tileWhere));
        tile.height = int(readWhole(entry, "height", -1, -1, largestSize, tileWhere));
        for (const TiledNode& frame : listOf(entry, TiledList::frames, tileWhere)) {
            TiledFrame f;
            f.tileId = uint32_t(readRequiredWhole(frame, "tileid", 0, largestTileId, tileWhere + ": a frame"));
            f.duration = readWhole(frame, "duration", 0, 0, int64_t(1) << 31, tileWhere + ": a frame");
            tile.animation.push_back(f);
        }
        tile.properties = readProperties(entry, tileWhere);
        tileset.tiles.push_back(tile);
    }
}

void readExternalTileset(Reader& reader, const std::string& folder, const std::string& source, TiledTileset& tileset)
{
    const std::string path = tmapfiles::joinPath(folder, source);
    tileset.where = "tileset " + inQuotes(source);
    const std::string text = readNamedFile(reader, path, tileset.where);
    tileset.folder = tmapfiles::folderOf(path);
    TiledDocument document;
    const TiledNode root = openDocument(text, "tileset", tileset.where, document);
    tileset.name = readText(root, "name", source, tileset.where);
    tileset.where = "tileset " + inQuotes(tileset.name) + " (" + source + ")";
    readTilesetBody(root, tileset);
}

void readTilesets(Reader& reader, const TiledNode& root, const std::string& folder)
{
    for (const TiledNode& entry : listOf(root, TiledList::tilesets, "the map")) {
        TiledTileset tileset;
        tileset.firstGid = uint32_t(readRequiredWhole(entry, "firstgid", 1, (int64_t(1) << 28) - 1, "a tileset"));
        const std::string source = readText(entry, "source", "", "a tileset");
        if (!source.empty()) {
            readExternalTileset(reader, folder, source, tileset);
        } else {
            tileset.name = readText(entry, "name", "", "a tileset");
            tileset.where = "tileset " + inQuotes(tileset.name);
            tileset.folder = folder;
            readTilesetBody(entry, tileset);
        }
        checkTileset(tileset);
        reader.map.tilesets.push_back(std::move(tileset));
    }
}

// ---- Layers: a count first, so that no more than eight are decoded ----

std::string layerName(const TiledNode& layer) { return readText(layer, "name", "", "a layer"); }

bool isVisible(const TiledNode& layer) { return readFlag(layer, "visible", true, layerWhere(layerName(layer))); }

void checkGroupDepth(int depth, const ImportLimits& limits)
{
    if (depth > limits.groupDepth)
        fail("group layers nest deeper than " + std::to_string(limits.groupDepth) + " levels");
}

// Tile layers that will be read: hidden ones (or those in hidden groups) are left out.
int countTileLayers(const TiledNode& parent, int depth, const ImportLimits& limits)
{
    checkGroupDepth(depth, limits);
    int count = 0;
    for (const TiledNode& layer : listOf(parent, TiledList::layers, "the map")) {
        const std::string kind = layerKind(layer);
        if ((kind == "tilelayer" || kind == "group") && !isVisible(layer))
            continue;
        if (kind == "tilelayer")
            ++count;
        else if (kind == "group")
            count += countTileLayers(layer, depth + 1, limits);
    }
    return count;
}

void checkTileLayerCount(int count)
{
    if (count > 8)
        fail("the map has " + std::to_string(count) + " tile layers; a map file holds at most 8");
}

TiledLayerLook readLook(const TiledNode& layer, const std::string& name, bool isGroup, const std::string& where)
{
    TiledLayerLook look;
    look.name = name;
    look.isGroup = isGroup;
    look.visible = readFlag(layer, "visible", true, where);
    look.opacity = readNumber(layer, "opacity", 1, where);
    look.tint = checkedTint(readText(layer, "tintcolor", "", where), where);
    look.offsetX = readNumber(layer, "offsetx", 0, where);
    look.offsetY = readNumber(layer, "offsety", 0, where);
    look.parallaxX = readNumber(layer, "parallaxx", 1, where);
    look.parallaxY = readNumber(layer, "parallaxy", 1, where);
    return look;
}

// A finite map's layer covers the map exactly.
void requireMapSize(const TiledRegion& region, const TiledMap& map, const std::string& where)
{
    if (region.width != map.width || region.height != map.height)
        fail(where + " is " + std::to_string(region.width) + " x " + std::to_string(region.height)
             + " cells, the map " + std::to_string(map.width) + " x " + std::to_string(map.height));
}

std::string chunkWhere(const std::string& where, const TiledRegion& region)
{
    return where + " chunk at " + std::to_string(region.x) + "," + std::to_string(region.y);
}

// The cells of a tile layer: the whole map, or the chunks of an infinite
// one, which together stay within the cells a layer may have.
void readCells(Reader& reader, const TiledNode& layer, TiledLayer& tileLayer, const std::string& where)
{
    const std::string encoding = cellEncoding(layer, where);
    const std::string compression = cellCompression(layer, where);
    if (!reader.map.infinite) {
        TiledRegion region;
        region.width = readWhole(layer, "width", reader.map.width, 0, largestCoordinate, where);
        region.height = readWhole(layer, "height", reader.map.height, 0, largestCoordinate, where);
        requireMapSize(region, reader.map, where);
        const uint64_t count = regionCells(region.width, region.height, reader.limits, where);
        readGids(layerCells(layer), encoding, compression, count, region.gids, where);
        tileLayer.regions.push_back(std::move(region));
        return;
    }
    uint64_t layerCells = 0;
    for (const TiledNode& chunk : listOf(layer, TiledList::chunks, where)) {
        TiledRegion region;
        region.x = readWhole(chunk, "x", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
        region.y = readWhole(chunk, "y", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
        region.width = readWhole(chunk, "width", 0, 0, largestCoordinate, where + ": chunk");
        region.height = readWhole(chunk, "height", 0, 0, largestCoordinate, where + ": chunk");
        const std::string at = chunkWhere(where, region);
        const uint64_t count = regionCells(region.width, region.height, reader.limits, at);
        readGids(chunk, encoding, compression, count, region.gids, at);
        layerCells += region.gids.size();
        if (layerCells > reader.limits.cellsPerLayer)
            fail(where + ": its chunks hold more than the " + std::to_string(reader.limits.cellsPerLayer)
                 + " cells a layer may have");
        tileLayer.regions.push_back(std::move(region));
    }
}

void readLayers(Reader& reader, const TiledNode& parent, int depth, const std::vector<TiledLayerLook>& groups)
{
    // The count before reading passes over hidden groups; their depth is checked here.
    checkGroupDepth(depth, reader.limits);
    for (const TiledNode& layer : listOf(parent, TiledList::layers, "the map")) {
        const std::string kind = layerKind(layer);
        const std::string name = layerName(layer);
        const std::string where = layerWhere(name);
        if (kind == "group") {
            std::vector<TiledLayerLook> looks = groups;
            looks.push_back(readLook(layer, name, true, where));
            readLayers(reader, layer, depth + 1, looks);
        } else if (kind == "objectgroup") {
            ++reader.map.objectLayers;
        } else if (kind == "imagelayer") {
            ++reader.map.imageLayers;
        } else if (kind == "tilelayer") {
            TiledLayer tileLayer;
            tileLayer.name = name;
            tileLayer.properties = readProperties(layer, where);
            tileLayer.looks = groups;
            tileLayer.looks.push_back(readLook(layer, name, false, where));
            if (!isHidden(tileLayer))
                readCells(reader, layer, tileLayer, where);
            reader.map.layers.push_back(std::move(tileLayer));
        } else {
            // A kind of a later Tiled: skipped with a note, as object layers are.
            reader.map.unknownLayers.push_back(where + " of unknown type " + inQuotes(kind));
        }
    }
}

// ---- The map ----

void readMap(Reader& reader, const std::string& text, const std::string& folder)
{
    TiledDocument document;
    const TiledNode root = openDocument(text, "map", "the map", document);
    TiledMap& map = reader.map;
    const std::string where = "the map";
    map.orientation = readText(root, "orientation", "orthogonal", where);
    map.infinite = readFlag(root, "infinite", false, where);
    map.width = readWhole(root, "width", 0, 0, largestCoordinate, where);
    map.height = readWhole(root, "height", 0, 0, largestCoordinate, where);
    map.tileWidth = int(readWhole(root, "tilewidth", 0, 0, largestSize, where));
    map.tileHeight = int(readWhole(root, "tileheight", 0, 0, largestSize, where));
    map.properties = readProperties(root, where);
    if (map.orientation != "orthogonal")
        return; // refused by the caller with the orientation named
    readTilesets(reader, root, folder);
    checkTileLayerCount(countTileLayers(root, 0, reader.limits));
    readLayers(reader, root, 0, {});
}

} // namespace

const TiledProperty* findProperty(const TiledProperties& properties, const std::string& name)
{
    for (const TiledProperty& property : properties)
        if (property.name == name)
            return &property;
    return nullptr;
}

bool readTiledMap(const std::string& text, const std::string& folder, const FileSource& files,
                  const ImportLimits& limits, TiledMap& map, std::string& error)
{
    map = TiledMap();
    Reader reader{files, limits, map};
    try {
        readMap(reader, text, folder);
        std::sort(map.tilesets.begin(), map.tilesets.end(),
                  [](const TiledTileset& a, const TiledTileset& b) { return a.firstGid < b.firstGid; });
        for (size_t i = 1; i < map.tilesets.size(); ++i)
            if (map.tilesets[i].firstGid == map.tilesets[i - 1].firstGid)
                fail(map.tilesets[i].where + " has the same firstgid as " + map.tilesets[i - 1].where);
        return true;
    } catch (const Failure& failure) {
        error = failure.message;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = std::string("cannot be read: ") + e.what();
    }
    map = TiledMap();
    return false;
}

} // namespace tmapconvert
