// The generated demo maps load and give each demo what its scene needs.
#include <gtest/gtest.h>

#include <set>

#include "gldouble.h"
#include "mapgen.h"
#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

namespace {

// Cells in each layer of the loaded map, counted wide: header values are
// 16-bit and their product is not.
size_t cellCount() { return size_t(tmapWidth) * size_t(tmapHeight); }

void load(const tmapwriter::Map& map) {
    tmapwriter::Bytes image = tmapwriter::buildImage(map);
    gldouble::reset();
    gldouble::setRecording(false);
    tmapError = 0;
    ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), 10), 0) << "tmapError " << tmapError;
    gldouble::setRecording(true);
}

// Every cell of the layer names an existing block, through its animation's
// frames too, and every stacked run ends on a closing record.
void expectLayerResolves(int layer) {
    SCOPED_TRACE("layer " + std::to_string(layer));
    ASSERT_NE(tmapLayers[layer], nullptr);
    ASSERT_NE(tmapBlocks, nullptr) << "the header's block count alone is no array";
    for (size_t i = 0; i < cellCount(); ++i) {
        int32_t cell = tmapLayers[layer][i];
        std::vector<int32_t> bases;
        if (cell >= 0) {
            bases.push_back(cell);
        } else {
            ASSERT_LT(-cell - 1, tmapAnimCount) << "cell " << i;
            const TmapAnim& anim = tmapAnims[-cell - 1];
            ASSERT_LT(anim.start, anim.end);
            for (int f = anim.start; f < anim.end; ++f) bases.push_back(tmapAnimFrames[f]);
        }
        for (int32_t block : bases) {
            ASSERT_GE(block, 0);
            ASSERT_LE(block, 1023) << "a cell stores at most block 1023";
            int top = block;
            while (top < tmapBlockCount && (tmapBlocks[top].flags & TMAP_FLAG_STACKED)) ++top;
            ASSERT_LT(top, tmapBlockCount) << "stacked run from block " << block << " never closes";
        }
    }
}

std::set<int> animModes() {
    std::set<int> modes;
    for (int n = 0; n < tmapAnimCount; ++n) modes.insert(tmapAnims[n].mode);
    return modes;
}

TEST(DemoMaps, VorlaFitsTheShipDemo) {
    load(tmapgen::makeVorlaMap());
    EXPECT_EQ(tmapWidth, 24);
    EXPECT_EQ(tmapHeight, 200);
    EXPECT_EQ(tmapTileWidth, 16);
    EXPECT_EQ(tmapTileHeight, 16);
    EXPECT_EQ(tmapDepth, 16);
    EXPECT_EQ(tmapLittleEndian, 1);
    EXPECT_GE(int64_t(tmapHeight) * tmapTileHeight, 1000);
    expectLayerResolves(0);
    expectLayerResolves(1);
    std::set<int> modes = animModes();
    EXPECT_TRUE(modes.count(1) && modes.count(5));

    // Layer 1 is mostly see-through: block 0 shows graphic 0, all colour key.
    const tmapwriter::Map map = tmapgen::makeVorlaMap();
    ASSERT_EQ(map.blocks[0].graphic[0], 0);
    for (size_t i = 0; i < map.graphics[0].size(); i += 2) {
        EXPECT_EQ(map.graphics[0][i], 0xF8);
        EXPECT_EQ(map.graphics[0][i + 1], 0x1F);
    }
    size_t clearCells = 0;
    for (size_t i = 0; i < cellCount(); ++i) clearCells += tmapLayers[1][i] == 0;
    EXPECT_GT(clearCells, cellCount() * 6 / 10);
    EXPECT_LT(clearCells, cellCount());

    // The far ground changes along the flight: no stretch of 25 rows repeats
    // the picture of the first ones.
    std::set<int32_t> firstRows(tmapLayers[0], tmapLayers[0] + 25 * tmapWidth);
    std::set<int32_t> lastRows(tmapLayers[0] + 175 * tmapWidth, tmapLayers[0] + 200 * tmapWidth);
    EXPECT_NE(firstRows, lastRows);
    tmapRelease();
}

