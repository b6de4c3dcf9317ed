// Layer selection, cell addressing with and without row tables, writing
// cells, and animated or damaged cells as tmapBlockAt resolves them.
#include "test_support.h"

using support::load;
using support::Map;
using support::sampleMap;

namespace {

class Layers : public LibraryTest {};

TEST_F(Layers, SelectionRules) {
    EXPECT_EQ(tmapSelectLayer(0), -1); // no map
    Map m = sampleMap(16, true);
    m.layers[1].reset();
    m.layers[2] = std::vector<int32_t>(6, 1);
    ASSERT_EQ(load(m), 0);
    int32_t* body = tmapLayers[0];
    EXPECT_EQ(tmapSelectLayer(1), -1);
    EXPECT_EQ(tmapCurrentLayer, body);
    EXPECT_EQ(tmapSelectLayer(8), -1);
    EXPECT_EQ(tmapSelectLayer(unsigned(-1)), -1);
    EXPECT_EQ(tmapCurrentLayer, body);
    EXPECT_EQ(tmapSelectLayer(2), 2);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[2]);
    EXPECT_EQ(tmapSelectLayer(3), 3);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[3]);
    EXPECT_EQ(tmapSelectLayer(0), 0);
    EXPECT_EQ(tmapCurrentLayer, body);
    EXPECT_EQ(tmapCurrentRows, nullptr);
}

TEST_F(Layers, AddressingWithAndWithoutRowTables) {
    Map m;
    m.width = 5;
    m.height = 4;
    m.blocks.resize(40);
    std::vector<int32_t> cells(20);
    for (int i = 0; i < 20; ++i) cells[i] = i;
    m.layers[0] = cells;
    for (int& c : cells) c += 20;
    m.layers[1] = cells;
    ASSERT_EQ(load(m), 0);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass ? "row tables" : "multiplication");
        for (unsigned layer : {0u, 1u}) {
            ASSERT_EQ(tmapSelectLayer(layer), int(layer));
            EXPECT_EQ(tmapCurrentRows, tmapLayerRows[layer]);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(tmapBlockAt(x, y), &tmapBlocks[x + 5 * y + 20 * int(layer)]) << x << "," << y;
        }
        ASSERT_EQ(tmapBuildRowTables(), 0);
        // Built while layer 1 was current: its table is in use at once.
        EXPECT_EQ(tmapCurrentRows, tmapLayerRows[1]);
        for (int y = 0; y < 4; ++y) EXPECT_EQ(tmapLayerRows[0][y], tmapLayers[0] + 5 * y);
        for (int k = 2; k < TMAP_LAYER_COUNT; ++k) EXPECT_EQ(tmapLayerRows[k], nullptr);
    }
    // Rows are found through the table when one is current: a table whose
    // rows are swapped shows the swap.
    tmapSelectLayer(0);
    std::swap(tmapLayerRows[0][0], tmapLayerRows[0][3]);
    EXPECT_EQ(tmapBlockAt(2, 0), &tmapBlocks[17]);
    tmapSetCell(1, 3, 9);
    EXPECT_EQ(tmapLayers[0][1], 9);
    // Rebuilding restores straight rows.
    ASSERT_EQ(tmapBuildRowTables(), 0);
    EXPECT_EQ(tmapBlockAt(2, 0), &tmapBlocks[2]);
    EXPECT_EQ(tmapBlockAt(1, 0), &tmapBlocks[9]);
}

TEST_F(Layers, SetThenRead) {
    ASSERT_EQ(load(sampleMap(16, false)), 0);
    tmapSetCell(2, 1, 1);
    EXPECT_EQ(tmapLayers[0][5], 1);
    EXPECT_EQ(tmapBlockAt(2, 1), &tmapBlocks[1]);
    // -2 shows animation 1, now at frame 2 of the frame list {1, 2, 3}.
    tmapSetCell(0, 0, -2);
    EXPECT_EQ(tmapLayers[0][0], -2);
    EXPECT_EQ(tmapBlockAt(0, 0), &tmapBlocks[3]);
    // Other layers are untouched.
    EXPECT_EQ(tmapLayers[1][0], 3);
    ASSERT_EQ(tmapBuildRowTables(), 0);
    tmapSetCell(1, 1, 2);
    EXPECT_EQ(tmapLayers[0][4], 2);
    EXPECT_EQ(tmapBlockAt(1, 1), &tmapBlocks[2]);
}

