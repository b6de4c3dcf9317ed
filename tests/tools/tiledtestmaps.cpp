#include "tiledtestmaps.h"

#include <nlohmann/json.hpp> // the JSON forms of maps and tilesets
#include <zlib.h>            // compress2, deflateInit2 for zlib and gzip data
#include <zstd.h>            // ZSTD_compress for zstd data

#include <cstdio>
#include <stdexcept>

#include "pngfile.h"

namespace tiledtest {

using nlohmann::json;

const char bundleSeparator[] = "\n#file ";

Rgba tilePixel(int tile, int x, int y)
{
    return {uint8_t(tile * 53 + x * 29 + 7), uint8_t(y * 41 + tile * 7), uint8_t(x * y * 13 + tile * 3 + 40), 255};
}

namespace {

std::string pngOf(const tmapimage::Image& image)
{
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!tmapimage::writePngMemory(image, bytes, reason))
        throw std::runtime_error("cannot write a test PNG: " + reason);
    return std::string(bytes.begin(), bytes.end());
}

std::string sheetPng(const Tileset& tileset, int tileWidth, int tileHeight)
{
    tmapimage::Image image;
    image.width = 2 * tileset.margin + tileset.columns * tileWidth + (tileset.columns - 1) * tileset.spacing;
    image.height = 2 * tileset.margin + tileset.rows * tileHeight + (tileset.rows - 1) * tileset.spacing;
    image.rgba.assign(size_t(image.width) * size_t(image.height) * 4, 0);
    for (size_t i = 0; i < image.rgba.size(); i += 4)
        image.rgba[i + 1] = image.rgba[i + 3] = 255; // gaps: opaque green
    for (int row = 0; row < tileset.rows; ++row)
        for (int column = 0; column < tileset.columns; ++column)
            for (int y = 0; y < tileHeight; ++y)
                for (int x = 0; x < tileWidth; ++x) {
                    const int px = tileset.margin + column * (tileWidth + tileset.spacing) + x;
                    const int py = tileset.margin + row * (tileHeight + tileset.spacing) + y;
                    const Rgba colour = tilePixel(tileset.firstTile + row * tileset.columns + column, x, y);
                    std::copy(colour.begin(), colour.end(), image.rgba.begin() + (size_t(py) * size_t(image.width) + size_t(px)) * 4);
                }
    return pngOf(image);
}

std::string base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t word = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) word |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) word |= uint8_t(bytes[i + 2]);
        out += digits[word >> 18 & 63];
        out += digits[word >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[word >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[word & 63] : '=';
    }
    return out;
}

std::string deflated(const std::string& raw, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, uLong(raw.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    stream.avail_in = uInt(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

json jsonProperties(const std::vector<Property>& properties)
{
    json list = json::array();
    for (const Property& p : properties) {
        json value = p.value;
        if (p.type == "int")
            value = std::stoll(p.value);
        else if (p.type == "bool")
            value = p.value == "true";
        list.push_back({{"name", p.name}, {"type", p.type}, {"value", value}});
    }
    return list;
}

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '"') out += "&quot;";
        else if (c == '\n') out += "&#10;";
        else out += c;
    }
    return out;
}

std::string tmxProperties(const std::vector<Property>& properties, const std::string& indent)
{
    if (properties.empty())
        return "";
    std::string out = indent + "<properties>\n";
    for (const Property& p : properties)
        out += indent + " <property name=\"" + escaped(p.name) + "\" type=\"" + p.type + "\" value=\""
               + escaped(p.value) + "\"/>\n";
    return out + indent + "</properties>\n";
}

