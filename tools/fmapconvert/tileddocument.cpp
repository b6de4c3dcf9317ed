#include "tileddocument.h"

#include <cmath>

#include "inputcheck.h"
#include "layerdata.h"

namespace tmapconvert {

namespace {

using nlohmann::json;

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

int64_t jsonWhole(const json& value, int64_t low, int64_t high, const std::string& what)
{
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        if (number > uint64_t(high))
            fail(what + " is " + std::to_string(number) + ", more than " + std::to_string(high));
        return int64_t(number);
    }
    if (value.is_number_integer())
        return inRange(value.get<int64_t>(), low, high, what);
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (isWholeDouble(number))
            return inRange(int64_t(number), low, high, what);
    }
    fail(what + " is not a whole number");
}

// The objects of a JSON list; anything else in it is refused.
std::vector<TiledNode> jsonList(const json& object, const char* key, const std::string& where)
{
    std::vector<TiledNode> nodes;
    const json* list = member(object, key);
    if (list == nullptr)
        return nodes;
    if (!list->is_array())
        fail(where + ": " + key + " is not a list");
    for (const json& entry : *list) {
        if (!entry.is_object())
            fail(where + ": " + key + " holds an entry that is not a JSON object");
        nodes.push_back({&entry, {}});
    }
    return nodes;
}

std::string jsonPropertyValue(const json* value)
{
    if (value == nullptr)
        return "";
    if (value->is_string())
        return value->get<std::string>();
    if (value->is_boolean())
        return value->get<bool>() ? "true" : "false";
    if (value->is_number_float()) {
        const double number = value->get<double>();
        return isWholeDouble(number) ? std::to_string(int64_t(number)) : value->dump();
    }
    return value->dump(); // whole numbers, and class properties kept as JSON text
}

void readJsonGids(const json& holder, const std::string& encoding, const std::string& compression, uint64_t count,
                  std::vector<uint32_t>& gids, const std::string& where)
{
    const json* data = member(holder, "data");
    if (data == nullptr)
        fail(where + " has no data");
    std::string error;
    if (data->is_string()) {
        if (!decodeLayerData(data->get<std::string>(), encoding, compression, count, gids, error))
            fail(where + ": " + error);
        return;
    }
    if (!data->is_array())
        fail(where + ": data is neither a list nor a string");
    if (data->size() != count)
        fail(where + ": data holds " + std::to_string(data->size()) + " cells, the layer has " + std::to_string(count));
    gids.reserve(count);
    for (const json& value : *data) {
        if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<int64_t>() >= 0))
            fail(where + ": data holds a tile id that is not a number from 0 to 4294967295");
        const uint64_t gid = value.get<uint64_t>();
        if (gid > 0xFFFFFFFFu)
            fail(where + ": data holds a tile id above 4294967295");
        gids.push_back(uint32_t(gid));
    }
}

// ---- XML ----

void parseXml(pugi::xml_document& document, const std::string& text, const std::string& what)
{
    // Line breaks in attribute values are kept (multi-line string properties).
    const pugi::xml_parse_result result =
        document.load_buffer(text.data(), text.size(), pugi::parse_default & ~pugi::parse_wconv_attribute);
    if (!result)
        fail(what + ": XML error at byte " + std::to_string(result.offset) + ": " + result.description());
}

std::vector<TiledNode> xmlChildren(const pugi::xml_node& parent, const char* name)
{
    std::vector<TiledNode> nodes;
    for (const pugi::xml_node& child : parent.children(name))
        nodes.push_back({nullptr, child});
    return nodes;
}

// Children of a TMX map or group that are not layers.
bool isLayerSetting(const std::string& name)
{
    return name == "properties" || name == "tileset" || name == "editorsettings";
}

void readXmlGids(const pugi::xml_node& holder, const std::string& encoding, const std::string& compression,
                 uint64_t count, std::vector<uint32_t>& gids, const std::string& where)
{
    if (!holder)
        fail(where + " has no data");
    if (!encoding.empty()) {
        std::string error;
        if (!decodeLayerData(holder.text().as_string(), encoding, compression, count, gids, error))
            fail(where + ": " + error);
        return;
    }
    // Tiled's oldest form: one <tile gid="..."/> element per cell.
    gids.reserve(count);
    for (const pugi::xml_node& tile : holder.children("tile")) {
        if (gids.size() == count)
            fail(where + ": data holds more than the layer's " + std::to_string(count) + " cells");
        gids.push_back(uint32_t(readWhole({nullptr, tile}, "gid", 0, 0, 0xFFFFFFFFll, where + ": tile")));
    }
    if (gids.size() != count)
        fail(where + ": data holds " + std::to_string(gids.size()) + " cells, the layer has " + std::to_string(count));
}

} // namespace

TiledNode openDocument(const std::string& text, const char* rootName, const std::string& what,
                       TiledDocument& document)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && (text[first] == '{' || text[first] == '[')) {
        document.json = parseJson(text, what);
        if (!document.json.is_object())
            fail(what + ": not a JSON object");
        const TiledNode root{&document.json, {}};
        const std::string type = readText(root, "type", rootName, what);
        if (type != rootName)
            fail(what + ": not a Tiled " + rootName + " (its type is " + inQuotes(type.substr(0, 40)) + ")");
        return root;
    }
    parseXml(document.xml, text, what);
    const pugi::xml_node root = document.xml.child(rootName);
    if (!root)
        fail(what + ": not a Tiled " + rootName + " (no <" + rootName + "> element)");
    return {nullptr, root};
}

bool hasKey(const TiledNode& node, const char* key)
{
    return node.object != nullptr ? member(*node.object, key) != nullptr : bool(node.element.attribute(key));
}

