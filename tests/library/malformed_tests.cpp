// Malformed maps: each is refused with -1 and a code, leaves no map, names
// the failing chunk, and is read only inside its bytes (the sanitizer build
// checks the reads and the leaks).
#include "test_support.h"

using support::Bytes;
using support::load;
using support::Map;
using support::noMap;
using support::sampleMap;
using tmapwriter::buildChunks;
using tmapwriter::buildForm;
using tmapwriter::Chunk;
using tmapwriter::findChunk;
using tmapwriter::makeChunk;

namespace {

class Malformed : public LibraryTest {
protected:
    // Loads a good map first, so the refusal must also release it.
    void expectRefused(const std::vector<Chunk>& chunks, int code, const std::string& tag, size_t chunkIndex) {
        ASSERT_EQ(load(sampleMap(8, true)), 0);
        Bytes image = buildForm(chunks);
        // An exactly sized copy lets the sanitizer catch any read past the end.
        std::vector<unsigned char> exact(image.begin(), image.end());
        tmapError = 0;
        EXPECT_EQ(tmapDecodeBuffer(exact.data(), exact.size(), 10), -1);
        EXPECT_EQ(tmapError, code) << tmapErrorString(tmapError);
        EXPECT_STREQ(tmapErrorChunk, tag.c_str());
        EXPECT_EQ(tmapErrorOffset, long(support::chunkOffset(chunks, chunkIndex)));
        EXPECT_TRUE(noMap());
    }
    std::vector<Chunk> sample() { return buildChunks(sampleMap(16, true)); }
    size_t indexOf(const std::vector<Chunk>& chunks, const std::string& tag) {
        for (size_t i = 0; i < chunks.size(); ++i)
            if (chunks[i].tag == tag) return i;
        ADD_FAILURE() << "no chunk " << tag;
        return 0;
    }
};

TEST_F(Malformed, ChunkRunningPastTheForm) {
    auto chunks = sample();
    Bytes image = buildForm(chunks);
    // The last chunk claims one byte more than the form holds.
    size_t last = support::chunkOffset(chunks, chunks.size() - 1);
    tmapwriter::setBE32(image, last + 4, uint32_t(chunks.back().data.size() + 1));
    ASSERT_EQ(load(image), -1);
    EXPECT_EQ(tmapError, 2);
    EXPECT_STREQ(tmapErrorChunk, chunks.back().tag.c_str());
    EXPECT_EQ(tmapErrorOffset, long(last));
    EXPECT_TRUE(noMap());
    // A length near 4 GiB must not wrap around.
    tmapwriter::setBE32(image, last + 4, 0xFFFFFFF8u);
    EXPECT_EQ(load(image), -1);
    EXPECT_EQ(tmapError, 2);

    // A chunk header cut off by the end of the form: five bytes of it remain.
    chunks.push_back(makeChunk("LYR7", {}));
    Bytes cut = buildForm(chunks);
    cut.resize(cut.size() - 3);
    tmapwriter::setBE32(cut, 4, uint32_t(cut.size() - 8));
    ASSERT_EQ(load(cut), -1);
    EXPECT_EQ(tmapError, 2);
    EXPECT_STREQ(tmapErrorChunk, "LYR7");
    EXPECT_EQ(tmapErrorOffset, long(support::chunkOffset(chunks, chunks.size() - 1)));
}

TEST_F(Malformed, ChunksTooShortForTheirFields) {
    {
        auto chunks = sample();
        chunks[0].data.resize(23); // header fields reach offset 24
        expectRefused(chunks, 2, "MPHD", 0);
    }
    {
        auto chunks = sample();
        chunks[0].data.clear();
        expectRefused(chunks, 2, "MPHD", 0);
    }
    for (size_t size : {0, 8, 15}) {
        auto chunks = sample();
        size_t i = indexOf(chunks, "ANDT");
        chunks[i].data.resize(size); // not even one 16-byte slot
        expectRefused(chunks, 2, "ANDT", i);
    }
}

TEST_F(Malformed, DataThatDoesNotFitItsChunk) {
    {
        auto chunks = sample();
        size_t i = indexOf(chunks, "BKDT");
        chunks[i].data.pop_back(); // the last record's flags byte
        expectRefused(chunks, 2, "BKDT", i);
    }
    {
        Map m = sampleMap(16, true);
        m.blockCount = 5; // one record more than stored
        auto chunks = buildChunks(m);
        expectRefused(chunks, 2, "BKDT", indexOf(chunks, "BKDT"));
    }
    {
        auto chunks = sample();
        size_t i = indexOf(chunks, "BGFX");
        chunks[i].data.pop_back();
        expectRefused(chunks, 2, "BGFX", i);
    }
    {
        Map m = sampleMap(24, false);
        m.graphicCount = 4;
        auto chunks = buildChunks(m);
        expectRefused(chunks, 2, "BGFX", indexOf(chunks, "BGFX"));
    }
    for (int layer : {0, 3}) {
        auto chunks = sample();
        size_t i = indexOf(chunks, tmapwriter::layerTag(layer));
        chunks[i].data.pop_back();
        expectRefused(chunks, 2, tmapwriter::layerTag(layer), i);
    }
    {
        // The header grows after the layer was written.
        Map m = sampleMap(16, true);
        auto chunks = buildChunks(m);
        m.height = 3;
        chunks[0] = tmapwriter::buildHeaderChunk(m);
        expectRefused(chunks, 2, "BODY", indexOf(chunks, "BODY"));
    }
}

TEST_F(Malformed, AnimationsWithoutListEnd) {
    auto chunks = sample();
    size_t i = indexOf(chunks, "ANDT");
    Bytes& data = chunks[i].data;
    // The list end is the slot 16 x 3 bytes from the end (two records after it).
    data[data.size() - 48] = 0x00;
    expectRefused(chunks, 2, "ANDT", i);
    // Frames only, in whole slots, and no 0xFF anywhere.
    chunks[i].data = Bytes(64, 0x20);
    expectRefused(chunks, 2, "ANDT", i);
}

TEST_F(Malformed, AnimationRangesOutsideTheFrameList) {
    const struct {
        int current, start, end;
    } ranges[] = {{0, 0, 4}, {2, 3, 2}, {0, -1, 2}, {0, 5, 6}};
    for (const auto& r : ranges) {
        SCOPED_TRACE("start " + std::to_string(r.start) + " end " + std::to_string(r.end));
        Map m = sampleMap(16, true);
        m.anims[1].current = r.current;
        m.anims[1].start = r.start;
        m.anims[1].end = r.end;
        auto chunks = buildChunks(m);
        expectRefused(chunks, 2, "ANDT", indexOf(chunks, "ANDT"));
    }
}

TEST_F(Malformed, ChunksBeforeTheirHeader) {
    for (const char* tag : {"BKDT", "ANDT", "BGFX", "BODY", "LYR3"}) {
        SCOPED_TRACE(tag);
        auto chunks = sample();
        size_t i = indexOf(chunks, tag);
        Chunk moved = chunks[i];
        chunks.erase(chunks.begin() + i);
        chunks.insert(chunks.begin(), moved);
        expectRefused(chunks, 2, tag, 0);
    }
    // A colour map needs no header.
    auto chunks = buildChunks(sampleMap(8, true));
    std::swap(chunks[0], chunks[1]);
    ASSERT_EQ(chunks[0].tag, "CMAP");
    EXPECT_EQ(load(buildForm(chunks)), 0);
}

TEST_F(Malformed, EightBitGraphicsWithoutColourMapBeforeThem) {
    Map m = sampleMap(8, true);
    auto chunks = buildChunks(m);
    size_t cmap = indexOf(chunks, "CMAP");
    Chunk colours = chunks[cmap];
    chunks.erase(chunks.begin() + cmap);
    expectRefused(chunks, 2, "BGFX", indexOf(chunks, "BGFX"));
    chunks.push_back(colours); // after the graphics is too late
    expectRefused(chunks, 2, "BGFX", indexOf(chunks, "BGFX"));
    // No graphics at all: the colour map is not needed.
    m.graphics.clear();
    m.colourMap.clear();
    EXPECT_EQ(load(m), 0);
}

TEST_F(Malformed, UnsupportedHeaders) {
    const struct {
        const char* what;
        int tileWidth, tileHeight, depth;
    } headers[] = {{"tile width 0", 0, 16, 16}, {"tile height 0", 16, 0, 16}, {"depth 6", 16, 16, 6},
                   {"depth 0", 16, 16, 0}};
    for (const auto& h : headers) {
        SCOPED_TRACE(h.what);
        Map m = sampleMap(16, true);
        m.tileWidth = h.tileWidth;
        m.tileHeight = h.tileHeight;
        m.depth = h.depth;
        expectRefused(buildChunks(m), 4, "MPHD", 0);
    }
    // Header kind other than 0, with chunks decoded before it: all freed.
    Map m = sampleMap(8, true);
    m.headerKind = 1;
    auto chunks = buildChunks(m);
    std::swap(chunks[0], chunks[1]); // CMAP first
    chunks.insert(chunks.begin(), makeChunk("EDIT", Bytes{9}));
    expectRefused(chunks, 4, "MPHD", 2);
    // Depth 7 is the smallest with a non-zero graphic size: accepted, and its
    // graphics (an unknown depth) upload as transparent black.
    Map seven = sampleMap(16, true);
    seven.depth = 7;
    seven.graphics.assign(3, Bytes(4, 0x77));
    gldouble::reset();
    ASSERT_EQ(load(seven), 0);
    ASSERT_EQ(gldouble::count("glTexImage2D"), 3u);
    EXPECT_EQ(gldouble::callsNamed("glTexImage2D")[2].bytes, Bytes(16, 0));
}

TEST_F(Malformed, BlockRecordsShorterThanTheirFields) {
    Map m = sampleMap(16, true);
    m.blockRecordSize = 31;
    auto chunks = buildChunks(m);
    expectRefused(chunks, 2, "BKDT", indexOf(chunks, "BKDT"));
    // Without blocks the record size does not matter.
    m.blocks.clear();
    m.writeEmptyBlocks = true;
    for (int layer : {0, 1, 3})
        m.layers[layer].reset();
    m.blockRecordSize = 0;
    ASSERT_EQ(load(m), 0);
    EXPECT_EQ(tmapBlockCount, 0);
    // Longer records: the bytes after the 32 known ones are skipped.
    Map wide = sampleMap(16, false);
    wide.blockRecordSize = 40;
    ASSERT_EQ(load(wide), 0);
    EXPECT_EQ(tmapBlocks[1].userLong1, 0x12345678u);
    EXPECT_EQ(tmapBlocks[2].flags, 0x40);
    EXPECT_EQ(tmapBlocks[3].flags, 0x80);
}

TEST_F(Malformed, SecondHeaderIsRefused) {
    auto chunks = sample();
    chunks.insert(chunks.begin() + 3, chunks[0]);
    expectRefused(chunks, 2, "MPHD", 3);
}

TEST_F(Malformed, RepeatedChunksReplaceTheEarlierCopy) {
    Map first = sampleMap(8, true);
    Map second = sampleMap(8, true);
    for (uint8_t& c : second.colourMap) c = uint8_t(c ^ 0x5A);
    second.blocks[1].flags = 0x11;
    second.frames = {3, 3, 3, 0};
    second.anims.resize(1);
    second.layers[0] = std::vector<int32_t>{3, 3, 3, 3, 3, 3};
    second.graphics[0] = support::solidGraphic(8, 2, 2, 99, 0, 0);
    auto chunks = buildChunks(first);
    auto later = buildChunks(second);
    for (const char* tag : {"CMAP", "BKDT", "ANDT", "BGFX", "BODY"}) chunks.push_back(*findChunk(later, tag));
    gldouble::reset();
    ASSERT_EQ(load(buildForm(chunks)), 0) << tmapErrorString(tmapError) << " " << tmapErrorChunk;
    EXPECT_EQ(tmapColourMap[0], 0x5A);
    EXPECT_EQ(tmapBlocks[1].flags, 0x11);
    EXPECT_EQ(tmapAnimCount, 1);
    EXPECT_EQ(tmapAnimFrameCount, 4);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
    EXPECT_EQ(tmapCurrentLayer[0], 3);
    // The later copy's graphics replace the first's before any is uploaded.
    auto uploads = gldouble::callsNamed("glTexImage2D");
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].bytes[0], second.colourMap[3 * 99]);
}

TEST_F(Malformed, RepeatedLayerAfterSelectingAnother) {
    // A repeated "BODY" must leave the new layer 0 current, not a freed one.
    Map m = sampleMap(16, true);
    auto chunks = buildChunks(m);
    chunks.push_back(*findChunk(chunks, "BODY"));
    ASSERT_EQ(load(buildForm(chunks)), 0);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
    EXPECT_EQ(tmapBlockAt(1, 0), &tmapBlocks[1]);
}

} // namespace
