#include "benchmaps.h"

namespace benchmaps {

namespace {

void addSolidGraphics(tmapwriter::Map& map, int count)
{
    for (int g = 0; g < count; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < map.tileWidth * map.tileHeight; ++p)
            tmapwriter::putPixel(pixels, map.depth, uint8_t(g * 37), uint8_t(p * 3), uint8_t(g + p), 255);
        map.graphics.push_back(pixels);
    }
}

tmapwriter::Map header(int width, int height)
{
    tmapwriter::Map map;
    map.width = width;
    map.height = height;
    map.tileWidth = 16;
    map.tileHeight = 16;
    map.depth = 16;
    return map;
}

} // namespace

tmapwriter::Map largeMap()
{
    const int side = 2048, graphics = 300, blocks = 1024, anims = 64;
    tmapwriter::Map map = header(side, side);
    addSolidGraphics(map, graphics);
    for (int k = 0; k < blocks; ++k) {
        tmapwriter::Block block;
        for (int i = 0; i < 4; ++i)
            block.graphic[i] = (k * 7 + i) % graphics;
        block.flags = uint8_t(k * 13);
        map.blocks.push_back(block);
    }
    for (int n = 0; n < anims * 4; ++n)
        map.frames.push_back(n % blocks);
    for (int n = 0; n < anims; ++n) {
        tmapwriter::Anim anim;
        anim.mode = uint8_t(1 + n % 6);
        anim.delay = uint8_t(n % 5);
        anim.start = anim.current = 4 * n;
        anim.end = 4 * n + 4;
        map.anims.push_back(anim);
    }
    for (int layer = 0; layer < 8; ++layer) {
        std::vector<int32_t> cells(size_t(side) * side);
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = (i + size_t(layer)) % 97 == 0 ? -int32_t(1 + i % anims) : int32_t((i * 31 + size_t(layer)) % blocks);
        map.layers[layer] = std::move(cells);
    }
    return map;
}

tmapwriter::Map convertMap()
{
    const int side = 1024, tiles = 1000;
    tmapwriter::Map map = header(side, side);
    map.depth = 32;
    for (int g = 0; g < tiles; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < map.tileWidth * map.tileHeight; ++p)
            tmapwriter::putPixel(pixels, map.depth, uint8_t(g), uint8_t(g >> 8 | p << 2), uint8_t(p * 7 + g), 255);
        map.graphics.push_back(pixels);
        tmapwriter::Block block;
        block.graphic[0] = g;
        block.flags = uint8_t((g & 3) << 6);
        map.blocks.push_back(block);
    }
    for (int layer = 0; layer < 4; ++layer) {
        std::vector<int32_t> cells(size_t(side) * side);
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = int32_t((i * 7919 + size_t(layer) * 13) % size_t(tiles));
        map.layers[layer] = std::move(cells);
    }
    return map;
}

tmapwriter::Map graphicsOnlyMap()
{
    tmapwriter::Map map = header(1, 1);
    addSolidGraphics(map, 300);
    return map;
}

tmapwriter::Map manyAnimsMap(int count)
{
    tmapwriter::Map map = header(1, 1);
    map.blocks.resize(16);
    for (int n = 0; n < 16; ++n)
        map.frames.push_back(n);
    for (int n = 0; n < count; ++n) {
        tmapwriter::Anim anim;
        anim.mode = uint8_t(1 + n % 6);
        anim.delay = uint8_t(n % 4);
        anim.start = n % 8;
        anim.end = anim.start + 2 + n % 7;
        anim.current = anim.start;
        map.anims.push_back(anim);
    }
    return map;
}