json jsonTileset(const Tileset& t, const Map& map)
{
    json object = {{"name", t.name}, {"tilewidth", map.tileWidth}, {"tileheight", map.tileHeight}};
    if (!t.image.empty()) {
        object["image"] = t.image;
        object["columns"] = t.columns;
        object["tilecount"] = t.columns * t.rows;
        object["margin"] = t.margin;
        object["spacing"] = t.spacing;
    } else {
        object["columns"] = 0;
        object["tilecount"] = t.tiles.size();
    }
    if (!t.transparent.empty())
        object["transparentcolor"] = t.transparent;
    json tiles = json::array();
    for (const Tile& tile : t.tiles) {
        json entry = {{"id", tile.id}};
        if (!tile.image.empty()) {
            entry["image"] = tile.image;
            entry["imagewidth"] = map.tileWidth;
            entry["imageheight"] = map.tileHeight;
        }
        if (!tile.frames.empty()) {
            entry["animation"] = json::array();
            for (const auto& [id, ms] : tile.frames)
                entry["animation"].push_back({{"tileid", id}, {"duration", ms}});
        }
        if (!tile.properties.empty())
            entry["properties"] = jsonProperties(tile.properties);
        tiles.push_back(entry);
    }
    if (!tiles.empty())
        object["tiles"] = tiles;
    return object;
}

std::string tmxTilesetBody(const Tileset& t, const Map& map, const std::string& indent)
{
    std::string out;
    if (!t.image.empty())
        out += indent + "<image source=\"" + t.image + "\""
               + (t.transparent.empty() ? "" : " trans=\"" + t.transparent.substr(1) + "\"") + "/>\n";
    for (const Tile& tile : t.tiles) {
        out += indent + "<tile id=\"" + std::to_string(tile.id) + "\">\n";
        out += tmxProperties(tile.properties, indent + " ");
        if (!tile.image.empty())
            out += indent + " <image source=\"" + tile.image + "\" width=\"" + std::to_string(map.tileWidth)
                   + "\" height=\"" + std::to_string(map.tileHeight) + "\"/>\n";
        if (!tile.frames.empty()) {
            out += indent + " <animation>\n";
            for (const auto& [id, ms] : tile.frames)
                out += indent + "  <frame tileid=\"" + std::to_string(id) + "\" duration=\"" + std::to_string(ms) + "\"/>\n";
            out += indent + " </animation>\n";
        }
        out += indent + "</tile>\n";
    }
    return out;
}

std::string tmxTilesetAttributes(const Tileset& t, const Map& map)
{
    std::string out = "name=\"" + t.name + "\" tilewidth=\"" + std::to_string(map.tileWidth) + "\" tileheight=\""
                      + std::to_string(map.tileHeight) + "\"";
    if (!t.image.empty())
        out += " spacing=\"" + std::to_string(t.spacing) + "\" margin=\"" + std::to_string(t.margin)
               + "\" tilecount=\"" + std::to_string(t.columns * t.rows) + "\" columns=\"" + std::to_string(t.columns) + "\"";
    else
        out += " tilecount=\"" + std::to_string(t.tiles.size()) + "\" columns=\"0\"";
    return out;
}

// A tileset file in the format its extension names (.tsj JSON, else TSX).
std::string externalTileset(const Tileset& t, const Map& map)
{
    if (t.file.size() > 4 && t.file.compare(t.file.size() - 4, 4, ".tsj") == 0)
        return jsonTileset(t, map).dump(1);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tileset version=\"1.10\" " + tmxTilesetAttributes(t, map)
           + ">\n" + tmxTilesetBody(t, map, " ") + "</tileset>\n";
}

std::string tmxData(const std::vector<uint32_t>& gids, const Map& map, const std::string& indent)
{
    if (map.encoding == "xml") {
        std::string out;
        for (uint32_t gid : gids)
            out += indent + "<tile gid=\"" + std::to_string(gid) + "\"/>\n";
        return out;
    }
    return indent + encodeGids(gids, map.encoding, map.compression) + "\n";
}

