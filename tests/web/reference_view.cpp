// Renders fmapview's picture of a map through the shader renderer on the
// desktop (Mesa's offscreen OpenGL 3.3 core), for the browser test to
// compare the page's canvas with: the page's own viewer session, given the
// keys the test presses.
//
//   web_reference MAP WIDTH HEIGHT OUT.rgba [STEP...]
//
// WIDTH x HEIGHT is the canvas; OUT.rgba receives the map area above the
// info line (HEIGHT - 20 rows), RGBA, top row first. Steps, in order, and
// their keys: zoom (+), pan-left (the left arrow key), layer-N (N), all (a),
// second (g), blocks (b).
#include <GL/osmesa.h> // the offscreen context

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files.h"
#include "gpupicture.h"
#include "session.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

// The page's clock; nothing here waits.
double fmapview::sessionClock() { return 0; }

namespace {

const int bandHeight = 20;
const float background[3] = {0.12f, 0.12f, 0.15f};

bool loadAndUpload(const unsigned char* bytes, size_t size)
{
    return tmapDecodeBuffer(bytes, size, TMAP_TEXTURES_NONE) == 0 && tmapGpuUpload() == 0;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "web_reference: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return fail("usage: web_reference MAP WIDTH HEIGHT OUT.rgba [STEP...]");
    int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    if (width < 1 || height <= bandHeight)
        return fail("bad size");
    const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_PROFILE,
                              OSMESA_CORE_PROFILE, OSMESA_CONTEXT_MAJOR_VERSION, 3, OSMESA_CONTEXT_MINOR_VERSION, 3,
                              0};
    OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
    std::vector<unsigned char> buffer(size_t(width) * size_t(height) * 4);
    if (context == nullptr || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height))
        return fail("no OpenGL 3.3 core context from OSMesa");

    std::vector<unsigned char> image;
    std::string reason;
    if (!tmapfiles::readWholeFile(argv[1], image, reason))
        return fail(std::string("cannot read ") + argv[1] + ": " + reason);
    fmapview::Session session;
    resizeSession(session, width, height, bandHeight);
    if (!openMap(session, image.data(), image.size(), argv[1], loadAndUpload))
        return fail(std::string("cannot load ") + argv[1] + ": " + session.failureReason);
    for (int i = 5; i < argc; ++i) {
        std::string step = argv[i];
        if (step == "pan-left") {
            pressArrow(session, 1, 0);
            continue;
        }
        const char key = step == "zoom" ? '+' : step == "all" ? 'a' : step == "second" ? 'g' : step == "blocks" ? 'b'
                         : step.size() == 7 && step.rfind("layer-", 0) == 0 ? step[6] : '\0';
        if (pressKey(session, (unsigned char)key) != fmapview::KeyEffect::done)
            return fail("unknown step " + step);
    }

    const int areaHeight = session.areaHeight();
    glViewport(0, 0, width, height);
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (session.blocksView)
        fmapview::drawBlocksThroughShaders(session.orbit, session.composition, width, areaHeight, bandHeight);
    else
        fmapview::drawFlatThroughShaders(session.flat, session.composition, bandHeight);
    glFinish();

    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr)
        return fail(std::string("cannot write ") + argv[4]);
    // The buffer's first row is the bottom one; the canvas is read top first.
    size_t row = size_t(width) * 4;
    for (int y = 0; y < areaHeight; ++y)
        std::fwrite(&buffer[size_t(height - 1 - y) * row], 1, row, out);
    bool written = std::fclose(out) == 0;
    tmapGpuRelease();
    tmapRelease();
    OSMesaDestroyContext(context);
    return written ? 0 : fail(std::string("cannot write ") + argv[4]);
}
