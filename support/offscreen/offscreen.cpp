#include "offscreen.h"

#include <GL/osmesa.h> // OSMesaCreateContext*, OSMesaMakeCurrent, OSMesaDestroyContext

#include <cstring>
#include <vector>

namespace tmapoffscreen {

namespace {
OSMesaContext openedContext = nullptr;
// OSMesa draws into memory that the caller owns; it must outlive the context.
std::vector<uint8_t> colourBuffer;
int bufferWidth = 0;
int bufferHeight = 0;
} // namespace

bool openContext(int width, int height, Profile profile)
{
    closeContext();
    if (width <= 0 || height <= 0)
        return false;
    if (profile == Profile::core) {
        const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_PROFILE,
                                  OSMESA_CORE_PROFILE, OSMESA_CONTEXT_MAJOR_VERSION, 3,
                                  OSMESA_CONTEXT_MINOR_VERSION, 3, 0};
        openedContext = OSMesaCreateContextAttribs(attributes, nullptr);
    } else {
        openedContext = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    }
    if (openedContext == nullptr)
        return false;
    if (!resizeContext(width, height)) {
        closeContext();
        return false;
    }
    return true;
}

bool resizeContext(int width, int height)
{
    if (openedContext == nullptr || width <= 0 || height <= 0)
        return false;
    colourBuffer.assign(size_t(width) * size_t(height) * 4, 0);
    if (!OSMesaMakeCurrent(openedContext, colourBuffer.data(), GL_UNSIGNED_BYTE, width, height))
        return false;
    bufferWidth = width;
    bufferHeight = height;
    return true;
}

void closeContext()
{
    if (openedContext != nullptr)
        OSMesaDestroyContext(openedContext);
    openedContext = nullptr;
    colourBuffer.clear();
    bufferWidth = 0;
    bufferHeight = 0;
}

tmapimage::Image readColourBuffer()
{
    tmapimage::Image image;
    if (openedContext == nullptr)
        return image;
    glFinish();
    image.width = bufferWidth;
    image.height = bufferHeight;
    image.rgba.resize(colourBuffer.size());
    // OSMesa keeps the bottom row first, as GL does.
    size_t rowBytes = size_t(bufferWidth) * 4;
    for (int y = 0; y < bufferHeight; ++y)
        std::memcpy(&image.rgba[size_t(y) * rowBytes],
                    &colourBuffer[size_t(bufferHeight - 1 - y) * rowBytes], rowBytes);
    return image;
}

} // namespace tmapoffscreen

// Mesa keeps a few blocks of its offscreen state until the process ends;
// LeakSanitizer (the TILVOGL_SANITIZE build) would fail every program that
// opens a context, so those leaks are not reported. Unused otherwise.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libOSMesa.so\n"
           "leak:libglapi.so\n"
           "leak:libLLVM\n";
}

// ...and quietly, so that the tools' stderr stays one line.
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
