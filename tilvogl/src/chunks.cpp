// The chunk walk over a form image, allocation, and failure bookkeeping.
#include <cstdlib>
#include <cstring>

#include "internal.h"

extern "C" {
long tmapFailAllocationAt = 0;
long tmapAllocationCount = 0;
int tmapError = 0;
char tmapErrorChunk[5] = "";
long tmapErrorOffset = -1;
}

bool tmapHeaderSeen = false;

namespace {

// The chunk the walk is decoding, so that a failure can name it.
const unsigned char *decodingChunk = nullptr;
const unsigned char *decodingImage = nullptr;
const unsigned char *decodingEnd = nullptr;

struct ChunkKind {
    char tag[5];
    int layer; // -1 for the chunks that are not layers
};

const ChunkKind chunkKinds[] = {
    {"MPHD", -1}, {"CMAP", -1}, {"BKDT", -1}, {"ANDT", -1}, {"BGFX", -1},
    {"BODY", 0},  {"LYR1", 1},  {"LYR2", 2},  {"LYR3", 3},  {"LYR4", 4},
    {"LYR5", 5},  {"LYR6", 6},  {"LYR7", 7},
};

void decodeChunk(const unsigned char *chunk)
{
    for (const ChunkKind &kind : chunkKinds) {
        if (std::memcmp(chunk, kind.tag, 4) != 0)
            continue;
        if (kind.layer >= 0) {
            tmapDecodeLayer(chunk, kind.layer);
            return;
        }
        switch (kind.tag[0]) {
        case 'M': tmapDecodeHeader(chunk); return;
        case 'C': tmapDecodeColourMap(chunk); return;
        case 'A': tmapDecodeAnims(chunk); return;
        case 'B': // "BKDT" or "BGFX"
            if (kind.tag[1] == 'K')
                tmapDecodeBlocks(chunk);
            else
                tmapDecodeGraphics(chunk);
            return;
        }
    }
}

int failDecode(int code)
{
    tmapFail(code);
    tmapRelease();
    return -1;
}

} // namespace

void *tmapAllocate(size_t bytes)
{
    ++tmapAllocationCount;
    if (tmapFailAllocationAt > 0 && tmapAllocationCount == tmapFailAllocationAt)
        return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void tmapFree(void *block) { std::free(block); }

int tmapFail(int code)
{
    tmapError = code;
    if (decodingChunk != nullptr) {
        // A chunk header cut off by the end of the form has fewer tag bytes.
        size_t tagBytes = size_t(decodingEnd - decodingChunk) < 4 ? size_t(decodingEnd - decodingChunk) : 4;
        std::memset(tmapErrorChunk, 0, sizeof tmapErrorChunk);
        std::memcpy(tmapErrorChunk, decodingChunk, tagBytes);
        tmapErrorOffset = long(decodingChunk - decodingImage);
    } else {
        tmapErrorChunk[0] = '\0';
        tmapErrorOffset = -1;
    }
    return -1;
}

const char *tmapErrorString(int code)
{
    switch (code) {
    case TMAP_ERROR_NONE: return "no error";
    case TMAP_ERROR_OUT_OF_MEMORY: return "out of memory";
    case TMAP_ERROR_NOT_A_MAP: return "not a readable map file";
    case TMAP_ERROR_CANNOT_OPEN: return "file could not be opened";
    case TMAP_ERROR_UNSUPPORTED_HEADER: return "unsupported map header";
    default: return "unknown error";
    }
}

int tmapDecodeBuffer(const unsigned char *image, size_t size, int firstTexture)
{
    tmapRelease();
    tmapError = TMAP_ERROR_NONE;
    tmapErrorChunk[0] = '\0';
    tmapErrorOffset = -1;
    decodingChunk = nullptr;
    decodingImage = image;
    tmapFirstTexture = firstTexture;
    // A new map starts from an empty header, never from the last map's.
    tmapWidth = tmapHeight = tmapTileWidth = tmapTileHeight = tmapDepth = 0;
    tmapBlockRecordSize = tmapBlockCount = tmapGraphicCount = tmapLittleEndian = 0;
    tmapHeaderSeen = false;

    if (image == nullptr || size < 12 || std::memcmp(image, "FORM", 4) != 0 ||
        std::memcmp(image + 8, "FMAP", 4) != 0)
        return failDecode(TMAP_ERROR_NOT_A_MAP);

    uint32_t formLength = tmapReadBigEndian32(image + 4);
    if (uint64_t(formLength) + 8 > size)
        return failDecode(TMAP_ERROR_NOT_A_MAP);
    // The remaining count is a signed 32-bit number: a form of 4 bytes or
    // less, or one whose length reads as negative, holds no chunks.
    if (int32_t(formLength - 4) <= 0)
        return 0;

    const uint64_t formEnd = uint64_t(formLength) + 8;
    decodingEnd = image + formEnd;
    uint64_t offset = 12;
    while (offset < formEnd) {
        decodingChunk = image + offset;
        if (formEnd - offset < 8)
            return failDecode(TMAP_ERROR_NOT_A_MAP);
        uint32_t dataLength = tmapChunkLength(decodingChunk);
        if (uint64_t(dataLength) > formEnd - offset - 8)
            return failDecode(TMAP_ERROR_NOT_A_MAP);

        decodeChunk(decodingChunk);
        if (tmapError != TMAP_ERROR_NONE) {
            tmapRelease();
            decodingChunk = nullptr;
            return -1;
        }
        offset += 8 + uint64_t(dataLength);
    }
    decodingChunk = nullptr;
    return 0;
}

int tmapDecode(const unsigned char *image, int firstTexture)
{
    // The caller vouches that the image holds the whole form it describes.
    size_t size = 12;
    if (image != nullptr && std::memcmp(image, "FORM", 4) == 0)
        size = size_t(tmapReadBigEndian32(image + 4)) + 8;
    return tmapDecodeBuffer(image, size, firstTexture);
}
