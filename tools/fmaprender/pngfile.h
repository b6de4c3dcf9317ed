// PNG files of RGBA images, for fmaprender and for the tests that check it.
#ifndef TILVOGL_TOOLS_PNGFILE_H
#define TILVOGL_TOOLS_PNGFILE_H

#include <string>

#include "offscreen.h"

namespace tmapoffscreen {

// Writes an 8-bit RGBA PNG. Returns false (with a reason) when it cannot.
bool writePng(const std::string& path, const Image& image, std::string& reason);

// Reads any PNG as 8-bit RGBA. Returns false (with a reason) when it cannot.
bool readPng(const std::string& path, Image& image, std::string& reason);

} // namespace tmapoffscreen

#endif
