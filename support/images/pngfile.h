// PNG files of RGBA images, read and written by the tools, their tests and
// the benchmarks.
#ifndef TILVOGL_SUPPORT_PNGFILE_H
#define TILVOGL_SUPPORT_PNGFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace tmapimage {

// Writes an 8-bit RGBA PNG. Returns false (with a reason) when it cannot.
bool writePng(const std::string& path, const Image& image, std::string& reason);

// As writePng, into memory.
bool writePngMemory(const Image& image, std::vector<uint8_t>& bytes, std::string& reason);

// Reads any PNG as 8-bit RGBA. Returns false (with a reason) when it cannot.
// An image of more than maxPixels pixels is refused before its pixels are
// allocated.
bool readPng(const std::string& path, Image& image, std::string& reason, uint64_t maxPixels = 1u << 28);

// As readPng, from a PNG file's bytes in memory (untrusted: never read
// outside them).
bool readPngMemory(const void* bytes, size_t size, Image& image, std::string& reason,
                   uint64_t maxPixels = 1u << 28);

} // namespace tmapimage

#endif