std::string readText(const TiledNode& node, const char* key, const std::string& fallback, const std::string& where)
{
    if (node.object == nullptr) {
        const pugi::xml_attribute attribute = node.element.attribute(key);
        return attribute ? attribute.value() : fallback;
    }
    const json* value = member(*node.object, key);
    if (value == nullptr)
        return fallback;
    if (!value->is_string())
        fail(where + ": " + key + " is not a string");
    return value->get<std::string>();
}

int64_t readWhole(const TiledNode& node, const char* key, int64_t fallback, int64_t low, int64_t high,
                  const std::string& where)
{
    if (!hasKey(node, key))
        return fallback;
    return readRequiredWhole(node, key, low, high, where);
}

int64_t readRequiredWhole(const TiledNode& node, const char* key, int64_t low, int64_t high,
                          const std::string& where)
{
    const std::string what = where + ": " + key;
    if (!hasKey(node, key))
        fail(where + " has no " + key);
    if (node.object != nullptr)
        return jsonWhole(*member(*node.object, key), low, high, what);
    return inRange(parseWhole(node.element.attribute(key).value(), what), low, high, what);
}

double readNumber(const TiledNode& node, const char* key, double fallback, const std::string& where)
{
    if (!hasKey(node, key))
        return fallback;
    if (node.object == nullptr)
        return parseNumber(node.element.attribute(key).value(), where + ": " + key);
    const json* value = member(*node.object, key);
    if (!value->is_number() || !std::isfinite(value->get<double>()))
        fail(where + ": " + key + " is not a number");
    return value->get<double>();
}

// JSON writes true and false, TMX 1 and 0; either is taken from either.
bool readFlag(const TiledNode& node, const char* key, bool fallback, const std::string& where)
{
    if (!hasKey(node, key))
        return fallback;
    if (node.object != nullptr && member(*node.object, key)->is_boolean())
        return member(*node.object, key)->get<bool>();
    return readRequiredWhole(node, key, 0, 1, where) != 0;
}

TiledProperties readProperties(const TiledNode& node, const std::string& where)
{
    TiledProperties properties;
    if (node.object == nullptr) {
        for (const pugi::xml_node& entry : node.element.child("properties").children("property")) {
            const TiledNode property{nullptr, entry};
            // Text with line breaks is stored as the element's content.
            properties.push_back({readText(property, "name", "", where), readText(property, "type", "string", where),
                                  entry.attribute("value") ? entry.attribute("value").value() : entry.text().as_string()});
        }
        return properties;
    }
    for (const TiledNode& entry : jsonList(*node.object, "properties", where)) {
        TiledProperty property;
        property.name = readText(entry, "name", "", where + ": property");
        property.type = readText(entry, "type", "string", where + ": property " + inQuotes(property.name));
        property.value = jsonPropertyValue(member(*entry.object, "value"));
        properties.push_back(property);
    }
    return properties;
}

std::vector<TiledNode> listOf(const TiledNode& node, TiledList list, const std::string& where)
{
    if (node.object != nullptr) {
        static const char* const keys[] = {"tilesets", "tiles", "animation", "layers", "chunks"};
        return jsonList(*node.object, keys[int(list)], where);
    }
    const pugi::xml_node& element = node.element;
    switch (list) {
    case TiledList::tilesets:
        return xmlChildren(element, "tileset");
    case TiledList::tiles:
        return xmlChildren(element, "tile");
    case TiledList::frames:
        return xmlChildren(element.child("animation"), "frame");
    case TiledList::chunks:
        return xmlChildren(element.child("data"), "chunk");
    case TiledList::layers:
        break;
    }
    std::vector<TiledNode> layers;
    for (const pugi::xml_node& child : element.children())
        if (child.type() == pugi::node_element && !isLayerSetting(child.name()))
            layers.push_back({nullptr, child});
    return layers;
}

std::string layerKind(const TiledNode& layer)
{
    if (layer.object != nullptr)
        return readText(layer, "type", "", "a layer");
    const std::string name = layer.element.name();
    return name == "layer" ? "tilelayer" : name;
}

std::string imageOf(const TiledNode& node, const std::string& where)
{
    if (node.object != nullptr)
        return readText(node, "image", "", where);
    const pugi::xml_node image = node.element.child("image");
    const std::string source = image.attribute("source").value();
    if (source.empty() && image.child("data"))
        fail(where + ": images embedded in the map are not supported, only image files");
    return source;
}

std::string transparentColourOf(const TiledNode& tileset, const std::string& where)
{
    if (tileset.object != nullptr)
        return readText(tileset, "transparentcolor", "", where);
    return readText({nullptr, tileset.element.child("image")}, "trans", "", where);
}

std::string cellEncoding(const TiledNode& layer, const std::string& where)
{
    return layer.object != nullptr ? readText(layer, "encoding", "csv", where)
                                   : readText(layerCells(layer), "encoding", "", where);
}

std::string cellCompression(const TiledNode& layer, const std::string& where)
{
    return readText(layerCells(layer), "compression", "", where);
}

TiledNode layerCells(const TiledNode& layer)
{
    return layer.object != nullptr ? layer : TiledNode{nullptr, layer.element.child("data")};
}

void readGids(const TiledNode& holder, const std::string& encoding, const std::string& compression, uint64_t count,
              std::vector<uint32_t>& gids, const std::string& where)
{
    if (holder.object != nullptr)
        readJsonGids(*holder.object, encoding, compression, count, gids, where);
    else
        readXmlGids(holder.element, encoding, compression, count, gids, where);
}

} // namespace tmapconvert
