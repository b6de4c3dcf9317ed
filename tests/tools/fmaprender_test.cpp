// fmaprender run as a program; its PNG read back and looked at.
#include <gtest/gtest.h>

#include <set>

#include "mapwriter.h"
#include "pngfile.h"
#include "toolrun.h"

using tmapwriter::Map;

namespace {

struct Rgb {
    uint8_t r, g, b;
};

// One solid colour per graphic; graphic 4 is half colour key (left), half white.
const Rgb tileColours[4] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {220, 220, 40}};
const int tile = 8;

// 4 x 3 cells of depth 24. Layer 0: cell (x, y) shows block (x + 2y) % 4,
// and block k has graphic k as its first graphic and graphic 4 as its second.
Map tinyMap()
{
    Map map;
    map.width = 4;
    map.height = 3;
    map.tileWidth = tile;
    map.tileHeight = tile;
    map.depth = 24;
    for (const Rgb& colour : tileColours) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < tile * tile; ++p)
            tmapwriter::put24(pixels, colour.r, colour.g, colour.b);
        map.graphics.push_back(pixels);
    }
    tmapwriter::Bytes halfKeyed;
    for (int y = 0; y < tile; ++y)
        for (int x = 0; x < tile; ++x)
            tmapwriter::putPixel(halfKeyed, 24, 255, 255, 255, x < tile / 2 ? 0 : 255);
    map.graphics.push_back(halfKeyed);
    for (int k = 0; k < 4; ++k) {
        tmapwriter::Block block;
        block.graphic[0] = k;
        block.graphic[1] = 4;
        map.blocks.push_back(block);
    }
    std::vector<int32_t> cells;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            cells.push_back((x + 2 * y) % 4);
    map.layers[0] = cells;
    // Layer 1: plain caps without second graphics, block 3 (yellow) in the
    // middle of a field of block 0 (red): the blocks view from above.
    map.blocks.push_back(tmapwriter::Block{}); // 4: all graphics 0, no flags
    std::vector<int32_t> field(12, 4);
    field[1 + 4 * 1] = 3;
    map.layers[1] = field;
    // Layer 2: one cell showing animation 0, which loops over blocks 0, 1.
    map.frames = {0, 1};
    tmapwriter::Anim loop;
    loop.mode = 1, loop.delay = 0, loop.start = 0, loop.current = 0, loop.end = 2;
    map.anims.push_back(loop);
    map.layers[2] = std::vector<int32_t>(12, -1);
    // Layer 3: block 5 everywhere, the half-keyed graphic 4 as its first graphic.
    tmapwriter::Block halfKeyedBlock;
    halfKeyedBlock.graphic[0] = 4;
    map.blocks.push_back(halfKeyedBlock);
    map.layers[3] = std::vector<int32_t>(12, 5);
    return map;
}

std::string fmaprender(const std::string& arguments)
{
    return shellQuoted(FMAPRENDER_PATH) + " " + arguments;
}

tmapimage::Image render(const std::string& folder, const std::string& arguments)
{
    std::string mapPath = writeFile(folder, "tiny.fmp", tmapwriter::buildImage(tinyMap()));
    std::string pngPath = folder + "/out.png";
    ToolResult result = runTool(fmaprender(arguments + " " + shellQuoted(mapPath) + " " + shellQuoted(pngPath)));
    EXPECT_EQ(result.status, 0) << result.err;
    tmapimage::Image image;
    std::string reason;
    EXPECT_TRUE(tmapimage::readPng(pngPath, image, reason)) << reason;
    return image;
}

Rgb pixel(const tmapimage::Image& image, int x, int y)
{
    const uint8_t* p = &image.rgba[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
    return {p[0], p[1], p[2]};
}

void expectColour(const tmapimage::Image& image, int x, int y, Rgb expected)
{
    Rgb got = pixel(image, x, y);
    EXPECT_TRUE(got.r == expected.r && got.g == expected.g && got.b == expected.b)
        << "pixel (" << x << ", " << y << ") is " << int(got.r) << "," << int(got.g) << "," << int(got.b)
        << ", expected " << int(expected.r) << "," << int(expected.g) << "," << int(expected.b);
}

size_t distinctColours(const tmapimage::Image& image)
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < image.rgba.size(); i += 4)
        colours.insert(uint32_t(image.rgba[i]) << 16 | uint32_t(image.rgba[i + 1]) << 8 | image.rgba[i + 2]);
    return colours.size();
}

} // namespace

