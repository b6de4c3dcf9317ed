// Out of memory: every allocation of a full load is made to fail in turn.
#include <cstdio>
#include <functional>

#include "test_support.h"

using support::load;
using support::sampleMap;

namespace {

class OutOfMemory : public LibraryTest {};

// Allocations a load makes when none fails.
long allocationsOf(const std::function<int()>& loadOnce) {
    tmapAllocationCount = 0;
    EXPECT_EQ(loadOnce(), 0);
    long count = tmapAllocationCount;
    tmapRelease();
    return count;
}

TEST_F(OutOfMemory, EveryAllocationOfAFileLoad) {
    std::string path = support::tempPath("full.fmp");
    ASSERT_TRUE(tmapwriter::saveFile(path, tmapwriter::buildImage(sampleMap(8, true))));
    auto loadFile = [&] { return tmapLoadFile(path.c_str(), 10); };
    // File image, colour map, blocks, animations, frames, graphics scratch and
    // which graphics are opaque, three layers.
    const long count = allocationsOf(loadFile);
    EXPECT_EQ(count, 10);
    for (long n = 1; n <= count; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        ASSERT_EQ(load(sampleMap(24, false)), 0);
        support::Model previous = support::snapshot();
        tmapAllocationCount = 0;
        tmapFailAllocationAt = n;
        EXPECT_EQ(loadFile(), -1);
        tmapFailAllocationAt = 0;
        EXPECT_EQ(tmapError, 1);
        if (n == 1) {
            // The file buffer: nothing decoded yet, the previous map stays.
            EXPECT_EQ(previous, support::snapshot());
            EXPECT_STREQ(tmapErrorChunk, "");
        } else {
            EXPECT_TRUE(support::noMap());
            EXPECT_EQ(std::string(tmapErrorChunk).size(), 4u);
        }
    }
    tmapAllocationCount = 0;
    tmapFailAllocationAt = count + 1;
    EXPECT_EQ(loadFile(), 0);
    std::remove(path.c_str());
}

TEST_F(OutOfMemory, DecodingFailsAtEveryAllocation) {
    const tmapwriter::Bytes image = tmapwriter::buildImage(sampleMap(16, true));
    const long count = allocationsOf([&] { return load(image); });
    EXPECT_EQ(count, 8);
    for (long n = 1; n <= count; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        gldouble::reset();
        tmapAllocationCount = 0;
        tmapFailAllocationAt = n;
        EXPECT_EQ(load(image), -1);
        tmapFailAllocationAt = 0;
        EXPECT_EQ(tmapError, 1);
        EXPECT_TRUE(support::noMap());
        // Graphics come after blocks, animations and frames: their scratch
        // is the fourth allocation, and failing it uploads nothing.
        if (n <= 4) {
            EXPECT_EQ(gldouble::count("glTexImage2D"), 0u);
        }
    }
}

TEST_F(OutOfMemory, EmptyArraysStillSucceed) {
    // Zero blocks, zero animations and zero frames are not failures.
    tmapwriter::Map m;
    m.width = m.height = 0;
    m.writeEmptyBlocks = true;
    m.layers[0] = std::vector<int32_t>{};
    auto chunks = tmapwriter::buildChunks(m);
    tmapwriter::Bytes listEndOnly(16, 0);
    listEndOnly[0] = 0xFF;
    chunks.push_back(tmapwriter::makeChunk("ANDT", listEndOnly));
    ASSERT_EQ(load(tmapwriter::buildForm(chunks)), 0) << tmapErrorString(tmapError);
    EXPECT_NE(tmapBlocks, nullptr);
    EXPECT_NE(tmapLayers[0], nullptr);
    EXPECT_EQ(tmapAnimCount, 0);
    EXPECT_EQ(tmapAnimFrameCount, 0);
    tmapResetAnims();
    tmapStepAnims();
    EXPECT_EQ(tmapDrawLayer(0, 0, 5, 5, 0, 0, 0, 1, 1), 0);
}

} // namespace
