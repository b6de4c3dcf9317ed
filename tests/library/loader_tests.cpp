// Loading maps: the model every chunk fills, byte orders, the chunk walk,
// error codes and what each failure leaves behind.
#include <cstdio>
#include <fstream>

#include <gmock/gmock.h>

#include "test_support.h"

using support::Bytes;
using support::load;
using support::Map;
using support::noMap;
using support::sampleMap;
using tmapwriter::buildChunks;
using tmapwriter::buildForm;
using tmapwriter::buildImage;
using tmapwriter::Chunk;
using tmapwriter::makeChunk;

namespace {

class Loader : public LibraryTest {};

// Loads the sample map of one depth; the previous map must not matter.
void expectSampleModel(int depth) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    gldouble::reset();
    ASSERT_EQ(load(sampleMap(depth, true), 20), 0) << tmapErrorString(tmapError);
    EXPECT_EQ(tmapError, 0);
    EXPECT_EQ(tmapWidth, 3);
    EXPECT_EQ(tmapHeight, 2);
    EXPECT_EQ(tmapTileWidth, 2);
    EXPECT_EQ(tmapTileHeight, 2);
    EXPECT_EQ(tmapDepth, depth);
    EXPECT_EQ(tmapBlockRecordSize, 32);
    EXPECT_EQ(tmapBlockCount, 4);
    EXPECT_EQ(tmapGraphicCount, 3);
    EXPECT_EQ(tmapLittleEndian, 1);
    EXPECT_EQ(tmapFirstTexture, 20);
    EXPECT_EQ(tmapTextureFormat, unsigned(GL_RGBA));
    if (depth == 8) {
        ASSERT_NE(tmapColourMap, nullptr);
        ASSERT_EQ(tmapColourMapSize, 768);
        EXPECT_EQ(tmapColourMap[3 * 5 + 1], 250);
    } else {
        EXPECT_EQ(tmapColourMap, nullptr);
    }
    ASSERT_NE(tmapBlocks, nullptr);
    const TmapBlock b1 = {1, 2, 0, 1, 0x12345678u, 0xFFFFFFFEu, 0xABCD, 7, 1, 2, 0xFF, 0xA5};
    const TmapBlock b2 = {2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x40};
    EXPECT_EQ(tmapBlocks[0], TmapBlock{});
    EXPECT_EQ(tmapBlocks[1], b1);
    EXPECT_EQ(tmapBlocks[2], b2);
    EXPECT_EQ(tmapBlocks[3].flags, 0x80);
    ASSERT_EQ(tmapAnimFrameCount, 3);
    EXPECT_THAT(std::vector<int32_t>(tmapAnimFrames, tmapAnimFrames + 3), ::testing::ElementsAre(1, 2, 3));
    ASSERT_EQ(tmapAnimCount, 2);
    EXPECT_EQ(tmapAnims[0], (TmapAnim{1, 2, 1, 9, 1, 0, 3}));
    EXPECT_EQ(tmapAnims[1], (TmapAnim{6, 0, 0, 200, 2, 1, 3}));
    ASSERT_NE(tmapLayers[0], nullptr);
    EXPECT_THAT(std::vector<int32_t>(tmapLayers[0], tmapLayers[0] + 6), ::testing::ElementsAre(0, 1, 2, -1, -2, 3));
    EXPECT_THAT(std::vector<int32_t>(tmapLayers[3], tmapLayers[3] + 6), ::testing::ElementsAre(1023, 0, -1, 2, 2, 2));
    for (int k : {2, 4, 5, 6, 7}) EXPECT_EQ(tmapLayers[k], nullptr) << "layer " << k;
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
    EXPECT_EQ(tmapCurrentRows, nullptr);
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k) EXPECT_EQ(tmapLayerRows[k], nullptr);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 3u);
}

TEST_F(Loader, FillsEveryModelVariableAtEveryDepth) {
    for (int depth : {8, 15, 16, 24, 32}) expectSampleModel(depth);
}

