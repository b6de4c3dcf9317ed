// Real pixels: maps drawn by the library through Mesa's offscreen renderer
// with a fixed orthographic camera, read back and checked at chosen points.
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

using tmapwriter::Bytes;
using tmapwriter::Map;

namespace {

using Rgb = std::array<int, 3>;
const Rgb red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255}, white = {255, 255, 255},
          yellow = {255, 255, 0}, grey = {128, 128, 128}, black = {0, 0, 0};

// Every test draws into a fresh width x height window whose camera shows
// map units (left..right, bottom..top) with 16 pixels per unit.
class Pixels : public ::testing::Test {
protected:
    static constexpr int pixelsPerUnit = 16;

    void SetUp() override {
        context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
        ASSERT_NE(context, nullptr);
    }
    void TearDown() override {
        tmapRelease();
        if (context) OSMesaDestroyContext(context);
    }

    // Makes the context current on a buffer and sets a camera looking down
    // -z (higher z is nearer) at the given rectangle of map units.
    void camera(float left, float right, float bottom, float top) {
        width = int((right - left) * pixelsPerUnit);
        height = int((top - bottom) * pixelsPerUnit);
        buffer.assign(size_t(width) * size_t(height) * 4, 0);
        ASSERT_TRUE(OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height));
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(left, right, bottom, top, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_CULL_FACE);
        glColor4f(1, 1, 1, 1);
        originLeft = left;
        originBottom = bottom;
    }

    // Textures are defined in the current context: call after camera().
    void load(const Map& map) {
        tmapError = 0;
        Bytes image = tmapwriter::buildImage(map);
        ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), 1), 0) << tmapErrorString(tmapError);
    }

    // Colour at a point given in map units.
    Rgb at(float x, float y) {
        glFinish();
        std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        int px = int((x - originLeft) * pixelsPerUnit);
        int py = int((y - originBottom) * pixelsPerUnit);
        const unsigned char* p = &pixels[(size_t(py) * size_t(width) + size_t(px)) * 4];
        return {p[0], p[1], p[2]};
    }

    OSMesaContext context = nullptr;
    std::vector<unsigned char> buffer;
    int width = 0, height = 0;
    float originLeft = 0, originBottom = 0;
};

void expectNear(const Rgb& actual, const Rgb& expected, const char* where) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], 3) << where << ": (" << actual[0] << "," << actual[1] << ","
                                                << actual[2] << ")";
}

