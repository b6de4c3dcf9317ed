#include "mapbuild.h"

#include "files.h"
#include "inputcheck.h"
#include "tiledform.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <tuple>
#include <unordered_map>

namespace tmapconvert {

namespace {

using tmapwriter::Block;
using tmapwriter::Bytes;

const uint32_t flipHorizontal = gidFlipHorizontal;
const uint32_t flipVertical = gidFlipVertical;
const uint32_t flipDiagonal = gidFlipDiagonal;
const uint32_t flipBits = gidFlipBits; // bit 28 (hexagonal rotation) is cleared too
const uint8_t mirrorS = 0x40, mirrorT = 0x80, stacked = 0x20;
const int largestCellBlock = 1023;    // a stored cell is 32 x block, at most 0x7FE0
const int largestCellAnim = 2048;     // and -16 x (n + 1), at least -0x8000
const size_t largestFrameList = 1u << 20;

// ---- Numbers in properties ----

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
        const std::string what2 = what + " entry " + std::to_string(values.size());
        values.push_back(inRange(parseWhole(text.substr(start, end - start), what2, 0), low, high, what2));
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

// ---- Tiles ----

struct TileRef {
    size_t tileset = 0;
    uint32_t id = 0;
    bool operator<(const TileRef& other) const { return std::tie(tileset, id) < std::tie(other.tileset, other.id); }
};

std::string tileWhere(const TiledTileset& tileset, uint32_t id)
{
    return "tile " + std::to_string(id) + " of " + tileset.where;
}

// The block fields a tile's properties give, before flips.
Block blockFieldsOf(const TiledTileset& tileset, const TiledTile* tile)
{
    Block block;
    if (tile == nullptr)
        return block;
    struct Field {
        const char* name;
        int bits;
    };
    for (const TiledProperty& property : tile->properties) {
        static const Field fields[] = {{"userLong1", 32}, {"userLong2", 32}, {"userShort1", 16}, {"userShort2", 16},
                                       {"userByte1", 8},  {"userByte2", 8},  {"userByte3", 8},   {"flags", 8}};
        for (const Field& field : fields) {
            if (property.name != field.name)
                continue;
            const std::string what = tileWhere(tileset, tile->id) + ": property " + field.name;
            if (property.type != "int" && property.type != "string")
                fail(what + " is a " + property.type + ", not a whole number");
            // A field of n bits takes -2^(n-1) .. 2^n - 1; flags only 0..255.
            const int64_t high = (int64_t(1) << field.bits) - 1;
            const int64_t low = property.name == "flags" ? 0 : -(int64_t(1) << (field.bits - 1));
            const uint64_t value = uint64_t(inRange(parseWhole(property.value, what, 0), low, high, what));
            const std::string name = field.name;
            if (name == "userLong1") block.userLong1 = uint32_t(value);
            else if (name == "userLong2") block.userLong2 = uint32_t(value);
            else if (name == "userShort1") block.userShort1 = uint16_t(value);
            else if (name == "userShort2") block.userShort2 = uint16_t(value);
            else if (name == "userByte1") block.userByte1 = uint8_t(value);
            else if (name == "userByte2") block.userByte2 = uint8_t(value);
            else if (name == "userByte3") block.userByte3 = uint8_t(value);
            else block.flags = uint8_t(value);
        }
    }
    return block;
}

auto blockKey(const Block& b)
{
    return std::make_tuple(b.graphic[0], b.graphic[1], b.graphic[2], b.graphic[3], b.userLong1, b.userLong2,
                           b.userShort1, b.userShort2, b.userByte1, b.userByte2, b.userByte3, b.flags);
}
using BlockKey = decltype(blockKey(Block()));

// What an exported map carried in fmap.* properties.
struct Restored {
    int depth = 32;
    bool littleEndian = true;
    int blockRecordSize = 32;
    int graphicCount = 0;
    Bytes colourMap;
    std::vector<Block> blocks;
    std::vector<tmapwriter::Anim> anims;
    std::vector<int32_t> frames;
};

struct Builder {
    const TiledMap& tiled;
    const ImageSource& images;
    const Options& options;
    tmapwriter::Map& map;
    ImportReport& report;

