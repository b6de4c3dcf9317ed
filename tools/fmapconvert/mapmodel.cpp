#include "mapmodel.h"

#include <GL/gl.h> // glBindTexture, glGetTexLevelParameteriv, glGetTexImage

#include "loadmessage.h"
#include "offscreen.h"

namespace tmapconvert {

namespace {

const int firstTextureName = 1;

// The converted pixels of graphic g; a graphic whose texture was never
// defined (no "BGFX" chunk) is fully transparent.
std::vector<uint8_t> graphicPixels(int g)
{
    std::vector<uint8_t> rgba(size_t(tmapTileWidth) * size_t(tmapTileHeight) * 4, 0);
    glBindTexture(GL_TEXTURE_2D, GLuint(tmapFirstTexture + g));
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width == tmapTileWidth && height == tmapTileHeight) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
    return rgba;
}

} // namespace

void copyCurrentMap(MapModel& model)
{
    model = MapModel();
    model.width = tmapWidth;
    model.height = tmapHeight;
    model.tileWidth = tmapTileWidth;
    model.tileHeight = tmapTileHeight;
    model.depth = tmapDepth;
    model.blockRecordSize = tmapBlockRecordSize;
    model.graphicCount = tmapGraphicCount;
    model.littleEndian = tmapLittleEndian != 0;
    model.hasColourMap = tmapColourMap != nullptr;
    if (tmapColourMap != nullptr)
        model.colourMap.assign(tmapColourMap, tmapColourMap + tmapColourMapSize);
    if (tmapBlocks != nullptr)
        model.blocks.assign(tmapBlocks, tmapBlocks + tmapBlockCount);
    if (tmapAnims != nullptr)
        model.anims.assign(tmapAnims, tmapAnims + tmapAnimCount);
    if (tmapAnimFrames != nullptr)
        model.frames.assign(tmapAnimFrames, tmapAnimFrames + tmapAnimFrameCount);
    const size_t cells = size_t(tmapWidth) * size_t(tmapHeight);
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (tmapLayers[layer] != nullptr)
            model.layers[layer] = std::vector<int32_t>(tmapLayers[layer], tmapLayers[layer] + cells);
    model.graphics.reserve(size_t(tmapGraphicCount));
    for (int g = 0; g < tmapGraphicCount; ++g)
        model.graphics.push_back(graphicPixels(g));
}

bool loadMapModel(const std::string& path, MapModel& model, std::string& error)
{
    if (!tmapoffscreen::openContext(1, 1)) {
        error = "cannot create an offscreen OpenGL context";
        return false;
    }
    const bool loaded = tmapLoadFile(path.c_str(), firstTextureName) == 0;
    if (loaded)
        copyCurrentMap(model);
    else
        error = loadFailureMessage();
    tmapRelease();
    tmapoffscreen::closeContext();
    return loaded;
}

} // namespace tmapconvert
