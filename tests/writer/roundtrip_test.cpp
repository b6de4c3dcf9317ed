// Maps written by tmapwriter load back into exactly the model they describe.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <string>
#include <tuple>
#include <vector>

#include "gldouble.h"
#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

using tmapwriter::Bytes;
using tmapwriter::Map;

namespace {

constexpr int kFirstTexture = 10;

struct Rgba {
    uint8_t r, g, b, a;
};

// 5- and 6-bit channels come back widened: the top bits repeated below.
uint8_t widen5(uint8_t v) { return uint8_t((v >> 3) * 8 + (v >> 3) / 4); }
uint8_t widen6(uint8_t v) { return uint8_t((v >> 2) * 4 + (v >> 2) / 16); }

// The colour of pixel p of graphic g; pixel 1 of every graphic is transparent.
Rgba sampleColour(int g, int p) {
    if (p == 1) return {255, 0, 255, 0};
    return {uint8_t(40 * g + 17 * p), uint8_t(255 - 30 * p), uint8_t(90 + 50 * g), uint8_t(p == 2 ? 128 : 255)};
}

// What the texture holds for a pixel written with putPixel at this depth.
Rgba expectedTexel(int depth, Rgba c) {
    switch (depth) {
    case 15: c = {widen5(c.r), widen5(c.g), widen5(c.b), c.a}; break;
    case 16: c = {widen5(c.r), widen6(c.g), widen5(c.b), c.a}; break;
    default: break;
    }
    if (depth != 32) c.a = (c.r == 255 && c.g == 0 && c.b == 255) ? 0 : 255;
    return c;
}

Rgba colourMapEntry(int i) { return {uint8_t(i * 7), uint8_t(i * 13), uint8_t(255 - i), 255}; }

// A small map that sets every field to something distinctive: non-square
// tiles, all four graphics, user fields with high bits set, mirrored and
// stacked flags, animations of several modes over one frame list, and a
// sparse set of layers with block and animation cells.
Map sampleMap(int depth, bool little) {
    Map map;
    map.littleEndian = little;
    map.depth = depth;
    map.width = 5;
    map.height = 3;
    map.tileWidth = 4;
    map.tileHeight = 2;
    const int graphicCount = 3;
    const int pixels = map.tileWidth * map.tileHeight;
    if (depth == 8)
        for (int i = 0; i < 256; ++i) {
            Rgba c = colourMapEntry(i);
            map.colourMap.insert(map.colourMap.end(), {c.r, c.g, c.b});
        }
    for (int g = 0; g < graphicCount; ++g) {
        Bytes graphic;
        for (int p = 0; p < pixels; ++p) {
            Rgba c = sampleColour(g, p);
            if (depth == 8)
                tmapwriter::put8(graphic, p == 1 ? 0 : uint8_t(1 + g * pixels + p));
            else
                tmapwriter::putPixel(graphic, depth, c.r, c.g, c.b, c.a);
        }
        map.graphics.push_back(graphic);
    }
    for (int k = 0; k < 6; ++k) {
        tmapwriter::Block block;
        for (int i = 0; i < 4; ++i) block.graphic[i] = (k + i) % graphicCount;
        block.userLong1 = 0x89ABCDEFu + uint32_t(k);
        block.userLong2 = uint32_t(k) << 24 | 0x123456u;
        block.userShort1 = uint16_t(0xFEDC - k);
        block.userShort2 = uint16_t(0x0100 * k + 7);
        block.userByte1 = uint8_t(0xF0 + k);
        block.userByte2 = uint8_t(k);
        block.userByte3 = uint8_t(0x80 | k);
        block.flags = uint8_t(0x20 * k + 1);  // walks through the stack and mirror bits
        map.blocks.push_back(block);
    }
    map.frames = {1, 2, 3, 5, 0, 4};
    // current, start and end as stored, countdown and user carried unchanged.
    map.anims = {{1, 3, 2, 9, 0, 0, 3}, {5, 0, 0, 255, 4, 3, 6}, {2, 7, 1, 0, 2, 1, 3}, {254, 255, 255, 1, 5, 5, 5}};
    map.layers[0] = std::vector<int32_t>{0, 1, 2, 3, 4, 5, -1, -2, -3, -4, 5, 4, 3, 2, 1};
    map.layers[1] = std::vector<int32_t>(15, -4);
    map.layers[3] = std::vector<int32_t>{1023, 0, 1, 1022, -1, -2048, 0, 0, 0, 0, 2, 2, 2, 2, 2};
    map.layers[7] = std::vector<int32_t>{5, 5, 5, 5, 5, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1};
    return map;
}

void expectBlocksMatch(const Map& map) {
    ASSERT_NE(tmapBlocks, nullptr);
    for (size_t k = 0; k < map.blocks.size(); ++k) {
        SCOPED_TRACE("block " + std::to_string(k));
        const tmapwriter::Block& want = map.blocks[k];
        const TmapBlock& got = tmapBlocks[k];
        EXPECT_EQ(got.graphic1, want.graphic[0]);
        EXPECT_EQ(got.graphic2, want.graphic[1]);
        EXPECT_EQ(got.graphic3, want.graphic[2]);
        EXPECT_EQ(got.graphic4, want.graphic[3]);
        EXPECT_EQ(got.userLong1, want.userLong1);
        EXPECT_EQ(got.userLong2, want.userLong2);
        EXPECT_EQ(got.userShort1, want.userShort1);
        EXPECT_EQ(got.userShort2, want.userShort2);
        EXPECT_EQ(got.userByte1, want.userByte1);
        EXPECT_EQ(got.userByte2, want.userByte2);
        EXPECT_EQ(got.userByte3, want.userByte3);
        EXPECT_EQ(got.flags, want.flags);
    }
}

void expectAnimsMatch(const Map& map) {
    ASSERT_EQ(tmapAnimFrameCount, int(map.frames.size()));
    ASSERT_EQ(tmapAnimCount, int(map.anims.size()));
    ASSERT_NE(tmapAnims, nullptr);
    if (!map.frames.empty()) {
        ASSERT_NE(tmapAnimFrames, nullptr);
        EXPECT_EQ(std::vector<int32_t>(tmapAnimFrames, tmapAnimFrames + tmapAnimFrameCount), map.frames);
    }
    for (size_t n = 0; n < map.anims.size(); ++n) {
        SCOPED_TRACE("anim " + std::to_string(n));
        const tmapwriter::Anim& want = map.anims[n];
        const TmapAnim& got = tmapAnims[n];
        EXPECT_EQ(got.mode, want.mode);
        EXPECT_EQ(got.delay, want.delay);
        EXPECT_EQ(got.countdown, want.countdown);
        EXPECT_EQ(got.user, want.user);
        EXPECT_EQ(got.current, want.current);
        EXPECT_EQ(got.start, want.start);
        EXPECT_EQ(got.end, want.end);
    }
}

void expectLayersMatch(const Map& map) {
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k) {
        SCOPED_TRACE("layer " + std::to_string(k));
        if (!map.layers[k]) {
            EXPECT_EQ(tmapLayers[k], nullptr);
            continue;
        }
        ASSERT_NE(tmapLayers[k], nullptr);
        EXPECT_EQ(std::vector<int32_t>(tmapLayers[k], tmapLayers[k] + map.width * map.height), *map.layers[k]);
    }
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
}

