// fmaprender: draws one layer of a map file into a PNG, without a display.
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "heaptuning.h"
#include "loadmessage.h"
#include "offscreen.h"
#include "options.h"
#include "pngfile.h"
#include "render.h"
#include "tilvogl/tilvogl.h"

namespace {

const int firstTextureName = 1;
const int largestDefaultSide = 2048;
const int largestSide = 8192;
// A few seconds of offscreen drawing; a small map can ask for far more.
const long long defaultMaxFaces = 2000000;
const int largestScale = 16;
const int largestTicks = 1000000;
// Cell coordinates and counts beyond any map that loads in memory.
const int largestCellNumber = 1000000;

// What the command line asks for.
struct Request {
    tmaprender::View view;
    bool haveWindow = false, haveSize = false;
    int ticks = 0;
    long long maxFaces = defaultMaxFaces;
    int scale = 0;           // 0: no --scale
    std::vector<int> layers; // empty: --layer's one layer
    bool allLayers = false;
    std::string mapPath, outPath;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "fmaprender: %s\n", message.c_str());
    std::exit(1);
}

bool readLayerList(const char* text, Request& request)
{
    request.layers.clear();
    request.allLayers = std::strcmp(text, "all") == 0;
    return request.allLayers
        || (tmapoptions::readIntegers(text, ',', 0, TMAP_LAYER_COUNT - 1, request.layers)
            && request.layers.size() <= size_t(TMAP_LAYER_COUNT));
}

bool readBackground(const char* text, tmaprender::View& view)
{
    if (std::strcmp(text, "none") == 0) {
        std::fill_n(view.background, 3, uint8_t(0));
        view.backgroundAlpha = 0;
        return true;
    }
    if (std::strlen(text) != 6 || !std::all_of(text, text + 6, [](char c) { return std::isxdigit(uint8_t(c)); }))
        return false;
    const unsigned long rgb = std::strtoul(text, nullptr, 16);
    view.background[0] = uint8_t(rgb >> 16), view.background[1] = uint8_t(rgb >> 8);
    view.background[2] = uint8_t(rgb);
    view.backgroundAlpha = 255;
    return true;
}

bool readAngle(const char* text, float& degrees)
{
    double value = 0;
    if (!tmapoptions::readNumber(text, -FLT_MAX, FLT_MAX, value))
        return false;
    degrees = float(value);
    return true;
}

