// The chunk decoders for header, colour map, blocks, animations and layers
// ("BGFX" is in textures.cpp). Each reads one chunk that the walk in
// loader.cpp has checked lies inside the image, and fills the model.
#include <cstring>

#include "internal.h"

namespace {

// Blocks are stored as 32 x index, animations as -16 x (n + 1); both
// divisions round toward zero. Written without branches so that the loop
// vectorises: layers are by far the largest part of a map.
template <bool littleEndian>
void decodeCells(const unsigned char *data, int32_t *cells, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i) {
        const unsigned char *p = data + 2 * i;
        uint16_t value = littleEndian ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
        int32_t stored = int16_t(value);
        cells[i] = stored >= 0 ? stored >> 5 : (stored + 15) >> 4;
    }
}

} // namespace

int tmapDecodeHeader(const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint32_t length = tmapChunkLength(chunk);
    // A second header would change sizes that arrays already decoded rely on.
    if (tmapHeaderSeen || length < 1)
        return tmapFail(TMAP_ERROR_NOT_A_MAP);
    if (data[0] != 0)
        return tmapFail(TMAP_ERROR_UNSUPPORTED_HEADER);
    if (length < 24)
        return tmapFail(TMAP_ERROR_NOT_A_MAP);

    tmapLittleEndian = data[2] == 1 ? 1 : 0;
    tmapWidth = int(tmapRead16(data + 4));
    tmapHeight = int(tmapRead16(data + 6));
    tmapTileWidth = int(tmapRead16(data + 12));
    tmapTileHeight = int(tmapRead16(data + 14));
    tmapDepth = int(tmapRead16(data + 16));
    tmapBlockRecordSize = int(tmapRead16(data + 18));
    tmapBlockCount = int(tmapRead16(data + 20));
    tmapGraphicCount = int(tmapRead16(data + 22));
    tmapHeaderSeen = true;
    // Graphic offsets are divided by the size of one graphic.
    if (tmapGraphicSize() == 0)
        return tmapFail(TMAP_ERROR_UNSUPPORTED_HEADER);
    return 0;
}

int tmapDecodeColourMap(const unsigned char *chunk)
{
    uint32_t length = tmapChunkLength(chunk);
    freeAndClear(tmapColourMap);
    tmapColourMapSize = 0;
    tmapColourMap = static_cast<unsigned char *>(tmapAllocate(length));
    if (tmapColourMap == nullptr)
        return tmapFail(TMAP_ERROR_OUT_OF_MEMORY);
    std::memcpy(tmapColourMap, tmapChunkData(chunk), length);
    tmapColourMapSize = int(length);
    return 0;
}

int tmapDecodeBlocks(const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint64_t length = tmapChunkLength(chunk);
    uint64_t count = uint64_t(tmapBlockCount);
    uint64_t recordSize = uint64_t(tmapBlockRecordSize);
    if (!tmapHeaderSeen)
        return tmapFail(TMAP_ERROR_NOT_A_MAP);
    if (count > 0 && (recordSize < 32 || count * recordSize > length))
        return tmapFail(TMAP_ERROR_NOT_A_MAP);

    freeAndClear(tmapBlocks);
    tmapBlocks = static_cast<TmapBlock *>(tmapAllocate(count * sizeof(TmapBlock)));
    if (tmapBlocks == nullptr)
        return tmapFail(TMAP_ERROR_OUT_OF_MEMORY);

    const int64_t graphicSize = int64_t(tmapGraphicSize());
    for (uint64_t k = 0; k < count; ++k) {
        const unsigned char *record = data + k * recordSize;
        TmapBlock &block = tmapBlocks[k];
        block.graphic1 = int32_t(tmapRead32(record + 0) / graphicSize);
        block.graphic2 = int32_t(tmapRead32(record + 4) / graphicSize);
        block.graphic3 = int32_t(tmapRead32(record + 8) / graphicSize);
        block.graphic4 = int32_t(tmapRead32(record + 12) / graphicSize);
        block.userLong1 = uint32_t(tmapRead32(record + 16));
        block.userLong2 = uint32_t(tmapRead32(record + 20));
        block.userShort1 = uint16_t(tmapRead16(record + 24));
        block.userShort2 = uint16_t(tmapRead16(record + 26));
        block.userByte1 = record[28];
        block.userByte2 = record[29];
        block.userByte3 = record[30];
        block.flags = record[31];
    }
    return 0;
}

