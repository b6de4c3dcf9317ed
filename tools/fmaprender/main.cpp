// fmaprender: draws one layer of a map file into a PNG, without a display.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blockfaces.h"
#include "heaptuning.h"
#include "loadmessage.h"
#include "offscreen.h"
#include "pngfile.h"
#include "render.h"
#include "tilvogl/tilvogl.h"

namespace {

const char usage[] =
    "usage: fmaprender [options] MAP OUT.png\n"
    "Draws a window of one layer of the map file MAP into the PNG file OUT.png.\n"
    "No display is needed.\n"
    "\n"
    "options:\n"
    "  --layer N            layer 0 to 7 to draw (default 0, the \"BODY\" layer)\n"
    "  --layers LIST        flat: draw several layers in order, each blended over those\n"
    "                       before it: \"all\" (every layer of the map) or numbers such as 0,1\n"
    "  --window X,Y,W,H     the W x H cells from cell (X, Y) (default: the whole layer)\n"
    "  --size WxH           picture size in pixels (default: one pixel per tile pixel,\n"
    "                       scaled down to fit 2048 x 2048)\n"
    "  --scale N            flat: N x N pixels per texel, each showing the texel exactly\n"
    "                       (1 to 16; the picture is the window's cells times the tile size\n"
    "                       times N, at most 8192 pixels on a side)\n"
    "  --second             flat: blend each block's second graphic over its first\n"
    "  --blocks             draw block columns in 3D instead of flat tiles\n"
    "  --yaw DEG            blocks: camera turn about the vertical (default 30;\n"
    "                       0 looks from below the last row toward the first)\n"
    "  --pitch DEG          blocks: camera height above the map plane (default 45)\n"
    "  --light              blocks: light the columns with a directional light\n"
    "  --max-faces N        blocks: refuse a window of more than N faces (default 2000000)\n"
    "  --ticks N            advance the animations N ticks before drawing (default 0)\n"
    "  --background RRGGBB  background colour in hex, or none: transparent (default 000000)\n"
    "  --cell-order         draw cell by cell, binding each cell's texture, instead of\n"
    "                       grouped by texture (the default; the same picture)\n"
    "  --help               show this text\n";

const int firstTextureName = 1;
const int largestDefaultSide = 2048;
const int largestSide = 8192;
// A few seconds of offscreen drawing; a small map can ask for far more.
const long long defaultMaxFaces = 2000000;
const int largestScale = 16;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "fmaprender: %s\n", message.c_str());
    std::exit(1);
}

bool parseInts(const char* text, char separator, int* values, int count)
{
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        long value = std::strtol(p, &end, 10);
        if (end == p || value < -1000000 || value > 1000000)
            return false;
        values[i] = int(value);
        if (i + 1 < count) {
            if (*end != separator)
                return false;
            p = end + 1;
        } else if (*end != '\0') {
            return false;
        }
    }
    return true;
}

float parseDegrees(const char* text, const char* option)
{
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0')
        fail(std::string("bad angle for ") + option + ": " + text);
    return float(value);
}

} // namespace