TEST(FmaprenderFlat, EachCellShowsItsTileWhereTheMapPutsIt)
{
    tmapimage::Image image = render(scratchFolder("flat"), "");
    // Default size: one pixel per tile pixel.
    ASSERT_EQ(image.width, 4 * tile);
    ASSERT_EQ(image.height, 3 * tile);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            expectColour(image, x * tile + tile / 2, y * tile + tile / 2, tileColours[(x + 2 * y) % 4]);
    EXPECT_EQ(distinctColours(image), 4u);
}

TEST(FmaprenderFlat, WindowAndSizeChooseTheCellsAndScale)
{
    // Cells (1, 1) and (2, 1) (blocks 3 and 0), drawn 20 pixels per cell.
    tmapimage::Image image = render(scratchFolder("window"), "--window 1,1,2,1 --size 40x20");
    ASSERT_EQ(image.width, 40);
    ASSERT_EQ(image.height, 20);
    expectColour(image, 10, 10, tileColours[3]);
    expectColour(image, 30, 10, tileColours[0]);
}

TEST(FmaprenderFlat, SecondGraphicBlendsOverTheFirst)
{
    tmapimage::Image image = render(scratchFolder("second"), "--second");
    ASSERT_EQ(image.width, 4 * tile);
    // Left half of each cell: the keyed texels let the first graphic show;
    // right half: the second graphic's opaque white.
    for (int x = 0; x < 4; ++x) {
        expectColour(image, x * tile + 1, tile / 2, tileColours[x % 4]);
        expectColour(image, x * tile + tile - 2, tile / 2, {255, 255, 255});
    }
}

TEST(FmaprenderFlat, CellOrderDrawsTheSamePictureAsTheDefaultGroupedOrder)
{
    // Both flat passes, the second blended, scaled so that cells meet at
    // fractional pixel positions.
    std::string folder = scratchFolder("order");
    tmapimage::Image grouped = render(folder, "--second --size 50x37");
    tmapimage::Image cellOrder = render(folder, "--second --size 50x37 --cell-order");
    ASSERT_EQ(grouped.width, 50);
    ASSERT_EQ(cellOrder.width, 50);
    EXPECT_TRUE(grouped.rgba == cellOrder.rgba);
}

TEST(FmaprenderFlat, TicksAdvanceTheAnimationsFromTheirStart)
{
    std::string folder = scratchFolder("ticks");
    for (int ticks : {0, 1, 2, 3}) {
        tmapimage::Image image = render(folder, "--layer 2 --window 0,0,1,1 --ticks " + std::to_string(ticks));
        ASSERT_EQ(image.width, tile);
        expectColour(image, tile / 2, tile / 2, tileColours[ticks % 2]);
    }
}

TEST(FmaprenderFlat, ScaleShowsExactTexelsAndLayersLayTheLaterOnTop)
{
    // Layer 2 (animation 0 on block 0, red everywhere) under layer 0.
    tmapimage::Image image = render(scratchFolder("scale"), "--scale 2 --layers 2,0");
    ASSERT_EQ(image.width, 2 * 4 * tile);
    ASSERT_EQ(image.height, 2 * 3 * tile);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            expectColour(image, 2 * x * tile + 1, 2 * y * tile + 1, tileColours[(x + 2 * y) % 4]);
    EXPECT_EQ(distinctColours(image), 4u);

    // Every pixel is one texel, none a blend of neighbours: the keyed half
    // of each tile shows the background, the other half is white.
    tmapimage::Image halves = render(scratchFolder("scale"), "--scale 3 --layers 3 --background 0000ff");
    ASSERT_EQ(halves.width, 3 * 4 * tile);
    for (int x = 0; x < halves.width; ++x)
        expectColour(halves, x, 5, x % (3 * tile) < 3 * tile / 2 ? Rgb{0, 0, 255} : Rgb{255, 255, 255});
}

