// Shared between the library's sources; not installed.
//
// Which file defines what. Loading runs one way, down this list: a file
// calls only files below it, and the model calls none.
//   maps.cpp      maps set aside in handles: tmapSetAside, tmapMakeCurrent,
//                 tmapReleaseMap, and the decodes into a handle
//   loader.cpp    tmapLoadFile and tmapReadMapFile (file to image),
//                 tmapDecodeModel (the one decoder: the chunk walk, its table
//                 of chunk tags and its one failure path), tmapDecodeBuffer
//                 and tmapDecode (decode and install), tmapRelease
//   chunks.cpp    the decoders of "MPHD", "CMAP", "BKDT", "ANDT" and the layers
//   textures.cpp  the "BGFX" decoder: tile graphics to RGBA; those made GL
//                 textures (tmapMakeTextures); whether the current context
//                 can take them, or the fixed-function draws; generated names
//   model.cpp     the model variables and the map structure moved in and out
//                 of them, tmapError and its details, tmapErrorString,
//                 tmapAllocate and tmapFree
// Beside loading, over the model:
//   layers.cpp    layer selection, cell access, row tables
//   anims.cpp     animation reset and stepping
//   columns.cpp   block columns counted and measured (the walk: columns.h)
//   facerule.cpp  which faces a view cannot show (facerule.h)
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
// tmapAllocationCount fails. Both are the calling thread's own, so decodes on
// other threads neither race on them nor disturb a test's count.
extern "C" {
extern thread_local long tmapFailAllocationAt;
extern thread_local long tmapAllocationCount;
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

// One map: every value of the current map's variables, as the decoders fill
// it and a map set aside keeps it. The variables of tilvogl.h are the
// installed copy of one such structure (model.cpp moves maps in and out);
// nothing here is process-wide, so a decode into one touches nothing shared.
struct TmapModel {
    bool present;          // a decode succeeded: a map, though perhaps of no arrays
    bool headerSeen;       // the decode has met its "MPHD" chunk
    int width, height, tileWidth, tileHeight, depth, blockRecordSize, blockCount, graphicCount;
    int littleEndian;
    unsigned char *colourMap;
    int colourMapSize;
    TmapBlock *blocks;
    int animCount;
    TmapAnim *anims;
    int32_t *animFrames;
    int animFrameCount;
    int32_t *layers[TMAP_LAYER_COUNT];
    int32_t **layerRows[TMAP_LAYER_COUNT];
    int32_t *currentLayer;
    int32_t **currentRows;
    int firstTexture;
    // Every graphic as RGBA: kept with TMAP_TEXTURES_NONE, and for the other
    // modes until tmapMakeTextures turns them into the textures asked for.
    unsigned char *graphicPixels;
    // Per graphic, 1 when all its pixels are opaque (tmapPixelsOpaque), as
    // decoded: the visible-face rule lets opaque faces hide what lies behind.
    uint8_t *graphicOpaque;
    int graphicOpaqueCount;
    bool texturesPending;
    unsigned int *textureNames; // TMAP_TEXTURES_GENERATED
    int textureNameCount;       // kept apart from graphicCount, which a later
                                // chunk of a damaged file could change
    // Whether the fixed-function draws can use the context: 0 not asked yet
    // (a map without textures never asked), 1 yes, -1 no.
    int fixedFunctionUsable;
};

// Where and why a decode failed, as the public TmapLoadError has it.
void tmapClearLoadError(TmapLoadError &error);

// The current map's variables as a model, and back (model.cpp): a fixed set
// of pointers and numbers, no array copied. tmapTakeModel leaves the
// variables as with no map.
void tmapTakeModel(TmapModel &map);
void tmapInstallModel(const TmapModel &map);

// Frees every array of a map and deletes its generated textures (a GL call:
// the map's context must be current when it has them). Leaves it empty.
void tmapFreeModel(TmapModel &map);

// The internal per-map values that have no public variable, for the current
// map (model.cpp).
extern bool tmapMapPresent;
extern int tmapTextureNameCount;
extern int tmapFixedFunctionUsable;
extern uint8_t *tmapGraphicOpaque;
extern int tmapGraphicOpaqueCount;

// Whether every one of an RGBA graphic's pixels has alpha 255.
inline bool tmapPixelsOpaque(const unsigned char *rgba, size_t pixels)
{
    for (size_t p = 0; p < pixels; ++p)
        if (rgba[p * 4 + 3] != 255)
            return false;
    return true;
}

// Number readers. Lengths are always big-endian; the other two follow the
// map's byte-order flag.
inline uint32_t tmapReadBigEndian32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline uint32_t tmapRead16(const TmapModel &map, const unsigned char *p)
{
    return map.littleEndian ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8))
                            : ((uint32_t(p[0]) << 8) | uint32_t(p[1]));
}

