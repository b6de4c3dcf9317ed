// Block columns counted and measured without drawing: the cubes of the
// column from each record, a column's cover, and the faces of a window
// (tmapCountBlockFaces).
#include <cstring>

#include "columns.h"

int32_t tmapCubesFromEachRecord(int32_t *cubes)
{
    int32_t tallest = 0;
    if (tmapBlocks == nullptr)
        return 0;
    for (int64_t record = int64_t(tmapBlockCount) - 1; record >= 0; --record) {
        cubes[record] = tmapStacksOnNext(record) ? cubes[record + 1] + 1 : 0;
        tallest = cubes[record] > tallest ? cubes[record] : tallest;
    }
    return tallest;
}

TmapColumnCover tmapCoverOfColumn(int64_t first, const TmapOpacity &opacity)
{
    int64_t closing = first;
    while (tmapStacksOnNext(closing))
        ++closing;
    TmapColumnCover cover = tmapCoverOfClosing(tmapBlocks[closing], opacity);
    for (int64_t record = first; record < closing; ++record)
        cover = tmapCoverWithCube(cover, tmapBlocks[record], opacity);
    return cover;
}

namespace {

// Faces a side of a record adds where the cell order draws it.
uint64_t sideFacesOf(const TmapBlock &record)
{
    uint64_t faces = 0;
    for (int side = 0; side < tmapSideKinds; ++side)
        faces += tmapSideGraphic(record, side) != 0;
    return faces;
}

// The faces of the column from each record, from the last record back.
void facesFromEachRecord(uint64_t *faces)
{
    for (int64_t record = int64_t(tmapBlockCount) - 1; record >= 0; --record) {
        TmapCap caps[2];
        faces[record] = tmapStacksOnNext(record) ? sideFacesOf(tmapBlocks[record]) + faces[record + 1]
                                                 : uint64_t(tmapCapsOf(tmapBlocks[record], caps));
    }
}

// Frames scanned in all for the animations' tallest frames; past it every
// animation counts with the tallest frame of the whole frame list, so a
// damaged map of long, overlapping frame ranges costs no more.
const int64_t frameScanBudget = int64_t(1) << 24;

uint64_t facesOfFrame(int64_t frame, const uint64_t *faces)
{
    const int32_t block = tmapAnimFrames[frame];
    return block >= 0 && block < tmapBlockCount ? faces[block] : 0;
}

// The most faces any frame of animation `anim` shows (its current frame
// included, wherever it points).
uint64_t tallestFrameOf(int64_t anim, const uint64_t *faces, int64_t &budget, uint64_t &anyFrame)
{
    const TmapAnim &a = tmapAnims[anim];
    uint64_t tallest = 0;
    if (a.current >= 0 && a.current < tmapAnimFrameCount)
        tallest = facesOfFrame(a.current, faces);
    const int64_t first = a.start < 0 ? 0 : a.start;
    const int64_t end = a.end < tmapAnimFrameCount ? a.end : tmapAnimFrameCount;
    if (end <= first)
        return tallest;
    if (end - first > budget) {
        if (anyFrame == UINT64_MAX) {
            anyFrame = 0;
            for (int64_t frame = 0; frame < tmapAnimFrameCount; ++frame)
                anyFrame = facesOfFrame(frame, faces) > anyFrame ? facesOfFrame(frame, faces) : anyFrame;
        }
        return anyFrame > tallest ? anyFrame : tallest;
    }
    budget -= end - first;
    for (int64_t frame = first; frame < end; ++frame)
        tallest = facesOfFrame(frame, faces) > tallest ? facesOfFrame(frame, faces) : tallest;
    return tallest;
}

} // namespace

int tmapCountBlockFaces(int cellX, int cellY, int columns, int rows, TmapBlockFaces *count)
{
    if (count == nullptr)
        return -1;
    std::memset(count, 0, sizeof *count);
    if (tmapCurrentLayer == nullptr || tmapBlocks == nullptr || columns <= 0 || rows <= 0)
        return 0;
    const TmapSpan across = tmapClipToLayer(cellX, columns, tmapWidth, 0.0f, 0.0f);
    const TmapSpan down = tmapClipToLayer(cellY, rows, tmapHeight, 0.0f, 0.0f);
    if (across.begin >= across.end || down.begin >= down.end)
        return 0;
    const size_t records = size_t(tmapBlockCount);
    uint64_t *faces = static_cast<uint64_t *>(tmapAllocate(records * sizeof(uint64_t)));
    int32_t *cubes = static_cast<int32_t *>(tmapAllocate(records * sizeof(int32_t)));
    const size_t anims = tmapAnims != nullptr && tmapAnimCount > 0 ? size_t(tmapAnimCount) : 0;
    uint64_t *animFaces = static_cast<uint64_t *>(tmapAllocate(anims * sizeof(uint64_t)));
    if (faces == nullptr || cubes == nullptr || animFaces == nullptr) {
        tmapFree(faces);
        tmapFree(cubes);
        tmapFree(animFaces);
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return -1;
    }
    facesFromEachRecord(faces);
    tmapCubesFromEachRecord(cubes);
    // Only the animations the window shows are worked out, each once.
    std::memset(animFaces, 0xff, anims * sizeof(uint64_t));
    int64_t budget = frameScanBudget;
    uint64_t anyFrame = UINT64_MAX;
    for (int64_t y = down.begin; y < down.end; ++y) {
        const int32_t *cell = tmapCurrentLayer + y * tmapWidth + across.begin;
        for (int64_t x = across.begin; x < across.end; ++x, ++cell) {
            if (const TmapBlock *block = tmapResolveCell(*cell)) {
                const size_t record = size_t(block - tmapBlocks);
                count->faces += faces[record];
                if (uint64_t(cubes[record]) > count->tallestColumn)
                    count->tallestColumn = uint64_t(cubes[record]);
                if (*cell >= 0)
                    count->facesAnyFrame += faces[record];
            }
            const int64_t anim = *cell < 0 ? -int64_t(*cell) - 1 : -1;
            if (anim >= 0 && size_t(anim) < anims && tmapAnimFrames != nullptr) {
                if (animFaces[anim] == UINT64_MAX)
                    animFaces[anim] = tallestFrameOf(anim, faces, budget, anyFrame);
                count->facesAnyFrame += animFaces[anim];
            }
        }
    }
    tmapFree(faces);
    tmapFree(cubes);
    tmapFree(animFaces);
    return 0;
}