std::string writeTmx(const Map& map, Files& files)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"" + map.orientation
                      + "\" renderorder=\"right-down\" width=\"" + std::to_string(map.width) + "\" height=\""
                      + std::to_string(map.height) + "\" tilewidth=\"" + std::to_string(map.tileWidth)
                      + "\" tileheight=\"" + std::to_string(map.tileHeight) + "\" infinite=\""
                      + (map.infinite ? "1" : "0") + "\">\n";
    out += tmxProperties(map.properties, " ");
    for (const Tileset& t : map.tilesets) {
        if (t.file.empty()) {
            out += " <tileset firstgid=\"" + std::to_string(t.firstGid) + "\" " + tmxTilesetAttributes(t, map) + ">\n"
                   + tmxTilesetBody(t, map, "  ") + " </tileset>\n";
        } else {
            out += " <tileset firstgid=\"" + std::to_string(t.firstGid) + "\" source=\"" + t.file + "\"/>\n";
            files[t.file] = externalTileset(t, map);
        }
    }
    const std::string dataAttributes = map.encoding == "xml" ? ""
                                       : " encoding=\"" + map.encoding + "\""
                                             + (map.compression.empty() ? "" : " compression=\"" + map.compression + "\"");
    for (const Layer& layer : map.layers) {
        std::string indent = layer.inGroup ? "  " : " ";
        if (layer.inGroup)
            out += " <group name=\"group of " + layer.name + "\">\n";
        out += indent + "<layer name=\"" + escaped(layer.name) + "\" width=\"" + std::to_string(map.width)
               + "\" height=\"" + std::to_string(map.height) + "\">\n";
        out += tmxProperties(layer.properties, indent + " ");
        out += indent + " <data" + dataAttributes + ">\n";
        if (map.infinite) {
            for (const Chunk& chunk : layer.chunks)
                out += indent + "  <chunk x=\"" + std::to_string(chunk.x) + "\" y=\"" + std::to_string(chunk.y)
                       + "\" width=\"" + std::to_string(chunk.width) + "\" height=\"" + std::to_string(chunk.height)
                       + "\">\n" + tmxData(chunk.gids, map, indent + "   ") + indent + "  </chunk>\n";
        } else {
            out += tmxData(layer.gids, map, indent + "  ");
        }
        out += indent + " </data>\n" + indent + "</layer>\n";
        if (layer.inGroup)
            out += " </group>\n";
    }
    for (int i = 0; i < map.objectLayers; ++i)
        out += " <objectgroup name=\"objects\"><object id=\"1\" x=\"1\" y=\"1\"/></objectgroup>\n";
    for (int i = 0; i < map.imageLayers; ++i)
        out += " <imagelayer name=\"picture\"/>\n";
    return out + "</map>\n";
}

std::string writeJson(const Map& map, Files& files)
{
    json root = {{"type", "map"},          {"version", "1.10"},       {"orientation", map.orientation},
                 {"renderorder", "right-down"}, {"width", map.width}, {"height", map.height},
                 {"tilewidth", map.tileWidth}, {"tileheight", map.tileHeight}, {"infinite", map.infinite}};
    if (!map.properties.empty())
        root["properties"] = jsonProperties(map.properties);
    json tilesets = json::array();
    for (const Tileset& t : map.tilesets) {
        if (t.file.empty()) {
            json object = jsonTileset(t, map);
            object["firstgid"] = t.firstGid;
            tilesets.push_back(object);
        } else {
            tilesets.push_back({{"firstgid", t.firstGid}, {"source", t.file}});
            files[t.file] = externalTileset(t, map);
        }
    }
    root["tilesets"] = tilesets;
    const auto data = [&](const std::vector<uint32_t>& gids) {
        return map.encoding == "csv" || map.encoding == "xml" ? json(gids) : json(encodeGids(gids, map.encoding, map.compression));
    };
    json layers = json::array();
    for (const Layer& layer : map.layers) {
        json object = {{"type", "tilelayer"}, {"name", layer.name}, {"x", 0}, {"y", 0},
                       {"width", map.width}, {"height", map.height}, {"opacity", 1}, {"visible", true}};
        if (map.encoding == "base64") {
            object["encoding"] = "base64";
            object["compression"] = map.compression;
        }
        if (map.infinite) {
            object["chunks"] = json::array();
            for (const Chunk& chunk : layer.chunks)
                object["chunks"].push_back({{"x", chunk.x}, {"y", chunk.y}, {"width", chunk.width},
                                            {"height", chunk.height}, {"data", data(chunk.gids)}});
        } else {
            object["data"] = data(layer.gids);
        }
        if (!layer.properties.empty())
            object["properties"] = jsonProperties(layer.properties);
        if (layer.inGroup)
            object = {{"type", "group"}, {"name", "group of " + layer.name}, {"layers", json::array({object})}};
        layers.push_back(object);
    }
    for (int i = 0; i < map.objectLayers; ++i)
        layers.push_back({{"type", "objectgroup"}, {"name", "objects"}, {"objects", json::array()}});
    for (int i = 0; i < map.imageLayers; ++i)
        layers.push_back({{"type", "imagelayer"}, {"name", "picture"}, {"image", ""}});
    root["layers"] = layers;
    return root.dump(1);
}

} // namespace

