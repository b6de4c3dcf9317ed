// Reads Tiled maps and tilesets, JSON (nlohmann-json) or TMX/TSX (pugixml),
// into the model of tiledmodel.h. Every check is one line that throws a
// Failure with its reason; readTiledMap is the one place that catches.
#include <nlohmann/json.hpp> // json::parse and the typed getters for .tmj/.tsj
#include <pugixml.hpp>       // xml_document::load_buffer and the node walk for .tmx/.tsx

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "files.h"
#include "inputcheck.h"
#include "layerdata.h"
#include "layerlook.h"
#include "tiledmodel.h"

namespace tmapconvert {

namespace {

using nlohmann::json;

// ---- Numbers and colours, shared by both formats ----

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

// A bundle of what both readers need while walking one map.
struct Reader {
    const FileSource& files;
    const ImportLimits& limits;
    TiledMap& map;
    int tileLayersSeen = 0;
};

std::string readNamedFile(Reader& reader, const std::string& path, const std::string& what)
{
    std::string bytes, error;
    if (!reader.files(path, bytes, error))
        fail(what + ": " + error);
    return bytes;
}

bool looksLikeJson(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (text[first] == '{' || text[first] == '[');
}

// ---- JSON ----

// Refuses documents nested deeper than any Tiled file, before the parser builds them.
json parseJson(const std::string& text, const std::string& what)
{
    try {
        json::parser_callback_t guard = [&what](int depth, json::parse_event_t, json&) {
            if (depth > 200)
                fail(what + " nests deeper than 200 levels");
            return true;
        };
        return json::parse(text, guard);
    } catch (const json::exception& e) {
        fail(what + ": JSON error: " + e.what());
    }
}

const json* member(const json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

// A JSON number written with a fraction or exponent that is a whole number
// within 64 bits; the range is checked before any conversion.
bool isWholeDouble(double number)
{
    return number >= -9e15 && number <= 9e15 && number == std::trunc(number);
}

int64_t jsonInteger(const json& object, const char* key, int64_t fallback, int64_t low, int64_t high,
                    const std::string& where)
{
    const json* value = member(object, key);
    if (value == nullptr)
        return fallback;
    const std::string what = where + ": " + key;
    if (value->is_number_unsigned()) {
        const uint64_t number = value->get<uint64_t>();
        if (number > uint64_t(high))
            fail(what + " is " + std::to_string(number) + ", more than " + std::to_string(high));
        return int64_t(number);
    }
    if (value->is_number_integer())
        return inRange(value->get<int64_t>(), low, high, what);
    if (value->is_number_float()) {
        const double number = value->get<double>();
        if (isWholeDouble(number))
            return inRange(int64_t(number), low, high, what);
    }
    fail(what + " is not a whole number");
}

std::string jsonString(const json& object, const char* key, const std::string& fallback, const std::string& where)
{
    const json* value = member(object, key);
    if (value == nullptr)
        return fallback;
    if (!value->is_string())
        fail(where + ": " + key + " is not a string");
    return value->get<std::string>();
}

bool jsonBool(const json& object, const char* key, const std::string& where)
{
    const json* value = member(object, key);
    if (value == nullptr)
        return false;
    if (value->is_boolean())
        return value->get<bool>();
    return jsonInteger(object, key, 0, 0, 1, where) != 0;
}

const json& jsonArray(const json& object, const char* key, const std::string& where)
{
    static const json empty = json::array();
    const json* value = member(object, key);
    if (value == nullptr)
        return empty;
    if (!value->is_array())
        fail(where + ": " + key + " is not a list");
    return *value;
}

TiledProperties jsonProperties(const json& object, const std::string& where)
{
    TiledProperties properties;
    for (const json& entry : jsonArray(object, "properties", where)) {
        TiledProperty property;
        property.name = jsonString(entry, "name", "", where + ": property");
        property.type = jsonString(entry, "type", "string", where + ": property " + inQuotes(property.name));
        const json* value = member(entry, "value");
        if (value == nullptr)
            property.value = "";
        else if (value->is_string())
            property.value = value->get<std::string>();
        else if (value->is_boolean())
            property.value = value->get<bool>() ? "true" : "false";
        else if (value->is_number_integer() || value->is_number_unsigned())
            property.value = value->dump();
        else if (value->is_number_float()) {
            const double number = value->get<double>();
            property.value = isWholeDouble(number) ? std::to_string(int64_t(number)) : value->dump();
        } else
            property.value = value->dump();  // class properties: kept as JSON text
        properties.push_back(property);
    }
    return properties;
}

double jsonNumber(const json& object, const char* key, double fallback, const std::string& where)
{
    const json* value = member(object, key);
    if (value == nullptr)
        return fallback;
    if (!value->is_number() || !std::isfinite(value->get<double>()))
        fail(where + ": " + key + " is not a number");
    return value->get<double>();
}

bool jsonVisible(const json& layer, const std::string& where)
{
    return member(layer, "visible") == nullptr || jsonBool(layer, "visible", where);
}

TiledLayerLook jsonLook(const json& layer, const std::string& name, bool isGroup, const std::string& where)
{
    TiledLayerLook look;
    look.name = name;
    look.isGroup = isGroup;
    look.visible = jsonVisible(layer, where);
    look.opacity = jsonNumber(layer, "opacity", 1, where);
    look.tint = checkedTint(jsonString(layer, "tintcolor", "", where), where);
    look.offsetX = jsonNumber(layer, "offsetx", 0, where);
    look.offsetY = jsonNumber(layer, "offsety", 0, where);
    look.parallaxX = jsonNumber(layer, "parallaxx", 1, where);
    look.parallaxY = jsonNumber(layer, "parallaxy", 1, where);
    return look;
}

void readJsonTilesetBody(const json& object, TiledTileset& tileset)
{
    const std::string& where = tileset.where;
    if (!object.is_object())
        fail(where + " is not a JSON object");
    tileset.tileWidth = int(jsonInteger(object, "tilewidth", 0, 0, largestSize, where));
    tileset.tileHeight = int(jsonInteger(object, "tileheight", 0, 0, largestSize, where));
    tileset.margin = int(jsonInteger(object, "margin", 0, 0, largestSize, where));
    tileset.spacing = int(jsonInteger(object, "spacing", 0, 0, largestSize, where));
    tileset.columns = int(jsonInteger(object, "columns", 0, 0, largestSize, where));
    tileset.tileCount = jsonInteger(object, "tilecount", -1, -1, int64_t(1) << 29, where);
    tileset.image = jsonString(object, "image", "", where);
    const std::string transparent = jsonString(object, "transparentcolor", "", where);
    if (!transparent.empty()) {
        parseColour(transparent, tileset.transparentColour, where + ": transparentcolor");
        tileset.hasTransparentColour = true;
    }
    for (const json& entry : jsonArray(object, "tiles", where)) {
        TiledTile tile;
        tile.id = uint32_t(jsonInteger(entry, "id", -1, 0, (int64_t(1) << 29) - 1, where + ": tile"));
        const std::string tileWhere = where + ": tile " + std::to_string(tile.id);
        tile.image = jsonString(entry, "image", "", tileWhere);
        tile.imageX = int(jsonInteger(entry, "x", 0, 0, largestSize, tileWhere));
        tile.imageY = int(jsonInteger(entry, "y", 0, 0, largestSize, tileWhere));
        tile.width = int(jsonInteger(entry, "width", -1, -1, largestSize, tileWhere));
        tile.height = int(jsonInteger(entry, "height", -1, -1, largestSize, tileWhere));
        for (const json& frame : jsonArray(entry, "animation", tileWhere)) {
            TiledFrame f;
            f.tileId = uint32_t(jsonInteger(frame, "tileid", -1, 0, (int64_t(1) << 29) - 1, tileWhere + ": frame"));
            f.duration = jsonInteger(frame, "duration", 0, 0, int64_t(1) << 31, tileWhere + ": frame");
            tile.animation.push_back(f);
        }
        tile.properties = jsonProperties(entry, tileWhere);
        tileset.tiles.push_back(tile);
    }
}

// ---- TMX ----

std::string xmlText(const pugi::xml_node& node) { return node.text().as_string(); }

std::string xmlAttribute(const pugi::xml_node& node, const char* name, const std::string& fallback = "")
{
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? attribute.value() : fallback;
}

int64_t xmlInteger(const pugi::xml_node& node, const char* name, int64_t fallback, int64_t low, int64_t high,
                   const std::string& where)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return fallback;
    const std::string what = where + ": " + name;
    return inRange(parseWhole(attribute.value(), what), low, high, what);
}

void parseXml(pugi::xml_document& document, const std::string& text, const std::string& what)
{
    // Line breaks in attribute values are kept (multi-line string properties).
    const pugi::xml_parse_result result =
        document.load_buffer(text.data(), text.size(), pugi::parse_default & ~pugi::parse_wconv_attribute);
    if (!result)
        fail(what + ": XML error at byte " + std::to_string(result.offset) + ": " + result.description());
}

TiledProperties xmlProperties(const pugi::xml_node& node)
{
    TiledProperties properties;
    for (const pugi::xml_node& entry : node.child("properties").children("property")) {
        TiledProperty property;
        property.name = xmlAttribute(entry, "name");
        property.type = xmlAttribute(entry, "type", "string");
        // Text with line breaks is stored as the element's content.
        property.value = entry.attribute("value") ? xmlAttribute(entry, "value") : xmlText(entry);
        properties.push_back(property);
    }
    return properties;
}

bool xmlVisible(const pugi::xml_node& layer, const std::string& where)
{
    return xmlInteger(layer, "visible", 1, 0, 1, where) != 0;
}

double xmlNumber(const pugi::xml_node& node, const char* name, double fallback, const std::string& where)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? parseNumber(attribute.value(), where + ": " + name) : fallback;
}

TiledLayerLook xmlLook(const pugi::xml_node& layer, const std::string& name, bool isGroup, const std::string& where)
{
    TiledLayerLook look;
    look.name = name;
    look.isGroup = isGroup;
    look.visible = xmlVisible(layer, where);
    look.opacity = xmlNumber(layer, "opacity", 1, where);
    look.tint = checkedTint(xmlAttribute(layer, "tintcolor"), where);
    look.offsetX = xmlNumber(layer, "offsetx", 0, where);
    look.offsetY = xmlNumber(layer, "offsety", 0, where);
    look.parallaxX = xmlNumber(layer, "parallaxx", 1, where);
    look.parallaxY = xmlNumber(layer, "parallaxy", 1, where);
    return look;
}

void readXmlImage(const pugi::xml_node& image, std::string& path, TiledTileset& tileset, const std::string& where)
{
    path = xmlAttribute(image, "source");
    if (path.empty() && image.child("data"))
        fail(where + ": images embedded in the map are not supported, only image files");
    const std::string trans = xmlAttribute(image, "trans");
    if (!trans.empty()) {
        parseColour(trans, tileset.transparentColour, where + ": trans");
        tileset.hasTransparentColour = true;
    }
}

void readXmlTilesetBody(const pugi::xml_node& node, TiledTileset& tileset)
{
    const std::string& where = tileset.where;
    tileset.tileWidth = int(xmlInteger(node, "tilewidth", 0, 0, largestSize, where));
    tileset.tileHeight = int(xmlInteger(node, "tileheight", 0, 0, largestSize, where));
    tileset.margin = int(xmlInteger(node, "margin", 0, 0, largestSize, where));
    tileset.spacing = int(xmlInteger(node, "spacing", 0, 0, largestSize, where));
    tileset.columns = int(xmlInteger(node, "columns", 0, 0, largestSize, where));
    tileset.tileCount = xmlInteger(node, "tilecount", -1, -1, int64_t(1) << 29, where);
    if (pugi::xml_node image = node.child("image"))
        readXmlImage(image, tileset.image, tileset, where);
    for (const pugi::xml_node& entry : node.children("tile")) {
        TiledTile tile;
        tile.id = uint32_t(xmlInteger(entry, "id", -1, 0, (int64_t(1) << 29) - 1, where + ": tile"));
        if (!entry.attribute("id"))
            fail(where + ": a tile has no id");
        const std::string tileWhere = where + ": tile " + std::to_string(tile.id);
        if (pugi::xml_node image = entry.child("image")) {
            TiledTileset ignored; // a transparent colour belongs to the whole tileset
            readXmlImage(image, tile.image, ignored, tileWhere);
        }
        tile.imageX = int(xmlInteger(entry, "x", 0, 0, largestSize, tileWhere));
        tile.imageY = int(xmlInteger(entry, "y", 0, 0, largestSize, tileWhere));
        tile.width = int(xmlInteger(entry, "width", -1, -1, largestSize, tileWhere));
        tile.height = int(xmlInteger(entry, "height", -1, -1, largestSize, tileWhere));
        for (const pugi::xml_node& frame : entry.child("animation").children("frame")) {
            TiledFrame f;
            f.tileId = uint32_t(xmlInteger(frame, "tileid", 0, 0, (int64_t(1) << 29) - 1, tileWhere + ": frame"));
            f.duration = xmlInteger(frame, "duration", 0, 0, int64_t(1) << 31, tileWhere + ": frame");
            tile.animation.push_back(f);
        }
        tile.properties = xmlProperties(entry);
        tileset.tiles.push_back(tile);
    }
}

// ---- Tilesets, embedded or external, either format ----

void readExternalTileset(Reader& reader, const std::string& folder, const std::string& source, TiledTileset& tileset)
{
    const std::string path = tmapfiles::joinPath(folder, source);
    tileset.where = "tileset " + inQuotes(source);
    const std::string text = readNamedFile(reader, path, tileset.where);
    tileset.folder = tmapfiles::folderOf(path);
    if (looksLikeJson(text)) {
        const json object = parseJson(text, tileset.where);
        tileset.name = jsonString(object, "name", source, tileset.where);
        tileset.where = "tileset " + inQuotes(tileset.name) + " (" + source + ")";
        readJsonTilesetBody(object, tileset);
    } else {
        pugi::xml_document document;
        parseXml(document, text, tileset.where);
        const pugi::xml_node node = document.child("tileset");
        if (!node)
            fail(tileset.where + " is not a tileset file");
        tileset.name = xmlAttribute(node, "name", source);
        tileset.where = "tileset " + inQuotes(tileset.name) + " (" + source + ")";
        readXmlTilesetBody(node, tileset);
    }
}

void addTileset(Reader& reader, TiledTileset& tileset)
{
    checkTileset(tileset);
    reader.map.tilesets.push_back(std::move(tileset));
}

// ---- Layers: a count first, so that no more than eight are decoded ----

int countJsonTileLayers(const json& layers, int depth, const ImportLimits& limits)
{
    if (depth > limits.groupDepth)
        fail("group layers nest deeper than " + std::to_string(limits.groupDepth) + " levels");
    int count = 0;
    if (!layers.is_array())
        return 0;
    for (const json& layer : layers) {
        const std::string type = layer.is_object() ? jsonString(layer, "type", "", "layer") : "";
        // Hidden layers are left out of the map file.
        if (type == "tilelayer" || type == "group")
            if (!jsonVisible(layer, layerWhere(jsonString(layer, "name", "", "layer"))))
                continue;
        if (type == "tilelayer")
            ++count;
        else if (type == "group" && member(layer, "layers"))
            count += countJsonTileLayers(*member(layer, "layers"), depth + 1, limits);
    }
    return count;
}

int countXmlTileLayers(const pugi::xml_node& parent, int depth, const ImportLimits& limits)
{
    if (depth > limits.groupDepth)
        fail("group layers nest deeper than " + std::to_string(limits.groupDepth) + " levels");
    int count = 0;
    for (const pugi::xml_node& child : parent.children()) {
        // Hidden layers are left out of the map file.
        const std::string kind = child.name();
        if ((kind == "layer" || kind == "group") && !xmlVisible(child, layerWhere(xmlAttribute(child, "name"))))
            continue;
        if (std::string(child.name()) == "layer")
            ++count;
        else if (std::string(child.name()) == "group")
            count += countXmlTileLayers(child, depth + 1, limits);
    }
    return count;
}

void checkTileLayerCount(int count)
{
    if (count > 8)
        fail("the map has " + std::to_string(count) + " tile layers; a map file holds at most 8");
}

// One region's gids from JSON data: a list of numbers or an encoded string.
// Adds one chunk of an infinite map's layer, keeping all of the layer's
// chunks together within the cells a layer may have.
void addChunk(TiledLayer& layer, TiledRegion&& region, uint64_t& chunkCells, const ImportLimits& limits,
              const std::string& where)
{
    chunkCells += region.gids.size();
    if (chunkCells > limits.cellsPerLayer)
        fail(where + ": its chunks hold more than the " + std::to_string(limits.cellsPerLayer)
             + " cells a layer may have");
    layer.regions.push_back(std::move(region));
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

void readJsonData(const json& owner, const std::string& encoding, const std::string& compression,
                  TiledRegion& region, const ImportLimits& limits, const std::string& where)
{
    const uint64_t count = regionCells(region.width, region.height, limits, where);
    const json* data = member(owner, "data");
    if (data == nullptr)
        fail(where + " has no data");
    std::string error;
    if (data->is_string()) {
        if (!decodeLayerData(data->get<std::string>(), encoding, compression, count, region.gids, error))
            fail(where + ": " + error);
        return;
    }
    if (!data->is_array())
        fail(where + ": data is neither a list nor a string");
    if (data->size() != count)
        fail(where + ": data holds " + std::to_string(data->size()) + " cells, the layer has "
             + std::to_string(count));
    region.gids.reserve(count);
    for (const json& value : *data) {
        if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<int64_t>() >= 0))
            fail(where + ": data holds a tile id that is not a number from 0 to 4294967295");
        const uint64_t gid = value.get<uint64_t>();
        if (gid > 0xFFFFFFFFu)
            fail(where + ": data holds a tile id above 4294967295");
        region.gids.push_back(uint32_t(gid));
    }
}

