// Loading a map: the file is read whole (tmapLoadFile), the image's chunks
// are walked and each known chunk is handed to its decoder (tmapDecode,
// tmapDecodeBuffer), and the map is released again (tmapRelease). Calls run
// one way, from here to the decoders and the model; every failure of a
// decode leaves through decodeFailure.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bytexture.h" // tmapReleaseDrawScratch
#include "internal.h"

namespace {

// Every chunk tag the decode knows, with its decoder. Layers share one
// decoder that also takes the layer number; other tags are skipped.
struct ChunkKind {
    char tag[5];
    int (*decode)(const unsigned char *chunk); // nullptr for the layers
    int layer;
};

const ChunkKind chunkKinds[] = {
    {"MPHD", tmapDecodeHeader, -1}, {"CMAP", tmapDecodeColourMap, -1},
    {"BKDT", tmapDecodeBlocks, -1}, {"ANDT", tmapDecodeAnims, -1},
    {"BGFX", tmapDecodeGraphics, -1},
    {"BODY", nullptr, 0}, {"LYR1", nullptr, 1}, {"LYR2", nullptr, 2}, {"LYR3", nullptr, 3},
    {"LYR4", nullptr, 4}, {"LYR5", nullptr, 5}, {"LYR6", nullptr, 6}, {"LYR7", nullptr, 7},
};

// Runs the decoder of the chunk's tag: 0, or -1 with tmapError set.
int decodeChunk(const unsigned char *chunk)
{
    for (const ChunkKind &kind : chunkKinds) {
        if (std::memcmp(chunk, kind.tag, 4) == 0)
            return kind.decode != nullptr ? kind.decode(chunk) : tmapDecodeLayer(chunk, kind.layer);
    }
    return 0;
}

// The one way out of a failed decode: records the code and where it
// happened (the chunk, or nowhere when the form itself is bad), and releases
// whatever this decode built.
int decodeFailure(int code, const unsigned char *image, const unsigned char *chunk,
                  const unsigned char *formEnd)
{
    tmapError = code;
    std::memset(tmapErrorChunk, 0, sizeof tmapErrorChunk);
    tmapErrorOffset = -1;
    if (chunk != nullptr) {
        // A chunk header cut off by the end of the form has fewer tag bytes.
        size_t tagBytes = size_t(formEnd - chunk) < 4 ? size_t(formEnd - chunk) : 4;
        std::memcpy(tmapErrorChunk, chunk, tagBytes);
        tmapErrorOffset = long(chunk - image);
    }
    tmapRelease();
    return -1;
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

// A failure before anything is decoded keeps the previous map.
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
    tmapErrorSystem = 0;
    errno = 0;
    std::FILE *file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        tmapErrorSystem = errno;
        return loadFailure(nullptr, TMAP_ERROR_CANNOT_OPEN);
    }

    uint32_t formLength = 0;
    if (readFormHeader(file, &formLength) != 0) {
        // A name that opens but cannot be read at all, such as a directory,
        // could not be opened as a file.
        if (std::ferror(file)) {
            tmapErrorSystem = errno;
            return loadFailure(file, TMAP_ERROR_CANNOT_OPEN);
        }
        return loadFailure(file, TMAP_ERROR_NOT_A_MAP);
    }
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
    tmapGpuMapReleased();
    freeAndClear(tmapColourMap);
    freeAndClear(tmapGraphicPixels);
    tmapReleaseTextureNames();
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

int tmapDecodeBuffer(const unsigned char *image, size_t size, int firstTexture)
{
    tmapRelease();
    tmapError = TMAP_ERROR_NONE;
    tmapErrorChunk[0] = '\0';
    tmapErrorOffset = -1;
    tmapFirstTexture = firstTexture;
    // A new map starts from an empty header, never from the last map's.
    tmapWidth = tmapHeight = tmapTileWidth = tmapTileHeight = tmapDepth = 0;
    tmapBlockRecordSize = tmapBlockCount = tmapGraphicCount = tmapLittleEndian = 0;
    tmapHeaderSeen = false;

    // What the load is asked to make must be possible before anything is
    // decoded, whatever the map holds.
    if (int refusal = tmapCheckTextureRequest(firstTexture))
        return decodeFailure(refusal, image, nullptr, nullptr);

    if (image == nullptr || size < 12 || std::memcmp(image, "FORM", 4) != 0 ||
        std::memcmp(image + 8, "FMAP", 4) != 0)
        return decodeFailure(TMAP_ERROR_NOT_A_MAP, image, nullptr, nullptr);

    uint32_t formLength = tmapReadBigEndian32(image + 4);
    if (uint64_t(formLength) + 8 > size)
        return decodeFailure(TMAP_ERROR_NOT_A_MAP, image, nullptr, nullptr);
    // The remaining count is a signed 32-bit number: a form of 4 bytes or
    // less, or one whose length reads as negative, holds no chunks.
    if (int32_t(formLength - 4) <= 0)
        return 0;

    const uint64_t formSize = uint64_t(formLength) + 8;
    const unsigned char *formEnd = image + formSize;
    uint64_t offset = 12;
    while (offset < formSize) {
        const unsigned char *chunk = image + offset;
        if (formSize - offset < 8)
            return decodeFailure(TMAP_ERROR_NOT_A_MAP, image, chunk, formEnd);
        uint32_t dataLength = tmapChunkLength(chunk);
        if (uint64_t(dataLength) > formSize - offset - 8)
            return decodeFailure(TMAP_ERROR_NOT_A_MAP, image, chunk, formEnd);
        if (decodeChunk(chunk) != 0)
            return decodeFailure(tmapError, image, chunk, formEnd);
        offset += 8 + uint64_t(dataLength);
    }
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