    Builder(const TiledMap& tiled, const ImageSource& images, const Options& options, tmapwriter::Map& map,
            ImportReport& report)
        : tiled(tiled), images(images), options(options), map(map), report(report)
    {
    }

    std::map<std::string, std::shared_ptr<tmapimage::Image>> imageCache;
    std::map<TileRef, std::string> tilePixels;        // RGBA of each tile read so far
    std::vector<std::string> graphics;                 // RGBA of each graphic
    std::unordered_map<std::string, int> graphicIndex; // first graphic with these pixels
    std::map<BlockKey, int> blockIndex;                 // plain import: one block per key
    std::map<std::pair<TileRef, uint32_t>, int> animIndex;  // (tile, flips) -> animation
    std::unordered_map<uint32_t, int32_t> cellCache;   // gid -> cell value

    bool restoring = false;
    Restored restored;
    MapModel exported; // the restored map as the export saw it, for exportedGid

    int64_t originX = 0, originY = 0;
    uint64_t imagePixels = 0; // of every image read so far
    std::vector<int64_t> tileCounts; // per tileset, -1 until known

    // ---- Tilesets and their images ----

    const tmapimage::Image& image(const TiledTileset& tileset, const std::string& path, const std::string& where)
    {
        if (path.empty())
            fail(where + " has no image");
        const std::string full = tmapfiles::joinPath(tileset.folder, path);
        auto found = imageCache.find(full);
        if (found != imageCache.end())
            return *found->second;
        auto loaded = std::make_shared<tmapimage::Image>();
        std::string error;
        if (!images(full, *loaded, error))
            fail(where + ": image " + path + ": " + error);
        imagePixels += uint64_t(loaded->width) * uint64_t(loaded->height);
        if (imagePixels > options.limits.allImagePixels)
            fail(where + ": image " + path + ": the map's images hold more than "
                 + std::to_string(options.limits.allImagePixels) + " pixels together");
        return *imageCache.emplace(full, loaded).first->second;
    }

    int columnsOf(const TiledTileset& tileset, const tmapimage::Image& sheet) const
    {
        if (tileset.columns > 0)
            return tileset.columns;
        const int64_t room = int64_t(sheet.width) - 2 * tileset.margin + tileset.spacing;
        return room <= 0 ? 0 : int(room / (tileset.tileWidth + tileset.spacing));
    }

    int64_t tileCountOf(size_t index)
    {
        const TiledTileset& tileset = tiled.tilesets[index];
        if (tileCounts[index] >= 0)
            return tileCounts[index];
        int64_t count = tileset.tileCount;
        if (tileset.image.empty()) {
            // Collections count their tiles, but ids may have gaps.
            count = tileset.tiles.empty() ? 0 : int64_t(tileset.tiles.back().id) + 1;
        } else if (count < 0) {
            {
                const tmapimage::Image& sheet = image(tileset, tileset.image, tileset.where);
                const int64_t room = int64_t(sheet.height) - 2 * tileset.margin + tileset.spacing;
                const int64_t rows = room <= 0 ? 0 : room / (tileset.tileHeight + tileset.spacing);
                count = rows * columnsOf(tileset, sheet);
            }
        }
        return tileCounts[index] = count;
    }

    const TiledTile* described(const TiledTileset& tileset, uint32_t id) const
    {
        auto found = std::lower_bound(tileset.tiles.begin(), tileset.tiles.end(), id,
                                      [](const TiledTile& tile, uint32_t value) { return tile.id < value; });
        return found != tileset.tiles.end() && found->id == id ? &*found : nullptr;
    }

