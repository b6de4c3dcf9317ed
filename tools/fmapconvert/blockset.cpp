#include "blockset.h"

#include <algorithm>
#include <numeric>

#include "convert.h"
#include "inputcheck.h"
#include "tilvogl/tilvogl.h"

namespace tmapconvert {

namespace {

using tmapwriter::Block;

void setField(Block& block, const std::string& name, uint64_t value)
{
    if (name == "userLong1") block.userLong1 = uint32_t(value);
    else if (name == "userLong2") block.userLong2 = uint32_t(value);
    else if (name == "userShort1") block.userShort1 = uint16_t(value);
    else if (name == "userShort2") block.userShort2 = uint16_t(value);
    else if (name == "userByte1") block.userByte1 = uint8_t(value);
    else if (name == "userByte2") block.userByte2 = uint8_t(value);
    else if (name == "userByte3") block.userByte3 = uint8_t(value);
    else block.flags = uint8_t(value);
}

// Durations in 10 ms ticks. A frame changes every delay + 1 ticks, so the
// delay is the longest step common to all frames (at most 256 ticks), and
// each frame is repeated for its share.
int64_t commonStep(const std::vector<int64_t>& ticks)
{
    int64_t step = 0;
    for (int64_t t : ticks)
        step = std::gcd(step, t);
    while (step > 256) {
        int64_t divisor = 256;
        while (step % divisor != 0)
            --divisor;
        step = divisor;
    }
    return step;
}

} // namespace

Block blockFieldsOf(const TiledTileset& tileset, const TiledTile* tile)
{
    Block block;
    if (tile == nullptr)
        return block;
    struct Field {
        const char* name;
        int bits;
    };
    static const Field fields[] = {{"userLong1", 32}, {"userLong2", 32}, {"userShort1", 16}, {"userShort2", 16},
                                   {"userByte1", 8},  {"userByte2", 8},  {"userByte3", 8},   {"flags", 8}};
    for (const TiledProperty& property : tile->properties) {
        for (const Field& field : fields) {
            if (property.name != field.name)
                continue;
            const std::string what = tileWhere(tileset, tile->id) + ": property " + field.name;
            if (property.type != "int" && property.type != "string")
                fail(what + " is a " + property.type + ", not a whole number");
            // A field of n bits takes -2^(n-1) .. 2^n - 1; flags only 0..255.
            const int64_t high = (int64_t(1) << field.bits) - 1;
            const int64_t low = property.name == "flags" ? 0 : -(int64_t(1) << (field.bits - 1));
            setField(block, field.name, uint64_t(inRange(parseWhole(property.value, what, 0), low, high, what)));
        }
    }
    return block;
}

int BlockSet::append(const Block& block)
{
    if (map.blocks.size() >= 65535)
        fail("the map needs more than 65535 blocks");
    map.blocks.push_back(block);
    return int(map.blocks.size() - 1);
}

int BlockSet::block(const Block& fields)
{
    const BlockKey key{fields.graphic[0], fields.graphic[1], fields.graphic[2], fields.graphic[3],
                       fields.userLong1,  fields.userLong2,  fields.userShort1, fields.userShort2,
                       fields.userByte1,  fields.userByte2,  fields.userByte3,  fields.flags};
    auto found = blockIndex.find(key);
    if (found != blockIndex.end())
        return found->second;
    const int index = append(fields);
    blockIndex.emplace(key, index);
    return index;
}

int BlockSet::plainBlock(int graphic, uint8_t mirror)
{
    const uint8_t mirrorFlags = TMAP_FLAG_MIRROR_S | TMAP_FLAG_MIRROR_T;
    for (size_t i = 0; i < map.blocks.size(); ++i) {
        const Block& block = map.blocks[i];
        if (block.graphic[0] == graphic && (block.flags & mirrorFlags) == mirror && !(block.flags & TMAP_FLAG_STACKED))
            return int(i);
    }
    Block block;
    block.graphic[0] = graphic;
    block.flags = mirror;
    return append(block);
}

int BlockSet::findAnimation(TileRef tile, uint32_t flips) const
{
    auto found = animIndex.find({tile, flips});
    return found == animIndex.end() ? -1 : found->second;
}

int BlockSet::addAnimation(TileRef tile, uint32_t flips, const std::vector<AnimationFrame>& frames,
                           const std::string& where)
{
    std::vector<int64_t> ticks;
    for (const AnimationFrame& frame : frames)
        ticks.push_back(std::max<int64_t>(1, (frame.milliseconds + 5) / 10));
    const int64_t step = commonStep(ticks);
    tmapwriter::Anim anim;
    anim.mode = 1;
    anim.delay = uint8_t(step - 1);
    anim.countdown = anim.delay;
    anim.start = anim.current = int32_t(map.frames.size());
    for (size_t k = 0; k < frames.size(); ++k) {
        const int64_t repeats = ticks[k] / step;
        if (map.frames.size() + size_t(repeats) > largestFrameList)
            fail(where + ": its animation needs more than " + std::to_string(largestFrameList)
                 + " frame-list entries (durations too unequal)");
        map.frames.insert(map.frames.end(), size_t(repeats), frames[k].block);
    }
    anim.end = int32_t(map.frames.size());
    if (map.anims.size() >= size_t(tmapwriter::cellAnimationCount))
        fail(where + ": the map needs more than " + std::to_string(tmapwriter::cellAnimationCount) + " animations");
    map.anims.push_back(anim);
    const int index = int(map.anims.size() - 1);
    animIndex.emplace(std::make_pair(tile, flips), index);
    return index;
}

} // namespace tmapconvert
