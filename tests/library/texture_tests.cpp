// Tile graphics become textures: the upload sequence per graphic and the
// RGBA pixels every depth converts to, colour keys included.
#include <gmock/gmock.h>

#include "test_support.h"

using support::Bytes;
using support::load;
using support::Map;
using ::testing::ElementsAre;

namespace {

class Textures : public LibraryTest {
protected:
    // Loads one 1 x n graphic per pixel list at the given depth and returns
    // the uploaded RGBA bytes of each. The same map loaded without textures
    // must keep exactly those bytes, with no GL call at all.
    std::vector<Bytes> convert(int depth, const std::vector<Bytes>& graphics, int width,
                               const Bytes& colourMap = {}) {
        Map m;
        m.depth = depth;
        m.tileWidth = width;
        m.tileHeight = 1;
        m.graphics = graphics;
        m.colourMap = colourMap;
        gldouble::reset();
        EXPECT_EQ(load(m), 0) << tmapErrorString(tmapError);
        std::vector<Bytes> out;
        for (const gldouble::Call& c : gldouble::callsNamed("glTexImage2D")) out.push_back(c.bytes);

        gldouble::reset();
        EXPECT_EQ(load(m, TMAP_TEXTURES_NONE), 0) << tmapErrorString(tmapError);
        EXPECT_TRUE(gldouble::calls().empty()) << gldouble::dump();
        Bytes uploaded;
        for (const Bytes& graphic : out) uploaded.insert(uploaded.end(), graphic.begin(), graphic.end());
        const Bytes kept(tmapGraphicPixels, tmapGraphicPixels + uploaded.size());
        EXPECT_EQ(kept, uploaded);
        return out;
    }
};

TEST_F(Textures, UploadSequencePerGraphic) {
    Map m;
    m.depth = 24;
    m.tileWidth = 3;
    m.tileHeight = 2;
    m.graphics = {Bytes(18, 1), Bytes(18, 2)};
    ASSERT_EQ(load(m, 10), 0);
    const std::vector<std::string> perGraphic = {
        "glPixelStorei(GL_UNPACK_ALIGNMENT,1)",
        "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_WRAP_S,GL_CLAMP_TO_EDGE)",
        "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_WRAP_T,GL_CLAMP_TO_EDGE)",
        "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_MAG_FILTER,GL_LINEAR)",
        "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_MIN_FILTER,GL_LINEAR)",
#if !defined(__EMSCRIPTEN__) // WebGL has no texture environment
        "glTexEnvf(GL_TEXTURE_ENV,GL_TEXTURE_ENV_MODE,GL_MODULATE)",
#endif
        "glTexImage2D(GL_TEXTURE_2D,0,GL_RGBA,3,2,0,GL_RGBA,GL_UNSIGNED_BYTE,<24 bytes>)",
    };
    std::vector<std::string> expected = {"glBindTexture(GL_TEXTURE_2D,10)"};
    expected.insert(expected.end(), perGraphic.begin(), perGraphic.end());
    expected.push_back("glBindTexture(GL_TEXTURE_2D,11)");
    expected.insert(expected.end(), perGraphic.begin(), perGraphic.end());
    EXPECT_EQ(gldouble::trace(), expected) << gldouble::dump();
    // Each graphic's own pixels, read in stored order.
    auto uploads = gldouble::callsNamed("glTexImage2D");
    EXPECT_EQ(uploads[1].bytes, Bytes({2, 2, 2, 255, 2, 2, 2, 255, 2, 2, 2, 255, 2, 2, 2, 255, 2, 2, 2, 255, 2, 2, 2, 255}));
}

TEST_F(Textures, ManyGraphicsLeaveTheLastBound) {
    Map m;
    m.depth = 16;
    m.tileWidth = m.tileHeight = 1;
    m.graphics.assign(40, Bytes{0, 0});
    ASSERT_EQ(load(m, 10), 0);
    auto binds = gldouble::callsNamed("glBindTexture");
    ASSERT_EQ(binds.size(), 40u);
    for (size_t g = 0; g < binds.size(); ++g) EXPECT_EQ(binds[g].arg(1), 10 + double(g));
    EXPECT_EQ(gldouble::calls().back().name, "glTexImage2D");
    EXPECT_EQ(gldouble::unpackAlignment(), 1);
}

TEST_F(Textures, NoGraphicsMakeNoTexture) {
    Map m = support::sampleMap(16, true);
    m.graphics.clear();
    m.graphicCount = 0;
    ASSERT_EQ(load(m), 0);
    EXPECT_TRUE(gldouble::calls().empty()) << gldouble::dump();
    ASSERT_EQ(load(m, TMAP_TEXTURES_NONE), 0);
    EXPECT_EQ(tmapGraphicPixels, nullptr);
    // A "BGFX" chunk that holds bytes for a header claiming none: still none.
    auto chunks = tmapwriter::buildChunks(m);
    chunks.push_back(tmapwriter::makeChunk("BGFX", Bytes(64, 7)));
    ASSERT_EQ(load(tmapwriter::buildForm(chunks)), 0);
    EXPECT_TRUE(gldouble::calls().empty());
}

TEST_F(Textures, RowsKeepTheirStoredOrder) {
    Map m;
    m.depth = 32;
    m.tileWidth = 2;
    m.tileHeight = 2;
    Bytes pixels;
    tmapwriter::put32(pixels, 255, 1, 2, 3);
    tmapwriter::put32(pixels, 255, 4, 5, 6);
    tmapwriter::put32(pixels, 128, 7, 8, 9);
    tmapwriter::put32(pixels, 0, 10, 11, 12);
    m.graphics = {pixels};
    ASSERT_EQ(load(m), 0);
    EXPECT_EQ(gldouble::callsNamed("glTexImage2D")[0].bytes,
              Bytes({1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 128, 10, 11, 12, 0}));
}

TEST_F(Textures, SixteenBitPixels) {
    auto out = convert(16, {Bytes{0xF8, 0x1F, 0xF8, 0x3F, 0x84, 0x10, 0xFF, 0xFF, 0x00, 0x00}}, 5);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], Bytes({255, 0, 255, 0, 255, 4, 255, 255, 132, 130, 132, 255, 255, 255, 255, 255, 0, 0, 0, 255}));
    // Green's six bits: 0x07 0xE0 is full green only.
    out = convert(16, {Bytes{0x07, 0xE0}}, 1);
    EXPECT_EQ(out[0], Bytes({0, 255, 0, 255}));
}