TEST(DemoMaps, Test2aFitsTheThreeDemos) {
    load(tmapgen::makeTest2aMap());
    EXPECT_GE(tmapWidth, 50);
    EXPECT_GE(tmapHeight, 50);
    EXPECT_EQ(tmapDepth, 24);
    EXPECT_EQ(tmapLittleEndian, 0);
    EXPECT_TRUE(tmapTileWidth == 32 && tmapTileHeight == 32);
    for (int layer : {0, 1, 2}) expectLayerResolves(layer);
    EXPECT_GE(animModes().size(), 2u);

    // Layer 0's second graphics carry clear texels somewhere, so the blended
    // pass shows the ground beneath; none of its blocks uses graphic 0 there.
    const tmapwriter::Map map = tmapgen::makeTest2aMap();
    bool someClear = false;
    for (size_t i = 0; i < cellCount(); ++i) {
        int32_t cell = tmapLayers[0][i];
        if (cell < 0) cell = tmapAnimFrames[tmapAnims[-cell - 1].start];
        int overlay = tmapBlocks[cell].graphic2;
        ASSERT_NE(overlay, 0) << "cell " << i;
        const tmapwriter::Bytes& pixels = map.graphics[size_t(overlay)];
        for (size_t p = 0; p + 2 < pixels.size(); p += 3)
            someClear |= pixels[p] == 255 && pixels[p + 1] == 0 && pixels[p + 2] == 255;
    }
    EXPECT_TRUE(someClear);

    // Layers 1 and 2 hold real columns, differently laid out, with mirrored
    // caps and stacked records whose side faces are all drawn.
    auto tallest = [](int layer) {
        int best = 0;
        for (size_t i = 0; i < cellCount(); ++i) {
            int32_t block = tmapLayers[layer][i];
            if (block < 0) continue;
            int h = 0;
            for (; tmapBlocks[block].flags & TMAP_FLAG_STACKED; ++block, ++h)
                for (int32_t g : {tmapBlocks[block].graphic1, tmapBlocks[block].graphic2, tmapBlocks[block].graphic3,
                                  tmapBlocks[block].graphic4})
                    EXPECT_NE(g, 0);
            best = std::max(best, h);
        }
        return best;
    };
    EXPECT_EQ(tallest(1), 4);
    EXPECT_GE(tallest(2), 2);
    EXPECT_FALSE(std::equal(tmapLayers[1], tmapLayers[1] + cellCount(), tmapLayers[2]));
    std::set<int> capMirrors;
    ASSERT_NE(tmapBlocks, nullptr);
    for (int b = 0; b < tmapBlockCount; ++b)
        if (!(tmapBlocks[b].flags & TMAP_FLAG_STACKED)) capMirrors.insert(tmapBlocks[b].flags & 0xC0);
    EXPECT_EQ(capMirrors.size(), 4u);
    tmapRelease();
}

TEST(DemoMaps, GenerationIsDeterministic) {
    EXPECT_EQ(tmapwriter::buildImage(tmapgen::makeVorlaMap()), tmapwriter::buildImage(tmapgen::makeVorlaMap()));
    EXPECT_EQ(tmapwriter::buildImage(tmapgen::makeTest2aMap()), tmapwriter::buildImage(tmapgen::makeTest2aMap()));
}

TEST(DemoMaps, CorpusCoversDepthsOrdersAndModes) {
    std::vector<tmapgen::CorpusFile> corpus = tmapgen::makeCorpus();
    EXPECT_GE(corpus.size(), 30u);
    std::set<std::string> names;
    std::set<std::pair<int, int>> depthOrders;
    std::set<int> modes;
    int loaded = 0;
    for (const tmapgen::CorpusFile& file : corpus) {
        EXPECT_TRUE(names.insert(file.name).second) << file.name;
        gldouble::reset();
        tmapError = 0;
        if (tmapDecodeBuffer(file.image.data(), file.image.size(), 10) == 0) {
            ++loaded;
            if (std::set<int>{8, 15, 16, 24, 32}.count(tmapDepth)) depthOrders.insert({tmapDepth, tmapLittleEndian});
            for (int n = 0; n < tmapAnimCount; ++n) modes.insert(tmapAnims[n].mode);
        }
        tmapRelease();
    }
    EXPECT_EQ(depthOrders.size(), 10u);
    for (int mode = 0; mode <= 9; ++mode) EXPECT_TRUE(modes.count(mode)) << "mode " << mode;
    EXPECT_GT(loaded, int(corpus.size()) * 2 / 3);
    EXPECT_LT(loaded, int(corpus.size())) << "the malformed seeds should be refused";
}

}  // namespace
