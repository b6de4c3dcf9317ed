// Watching the map file and loading it: a changed file is read again, and a
// broken one leaves the last good map on screen with the reason.
#include <GL/gl.h> // glDeleteTextures

#include <sys/stat.h> // stat: the file's identity and time

#include <algorithm>

#include "files.h"
#include "loadmessage.h"
#include "overview.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "viewer.h"

namespace fmapview {

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

bool decodeImage(const unsigned char* bytes, size_t size)
{
    Viewer& viewer = theViewer();
    if (viewer.shaderRenderer) {
        if (tmapDecodeBuffer(bytes, size, TMAP_TEXTURES_NONE) != 0)
            return false;
        if (tmapGpuUpload() == 0)
            return true;
        say(viewer, "the shader renderer cannot take the map (" + uploadFailureMessage() + "); drawing without it");
        tmapGpuRelease();
        viewer.shaderRenderer = false;
    }
    int result = tmapDecodeBuffer(bytes, size, firstTexture);
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

void reloadMap(Viewer& viewer)
{
    viewer.loadedStamp = stampOf(viewer.mapPath);
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!tmapfiles::readWholeFile(viewer.mapPath, bytes, reason)) {
        refuseMap(viewer, viewer.mapPath, tmapErrorString(TMAP_ERROR_CANNOT_OPEN));
        return;
    }
    openMap(viewer, bytes.data(), bytes.size(), viewer.mapPath, decodeImage);
    // Decoded again either way, this map or the last good one.
    invalidateOverview();
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
