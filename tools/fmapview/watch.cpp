// Watching the map file and loading it: a changed file is read again, and a
// broken one leaves the last good map on screen with the reason.
#include <GL/gl.h> // glDeleteTextures

#include <sys/stat.h> // stat: the file's identity and time

#include <algorithm>

#include "files.h"
#include "loadmessage.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "viewer.h"

namespace fmapview {

bool hasLayer(int layer) { return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr; }

int firstPresentLayer()
{
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (hasLayer(layer))
            return layer;
    return -1;
}

FileStamp stampOf(const std::string& path)
{
    FileStamp stamp;
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtimeSeconds = long(info.st_mtim.tv_sec);
    stamp.mtimeNanoseconds = long(info.st_mtim.tv_nsec);
    return stamp;
}

bool decodeImage(Viewer& viewer, const std::vector<unsigned char>& bytes)
{
    if (viewer.shaderRenderer) {
        if (tmapDecodeBuffer(bytes.data(), bytes.size(), TMAP_TEXTURES_NONE) != 0)
            return false;
        if (tmapGpuUpload() == 0)
            return true;
        say(viewer, "the shader renderer cannot take the map (" + uploadFailureMessage() + "); drawing without it");
        tmapGpuRelease();
        viewer.shaderRenderer = false;
    }
    int result = tmapDecodeBuffer(bytes.data(), bytes.size(), firstTexture);
    // A decode that failed may have defined textures before it stopped.
    viewer.texturesDefined = std::max(viewer.texturesDefined, tmapGraphicCount);
    if (result != 0)
        return false;
    std::vector<GLuint> surplus;
    for (int g = tmapGraphicCount; g < viewer.texturesDefined; ++g)
        surplus.push_back(GLuint(firstTexture + g));
    if (!surplus.empty())
        glDeleteTextures(GLsizei(surplus.size()), surplus.data());
    viewer.texturesDefined = tmapGraphicCount;
    return true;
}

void adoptMap(Viewer& viewer)
{
    tmapResetAnims();
    invalidateOverview();
    ++viewer.mapGeneration;
    Composition& composition = viewer.composition;
    if (!hasLayer(composition.layer)) {
        int layer = firstPresentLayer();
        if (layer >= 0 && composition.layer != layer)
            say(viewer, "the map has no layer " + std::to_string(composition.layer) + "; showing layer "
                            + std::to_string(layer));
        composition.layer = std::max(layer, 0);
    }
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
    FlatView& flat = viewer.flat;
    bool sameSize = flat.mapWidth == tmapWidth && flat.mapHeight == tmapHeight;
    flat.mapWidth = tmapWidth;
    flat.mapHeight = tmapHeight;
    flat.largestZoom = 16.0 * std::max(1, std::max(tmapTileWidth, tmapTileHeight));
    if (!sameSize)
        fitView(flat);
    limitView(flat);
    viewer.orbit.targetX = std::clamp(viewer.orbit.targetX, 0.0, double(tmapWidth));
    viewer.orbit.targetY = std::clamp(viewer.orbit.targetY, 0.0, double(tmapHeight));
}

void reloadMap(Viewer& viewer)
{
    viewer.loadedStamp = stampOf(viewer.mapPath);
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!tmapfiles::readWholeFile(viewer.mapPath, bytes, reason)) {
        viewer.failureReason = tmapErrorString(TMAP_ERROR_CANNOT_OPEN);
        return;
    }
    if (decodeImage(viewer, bytes)) {
        viewer.goodImage.swap(bytes);
        viewer.failureReason.clear();
        adoptMap(viewer);
        return;
    }
    // The last good map is decoded again from memory, so the picture stays.
    viewer.failureReason = loadFailureMessage();
    decodeImage(viewer, viewer.goodImage);
    adoptMap(viewer);
}

bool watchFile(Viewer& viewer, int now)
{
    if (now - viewer.lastWatch < watchMilliseconds)
        return false;
    viewer.lastWatch = now;
    if (stampOf(viewer.mapPath) == viewer.loadedStamp)
        return false;
    reloadMap(viewer);
    return true;
}

} // namespace fmapview
