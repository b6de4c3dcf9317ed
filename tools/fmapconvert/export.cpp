// Map file -> Tiled map: the map is loaded through the library, so Tiled
// gets exactly what the library would show, and written as JSON (.tmj,
// .json) or TMX (.tmx) with one PNG tileset image beside it.
#include <strings.h> // strcasecmp for the extension

#include <algorithm>
#include <charconv> // std::to_chars for the long number lists
#include <cmath>
#include <nlohmann/json.hpp> // the JSON map
#include <pugixml.hpp>       // the TMX map
#include <sstream>

#include "atomicfile.h"
#include "convert.h"
#include "mapmodel.h"
#include "files.h"
#include "image.h"
#include "pngfile.h"
#include "fmapproperties.h"
#include "loadmessage.h"
#include "mapwriter.h"
#include "tiledform.h"

namespace tmapconvert {

namespace {

// ---- The Tiled map, whichever format it is written in ----

struct Frame {
    int tileId;
    int duration; // milliseconds
};

struct TileEntry {
    int id;
    std::vector<Frame> animation;
    TiledProperties properties;
};

struct TileLayer {
    std::string name;
    std::vector<uint32_t> gids; // row after row
    TiledProperties properties;
};

struct Tileset {
    std::string name;
    std::string image; // file name, beside the map
    int columns = 0, rows = 0;
    std::vector<TileEntry> tiles; // those with an animation or properties
};

struct ExportedMap {
    int width = 0, height = 0, tileWidth = 0, tileHeight = 0;
    TiledProperties properties;
    Tileset tileset;
    std::vector<TileLayer> layers;
};

// ---- From the model ----

// The first graphic of the block at frame-list index k, or -1 when k names
// no block or the block no graphic.
int frameGraphic(const MapModel& model, int64_t k)
{
    if (k < 0 || k >= int64_t(model.frames.size()))
        return -1;
    const int32_t block = model.frames[size_t(k)];
    if (block < 0 || block >= int64_t(model.blocks.size()))
        return -1;
    const int32_t graphic = model.blocks[size_t(block)].graphic1;
    return graphic >= 0 && graphic < model.graphicCount ? graphic : -1;
}

// The frame-list indices an animation shows, one after another, from its
// state as loaded: one turn of its cycle, or nothing when it never moves.
// Tiled loops every animation, so the modes that play once (3, and 4 which
// holds its last frame) loop forward there.
std::vector<int64_t> playOrder(const TmapAnim& anim)
{
    const int64_t start = anim.start, end = anim.end, current = anim.current;
    const int64_t count = end - start;
    std::vector<int64_t> order;
    if (count < 2 || current < start || current >= end)
        return order;
    switch (anim.mode) {
    case 1: // loop forward
    case 3: // play once
    case 4: // play once and hold
        for (int64_t i = 0; i < count; ++i)
            order.push_back(start + (current - start + i) % count);
        break;
    case 2: // loop backward
        for (int64_t i = 0; i < count; ++i)
            order.push_back(start + (current - start - i + count) % count);
        break;
    case 5: // ping-pong: forward legs 5 and 7, backward legs 8 and 6
    case 6:
    case 7:
    case 8: {
        // The bounce start, start + 1, .., end - 1, end - 2, .., start + 1,
        // entered on the leg the mode names.
        const int64_t period = 2 * (count - 1);
        const bool forward = anim.mode == 5 || anim.mode == 7;
        const int64_t entry = forward ? current - start : (count - 1) + (end - 1 - current);
        for (int64_t i = 0; i < period; ++i) {
            const int64_t step = (entry + i) % period;
            order.push_back(step < count ? start + step : end - 1 - (step - (count - 1)));
        }
        break;
    }
    default: // 0 still, 9 finished, any other value never moves
        break;
    }
    return order;
}

// The graphic a tile of the tileset shows, or -1 for a transparent tile:
// graphic g itself, or for an animation's tile the first graphic of the
// block at its current frame, which a cell showing it shows as loaded.
int tileGraphic(const MapModel& model, int64_t tile)
{
    if (tile < model.graphicCount)
        return int(tile);
    const int64_t anim = tile - model.graphicCount;
    if (anim >= int64_t(model.anims.size()))
        return -1;
    return frameGraphic(model, model.anims[size_t(anim)].current);
}

// The Tiled animation of an animation's tile: the first graphics of the
// frames in the order the library shows them, each for delay + 1 ticks of
// 10 ms. Frames that name no graphic are left out.
std::vector<Frame> tileAnimation(const MapModel& model, const TmapAnim& anim)
{
    std::vector<Frame> frames;
    const int duration = (anim.delay + 1) * 10;
    for (int64_t k : playOrder(anim)) {
        const int graphic = frameGraphic(model, k);
        if (graphic >= 0)
            frames.push_back({graphic, duration});
    }
    if (frames.size() < 2)
        frames.clear();
    return frames;
}

ExportedMap describe(const MapModel& model, const std::string& name, const std::string& image, int columns,
                  int rows)
{
    ExportedMap map;
    map.width = model.width;
    map.height = model.height;
    map.tileWidth = model.tileWidth;
    map.tileHeight = model.tileHeight;
    map.properties = exportedMapProperties(model);

    map.tileset.name = name;
    map.tileset.image = image;
    map.tileset.columns = columns;
    map.tileset.rows = rows;
    for (size_t n = 0; n < model.anims.size(); ++n) {
        const TmapAnim& anim = model.anims[n];
        map.tileset.tiles.push_back({model.graphicCount + int(n), tileAnimation(model, anim),
                                     exportedAnimTileProperties(model, n)});
    }

    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        if (!model.layers[layer])
            continue;
        const std::vector<int32_t>& cells = *model.layers[layer];
        TileLayer tileLayer;
        tileLayer.name = layerName(layer);
        tileLayer.gids.reserve(cells.size());
        for (int32_t cell : cells)
            tileLayer.gids.push_back(exportedGid(model, cell));
        tileLayer.properties = exportedLayerProperties(cells);
        map.layers.push_back(std::move(tileLayer));
    }
    return map;
}

// Every tile in one image, row after row of `columns` tiles.
tmapimage::Image tilesetImage(const MapModel& model, int columns, int rows)
{
    tmapimage::Image image;
    image.width = columns * model.tileWidth;
    image.height = rows * model.tileHeight;
    image.rgba.assign(size_t(image.width) * size_t(image.height) * 4, 0);
    const size_t tileRowBytes = size_t(model.tileWidth) * 4;
    const int64_t tiles = int64_t(model.graphicCount) + int64_t(model.anims.size());
    for (int64_t tile = 0; tile < tiles; ++tile) {
        const int graphic = tileGraphic(model, tile);
        if (graphic < 0)
            continue;
        const size_t left = size_t(tile % columns) * size_t(model.tileWidth);
        const size_t top = size_t(tile / columns) * size_t(model.tileHeight);
        const std::vector<uint8_t>& pixels = model.graphics[size_t(graphic)];
        for (int y = 0; y < model.tileHeight; ++y)
            std::copy_n(&pixels[size_t(y) * tileRowBytes], tileRowBytes,
                        &image.rgba[((top + size_t(y)) * size_t(image.width) + left) * 4]);
    }
    return image;
}

// ---- Writing ----

TiledProperties sortedByName(TiledProperties properties)
{
    // Tiled keeps properties sorted by name; so do we, so that a map saved
    // again in Tiled differs from ours as little as possible.
    std::sort(properties.begin(), properties.end(),
              [](const TiledProperty& a, const TiledProperty& b) { return a.name < b.name; });
    return properties;
}

// Our own properties are "int", "bool" or "string", with values we wrote.
nlohmann::json jsonProperties(const TiledProperties& properties)
{
    nlohmann::json list = nlohmann::json::array();
    for (const TiledProperty& p : sortedByName(properties)) {
        nlohmann::json entry = {{"name", p.name}, {"type", p.type}};
        if (p.type == "int")
            entry["value"] = std::stoll(p.value);
        else if (p.type == "bool")
            entry["value"] = p.value == "true";
        else
            entry["value"] = p.value;
        list.push_back(std::move(entry));
    }
    return list;
}

std::string toJson(const ExportedMap& map)
{
    nlohmann::json tiles = nlohmann::json::array();
    for (const TileEntry& tile : map.tileset.tiles) {
        nlohmann::json entry = {{"id", tile.id}};
        if (!tile.animation.empty()) {
            nlohmann::json frames = nlohmann::json::array();
            for (const Frame& frame : tile.animation)
                frames.push_back({{"tileid", frame.tileId}, {"duration", frame.duration}});
            entry["animation"] = std::move(frames);
        }
        if (!tile.properties.empty())
            entry["properties"] = jsonProperties(tile.properties);
        tiles.push_back(std::move(entry));
    }
    nlohmann::json tileset = {
        {"firstgid", 1},
        {"name", map.tileset.name},
        {"image", map.tileset.image},
        {"imagewidth", map.tileset.columns * map.tileWidth},
        {"imageheight", map.tileset.rows * map.tileHeight},
        {"tilewidth", map.tileWidth},
        {"tileheight", map.tileHeight},
        {"columns", map.tileset.columns},
        {"tilecount", int64_t(map.tileset.columns) * map.tileset.rows},
        {"margin", 0},
        {"spacing", 0},
    };
    if (!tiles.empty())
        tileset["tiles"] = std::move(tiles);

    nlohmann::json layers = nlohmann::json::array();
    int id = 0;
    for (const TileLayer& layer : map.layers) {
        layers.push_back({
            {"type", "tilelayer"},
            {"id", ++id},
            {"name", layer.name},
            {"x", 0},
            {"y", 0},
            {"width", map.width},
            {"height", map.height},
            {"opacity", 1},
            {"visible", true},
            {"data", layer.gids},
            {"properties", jsonProperties(layer.properties)},
        });
    }
    nlohmann::json document = {
        {"type", "map"},
        {"version", "1.8"},
        {"orientation", "orthogonal"},
        {"renderorder", "right-down"},
        {"infinite", false},
        {"width", map.width},
        {"height", map.height},
        {"tilewidth", map.tileWidth},
        {"tileheight", map.tileHeight},
        {"nextlayerid", id + 1},
        {"nextobjectid", 1},
        {"properties", jsonProperties(map.properties)},
        {"tilesets", nlohmann::json::array({std::move(tileset)})},
        {"layers", std::move(layers)},
    };
    return document.dump() + "\n";
}

void addXmlProperties(pugi::xml_node parent, const TiledProperties& properties)
{
    pugi::xml_node list = parent.append_child("properties");
    for (const TiledProperty& p : sortedByName(properties)) {
        pugi::xml_node node = list.append_child("property");
        node.append_attribute("name") = p.name.c_str();
        if (p.type != "string")
            node.append_attribute("type") = p.type.c_str();
        // As Tiled writes them: text of several lines as the element's
        // content, since an attribute value would lose its line breaks.
        if (p.value.find('\n') != std::string::npos)
            node.text().set(p.value.c_str());
        else
            node.append_attribute("value") = p.value.c_str();
    }
}

std::string csvCells(const TileLayer& layer, int width)
{
    std::string csv = "\n";
    csv.reserve(layer.gids.size() * 4 + 2);
    for (size_t i = 0; i < layer.gids.size(); ++i) {
        char digits[12];
        csv.append(digits, std::to_chars(digits, digits + sizeof digits, layer.gids[i]).ptr);
        if (i + 1 < layer.gids.size())
            csv += (i + 1) % size_t(width) == 0 ? ",\n" : ",";
    }
    csv += '\n';
    return csv;
}

std::string toTmx(const ExportedMap& map)
{
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = document.append_child("map");
    root.append_attribute("version") = "1.8";
    root.append_attribute("orientation") = "orthogonal";
    root.append_attribute("renderorder") = "right-down";
    root.append_attribute("width") = map.width;
    root.append_attribute("height") = map.height;
    root.append_attribute("tilewidth") = map.tileWidth;
    root.append_attribute("tileheight") = map.tileHeight;
    root.append_attribute("infinite") = 0;
    root.append_attribute("nextlayerid") = int(map.layers.size()) + 1;
    root.append_attribute("nextobjectid") = 1;
    addXmlProperties(root, map.properties);

    pugi::xml_node tileset = root.append_child("tileset");
    tileset.append_attribute("firstgid") = 1;
    tileset.append_attribute("name") = map.tileset.name.c_str();
    tileset.append_attribute("tilewidth") = map.tileWidth;
    tileset.append_attribute("tileheight") = map.tileHeight;
    tileset.append_attribute("tilecount") = static_cast<long long>(int64_t(map.tileset.columns) * map.tileset.rows);
    tileset.append_attribute("columns") = map.tileset.columns;
    pugi::xml_node image = tileset.append_child("image");
    image.append_attribute("source") = map.tileset.image.c_str();
    image.append_attribute("width") = map.tileset.columns * map.tileWidth;
    image.append_attribute("height") = map.tileset.rows * map.tileHeight;
    for (const TileEntry& tile : map.tileset.tiles) {
        pugi::xml_node node = tileset.append_child("tile");
        node.append_attribute("id") = tile.id;
        if (!tile.properties.empty())
            addXmlProperties(node, tile.properties);
        if (!tile.animation.empty()) {
            pugi::xml_node animation = node.append_child("animation");
            for (const Frame& frame : tile.animation) {
                pugi::xml_node f = animation.append_child("frame");
                f.append_attribute("tileid") = frame.tileId;
                f.append_attribute("duration") = frame.duration;
            }
        }
    }

    int id = 0;
    for (const TileLayer& layer : map.layers) {
        pugi::xml_node node = root.append_child("layer");
        node.append_attribute("id") = ++id;
        node.append_attribute("name") = layer.name.c_str();
        node.append_attribute("width") = map.width;
        node.append_attribute("height") = map.height;
        addXmlProperties(node, layer.properties);
        pugi::xml_node data = node.append_child("data");
        data.append_attribute("encoding") = "csv";
        data.text().set(csvCells(layer, map.width).c_str());
    }
    std::ostringstream out;
    document.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

// ---- Files ----

bool isTmx(const std::string& path)
{
    return path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".tmx") == 0;
}

// Largest tileset image written: Tiled reads images into memory whole.
const int64_t largestImageBytes = int64_t(1) << 31;
// Tile ids must stay below the flip bits of a gid.
const int64_t largestTileCount = int64_t(1) << 28;

} // namespace

