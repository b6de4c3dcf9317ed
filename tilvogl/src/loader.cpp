// The current map's model, the file loader, the chunk decoders for header,
// colour map, blocks, animations and layers, and the release.
#include <cstdio>
#include <cstring>

#include "bytexture.h" // tmapReleaseDrawScratch
#include "internal.h"

extern "C" {
int tmapWidth = 0;
int tmapHeight = 0;
int tmapTileWidth = 0;
int tmapTileHeight = 0;
int tmapDepth = 0;
int tmapBlockRecordSize = 0;
int tmapBlockCount = 0;
int tmapGraphicCount = 0;
int tmapLittleEndian = 0;

unsigned char *tmapColourMap = nullptr;
int tmapColourMapSize = 0;
TmapBlock *tmapBlocks = nullptr;
int tmapAnimCount = 0;
TmapAnim *tmapAnims = nullptr;
int32_t *tmapAnimFrames = nullptr;
int tmapAnimFrameCount = 0;
int32_t *tmapLayers[TMAP_LAYER_COUNT] = {};
int32_t **tmapLayerRows[TMAP_LAYER_COUNT] = {};
int32_t *tmapCurrentLayer = nullptr;
int32_t **tmapCurrentRows = nullptr;
int tmapFirstTexture = 0;
unsigned int tmapTextureFormat = 0x1908; // GL_RGBA
}

namespace {

template <typename T> void freeAndClear(T *&array)
{
    tmapFree(array);
    array = nullptr;
}

// Reads the 8-byte form header; 0 when it starts a form, with its length.
int readFormHeader(std::FILE *file, uint32_t *formLength)
{
    unsigned char header[8];
    for (unsigned char &byte : header) {
        int c = std::fgetc(file);
        if (c == EOF)
            return -1;
        byte = static_cast<unsigned char>(c);
    }
    if (std::memcmp(header, "FORM", 4) != 0)
        return -1;
    *formLength = tmapReadBigEndian32(header + 4);
    return 0;
}

// Bytes in the file, or -1 when it cannot be measured.
long fileSize(std::FILE *file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

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

int loadFailure(std::FILE *file, int code)
{
    if (file != nullptr)
        std::fclose(file);
    tmapError = code;
    return -1;
}

} // namespace

int tmapLoadFile(const char *path, int firstTexture)
{
    tmapError = TMAP_ERROR_NONE;
    tmapErrorChunk[0] = '\0';
    tmapErrorOffset = -1;
    std::FILE *file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return loadFailure(nullptr, TMAP_ERROR_CANNOT_OPEN);

    uint32_t formLength = 0;
    if (readFormHeader(file, &formLength) != 0)
        return loadFailure(file, TMAP_ERROR_NOT_A_MAP);
    // The form's own length is not trusted: a file shorter than it claims is
    // refused before anything that size is allocated.
    uint64_t imageSize = uint64_t(formLength) + 8;
    long size = fileSize(file);
    if (size < 0 || imageSize > uint64_t(size))
        return loadFailure(file, TMAP_ERROR_NOT_A_MAP);

    unsigned char *image = static_cast<unsigned char *>(tmapAllocate(size_t(imageSize)));
    if (image == nullptr)
        return loadFailure(file, TMAP_ERROR_OUT_OF_MEMORY);
    if (std::fread(image, 1, size_t(imageSize), file) != size_t(imageSize)) {
        tmapFree(image);
        return loadFailure(file, TMAP_ERROR_NOT_A_MAP);
    }
    std::fclose(file);

    int result = tmapDecodeBuffer(image, size_t(imageSize), firstTexture);
    tmapFree(image);
    return result;
}

void tmapRelease(void)
{
    tmapReleaseDrawScratch();
    freeAndClear(tmapColourMap);
    tmapColourMapSize = 0;
    freeAndClear(tmapBlocks);
    freeAndClear(tmapAnims);
    tmapAnimCount = 0;
    freeAndClear(tmapAnimFrames);
    tmapAnimFrameCount = 0;
    for (int32_t *&layer : tmapLayers)
        freeAndClear(layer);
    for (int32_t **&rows : tmapLayerRows)
        freeAndClear(rows);
    tmapCurrentLayer = nullptr;
    tmapCurrentRows = nullptr;
}

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
