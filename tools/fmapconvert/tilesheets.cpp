#include "tilesheets.h"

#include <algorithm>

#include "files.h"
#include "inputcheck.h"
#include "tiledform.h"

namespace tmapconvert {

std::string tileWhere(const TiledTileset& tileset, uint32_t id)
{
    return "tile " + std::to_string(id) + " of " + tileset.where;
}

const TiledTile* describedTile(const TiledTileset& tileset, uint32_t id)
{
    auto found = std::lower_bound(tileset.tiles.begin(), tileset.tiles.end(), id,
                                  [](const TiledTile& tile, uint32_t value) { return tile.id < value; });
    return found != tileset.tiles.end() && found->id == id ? &*found : nullptr;
}

std::string transposed(const std::string& rgba, int size)
{
    std::string swapped(rgba.size(), '\0');
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            std::copy_n(rgba.begin() + (size_t(x) * size_t(size) + size_t(y)) * 4, 4,
                        swapped.begin() + (size_t(y) * size_t(size) + size_t(x)) * 4);
    return swapped;
}

TileSheets::TileSheets(const TiledMap& tiled, const ImageSource& images, const ImportLimits& limits)
    : tiled(tiled), images(images), limits(limits), tileCounts(tiled.tilesets.size(), -1)
{
}

const tmapimage::Image& TileSheets::image(const TiledTileset& tileset, const std::string& path,
                                          const std::string& where)
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
    if (imagePixels > limits.allImagePixels)
        fail(where + ": image " + path + ": the map's images hold more than "
             + std::to_string(limits.allImagePixels) + " pixels together");
    return *imageCache.emplace(full, loaded).first->second;
}

int TileSheets::columnsOf(const TiledTileset& tileset, const tmapimage::Image& sheet) const
{
    if (tileset.columns > 0)
        return tileset.columns;
    const int64_t room = int64_t(sheet.width) - 2 * tileset.margin + tileset.spacing;
    return room <= 0 ? 0 : int(room / (tileset.tileWidth + tileset.spacing));
}

int64_t TileSheets::tileCount(size_t index)
{
    const TiledTileset& tileset = tiled.tilesets[index];
    if (tileCounts[index] >= 0)
        return tileCounts[index];
    int64_t count = tileset.tileCount;
    if (tileset.image.empty()) {
        // Collections count their tiles, but ids may have gaps.
        count = tileset.tiles.empty() ? 0 : int64_t(tileset.tiles.back().id) + 1;
    } else if (count < 0) {
        const tmapimage::Image& sheet = image(tileset, tileset.image, tileset.where);
        const int64_t room = int64_t(sheet.height) - 2 * tileset.margin + tileset.spacing;
        const int64_t rows = room <= 0 ? 0 : room / (tileset.tileHeight + tileset.spacing);
        count = rows * columnsOf(tileset, sheet);
    }
    return tileCounts[index] = count;
}

TileRef TileSheets::resolve(uint32_t gid, const std::string& where)
{
    const uint32_t bare = gid & ~gidFlipBits; // bit 28 (hexagonal rotation) is cleared too
    size_t index = tiled.tilesets.size();
    while (index > 0 && tiled.tilesets[index - 1].firstGid > bare)
        --index;
    if (index == 0)
        fail(where + " shows tile id " + std::to_string(bare) + ", which no tileset holds");
    --index;
    const TiledTileset& tileset = tiled.tilesets[index];
    const uint32_t id = bare - tileset.firstGid;
    if (int64_t(id) >= tileCount(index))
        fail(where + " shows tile " + std::to_string(id) + " of " + tileset.where + ", which has only "
             + std::to_string(tileCount(index)) + " tiles");
    return {index, id};
}

const tmapimage::Image& TileSheets::placeOf(TileRef ref, int64_t& x, int64_t& y)
{
    const TiledTileset& tileset = tiled.tilesets[ref.tileset];
    const std::string where = tileWhere(tileset, ref.id);
    const int w = tiled.tileWidth, h = tiled.tileHeight;
    int64_t sourceWidth = tileset.tileWidth, sourceHeight = tileset.tileHeight;
    const tmapimage::Image* sheet;
    if (tileset.image.empty()) {
        const TiledTile* tile = describedTile(tileset, ref.id);
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
    return *sheet;
}

const std::string& TileSheets::pixels(TileRef ref)
{
    auto found = tilePixels.find(ref);
    if (found != tilePixels.end())
        return found->second;
    int64_t x = 0, y = 0;
    const tmapimage::Image& sheet = placeOf(ref, x, y);
    const int w = tiled.tileWidth, h = tiled.tileHeight;
    std::string rgba(size_t(w) * size_t(h) * 4, '\0');
    for (int row = 0; row < h; ++row)
        std::copy_n(sheet.rgba.begin() + (size_t(y + row) * size_t(sheet.width) + size_t(x)) * 4, size_t(w) * 4,
                    rgba.begin() + size_t(row) * size_t(w) * 4);
    const TiledTileset& tileset = tiled.tilesets[ref.tileset];
    if (tileset.hasTransparentColour)
        for (size_t i = 0; i < rgba.size(); i += 4)
            if (uint8_t(rgba[i]) == tileset.transparentColour[0] && uint8_t(rgba[i + 1]) == tileset.transparentColour[1]
                && uint8_t(rgba[i + 2]) == tileset.transparentColour[2])
                rgba[i + 3] = 0;
    return tilePixels.emplace(ref, std::move(rgba)).first->second;
}

} // namespace tmapconvert