TEST_F(Textures, FifteenBitPixels) {
    auto out = convert(15, {Bytes{0x7C, 0x1F, 0xFC, 0x1F, 0x42, 0x10, 0x7F, 0xFF, 0x03, 0xE0}}, 5);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], Bytes({255, 0, 255, 0, 255, 0, 255, 0, 132, 132, 132, 255, 255, 255, 255, 255, 0, 255, 0, 255}));
}

TEST_F(Textures, TwentyFourBitPixels) {
    auto out = convert(24, {Bytes{255, 0, 254, 255, 0, 255, 1, 2, 3}}, 3);
    EXPECT_EQ(out[0], Bytes({255, 0, 254, 255, 255, 0, 255, 0, 1, 2, 3, 255}));
}

TEST_F(Textures, ThirtyTwoBitPixelsKeepTheirAlpha) {
    auto out = convert(32, {Bytes{0, 255, 0, 255, 255, 255, 0, 255, 77, 1, 2, 3}}, 3);
    EXPECT_EQ(out[0], Bytes({255, 0, 255, 0, 255, 0, 255, 255, 1, 2, 3, 77}));
}

TEST_F(Textures, EightBitPixelsThroughTheColourMap) {
    Bytes colours(768, 0);
    colours[0] = 200; // entry 0 is not black, yet index 0 stays transparent
    colours[1] = 100;
    colours[2] = 50;
    colours[3 * 1 + 0] = 1;
    colours[3 * 1 + 1] = 2;
    colours[3 * 1 + 2] = 3;
    colours[3 * 255 + 0] = 255;
    colours[3 * 255 + 1] = 0;
    colours[3 * 255 + 2] = 255; // magenta is no key at depth 8
    auto out = convert(8, {Bytes{0, 1, 255}}, 3, colours);
    EXPECT_EQ(out[0], Bytes({200, 100, 50, 0, 1, 2, 3, 255, 255, 0, 255, 255}));
    // A short colour map: entries past its end, or cut by it, read as opaque black.
    out = convert(8, {Bytes{1, 2, 3}}, 3, Bytes{9, 9, 9, 4, 5, 6, 70, 80});
    EXPECT_EQ(out[0], Bytes({4, 5, 6, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
}

TEST_F(Textures, UnknownDepthUploadsTransparentBlack) {
    // A load of opaque graphics first, so that a scratch buffer that was
    // not zeroed would likely show their leftovers.
    auto opaque = convert(32, {Bytes(64 * 64 * 4, 0xFF)}, 64 * 64);
    tmapRelease();
    gldouble::reset();
    auto out = convert(12, {Bytes(64 * 64, 0xFF), Bytes(64 * 64, 0x12)}, 64 * 64);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], Bytes(64 * 64 * 4, 0));
    EXPECT_EQ(out[1], Bytes(64 * 64 * 4, 0));
}

} // namespace
