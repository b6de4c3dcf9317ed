// The current map's variables, moving a map into and out of them, the error
// state, and the library's one allocator. The loader and the handles install
// maps here; nothing here calls back into them.
#include <GL/gl.h> // glDeleteTextures of generated names
#include <cstdlib>
#include <cstring>

#include "internal.h"

extern "C" {
int tmapError = 0;
char tmapErrorChunk[5] = "";
int64_t tmapErrorOffset = -1;

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
int tmapErrorSystem = 0;
unsigned int tmapTextureFormat = 0x1908; // GL_RGBA
unsigned char *tmapGraphicPixels = nullptr;
unsigned int *tmapTextureNames = nullptr;
unsigned int tmapTextureFilter = 0x2601; // GL_LINEAR
}

bool tmapMapPresent = false;
int tmapTextureNameCount = 0;
int tmapFixedFunctionUsable = 0;
uint8_t *tmapGraphicOpaque = nullptr;
int tmapGraphicOpaqueCount = 0;

#ifdef TILVOGL_ALLOCATION_HOOK
extern "C" {
thread_local long tmapFailAllocationAt = 0;
thread_local long tmapAllocationCount = 0;
}
#endif

// Every field of a model against its variable, in one list, so that taking
// and installing cannot miss one.
#define TMAP_MODEL_FIELDS(F)                                                                       \
    F(present, tmapMapPresent) F(width, tmapWidth) F(height, tmapHeight)                           \
    F(tileWidth, tmapTileWidth) F(tileHeight, tmapTileHeight) F(depth, tmapDepth)                  \
    F(blockRecordSize, tmapBlockRecordSize) F(blockCount, tmapBlockCount)                          \
    F(graphicCount, tmapGraphicCount) F(littleEndian, tmapLittleEndian)                            \
    F(colourMap, tmapColourMap) F(colourMapSize, tmapColourMapSize) F(blocks, tmapBlocks)          \
    F(animCount, tmapAnimCount) F(anims, tmapAnims) F(animFrames, tmapAnimFrames)                  \
    F(animFrameCount, tmapAnimFrameCount) F(currentLayer, tmapCurrentLayer)                        \
    F(currentRows, tmapCurrentRows) F(firstTexture, tmapFirstTexture)                              \
    F(graphicPixels, tmapGraphicPixels) F(textureNames, tmapTextureNames)                          \
    F(textureNameCount, tmapTextureNameCount) F(fixedFunctionUsable, tmapFixedFunctionUsable)         \
    F(graphicOpaque, tmapGraphicOpaque) F(graphicOpaqueCount, tmapGraphicOpaqueCount)

void tmapTakeModel(TmapModel &map)
{
    map = TmapModel();
#define TMAP_TAKE(field, variable) map.field = variable;
    TMAP_MODEL_FIELDS(TMAP_TAKE)
#undef TMAP_TAKE
    std::memcpy(map.layers, tmapLayers, sizeof map.layers);
    std::memcpy(map.layerRows, tmapLayerRows, sizeof map.layerRows);
    map.headerSeen = map.present;
    tmapInstallModel(TmapModel());
}

void tmapInstallModel(const TmapModel &map)
{
#define TMAP_INSTALL(field, variable) variable = map.field;
    TMAP_MODEL_FIELDS(TMAP_INSTALL)
#undef TMAP_INSTALL
    std::memcpy(tmapLayers, map.layers, sizeof tmapLayers);
    std::memcpy(tmapLayerRows, map.layerRows, sizeof tmapLayerRows);
}

void tmapFreeModel(TmapModel &map)
{
    tmapFree(map.colourMap);
    tmapFree(map.graphicPixels);
    tmapFree(map.graphicOpaque);
    if (map.textureNames != nullptr && map.textureNameCount > 0)
        glDeleteTextures(map.textureNameCount, map.textureNames);
    tmapFree(map.textureNames);
    tmapFree(map.blocks);
    tmapFree(map.anims);
    tmapFree(map.animFrames);
    for (int32_t *layer : map.layers)
        tmapFree(layer);
    for (int32_t **rows : map.layerRows)
        tmapFree(rows);
    map = TmapModel();
}

void tmapClearLoadError(TmapLoadError &error)
{
    error.code = TMAP_ERROR_NONE;
    std::memset(error.chunk, 0, sizeof error.chunk);
    error.offset = -1;
    error.system = 0;
}

void *tmapAllocate(size_t bytes)
{
#ifdef TILVOGL_ALLOCATION_HOOK
    ++tmapAllocationCount;
    if (tmapFailAllocationAt > 0 && tmapAllocationCount == tmapFailAllocationAt)
        return nullptr;
#endif
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void tmapFree(void *block) { std::free(block); }

const char *tmapErrorString(int code)
{
    switch (code) {
    case TMAP_ERROR_NONE: return "no error";
    case TMAP_ERROR_OUT_OF_MEMORY: return "out of memory";
    case TMAP_ERROR_NOT_A_MAP: return "not a readable map file";
    case TMAP_ERROR_CANNOT_OPEN: return "file could not be opened";
    case TMAP_ERROR_UNSUPPORTED_HEADER: return "unsupported map header";
    case TMAP_ERROR_NO_GL_CONTEXT: return "no usable OpenGL context";
    case TMAP_ERROR_GL_LIMITS: return "map exceeds the OpenGL limits";
    case TMAP_ERROR_INVALID_ARGUMENT: return "invalid argument";
    case TMAP_ERROR_BAD_HANDLE: return "not a map handle";
    case TMAP_ERROR_ALREADY_CURRENT: return "map is already current";
    case TMAP_ERROR_NOT_UPLOADED: return "map not uploaded to the GL";
    case TMAP_ERROR_NO_MAP: return "no current map or layer";
    case TMAP_ERROR_TEXTURE_MODE: return "map not loaded with TMAP_TEXTURES_NONE";
    case TMAP_ERROR_SHADER: return "a shader did not compile or link";
    default: return "unknown error";
    }
}

int tmapVersion(void)
{
    return TMAP_VERSION_MAJOR * 10000 + TMAP_VERSION_MINOR * 100 + TMAP_VERSION_PATCH;
}
