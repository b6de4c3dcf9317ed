// Writes a map whose layers 0, 1 and 2 are 50 x 50 columns of CUBES cubes
// (default 63), each cube with four side faces, closed by two caps: 635 000
// faces in the demos' 50 x 50 window by default.
// Usage: tall_columns_map OUT [CUBES]
#include <cstdio>
#include <cstdlib>

#include "mapwriter.h"

int main(int argc, char** argv)
{
    int cubes = argc == 3 ? std::atoi(argv[2]) : 63;
    if (argc < 2 || argc > 3 || cubes < 1 || cubes > 10000) {
        std::fprintf(stderr, "usage: tall_columns_map OUT [CUBES]\n");
        return 2;
    }
    const int side = 50, graphics = 8;
    tmapwriter::Map map;
    map.width = map.height = side;
    map.tileWidth = map.tileHeight = 16;
    for (int g = 0; g < graphics; ++g) {
        tmapwriter::Bytes pixels;
        for (int y = 0; y < map.tileHeight; ++y)
            for (int x = 0; x < map.tileWidth; ++x)
                tmapwriter::putPixel(pixels, map.depth, uint8_t(60 + g * 24), uint8_t(x * 15),
                                     uint8_t(y * 15), 255);
        map.graphics.push_back(pixels);
    }
    // Graphic 0 would mean "no face" on the sides.
    for (int level = 0; level < cubes; ++level) {
        tmapwriter::Block cube;
        for (int i = 0; i < 4; ++i)
            cube.graphic[i] = 1 + (level + i) % (graphics - 1);
        cube.flags = 0x20;
        map.blocks.push_back(cube);
    }
    tmapwriter::Block closing;
    closing.graphic[0] = 1;
    closing.graphic[1] = 2;
    map.blocks.push_back(closing);
    for (int layer = 0; layer < 3; ++layer)
        map.layers[layer] = std::vector<int32_t>(size_t(side) * side, 0);
    if (!tmapwriter::saveFile(argv[1], tmapwriter::buildImage(map))) {
        std::fprintf(stderr, "tall_columns_map: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