int main(int argc, char** argv)
{
    tmaprender::View view;
    bool haveWindow = false, haveSize = false;
    int ticks = 0;
    long long maxFaces = defaultMaxFaces;
    int scale = 0;           // 0: no --scale
    std::vector<int> layers; // empty: --layer's one layer
    bool allLayers = false;
    std::string mapPath, outPath;
    tuneHeapForSteadyFrames();
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 >= argc)
                fail(std::string(option) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--layer") {
            const char* text = value("--layer");
            if (!parseInts(text, ',', &view.layer, 1) || view.layer < 0 || view.layer > 7)
                fail(std::string("--layer wants 0 to 7, not ") + text);
            layers.clear();
            allLayers = false;
        } else if (arg == "--layers") {
            const char* text = value("--layers");
            layers.clear();
            allLayers = std::strcmp(text, "all") == 0;
            for (const char* p = text; !allLayers;) {
                char* end = nullptr;
                const long layer = std::strtol(p, &end, 10);
                if (end == p || layer < 0 || layer > 7 || layers.size() == 8 || (*end != ',' && *end != '\0'))
                    fail(std::string("--layers wants all, or up to 8 numbers 0 to 7 such as 0,1, not ") + text);
                layers.push_back(int(layer));
                if (*end == '\0')
                    break;
                p = end + 1;
            }
        } else if (arg == "--window") {
            int w[4];
            const char* text = value("--window");
            if (!parseInts(text, ',', w, 4) || w[0] < 0 || w[1] < 0 || w[2] <= 0 || w[3] <= 0)
                fail(std::string("--window wants X,Y,W,H with W and H above 0, not ") + text);
            view.cellX = w[0], view.cellY = w[1], view.columns = w[2], view.rows = w[3];
            haveWindow = true;
        } else if (arg == "--size") {
            int s[2];
            const char* text = value("--size");
            if (!parseInts(text, 'x', s, 2) || s[0] <= 0 || s[1] <= 0 || s[0] > largestSide
                || s[1] > largestSide)
                fail(std::string("--size wants WxH, each 1 to ") + std::to_string(largestSide) + ", not "
                     + text);
            view.width = s[0], view.height = s[1];
            haveSize = true;
        } else if (arg == "--scale") {
            const char* text = value("--scale");
            if (!parseInts(text, ',', &scale, 1) || scale < 1 || scale > largestScale)
                fail(std::string("--scale wants 1 to ") + std::to_string(largestScale) + ", not " + text);
        } else if (arg == "--second") {
            view.secondGraphic = true;
        } else if (arg == "--cell-order") {
            tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
        } else if (arg == "--blocks") {
            view.blocks = true;
        } else if (arg == "--light") {
            view.lighting = true;
        } else if (arg == "--max-faces") {
            const char* text = value("--max-faces");
            char* end = nullptr;
            maxFaces = std::strtoll(text, &end, 10);
            if (end == text || *end != '\0' || maxFaces < 0)
                fail(std::string("--max-faces wants a count of 0 or more, not ") + text);
        } else if (arg == "--yaw") {
            view.yaw = parseDegrees(value("--yaw"), "--yaw");
        } else if (arg == "--pitch") {
            view.pitch = parseDegrees(value("--pitch"), "--pitch");
        } else if (arg == "--ticks") {
            const char* text = value("--ticks");
            if (!parseInts(text, ',', &ticks, 1) || ticks < 0)
                fail(std::string("--ticks wants a count of 0 or more, not ") + text);
        } else if (arg == "--background") {
            const char* text = value("--background");
            view.backgroundAlpha = 255;
            if (std::strcmp(text, "none") == 0) {
                view.background[0] = view.background[1] = view.background[2] = 0;
                view.backgroundAlpha = 0;
                continue;
            }
            char* end = nullptr;
            unsigned long rgb = std::strtoul(text, &end, 16);
            if (std::strlen(text) != 6 || *end != '\0')
                fail(std::string("--background wants RRGGBB in hex, not ") + text);
            view.background[0] = uint8_t(rgb >> 16), view.background[1] = uint8_t(rgb >> 8),
            view.background[2] = uint8_t(rgb);
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option " + arg + " (try --help)");
        } else if (mapPath.empty()) {
            mapPath = arg;
        } else if (outPath.empty()) {
            outPath = arg;
        } else {
            fail("too many arguments (try --help)");
        }
    }
    if (mapPath.empty() || outPath.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (view.blocks && (scale != 0 || allLayers || layers.size() > 1))
        fail("--scale and --layers draw flat layers, not --blocks");
    if (scale != 0 && haveSize)
        fail("give --scale or --size, not both");

    // Textures are defined while loading, so a context comes first; the
    // picture size is known only once the map is, and is set afterwards.
    if (!tmapoffscreen::openContext(1, 1))
        fail("cannot create an offscreen OpenGL context");
    if (tmapLoadFile(mapPath.c_str(), firstTextureName) != 0)
        fail(mapPath + ": " + loadFailureMessage());
    if (allLayers) {
        for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
            if (tmapLayers[layer] != nullptr)
                layers.push_back(layer);
        if (layers.empty())
            fail(mapPath + ": the map has no layers");
    } else if (layers.empty()) {
        layers.push_back(view.layer);
    }
    for (int layer : layers)
        if (tmapLayers[layer] == nullptr)
            fail(mapPath + ": the map has no layer " + std::to_string(layer));
    view.layer = layers.front();
    if (!haveWindow) {
        view.columns = tmapWidth;
        view.rows = tmapHeight;
    }
    if (view.columns <= 0 || view.rows <= 0 || view.cellX + view.columns > tmapWidth
        || view.cellY + view.rows > tmapHeight)
        fail(mapPath + ": the window lies outside the " + std::to_string(tmapWidth) + " x "
             + std::to_string(tmapHeight) + " cells of the map");
    if (scale != 0) {
        // Checked before anything that size is allocated.
        const int64_t width = int64_t(view.columns) * std::max(tmapTileWidth, 1) * scale;
        const int64_t height = int64_t(view.rows) * std::max(tmapTileHeight, 1) * scale;
        if (width > largestSide || height > largestSide)
            fail(mapPath + ": at scale " + std::to_string(scale) + " the picture would be " + std::to_string(width)
                 + " x " + std::to_string(height) + " pixels, more than " + std::to_string(largestSide)
                 + " on a side (draw a --window of it)");
        view.width = int(width);
        view.height = int(height);
    } else if (!haveSize) {
        double width = double(view.columns) * std::max(tmapTileWidth, 1);
        double height = double(view.rows) * std::max(tmapTileHeight, 1);
        double scale = std::min(1.0, largestDefaultSide / std::max(width, height));
        view.width = std::max(1, int(width * scale));
        view.height = std::max(1, int(height * scale));
    }
    tmapResetAnims();
    for (int t = 0; t < ticks; ++t)
        tmapStepAnims();
    if (view.blocks) {
        tmapSelectLayer(unsigned(view.layer));
        uint64_t faces = measureBlockWindow(view.cellX, view.cellY, view.columns, view.rows).faces;
        if (faces > uint64_t(maxFaces))
            fail(mapPath + ": the window has " + std::to_string(faces) + " block faces, more than the limit of "
                 + std::to_string(maxFaces) + " (raise it with --max-faces)");
    }

    if (!tmapoffscreen::resizeContext(view.width, view.height))
        fail("cannot draw a " + std::to_string(view.width) + " x " + std::to_string(view.height)
             + " picture offscreen");
    tmapimage::Image picture;
    if (view.blocks) {
        tmaprender::drawView(view);
        picture = tmapoffscreen::readColourBuffer();
    } else {
        // Each layer is drawn alone on a transparent background and laid
        // over the picture, so layers and background blend alike.
        if (scale != 0)
            tmaprender::useNearestTexels();
        picture.width = view.width;
        picture.height = view.height;
        picture.rgba.resize(size_t(view.width) * size_t(view.height) * 4);
        for (size_t i = 0; i < picture.rgba.size(); i += 4) {
            std::copy_n(view.background, 3, &picture.rgba[i]);
            picture.rgba[i + 3] = view.backgroundAlpha;
        }
        tmaprender::View layerView = view;
        layerView.backgroundAlpha = 0;
        for (int layer : layers) {
            layerView.layer = layer;
            tmaprender::drawView(layerView);
            tmaprender::compositeOver(picture, tmapoffscreen::readColourBuffer());
        }
    }
    std::string reason;
    if (!tmapimage::writePng(outPath, picture, reason))
        fail(outPath + ": " + reason);
    tmapRelease();
    tmapoffscreen::closeContext();
    return 0;
}
