#include "mapbuild.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "blockset.h"
#include "fmapproperties.h"
#include "inputcheck.h"
#include "layerlook.h"
#include "pixels.h"
#include "tiledform.h"
#include "tilvogl/tilvogl.h"

namespace tmapconvert {

namespace {

using tmapwriter::Block;

// The block's mirror flags for Tiled's flips of a cell.
uint8_t mirrorFlags(uint32_t gid)
{
    return uint8_t(((gid & gidFlipHorizontal) ? TMAP_FLAG_MIRROR_S : 0)
                   | ((gid & gidFlipVertical) ? TMAP_FLAG_MIRROR_T : 0));
}

struct Builder {
    const TiledMap& tiled;
    const Options& options;
    tmapwriter::Map& map;
    ImportReport& report;
    TileSheets sheets;
    GraphicSet graphics;
    BlockSet blocks;
    std::unordered_map<uint32_t, int32_t> cellCache; // gid -> cell value

    bool restoring = false;
    RestoredMap restored;

    int64_t originX = 0, originY = 0;

    Builder(const TiledMap& tiled, const ImageSource& images, const Options& options, tmapwriter::Map& map,
            ImportReport& report)
        : tiled(tiled), options(options), map(map), report(report), sheets(tiled, images, options.limits),
          blocks(map)
    {
    }

    // ---- Graphics and blocks ----

    // The graphic showing a tile under a diagonal flip or not.
    int graphicOf(TileRef ref, bool diagonal)
    {
        const std::string& rgba = sheets.pixels(ref);
        if (!diagonal)
            return graphics.add(rgba);
        if (tiled.tileHeight != tiled.tileWidth)
            fail(tileWhere(tiled.tilesets[ref.tileset], ref.id) + " is flipped diagonally, but tiles are not square");
        return graphics.add(transposed(rgba, tiled.tileWidth));
    }

    // Exported graphic tiles stand for themselves; any other tile becomes a graphic.
    int restoredGraphic(TileRef ref, uint32_t flips)
    {
        if (restoring && ref.tileset == 0 && tiled.tilesets[0].firstGid == 1
            && ref.id < uint32_t(restored.graphicCount) && !(flips & gidFlipDiagonal))
            return int(ref.id);
        return graphicOf(ref, flips & gidFlipDiagonal);
    }

    int blockFor(TileRef ref, uint32_t flips)
    {
        const int graphic = restoredGraphic(ref, flips);
        const uint8_t mirror = mirrorFlags(flips);
        // A repainted cell of an exported map takes the first plain block that shows the same.
        if (restoring)
            return blocks.plainBlock(graphic, mirror);
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        Block block = blockFieldsOf(tileset, describedTile(tileset, ref.id));
        block.graphic[0] = graphic;
        // What Tiled shows wins: the mirror bits follow the cell's flips.
        block.flags = uint8_t((block.flags & ~(TMAP_FLAG_MIRROR_S | TMAP_FLAG_MIRROR_T)) | mirror);
        return blocks.block(block);
    }

    // A tile with a Tiled animation (under given flips) becomes one loop-forward animation.
    int animationFor(TileRef ref, uint32_t flips)
    {
        const int made = blocks.findAnimation(ref, flips);
        if (made >= 0)
            return made;
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        const std::string where = tileWhere(tileset, ref.id);
        std::vector<AnimationFrame> frames;
        const std::vector<TiledFrame>& animation = describedTile(tileset, ref.id)->animation;
        for (size_t k = 0; k < animation.size(); ++k) {
            if (int64_t(animation[k].tileId) >= sheets.tileCount(ref.tileset))
                fail(where + ": animation frame " + std::to_string(k) + " shows tile "
                     + std::to_string(animation[k].tileId) + ", which the tileset does not have");
            frames.push_back({blockFor({ref.tileset, animation[k].tileId}, flips), animation[k].duration});
        }
        return blocks.addAnimation(ref, flips, frames, where);
    }

    // ---- Cells ----

    int32_t cellFor(uint32_t gid, const std::string& where)
    {
        if ((gid & ~gidFlipBits) == 0)
            return 0;
        auto found = cellCache.find(gid);
        if (found != cellCache.end())
            return found->second;
        const TileRef ref = sheets.resolve(gid, where);
        const uint32_t flips = gid & (gidFlipHorizontal | gidFlipVertical | gidFlipDiagonal);
        const TiledTileset& tileset = tiled.tilesets[ref.tileset];
        const TiledTile* tile = describedTile(tileset, ref.id);
        int32_t value;
        if (restoring && ref.tileset == 0 && tileset.firstGid == 1 && ref.id >= uint32_t(restored.graphicCount)
            && ref.id < uint32_t(restored.graphicCount) + restored.anims.size()) {
            value = -int32_t(ref.id - uint32_t(restored.graphicCount) + 1);
        } else if (tile != nullptr && !tile->animation.empty()) {
            value = -(animationFor(ref, flips) + 1);
        } else {
            value = blockFor(ref, flips);
            if (value > tmapwriter::largestCellBlock)
                fail(where + " needs block " + std::to_string(value) + "; a cell can name blocks 0 to "
                     + std::to_string(tmapwriter::largestCellBlock) + " only");
        }
        cellCache.emplace(gid, value);
        return value;
    }