TEST_F(Loader, BothByteOrdersGiveTheSameModel) {
    for (int depth : {8, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        gldouble::reset();
        ASSERT_EQ(load(sampleMap(depth, true)), 0);
        EXPECT_EQ(tmapLittleEndian, 1);
        support::Model little = support::snapshot();
        gldouble::reset();
        Map big = sampleMap(depth, false);
        ASSERT_EQ(load(big), 0);
        EXPECT_EQ(tmapLittleEndian, 0);
        EXPECT_EQ(little, support::snapshot());
        // Only the flag byte 1 means little-endian: 2 reads big-endian.
        auto chunks = buildChunks(big);
        chunks[0].data[2] = 2;
        gldouble::reset();
        ASSERT_EQ(load(buildForm(chunks)), 0);
        EXPECT_EQ(tmapLittleEndian, 0);
        EXPECT_EQ(little, support::snapshot());
    }
}

TEST_F(Loader, ConvertsStoredNumbersRoundingTowardZero) {
    Map m;
    m.width = 5;
    m.height = 1;
    m.depth = 16;
    m.tileWidth = m.tileHeight = 16;
    m.graphics.assign(4, Bytes(16 * 16 * 2, 0));
    m.blocks.resize(2);
    m.layers[0] = std::vector<int32_t>(5, 0);
    for (bool little : {true, false}) {
        m.littleEndian = little;
        auto chunks = buildChunks(m);
        Chunk* blocks = tmapwriter::findChunk(chunks, "BKDT");
        // 1536 = 3 graphics of 16 x 16 x 2; 1280 = 2.5 graphics.
        tmapwriter::set32(blocks->data, 0, 1536, little);
        tmapwriter::set32(blocks->data, 4, 1280, little);
        tmapwriter::set32(blocks->data, 8, uint32_t(-1280), little);
        tmapwriter::set32(blocks->data, 12, 511, little);
        Chunk* body = tmapwriter::findChunk(chunks, "BODY");
        const uint16_t stored[] = {0x0000, 0x0020, 0x7FE0, 0xFFF0, 0xFFE0};
        for (int i = 0; i < 5; ++i) tmapwriter::set16(body->data, 2 * i, stored[i], little);
        ASSERT_EQ(load(buildForm(chunks)), 0);
        EXPECT_EQ(tmapBlocks[0].graphic1, 3);
        EXPECT_EQ(tmapBlocks[0].graphic2, 2);
        EXPECT_EQ(tmapBlocks[0].graphic3, -2);
        EXPECT_EQ(tmapBlocks[0].graphic4, 0);
        EXPECT_THAT(std::vector<int32_t>(tmapLayers[0], tmapLayers[0] + 5),
                    ::testing::ElementsAre(0, 1, 1023, -1, -2));
    }
}

TEST_F(Loader, ReadsAnimationDataFromTheEnd) {
    // Frame list of 5 entries, list end, two records; N = 20 + 16 + 32 = 68.
    // Entries divide by 32 toward zero: 63 is block 1, -33 is -1.
    // Record 1 names a current frame outside its range: the load puts it
    // at the start, where stepping can keep it in range.
    Bytes andt;
    for (int32_t entry : {5 * 32, 6 * 32, 7 * 32, 63, -33}) tmapwriter::append32(andt, uint32_t(entry), true);
    andt.push_back(0xFF);
    andt.resize(andt.size() + 15, 0xAB); // the list end's other bytes are not read
    const int n = 68;
    andt.insert(andt.end(), {2, 0, 0, 0});
    for (int index : {3, 1, 3}) tmapwriter::append32(andt, uint32_t(4 * index - n), true);
    andt.insert(andt.end(), {4, 3, 2, 1});
    for (int index : {1, 0, 2}) tmapwriter::append32(andt, uint32_t(4 * index - n), true);
    ASSERT_EQ(andt.size(), size_t(n));
    Map m;
    m.width = m.height = 1;
    m.blocks.resize(8);
    auto chunks = buildChunks(m);
    chunks.push_back(makeChunk("ANDT", andt));
    ASSERT_EQ(load(buildForm(chunks)), 0) << tmapErrorString(tmapError);
    ASSERT_EQ(tmapAnimFrameCount, 5);
    EXPECT_THAT(std::vector<int32_t>(tmapAnimFrames, tmapAnimFrames + 5), ::testing::ElementsAre(5, 6, 7, 1, -1));
    ASSERT_EQ(tmapAnimCount, 2);
    EXPECT_EQ(tmapAnims[0], (TmapAnim{4, 3, 2, 1, 1, 0, 2}));
    EXPECT_EQ(tmapAnims[1], (TmapAnim{2, 0, 0, 0, 1, 1, 3}));

    // Only a list end in the last slot: no animations, the rest is frames.
    Bytes framesOnly;
    for (int32_t block : {1, 2}) tmapwriter::append32(framesOnly, uint32_t(32 * block), true);
    framesOnly.push_back(0xFF);
    framesOnly.resize(framesOnly.size() + 15, 0);
    chunks.back() = makeChunk("ANDT", framesOnly);
    ASSERT_EQ(load(buildForm(chunks)), 0);
    EXPECT_EQ(tmapAnimCount, 0);
    EXPECT_EQ(tmapAnimFrameCount, 2);
    EXPECT_EQ(tmapAnimFrames[1], 2);
    tmapResetAnims(); // no animations: nothing to do, nothing to crash on
    tmapStepAnims();
}

TEST_F(Loader, WalksChunksByTheirLengths) {
    Map m = sampleMap(16, true);
    auto chunks = buildChunks(m);
    // Odd-length and unknown chunks between the known ones: no padding, and
    // tags are compared exactly (a lower-case "body" is not a layer).
    Chunk odd = makeChunk("XTRA", Bytes{1, 2, 3});
    Chunk lower = makeChunk("body", Bytes(12, 0x20));
    chunks.insert(chunks.begin() + 1, odd);
    chunks.insert(chunks.begin() + 3, lower);
    chunks.push_back(makeChunk("ZZZ1", Bytes(5, 0xEE)));
    Bytes image = buildForm(chunks);
    image.insert(image.end(), {'F', 'O', 'R', 'M', 0xFF, 0xFF}); // after the form: ignored
    ASSERT_EQ(load(image), 0) << tmapErrorString(tmapError) << " in " << tmapErrorChunk;
    support::Model withExtras = support::snapshot();
    gldouble::reset();
    ASSERT_EQ(load(sampleMap(16, true)), 0);
    EXPECT_EQ(withExtras, support::snapshot());
}

TEST_F(Loader, FormOfFourBytesOrLessIsAnEmptyMap) {
    ASSERT_EQ(load(sampleMap(16, true)), 0);
    for (uint32_t length : {4u, 2u, 0u}) {
        Bytes image = {'F', 'O', 'R', 'M', 0, 0, 0, uint8_t(length), 'F', 'M', 'A', 'P'};
        long before = tmapAllocationCount;
        EXPECT_EQ(load(image), 0) << "L = " << length;
        EXPECT_EQ(tmapError, 0);
        EXPECT_TRUE(noMap());
        EXPECT_EQ(tmapAllocationCount, before);
    }
    EXPECT_EQ(load(buildForm({})), 0);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 3u); // only the first map's
}

