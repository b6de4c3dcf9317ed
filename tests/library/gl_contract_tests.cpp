// What the header promises about GL, checked on Mesa's offscreen renderer:
// which contexts a load refuses, the lifetime of generated textures, which
// way quads face, how graphics' rows land on the screen, and the
// pixel-exact view.
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

using tmapwriter::Bytes;
using tmapwriter::Map;

namespace {

using Rgb = std::array<int, 3>;

// A map of width x height cells of tile x tile pixels in which every pixel
// has its own colour: red counts the pixel's column in the map, green its
// row, and blue the cell's block, so a picture shows which texel of which
// cell landed where. Block b shows graphic b; cell (x, y) holds block
// x + y * width.
Map pixelMap(int width, int height, int tile) {
    Map m;
    m.depth = 24;
    m.width = width;
    m.height = height;
    m.tileWidth = m.tileHeight = tile;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Bytes graphic;
            for (int row = 0; row < tile; ++row)
                for (int column = 0; column < tile; ++column)
                    tmapwriter::put24(graphic, uint8_t(x * tile + column), uint8_t(y * tile + row),
                                      uint8_t(10 + x + y * width));
            m.graphics.push_back(graphic);
            tmapwriter::Block b;
            b.graphic[0] = x + y * width;
            m.blocks.push_back(b);
        }
    std::vector<int32_t> cells;
    for (int i = 0; i < width * height; ++i) cells.push_back(i);
    m.layers[0] = cells;
    return m;
}

int decode(const Map& map, int firstTexture) {
    Bytes image = tmapwriter::buildImage(map);
    return tmapDecodeBuffer(image.data(), image.size(), firstTexture);
}

// An offscreen compatibility context with its own colour buffer.
class Offscreen : public ::testing::Test {
protected:
    void TearDown() override {
        tmapRelease();
        if (context) OSMesaDestroyContext(context);
    }

    void makeCurrent(OSMesaContext made, int w, int h) {
        ASSERT_NE(made, nullptr);
        context = made;
        width = w;
        height = h;
        buffer.assign(size_t(w) * size_t(h) * 4, 0);
        ASSERT_TRUE(OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, w, h));
    }
    void compatibility(int w = 8, int h = 8) {
        makeCurrent(OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr), w, h);
    }

    // The colour of pixel (x, y) counted from the top left.
    Rgb pixel(int x, int y) {
        glFinish();
        std::vector<unsigned char> row(size_t(width) * 4);
        glReadPixels(0, height - 1 - y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
        return {row[size_t(x) * 4], row[size_t(x) * 4 + 1], row[size_t(x) * 4 + 2]};
    }

    OSMesaContext context = nullptr;
    std::vector<unsigned char> buffer;
    int width = 0, height = 0;
};

// ---- Loading: the contexts that cannot take textures, generated names ----

TEST_F(Offscreen, LoadsThatMakeTexturesNeedAUsableContext) {
    const Map map = pixelMap(2, 2, 2);
    // No context current at all.
    OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
        EXPECT_EQ(decode(map, firstTexture), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
        EXPECT_STREQ(tmapErrorString(tmapError), "no usable OpenGL context");
        EXPECT_EQ(tmapBlocks, nullptr);
    }
    EXPECT_EQ(decode(map, TMAP_TEXTURES_NONE), 0);

    // A 3.3 core profile: it would refuse names that glGenTextures did not
    // make, and glTexEnvf whatever the names.
    const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24,
                              OSMESA_PROFILE, OSMESA_CORE_PROFILE,
                              OSMESA_CONTEXT_MAJOR_VERSION, 3, OSMESA_CONTEXT_MINOR_VERSION, 3, 0};
    makeCurrent(OSMesaCreateContextAttribs(attributes, nullptr), 4, 4);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
        EXPECT_EQ(decode(map, firstTexture), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "firstTexture " << firstTexture;
    }
    EXPECT_EQ(decode(map, TMAP_TEXTURES_NONE), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A compatibility context takes them.
    OSMesaDestroyContext(context);
    context = nullptr;
    compatibility();
    for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
        EXPECT_EQ(decode(map, firstTexture), 0) << tmapErrorString(tmapError);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(Offscreen, GeneratedTexturesLiveAsLongAsTheirMap) {
    compatibility();
    // A texture of the program's own, one blue texel.
    GLuint own = 0;
    glGenTextures(1, &own);
    glBindTexture(GL_TEXTURE_2D, own);
    const unsigned char blue[4] = {0, 0, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, blue);

    ASSERT_EQ(decode(pixelMap(2, 2, 2), TMAP_TEXTURES_GENERATED), 0) << tmapErrorString(tmapError);
    const std::vector<GLuint> names(tmapTextureNames, tmapTextureNames + tmapGraphicCount);
    ASSERT_EQ(names.size(), 4u);
    for (GLuint name : names) {
        EXPECT_NE(name, own);
        EXPECT_TRUE(glIsTexture(name)) << name;
    }
    // The program's texture keeps its texel.
    unsigned char texel[4] = {};
    glBindTexture(GL_TEXTURE_2D, own);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(std::vector<unsigned char>(texel, texel + 4), std::vector<unsigned char>(blue, blue + 4));

    // The next load, even one that makes no texture, deletes them.
    ASSERT_EQ(decode(pixelMap(1, 1, 2), TMAP_TEXTURES_NONE), 0);
    for (GLuint name : names) EXPECT_FALSE(glIsTexture(name)) << name;

    // So does tmapRelease; the program's texture stays.
    ASSERT_EQ(decode(pixelMap(2, 1, 2), TMAP_TEXTURES_GENERATED), 0);
    const std::vector<GLuint> second(tmapTextureNames, tmapTextureNames + tmapGraphicCount);
    tmapRelease();
    for (GLuint name : second) EXPECT_FALSE(glIsTexture(name)) << name;
    EXPECT_TRUE(glIsTexture(own));

    // Caller-chosen names are the caller's: release leaves them.
    ASSERT_EQ(decode(pixelMap(1, 1, 2), 100), 0);
    tmapRelease();
    EXPECT_TRUE(glIsTexture(100));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
