#include "pngfile.h"

#include <png.h> // png_image_write_to_file, png_image_begin_read_from_file/_memory, png_image_finish_read

#include <cstring>

namespace tmapoffscreen {

bool writePng(const std::string& path, const Image& image, std::string& reason)
{
    if (image.width <= 0 || image.height <= 0
        || image.rgba.size() != size_t(image.width) * size_t(image.height) * 4) {
        reason = "empty image";
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgba.data(), 0, nullptr)) {
        reason = png.message;
        return false;
    }
    return true;
}

bool writePngMemory(const Image& image, std::vector<uint8_t>& bytes, std::string& reason)
{
    if (image.width <= 0 || image.height <= 0
        || image.rgba.size() != size_t(image.width) * size_t(image.height) * 4) {
        reason = "empty image";
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGBA;
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
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        reason = png.message;
        return false;
    }
    return finishRead(png, image, reason, maxPixels);
}

bool readPngMemory(const void* bytes, size_t size, Image& image, std::string& reason, uint64_t maxPixels)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes, size)) {
        reason = png.message;
        return false;
    }
    return finishRead(png, image, reason, maxPixels);
}

} // namespace tmapoffscreen