// One texture per graphic, bound under consecutive names, holding the
// graphic's pixels converted to RGBA.
void expectTexturesMatch(const Map& map) {
    std::vector<gldouble::Call> binds = gldouble::callsNamed("glBindTexture");
    std::vector<gldouble::Call> images = gldouble::callsNamed("glTexImage2D");
    ASSERT_EQ(images.size(), map.graphics.size()) << gldouble::dump({"glBindTexture", "glTexImage2D"});
    ASSERT_EQ(binds.size(), map.graphics.size());
    const int pixels = map.tileWidth * map.tileHeight;
    for (size_t g = 0; g < images.size(); ++g) {
        SCOPED_TRACE("graphic " + std::to_string(g));
        EXPECT_EQ(binds[g].arg(1), kFirstTexture + double(g));
        EXPECT_EQ(images[g].arg(3), map.tileWidth);
        EXPECT_EQ(images[g].arg(4), map.tileHeight);
        Bytes want;
        for (int p = 0; p < pixels; ++p) {
            Rgba c;
            if (map.depth == 8) {
                int index = p == 1 ? 0 : 1 + int(g) * pixels + p;
                c = colourMapEntry(index);
                c.a = index == 0 ? 0 : 255;
            } else {
                c = expectedTexel(map.depth, sampleColour(int(g), p));
            }
            want.insert(want.end(), {c.r, c.g, c.b, c.a});
        }
        EXPECT_EQ(images[g].bytes, want);
    }
}