tmapwriter::Map drawMap(int side)
{
    const int graphics = 32;
    tmapwriter::Map map = header(side, side);
    addSolidGraphics(map, graphics);
    // Blocks 0..29 stand alone; 30, 31 are stacked under the closing block 32.
    for (int k = 0; k < 33; ++k) {
        tmapwriter::Block block;
        for (int i = 0; i < 4; ++i)
            block.graphic[i] = 1 + (k + i) % (graphics - 1);
        if (k == 30 || k == 31)
            block.flags = 0x20;
        if (k % 3 == 0)
            block.graphic[1] = 0; // one cap only
        map.blocks.push_back(block);
    }
    map.frames = {1, 2, 3, 4};
    tmapwriter::Anim anim;
    anim.mode = 1;
    anim.delay = 2;
    anim.end = 4;
    map.anims.push_back(anim);
    std::vector<int32_t> cells(size_t(side) * side);
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i] = i % 5 == 0 ? 30 : i % 7 == 0 ? -1 : int32_t(i % 30);
    map.layers[0] = std::move(cells);
    return map;
}

namespace {

const int denseGraphics = 48;

// Graphic 0 means "no face" on the sides, so faces use 1 .. 47.
int denseGraphic(int n) { return 1 + n % (denseGraphics - 1); }

// Appends a column of kind `kind` with `cubes` stacked records and a closing
// record with both caps; returns the index of its first record. Each cube has
// two opposite faces, turning a quarter from one cube to the next.
int32_t addDenseColumn(tmapwriter::Map& map, int kind, int cubes)
{
    const int32_t first = int32_t(map.blocks.size());
    for (int level = 0; level < cubes; ++level) {
        tmapwriter::Block cube;
        for (int face = 0; face < 4; ++face)
            cube.graphic[face] =
                (face + level + kind) % 2 == 0 ? denseGraphic(kind * 7 + level * 5 + face * 11) : 0;
        cube.flags = 0x20;
        map.blocks.push_back(cube);
    }
    tmapwriter::Block caps;
    caps.graphic[0] = denseGraphic(kind * 3);
    caps.graphic[1] = denseGraphic(kind * 3 + 17);
    map.blocks.push_back(caps);
    return first;
}

} // namespace

tmapwriter::Map denseMap()
{
    const int side = 50, columnKinds = 40;
    tmapwriter::Map map = header(side, side);
    addSolidGraphics(map, denseGraphics);
    // Column kind c is 3 + c % 4 cubes: about 27 500 quads in a 50 x 50
    // window, as many as a dense town map of solid columns shows.
    std::vector<int32_t> columnStart;
    for (int c = 0; c < columnKinds; ++c)
        columnStart.push_back(addDenseColumn(map, c, 3 + c % 4));
    std::vector<int32_t> cells(size_t(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            cells[size_t(y) * side + x] = columnStart[size_t(x * 7 + y * 13) % columnKinds];
    for (int layer = 0; layer < 3; ++layer)
        map.layers[layer] = cells;
    return map;
}

tmapwriter::Map animatedBlockMap()
{
    tmapwriter::Map map = denseMap();
    // Three looping animations through columns of 1 to 6 cubes, so that
    // every frame change makes the animated columns shorter or taller. Their
    // periods (0.25, 0.31 and 0.37 s at 10 ms a tick) keep them apart.
    const int heights[3][4] = {{1, 5, 2, 6}, {4, 2, 6, 3}, {6, 1, 4, 2}};
    for (int a = 0; a < 3; ++a) {
        tmapwriter::Anim anim;
        anim.mode = 1;
        anim.delay = uint8_t(24 + 6 * a);
        anim.start = anim.current = int32_t(map.frames.size());
        for (int f = 0; f < 4; ++f)
            map.frames.push_back(addDenseColumn(map, 40 + a * 4 + f, heights[a][f]));
        anim.end = int32_t(map.frames.size());
        map.anims.push_back(anim);
    }
    // About one cell in eleven is animated, the three animations in turn.
    const int side = map.width;
    std::vector<int32_t> cells = *map.layers[0];
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if ((x * 7 + y * 13) % 11 == 0)
                cells[size_t(y) * side + x] = -1 - (x + y) % 3;
    for (int layer = 0; layer < 3; ++layer)
        map.layers[layer] = cells;
    return map;
}

} // namespace benchmaps