TEST_F(Loader, MapWithoutBodyOrAnimations) {
    Map m = sampleMap(24, true);
    m.layers[0].reset();
    m.frames.clear();
    m.anims.clear();
    ASSERT_EQ(load(m), 0);
    EXPECT_EQ(tmapCurrentLayer, nullptr);
    EXPECT_NE(tmapLayers[1], nullptr);
    EXPECT_EQ(tmapAnims, nullptr);
    EXPECT_EQ(tmapAnimFrames, nullptr);
    EXPECT_EQ(tmapAnimCount, 0);
    tmapResetAnims();
    tmapStepAnims();
}

TEST_F(Loader, ReleaseIsSafeAtAnyTime) {
    tmapRelease();
    tmapRelease();
    EXPECT_TRUE(noMap());
    ASSERT_EQ(load(sampleMap(16, true)), 0);
    ASSERT_EQ(tmapBuildRowTables(), 0);
    tmapRelease();
    EXPECT_TRUE(noMap());
    tmapRelease();
    EXPECT_TRUE(noMap());
    EXPECT_EQ(gldouble::count("glDeleteTextures"), 0u);
}

TEST_F(Loader, ReloadReplacesTheMapAndItsRowTables) {
    ASSERT_EQ(load(sampleMap(16, true)), 0);
    ASSERT_EQ(tmapBuildRowTables(), 0);
    Map other = sampleMap(32, false);
    other.width = 1;
    other.height = 1;
    other.layers[0] = std::vector<int32_t>{2};
    other.layers[1].reset();
    other.layers[3].reset();
    ASSERT_EQ(load(other, 30), 0);
    EXPECT_EQ(tmapWidth, 1);
    EXPECT_EQ(tmapDepth, 32);
    EXPECT_EQ(tmapFirstTexture, 30);
    EXPECT_EQ(tmapLayers[1], nullptr);
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k) EXPECT_EQ(tmapLayerRows[k], nullptr);
    EXPECT_EQ(tmapCurrentRows, nullptr);
    EXPECT_EQ(tmapCurrentLayer[0], 2);
}