void expectModelMatches(const Map& map) {
    EXPECT_EQ(tmapWidth, map.width);
    EXPECT_EQ(tmapHeight, map.height);
    EXPECT_EQ(tmapTileWidth, map.tileWidth);
    EXPECT_EQ(tmapTileHeight, map.tileHeight);
    EXPECT_EQ(tmapDepth, map.depth);
    EXPECT_EQ(tmapBlockRecordSize, map.blockRecordSize);
    EXPECT_EQ(tmapBlockCount, int(map.blocks.size()));
    EXPECT_EQ(tmapGraphicCount, int(map.graphics.size()));
    EXPECT_EQ(tmapLittleEndian, map.littleEndian ? 1 : 0);
    EXPECT_EQ(tmapFirstTexture, kFirstTexture);
    if (map.colourMap.empty()) {
        EXPECT_EQ(tmapColourMap, nullptr);
    } else {
        ASSERT_EQ(tmapColourMapSize, int(map.colourMap.size()));
        EXPECT_EQ(Bytes(tmapColourMap, tmapColourMap + tmapColourMapSize), map.colourMap);
    }
    expectBlocksMatch(map);
    expectAnimsMatch(map);
    expectLayersMatch(map);
    expectTexturesMatch(map);
}

int decode(const Bytes& image) {
    gldouble::reset();
    tmapError = 0;
    return tmapDecodeBuffer(image.data(), image.size(), kFirstTexture);
}

class WriterRoundTrip : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
    void TearDown() override { tmapRelease(); }
};

TEST_P(WriterRoundTrip, LoadsEveryFieldAsWritten) {
    const auto [depth, little] = GetParam();
    Map map = sampleMap(depth, little);
    ASSERT_EQ(decode(tmapwriter::buildImage(map)), 0) << "tmapError " << tmapError;
    expectModelMatches(map);
}

// Longer block records, unknown chunks of odd length between the known ones
// and trailing bytes after the form are all passed over.
TEST_P(WriterRoundTrip, IgnoresPaddingAndForeignChunks) {
    const auto [depth, little] = GetParam();
    Map map = sampleMap(depth, little);
    map.blockRecordSize = 45;
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(map);
    for (size_t i = chunks.size(); i > 0; --i)
        chunks.insert(chunks.begin() + long(i), tmapwriter::makeChunk("XTRA", Bytes(i % 2 ? 3 : 8, 0xFF)));
    Bytes image = tmapwriter::buildForm(chunks);
    image.insert(image.end(), {'J', 'U', 'N', 'K'});
    ASSERT_EQ(decode(image), 0) << "tmapError " << tmapError;
    expectModelMatches(map);
}

INSTANTIATE_TEST_SUITE_P(DepthsAndByteOrders, WriterRoundTrip,
                         ::testing::Combine(::testing::Values(8, 15, 16, 24, 32), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<int, bool>>& info) {
                             return "Depth" + std::to_string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Little" : "Big");
                         });