std::vector<tmapoptions::Option> optionTable(Request& request)
{
    using tmapoptions::readInteger;
    tmaprender::View& view = request.view;
    const std::string sides = "each 1 to " + std::to_string(largestSide);
    return {
        {"layer", "N", "0 to 7", "layer 0 to 7 to draw (default 0, the \"BODY\" layer)",
         [&](const char* text) {
             request.layers.clear();
             request.allLayers = false;
             return readInteger(text, 0, TMAP_LAYER_COUNT - 1, view.layer);
         }},
        {"layers", "LIST", "all, or up to 8 numbers 0 to 7 such as 0,1",
         "flat: draw several layers in order, each blended over those\n"
         "before it: \"all\" (every layer of the map) or numbers such as 0,1",
         [&](const char* text) { return readLayerList(text, request); }},
        {"window", "X,Y,W,H", "X,Y,W,H with W and H above 0",
         "the W x H cells from cell (X, Y) (default: the whole layer)",
         [&](const char* text) {
             std::vector<int> w;
             if (!tmapoptions::readIntegers(text, ',', 0, largestCellNumber, w) || w.size() != 4 || w[2] == 0
                 || w[3] == 0)
                 return false;
             view.cellX = w[0], view.cellY = w[1], view.columns = w[2], view.rows = w[3];
             return request.haveWindow = true;
         }},
        {"size", "WxH", "WxH, " + sides,
         "picture size in pixels (default: one pixel per tile pixel,\n"
         "scaled down to fit 2048 x 2048; " + sides + ")",
         [&](const char* text) {
             std::vector<int> s;
             if (!tmapoptions::readIntegers(text, 'x', 1, largestSide, s) || s.size() != 2)
                 return false;
             view.width = s[0], view.height = s[1];
             return request.haveSize = true;
         }},
        {"scale", "N", "1 to " + std::to_string(largestScale),
         "flat: N x N pixels per texel, each showing the texel exactly\n"
         "(1 to 16; the picture is the window's cells times the tile size\n"
         "times N, at most 8192 pixels on a side)",
         [&](const char* text) { return readInteger(text, 1, largestScale, request.scale); }},
        {"second", nullptr, "", "flat: blend each block's second graphic over its first",
         [&](const char*) { return view.secondGraphic = true; }},
        {"blocks", nullptr, "", "draw block columns in 3D instead of flat tiles",
         [&](const char*) { return view.blocks = true; }},
        {"yaw", "DEG", "an angle in degrees",
         "blocks: camera turn about the vertical (default 30;\n"
         "0 looks from below the last row toward the first)",
         [&](const char* text) { return readAngle(text, view.yaw); }},
        {"pitch", "DEG", "an angle in degrees", "blocks: camera height above the map plane (default 45)",
         [&](const char* text) { return readAngle(text, view.pitch); }},
        {"light", nullptr, "", "blocks: light the columns with a directional light",
         [&](const char*) { return view.lighting = true; }},
        {"max-faces", "N", "a count of 0 or more",
         "blocks: refuse a window of more than N faces (default 2000000)",
         [&](const char* text) { return readInteger(text, 0LL, LLONG_MAX, request.maxFaces); }},
        {"ticks", "N", "a count from 0 to " + std::to_string(largestTicks),
         "advance the animations N ticks before drawing (default 0)",
         [&](const char* text) { return readInteger(text, 0, largestTicks, request.ticks); }},
        {"background", "RRGGBB", "RRGGBB in hex, or none",
         "background colour in hex, or none: transparent (default 000000)",
         [&](const char* text) { return readBackground(text, view); }},
        {"cell-order", nullptr, "",
         "draw cell by cell, binding each cell's texture, instead of\n"
         "grouped by texture (the default; the same picture)",
         [&](const char*) {
             tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
             return true;
         }},
    };
}

Request readCommandLine(int argc, char** argv)
{
    Request request;
    const tmapoptions::CommandLine commandLine = {
        "fmaprender",
        "Draws a window of one layer of the map file MAP into the PNG file OUT.png.\n"
        "No display is needed.\n",
        {"MAP", "OUT.png"},
        optionTable(request),
    };
    const std::vector<std::string> operands = tmapoptions::parse(commandLine, argc, argv);
    request.mapPath = operands[0];
    request.outPath = operands[1];
    if (request.view.blocks && (request.scale != 0 || request.allLayers || request.layers.size() > 1))
        tmapoptions::refuse("--scale and --layers draw flat layers, not --blocks");
    if (request.scale != 0 && request.haveSize)
        tmapoptions::refuse("give --scale or --size, not both");
    return request;
}

// The layers to draw, now that the map says which it has.
void chooseLayers(Request& request)
{
    if (request.allLayers) {
        for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
            if (tmapLayers[layer] != nullptr)
                request.layers.push_back(layer);
        if (request.layers.empty())
            fail(request.mapPath + ": the map has no layers");
    } else if (request.layers.empty()) {
        request.layers.push_back(request.view.layer);
    }
    for (int layer : request.layers)
        if (tmapLayers[layer] == nullptr)
            fail(request.mapPath + ": the map has no layer " + std::to_string(layer));
    request.view.layer = request.layers.front();
}