// ---- tmapLoadFile ----

class LoadFile : public LibraryTest {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        std::string path = support::tempPath(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        EXPECT_TRUE(out.good());
        return path;
    }
    void loadPrevious() {
        ASSERT_EQ(load(sampleMap(16, true)), 0);
        previous = support::snapshot();
    }
    // The previous map is still there, untouched.
    void expectPreviousKept() { EXPECT_EQ(previous, support::snapshot()); }
    support::Model previous{};
};

TEST_F(LoadFile, LoadsAFile) {
    std::string path = write("map.fmp", buildImage(sampleMap(15, false)));
    tmapError = 77; // cleared by the load
    ASSERT_EQ(tmapLoadFile(path.c_str(), 10), 0);
    EXPECT_EQ(tmapError, 0);
    EXPECT_EQ(tmapDepth, 15);
    EXPECT_EQ(tmapFirstTexture, 10);
    EXPECT_EQ(tmapCurrentLayer[4], -2);
    // Bytes after the form are not part of it.
    Bytes padded = buildImage(sampleMap(15, false));
    padded.resize(padded.size() + 100, 0x55);
    std::string paddedPath = write("padded.fmp", padded);
    support::Model first = support::snapshot();
    gldouble::reset();
    ASSERT_EQ(tmapLoadFile(paddedPath.c_str(), 10), 0);
    EXPECT_EQ(first, support::snapshot());
    std::remove(path.c_str());
    std::remove(paddedPath.c_str());
}

TEST_F(LoadFile, FailuresBeforeDecodingKeepThePreviousMap) {
    loadPrevious();
    EXPECT_EQ(tmapLoadFile(support::tempPath("missing.fmp").c_str(), 10), -1);
    EXPECT_EQ(tmapError, 3);
    expectPreviousKept();
    EXPECT_EQ(tmapLoadFile(nullptr, 10), -1);
    EXPECT_EQ(tmapError, 3);

    Bytes full = buildImage(sampleMap(16, true));
    const std::vector<std::pair<std::string, Bytes>> broken = {
        {"empty", {}},
        {"seven bytes", Bytes(full.begin(), full.begin() + 7)},
        {"not a form", Bytes{'F', 'O', 'R', 'X', 0, 0, 0, 4, 'F', 'M', 'A', 'P'}},
        {"cut inside the form", Bytes(full.begin(), full.end() - 1)},
        {"header only", Bytes(full.begin(), full.begin() + 8)},
    };
    for (const auto& [what, bytes] : broken) {
        std::string path = write("broken.fmp", bytes);
        tmapError = 0;
        EXPECT_EQ(tmapLoadFile(path.c_str(), 10), -1) << what;
        EXPECT_EQ(tmapError, 2) << what;
        // Not inside any chunk.
        EXPECT_STREQ(tmapErrorChunk, "") << what;
        EXPECT_EQ(tmapErrorOffset, -1) << what;
        expectPreviousKept();
        std::remove(path.c_str());
    }
}

