#include "blockfaces.h"

#include <algorithm>
#include <vector>

#include "tilvogl/tilvogl.h"

namespace {

int sideFaces(const TmapBlock& block)
{
    return (block.graphic1 != 0) + (block.graphic2 != 0) + (block.graphic3 != 0) + (block.graphic4 != 0);
}

// Faces and cubes of the column that starts at each block record, worked out
// from the last record back so that towering runs cost one pass.
struct Columns {
    std::vector<uint64_t> faces;
    std::vector<uint64_t> cubes;
};

Columns measureColumns()
{
    const size_t count = tmapBlocks != nullptr && tmapBlockCount > 0 ? size_t(tmapBlockCount) : 0;
    Columns columns{std::vector<uint64_t>(count), std::vector<uint64_t>(count)};
    for (size_t k = count; k-- > 0;) {
        const TmapBlock& block = tmapBlocks[k];
        if ((block.flags & TMAP_FLAG_STACKED) && k + 1 < count) {
            columns.faces[k] = uint64_t(sideFaces(block)) + columns.faces[k + 1];
            columns.cubes[k] = 1 + columns.cubes[k + 1];
        } else {
            columns.faces[k] = block.graphic2 != 0 ? 2 : 1; // the caps
        }
    }
    return columns;
}

// Per animation, the faces of its tallest frame.
std::vector<uint64_t> tallestFrames(const Columns& columns)
{
    std::vector<uint64_t> tallest(tmapAnims != nullptr && tmapAnimCount > 0 ? size_t(tmapAnimCount) : 0);
    for (size_t n = 0; n < tallest.size(); ++n) {
        const TmapAnim& anim = tmapAnims[n];
        int32_t first = std::max(anim.start, 0);
        int32_t end = std::min(anim.end, tmapAnimFrameCount);
        for (int32_t frame = first; frame < end; ++frame) {
            int32_t block = tmapAnimFrames[frame];
            if (block >= 0 && size_t(block) < columns.faces.size())
                tallest[n] = std::max(tallest[n], columns.faces[size_t(block)]);
        }
    }
    return tallest;
}

} // namespace

BlockWindowSize measureBlockWindow(int cellX, int cellY, int columns, int rows)
{
    BlockWindowSize size;
    if (tmapCurrentLayer == nullptr || tmapBlocks == nullptr || columns <= 0 || rows <= 0)
        return size;
    const Columns blockColumns = measureColumns();
    const std::vector<uint64_t> animFaces = tallestFrames(blockColumns);

    const int64_t left = std::max(cellX, 0), right = std::min(int64_t(cellX) + columns, int64_t(tmapWidth));
    const int64_t top = std::max(cellY, 0), bottom = std::min(int64_t(cellY) + rows, int64_t(tmapHeight));
    for (int64_t y = top; y < bottom; ++y) {
        for (int64_t x = left; x < right; ++x) {
            int32_t value = tmapCurrentLayer[y * tmapWidth + x];
            if (const TmapBlock* block = tmapBlockAt(int(x), int(y))) {
                size_t k = size_t(block - tmapBlocks);
                size.faces += blockColumns.faces[k];
                size.tallestColumn = std::max(size.tallestColumn, blockColumns.cubes[k]);
                if (value >= 0)
                    size.facesAnyFrame += blockColumns.faces[k];
            }
            if (value < 0 && -int64_t(value) - 1 < int64_t(animFaces.size()))
                size.facesAnyFrame += animFaces[size_t(-int64_t(value) - 1)];
        }
    }
    return size;
}