    // The tile a gid names (flip bits cleared), or a failure naming where.
    TileRef resolve(uint32_t gid, const std::string& where)
    {
        const uint32_t bare = gid & ~flipBits;
        size_t index = tiled.tilesets.size();
        while (index > 0 && tiled.tilesets[index - 1].firstGid > bare)
            --index;
        if (index == 0)
            fail(where + " shows tile id " + std::to_string(bare) + ", which no tileset holds");
        --index;
        const TiledTileset& tileset = tiled.tilesets[index];
        const uint32_t id = bare - tileset.firstGid;
        if (int64_t(id) >= tileCountOf(index))
            fail(where + " shows tile " + std::to_string(id) + " of " + tileset.where + ", which has only "
                 + std::to_string(tileCountOf(index)) + " tiles");
        return {index, id};
    }

    // RGBA of one tile, the tileset's transparent colour applied.
    const std::string& pixelsOf(TileRef ref)
    {
        auto found = tilePixels.find(ref);
        if (found != tilePixels.end())
            return found->second;
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        const std::string where = tileWhere(tileset, ref.id);
        const TiledTile* tile = described(tileset, ref.id);
        const int w = tiled.tileWidth, h = tiled.tileHeight;
        int64_t x = 0, y = 0, sourceWidth = tileset.tileWidth, sourceHeight = tileset.tileHeight;
        const tmapimage::Image* sheet;
        if (tileset.image.empty()) {
            if (tile == nullptr || tile->image.empty())
                fail(where + " has no image");
            sheet = &image(tileset, tile->image, where);
            x = tile->imageX;
            y = tile->imageY;
            sourceWidth = tile->width >= 0 ? tile->width : sheet->width - x;
            sourceHeight = tile->height >= 0 ? tile->height : sheet->height - y;
        } else {
            sheet = &image(tileset, tileset.image, tileset.where);
            const int columns = columnsOf(tileset, *sheet);
            if (columns <= 0)
                fail(where + ": the tileset's image holds no whole column of tiles");
            x = tileset.margin + int64_t(ref.id % uint32_t(columns)) * (tileset.tileWidth + tileset.spacing);
            y = tileset.margin + int64_t(ref.id / uint32_t(columns)) * (tileset.tileHeight + tileset.spacing);
        }
        if (sourceWidth != w || sourceHeight != h)
            fail(where + " is " + std::to_string(sourceWidth) + " x " + std::to_string(sourceHeight)
                 + " pixels, the map's tiles are " + std::to_string(w) + " x " + std::to_string(h));
        if (x < 0 || y < 0 || x + w > sheet->width || y + h > sheet->height)
            fail(where + " lies outside its image (" + std::to_string(sheet->width) + " x "
                 + std::to_string(sheet->height) + " pixels)");
        std::string rgba(size_t(w) * size_t(h) * 4, '\0');
        for (int row = 0; row < h; ++row)
            std::copy_n(sheet->rgba.begin() + (size_t(y + row) * size_t(sheet->width) + size_t(x)) * 4, size_t(w) * 4,
                        rgba.begin() + size_t(row) * size_t(w) * 4);
        if (tileset.hasTransparentColour)
            for (size_t i = 0; i < rgba.size(); i += 4)
                if (uint8_t(rgba[i]) == tileset.transparentColour[0] && uint8_t(rgba[i + 1]) == tileset.transparentColour[1]
                    && uint8_t(rgba[i + 2]) == tileset.transparentColour[2])
                    rgba[i + 3] = 0;
        return tilePixels.emplace(ref, std::move(rgba)).first->second;
    }

    // The graphic showing a tile under a diagonal flip or not; identical pixels share one graphic.
    int graphicOf(TileRef ref, bool diagonal)
    {
        std::string rgba = pixelsOf(ref);
        if (diagonal) {
            const int size = tiled.tileWidth;
            if (tiled.tileHeight != size)
                fail(tileWhere(tiled.tilesets[ref.tileset], ref.id) + " is flipped diagonally, but tiles are not square");
            std::string swapped(rgba.size(), '\0');
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    std::copy_n(rgba.begin() + (size_t(x) * size_t(size) + size_t(y)) * 4, 4,
                                swapped.begin() + (size_t(y) * size_t(size) + size_t(x)) * 4);
            rgba.swap(swapped);
        }
        return addGraphic(std::move(rgba));
    }

