// Loading a map: the file is read whole (tmapLoadFile, tmapLoadFileAside),
// the image's chunks are walked and each known chunk is handed to its
// decoder (tmapDecodeModel, the one decoder behind every entry point), and
// the decoded map is installed as the current one (tmapDecodeBuffer,
// tmapDecode) or kept in a handle (maps.cpp); tmapRelease frees the current
// map. Calls run one way, from here to the decoders and the model; every
// failure of a decode leaves through decodeFailure, and every failure to
// read a file through readFailure.
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h> // MultiByteToWideChar: UTF-8 paths for _wfopen
#endif

#include "bytexture.h" // tmapReleaseDrawScratch
#include "internal.h"

namespace {

// Every chunk tag the decode knows, with its decoder. Layers share one
// decoder that also takes the layer number; other tags are skipped.
struct ChunkKind {
    char tag[5];
    int (*decode)(TmapModel &map, const unsigned char *chunk); // nullptr for the layers
    int layer;
};

const ChunkKind chunkKinds[] = {
    {"MPHD", tmapDecodeHeader, -1}, {"CMAP", tmapDecodeColourMap, -1},
    {"BKDT", tmapDecodeBlocks, -1}, {"ANDT", tmapDecodeAnims, -1},
    {"BGFX", tmapDecodeGraphics, -1},
    {"BODY", nullptr, 0}, {"LYR1", nullptr, 1}, {"LYR2", nullptr, 2}, {"LYR3", nullptr, 3},
    {"LYR4", nullptr, 4}, {"LYR5", nullptr, 5}, {"LYR6", nullptr, 6}, {"LYR7", nullptr, 7},
};

// Runs the decoder of the chunk's tag: TMAP_ERROR_NONE or its failure.
int decodeChunk(TmapModel &map, const unsigned char *chunk)
{
    for (const ChunkKind &kind : chunkKinds) {
        if (std::memcmp(chunk, kind.tag, 4) == 0)
            return kind.decode != nullptr ? kind.decode(map, chunk) : tmapDecodeLayer(map, chunk, kind.layer);
    }
    return TMAP_ERROR_NONE;
}

// The one way out of a failed decode: records the code and where it
// happened (the chunk, or nowhere when the form itself is bad), and frees
// whatever this decode built.
int decodeFailure(int code, TmapModel &map, TmapLoadError &error, const unsigned char *image,
                  const unsigned char *chunk, const unsigned char *formEnd)
{
    tmapClearLoadError(error);
    error.code = code;
    if (chunk != nullptr) {
        // A chunk header cut off by the end of the form has fewer tag bytes.
        size_t tagBytes = size_t(formEnd - chunk) < 4 ? size_t(formEnd - chunk) : 4;
        std::memcpy(error.chunk, chunk, tagBytes);
        error.offset = int64_t(chunk - image);
    }
    tmapFreeModel(map);
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

// Opens path for binary reading, or sets errno and returns nullptr.
std::FILE *openForReading(const char *path)
{
#if defined(_WIN32)
    // Windows' fopen takes the ANSI code page, so the UTF-8 path becomes
    // UTF-16 for _wfopen: on the stack, unless it is longer than a path
    // without the "\\?\" prefix can be. Bytes that are not UTF-8 name no file.
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (units <= 0) {
        errno = EILSEQ;
        return nullptr;
    }
    wchar_t shortPath[1024];
    wchar_t *widePath = shortPath;
    if (size_t(units) > sizeof shortPath / sizeof shortPath[0])
        widePath = static_cast<wchar_t *>(tmapAllocate(size_t(units) * sizeof(wchar_t)));
    if (widePath == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, units);
    std::FILE *file = _wfopen(widePath, L"rb");
    if (widePath != shortPath) {
        const int openError = errno;
        tmapFree(widePath);
        errno = openError;
    }
    return file;
#else
    return std::fopen(path, "rb");
#endif
}

// Bytes in the file, or -1 when it cannot be measured. 64-bit positions:
// a long, which fseek and ftell take, has 32 bits on Windows.
int64_t fileSize(std::FILE *file)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    const int64_t size = _ftelli64(file);
    if (_fseeki64(file, 0, SEEK_SET) != 0)
        return -1;
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    const int64_t size = ftello(file);
    if (fseeko(file, 0, SEEK_SET) != 0)
        return -1;
#endif
    return size;
}

// A failure to read the file; the caller decides what happens to its maps.
int readFailure(std::FILE *file, int code, int system, TmapLoadError &error)
{
    if (file != nullptr)
        std::fclose(file);
    tmapClearLoadError(error);
    error.code = code;
    error.system = system;
    return -1;
}

// The current map's error variables from a decode's error record.
void reportLoadError(const TmapLoadError &error)
{
    tmapError = error.code;
    std::memcpy(tmapErrorChunk, error.chunk, sizeof tmapErrorChunk);
    tmapErrorOffset = error.offset;
    tmapErrorSystem = error.system;
}

} // namespace