TEST_F(Layers, AnimatedCellsShowTheCurrentFrame) {
    Map m = sampleMap(16, true);
    m.frames = {0, 7, 2};
    m.blocks.resize(8);
    m.anims[0].current = 1;
    ASSERT_EQ(load(m), 0);
    // Cell (0, 1) holds -1: animation 0, whose current entry holds 7.
    EXPECT_EQ(tmapBlockAt(0, 1), &tmapBlocks[7]);
    tmapResetAnims(); // mode 1: back to start, frame entry 0
    EXPECT_EQ(tmapBlockAt(0, 1), &tmapBlocks[0]);
    for (int tick = 0; tick < 3; ++tick) tmapStepAnims(); // delay 2: moves on the third tick
    EXPECT_EQ(tmapBlockAt(0, 1), &tmapBlocks[7]);
    // Animation 1 (mode 6, frames 1..2 of the list) went 2, 1, turned to 2, then 1.
    EXPECT_EQ(tmapBlockAt(1, 1), &tmapBlocks[7]);
}

TEST_F(Layers, CellsNamingNothingGiveNull) {
    Map m = sampleMap(16, true);
    m.frames = {1, 40, -1};
    ASSERT_EQ(load(m), 0);
    const struct {
        int32_t value;
        const char* what;
    } bad[] = {{4, "block past the end"}, {1023, "largest stored block"}, {-3, "animation past the end"},
               {-100000, "far animation"}, {INT32_MIN, "most negative"}};
    for (const auto& b : bad) {
        tmapSetCell(0, 0, b.value);
        EXPECT_EQ(tmapBlockAt(0, 0), nullptr) << b.what;
    }
    // Frame entries naming no block.
    tmapSetCell(0, 0, -1);
    tmapAnims[0].current = 1;
    EXPECT_EQ(tmapBlockAt(0, 0), nullptr) << "frame holds block 40";
    tmapAnims[0].current = 2;
    EXPECT_EQ(tmapBlockAt(0, 0), nullptr) << "frame holds -1";
    tmapAnims[0].current = 3;
    EXPECT_EQ(tmapBlockAt(0, 0), nullptr) << "current past the frame list";
    tmapAnims[0].current = -1;
    EXPECT_EQ(tmapBlockAt(0, 0), nullptr) << "current before the frame list";
    tmapAnims[0].current = 0;
    EXPECT_EQ(tmapBlockAt(0, 0), &tmapBlocks[1]);
}

TEST_F(Layers, MapWithoutBlocksResolvesNothing) {
    Map m;
    m.width = 2;
    m.height = 1;
    m.layers[0] = std::vector<int32_t>{0, 1};
    ASSERT_EQ(load(m), 0);
    EXPECT_EQ(tmapBlocks, nullptr);
    EXPECT_EQ(tmapBlockAt(0, 0), nullptr);
    EXPECT_EQ(tmapBlockAt(1, 0), nullptr);
}

TEST_F(Layers, RowTableFailureKeepsLaterTablesAndDropsTheFailedOne) {
    ASSERT_EQ(load(sampleMap(16, true)), 0); // layers 0, 1 and 3
    ASSERT_EQ(tmapBuildRowTables(), 0);
    int32_t** oldThird = tmapLayerRows[3];
    ASSERT_EQ(tmapSelectLayer(1), 1);
    // Fail the second allocation of the rebuild: layer 1's table.
    tmapAllocationCount = 0;
    tmapFailAllocationAt = 2;
    EXPECT_EQ(tmapBuildRowTables(), -1);
    tmapFailAllocationAt = 0;
    EXPECT_EQ(tmapError, 0); // not a loader error
    EXPECT_NE(tmapLayerRows[0], nullptr);
    EXPECT_EQ(tmapLayerRows[0][1], tmapLayers[0] + 3);
    EXPECT_EQ(tmapLayerRows[1], nullptr);
    EXPECT_EQ(tmapLayerRows[3], oldThird);
    // The current layer's table was freed: addressing falls back to rows of tmapWidth.
    EXPECT_EQ(tmapCurrentRows, nullptr);
    EXPECT_EQ(tmapBlockAt(2, 1), &tmapBlocks[2]);
    EXPECT_EQ(tmapSelectLayer(3), 3);
    EXPECT_EQ(tmapCurrentRows, oldThird);
    EXPECT_EQ(tmapBlockAt(1, 0), &tmapBlocks[0]);
}

} // namespace