std::string tilePng(int tile, int width, int height)
{
    tmapimage::Image image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba colour = tilePixel(tile, x, y);
            image.rgba.insert(image.rgba.end(), colour.begin(), colour.end());
        }
    return pngOf(image);
}

std::string encodeGids(const std::vector<uint32_t>& gids, const std::string& encoding, const std::string& compression)
{
    if (encoding == "csv") {
        std::string out;
        for (size_t i = 0; i < gids.size(); ++i)
            out += (i ? "," : "") + std::to_string(gids[i]);
        return out;
    }
    std::string raw;
    for (uint32_t gid : gids)
        for (int shift = 0; shift < 32; shift += 8)
            raw += char(gid >> shift);
    if (compression == "zlib")
        raw = deflated(raw, 15);
    else if (compression == "gzip")
        raw = deflated(raw, 31);
    else if (compression == "zstd") {
        std::string packed(ZSTD_compressBound(raw.size()), '\0');
        packed.resize(ZSTD_compress(&packed[0], packed.size(), raw.data(), raw.size(), 3));
        raw = packed;
    }
    return base64(raw);
}

Files writeMap(const Map& map, const std::string& name)
{
    Files files;
    const bool asJson = name.size() > 4 && name.compare(name.size() - 4, 4, ".tmx") != 0;
    files[name] = asJson ? writeJson(map, files) : writeTmx(map, files);
    for (const Tileset& t : map.tilesets) {
        if (!t.image.empty())
            files[t.image] = sheetPng(t, map.tileWidth, map.tileHeight);
        for (const Tile& tile : t.tiles)
            if (!tile.image.empty())
                files[tile.image] = tilePng(t.firstTile + int(tile.id), map.tileWidth, map.tileHeight);
    }
    return files;
}

Map flipMap()
{
    Map map;
    map.width = 8;
    map.height = 1;
    Layer layer{"BODY", {}, {}, {}, false};
    for (uint32_t i = 0; i < 8; ++i)
        layer.gids.push_back(2 | ((i & 1) ? flipH : 0) | ((i & 2) ? flipV : 0) | ((i & 4) ? flipD : 0));
    map.layers.push_back(layer);
    return map;
}

Map animationMap()
{
    Map map;
    map.width = 3;
    map.height = 1;
    Tile tile;
    tile.id = 0;
    tile.frames = {{1, 100}, {2, 300}, {3, 50}};
    map.tilesets[0].tiles.push_back(tile);
    map.layers.push_back({"BODY", {1, 2 | flipH, 1 | flipV}, {}, {}, false});
    return map;
}

