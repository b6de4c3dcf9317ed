// Renders fmapview's picture of a map through the shader renderer on the
// desktop (Mesa's offscreen OpenGL 3.3 core), for the browser test to
// compare the page's canvas with: the same view code, the same steps as the
// keys the test presses.
//
//   web_reference MAP WIDTH HEIGHT OUT.rgba [STEP...]
//
// WIDTH x HEIGHT is the canvas; OUT.rgba receives the map area above the
// info line (HEIGHT - 20 rows), RGBA, top row first. Steps, in order:
// zoom (the + key), pan-left (the left arrow key), layer-N, all, second,
// blocks.
#include <GL/osmesa.h> // the offscreen context

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gpupicture.h"
#include "overview.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "view.h"

namespace {

const int bandHeight = 20;
const float background[3] = {0.12f, 0.12f, 0.15f};

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

    if (tmapLoadFile(argv[1], TMAP_TEXTURES_NONE) != 0 || tmapGpuUpload() != 0)
        return fail(std::string("cannot load ") + argv[1] + ": " + tmapErrorString(tmapError));
    tmapResetAnims();

    int areaHeight = height - bandHeight;
    fmapview::FlatView flat;
    flat.areaWidth = width;
    flat.areaHeight = areaHeight;
    flat.mapWidth = tmapWidth;
    flat.mapHeight = tmapHeight;
    flat.largestZoom = 16.0 * std::max(1, std::max(tmapTileWidth, tmapTileHeight));
    fitView(flat);
    fmapview::Composition composition;
    fmapview::Orbit orbit;
    bool blocks = false;
    for (int i = 5; i < argc; ++i) {
        std::string step = argv[i];
        if (step == "zoom")
            zoomAbout(flat, 1.25, width / 2.0, areaHeight / 2.0);
        else if (step == "pan-left")
            panBy(flat, width / 8, 0);
        else if (step.rfind("layer-", 0) == 0)
            composition.layer = std::atoi(step.c_str() + 6), composition.allLayers = false;
        else if (step == "all")
            composition.allLayers = true;
        else if (step == "second")
            composition.secondGraphic = true;
        else if (step == "blocks")
            blocks = true, fmapview::startOrbit(orbit, flat);
        else
            return fail("unknown step " + step);
    }
    tmapSelectLayer(unsigned(composition.layer));

    glViewport(0, 0, width, height);
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (blocks)
        fmapview::drawBlocksThroughShaders(orbit, composition, width, areaHeight, bandHeight);
    else
        fmapview::drawFlatThroughShaders(flat, composition, bandHeight);
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
