// The blocks and animations of the map being built, each stored once: a
// tile under the same flips, with the same block properties, is always the
// same block, and a tile's Tiled animation under the same flips is always
// the same animation.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_BLOCKSET_H
#define TILVOGL_TOOLS_FMAPCONVERT_BLOCKSET_H

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mapwriter.h"
#include "tiledmodel.h"
#include "tilesheets.h"

namespace tmapconvert {

// The block fields a tile's properties give (userLong1 .. userByte3,
// flags), before the cell's flips; a failure names a property out of range.
tmapwriter::Block blockFieldsOf(const TiledTileset& tileset, const TiledTile* tile);

// What a Tiled animation plays: each frame's block and its duration.
struct AnimationFrame {
    int block = 0;
    int64_t milliseconds = 0;
};

struct BlockSet {
    // Adds to map.blocks, map.anims and map.frames, which may hold records
    // already (a restored map); only blocks added through block() are
    // looked up again by their fields.
    explicit BlockSet(tmapwriter::Map& map) : map(map) {}

    // The block with these fields, added when it is new.
    int block(const tmapwriter::Block& fields);
    // The first block that shows graphic with these mirror flags and is
    // not stacked, added when none does: how a cell repainted in an
    // exported map finds its block.
    int plainBlock(int graphic, uint8_t mirror);

    // The animation made earlier for this tile under these flips, or -1.
    int findAnimation(TileRef tile, uint32_t flips) const;
    // Makes the loop-forward animation of the frames for this tile under
    // these flips; where names the tile in failures.
    int addAnimation(TileRef tile, uint32_t flips, const std::vector<AnimationFrame>& frames,
                     const std::string& where);

private:
    int append(const tmapwriter::Block& block);

    tmapwriter::Map& map;
    using BlockKey = std::tuple<int32_t, int32_t, int32_t, int32_t, uint32_t, uint32_t, uint16_t, uint16_t, uint8_t,
                                uint8_t, uint8_t, uint8_t>;
    std::map<BlockKey, int> blockIndex;
    std::map<std::pair<TileRef, uint32_t>, int> animIndex;
};

} // namespace tmapconvert

#endif