// The window of cells (the whole layer unless given) and the picture's size.
void fitToMap(Request& request)
{
    tmaprender::View& view = request.view;
    if (!request.haveWindow) {
        view.columns = tmapWidth;
        view.rows = tmapHeight;
    }
    if (view.columns <= 0 || view.rows <= 0 || view.cellX + view.columns > tmapWidth
        || view.cellY + view.rows > tmapHeight)
        fail(request.mapPath + ": the window lies outside the " + std::to_string(tmapWidth) + " x "
             + std::to_string(tmapHeight) + " cells of the map");
    const double width = double(view.columns) * std::max(tmapTileWidth, 1);
    const double height = double(view.rows) * std::max(tmapTileHeight, 1);
    if (request.scale != 0) {
        // Checked before anything that size is allocated.
        const double scaledWidth = width * request.scale, scaledHeight = height * request.scale;
        if (scaledWidth > largestSide || scaledHeight > largestSide)
            fail(request.mapPath + ": at scale " + std::to_string(request.scale) + " the picture would be "
                 + std::to_string(int64_t(scaledWidth)) + " x " + std::to_string(int64_t(scaledHeight))
                 + " pixels, more than " + std::to_string(largestSide) + " on a side (draw a --window of it)");
        view.width = int(scaledWidth);
        view.height = int(scaledHeight);
    } else if (!request.haveSize) {
        const double fit = std::min(1.0, largestDefaultSide / std::max(width, height));
        view.width = std::max(1, int(width * fit));
        view.height = std::max(1, int(height * fit));
    }
}

void checkBlockFaces(const Request& request)
{
    const tmaprender::View& view = request.view;
    tmapSelectLayer(unsigned(view.layer));
    TmapBlockFaces count;
    if (tmapCountBlockFaces(view.cellX, view.cellY, view.columns, view.rows, &count) != 0)
        fail(request.mapPath + ": cannot count the block faces: " + tmapErrorString(tmapError));
    const uint64_t faces = count.faces;
    if (faces > uint64_t(request.maxFaces))
        fail(request.mapPath + ": the window has " + std::to_string(faces) + " block faces, more than the limit of "
             + std::to_string(request.maxFaces) + " (raise it with --max-faces)");
}

tmapimage::Image drawPicture(const Request& request)
{
    const tmaprender::View& view = request.view;
    if (view.blocks) {
        tmaprender::drawView(view);
        return tmapoffscreen::readColourBuffer();
    }
    // Each layer is drawn alone on a transparent background and laid over
    // the picture, so layers and background blend alike.
    if (request.scale != 0)
        tmaprender::useNearestTexels();
    tmapimage::Image picture;
    picture.width = view.width;
    picture.height = view.height;
    picture.rgba.resize(size_t(view.width) * size_t(view.height) * 4);
    for (size_t i = 0; i < picture.rgba.size(); i += 4) {
        std::copy_n(view.background, 3, &picture.rgba[i]);
        picture.rgba[i + 3] = view.backgroundAlpha;
    }
    tmaprender::View layerView = view;
    layerView.backgroundAlpha = 0;
    for (int layer : request.layers) {
        layerView.layer = layer;
        tmaprender::drawView(layerView);
        tmaprender::compositeOver(picture, tmapoffscreen::readColourBuffer());
    }
    return picture;
}

} // namespace

int main(int argc, char** argv)
{
    tuneHeapForSteadyFrames();
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE; // --cell-order changes it
    Request request = readCommandLine(argc, argv);

    // Textures are defined while loading, so a context comes first; the
    // picture size is known only once the map is, and is set afterwards.
    if (!tmapoffscreen::openContext(1, 1))
        fail("cannot create an offscreen OpenGL context");
    if (tmapLoadFile(request.mapPath.c_str(), firstTextureName) != 0)
        fail(request.mapPath + ": " + loadFailureMessage());
    chooseLayers(request);
    fitToMap(request);
    tmapResetAnims();
    for (int tick = 0; tick < request.ticks; ++tick)
        tmapStepAnims();
    if (request.view.blocks)
        checkBlockFaces(request);

    const tmaprender::View& view = request.view;
    if (!tmapoffscreen::resizeContext(view.width, view.height))
        fail("cannot draw a " + std::to_string(view.width) + " x " + std::to_string(view.height)
             + " picture offscreen");
    const tmapimage::Image picture = drawPicture(request);
    std::string reason;
    if (!tmapimage::writePng(request.outPath, picture, reason))
        fail(request.outPath + ": " + reason);
    tmapRelease();
    tmapoffscreen::closeContext();
    return 0;
}
