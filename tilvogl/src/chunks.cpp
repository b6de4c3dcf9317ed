// The chunk decoders for header, colour map, blocks, animations and layers
// ("BGFX" is in textures.cpp). Each reads one chunk that the walk in
// loader.cpp has checked lies inside the image, and fills the map being
// decoded; each returns TMAP_ERROR_NONE or the code of its failure.
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

int tmapDecodeHeader(TmapModel &map, const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint32_t length = tmapChunkLength(chunk);
    // A second header would change sizes that arrays already decoded rely on.
    if (map.headerSeen || length < 1)
        return TMAP_ERROR_NOT_A_MAP;
    if (data[0] != 0)
        return TMAP_ERROR_UNSUPPORTED_HEADER;
    if (length < 24)
        return TMAP_ERROR_NOT_A_MAP;

    map.littleEndian = data[2] == 1 ? 1 : 0;
    map.width = int(tmapRead16(map, data + 4));
    map.height = int(tmapRead16(map, data + 6));
    map.tileWidth = int(tmapRead16(map, data + 12));
    map.tileHeight = int(tmapRead16(map, data + 14));
    map.depth = int(tmapRead16(map, data + 16));
    map.blockRecordSize = int(tmapRead16(map, data + 18));
    map.blockCount = int(tmapRead16(map, data + 20));
    map.graphicCount = int(tmapRead16(map, data + 22));
    map.headerSeen = true;
    // Graphic offsets are divided by the size of one graphic.
    if (tmapGraphicSize(map) == 0)
        return TMAP_ERROR_UNSUPPORTED_HEADER;
    return TMAP_ERROR_NONE;
}

int tmapDecodeColourMap(TmapModel &map, const unsigned char *chunk)
{
    uint32_t length = tmapChunkLength(chunk);
    freeAndClear(map.colourMap);
    map.colourMapSize = 0;
    map.colourMap = static_cast<unsigned char *>(tmapAllocate(length));
    if (map.colourMap == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;
    std::memcpy(map.colourMap, tmapChunkData(chunk), length);
    map.colourMapSize = int(length);
    return TMAP_ERROR_NONE;
}

int tmapDecodeBlocks(TmapModel &map, const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint64_t length = tmapChunkLength(chunk);
    uint64_t count = uint64_t(map.blockCount);
    uint64_t recordSize = uint64_t(map.blockRecordSize);
    if (!map.headerSeen)
        return TMAP_ERROR_NOT_A_MAP;
    if (count > 0 && (recordSize < 32 || count * recordSize > length))
        return TMAP_ERROR_NOT_A_MAP;

    freeAndClear(map.blocks);
    map.blocks = static_cast<TmapBlock *>(tmapAllocate(count * sizeof(TmapBlock)));
    if (map.blocks == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;

    const int64_t graphicSize = int64_t(tmapGraphicSize(map));
    for (uint64_t k = 0; k < count; ++k) {
        const unsigned char *record = data + k * recordSize;
        TmapBlock &block = map.blocks[k];
        block.graphic1 = int32_t(tmapRead32(map, record + 0) / graphicSize);
        block.graphic2 = int32_t(tmapRead32(map, record + 4) / graphicSize);
        block.graphic3 = int32_t(tmapRead32(map, record + 8) / graphicSize);
        block.graphic4 = int32_t(tmapRead32(map, record + 12) / graphicSize);
        block.userLong1 = uint32_t(tmapRead32(map, record + 16));
        block.userLong2 = uint32_t(tmapRead32(map, record + 20));
        block.userShort1 = uint16_t(tmapRead16(map, record + 24));
        block.userShort2 = uint16_t(tmapRead16(map, record + 26));
        block.userByte1 = record[28];
        block.userByte2 = record[29];
        block.userByte3 = record[30];
        block.flags = record[31];
    }
    return TMAP_ERROR_NONE;
}

int tmapDecodeAnims(TmapModel &map, const unsigned char *chunk)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint32_t length = tmapChunkLength(chunk);
    if (!map.headerSeen || length < 16)
        return TMAP_ERROR_NOT_A_MAP;

    // Records are stored backward from the end, down to a slot whose first
    // byte is 0xFF; everything before that slot is the frame list.
    uint32_t listEnd = length - 16;
    uint32_t animCount = 0;
    while (data[listEnd] != 0xFF) {
        ++animCount;
        if (listEnd < 16)
            return TMAP_ERROR_NOT_A_MAP;
        listEnd -= 16;
    }
    uint32_t frameCount = listEnd / 4;

    freeAndClear(map.anims);
    freeAndClear(map.animFrames);
    map.animCount = 0;
    map.animFrameCount = 0;
    map.anims = static_cast<TmapAnim *>(tmapAllocate(size_t(animCount) * sizeof(TmapAnim)));
    if (map.anims == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;
    map.animFrames = static_cast<int32_t *>(tmapAllocate(size_t(frameCount) * sizeof(int32_t)));
    if (map.animFrames == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;

    for (uint32_t i = 0; i < frameCount; ++i)
        map.animFrames[i] = tmapRead32(map, data + 4 * size_t(i)) / 32;
    map.animFrameCount = int(frameCount);

    for (uint32_t a = 0; a < animCount; ++a) {
        const unsigned char *record = data + length - 16 * (size_t(a) + 1);
        // Positions count back from the end of the chunk data.
        int64_t current = (int64_t(tmapRead32(map, record + 4)) + length) / 4;
        int64_t start = (int64_t(tmapRead32(map, record + 8)) + length) / 4;
        int64_t end = (int64_t(tmapRead32(map, record + 12)) + length) / 4;
        if (start < 0 || start > end || end > int64_t(frameCount))
            return TMAP_ERROR_NOT_A_MAP;
        // Stepping keeps current in [start, end) only if it starts there.
        if (current < start || current >= end)
            current = start;
        TmapAnim &anim = map.anims[a];
        anim.mode = record[0];
        anim.delay = record[1];
        anim.countdown = record[2];
        anim.user = record[3];
        anim.current = int32_t(current);
        anim.start = int32_t(start);
        anim.end = int32_t(end);
        map.animCount = int(a + 1);
    }
    return TMAP_ERROR_NONE;
}

int tmapDecodeLayer(TmapModel &map, const unsigned char *chunk, int layer)
{
    const unsigned char *data = tmapChunkData(chunk);
    uint64_t cellCount = uint64_t(map.width) * uint64_t(map.height);
    if (!map.headerSeen || cellCount * 2 > tmapChunkLength(chunk))
        return TMAP_ERROR_NOT_A_MAP;

    if (map.currentLayer == map.layers[layer])
        map.currentLayer = nullptr;
    freeAndClear(map.layers[layer]);
    int32_t *cells = static_cast<int32_t *>(tmapAllocate(cellCount * sizeof(int32_t)));
    if (cells == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;
    map.layers[layer] = cells;

    if (map.littleEndian)
        decodeCells<true>(data, cells, cellCount);
    else
        decodeCells<false>(data, cells, cellCount);
    if (layer == 0)
        map.currentLayer = cells;
    return TMAP_ERROR_NONE;
}
