#include "tiledtest.h"

#include <gtest/gtest.h>

#include <zlib.h> // gzopen, gzread: one example ships gzip-compressed

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "pngfile.h"

const char tiledMissing[] = "Tiled (tiled, tmxrasterizer and its examples) is not installed; scripts/setup installs it";

bool tiledInstalled()
{
    return std::system("command -v tmxrasterizer >/dev/null 2>&1 && command -v tiled >/dev/null 2>&1"
                       " && test -f /usr/share/doc/tiled/examples/desert.tmx") == 0;
}

const std::string tiledExamples = "/usr/share/doc/tiled/examples";

std::string copyExample(const std::string& folder, const std::vector<std::string>& files)
{
    for (const std::string& file : files) {
        const std::filesystem::path from = tiledExamples + "/" + file;
        EXPECT_TRUE(std::filesystem::exists(from)) << from << " is missing; scripts/setup installs Tiled with its examples";
        const std::filesystem::path to = std::filesystem::path(folder) / from.filename();
        if (from.extension() == ".gz") {
            gzFile in = gzopen(from.c_str(), "rb");
            EXPECT_NE(in, nullptr) << from;
            std::ofstream out(to.parent_path() / to.stem(), std::ios::binary);
            char buffer[65536];
            for (int got; in != nullptr && (got = gzread(in, buffer, sizeof buffer)) > 0;)
                out.write(buffer, got);
            if (in != nullptr)
                gzclose(in);
        } else {
            std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        }
    }
    return folder + "/" + std::filesystem::path(files[0]).filename().replace_extension("").string()
           + (std::filesystem::path(files[0]).extension() == ".gz" ? "" : ".tmx");
}

std::string mapTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param.substr(0, info.param.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

ToolResult convert(const std::string& in, const std::string& out)
{
    return runTool(shellQuoted(FMAPCONVERT_PATH) + " " + shellQuoted(in) + " " + shellQuoted(out));
}

ToolResult tiledExport(const std::string& in, const std::string& out)
{
    return runTool("QT_QPA_PLATFORM=offscreen tiled --export-map " + shellQuoted(in) + " " + shellQuoted(out));
}

tmapwriter::Map flipsMap()
{
    tmapwriter::Map map;
    map.littleEndian = false;
    map.depth = 32;
    map.width = 6;
    map.height = 5;
    map.tileWidth = 5;
    map.tileHeight = 3;
    struct Texel {
        uint8_t r, g, b, a;
    };
    auto graphic = [&](auto texel) {
        tmapwriter::Bytes pixels;
        for (int y = 0; y < map.tileHeight; ++y)
            for (int x = 0; x < map.tileWidth; ++x) {
                const Texel t = texel(x, y);
                tmapwriter::put32(pixels, t.a, t.r, t.g, t.b);
            }
        map.graphics.push_back(pixels);
    };
    graphic([](int, int) { return Texel{0, 0, 0, 0}; }); // 0: empty
    graphic([](int x, int y) { // 1: a gradient with a half-transparent and a transparent corner
        return Texel{uint8_t(50 * x), uint8_t(80 * y), 30, uint8_t(x == 0 && y == 0 ? 128 : x == 4 && y == 2 ? 0 : 255)};
    });
    graphic([](int x, int y) { // 2: another, one texel faint
        return Texel{200, uint8_t(40 * x), uint8_t(60 * y + 20), uint8_t(x == 1 && y == 1 ? 60 : 255)};
    });
    graphic([](int x, int) { return Texel{255, 255, 255, uint8_t(100 + 30 * x)}; }); // 3: translucent overlay
    for (uint8_t c : {90, 150, 210}) // 4 to 6: animation frames, dark in the first corner
        graphic([c](int x, int y) { return x == 0 && y == 0 ? Texel{0, 0, 0, 255} : Texel{c, uint8_t(255 - c), 100, 255}; });

    auto block = [&](int32_t graphic1, uint8_t flags) {
        tmapwriter::Block b;
        b.graphic[0] = graphic1;
        b.graphic[1] = 3;
        b.flags = flags;
        map.blocks.push_back(b);
    };
    block(0, 0);                           // 0: empty
    for (uint8_t flags : {0x00, 0x40, 0x80, 0xC0}) // 1 to 4
        block(1, flags);
    for (uint8_t flags : {0x00, 0x40, 0x80, 0xFF}) // 5 to 8
        block(2, flags);
    block(3, 0x40);                        // 9: overlay
    block(4, 0);                           // 10 to 12: frames
    block(5, 0);
    block(6, 0);
    block(5, 0x80);                        // 13: a still frame, mirrored
    map.frames = {10, 11, 12, 10, 11, 12, 13};
    // mode, delay, countdown, user, current, start, end
    map.anims = {{1, 3, 3, 0, 0, 0, 3}, {2, 0, 0, 7, 5, 3, 6}, {6, 9, 9, 0, 2, 0, 3}, {0, 0, 0, 0, 6, 6, 7}};

    const std::vector<int32_t> body = {1, 2, 3, 4, 5, 6, 7, 8, -1, -2, -3, -4, 0, 999, 9};
    std::vector<int32_t> cells(size_t(map.width * map.height));
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i] = body[i % body.size()];
    map.layers[0] = cells;
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i] = i % 3 == 0 ? 9 : i % 3 == 1 ? 0 : -4;
    map.layers[3] = cells;
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i] = i % 4 == 1 ? 2 : 0;
    map.layers[7] = cells;
    return map;
}