TEST(WriterRoundTripEdges, EmptyAndMinimalMapsLoad) {
    // A header alone: no arrays at all.
    Map headerOnly;
    headerOnly.width = 7;
    headerOnly.height = 9;
    ASSERT_EQ(decode(tmapwriter::buildImage(headerOnly)), 0);
    EXPECT_EQ(tmapWidth, 7);
    EXPECT_EQ(tmapBlocks, nullptr);
    EXPECT_EQ(tmapAnims, nullptr);
    EXPECT_EQ(tmapCurrentLayer, nullptr);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0u);

    // An animation chunk with no animations and no frames: just the end record.
    Map endRecordOnly;
    endRecordOnly.width = endRecordOnly.height = 1;
    endRecordOnly.blocks.resize(1);
    endRecordOnly.writeEmptyBlocks = true;
    endRecordOnly.layers[0] = std::vector<int32_t>{0};
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(endRecordOnly);
    chunks.push_back(tmapwriter::buildAnimChunk(endRecordOnly));
    ASSERT_EQ(decode(tmapwriter::buildForm(chunks)), 0);
    EXPECT_EQ(tmapAnimCount, 0);
    EXPECT_EQ(tmapAnimFrameCount, 0);
    EXPECT_EQ(tmapLayers[0][0], 0);

    // The largest map dimensions the 16-bit header holds survive.
    Map wide;
    wide.width = 65535;
    wide.height = 1;
    wide.layers[2] = std::vector<int32_t>(65535, 3);
    (*wide.layers[2])[65534] = -7;
    ASSERT_EQ(decode(tmapwriter::buildImage(wide)), 0);
    EXPECT_EQ(tmapWidth, 65535);
    EXPECT_EQ(tmapLayers[2][0], 3);
    EXPECT_EQ(tmapLayers[2][65534], -7);
    tmapRelease();
}

TEST(WriterRoundTripEdges, BothByteOrdersDifferOnlyInNumbersNotInLengths) {
    Bytes little = tmapwriter::buildImage(sampleMap(16, true));
    Bytes big = tmapwriter::buildImage(sampleMap(16, false));
    ASSERT_EQ(little.size(), big.size());
    EXPECT_NE(little, big);
    // Form and chunk lengths are big-endian in both.
    EXPECT_TRUE(std::equal(little.begin(), little.begin() + 12, big.begin()));
    for (size_t at = 12; at + 8 <= little.size();) {
        ASSERT_TRUE(std::equal(little.begin() + long(at), little.begin() + long(at) + 8, big.begin() + long(at)))
            << "chunk header at " << at;
        at += 8 + (uint32_t(little[at + 4]) << 24 | uint32_t(little[at + 5]) << 16 |
                   uint32_t(little[at + 6]) << 8 | little[at + 7]);
    }
}

// The writer's encodings checked byte for byte against known stored values.
TEST(WriterEncoding, StoresCellsOffsetsAndPositionsInFileUnits) {
    EXPECT_EQ(tmapwriter::storedCell(0), 0x0000);
    EXPECT_EQ(tmapwriter::storedCell(1), 0x0020);
    EXPECT_EQ(tmapwriter::storedCell(1023), 0x7FE0);
    EXPECT_EQ(tmapwriter::storedCell(-1), 0xFFF0);
    EXPECT_EQ(tmapwriter::storedCell(-2), 0xFFE0);

    Map map;  // depth 16, 16 x 16 tiles: one graphic is 512 bytes
    map.littleEndian = false;
    tmapwriter::Block block;
    block.graphic[0] = 3;
    map.blocks = {block};
    tmapwriter::Chunk blocks = tmapwriter::buildBlockChunk(map);
    ASSERT_EQ(blocks.data.size(), 32u);
    EXPECT_EQ(Bytes(blocks.data.begin(), blocks.data.begin() + 4), (Bytes{0, 0, 0x06, 0x00}));  // 1536

    map.frames = {2, 7};
    map.anims = {{1, 0, 0, 0, 0, 0, 2}};
    tmapwriter::Chunk anims = tmapwriter::buildAnimChunk(map);
    const int n = 8 + 16 + 16;
    ASSERT_EQ(anims.data.size(), size_t(n));
    EXPECT_EQ(Bytes(anims.data.begin(), anims.data.begin() + 8), (Bytes{0, 0, 0, 64, 0, 0, 0, 224}));
    EXPECT_EQ(anims.data[8], 0xFF);
    // Positions -N, -N and -N + 8.
    Bytes record(anims.data.end() - 16, anims.data.end());
    Bytes want = {1, 0, 0, 0};
    for (int32_t position : {-n, -n, -n + 8}) tmapwriter::appendBE32(want, uint32_t(position));
    EXPECT_EQ(record, want);

    Bytes pixel;
    tmapwriter::put16(pixel, 255, 0, 255);
    tmapwriter::put15(pixel, 255, 0, 255);
    tmapwriter::put16(pixel, 132, 130, 132);
    tmapwriter::put15(pixel, 132, 132, 132);
    EXPECT_EQ(pixel, (Bytes{0xF8, 0x1F, 0x7C, 0x1F, 0x84, 0x10, 0x42, 0x10}));
}