Bytes solid24(int pixels, const Rgb& c) {
    Bytes out;
    for (int i = 0; i < pixels; ++i) tmapwriter::put24(out, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    return out;
}

// A 2 x 2 graphic: first stored row red, green; second row blue, white.
Bytes quartered() {
    Bytes out;
    for (const Rgb& c : {red, green, blue, white}) tmapwriter::put24(out, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    return out;
}

tmapwriter::Block block(int g1, int g2 = 0, uint8_t flags = 0, std::array<int, 4> sides = {0, 0, 0, 0}) {
    tmapwriter::Block b;
    b.graphic[0] = g1;
    b.graphic[1] = g2;
    if (flags & 0x20)
        for (int i = 0; i < 4; ++i) b.graphic[i] = sides[size_t(i)];
    b.flags = flags;
    return b;
}

TEST_F(Pixels, TilesLandInTheirCells) {
    Map m;
    m.depth = 24;
    m.littleEndian = false;
    m.width = 3;
    m.height = 2;
    m.tileWidth = m.tileHeight = 2;
    m.graphics = {solid24(4, black), solid24(4, red), solid24(4, green), solid24(4, blue), solid24(4, white),
                  solid24(4, yellow), solid24(4, grey)};
    for (int g = 1; g <= 6; ++g) m.blocks.push_back(block(g));
    m.layers[0] = std::vector<int32_t>{0, 1, 2, 3, 4, 5};
    camera(0, 3, 0, 2);
    load(m);
    // Rows run down the screen, as in the demos.
    tmapDrawLayer(0, 0, 3, 2, 0.0f, 2.0f, 0.0f, 1.0f, -1.0f);
    expectNear(at(0.5f, 1.5f), red, "cell 0,0");
    expectNear(at(1.5f, 1.5f), green, "cell 1,0");
    expectNear(at(2.5f, 1.5f), blue, "cell 2,0");
    expectNear(at(0.5f, 0.5f), white, "cell 0,1");
    expectNear(at(1.5f, 0.5f), yellow, "cell 1,1");
    expectNear(at(2.5f, 0.5f), grey, "cell 2,1");
}

TEST_F(Pixels, MirrorFlagsFlipTheGraphic) {
    Map m;
    m.depth = 24;
    m.width = 4;
    m.height = 1;
    m.tileWidth = m.tileHeight = 2;
    m.graphics = {solid24(4, black), quartered()};
    for (uint8_t flags : {0x00, 0x40, 0x80, 0xC0}) m.blocks.push_back(block(1, 0, flags));
    m.layers[0] = std::vector<int32_t>{0, 1, 2, 3};
    camera(0, 4, 0, 1);
    load(m);
    tmapDrawLayer(0, 0, 4, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    // Corners of each cell: the first stored row lies along the edge at y.
    const struct {
        Rgb lowerLeft, lowerRight, upperLeft, upperRight;
    } expected[] = {{red, green, blue, white},   // as stored
                    {green, red, white, blue},   // 0x40: left-right
                    {blue, white, red, green},   // 0x80: top-bottom
                    {white, blue, green, red}};  // both
    for (int cell = 0; cell < 4; ++cell) {
        SCOPED_TRACE("cell " + std::to_string(cell));
        float x = float(cell);
        expectNear(at(x + 0.1f, 0.1f), expected[cell].lowerLeft, "lower left");
        expectNear(at(x + 0.9f, 0.1f), expected[cell].lowerRight, "lower right");
        expectNear(at(x + 0.1f, 0.9f), expected[cell].upperLeft, "upper left");
        expectNear(at(x + 0.9f, 0.9f), expected[cell].upperRight, "upper right");
    }
}

TEST_F(Pixels, SecondGraphicBlendsThroughTransparentTexels) {
    Map m;
    m.depth = 16;
    m.width = 2;
    m.height = 1;
    m.tileWidth = 2;
    m.tileHeight = 1;
    Bytes ground, overlay, clear;
    for (int i = 0; i < 2; ++i) tmapwriter::put16(ground, 0, 0, 255);
    tmapwriter::put16(overlay, 255, 0, 255); // colour key: transparent
    tmapwriter::put16(overlay, 255, 255, 0);
    for (int i = 0; i < 2; ++i) tmapwriter::put16(clear, 255, 0, 255);
    m.graphics = {clear, ground, overlay};
    m.blocks = {block(1, 2), block(1, 0)};
    m.layers[0] = std::vector<int32_t>{0, 1};
    camera(0, 2, 0, 1);
    load(m);
    tmapDrawLayer(0, 0, 2, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    tmapDrawLayerSecondGraphic(0, 0, 2, 1, 0.0f, 0.0f, 0.002f, 1.0f, 1.0f);
    expectNear(at(0.1f, 0.5f), blue, "under the transparent texel");
    expectNear(at(0.9f, 0.5f), yellow, "under the opaque texel");
    // Graphic 0 is drawn like any other: all transparent here.
    expectNear(at(1.5f, 0.5f), blue, "second cell");
}

TEST_F(Pixels, TopCapOfAColumnIsInFrontOfTheGround) {
    Map m;
    m.depth = 32;
    m.width = 3;
    m.height = 1;
    m.tileWidth = m.tileHeight = 1;
    Bytes px;
    for (const Rgb& c : {black, red, green, blue, grey}) tmapwriter::put32(px, 255, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    for (size_t g = 0; g < 5; ++g) m.graphics.push_back(Bytes(px.begin() + long(4 * g), px.begin() + long(4 * g + 4)));
    // Block 1 stacks two grey cubes (via block 2) closed by block 3, whose
    // upper cap is red and whose lower cap, drawn last, is blue.
    m.blocks = {block(2), block(0, 0, 0x20, {4, 4, 4, 4}), block(0, 0, 0x20, {4, 4, 4, 4}), block(3, 1)};
    m.layers[0] = std::vector<int32_t>{0, 1, 0};
    camera(0, 3, 0, 1);
    load(m);
    tmapDrawBlocks(0, 0, 3, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    expectNear(at(0.5f, 0.5f), green, "ground left");
    expectNear(at(1.5f, 0.5f), red, "column top");
    expectNear(at(2.5f, 0.5f), green, "ground right");
}

TEST_F(Pixels, SideFacesShowTheirFirstRowAtTheTop) {
    Map m;
    m.depth = 24;
    m.width = 1;
    m.height = 1;
    m.tileWidth = 1;
    m.tileHeight = 2;
    Bytes side;
    for (const Rgb& c : {red, blue}) tmapwriter::put24(side, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    m.graphics = {solid24(2, black), side, solid24(2, green)};
    m.blocks = {block(0, 0, 0x20, {1, 1, 1, 1}), block(2)};
    m.layers[0] = std::vector<int32_t>{0};
    // Look from -y: height (z) runs up the screen, and the face at the
    // cell's starting edge y (graphic2, normal -y) is nearest.
    camera(0, 1, 0, 2);
    load(m);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    tmapDrawBlocks(0, 0, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    expectNear(at(0.5f, 0.9f), red, "top of the cube");
    expectNear(at(0.5f, 0.1f), blue, "bottom of the cube");
    expectNear(at(0.5f, 1.5f), black, "above the cube");
}

} // namespace
