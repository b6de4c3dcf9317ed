// "BGFX": tile graphics converted to RGBA into the map being decoded (no GL
// call, so a decode runs on any thread), and, on the drawing thread, those
// pixels turned into GL textures, unless the load asked for none and keeps
// them in tmapGraphicPixels. Also whether the current context can take those
// textures or the fixed-function draws, and the names the library generates
// for the textures when asked to.
#include <GL/gl.h> // texture definition; glGetString, glGetIntegerv for the context check
#include <cstring>

#include "glfunctions.h" // tmapReadGlVersion
#include "internal.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_CONTEXT_FLAGS
#define GL_CONTEXT_FLAGS 0x821E
#endif
#ifndef GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT
#define GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT 0x00000001
#endif
#ifndef GL_CONTEXT_PROFILE_MASK
#define GL_CONTEXT_PROFILE_MASK 0x9126
#endif
#ifndef GL_CONTEXT_CORE_PROFILE_BIT
#define GL_CONTEXT_CORE_PROFILE_BIT 0x00000001
#endif

namespace {

struct Rgba {
    unsigned char r, g, b, a;
};

inline unsigned char widen5(unsigned v) { return static_cast<unsigned char>(v * 8 + v / 4); }
inline unsigned char widen6(unsigned v) { return static_cast<unsigned char>(v * 4 + v / 16); }

// Magenta is the colour key of the 15, 16 and 24-bit depths.
inline unsigned char keyedAlpha(unsigned char r, unsigned char g, unsigned char b)
{
    return (r == 255 && g == 0 && b == 255) ? 0 : 255;
}

inline void putRgb(unsigned char *out, unsigned char r, unsigned char g, unsigned char b)
{
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = keyedAlpha(r, g, b);
}

// Index 0 is transparent; entries past the end of a short colour map are black.
void buildPalette(const TmapModel &map, Rgba palette[256])
{
    for (int i = 0; i < 256; ++i) {
        Rgba &entry = palette[i];
        entry = Rgba{0, 0, 0, static_cast<unsigned char>(i == 0 ? 0 : 255)};
        if (3 * i + 2 < map.colourMapSize) {
            entry.r = map.colourMap[3 * i];
            entry.g = map.colourMap[3 * i + 1];
            entry.b = map.colourMap[3 * i + 2];
        }
    }
}

// Converts pixelCount stored pixels into RGBA at out. Depths other than the
// five known ones write nothing, leaving the zeroed scratch as it is.
void convertPixels(int depth, const unsigned char *in, unsigned char *out, size_t pixelCount,
                   const Rgba *palette)
{
    switch (depth) {
    case 8:
        for (size_t i = 0; i < pixelCount; ++i, out += 4)
            std::memcpy(out, &palette[in[i]], 4);
        return;
    case 15:
        for (size_t i = 0; i < pixelCount; ++i, in += 2, out += 4)
            putRgb(out, widen5((in[0] >> 2) & 31u), widen5(((in[0] & 3u) << 3) | (in[1] >> 5)),
                   widen5(in[1] & 31u));
        return;
    case 16:
        for (size_t i = 0; i < pixelCount; ++i, in += 2, out += 4)
            putRgb(out, widen5(in[0] >> 3), widen6(((in[0] & 7u) << 3) | (in[1] >> 5)),
                   widen5(in[1] & 31u));
        return;
    case 24:
        for (size_t i = 0; i < pixelCount; ++i, in += 3, out += 4)
            putRgb(out, in[0], in[1], in[2]);
        return;
    case 32:
        for (size_t i = 0; i < pixelCount; ++i, in += 4, out += 4) {
            out[0] = in[1];
            out[1] = in[2];
            out[2] = in[3];
            out[3] = in[0];
        }
        return;
    default:
        return;
    }
}

void uploadGraphic(const TmapModel &map, GLuint name, const unsigned char *pixels)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(tmapTextureFilter));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(tmapTextureFilter));
#if !defined(__EMSCRIPTEN__)
    // WebGL has no texture environment, nor the function: a WebGL context
    // is an ES one, which never takes textures (contextTakesTextures), and a
    // program of the library for the browser links without a stand-in.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
#endif
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(tmapTextureFormat), map.tileWidth, map.tileHeight, 0,
                 GLenum(tmapTextureFormat), GL_UNSIGNED_BYTE, pixels);
}