// Reads a whole map file into a new image of *size bytes (the caller frees
// it). Returns 0, or -1 with error filled and no image: code 3 with the
// system's reason when the file cannot be opened or read, 2 when it does
// not begin with a form or is shorter than its form, 1 for the image.
int tmapReadMapFile(const char *path, unsigned char **image, size_t *size, TmapLoadError &error)
{
    *image = nullptr;
    *size = 0;
    errno = 0;
    std::FILE *file = path != nullptr ? openForReading(path) : nullptr;
    if (file == nullptr)
        return readFailure(nullptr, TMAP_ERROR_CANNOT_OPEN, errno, error);

    uint32_t formLength = 0;
    if (readFormHeader(file, &formLength) != 0) {
        // A name that opens but cannot be read at all, such as a directory,
        // could not be opened as a file.
        if (std::ferror(file))
            return readFailure(file, TMAP_ERROR_CANNOT_OPEN, errno, error);
        return readFailure(file, TMAP_ERROR_NOT_A_MAP, 0, error);
    }
    // The form's own length is not trusted: a file shorter than it claims is
    // refused before anything that size is allocated.
    uint64_t imageSize = uint64_t(formLength) + 8;
    const int64_t fileBytes = fileSize(file);
    if (fileBytes < 0 || imageSize > uint64_t(fileBytes))
        return readFailure(file, TMAP_ERROR_NOT_A_MAP, 0, error);

    unsigned char *bytes = static_cast<unsigned char *>(tmapAllocate(size_t(imageSize)));
    if (bytes == nullptr)
        return readFailure(file, TMAP_ERROR_OUT_OF_MEMORY, 0, error);
    if (std::fread(bytes, 1, size_t(imageSize), file) != size_t(imageSize)) {
        tmapFree(bytes);
        return readFailure(file, TMAP_ERROR_NOT_A_MAP, 0, error);
    }
    std::fclose(file);
    *image = bytes;
    *size = size_t(imageSize);
    tmapClearLoadError(error);
    return 0;
}

int tmapLoadFile(const char *path, int firstTexture)
{
    TmapLoadError error;
    unsigned char *image = nullptr;
    size_t size = 0;
    // A failure before anything is decoded keeps the previous map.
    if (tmapReadMapFile(path, &image, &size, error) != 0) {
        reportLoadError(error);
        return -1;
    }
    tmapErrorSystem = 0;
    int result = tmapDecodeBuffer(image, size, firstTexture);
    tmapFree(image);
    return result;
}

void tmapRelease(void)
{
    tmapReleaseDrawScratch();
    tmapGpuMapReleased();
    TmapModel map;
    tmapTakeModel(map);
    tmapFreeModel(map);
    tmapForgetCurrentHandle();
}

int tmapDecodeModel(const unsigned char *image, size_t size, int firstTexture, TmapModel &map,
                    TmapLoadError &error)
{
    map = TmapModel();
    map.firstTexture = firstTexture;
    tmapClearLoadError(error);
    if (firstTexture < TMAP_TEXTURES_GENERATED)
        return decodeFailure(TMAP_ERROR_INVALID_ARGUMENT, map, error, image, nullptr, nullptr);
    if (image == nullptr || size < 12 || std::memcmp(image, "FORM", 4) != 0 ||
        std::memcmp(image + 8, "FMAP", 4) != 0)
        return decodeFailure(TMAP_ERROR_NOT_A_MAP, map, error, image, nullptr, nullptr);

    uint32_t formLength = tmapReadBigEndian32(image + 4);
    if (uint64_t(formLength) + 8 > size)
        return decodeFailure(TMAP_ERROR_NOT_A_MAP, map, error, image, nullptr, nullptr);
    const uint64_t formSize = uint64_t(formLength) + 8;
    const unsigned char *formEnd = image + formSize;
    uint64_t offset = 12;
    // The remaining count is a signed 32-bit number: a form of 4 bytes or
    // less, or one whose length reads as negative, holds no chunks.
    if (int32_t(formLength - 4) <= 0)
        offset = formSize;
    while (offset < formSize) {
        const unsigned char *chunk = image + offset;
        if (formSize - offset < 8)
            return decodeFailure(TMAP_ERROR_NOT_A_MAP, map, error, image, chunk, formEnd);
        uint32_t dataLength = tmapChunkLength(chunk);
        if (uint64_t(dataLength) > formSize - offset - 8)
            return decodeFailure(TMAP_ERROR_NOT_A_MAP, map, error, image, chunk, formEnd);
        if (int code = decodeChunk(map, chunk))
            return decodeFailure(code, map, error, image, chunk, formEnd);
        offset += 8 + uint64_t(dataLength);
    }
    map.present = true;
    map.texturesPending = firstTexture != TMAP_TEXTURES_NONE;
    return 0;
}

int tmapDecodeBuffer(const unsigned char *image, size_t size, int firstTexture)
{
    tmapVacateCurrentMap();
    tmapError = TMAP_ERROR_NONE;
    tmapErrorChunk[0] = '\0';
    tmapErrorOffset = -1;
    tmapFirstTexture = firstTexture;

    TmapModel map;
    TmapLoadError error;
    // What the load is asked to make must be possible before anything is
    // decoded, whatever the map holds.
    if (int refusal = tmapCheckTextureRequest(firstTexture)) {
        tmapClearLoadError(error);
        error.code = refusal;
    } else if (tmapDecodeModel(image, size, firstTexture, map, error) == 0) {
        error.code = tmapMakeTextures(map);
        if (error.code == TMAP_ERROR_NONE) {
            tmapInstallModel(map);
            return 0;
        }
        tmapFreeModel(map);
    }
    error.system = tmapErrorSystem;
    reportLoadError(error);
    return -1;
}

int tmapDecode(const unsigned char *image, int firstTexture)
{
    // The caller vouches that the image holds the whole form it describes.
    size_t size = 12;
    if (image != nullptr && std::memcmp(image, "FORM", 4) == 0)
        size = size_t(tmapReadBigEndian32(image + 4)) + 8;
    return tmapDecodeBuffer(image, size, firstTexture);
}
