#include "fmapproperties.h"

#include <charconv> // std::to_chars for the long number lists
#include <climits>
#include <cstdlib>
#include <sstream>

#include "convert.h"
#include "inputcheck.h"

namespace tmapconvert {

const char propertyDepth[] = "fmap.depth";
const char propertyLittleEndian[] = "fmap.littleEndian";
const char propertyBlockRecordSize[] = "fmap.blockRecordSize";
const char propertyGraphicCount[] = "fmap.graphicCount";
const char propertyColourMap[] = "fmap.colourMap";
const char propertyBlocks[] = "fmap.blocks";
const char propertyAnims[] = "fmap.anims";
const char propertyFrames[] = "fmap.frames";
const char propertyAnim[] = "fmap.anim";
const char propertyMode[] = "fmap.mode";
const char propertyCells[] = "fmap.cells";

namespace {

// ---- Writing ----

TiledProperty integerProperty(const char* name, int64_t value) { return {name, "int", std::to_string(value)}; }

TiledProperty booleanProperty(const char* name, bool value) { return {name, "bool", value ? "true" : "false"}; }

TiledProperty textProperty(const char* name, std::string value) { return {name, "string", std::move(value)}; }

// Appends value and a separator to a long list without a stream per number.
template <typename Number>
void appendNumber(std::string& out, Number value, char separator)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    if (!out.empty())
        out += separator;
    out.append(digits, end);
}

std::string blockLines(const MapModel& model)
{
    std::string lines;
    for (const TmapBlock& b : model.blocks) {
        std::string line;
        for (int64_t field : {int64_t(b.graphic1), int64_t(b.graphic2), int64_t(b.graphic3), int64_t(b.graphic4),
                              int64_t(b.userLong1), int64_t(b.userLong2), int64_t(b.userShort1),
                              int64_t(b.userShort2), int64_t(b.userByte1), int64_t(b.userByte2),
                              int64_t(b.userByte3), int64_t(b.flags)})
            appendNumber(line, field, ' ');
        if (!lines.empty())
            lines += '\n';
        lines += line;
    }
    return lines;
}

std::string animLines(const MapModel& model)
{
    std::string lines;
    for (const TmapAnim& a : model.anims) {
        std::string line;
        for (int32_t field : {a.mode, a.delay, a.countdown, a.user, a.current, a.start, a.end})
            appendNumber(line, field, ' ');
        if (!lines.empty())
            lines += '\n';
        lines += line;
    }
    return lines;
}

std::string numberList(const std::vector<int32_t>& numbers)
{
    std::string list;
    list.reserve(numbers.size() * 4);
    for (int32_t value : numbers)
        appendNumber(list, value, ' ');
    return list;
}

std::string hexBytes(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// ---- Reading ----

// Whitespace-separated whole numbers, each in range.
std::vector<int64_t> parseList(const std::string& text, int64_t low, int64_t high, const std::string& what)
{
    std::vector<int64_t> values;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos)
            break;
        size_t end = text.find_first_of(" \t\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string entry = what + " entry " + std::to_string(values.size());
        values.push_back(inRange(parseWhole(text.substr(start, end - start), entry, 0), low, high, entry));
        i = end;
    }
    return values;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            lines.push_back(line);
    return lines;
}

std::string textOf(const TiledProperties& properties, const char* name)
{
    const TiledProperty* property = findProperty(properties, name);
    return property ? property->value : std::string();
}

const TiledProperty& required(const TiledProperties& properties, const char* name)
{
    const TiledProperty* property = findProperty(properties, name);
    if (property == nullptr)
        fail(std::string("map property ") + name + " is missing (the map has other fmap.* properties)");
    return *property;
}

int64_t requiredWhole(const TiledProperties& properties, const char* name, int64_t low, int64_t high)
{
    const std::string what = std::string("map property ") + name;
    return inRange(parseWhole(required(properties, name).value, what, 0), low, high, what);
}

void readHeader(const TiledProperties& properties, RestoredMap& restored)
{
    restored.depth = int(requiredWhole(properties, propertyDepth, 8, 32));
    if (restored.depth != 8 && restored.depth != 15 && restored.depth != 16 && restored.depth != 24
        && restored.depth != 32)
        fail("map property fmap.depth is " + std::to_string(restored.depth) + ", not 8, 15, 16, 24 or 32");
    const std::string little = required(properties, propertyLittleEndian).value;
    if (little != "true" && little != "false" && little != "1" && little != "0")
        fail("map property fmap.littleEndian is not true or false");
    restored.littleEndian = little == "true" || little == "1";
    restored.blockRecordSize = int(requiredWhole(properties, propertyBlockRecordSize, 32, 65535));
    restored.graphicCount = int(requiredWhole(properties, propertyGraphicCount, 0, 65535));

    const std::string hex = textOf(properties, propertyColourMap);
    if (hex.size() % 2 != 0 || hex.size() > 2 * 3 * 65536
        || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        fail("map property fmap.colourMap is not a string of hex digit pairs");
    for (size_t i = 0; i < hex.size(); i += 2)
        restored.colourMap.push_back(uint8_t(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
}

// graphicLimit: the largest graphic index whose byte offset fits 32 bits.
void readBlocks(const TiledProperties& properties, int64_t graphicLimit, RestoredMap& restored)
{
    const std::vector<std::string> lines = splitLines(textOf(properties, propertyBlocks));
    if (lines.size() > 65535)
        fail("map property fmap.blocks holds more than 65535 blocks");
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string what = "map property fmap.blocks, block " + std::to_string(k);
        const std::vector<int64_t> f = parseList(lines[k], -graphicLimit - 1, UINT32_MAX, what);
        if (f.size() != 12)
            fail(what + " has " + std::to_string(f.size()) + " fields, not 12");
        tmapwriter::Block block;
        for (int g = 0; g < 4; ++g)
            block.graphic[g] = int32_t(inRange(f[size_t(g)], -graphicLimit, graphicLimit, what + " graphic"));
        block.userLong1 = uint32_t(inRange(f[4], 0, UINT32_MAX, what + " userLong1"));
        block.userLong2 = uint32_t(inRange(f[5], 0, UINT32_MAX, what + " userLong2"));
        block.userShort1 = uint16_t(inRange(f[6], 0, 65535, what + " userShort1"));
        block.userShort2 = uint16_t(inRange(f[7], 0, 65535, what + " userShort2"));
        block.userByte1 = uint8_t(inRange(f[8], 0, 255, what + " userByte1"));
        block.userByte2 = uint8_t(inRange(f[9], 0, 255, what + " userByte2"));
        block.userByte3 = uint8_t(inRange(f[10], 0, 255, what + " userByte3"));
        block.flags = uint8_t(inRange(f[11], 0, 255, what + " flags"));
        restored.blocks.push_back(block);
    }
}

void readAnimations(const TiledProperties& properties, RestoredMap& restored)
{
    for (int64_t entry : parseList(textOf(properties, propertyFrames), -(int64_t(1) << 26), (int64_t(1) << 26) - 1,
                                   "map property fmap.frames")) {
        if (restored.frames.size() >= largestFrameList)
            fail("map property fmap.frames holds more than " + std::to_string(largestFrameList) + " entries");
        restored.frames.push_back(int32_t(entry));
    }
    const std::vector<std::string> lines = splitLines(textOf(properties, propertyAnims));
    if (lines.size() > largestFrameList)
        fail("map property fmap.anims holds too many animations");
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string what = "map property fmap.anims, animation " + std::to_string(n);
        const std::vector<int64_t> f = parseList(lines[n], INT32_MIN, INT32_MAX, what);
        if (f.size() != 7)
            fail(what + " has " + std::to_string(f.size()) + " fields, not 7");
        tmapwriter::Anim anim;
        anim.mode = uint8_t(inRange(f[0], 0, 254, what + " mode"));
        anim.delay = uint8_t(inRange(f[1], 0, 255, what + " delay"));
        anim.countdown = uint8_t(inRange(f[2], 0, 255, what + " countdown"));
        anim.user = uint8_t(inRange(f[3], 0, 255, what + " user"));
        // Positions are written as 4 x index - length; keep them 32-bit.
        anim.current = int32_t(inRange(f[4], -(1 << 28), 1 << 28, what + " current"));
        anim.start = int32_t(inRange(f[5], -(1 << 28), 1 << 28, what + " start"));
        anim.end = int32_t(inRange(f[6], -(1 << 28), 1 << 28, what + " end"));
        restored.anims.push_back(anim);
    }
}

// The restored records in the library's form, as the export read them.
MapModel modelOf(const RestoredMap& restored)
{
    MapModel model;
    model.graphicCount = restored.graphicCount;
    for (const tmapwriter::Block& b : restored.blocks)
        model.blocks.push_back({b.graphic[0], b.graphic[1], b.graphic[2], b.graphic[3], b.userLong1, b.userLong2,
                                b.userShort1, b.userShort2, b.userByte1, b.userByte2, b.userByte3, b.flags});
    for (const tmapwriter::Anim& a : restored.anims)
        model.anims.push_back({a.mode, a.delay, a.countdown, a.user, a.current, a.start, a.end});
    model.frames = restored.frames;
    return model;
}

} // namespace

TiledProperties exportedMapProperties(const MapModel& model)
{
    TiledProperties properties = {
        integerProperty(propertyDepth, model.depth),
        booleanProperty(propertyLittleEndian, model.littleEndian),
        integerProperty(propertyBlockRecordSize, model.blockRecordSize),
        integerProperty(propertyGraphicCount, model.graphicCount),
        textProperty(propertyBlocks, blockLines(model)),
        textProperty(propertyAnims, animLines(model)),
        textProperty(propertyFrames, numberList(model.frames)),
    };
    if (model.hasColourMap)
        properties.push_back(textProperty(propertyColourMap, hexBytes(model.colourMap)));
    return properties;
}

TiledProperties exportedAnimTileProperties(const MapModel& model, size_t anim)
{
    return {integerProperty(propertyAnim, int64_t(anim)), integerProperty(propertyMode, model.anims[anim].mode)};
}

TiledProperties exportedLayerProperties(const std::vector<int32_t>& cells)
{
    return {textProperty(propertyCells, numberList(cells))};
}

bool hasExportedProperties(const TiledProperties& mapProperties)
{
    for (const TiledProperty& property : mapProperties)
        if (property.name.compare(0, 5, "fmap.") == 0)
            return true;
    return false;
}

RestoredMap readExportedMap(const TiledProperties& mapProperties, int tileWidth, int tileHeight, int writtenDepth)
{
    RestoredMap restored;
    readHeader(mapProperties, restored);
    // Graphic offsets and frame entries must stay 32-bit numbers in the file.
    const int depth = writtenDepth != 0 ? writtenDepth : restored.depth;
    const int64_t graphicBytes = int64_t(tileWidth) * tileHeight * ((depth + 1) / 8);
    readBlocks(mapProperties, graphicBytes > 0 ? INT32_MAX / graphicBytes : INT32_MAX, restored);
    readAnimations(mapProperties, restored);
    restored.model = modelOf(restored);
    return restored;
}

std::vector<int32_t> readExportedCells(const TiledProperties& layerProperties, size_t cellCount,
                                       const std::string& where)
{
    const TiledProperty* property = findProperty(layerProperties, propertyCells);
    if (property == nullptr)
        return {};
    const std::vector<int64_t> values = parseList(property->value, -tmapwriter::cellAnimationCount,
                                                  tmapwriter::largestCellBlock, where + ": property fmap.cells");
    if (values.size() != cellCount)
        fail(where + ": property fmap.cells holds " + std::to_string(values.size()) + " cells, the layer has "
             + std::to_string(cellCount));
    return std::vector<int32_t>(values.begin(), values.end());
}

} // namespace tmapconvert