namespace {

// The chunks of the map file that the library skips (an editor's own, say):
// the model has none of them, so neither has the Tiled map.
std::vector<std::string> skippedChunkNotes(const std::string& inPath)
{
    std::vector<uint8_t> bytes;
    std::string error;
    std::vector<std::string> notes;
    if (!tmapfiles::readWholeFile(inPath, bytes, error))
        return notes; // it loaded a moment ago; nothing to say about it then
    for (const tmapwriter::ChunkEntry& chunk : tmapwriter::listChunks(bytes))
        if (!chunk.known)
            notes.push_back("chunk " + (tagIsPrintable(chunk.tag) ? "\"" + chunk.tag + "\"" : tagText(chunk.tag)) + " ("
                            + std::to_string(chunk.length) + " bytes at offset " + std::to_string(chunk.offset)
                            + ") is left out: the library skips it, so a Tiled map cannot carry it");
    return notes;
}

} // namespace

bool exportTiled(const std::string& inPath, const std::string& outPath, const Options& options, std::string& error)
{
    MapModel model;
    if (!loadMapModel(inPath, model, error))
        return false;
    if (model.tileWidth <= 0 || model.tileHeight <= 0) {
        error = "the map has no tile size (" + std::to_string(model.tileWidth) + " x "
                + std::to_string(model.tileHeight) + " pixels), so Tiled cannot show it";
        return false;
    }

    // One tile per graphic and per animation, in a roughly square image
    // (at least one tile, so that the image is never empty).
    const int64_t tileCount = std::max<int64_t>(1, int64_t(model.graphicCount) + int64_t(model.anims.size()));
    if (tileCount >= largestTileCount) {
        error = "the map has " + std::to_string(tileCount) + " graphics and animations, more than Tiled's tile ids hold";
        return false;
    }
    const double side = std::sqrt(double(tileCount) * model.tileHeight / model.tileWidth);
    const int64_t columns = std::clamp<int64_t>(int64_t(std::ceil(side)), 1, tileCount);
    const int64_t rows = (tileCount + columns - 1) / columns;
    const int64_t imageWidth = columns * model.tileWidth, imageHeight = rows * model.tileHeight;
    if (imageWidth * imageHeight * 4 > largestImageBytes || imageWidth > INT32_MAX || imageHeight > INT32_MAX) {
        error = "the tileset image would be " + std::to_string(imageWidth) + " x " + std::to_string(imageHeight)
                + " pixels, too large to write";
        return false;
    }

    const std::string stem = tmapfiles::stemOf(outPath);
    const std::string imageName = exportedImageName(outPath);
    const std::string imagePath = exportedImagePath(outPath);
    // The map names its image, and Tiled's files are UTF-8 text.
    try {
        (void)nlohmann::json(imageName).dump();
    } catch (const nlohmann::json::exception&) {
        error = "the name of " + outPath + " is not UTF-8 text, which a Tiled map cannot name its image by";
        return false;
    }
    const ExportedMap map = describe(model, stem, imageName, int(columns), int(rows));
    const std::string text = isTmx(outPath) ? toTmx(map) : toJson(map);
    const tmapimage::Image image = tilesetImage(model, int(columns), int(rows));

    // Both files are written in full before either replaces what was there.
    std::string imageTemporary, mapTemporary;
    if (!tmapfiles::createTemporaryBeside(imagePath, imageTemporary, error))
        return false;
    std::string reason;
    if (!tmapimage::writePng(imageTemporary, image, reason)) {
        error = "cannot write " + imagePath + ": " + reason;
        tmapfiles::discardTemporary(imageTemporary);
        return false;
    }
    if (!tmapfiles::createTemporaryBeside(outPath, mapTemporary, error)) {
        tmapfiles::discardTemporary(imageTemporary);
        return false;
    }
    if (!tmapfiles::writeBytes(mapTemporary, text, error)) {
        error = "cannot write " + outPath + ": " + error;
        tmapfiles::discardTemporary(imageTemporary);
        tmapfiles::discardTemporary(mapTemporary);
        return false;
    }
    if (!tmapfiles::replaceWithTemporary(imageTemporary, imagePath, error)) {
        tmapfiles::discardTemporary(mapTemporary);
        return false;
    }
    if (!tmapfiles::replaceWithTemporary(mapTemporary, outPath, error))
        return false;
    for (const std::string& note : skippedChunkNotes(inPath))
        printNote(options, inPath, note);
    return true;
}

std::string exportedImageName(const std::string& mapPath)
{
    return tmapfiles::stemOf(mapPath) + "-tiles.png";
}

std::string exportedImagePath(const std::string& mapPath)
{
    return tmapfiles::joinPath(tmapfiles::folderOf(mapPath), exportedImageName(mapPath));
}

} // namespace tmapconvert
