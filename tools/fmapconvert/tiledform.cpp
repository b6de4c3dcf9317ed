#include "tiledform.h"

#include "mapwriter.h"

namespace tmapconvert {

// Here rather than in mapmodel.cpp, which needs GL: the import uses it too.
const TmapBlock* MapModel::blockShown(int32_t cellValue) const
{
    int64_t block = cellValue;
    if (cellValue < 0) {
        const int64_t anim = -int64_t(cellValue) - 1;
        if (anim >= int64_t(anims.size()))
            return nullptr;
        const int64_t frame = anims[size_t(anim)].current;
        if (frame < 0 || frame >= int64_t(frames.size()))
            return nullptr;
        block = frames[size_t(frame)];
    }
    if (block < 0 || block >= int64_t(blocks.size()))
        return nullptr;
    return &blocks[size_t(block)];
}

std::string layerName(int layer)
{
    return tmapwriter::layerTag(layer);
}

uint32_t exportedGid(const MapModel& model, int32_t cellValue)
{
    uint32_t gid = 0;
    if (cellValue >= 0) {
        const int64_t block = cellValue;
        if (block >= int64_t(model.blocks.size()))
            return 0;
        const int32_t graphic = model.blocks[size_t(block)].graphic1;
        if (graphic < 0 || graphic >= model.graphicCount)
            return 0;
        gid = 1 + uint32_t(graphic);
    } else {
        const int64_t anim = -int64_t(cellValue) - 1;
        if (anim >= int64_t(model.anims.size()))
            return 0;
        gid = 1 + uint32_t(model.graphicCount) + uint32_t(anim);
    }
    if (const TmapBlock* shown = model.blockShown(cellValue)) {
        if (shown->flags & TMAP_FLAG_MIRROR_S)
            gid |= gidFlipHorizontal;
        if (shown->flags & TMAP_FLAG_MIRROR_T)
            gid |= gidFlipVertical;
    }
    return gid;
}

} // namespace tmapconvert
