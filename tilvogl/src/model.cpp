// The current map's variables, the error state, and the library's one
// allocator. Everything here is written by the decoders and the loader;
// nothing here calls back into them.
#include <cstdlib>

#include "internal.h"

extern "C" {
int tmapError = 0;
char tmapErrorChunk[5] = "";
long tmapErrorOffset = -1;

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

int tmapTextureNameCount = 0;

bool tmapHeaderSeen = false;

#ifdef TILVOGL_ALLOCATION_HOOK
extern "C" {
long tmapFailAllocationAt = 0;
long tmapAllocationCount = 0;
}
#endif

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
    default: return "unknown error";
    }
}

int tmapVersion(void)
{
    return TMAP_VERSION_MAJOR * 10000 + TMAP_VERSION_MINOR * 100 + TMAP_VERSION_PATCH;
}