void readJsonLayers(Reader& reader, const json& layers, int depth, const std::vector<TiledLayerLook>& groups)
{
    // The count before reading passes over hidden groups; their depth is checked here.
    if (depth > reader.limits.groupDepth)
        fail("group layers nest deeper than " + std::to_string(reader.limits.groupDepth) + " levels");
    for (const json& layer : layers) {
        const std::string type = jsonString(layer, "type", "", "layer");
        const std::string name = jsonString(layer, "name", "", "layer");
        const std::string where = layerWhere(name);
        if (type == "group") {
            std::vector<TiledLayerLook> looks = groups;
            looks.push_back(jsonLook(layer, name, true, where));
            readJsonLayers(reader, jsonArray(layer, "layers", where), depth + 1, looks);
        } else if (type == "objectgroup") {
            ++reader.map.objectLayers;
        } else if (type == "imagelayer") {
            ++reader.map.imageLayers;
        } else if (type == "tilelayer") {
            TiledLayer tileLayer;
            tileLayer.name = name;
            tileLayer.properties = jsonProperties(layer, where);
            tileLayer.looks = groups;
            tileLayer.looks.push_back(jsonLook(layer, name, false, where));
            if (isHidden(tileLayer)) {
                reader.map.layers.push_back(std::move(tileLayer));
                continue;
            }
            const std::string encoding = jsonString(layer, "encoding", "csv", where);
            const std::string compression = jsonString(layer, "compression", "", where);
            if (reader.map.infinite) {
                uint64_t chunkCells = 0;
                for (const json& chunk : jsonArray(layer, "chunks", where)) {
                    TiledRegion region;
                    region.x = jsonInteger(chunk, "x", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
                    region.y = jsonInteger(chunk, "y", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
                    region.width = jsonInteger(chunk, "width", 0, 0, largestCoordinate, where + ": chunk");
                    region.height = jsonInteger(chunk, "height", 0, 0, largestCoordinate, where + ": chunk");
                    readJsonData(chunk, encoding, compression, region, reader.limits, chunkWhere(where, region));
                    addChunk(tileLayer, std::move(region), chunkCells, reader.limits, where);
                }
            } else {
                TiledRegion region;
                region.width = jsonInteger(layer, "width", reader.map.width, 0, largestCoordinate, where);
                region.height = jsonInteger(layer, "height", reader.map.height, 0, largestCoordinate, where);
                requireMapSize(region, reader.map, where);
                readJsonData(layer, encoding, compression, region, reader.limits, where);
                tileLayer.regions.push_back(std::move(region));
            }
            reader.map.layers.push_back(std::move(tileLayer));
        } else {
            fail(where + " has an unknown type " + inQuotes(type));
        }
    }
}

void readJsonMap(Reader& reader, const std::string& text, const std::string& folder)
{
    const json root = parseJson(text, "the map");
    if (!root.is_object())
        fail("the map is not a JSON object");
    TiledMap& map = reader.map;
    const std::string where = "the map";
    if (jsonString(root, "type", "map", where) != "map")
        fail("the file is a " + jsonString(root, "type", "", where) + ", not a map");
    map.orientation = jsonString(root, "orientation", "orthogonal", where);
    map.infinite = jsonBool(root, "infinite", where);
    map.width = jsonInteger(root, "width", 0, 0, largestCoordinate, where);
    map.height = jsonInteger(root, "height", 0, 0, largestCoordinate, where);
    map.tileWidth = int(jsonInteger(root, "tilewidth", 0, 0, largestSize, where));
    map.tileHeight = int(jsonInteger(root, "tileheight", 0, 0, largestSize, where));
    map.properties = jsonProperties(root, where);
    if (map.orientation != "orthogonal")
        return;  // refused by the caller with the orientation named
    for (const json& entry : jsonArray(root, "tilesets", where)) {
        TiledTileset tileset;
        tileset.firstGid = uint32_t(jsonInteger(entry, "firstgid", 0, 1, (int64_t(1) << 28) - 1, "a tileset"));
        const std::string source = jsonString(entry, "source", "", "a tileset");
        if (!source.empty()) {
            readExternalTileset(reader, folder, source, tileset);
        } else {
            tileset.name = jsonString(entry, "name", "", "a tileset");
            tileset.where = "tileset " + inQuotes(tileset.name);
            tileset.folder = folder;
            readJsonTilesetBody(entry, tileset);
        }
        addTileset(reader, tileset);
    }
    const json& layers = jsonArray(root, "layers", where);
    checkTileLayerCount(countJsonTileLayers(layers, 0, reader.limits));
    readJsonLayers(reader, layers, 0, {});
}

void readXmlData(const pugi::xml_node& data, const std::string& encoding, const std::string& compression,
                 TiledRegion& region, const ImportLimits& limits, const std::string& where)
{
    const uint64_t count = regionCells(region.width, region.height, limits, where);
    std::string error;
    if (encoding.empty()) {
        // Tiled's oldest form: one <tile gid="..."/> element per cell.
        region.gids.reserve(count);
        for (const pugi::xml_node& tile : data.children("tile")) {
            if (region.gids.size() == count)
                fail(where + ": data holds more than the layer's " + std::to_string(count) + " cells");
            region.gids.push_back(uint32_t(xmlInteger(tile, "gid", 0, 0, 0xFFFFFFFFll, where + ": tile")));
        }
        if (region.gids.size() != count)
            fail(where + ": data holds " + std::to_string(region.gids.size()) + " cells, the layer has "
                 + std::to_string(count));
        return;
    }
    if (!decodeLayerData(xmlText(data), encoding, compression, count, region.gids, error))
        fail(where + ": " + error);
}

void readXmlLayers(Reader& reader, const pugi::xml_node& parent, int depth, const std::vector<TiledLayerLook>& groups)
{
    // The count before reading passes over hidden groups; their depth is checked here.
    if (depth > reader.limits.groupDepth)
        fail("group layers nest deeper than " + std::to_string(reader.limits.groupDepth) + " levels");
    for (const pugi::xml_node& layer : parent.children()) {
        const std::string kind = layer.name();
        const std::string name = xmlAttribute(layer, "name");
        const std::string where = layerWhere(name);
        if (kind == "group") {
            std::vector<TiledLayerLook> looks = groups;
            looks.push_back(xmlLook(layer, name, true, where));
            readXmlLayers(reader, layer, depth + 1, looks);
        } else if (kind == "objectgroup") {
            ++reader.map.objectLayers;
        } else if (kind == "imagelayer") {
            ++reader.map.imageLayers;
        } else if (kind == "layer") {
            TiledLayer tileLayer;
            tileLayer.name = name;
            tileLayer.properties = xmlProperties(layer);
            tileLayer.looks = groups;
            tileLayer.looks.push_back(xmlLook(layer, name, false, where));
            if (isHidden(tileLayer)) {
                reader.map.layers.push_back(std::move(tileLayer));
                continue;
            }
            const pugi::xml_node data = layer.child("data");
            if (!data)
                fail(where + " has no data");
            const std::string encoding = xmlAttribute(data, "encoding");
            const std::string compression = xmlAttribute(data, "compression");
            if (reader.map.infinite) {
                uint64_t chunkCells = 0;
                for (const pugi::xml_node& chunk : data.children("chunk")) {
                    TiledRegion region;
                    region.x = xmlInteger(chunk, "x", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
                    region.y = xmlInteger(chunk, "y", 0, -largestCoordinate, largestCoordinate, where + ": chunk");
                    region.width = xmlInteger(chunk, "width", 0, 0, largestCoordinate, where + ": chunk");
                    region.height = xmlInteger(chunk, "height", 0, 0, largestCoordinate, where + ": chunk");
                    readXmlData(chunk, encoding, compression, region, reader.limits, chunkWhere(where, region));
                    addChunk(tileLayer, std::move(region), chunkCells, reader.limits, where);
                }
            } else {
                TiledRegion region;
                region.width = xmlInteger(layer, "width", reader.map.width, 0, largestCoordinate, where);
                region.height = xmlInteger(layer, "height", reader.map.height, 0, largestCoordinate, where);
                requireMapSize(region, reader.map, where);
                readXmlData(data, encoding, compression, region, reader.limits, where);
                tileLayer.regions.push_back(std::move(region));
            }
            reader.map.layers.push_back(std::move(tileLayer));
        }
    }
}

void readXmlMap(Reader& reader, const std::string& text, const std::string& folder)
{
    pugi::xml_document document;
    parseXml(document, text, "the map");
    const pugi::xml_node root = document.child("map");
    if (!root)
        fail("the file is not a Tiled map (no <map> element)");
    TiledMap& map = reader.map;
    const std::string where = "the map";
    map.orientation = xmlAttribute(root, "orientation", "orthogonal");
    map.infinite = xmlInteger(root, "infinite", 0, 0, 1, where) != 0;
    map.width = xmlInteger(root, "width", 0, 0, largestCoordinate, where);
    map.height = xmlInteger(root, "height", 0, 0, largestCoordinate, where);
    map.tileWidth = int(xmlInteger(root, "tilewidth", 0, 0, largestSize, where));
    map.tileHeight = int(xmlInteger(root, "tileheight", 0, 0, largestSize, where));
    map.properties = xmlProperties(root);
    if (map.orientation != "orthogonal")
        return;
    for (const pugi::xml_node& node : root.children("tileset")) {
        TiledTileset tileset;
        tileset.firstGid = uint32_t(xmlInteger(node, "firstgid", 0, 1, (int64_t(1) << 28) - 1, "a tileset"));
        const std::string source = xmlAttribute(node, "source");
        if (!source.empty()) {
            readExternalTileset(reader, folder, source, tileset);
        } else {
            tileset.name = xmlAttribute(node, "name");
            tileset.where = "tileset " + inQuotes(tileset.name);
            tileset.folder = folder;
            readXmlTilesetBody(node, tileset);
        }
        addTileset(reader, tileset);
    }
    checkTileLayerCount(countXmlTileLayers(root, 0, reader.limits));
    readXmlLayers(reader, root, 0, {});
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
        if (looksLikeJson(text))
            readJsonMap(reader, text, folder);
        else
            readXmlMap(reader, text, folder);
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