    void fillLayer(const TiledLayer& layer, int number, int64_t width, int64_t height)
    {
        const std::string where = "layer " + inQuotes(layer.name);
        std::vector<int32_t> cells(size_t(width * height), 0);
        const std::vector<int32_t> kept =
            restoring ? readExportedCells(layer.properties, cells.size(), where) : std::vector<int32_t>();
        for (const TiledRegion& region : layer.regions) {
            for (int64_t y = 0; y < region.height; ++y)
                for (int64_t x = 0; x < region.width; ++x) {
                    const uint32_t gid = region.gids[size_t(y * region.width + x)];
                    const int64_t mapX = region.x + x - originX, mapY = region.y + y - originY;
                    const size_t at = size_t(mapY * width + mapX);
                    // A cell as exported keeps its exact value.
                    if (!kept.empty() && exportedGid(restored.model, kept[at]) == gid) {
                        cells[at] = kept[at];
                        continue;
                    }
                    if ((gid & ~gidFlipBits) == 0)
                        continue;
                    cells[at] = cellFor(gid, where + " cell " + std::to_string(region.x + x) + ","
                                                 + std::to_string(region.y + y));
                }
        }
        map.layers[number] = std::move(cells);
    }

    // ---- The whole map ----

    void readRestored()
    {
        restoring = hasExportedProperties(tiled.properties);
        report.restored = restoring;
        if (!restoring)
            return;
        restored = readExportedMap(tiled.properties, tiled.tileWidth, tiled.tileHeight,
                                   options.depthGiven ? options.depth : 0);
        if (tiled.tilesets.empty() || tiled.tilesets[0].firstGid != 1)
            fail("the map has fmap.* properties but no tileset with firstgid 1");
        if (sheets.tileCount(0) < restored.graphicCount)
            fail("map property fmap.graphicCount is " + std::to_string(restored.graphicCount) + ", but "
                 + tiled.tilesets[0].where + " has only " + std::to_string(sheets.tileCount(0)) + " tiles");
    }

    // The map's size in cells; an infinite map is bounded by its chunks.
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

    // Layers named BODY, LYR1..LYR7 keep their number; the others fill the
    // gaps in draw order. Hidden layers have none (-1): they are left out.
    std::vector<int> layerNumbers()
    {
        std::vector<int> numbers(tiled.layers.size(), -1);
        bool taken[8] = {};
        for (size_t i = 0; i < tiled.layers.size(); ++i) {
            for (int k = 0; k < 8; ++k) {
                if (isHidden(tiled.layers[i]) || tiled.layers[i].name != tmapwriter::layerTag(k))
                    continue;
                if (taken[k])
                    fail("two layers are named " + tmapwriter::layerTag(k));
                taken[k] = true;
                numbers[i] = k;
            }
        }
        int next = 0;
        for (size_t i = 0; i < numbers.size(); ++i) {
            if (numbers[i] >= 0 || isHidden(tiled.layers[i]))
                continue;
            while (taken[next])
                ++next;
            taken[next] = true;
            numbers[i] = next;
        }
        return numbers;
    }

    // The header and the records the map starts from: an exported map's,
    // or the empty graphic 0 and the empty block 0.
    void startMap(int64_t width, int64_t height)
    {
        map = tmapwriter::Map();
        map.width = int(width);
        map.height = int(height);
        map.tileWidth = tiled.tileWidth;
        map.tileHeight = tiled.tileHeight;
        map.depth = options.depthGiven || !restoring ? options.depth : restored.depth;
        map.littleEndian = restoring && !options.bigEndian ? restored.littleEndian : !options.bigEndian;
        map.blockRecordSize = restoring ? restored.blockRecordSize : 32;
        if (restoring) {
            for (int g = 0; g < restored.graphicCount; ++g)
                graphics.append(sheets.pixels({0, uint32_t(g)}));
            map.blocks = restored.blocks;
            map.anims = restored.anims;
            map.frames = restored.frames;
        } else {
            graphics.append(std::string(size_t(tiled.tileWidth) * size_t(tiled.tileHeight) * 4, '\0'));
            blocks.block(Block());
        }
    }

    void build()
    {
        if (tiled.orientation != "orthogonal")
            fail("the map is " + tiled.orientation + "; only orthogonal maps can be converted");
        // A tile comes from an image, so no tile is larger than the largest image.
        if (tiled.tileWidth < 1 || tiled.tileHeight < 1
            || uint64_t(tiled.tileWidth) * uint64_t(tiled.tileHeight) > options.limits.imagePixels)
            fail("the map's tile size is " + std::to_string(tiled.tileWidth) + " x " + std::to_string(tiled.tileHeight));
        readRestored();
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
        report.unknownLayers = tiled.unknownLayers;

        startMap(width, height);
        const std::vector<int> numbers = layerNumbers();
        for (size_t i = 0; i < tiled.layers.size(); ++i) {
            const std::vector<std::string> notes = droppedLookNotes(tiled.layers[i]);
            report.layerNotes.insert(report.layerNotes.end(), notes.begin(), notes.end());
            if (numbers[i] >= 0)
                fillLayer(tiled.layers[i], numbers[i], width, height);
        }

        const int64_t graphicBytes = int64_t(tiled.tileWidth) * tiled.tileHeight * ((map.depth + 1) / 8);
        if (graphics.rgba.size() > 65535 || int64_t(graphics.rgba.size()) * graphicBytes > INT32_MAX)
            fail("the map needs " + std::to_string(graphics.rgba.size()) + " graphics of "
                 + std::to_string(graphicBytes) + " bytes; a map file holds at most 65535 and 2 GiB");
        report.movedTexels = storeGraphics(graphics, restoring ? restored.colourMap : tmapwriter::Bytes(),
                                           restoring && !options.depthGiven, map);
    }
};

} // namespace

bool buildMap(const TiledMap& tiled, const ImageSource& images, const Options& options, tmapwriter::Map& map,
              ImportReport& report, std::string& error)
{
    report = ImportReport();
    try {
        Builder builder(tiled, images, options, map, report);
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