    int addGraphic(std::string rgba)
    {
        auto found = graphicIndex.find(rgba);
        if (found != graphicIndex.end())
            return found->second;
        const int index = int(graphics.size());
        graphicIndex.emplace(rgba, index);
        graphics.push_back(std::move(rgba));
        return index;
    }

    // ---- Blocks ----

    static uint8_t mirrorFlags(uint32_t gid)
    {
        return uint8_t(((gid & flipHorizontal) ? mirrorS : 0) | ((gid & flipVertical) ? mirrorT : 0));
    }

    int blockFor(TileRef ref, uint32_t flips)
    {
        const int graphic = restoredGraphic(ref, flips);
        const uint8_t mirror = mirrorFlags(flips);
        if (restoring) {
            // A repainted cell takes the first plain block that shows the same.
            for (size_t i = 0; i < map.blocks.size(); ++i) {
                const Block& block = map.blocks[i];
                if (block.graphic[0] == graphic && (block.flags & (mirrorS | mirrorT)) == mirror && !(block.flags & stacked))
                    return int(i);
            }
            Block block;
            block.graphic[0] = graphic;
            block.flags = mirror;
            return appendBlock(block);
        }
        Block block = blockFieldsOf(tiled.tilesets[ref.tileset], described(tiled.tilesets[ref.tileset], ref.id));
        block.graphic[0] = graphic;
        // What Tiled shows wins: the mirror bits follow the cell's flips.
        block.flags = uint8_t((block.flags & ~(mirrorS | mirrorT)) | mirror);
        auto found = blockIndex.find(blockKey(block));
        if (found != blockIndex.end())
            return found->second;
        const int index = appendBlock(block);
        blockIndex.emplace(blockKey(block), index);
        return index;
    }

    int appendBlock(const Block& block)
    {
        if (map.blocks.size() >= 65535)
            fail("the map needs more than 65535 blocks");
        map.blocks.push_back(block);
        return int(map.blocks.size() - 1);
    }

    // Exported graphic tiles stand for themselves; any other tile becomes a graphic.
    int restoredGraphic(TileRef ref, uint32_t flips)
    {
        if (restoring && ref.tileset == 0 && tiled.tilesets[0].firstGid == 1
            && ref.id < uint32_t(restored.graphicCount) && !(flips & flipDiagonal))
            return int(ref.id);
        return graphicOf(ref, flips & flipDiagonal);
    }

    // ---- Animations ----

    // A tile with a Tiled animation (under given flips) becomes one loop-forward animation.
    int animationFor(TileRef ref, uint32_t flips)
    {
        const auto key = std::make_pair(ref, flips);
        auto found = animIndex.find(key);
        if (found != animIndex.end())
            return found->second;
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        const TiledTile* tile = described(tileset, ref.id);
        const std::string where = tileWhere(tileset, ref.id);
        // Durations in 10 ms ticks; a frame change comes every delay + 1
        // ticks, so the longest common step is the delay and each frame is
        // repeated for its share.
        std::vector<int64_t> ticks;
        int64_t step = 0;
        for (const TiledFrame& frame : tile->animation) {
            ticks.push_back(std::max<int64_t>(1, (frame.duration + 5) / 10));
            step = std::gcd(step, ticks.back());
        }
        while (step > 256) {
            int64_t divisor = 256;
            while (step % divisor != 0)
                --divisor;
            step = divisor;
        }
        tmapwriter::Anim anim;
        anim.mode = 1;
        anim.delay = uint8_t(step - 1);
        anim.countdown = anim.delay;
        anim.start = anim.current = int32_t(map.frames.size());
        for (size_t k = 0; k < ticks.size(); ++k) {
            const uint32_t frameId = tile->animation[k].tileId;
            if (int64_t(frameId) >= tileCountOf(ref.tileset))
                fail(where + ": animation frame " + std::to_string(k) + " shows tile " + std::to_string(frameId)
                     + ", which the tileset does not have");
            const int block = blockFor({ref.tileset, frameId}, flips);
            const int64_t repeats = ticks[k] / step;
            if (map.frames.size() + size_t(repeats) > largestFrameList)
                fail(where + ": its animation needs more than " + std::to_string(largestFrameList)
                     + " frame-list entries (durations too unequal)");
            map.frames.insert(map.frames.end(), size_t(repeats), block);
        }
        anim.end = int32_t(map.frames.size());
        if (map.anims.size() >= size_t(largestCellAnim))
            fail(where + ": the map needs more than " + std::to_string(largestCellAnim) + " animations");
        map.anims.push_back(anim);
        const int index = int(map.anims.size() - 1);
        animIndex.emplace(key, index);
        return index;
    }