TEST(FmaprenderBlocks, ViewFromAboveShowsTheCapsAndLightingDarkens)
{
    std::string folder = scratchFolder("blocks");
    tmapimage::Image top = render(folder, "--blocks --layer 1 --window 0,0,3,3 --pitch 89 --yaw 0 --size 90x90");
    ASSERT_EQ(top.width, 90);
    ASSERT_EQ(top.height, 90);
    // The 3 x 3 window's middle cell is yellow, the others red.
    expectColour(top, 45, 45, tileColours[3]);
    expectColour(top, 30, 45, tileColours[0]);
    EXPECT_GE(distinctColours(top), 3u); // red, yellow and the black around them

    // Light scales the caps' colour down through the modulated texture.
    tmapimage::Image lit = render(folder, "--blocks --layer 1 --window 0,0,3,3 --pitch 89 --yaw 0 --size 90x90 --light");
    Rgb middle = pixel(lit, 45, 45);
    EXPECT_LT(middle.r, tileColours[3].r);
    EXPECT_GT(middle.r, 0);
    EXPECT_GT(middle.r, middle.b);
}

TEST(FmaprenderUsage, RefusesBadRequestsWithAReason)
{
    std::string folder = scratchFolder("usage");
    std::string mapPath = writeFile(folder, "tiny.fmp", tmapwriter::buildImage(tinyMap()));
    std::string out = shellQuoted(folder + "/x.png");

    ToolResult outside = runTool(fmaprender("--window 2,0,3,1 " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.err.find("the window lies outside the 4 x 3 cells"), std::string::npos) << outside.err;

    ToolResult noLayer = runTool(fmaprender("--layer 5 " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(noLayer.status, 1);
    EXPECT_NE(noLayer.err.find("the map has no layer 5"), std::string::npos) << noLayer.err;

    ToolResult missing = runTool(fmaprender(shellQuoted(folder + "/none.fmp") + " " + out));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("file could not be opened (error 3)"), std::string::npos) << missing.err;

    // A picture too large is refused before it is allocated.
    Map wide = tinyMap();
    wide.width = 1100; // 8800 pixels at scale 1
    for (auto& layer : wide.layers)
        if (layer)
            layer->resize(size_t(wide.width * wide.height));
    std::string widePath = writeFile(folder, "wide.fmp", tmapwriter::buildImage(wide));
    ToolResult tooWide = runTool(fmaprender("--scale 1 " + shellQuoted(widePath) + " " + out));
    EXPECT_EQ(tooWide.status, 1);
    EXPECT_EQ(tooWide.err, "fmaprender: " + widePath
                               + ": at scale 1 the picture would be 8800 x 24 pixels, more than 8192 on a side"
                                 " (draw a --window of it)\n");

    ToolResult badLayers = runTool(fmaprender("--layers 0,9 " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(badLayers.status, 2);
    EXPECT_NE(badLayers.err.find("--layers wants all, or up to 8 numbers 0 to 7"), std::string::npos) << badLayers.err;
    ToolResult absent = runTool(fmaprender("--layers 0,4 " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find("the map has no layer 4"), std::string::npos) << absent.err;

    // 12 cells of two caps each: 24 faces; --max-faces sets the limit.
    ToolResult tooMany = runTool(fmaprender("--blocks --max-faces 23 " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(tooMany.status, 1);
    EXPECT_NE(tooMany.err.find("the window has 24 block faces, more than the limit of 23"), std::string::npos)
        << tooMany.err;
    EXPECT_EQ(runTool(fmaprender("--blocks --max-faces 24 " + shellQuoted(mapPath) + " " + out)).status, 0);
    ToolResult badLimit = runTool(fmaprender("--blocks --max-faces lots " + shellQuoted(mapPath) + " " + out));
    EXPECT_EQ(badLimit.status, 2);
    EXPECT_NE(badLimit.err.find("--max-faces wants a count of 0 or more, not lots"), std::string::npos)
        << badLimit.err;

    ToolResult help = runTool(fmaprender("--help"));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: fmaprender"), std::string::npos);
}