namespace {

int premultiplied(uint8_t channel, uint8_t alpha)
{
    return (channel * alpha + 127) / 255;
}

} // namespace

tmapimage::Image readPicture(const std::string& path)
{
    tmapimage::Image image;
    std::string reason;
    EXPECT_TRUE(tmapimage::readPng(path, image, reason)) << path << ": " << reason;
    return image;
}

// Ours against Tiled's: where our texel is opaque or fully transparent the
// pixels are the same (any colour under alpha 0); where it is partly
// transparent alpha and each colour channel times alpha (what the pixel adds
// to what lies below) are within 1. Tiled blends with colours premultiplied
// by alpha, so its PNG's own colour channels lose precision as alpha falls
// (a faint texel's 40 comes back as 38 at alpha 60). Returns the first
// difference, or "".
std::string pictureDifference(const tmapimage::Image& ours, const tmapimage::Image& tiled)
{
    if (ours.width != tiled.width || ours.height != tiled.height)
        return "size " + std::to_string(ours.width) + " x " + std::to_string(ours.height) + " against Tiled's "
               + std::to_string(tiled.width) + " x " + std::to_string(tiled.height);
    for (size_t i = 0; i < ours.rgba.size(); i += 4) {
        const uint8_t* a = &ours.rgba[i];
        const uint8_t* b = &tiled.rgba[i];
        bool same = true;
        if (a[3] == 0 || a[3] == 255) {
            same = a[3] == b[3] && (a[3] == 0 || (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]));
        } else {
            same = std::abs(int(a[3]) - int(b[3])) <= 1;
            for (int c = 0; c < 3; ++c)
                same = same && std::abs(premultiplied(a[c], a[3]) - premultiplied(b[c], b[3])) <= 1;
        }
        if (!same) {
            const size_t pixel = i / 4;
            return "pixel (" + std::to_string(pixel % size_t(ours.width)) + ", "
                   + std::to_string(pixel / size_t(ours.width)) + ") is " + std::to_string(a[0]) + ","
                   + std::to_string(a[1]) + "," + std::to_string(a[2]) + "," + std::to_string(a[3])
                   + " but Tiled's is " + std::to_string(b[0]) + "," + std::to_string(b[1]) + ","
                   + std::to_string(b[2]) + "," + std::to_string(b[3]);
        }
    }
    return "";
}