// The library's own reading decides what the key is: a colour moved off it
// must load opaque, as the nearest green that loads opaque at all, and a
// colour that already loads opaque must not move.
TEST(WriterColourKey, OpaqueColoursNeverLoadAsTheKeyAndMoveOnlyWhenTheyWould) {
    std::vector<Rgba> colours;
    for (uint8_t red : {240, 247, 248, 254, 255})
        for (uint8_t blue : {247, 248, 255})
            for (uint8_t green = 0; green <= 12; ++green) colours.push_back({red, green, blue, 255});
    for (int depth : {15, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        Map map;
        map.depth = depth;
        map.width = map.height = 1;
        map.tileWidth = int(colours.size());
        map.tileHeight = 1;
        Bytes written, moved;
        std::vector<bool> didMove;
        for (const Rgba& c : colours) {
            tmapwriter::putPixel(written, depth, c.r, c.g, c.b);
            uint8_t green = c.g;
            didMove.push_back(tmapwriter::moveOffColourKey(depth, c.r, green, c.b));
            tmapwriter::putPixel(moved, depth, c.r, green, c.b);
        }
        map.graphics = {written, moved};
        ASSERT_EQ(decode(tmapwriter::buildImage(map)), 0) << "tmapError " << tmapError;
        const std::vector<gldouble::Call> images = gldouble::callsNamed("glTexImage2D");
        ASSERT_EQ(images.size(), 2u);
        // The least green that loads opaque beside each red and blue, as written unmoved.
        std::map<std::pair<int, int>, int> leastOpaqueGreen;
        for (size_t i = 0; i < colours.size(); ++i) {
            const uint8_t* texel = &images[0].bytes[i * 4];
            auto [entry, added] = leastOpaqueGreen.emplace(std::make_pair(texel[0], texel[2]), 256);
            if (texel[3] == 255) entry->second = std::min(entry->second, int(texel[1]));
        }
        for (size_t i = 0; i < colours.size(); ++i) {
            SCOPED_TRACE("colour " + std::to_string(colours[i].r) + "," + std::to_string(colours[i].g) + "," +
                         std::to_string(colours[i].b));
            const uint8_t* before = &images[0].bytes[i * 4];
            const uint8_t* after = &images[1].bytes[i * 4];
            EXPECT_EQ(after[3], 255) << "an opaque colour loads as the key";
            EXPECT_EQ(didMove[i], before[3] == 0);
            if (!didMove[i]) {
                EXPECT_EQ(Bytes(after, after + 4), Bytes(before, before + 4));
                continue;
            }
            EXPECT_EQ(after[0], before[0]);
            EXPECT_EQ(after[2], before[2]);
            const int nearest = leastOpaqueGreen[std::make_pair(before[0], before[2])];
            EXPECT_EQ(after[1], nearest) << "not the nearest colour off the key";
        }
        tmapRelease();
    }
}

}  // namespace
