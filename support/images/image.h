// An RGBA image in memory, as the tools draw, read and write them.
#ifndef TILVOGL_SUPPORT_IMAGE_H
#define TILVOGL_SUPPORT_IMAGE_H

#include <cstdint>
#include <vector>

namespace tmapimage {

// RGBA pixels, rows from the top, four bytes per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

} // namespace tmapimage

#endif