Map infiniteMap()
{
    Map map;
    map.infinite = true;
    Layer layer{"ground", {}, {}, {}, false};
    for (int c = 0; c < 2; ++c) {
        Chunk chunk{c == 0 ? -16 : 16, c == 0 ? -16 : 0, 16, 16, std::vector<uint32_t>(256, 0)};
        chunk.gids[0] = 1;
        chunk.gids[17] = 3 | flipV;
        chunk.gids[255] = 8;
        layer.chunks.push_back(chunk);
    }
    map.layers.push_back(layer);
    return map;
}

Map severalTilesetsMap()
{
    Map map;
    map.width = 3;
    map.height = 2;
    Tileset& a = map.tilesets[0];
    a.name = "sheet";
    a.image = "sheet.png";
    a.margin = 1;
    a.spacing = 2;
    Tileset b;
    b.firstGid = 9;
    b.name = "keyed";
    b.file = "keyed.tsx";
    b.image = "keyed.png";
    b.firstTile = 8;
    const Rgba key = tilePixel(9, 1, 1);
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", key[0], key[1], key[2]);
    b.transparent = hex;
    Tileset c;
    c.firstGid = 20;
    c.name = "pictures";
    c.file = "pictures.tsj";
    c.firstTile = 20;
    c.image = "";
    for (uint32_t id : {0u, 3u}) {
        Tile tile;
        tile.id = id;
        tile.image = "picture" + std::to_string(id) + ".png";
        c.tiles.push_back(tile);
    }
    map.tilesets = {a, b, c};
    map.layers.push_back({"LYR2", {1, 2, 3, 4, 5, 6}, {}, {}, false});
    map.layers.push_back({"upper", {0, 10, 0, 9 | flipH, 0, 16}, {}, {}, true});
    map.layers.push_back({"top", {20, 0, 23, 0, 23 | flipV, 0}, {}, {}, false});
    map.objectLayers = 1;
    map.imageLayers = 1;
    return map;
}

Map propertiesMap()
{
    Map map;
    map.width = 2;
    map.height = 1;
    Tile tile;
    tile.id = 1;
    tile.properties = {{"userLong1", "int", "4000000000"}, {"userLong2", "int", "-2"}, {"userShort1", "int", "-1"},
                       {"userShort2", "string", "0x1234"}, {"userByte1", "int", "200"}, {"userByte2", "int", "-128"},
                       {"userByte3", "int", "7"},          {"flags", "int", "33"},     {"note", "string", "kept out"}};
    map.tilesets[0].tiles.push_back(tile);
    map.layers.push_back({"BODY", {2, 2 | flipH}, {}, {}, false});
    return map;
}

std::vector<std::pair<std::string, Files>> seedMaps()
{
    std::vector<std::pair<std::string, Map>> maps = {{"flips", flipMap()},
                                                     {"animation", animationMap()},
                                                     {"infinite", infiniteMap()},
                                                     {"tilesets", severalTilesetsMap()},
                                                     {"properties", propertiesMap()}};
    static const char* const encodings[][2] = {{"csv", ""}, {"base64", ""}, {"base64", "zlib"},
                                               {"base64", "gzip"}, {"base64", "zstd"}};
    std::vector<std::pair<std::string, Files>> seeds;
    for (auto& [name, map] : maps)
        for (const auto& encoding : encodings)
            for (const char* extension : {".tmj", ".tmx"}) {
                map.encoding = encoding[0];
                map.compression = encoding[1];
                const std::string file = "map" + std::string(extension);
                seeds.emplace_back(name + "-" + encoding[0] + encoding[1] + extension, writeMap(map, file));
            }
    return seeds;
}

std::string bundle(const Files& files, const std::string& mapName)
{
    std::string out = files.at(mapName);
    for (const auto& [name, bytes] : files)
        if (name != mapName)
            out += bundleSeparator + name + "\n" + bytes;
    return out;
}

} // namespace tiledtest
