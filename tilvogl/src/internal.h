// Shared between the library's sources; not installed.
//
// Which file defines what. Loading runs one way, down this list: a file
// calls only files below it, and the model calls none.
//   loader.cpp    tmapLoadFile (file to image), tmapDecodeBuffer and
//                 tmapDecode (the chunk walk, its table of chunk tags and its
//                 one failure path), tmapRelease
//   chunks.cpp    the decoders of "MPHD", "CMAP", "BKDT", "ANDT" and the layers
//   textures.cpp  the "BGFX" decoder: tile graphics to GL textures; whether
//                 the current context can take them; generated names
//   model.cpp     the model variables, tmapError and its details,
//                 tmapErrorString, tmapAllocate and tmapFree
// Beside loading, over the model:
//   layers.cpp    layer selection, cell access, row tables
//   anims.cpp     animation reset and stepping
//   draw.cpp      the draw operations, in cell order or collecting for:
//   bytexture.cpp and bytexture_*.cpp
//                 the grouping by texture and its scratch memory (see
//                 bytexture_internal.h)
//   gpu_*.cpp     the shader renderer (see gpu_internal.h)
// Under both renderers:
//   glfunctions.cpp  the one way to GL functions newer than OpenGL 1.1, and
//                    the context's version
#ifndef TILVOGL_INTERNAL_H
#define TILVOGL_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "tilvogl/tilvogl.h"

#ifdef TILVOGL_ALLOCATION_HOOK
// Allocation failure injection, compiled into the tests' copy of the library
// only: when tmapFailAllocationAt is n > 0, the n-th allocation counted in
// tmapAllocationCount fails.
extern "C" {
extern long tmapFailAllocationAt;
extern long tmapAllocationCount;
}
#endif

// Every allocation of the library goes through here. A request of 0 bytes
// still yields a distinct, freeable block. Returns nullptr on failure.
void *tmapAllocate(size_t bytes);
void tmapFree(void *block);

template <typename T> void freeAndClear(T *&array)
{
    tmapFree(array);
    array = nullptr;
}

// Number readers. Lengths are always big-endian; the other two follow the
// map's byte-order flag tmapLittleEndian.
inline uint32_t tmapReadBigEndian32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline uint32_t tmapRead16(const unsigned char *p)
{
    return tmapLittleEndian ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8))
                            : ((uint32_t(p[0]) << 8) | uint32_t(p[1]));
}

inline int32_t tmapRead32(const unsigned char *p)
{
    uint32_t value = tmapLittleEndian
        ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24))
        : tmapReadBigEndian32(p);
    return int32_t(value);
}

// A chunk as the walk hands it to a decoder: the chunk starts with its tag,
// its data begins 8 bytes further on, and the walk has checked that all
// dataLength bytes lie inside the image.
inline const unsigned char *tmapChunkData(const unsigned char *chunk) { return chunk + 8; }
inline uint32_t tmapChunkLength(const unsigned char *chunk) { return tmapReadBigEndian32(chunk + 4); }

// How a chunk decoder fails: sets tmapError and returns -1. The walk then
// records the chunk and releases the map.
inline int tmapFail(int code)
{
    tmapError = code;
    return -1;
}

// Chunk decoders, run by the chunk walk. Each returns 0, or -1 with
// tmapError set.
int tmapDecodeHeader(const unsigned char *chunk);                  // "MPHD"
int tmapDecodeColourMap(const unsigned char *chunk);               // "CMAP"
int tmapDecodeBlocks(const unsigned char *chunk);                  // "BKDT"
int tmapDecodeAnims(const unsigned char *chunk);                   // "ANDT"
int tmapDecodeGraphics(const unsigned char *chunk);                // "BGFX"
int tmapDecodeLayer(const unsigned char *chunk, int layer);        // "BODY", "LYR1".."LYR7"

// Whether the current decode has met its "MPHD" chunk yet (model.cpp).
extern bool tmapHeaderSeen;

// Entries of tmapTextureNames (model.cpp); kept apart from tmapGraphicCount,
// which a later chunk of a damaged file could change.
extern int tmapTextureNameCount;

// Whether a load can make the graphics as firstTexture and tmapTextureFilter
// ask: TMAP_ERROR_NONE, TMAP_ERROR_INVALID_ARGUMENT for an unknown mode or
// filter, or TMAP_ERROR_NO_GL_CONTEXT when GL textures are asked for and no
// current context takes them as "BGFX" makes them. Asks the GL only, so it
// changes no GL state and sets no GL error.
int tmapCheckTextureRequest(int firstTexture);

// Deletes the generated texture names, if any, and frees their array.
void tmapReleaseTextureNames();

// The GL texture name of a tile graphic: the caller's first name plus the
// graphic (computed as ever, whatever the graphic), the generated name, or
// 0 for a graphic without a generated texture and for a load without
// textures. Every draw path asks here.
inline uint32_t tmapTextureName(int32_t graphic)
{
    if (tmapFirstTexture >= 0)
        return uint32_t(tmapFirstTexture) + uint32_t(graphic);
    if (tmapTextureNames != nullptr && graphic >= 0 && graphic < tmapTextureNameCount)
        return tmapTextureNames[graphic];
    return 0;
}

// Bytes of one tile graphic in "BGFX" as the header describes it.
inline uint64_t tmapGraphicSize()
{
    return uint64_t(tmapTileWidth) * uint64_t(tmapTileHeight) * uint64_t((tmapDepth + 1) / 8);
}

// The block that a cell value shows now, or nullptr when the value names no
// existing block (bad block index, animation, frame or frame entry).
inline const TmapBlock *tmapResolveCell(int32_t value)
{
    int32_t block = value;
    if (value < 0) {
        int64_t anim = -int64_t(value) - 1;
        if (anim >= tmapAnimCount)
            return nullptr;
        int32_t frame = tmapAnims[anim].current;
        if (frame < 0 || frame >= tmapAnimFrameCount)
            return nullptr;
        block = tmapAnimFrames[frame];
        if (block < 0)
            return nullptr;
    }
    if (tmapBlocks == nullptr || block >= tmapBlockCount)
        return nullptr;
    return &tmapBlocks[block];
}

// The cells of one axis of a window that lie inside the layer, and the
// position of the first of them. Both renderers clip and place windows
// with these.
struct TmapSpan {
    int64_t begin;
    int64_t end;
    float origin;
};

// Positions are running sums rounded to single precision after every
// addition; a clipped window reproduces the sums of the cells it skips.
inline float tmapAdvance(float position, float step, int64_t count)
{
    // Far outside any layer exact rounding no longer matters.
    if (count > 65536)
        return float(double(position) + double(step) * double(count));
    for (int64_t i = 0; i < count; ++i)
        position = position + step;
    return position;
}

inline TmapSpan tmapClipToLayer(int first, int count, int size, float origin, float step)
{
    TmapSpan span;
    span.begin = first < 0 ? 0 : first;
    int64_t end = int64_t(first) + count;
    span.end = end < size ? end : size;
    span.origin = span.begin < span.end ? tmapAdvance(origin, step, span.begin - first) : origin;
    return span;
}

// What the shader renderer's copy of the map hears from the model
// (gpu_upload.cpp): a cell stored by tmapSetCell, and the map released.
void tmapGpuCellChanged(const int32_t *cell);
void tmapGpuMapReleased();

#endif