bool contextTakesTextures()
{
    // With no context current the GL answers no version at all.
    TmapGlVersion version;
    if (!tmapReadGlVersion(reinterpret_cast<const char *>(glGetString(GL_VERSION)), version))
        return false;
    // OpenGL ES 2 and later have no texture environment.
    if (version.embedded)
        return false;
    const int major = version.major, minor = version.minor;
    // Core profiles and forward-compatible contexts refuse names that
    // glGenTextures did not make and glTexEnvf. Each query is asked only
    // of a version that knows it, so none sets a GL error.
    if (major >= 3) {
        GLint flags = 0;
        glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
        if (flags & GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT)
            return false;
    }
    if (major > 3 || (major == 3 && minor >= 2)) {
        GLint profile = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        if (profile & GL_CONTEXT_CORE_PROFILE_BIT)
            return false;
    }
    return true;
}

} // namespace

int tmapCheckTextureRequest(int firstTexture)
{
    if (firstTexture < TMAP_TEXTURES_GENERATED ||
        (tmapTextureFilter != GL_NEAREST && tmapTextureFilter != GL_LINEAR))
        return TMAP_ERROR_INVALID_ARGUMENT;
    if (firstTexture != TMAP_TEXTURES_NONE && !contextTakesTextures())
        return TMAP_ERROR_NO_GL_CONTEXT;
    return TMAP_ERROR_NONE;
}

bool tmapFixedFunctionContext()
{
    if (tmapFixedFunctionUsable == 0)
        tmapFixedFunctionUsable = contextTakesTextures() ? 1 : -1;
    return tmapFixedFunctionUsable > 0;
}

int tmapMakeTextures(TmapModel &map)
{
    if (!map.texturesPending)
        return TMAP_ERROR_NONE;
    const int count = map.graphicPixels != nullptr ? map.graphicCount : 0;
    if (map.firstTexture == TMAP_TEXTURES_GENERATED && count > 0) {
        // Names from glGenTextures, so no texture of the program's own is
        // overwritten.
        map.textureNames = static_cast<unsigned int *>(tmapAllocate(size_t(count) * sizeof(unsigned int)));
        if (map.textureNames == nullptr)
            return TMAP_ERROR_OUT_OF_MEMORY;
        glGenTextures(count, map.textureNames);
        map.textureNameCount = count;
    }
    const size_t graphicBytes = size_t(map.tileWidth) * size_t(map.tileHeight) * 4;
    for (int g = 0; g < count; ++g) {
        GLuint name = map.firstTexture >= 0 ? GLuint(uint32_t(map.firstTexture) + uint32_t(g))
                                            : map.textureNames[g];
        uploadGraphic(map, name, map.graphicPixels + size_t(g) * graphicBytes);
    }
    // Only the textures hold the pixels now.
    freeAndClear(map.graphicPixels);
    map.texturesPending = false;
    map.fixedFunctionUsable = 1;
    return TMAP_ERROR_NONE;
}

int tmapDecodeGraphics(TmapModel &map, const unsigned char *chunk)
{
    if (!map.headerSeen)
        return TMAP_ERROR_NOT_A_MAP;
    // 8-bit pixels are colour map indices: the map must come first.
    if (map.depth == 8 && map.colourMap == nullptr)
        return TMAP_ERROR_NOT_A_MAP;
    const uint64_t graphicSize = tmapGraphicSize(map);
    const uint64_t count = uint64_t(map.graphicCount);
    if (count * graphicSize > tmapChunkLength(chunk))
        return TMAP_ERROR_NOT_A_MAP;
    // A second "BGFX" chunk replaces the first.
    freeAndClear(map.graphicPixels);
    freeAndClear(map.graphicOpaque);
    map.graphicOpaqueCount = 0;
    if (count == 0)
        return TMAP_ERROR_NONE;

    Rgba palette[256];
    if (map.depth == 8)
        buildPalette(map, palette);
    // One array for all graphics, graphic after graphic. Its size is bounded
    // by the chunk, at most four bytes out per byte in; depths without a
    // conversion leave their graphics zero, transparent black.
    const size_t pixelCount = size_t(map.tileWidth) * size_t(map.tileHeight);
    const size_t keptBytes = size_t(count) * pixelCount * 4;
    map.graphicPixels = static_cast<unsigned char *>(tmapAllocate(keptBytes));
    map.graphicOpaque = static_cast<uint8_t *>(tmapAllocate(size_t(count)));
    if (map.graphicPixels == nullptr || map.graphicOpaque == nullptr)
        return TMAP_ERROR_OUT_OF_MEMORY;
    std::memset(map.graphicPixels, 0, keptBytes);
    const unsigned char *in = tmapChunkData(chunk);
    for (uint64_t g = 0; g < count; ++g, in += graphicSize) {
        unsigned char *pixels = map.graphicPixels + size_t(g) * pixelCount * 4;
        convertPixels(map.depth, in, pixels, pixelCount, palette);
        map.graphicOpaque[g] = tmapPixelsOpaque(pixels, pixelCount);
    }
    map.graphicOpaqueCount = int(count);
    return TMAP_ERROR_NONE;
}