    // ---- Cells ----

    int32_t cellFor(uint32_t gid, const std::string& where)
    {
        if ((gid & ~flipBits) == 0)
            return 0;
        auto found = cellCache.find(gid);
        if (found != cellCache.end())
            return found->second;
        const TileRef ref = resolve(gid, where);
        const uint32_t flips = gid & (flipHorizontal | flipVertical | flipDiagonal);
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        const TiledTile* tile = described(tileset, ref.id);
        int32_t value;
        if (restoring && ref.tileset == 0 && tileset.firstGid == 1 && ref.id >= uint32_t(restored.graphicCount)
            && ref.id < uint32_t(restored.graphicCount) + restored.anims.size()) {
            value = -int32_t(ref.id - uint32_t(restored.graphicCount) + 1);
        } else if (tile != nullptr && !tile->animation.empty()) {
            value = -(animationFor(ref, flips) + 1);
        } else {
            value = blockFor(ref, flips);
            if (value > largestCellBlock)
                fail(where + " needs block " + std::to_string(value) + "; a cell can name blocks 0 to "
                     + std::to_string(largestCellBlock) + " only");
        }
        cellCache.emplace(gid, value);
        return value;
    }

    // ---- The whole map ----

    void readRestored()
    {
        const TiledProperties& properties = tiled.properties;
        restoring = std::any_of(properties.begin(), properties.end(),
                                [](const TiledProperty& p) { return p.name.compare(0, 5, "fmap.") == 0; });
        if (!restoring)
            return;
        const auto required = [&](const char* name) -> const TiledProperty& {
            const TiledProperty* property = findProperty(properties, name);
            if (property == nullptr)
                fail(std::string("map property ") + name + " is missing (the map has other fmap.* properties)");
            return *property;
        };
        const auto text = [&](const char* name) {
            const TiledProperty* property = findProperty(properties, name);
            return property ? property->value : std::string();
        };
        const auto whole = [&](const char* name, int64_t low, int64_t high) {
            const std::string what = std::string("map property ") + name;
            return inRange(parseWhole(required(name).value, what, 0), low, high, what);
        };
        restored.depth = int(whole(propertyDepth, 8, 32));
        if (restored.depth != 8 && restored.depth != 15 && restored.depth != 16 && restored.depth != 24
            && restored.depth != 32)
            fail("map property fmap.depth is " + std::to_string(restored.depth) + ", not 8, 15, 16, 24 or 32");
        const std::string little = required(propertyLittleEndian).value;
        if (little != "true" && little != "false" && little != "1" && little != "0")
            fail("map property fmap.littleEndian is not true or false");
        restored.littleEndian = little == "true" || little == "1";
        restored.blockRecordSize = int(whole(propertyBlockRecordSize, 32, 65535));
        restored.graphicCount = int(whole(propertyGraphicCount, 0, 65535));

        const std::string hex = text(propertyColourMap);
        if (hex.size() % 2 != 0 || hex.size() > 2 * 3 * 65536
            || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            fail("map property fmap.colourMap is not a string of hex digit pairs");
        for (size_t i = 0; i < hex.size(); i += 2)
            restored.colourMap.push_back(uint8_t(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));

        // Graphic offsets and frame entries must stay 32-bit numbers in the file.
        const int64_t graphicBytes = int64_t(tiled.tileWidth) * tiled.tileHeight
                                     * ((depthOut() + 1) / 8);
        const int64_t graphicLimit = graphicBytes > 0 ? INT32_MAX / graphicBytes : INT32_MAX;
        const std::vector<std::string> blockLines = splitLines(text(propertyBlocks));
        if (blockLines.size() > 65535)
            fail("map property fmap.blocks holds more than 65535 blocks");
        for (size_t k = 0; k < blockLines.size(); ++k) {
            const std::string what = "map property fmap.blocks, block " + std::to_string(k);
            const std::vector<int64_t> f = parseList(blockLines[k], -graphicLimit - 1, UINT32_MAX, what);
            if (f.size() != 12)
                fail(what + " has " + std::to_string(f.size()) + " fields, not 12");
            Block block;
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
        for (int64_t entry : parseList(text(propertyFrames), -(int64_t(1) << 26), (int64_t(1) << 26) - 1,
                                       "map property fmap.frames")) {
            if (restored.frames.size() >= largestFrameList)
                fail("map property fmap.frames holds more than " + std::to_string(largestFrameList) + " entries");
            restored.frames.push_back(int32_t(entry));
        }
        const std::vector<std::string> animLines = splitLines(text(propertyAnims));
        if (animLines.size() > largestFrameList)
            fail("map property fmap.anims holds too many animations");
        for (size_t n = 0; n < animLines.size(); ++n) {
            const std::string what = "map property fmap.anims, animation " + std::to_string(n);
            const std::vector<int64_t> f = parseList(animLines[n], INT32_MIN, INT32_MAX, what);
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
        exported.graphicCount = restored.graphicCount;
        for (const Block& b : restored.blocks)
            exported.blocks.push_back({b.graphic[0], b.graphic[1], b.graphic[2], b.graphic[3], b.userLong1, b.userLong2,
                                       b.userShort1, b.userShort2, b.userByte1, b.userByte2, b.userByte3, b.flags});
        for (const tmapwriter::Anim& a : restored.anims)
            exported.anims.push_back({a.mode, a.delay, a.countdown, a.user, a.current, a.start, a.end});
        exported.frames = restored.frames;
        if (tiled.tilesets.empty() || tiled.tilesets[0].firstGid != 1)
            fail("the map has fmap.* properties but no tileset with firstgid 1");
        if (tileCountOf(0) < restored.graphicCount)
            fail("map property fmap.graphicCount is " + std::to_string(restored.graphicCount) + ", but "
                 + tiled.tilesets[0].where + " has only " + std::to_string(tileCountOf(0)) + " tiles");
    }

    int depthOut() const
    {
        if (options.depthGiven || !restoring)
            return options.depth;
        return restored.depth;
    }

    void bounds(int64_t& width, int64_t& height)
    {
        if (!tiled.infinite) {
            width = tiled.width;
            height = tiled.height;
            return;
        }
        int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
        for (const TiledLayer& layer : tiled.layers)
            for (const TiledRegion& region : layer.regions) {
                left = std::min(left, region.x);
                top = std::min(top, region.y);
                right = std::max(right, region.x + region.width);
                bottom = std::max(bottom, region.y + region.height);
            }
        if (left == INT64_MAX)
            fail("the infinite map has no chunks");
        originX = left;
        originY = top;
        width = right - left;
        height = bottom - top;
    }

    // Layers named BODY, LYR1..LYR7 keep their number; the others fill the gaps in draw order.
    std::vector<int> layerNumbers()
    {
        std::vector<int> numbers(tiled.layers.size(), -1);
        bool taken[8] = {};
        for (size_t i = 0; i < tiled.layers.size(); ++i) {
            for (int k = 0; k < 8; ++k) {
                if (tiled.layers[i].name != tmapwriter::layerTag(k))
                    continue;
                if (taken[k])
                    fail("two layers are named " + tmapwriter::layerTag(k));
                taken[k] = true;
                numbers[i] = k;
            }
        }
        int next = 0;
        for (int& number : numbers) {
            if (number >= 0)
                continue;
            while (taken[next])
                ++next;
            taken[next] = true;
            number = next;
        }
        return numbers;
    }

    void fillLayer(const TiledLayer& layer, int number, int64_t width, int64_t height)
    {
        const std::string where = "layer " + inQuotes(layer.name);
        std::vector<int32_t> cells(size_t(width * height), 0);
        std::vector<int32_t> kept;
        if (restoring)
            if (const TiledProperty* property = findProperty(layer.properties, propertyCells)) {
                const std::vector<int64_t> values = parseList(property->value, -largestCellAnim, largestCellBlock,
                                                              where + ": property fmap.cells");
                if (values.size() != cells.size())
                    fail(where + ": property fmap.cells holds " + std::to_string(values.size())
                         + " cells, the layer has " + std::to_string(cells.size()));
                kept.assign(values.begin(), values.end());
            }
        for (const TiledRegion& region : layer.regions) {
            for (int64_t y = 0; y < region.height; ++y)
                for (int64_t x = 0; x < region.width; ++x) {
                    const uint32_t gid = region.gids[size_t(y * region.width + x)];
                    const int64_t mapX = region.x + x - originX, mapY = region.y + y - originY;
                    const size_t at = size_t(mapY * width + mapX);
                    if (!kept.empty() && exportedGid(exported, kept[at]) == gid) {
                        cells[at] = kept[at];
                        continue;
                    }
                    if ((gid & ~flipBits) == 0)
                        continue;
                    cells[at] = cellFor(gid, where + " cell " + std::to_string(region.x + x) + ","
                                                 + std::to_string(region.y + y));
                }
        }
        map.layers[number] = std::move(cells);
    }

    void build()
    {
        if (tiled.orientation != "orthogonal")
            fail("the map is " + tiled.orientation + "; only orthogonal maps can be converted");
        // A tile comes from an image, so no tile is larger than the largest image.
        if (tiled.tileWidth < 1 || tiled.tileHeight < 1
            || uint64_t(tiled.tileWidth) * uint64_t(tiled.tileHeight) > options.limits.imagePixels)
            fail("the map's tile size is " + std::to_string(tiled.tileWidth) + " x " + std::to_string(tiled.tileHeight));
        tileCounts.assign(tiled.tilesets.size(), -1);
        readRestored();
        report.restored = restoring;

        int64_t width = 0, height = 0;
        bounds(width, height);
        if (width < 1 || height < 1 || width > 65535 || height > 65535
            || uint64_t(width) * uint64_t(height) > options.limits.cellsPerLayer)
            fail("the map is " + std::to_string(width) + " x " + std::to_string(height)
                 + " cells; a map file holds 1 to 65535 each way and at most "
                 + std::to_string(options.limits.cellsPerLayer) + " cells");
        report.infinite = tiled.infinite;
        report.originX = originX;
        report.originY = originY;
        report.objectLayers = tiled.objectLayers;
        report.imageLayers = tiled.imageLayers;

        map = tmapwriter::Map();
        map.width = int(width);
        map.height = int(height);
        map.tileWidth = tiled.tileWidth;
        map.tileHeight = tiled.tileHeight;
        map.depth = depthOut();
        map.littleEndian = restoring && !options.bigEndian ? restored.littleEndian : !options.bigEndian;
        map.blockRecordSize = restoring ? restored.blockRecordSize : 32;
        if (restoring) {
            for (int g = 0; g < restored.graphicCount; ++g) {
                std::string rgba = pixelsOf({0, uint32_t(g)});
                graphicIndex.emplace(rgba, g);
                graphics.push_back(std::move(rgba));
            }
            map.blocks = restored.blocks;
            map.anims = restored.anims;
            map.frames = restored.frames;
        } else {
            graphics.emplace_back(size_t(tiled.tileWidth) * size_t(tiled.tileHeight) * 4, '\0');
            graphicIndex.emplace(graphics.back(), 0);
            map.blocks.emplace_back();
            blockIndex.emplace(blockKey(map.blocks.back()), 0);
        }
        const std::vector<int> numbers = layerNumbers();
        for (size_t i = 0; i < tiled.layers.size(); ++i)
            fillLayer(tiled.layers[i], numbers[i], width, height);

        const int64_t graphicBytes = int64_t(tiled.tileWidth) * tiled.tileHeight * ((map.depth + 1) / 8);
        if (graphics.size() > 65535 || int64_t(graphics.size()) * graphicBytes > INT32_MAX)
            fail("the map needs " + std::to_string(graphics.size()) + " graphics of " + std::to_string(graphicBytes)
                 + " bytes; a map file holds at most 65535 and 2 GiB");
        convertGraphics();
    }

    // ---- Pixels at the written depth ----

    void convertGraphics()
    {
        const int depth = map.depth;
        std::map<uint32_t, int> palette;  // depth 8: colour -> index
        Bytes colourMap;
        if (depth == 8) {
            colourMap = restoring ? restored.colourMap : Bytes();
            for (size_t i = 1; i * 3 + 2 < colourMap.size(); ++i)
                palette.emplace(uint32_t(colourMap[i * 3]) << 16 | uint32_t(colourMap[i * 3 + 1]) << 8
                                    | colourMap[i * 3 + 2],
                                int(i));
        }
        size_t nextIndex = std::max<size_t>(1, colourMap.size() / 3);
        map.graphics.clear();
        map.graphics.reserve(graphics.size());
        for (const std::string& rgba : graphics) {
            Bytes stored;
            stored.reserve(rgba.size());
            for (size_t i = 0; i < rgba.size(); i += 4) {
                uint8_t r = uint8_t(rgba[i]), g = uint8_t(rgba[i + 1]), b = uint8_t(rgba[i + 2]);
                const uint8_t a = uint8_t(rgba[i + 3]);
                if (depth == 32) {
                    tmapwriter::put32(stored, a, r, g, b);
                    continue;
                }
                if (depth == 8) {
                    if (a < 128) {
                        tmapwriter::put8(stored, 0);
                        continue;
                    }
                    const uint32_t colour = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
                    auto found = palette.find(colour);
                    if (found == palette.end()) {
                        if (nextIndex > 255)
                            fail("the map uses more than 255 colours; depth 8 holds 255 besides the transparent one");
                        found = palette.emplace(colour, int(nextIndex++)).first;
                    }
                    tmapwriter::put8(stored, uint8_t(found->second));
                    continue;
                }
                if (a >= 128 && isKey(depth, r, g, b)) {
                    // An opaque texel must not read back as transparent: nudge green one step.
                    g = depth == 24 ? 1 : depth == 16 ? 4 : 8;
                    ++report.movedTexels;
                }
                tmapwriter::putPixel(stored, depth, r, g, b, a < 128 ? 0 : 255);
            }
            map.graphics.push_back(std::move(stored));
        }
        if (depth == 8) {
            colourMap.resize(std::max(colourMap.size(), std::max<size_t>(768, nextIndex * 3)), 0);
            for (const auto& [colour, index] : palette) {
                colourMap[size_t(index) * 3] = uint8_t(colour >> 16);
                colourMap[size_t(index) * 3 + 1] = uint8_t(colour >> 8);
                colourMap[size_t(index) * 3 + 2] = uint8_t(colour);
            }
            if (restoring && !options.depthGiven && nextIndex * 3 <= restored.colourMap.size())
                colourMap = restored.colourMap;  // nothing new: the exact bytes come back
            map.colourMap = colourMap;
        }
    }

    static bool isKey(int depth, uint8_t r, uint8_t g, uint8_t b)
    {
        switch (depth) {
        case 24: return r == 255 && g == 0 && b == 255;
        case 16: return r >> 3 == 31 && g >> 2 == 0 && b >> 3 == 31;
        default: return r >> 3 == 31 && g >> 3 == 0 && b >> 3 == 31;
        }
    }
};

} // namespace

bool buildMap(const TiledMap& tiled, const ImageSource& images, const Options& options, tmapwriter::Map& map,
              ImportReport& report, std::string& error)
{
    report = ImportReport();
    Builder builder(tiled, images, options, map, report);
    try {
        builder.build();
        return true;
    } catch (const Failure& failure) {
        error = failure.message;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    map = tmapwriter::Map();
    return false;
}

} // namespace tmapconvert