TEST_F(LoadFile, FormClaimingMoreThanTheFileAllocatesNothing) {
    loadPrevious();
    Bytes liar = {'F', 'O', 'R', 'M', 0xFF, 0xFF, 0xFF, 0xF0, 'F', 'M', 'A', 'P'};
    std::string path = write("liar.fmp", liar);
    long before = tmapAllocationCount;
    EXPECT_EQ(tmapLoadFile(path.c_str(), 10), -1);
    EXPECT_EQ(tmapError, 2);
    EXPECT_EQ(tmapAllocationCount, before);
    expectPreviousKept();
    // The same bytes handed to the decoder are refused too, and that
    // failure happens inside the decode, so the map is gone.
    EXPECT_EQ(load(liar), -1);
    EXPECT_EQ(tmapError, 2);
    EXPECT_EQ(tmapAllocationCount, before);
    EXPECT_TRUE(noMap());
    std::remove(path.c_str());
}

TEST_F(LoadFile, FailuresInsideDecodingReleaseThePreviousMap) {
    Map unsupported = sampleMap(16, true);
    unsupported.headerKind = 1;
    Map shortLayer = sampleMap(16, true);
    shortLayer.layers[3]->pop_back();
    const struct {
        const char* what;
        Bytes bytes;
        int code;
    } cases[] = {
        {"form type", Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'F', 'M', 'A', 'X'}, 2},
        {"header kind", buildImage(unsupported), 4},
        {"short layer", buildImage(shortLayer), 2},
    };
    for (const auto& c : cases) {
        loadPrevious();
        std::string path = write("bad.fmp", c.bytes);
        EXPECT_EQ(tmapLoadFile(path.c_str(), 10), -1) << c.what;
        EXPECT_EQ(tmapError, c.code) << c.what;
        EXPECT_TRUE(noMap()) << c.what;
        std::remove(path.c_str());
    }
}

TEST_F(LoadFile, ErrorStrings) {
    EXPECT_STREQ(tmapErrorString(0), "no error");
    EXPECT_STREQ(tmapErrorString(1), "out of memory");
    EXPECT_STREQ(tmapErrorString(2), "not a readable map file");
    EXPECT_STREQ(tmapErrorString(3), "file could not be opened");
    EXPECT_STREQ(tmapErrorString(4), "unsupported map header");
    EXPECT_STREQ(tmapErrorString(5), "no usable OpenGL context");
    EXPECT_STREQ(tmapErrorString(6), "map exceeds the OpenGL limits");
    EXPECT_STREQ(tmapErrorString(7), "invalid argument");
    EXPECT_STREQ(tmapErrorString(8), "not a map handle");
    EXPECT_STREQ(tmapErrorString(9), "map is already current");
    EXPECT_STREQ(tmapErrorString(10), "map not uploaded to the GL");
    EXPECT_STREQ(tmapErrorString(11), "no current map or layer");
    EXPECT_STREQ(tmapErrorString(12), "map not loaded with TMAP_TEXTURES_NONE");
    EXPECT_STREQ(tmapErrorString(13), "a shader did not compile or link");
    EXPECT_STREQ(tmapErrorString(14), "unknown error");
    EXPECT_STREQ(tmapErrorString(-1), "unknown error");
}

} // namespace
