// Saving the window as a PNG file beside the map.
#include <GL/gl.h> // glReadPixels

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "pngfile.h"
#include "viewer.h"

namespace fmapview {

std::string nextPicturePath(const std::string& mapPath)
{
    // MAP-1.png, MAP-2.png, ... with the extension of MAP dropped; nothing
    // that exists, even a dangling link, is ever overwritten.
    const std::string base = std::filesystem::path(mapPath).replace_extension().string();
    for (int n = 1;; ++n) {
        std::string path = base + "-" + std::to_string(n) + ".png";
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
            return path;
    }
}

void savePicture(Viewer& viewer)
{
    const int width = viewer.width, height = viewer.height;
    tmapimage::Image image;
    image.width = width;
    image.height = height;
    std::vector<uint8_t> bottomUp(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    image.rgba.resize(bottomUp.size());
    size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(&image.rgba[size_t(y) * row], &bottomUp[size_t(height - 1 - y) * row], row);
    for (size_t p = 3; p < image.rgba.size(); p += 4)
        image.rgba[p] = 255;
    std::string path = nextPicturePath(viewer.mapPath), reason;
    if (tmapimage::writePng(path, image, reason)) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        say(viewer, "saved " + path);
    } else {
        say(viewer, "cannot save " + path + ": " + reason);
    }
}

} // namespace fmapview
