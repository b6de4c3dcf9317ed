// The tile graphics on the GPU: one 2D array texture, a graphic a layer.
// A GL may offer as few as 256 array layers (OpenGL 3.3, ES 3.0, WebGL 2),
// fewer than a map's graphics; then several graphics lie side by side in
// each layer, and the shaders keep every sample inside its own graphic, so
// that the picture stays that of a texture per graphic. Also what each
// graphic's alpha says, for the draws that skip what cannot show.
#include "gpu_internal.h"
#include "internal.h"

namespace {

uint8_t alphaOf(const unsigned char *pixels, int64_t texels)
{
    bool visible = false, opaque = true;
    for (int64_t k = 0; k < texels && (opaque || !visible); ++k) {
        const unsigned char alpha = pixels[4 * k + 3];
        visible = visible || alpha != 0;
        opaque = opaque && alpha == 255;
    }
    return uint8_t((visible ? TMAP_GPU_GRAPHIC_VISIBLE : 0u) | (opaque ? TMAP_GPU_GRAPHIC_OPAQUE : 0u));
}

} // namespace

bool tmapGpuLayOutGraphics(int maxSize, int maxLayers)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    copy.graphicsAcross = copy.graphicsDown = 1;
    const int count = tmapGpuGraphicCount();
    if (count == 0)
        return true;
    if (tmapTileWidth > maxSize || tmapTileHeight > maxSize || maxLayers < 1)
        return false;
    if (count <= maxLayers)
        return true;
    // As few graphics a layer as will do, in rows as wide as the GL allows.
    const int64_t perLayer = (int64_t(count) + maxLayers - 1) / maxLayers;
    const int64_t mostAcross = maxSize / tmapTileWidth, mostDown = maxSize / tmapTileHeight;
    if (mostAcross * mostDown < perLayer)
        return false;
    const int64_t across = perLayer < mostAcross ? perLayer : mostAcross;
    copy.graphicsAcross = int(across);
    copy.graphicsDown = int((perLayer + across - 1) / across);
    return true;
}

bool tmapGpuUploadGraphics()
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const int count = tmapGpuGraphicCount();
    const int64_t texels = int64_t(tmapTileWidth) * tmapTileHeight;
    copy.graphicAlpha = static_cast<uint8_t *>(tmapAllocate(size_t(count)));
    if (copy.graphicAlpha == nullptr)
        return false;
    for (int g = 0; g < count; ++g)
        copy.graphicAlpha[g] = alphaOf(tmapGraphicPixels + size_t(g) * size_t(texels) * 4, texels);

    tmapGl.GenTextures(1, &copy.graphics);
    tmapGl.BindTexture(GL_TEXTURE_2D_ARRAY, copy.graphics);
    tmapGl.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GLint(tmapTextureFilter));
    tmapGl.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GLint(tmapTextureFilter));
    tmapGl.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    tmapGl.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    tmapGl.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, 0);
    if (count == 0) {
        // No graphic: every cell is skipped, but the sampler stays complete.
        static const unsigned char clear[4] = {0, 0, 0, 0};
        tmapGl.TexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, 1, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear);
        return true;
    }
    const int perLayer = copy.graphicsAcross * copy.graphicsDown;
    if (perLayer == 1) {
        // Graphic after graphic, rows tmapTileWidth * 4 bytes apart: the
        // array's layers exactly.
        tmapGl.TexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, tmapTileWidth, tmapTileHeight, count, 0, GL_RGBA,
                          GL_UNSIGNED_BYTE, tmapGraphicPixels);
        return true;
    }
    const int layers = (count + perLayer - 1) / perLayer;
    tmapGl.TexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, tmapTileWidth * copy.graphicsAcross,
                      tmapTileHeight * copy.graphicsDown, layers, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    for (int g = 0; g < count; ++g) {
        const int slot = g % perLayer;
        tmapGl.TexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, (slot % copy.graphicsAcross) * tmapTileWidth,
                             (slot / copy.graphicsAcross) * tmapTileHeight, g / perLayer, tmapTileWidth,
                             tmapTileHeight, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                             tmapGraphicPixels + size_t(g) * size_t(texels) * 4);
    }
    return true;
}