int tmapDecodeAnims(const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint32_t length = tmapChunkLength(chunk);
    if (!tmapHeaderSeen || length < 16)
        return tmapFail(TMAP_ERROR_NOT_A_MAP);

    // Records are stored backward from the end, down to a slot whose first
    // byte is 0xFF; everything before that slot is the frame list.
    uint32_t listEnd = length - 16;
    uint32_t animCount = 0;
    while (data[listEnd] != 0xFF) {
        ++animCount;
        if (listEnd < 16)
            return tmapFail(TMAP_ERROR_NOT_A_MAP);
        listEnd -= 16;
    }
    uint32_t frameCount = listEnd / 4;

    freeAndClear(tmapAnims);
    freeAndClear(tmapAnimFrames);
    tmapAnimCount = 0;
    tmapAnimFrameCount = 0;
    tmapAnims = static_cast<TmapAnim *>(tmapAllocate(size_t(animCount) * sizeof(TmapAnim)));
    if (tmapAnims == nullptr)
        return tmapFail(TMAP_ERROR_OUT_OF_MEMORY);
    tmapAnimFrames = static_cast<int32_t *>(tmapAllocate(size_t(frameCount) * sizeof(int32_t)));
    if (tmapAnimFrames == nullptr)
        return tmapFail(TMAP_ERROR_OUT_OF_MEMORY);

    for (uint32_t i = 0; i < frameCount; ++i)
        tmapAnimFrames[i] = tmapRead32(data + 4 * size_t(i)) / 32;
    tmapAnimFrameCount = int(frameCount);

    for (uint32_t a = 0; a < animCount; ++a) {
        const unsigned char *record = data + length - 16 * (size_t(a) + 1);
        // Positions count back from the end of the chunk data.
        int64_t current = (int64_t(tmapRead32(record + 4)) + length) / 4;
        int64_t start = (int64_t(tmapRead32(record + 8)) + length) / 4;
        int64_t end = (int64_t(tmapRead32(record + 12)) + length) / 4;
        if (start < 0 || start > end || end > int64_t(frameCount))
            return tmapFail(TMAP_ERROR_NOT_A_MAP);
        // Stepping keeps current in [start, end) only if it starts there.
        if (current < start || current >= end)
            current = start;
        TmapAnim &anim = tmapAnims[a];
        anim.mode = record[0];
        anim.delay = record[1];
        anim.countdown = record[2];
        anim.user = record[3];
        anim.current = int32_t(current);
        anim.start = int32_t(start);
        anim.end = int32_t(end);
        tmapAnimCount = int(a + 1);
    }
    return 0;
}

int tmapDecodeLayer(const unsigned char *chunk, int layer)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint64_t cellCount = uint64_t(tmapWidth) * uint64_t(tmapHeight);
    if (!tmapHeaderSeen || cellCount * 2 > tmapChunkLength(chunk))
        return tmapFail(TMAP_ERROR_NOT_A_MAP);

    if (tmapCurrentLayer == tmapLayers[layer])
        tmapCurrentLayer = nullptr;
    freeAndClear(tmapLayers[layer]);
    int32_t *cells = static_cast<int32_t *>(tmapAllocate(cellCount * sizeof(int32_t)));
    if (cells == nullptr)
        return tmapFail(TMAP_ERROR_OUT_OF_MEMORY);
    tmapLayers[layer] = cells;

    if (tmapLittleEndian)
        decodeCells<true>(data, cells, cellCount);
    else
        decodeCells<false>(data, cells, cellCount);
    if (layer == 0)
        tmapCurrentLayer = cells;
    return 0;
}
