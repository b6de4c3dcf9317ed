#include "pngfile.h"

#include <png.h> // png_image_write_to_file/_memory, png_image_begin_read_from_memory, png_image_finish_read

#include <cstdint>
#include <cstring>
#include <vector>

#include "files.h"

namespace tmapimage {

namespace {

// The libpng description of an RGBA image about to be written; false, with
// the reason, for an image that holds no pixels or fewer than it claims.
bool describeForWriting(const Image& image, png_image& png, std::string& reason)
{
    if (image.width <= 0 || image.height <= 0
        || image.rgba.size() != size_t(image.width) * size_t(image.height) * 4) {
        reason = "empty image";
        return false;
    }
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGBA;
    return true;
}

} // namespace

bool writePng(const std::string& path, const Image& image, std::string& reason)
{
    png_image png;
    if (!describeForWriting(image, png, reason))
        return false;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgba.data(), 0, nullptr)) {
        reason = png.message;
        return false;
    }
    return true;
}

bool writePngMemory(const Image& image, std::vector<uint8_t>& bytes, std::string& reason)
{
    png_image png;
    if (!describeForWriting(image, png, reason))
        return false;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(png, size, 0, image.rgba.data(), 0, nullptr)) {
        reason = png.message;
        return false;
    }
    bytes.resize(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgba.data(), 0, nullptr)) {
        reason = png.message;
        return false;
    }
    bytes.resize(size);
    return true;
}

namespace {

// libpng takes memory for a chunk's whole claimed length before reading its
// bytes, so a chunk that claims more bytes than the PNG holds is refused
// first. What is not a PNG at all is left to libpng's own reason.
bool chunksFit(const uint8_t* bytes, size_t size, std::string& reason)
{
    static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (size < sizeof signature || std::memcmp(bytes, signature, sizeof signature) != 0)
        return true;
    size_t at = sizeof signature;
    while (size - at >= 8) {
        const uint32_t length = (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16)
                              | (uint32_t(bytes[at + 2]) << 8) | uint32_t(bytes[at + 3]);
        if (uint64_t(length) + 12 > size - at) {
            reason = "PNG chunk at byte " + std::to_string(at) + " claims " + std::to_string(length)
                     + " bytes, more than the PNG holds";
            return false;
        }
        at += 12 + size_t(length);
    }
    return true;
}

// The second half of both readers: the size check, then the pixels.
bool finishRead(png_image& png, Image& image, std::string& reason, uint64_t maxPixels)
{
    if (uint64_t(png.width) * uint64_t(png.height) > maxPixels) {
        reason = "PNG claims " + std::to_string(png.width) + " x " + std::to_string(png.height)
                 + " pixels, more than " + std::to_string(maxPixels);
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = int(png.width);
    image.height = int(png.height);
    image.rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        reason = png.message;
        png_image_free(&png);
        image = Image();
        return false;
    }
    return true;
}

} // namespace

bool readPng(const std::string& path, Image& image, std::string& reason, uint64_t maxPixels)
{
    std::vector<uint8_t> bytes;
    if (!tmapfiles::readWholeFile(path, bytes, reason))
        return false;
    return readPngMemory(bytes.data(), bytes.size(), image, reason, maxPixels);
}

bool readPngMemory(const void* bytes, size_t size, Image& image, std::string& reason, uint64_t maxPixels)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!chunksFit(static_cast<const uint8_t*>(bytes), size, reason))
        return false;
    if (!png_image_begin_read_from_memory(&png, bytes, size)) {
        reason = png.message;
        return false;
    }
    return finishRead(png, image, reason, maxPixels);
}

} // namespace tmapimage
