#include "pixel_maps.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

tmapwriter::Bytes randomPixelMap(unsigned seed, int tallestStack)
{
    std::mt19937 random(seed);
    auto below = [&](int n) { return int(random() % unsigned(n)); };
    tmapwriter::Map m;
    m.depth = 32;
    m.width = 50;
    m.height = 130;
    m.tileWidth = m.tileHeight = 8;
    const int graphics = 24;
    for (int g = 0; g < graphics; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < 64; ++p)
            tmapwriter::put32(pixels, below(4) == 0 ? 0 : 255, uint8_t(below(256)), uint8_t(below(256)),
                              uint8_t(below(256)));
        m.graphics.push_back(pixels);
    }
    std::vector<int32_t> columns;
    for (int c = 0; c < 60; ++c) {
        columns.push_back(int32_t(m.blocks.size()));
        for (int cube = below(tallestStack + 1); cube > 0; --cube) {
            tmapwriter::Block b;
            for (int32_t &g : b.graphic) g = below(3) == 0 ? 0 : 1 + below(graphics - 1);
            b.flags = 0x20;
            m.blocks.push_back(b);
        }
        tmapwriter::Block closing;
        closing.graphic[0] = below(graphics);
        closing.graphic[1] = below(2) == 0 ? 0 : 1 + below(graphics - 1);
        closing.flags = uint8_t(below(4) << 6);
        m.blocks.push_back(closing);
    }
    for (int a = 0; a < 4; ++a) {
        tmapwriter::Anim anim;
        anim.mode = 1;
        anim.delay = uint8_t(a);
        anim.start = anim.current = int32_t(m.frames.size());
        for (int f = 0; f < 3; ++f) m.frames.push_back(columns[size_t(below(int(columns.size())))]);
        anim.end = int32_t(m.frames.size());
        m.anims.push_back(anim);
    }
    for (int layer = 0; layer < 3; ++layer) {
        std::vector<int32_t> cells;
        for (int i = 0; i < m.width * m.height; ++i)
            cells.push_back(below(8) == 0 ? -1 - below(4) : columns[size_t(below(int(columns.size())))]);
        m.layers[layer] = cells;
    }
    return tmapwriter::buildImage(m);
}

tmapwriter::Bytes pixelTestMap(const char *dir, const char *name)
{
    if (std::string(name) == "random")
        return randomPixelMap(2026, 6);
    std::string path = std::string(dir) + "/" + name;
    tmapwriter::Bytes bytes;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(uint8_t(c));
        std::fclose(file);
    }
    return bytes;
}