inline int32_t tmapRead32(const TmapModel &map, const unsigned char *p)
{
    uint32_t value = map.littleEndian
        ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24))
        : tmapReadBigEndian32(p);
    return int32_t(value);
}

// A chunk as the walk hands it to a decoder: the chunk starts with its tag,
// its data begins 8 bytes further on, and the walk has checked that all
// dataLength bytes lie inside the image.
inline const unsigned char *tmapChunkData(const unsigned char *chunk) { return chunk + 8; }
inline uint32_t tmapChunkLength(const unsigned char *chunk) { return tmapReadBigEndian32(chunk + 4); }

// Chunk decoders, run by the chunk walk into the map being decoded. Each
// returns TMAP_ERROR_NONE, or the error code of its failure; the walk then
// records the chunk and frees the map. None touches a process-wide variable
// or calls the GL.
int tmapDecodeHeader(TmapModel &map, const unsigned char *chunk);           // "MPHD"
int tmapDecodeColourMap(TmapModel &map, const unsigned char *chunk);        // "CMAP"
int tmapDecodeBlocks(TmapModel &map, const unsigned char *chunk);           // "BKDT"
int tmapDecodeAnims(TmapModel &map, const unsigned char *chunk);            // "ANDT"
int tmapDecodeGraphics(TmapModel &map, const unsigned char *chunk);         // "BGFX"
int tmapDecodeLayer(TmapModel &map, const unsigned char *chunk, int layer); // "BODY", "LYR1".."LYR7"

// The one decoder (loader.cpp): an image of size bytes into map, which
// starts empty. Returns 0, or -1 with error filled and map left empty.
// Touches nothing process-wide and makes no GL call: safe on any thread.
int tmapDecodeModel(const unsigned char *image, size_t size, int firstTexture, TmapModel &map,
                    TmapLoadError &error);

// Reads a whole map file into a new image of *size bytes that the caller
// frees (loader.cpp). Returns 0, or -1 with error filled and no image.
int tmapReadMapFile(const char *path, unsigned char **image, size_t *size, TmapLoadError &error);

// Handles (maps.cpp). Before a load replaces the current map: sets it aside
// into its handle when it has one, else releases it (tmapRelease).
void tmapVacateCurrentMap();
// After tmapRelease freed the current map: frees the handle it came from.
void tmapForgetCurrentHandle();

// Whether a load can make the graphics as firstTexture and tmapTextureFilter
// ask: TMAP_ERROR_NONE, TMAP_ERROR_INVALID_ARGUMENT for an unknown mode or
// filter, or TMAP_ERROR_NO_GL_CONTEXT when GL textures are asked for and no
// current context takes them as "BGFX" makes them. Asks the GL only, so it
// changes no GL state and sets no GL error.
int tmapCheckTextureRequest(int firstTexture);

// Turns a decoded map's kept graphics into the GL textures its firstTexture
// asks for, with tmapTextureFilter, in the current context (which
// tmapCheckTextureRequest accepted), and frees the pixels; nothing for a map
// without pending textures. Returns TMAP_ERROR_NONE or
// TMAP_ERROR_OUT_OF_MEMORY (nothing made).
int tmapMakeTextures(TmapModel &map);

// Whether the current context takes the fixed-function draws; asked of the
// GL once per map (queries only), for the current map.
bool tmapFixedFunctionContext();

// Bytes of one tile graphic in "BGFX" as the header describes it.
inline uint64_t tmapGraphicSize(const TmapModel &map)
{
    return uint64_t(map.tileWidth) * uint64_t(map.tileHeight) * uint64_t((map.depth + 1) / 8);
}

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

// The faces the last block draw of either renderer drew (draw.cpp).
extern int64_t tmapFacesDrawn;

// What the shader renderer's copy of the map hears from the model
// (gpu_upload.cpp): a cell stored by tmapSetCell, and the map released.
void tmapGpuCellChanged(const int32_t *cell);
void tmapGpuMapReleased();

#endif
