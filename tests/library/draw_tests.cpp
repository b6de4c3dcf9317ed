// Drawing windows of the current layer, recorded: flat quads of either
// graphic and block columns, with exact call sequences.
#include <gmock/gmock.h>

#include <algorithm>
#include <array>

#include "test_support.h"

using support::load;
using support::Map;
using Strings = std::vector<std::string>;

namespace {

using Corners = std::array<const char*, 4>;

// Texture coordinates of the four corners, sets 0 to 3, and of side faces.
const Corners asStored = {"0,0", "1,0", "1,1", "0,1"};
const Corners mirroredS = {"1,0", "0,0", "0,1", "1,1"};
const Corners mirroredT = {"0,1", "1,1", "1,0", "0,0"};
const Corners mirroredBoth = {"1,1", "0,1", "0,0", "1,0"};
const Corners sideFace = {"0,1", "0,0", "1,0", "1,1"};

// The calls of one textured quad, from its bind to its glEnd.
Strings quad(int texture, const char* normal, const Corners& texCoords, const Corners& corners,
             bool enablesTexturing = false) {
    Strings out;
    if (enablesTexturing) out.push_back("glEnable(GL_TEXTURE_2D)");
    out.push_back("glBindTexture(GL_TEXTURE_2D," + std::to_string(texture) + ")");
    out.push_back("glBegin(GL_QUADS)");
    out.push_back(std::string("glNormal3f(") + normal + ")");
    for (int i = 0; i < 4; ++i) {
        out.push_back(std::string("glTexCoord2f(") + texCoords[i] + ")");
        out.push_back(std::string("glVertex3f(") + corners[i] + ")");
    }
    out.push_back("glEnd()");
    return out;
}

Strings flat(int texture, const Corners& texCoords, const Corners& corners) {
    return quad(texture, "0,0,-1", texCoords, corners);
}

Strings side(int texture, const char* normal, const Corners& corners) {
    return quad(texture, normal, sideFace, corners, true);
}

Strings join(std::initializer_list<Strings> parts) {
    Strings out;
    for (const Strings& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---- Flat layers ----

// A 4 x 3 layer over five blocks, one per coordinate set, graphics 0..9 at
// texture names 10..19:
//   row 0:  0  1  2  3        block k: graphic1 k, graphic2 k + 5, flags:
//   row 1:  4 -1  0  0          0: none, 1: 0x40, 2: 0x80, 3: 0xC0,
//   row 2:  1  2  3  4          4: 0x3F (no mirror bit)
// Animation 0 runs frames {3, 1} (loop, delay 0).
class FlatDrawing : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Map m;
        m.width = 4;
        m.height = 3;
        m.depth = 32;
        m.tileWidth = m.tileHeight = 1;
        m.graphics.assign(10, tmapwriter::Bytes(4, 0));
        const uint8_t flags[] = {0x00, 0x40, 0x80, 0xC0, 0x3F};
        for (int k = 0; k < 5; ++k) {
            tmapwriter::Block b;
            b.graphic[0] = k;
            b.graphic[1] = k + 5;
            b.flags = flags[k];
            m.blocks.push_back(b);
        }
        m.frames = {3, 1};
        tmapwriter::Anim a;
        a.mode = 1;
        a.start = a.current = 0;
        a.end = 2;
        m.anims = {a};
        m.layers[0] = std::vector<int32_t>{0, 1, 2, 3, 4, -1, 0, 0, 1, 2, 3, 4};
        ASSERT_EQ(load(m), 0);
        tmapResetAnims();
        gldouble::reset();
    }
};

TEST_F(FlatDrawing, TexCoordSetTable) {
    const float expected[4][4][2] = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                                     {{1, 0}, {0, 0}, {0, 1}, {1, 1}},
                                     {{0, 1}, {1, 1}, {1, 0}, {0, 0}},
                                     {{1, 1}, {0, 1}, {0, 0}, {1, 0}}};
    for (int set = 0; set < 4; ++set)
        for (int corner = 0; corner < 4; ++corner)
            for (int i = 0; i < 2; ++i) EXPECT_EQ(tmapTexCoordSets[set][corner][i], expected[set][corner][i]);
}

TEST_F(FlatDrawing, QuadsOfEveryMirrorSet) {
    EXPECT_EQ(tmapDrawLayer(0, 0, 4, 1, 1.0f, 8.0f, 0.25f, 0.5f, -0.5f), 0);
    EXPECT_EQ(gldouble::trace(),
              join({flat(10, asStored, {"1,8,0.25", "1.5,8,0.25", "1.5,7.5,0.25", "1,7.5,0.25"}),
                    flat(11, mirroredS, {"1.5,8,0.25", "2,8,0.25", "2,7.5,0.25", "1.5,7.5,0.25"}),
                    flat(12, mirroredT, {"2,8,0.25", "2.5,8,0.25", "2.5,7.5,0.25", "2,7.5,0.25"}),
                    flat(13, mirroredBoth, {"2.5,8,0.25", "3,8,0.25", "3,7.5,0.25", "2.5,7.5,0.25"})}))
        << gldouble::dump();
    // Flags other than 0x40 and 0x80 select no mirroring.
    gldouble::reset();
    tmapDrawLayer(0, 1, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace(), flat(14, asStored, {"0,0,0", "1,0,0", "1,1,0", "0,1,0"}));
}

TEST_F(FlatDrawing, RowsRunDownByTheCellHeight) {
    tmapDrawLayer(2, 0, 1, 3, 0.0f, 8.0f, 0.0f, 0.5f, -0.5f);
    EXPECT_EQ(gldouble::trace(),
              join({flat(12, mirroredT, {"0,8,0", "0.5,8,0", "0.5,7.5,0", "0,7.5,0"}),
                    flat(10, asStored, {"0,7.5,0", "0.5,7.5,0", "0.5,7,0", "0,7,0"}),
                    flat(13, mirroredBoth, {"0,7,0", "0.5,7,0", "0.5,6.5,0", "0,6.5,0"})}))
        << gldouble::dump();
}

TEST_F(FlatDrawing, SecondGraphicCoversTheSameSquares) {
    tmapDrawLayer(1, 2, 2, 1, -3.0f, 2.0f, 0.0f, 2.0f, 1.0f);
    Strings first = gldouble::trace({"glVertex3f", "glTexCoord2f", "glNormal3f"});
    EXPECT_THAT(gldouble::trace({"glBindTexture"}),
                ::testing::ElementsAre("glBindTexture(GL_TEXTURE_2D,12)", "glBindTexture(GL_TEXTURE_2D,13)"));
    gldouble::reset();
    tmapDrawLayerSecondGraphic(1, 2, 2, 1, -3.0f, 2.0f, 0.0f, 2.0f, 1.0f);
    EXPECT_EQ(gldouble::trace({"glVertex3f", "glTexCoord2f", "glNormal3f"}), first);
    EXPECT_THAT(gldouble::trace({"glBindTexture"}),
                ::testing::ElementsAre("glBindTexture(GL_TEXTURE_2D,17)", "glBindTexture(GL_TEXTURE_2D,18)"));
    // Only z differs for a second pass above the first.
    gldouble::reset();
    tmapDrawLayerSecondGraphic(1, 2, 1, 1, -3.0f, 2.0f, 0.002f, 2.0f, 1.0f);
    EXPECT_THAT(gldouble::trace({"glVertex3f"}),
                ::testing::ElementsAre("glVertex3f(-3,2,0.002)", "glVertex3f(-1,2,0.002)", "glVertex3f(-1,3,0.002)",
                                       "glVertex3f(-3,3,0.002)"));
}

TEST_F(FlatDrawing, PositionsAreRunningSingleSums) {
    // Ten steps of 0.1f summed in single precision reach 1.0000001, not 1.
    Map m;
    m.width = 10;
    m.height = 1;
    m.blocks.resize(1);
    m.layers[0] = std::vector<int32_t>(10, 0);
    ASSERT_EQ(load(m), 0);
    gldouble::reset();
    tmapDrawLayer(0, 0, 10, 1, 0.0f, 0.0f, 0.0f, 0.1f, 1.0f);
    auto vertices = gldouble::callsNamed("glVertex3f");
    ASSERT_EQ(vertices.size(), 40u);
    const char* starts[] = {"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.70000005", "0.8000001", "0.9000001"};
    for (int column = 0; column < 10; ++column)
        EXPECT_EQ(vertices[4 * column].str(), std::string("glVertex3f(") + starts[column] + ",0,0)");
    EXPECT_EQ(vertices[37].str(), "glVertex3f(1.0000001,0,0)");
    // A window clipped on the left reaches its first cell by the same sums.
    gldouble::reset();
    tmapDrawLayer(-7, 0, 8, 1, 0.0f, 0.0f, 0.0f, 0.1f, 1.0f);
    EXPECT_EQ(gldouble::callsNamed("glVertex3f")[0].str(), "glVertex3f(0.70000005,0,0)");
}

TEST_F(FlatDrawing, AnimatedCellsShowTheirCurrentFrame) {
    tmapDrawLayer(1, 1, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace(), flat(13, mirroredBoth, {"0,0,0", "1,0,0", "1,1,0", "0,1,0"}));
    tmapStepAnims();
    gldouble::reset();
    tmapDrawLayerSecondGraphic(1, 1, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace(), flat(16, mirroredS, {"0,0,0", "1,0,0", "1,1,0", "0,1,0"}));
}

TEST_F(FlatDrawing, EmptyWindowsMakeNoCalls) {
    const struct {
        int cellX, cellY, columns, rows;
    } windows[] = {{0, 0, 4, 0}, {0, 0, 0, 3}, {0, 0, -1, 2}, {0, 0, 2, -1}, {4, 0, 1, 1},
                   {0, 3, 1, 1}, {-2, 0, 2, 1}, {0, -5, 3, 5}, {100000, 100000, 5, 5},
                   {-2147483647 - 1, 0, 2147483647, 1}};
    for (const auto& w : windows) {
        for (auto draw : {tmapDrawLayer, tmapDrawLayerSecondGraphic, tmapDrawBlocks})
            EXPECT_EQ(draw(w.cellX, w.cellY, w.columns, w.rows, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f), 0);
        EXPECT_TRUE(gldouble::calls().empty())
            << w.cellX << "," << w.cellY << " " << w.columns << "x" << w.rows << "\n" << gldouble::dump();
    }
    tmapRelease(); // no map, no layer
    tmapDrawLayer(0, 0, 4, 3, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    tmapDrawBlocks(0, 0, 4, 3, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_TRUE(gldouble::calls().empty());
}

TEST_F(FlatDrawing, WindowsPastTheEdgesAreClipped) {
    // Starting one cell up and left: the cells inside keep their places.
    tmapDrawLayer(-1, -1, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f);
    EXPECT_EQ(gldouble::trace(),
              join({flat(10, asStored, {"1,-1,0", "2,-1,0", "2,-2,0", "1,-2,0"}),
                    flat(11, mirroredS, {"2,-1,0", "3,-1,0", "3,-2,0", "2,-2,0"})}))
        << gldouble::dump();
    // Past the right and bottom edges.
    gldouble::reset();
    tmapDrawLayer(3, 2, 50, 50, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace(), flat(14, asStored, {"0,0,0", "1,0,0", "1,1,0", "0,1,0"}));
    // A window larger than the layer on every side draws all 12 cells.
    gldouble::reset();
    tmapDrawLayer(-3, -3, 10, 10, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::count("glBegin"), 12u);
    EXPECT_EQ(gldouble::calls()[4].str(), "glVertex3f(3,3,0)");
}

TEST_F(FlatDrawing, CellsNamingNothingAreSkipped) {
    tmapSetCell(1, 0, 5);  // past the last block
    tmapSetCell(2, 0, -2); // no animation 1
    tmapDrawLayer(0, 0, 4, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace(),
              join({flat(10, asStored, {"0,0,0", "1,0,0", "1,1,0", "0,1,0"}),
                    flat(13, mirroredBoth, {"3,0,0", "4,0,0", "4,1,0", "3,1,0"})}))
        << gldouble::dump();
}

TEST_F(FlatDrawing, RowTablesAreNotUsed) {
    ASSERT_EQ(tmapBuildRowTables(), 0);
    std::swap(tmapCurrentRows[0], tmapCurrentRows[2]);
    tmapDrawLayer(0, 0, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace({"glBindTexture"}), Strings{"glBindTexture(GL_TEXTURE_2D,10)"});
}

// ---- Block columns ----

// Block records, graphics 0..8 at texture names 10..18:
//   0  {0,0,0,0}                     ground with graphic 0
//   1  {3,0,0,0}                     one cap
//   2  {3,4,0,0}                     two caps
//   3  {1,2,3,4} flags 0xE0          stacked (mirror flags ignored on sides)
//   4  {1,0,3,0} flags 0x20          stacked, two faces
//   5  {5,0,0,0} flags 0xC0          closes 3-4 with one cap, mirrored both ways
//   6  {1,2,3,4} flags 0x20          stacked
//   7  {0,0,0,0} flags 0x20          stacked, no faces
//   8  {5,6,0,0} flags 0x40          closes 6-7 with an upper cap, mirrored in s
//   9  {8,0,0,0} flags 0x20          the last record, stacked
// Animation 0 shows frame {4}.
class BlockDrawing : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Map m;
        m.width = 8;
        m.height = 2;
        m.depth = 24;
        m.tileWidth = m.tileHeight = 1;
        m.graphics.assign(9, tmapwriter::Bytes(3, 0));
        const struct {
            int g[4];
            uint8_t flags;
        } records[] = {{{0, 0, 0, 0}, 0},    {{3, 0, 0, 0}, 0},    {{3, 4, 0, 0}, 0},
                       {{1, 2, 3, 4}, 0xE0}, {{1, 0, 3, 0}, 0x20}, {{5, 0, 0, 0}, 0xC0},
                       {{1, 2, 3, 4}, 0x20}, {{0, 0, 0, 0}, 0x20}, {{5, 6, 0, 0}, 0x40},
                       {{8, 0, 0, 0}, 0x20}};
        for (const auto& r : records) {
            tmapwriter::Block b;
            for (int i = 0; i < 4; ++i) b.graphic[i] = r.g[i];
            b.flags = r.flags;
            m.blocks.push_back(b);
        }
        m.frames = {4};
        tmapwriter::Anim a;
        a.start = a.current = 0;
        a.end = 1;
        m.anims = {a};
        m.layers[0] = std::vector<int32_t>{0, 1, 2, 3, 6, 9, -1, 7, 0, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(load(m), 0);
        gldouble::reset();
    }
    // Draws the one cell x of row 0 with the demos' cell size at (-12.5, 12.5).
    Strings column(int x) {
        gldouble::reset();
        EXPECT_EQ(tmapDrawBlocks(x, 0, 1, 1, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f), 0);
        return gldouble::trace();
    }
};

const Corners capAt0 = {"-12.5,12.5,0", "-12,12.5,0", "-12,12,0", "-12.5,12,0"};
const Corners capAt05 = {"-12.5,12.5,0.5", "-12,12.5,0.5", "-12,12,0.5", "-12.5,12,0.5"};
const Corners capAt1 = {"-12.5,12.5,1", "-12,12.5,1", "-12,12,1", "-12.5,12,1"};

TEST_F(BlockDrawing, CellsWithoutStacksGetCapsOnTheGround) {
    EXPECT_EQ(column(0), flat(10, asStored, capAt0));
    EXPECT_EQ(column(1), flat(13, asStored, capAt0));
    EXPECT_EQ(column(2), join({flat(14, asStored, capAt0), flat(13, asStored, capAt0)}));
    EXPECT_FALSE(gldouble::isEnabled(GL_TEXTURE_2D));
}

TEST_F(BlockDrawing, TwoCubesClosedByOneCap) {
    EXPECT_EQ(column(3),
              join({side(11, "-1,0,0", {"-12.5,12.5,0", "-12.5,12.5,0.5", "-12.5,12,0.5", "-12.5,12,0"}),
                    side(12, "0,-1,0", {"-12,12.5,0", "-12,12.5,0.5", "-12.5,12.5,0.5", "-12.5,12.5,0"}),
                    side(13, "1,0,0", {"-12,12,0", "-12,12,0.5", "-12,12.5,0.5", "-12,12.5,0"}),
                    side(14, "0,1,0", {"-12.5,12,0", "-12.5,12,0.5", "-12,12,0.5", "-12,12,0"}),
                    side(11, "-1,0,0", {"-12.5,12.5,0.5", "-12.5,12.5,1", "-12.5,12,1", "-12.5,12,0.5"}),
                    side(13, "1,0,0", {"-12,12,0.5", "-12,12,1", "-12,12.5,1", "-12,12.5,0.5"}),
                    flat(15, mirroredBoth, capAt1)}))
        << gldouble::dump();
    EXPECT_TRUE(gldouble::isEnabled(GL_TEXTURE_2D));
}

TEST_F(BlockDrawing, UpperCapOnTopAndLowerCapOnTheGround) {
    // Block 7 draws no faces yet raises the column by one cube.
    EXPECT_EQ(column(4),
              join({side(11, "-1,0,0", {"-12.5,12.5,0", "-12.5,12.5,0.5", "-12.5,12,0.5", "-12.5,12,0"}),
                    side(12, "0,-1,0", {"-12,12.5,0", "-12,12.5,0.5", "-12.5,12.5,0.5", "-12.5,12.5,0"}),
                    side(13, "1,0,0", {"-12,12,0", "-12,12,0.5", "-12,12.5,0.5", "-12,12.5,0"}),
                    side(14, "0,1,0", {"-12.5,12,0", "-12.5,12,0.5", "-12,12,0.5", "-12,12,0"}),
                    flat(16, mirroredS, capAt1), flat(15, mirroredS, capAt0)}))
        << gldouble::dump();
    // Starting at block 7 itself: one empty cube, then block 8's caps.
    EXPECT_EQ(column(7), join({flat(16, mirroredS, capAt05), flat(15, mirroredS, capAt0)}));
}

TEST_F(BlockDrawing, LastRecordEndsItsColumn) {
    EXPECT_EQ(column(5), flat(18, asStored, capAt0)) << gldouble::dump();
}

TEST_F(BlockDrawing, AnimatedCellStartsAtItsFrame) {
    // Frame block 4: one cube of two faces, then block 5 closes it.
    EXPECT_EQ(column(6),
              join({side(11, "-1,0,0", {"-12.5,12.5,0", "-12.5,12.5,0.5", "-12.5,12,0.5", "-12.5,12,0"}),
                    side(13, "1,0,0", {"-12,12,0", "-12,12,0.5", "-12,12.5,0.5", "-12,12.5,0"}),
                    flat(15, mirroredBoth, capAt05)}))
        << gldouble::dump();
}

TEST_F(BlockDrawing, ColumnsAreDrawnOneAfterAnother) {
    tmapDrawBlocks(0, 0, 4, 2, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
    // Per column: its texture binds in order, then the next column.
    EXPECT_THAT(gldouble::trace({"glBindTexture"}),
                ::testing::ElementsAre("glBindTexture(GL_TEXTURE_2D,10)", "glBindTexture(GL_TEXTURE_2D,13)",
                                       "glBindTexture(GL_TEXTURE_2D,14)", "glBindTexture(GL_TEXTURE_2D,13)",
                                       "glBindTexture(GL_TEXTURE_2D,11)", "glBindTexture(GL_TEXTURE_2D,12)",
                                       "glBindTexture(GL_TEXTURE_2D,13)", "glBindTexture(GL_TEXTURE_2D,14)",
                                       "glBindTexture(GL_TEXTURE_2D,11)", "glBindTexture(GL_TEXTURE_2D,13)",
                                       "glBindTexture(GL_TEXTURE_2D,15)", "glBindTexture(GL_TEXTURE_2D,10)",
                                       "glBindTexture(GL_TEXTURE_2D,10)", "glBindTexture(GL_TEXTURE_2D,10)",
                                       "glBindTexture(GL_TEXTURE_2D,10)"));
    EXPECT_EQ(gldouble::count("glBegin"), gldouble::count("glEnd"));
    EXPECT_EQ(gldouble::count("glEnable"), 6u);
    // The second row's caps lie at baseZ on the row below.
    EXPECT_EQ(gldouble::trace({"glVertex3f"}).back(), "glVertex3f(3,2,1)");
}

TEST_F(BlockDrawing, ClippedWindowKeepsColumnPositions) {
    tmapDrawBlocks(-1, 1, 2, 5, 10.0f, 0.0f, 0.0f, 0.5f, -0.5f);
    EXPECT_EQ(gldouble::trace(), flat(10, asStored, {"10.5,0,0", "11,0,0", "11,-0.5,0", "10.5,-0.5,0"}))
        << gldouble::dump();
}

// ---- Grouped by texture ----

// One quad as drawn: texture, normal, then s, t, x, y, z of each corner.
using DrawnQuad = std::vector<double>;

// The quads of the recorded calls, in glBegin/glEnd pairs or client-array
// draws, sorted.
std::vector<DrawnQuad> drawnQuads() {
    std::vector<DrawnQuad> quads;
    double texture = -1;
    DrawnQuad current;
    std::vector<double> normal(3), texCoord(2);
    for (const gldouble::Call& c : gldouble::calls()) {
        if (c.name == "glBindTexture") {
            texture = c.arg(1);
        } else if (c.name == "glBegin") {
            current.clear();
        } else if (c.name == "glNormal3f") {
            normal = {c.arg(0), c.arg(1), c.arg(2)};
            current = {texture, normal[0], normal[1], normal[2]};
        } else if (c.name == "glTexCoord2f") {
            texCoord = {c.arg(0), c.arg(1)};
        } else if (c.name == "glVertex3f") {
            current.insert(current.end(), {texCoord[0], texCoord[1], c.arg(0), c.arg(1), c.arg(2)});
        } else if (c.name == "glEnd") {
            quads.push_back(current);
        } else if (c.name == "glDrawArrays" || c.name == "glMultiDrawArrays") {
            // Eight floats per vertex: s, t, normal, position.
            for (size_t v = 0; v + 32 <= c.floats.size(); v += 32) {
                DrawnQuad q = {texture, c.floats[v + 2], c.floats[v + 3], c.floats[v + 4]};
                for (size_t k = v; k < v + 32; k += 8) {
                    EXPECT_EQ(c.floats[k + 2], q[1]);
                    q.insert(q.end(), {c.floats[k], c.floats[k + 1], c.floats[k + 5], c.floats[k + 6], c.floats[k + 7]});
                }
                quads.push_back(q);
            }
        }
    }
    std::sort(quads.begin(), quads.end());
    return quads;
}

// A 9 x 7 map of columns up to five cubes tall, with upper caps at rise 0
// and on top, mirrored caps, faces without a graphic, and an animation.
Map stackedMap() {
    Map m;
    m.width = 9;
    m.height = 7;
    m.depth = 24;
    m.tileWidth = m.tileHeight = 1;
    m.graphics.assign(7, tmapwriter::Bytes(3, 0));
    std::vector<int32_t> columns;
    for (int c = 0; c < 12; ++c) {
        columns.push_back(int32_t(m.blocks.size()));
        for (int cube = 0; cube < c % 6; ++cube) {
            tmapwriter::Block b;
            for (int i = 0; i < 4; ++i) b.graphic[i] = (c + cube + i) % 7;
            b.flags = 0x20;
            m.blocks.push_back(b);
        }
        tmapwriter::Block closing;
        closing.graphic[0] = c % 7;
        closing.graphic[1] = c % 3 == 0 ? 0 : (c * 5) % 7;
        closing.flags = uint8_t((c % 4) << 6);
        m.blocks.push_back(closing);
    }
    m.frames = {columns[1], columns[5]};
    tmapwriter::Anim a;
    a.mode = 1;
    a.start = a.current = 0;
    a.end = 2;
    m.anims = {a};
    std::vector<int32_t> cells;
    for (int i = 0; i < m.width * m.height; ++i) cells.push_back(i % 11 == 0 ? -1 : columns[size_t(i * 7 % 12)]);
    m.layers[0] = cells;
    return m;
}

class GroupedDrawing : public LibraryTest {
protected:
    void TearDown() override {
        tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
        gldouble::setVersion("1.2 gldouble");
        LibraryTest::TearDown();
    }
};

TEST_F(GroupedDrawing, SameQuadsWithFewerBinds) {
    using Draw = int (*)(int, int, int, int, float, float, float, float, float);
    const struct {
        const char* name;
        Draw draw;
    } draws[] = {{"layer", tmapDrawLayer}, {"second graphic", tmapDrawLayerSecondGraphic}, {"blocks", tmapDrawBlocks}};
    ASSERT_EQ(load(stackedMap()), 0);
    tmapResetAnims();
    // The order depends on culling: with it, faces of one column never meet.
    for (bool culling : {false, true}) {
        for (const char* version : {"1.2 gldouble", "4.5 gldouble"}) {
            const bool multiDraw = version[0] == '4';
            for (const auto& d : draws) {
                // Twice: the second call after an animation step that changes
                // a column's height.
                for (int call = 0; call < 2; ++call) {
                    SCOPED_TRACE(std::string(d.name) + ", GL " + version + (culling ? ", culling" : "") +
                                 ", call " + std::to_string(call));
                    auto drawIn = [&](int order) {
                        gldouble::reset();
                        gldouble::setVersion(version);
                        if (culling) glEnable(GL_CULL_FACE);
                        tmapDrawOrder = order;
                        d.draw(-1, 0, 11, 7, -2.0f, 1.75f, 0.25f, 0.5f, -0.5f);
                    };
                    drawIn(TMAP_DRAW_CELL_ORDER);
                    const std::vector<DrawnQuad> cellOrder = drawnQuads();
                    const size_t cellOrderBinds = gldouble::count("glBindTexture");
                    const bool texturing = gldouble::isEnabled(GL_TEXTURE_2D);
                    drawIn(TMAP_DRAW_BY_TEXTURE);
                    EXPECT_EQ(drawnQuads(), cellOrder);
                    const size_t binds = gldouble::count("glBindTexture");
                    EXPECT_GT(cellOrderBinds, 2 * binds);
                    if (d.draw != tmapDrawBlocks) {
                        EXPECT_LE(binds, 7u);  // one per graphic
                    }
                    EXPECT_EQ(gldouble::isEnabled(GL_TEXTURE_2D), texturing);
                    EXPECT_EQ(gldouble::count("glBegin"), 0u);
                    EXPECT_EQ(gldouble::count(multiDraw ? "glDrawArrays" : "glMultiDrawArrays"), 0u);
                    tmapStepAnims();
                }
            }
        }
    }
}

// Animation steps change columns' heights; the grouped draw works out again
// only the changed cells and the neighbours drawn after them (to the right
// and in the row below), and draws exactly what working out the whole window
// afresh draws.
TEST_F(GroupedDrawing, AnAnimationStepReworksOnlyTheNeighbourhoodItChanges) {
    Map m = stackedMap();
    std::vector<int32_t> cells = *m.layers[0];
    for (int32_t& cell : cells) cell = cell < 0 ? 0 : cell;
    const int animated = 3 * m.width + 4;  // inside the window, away from its edges
    cells[size_t(animated)] = -1;
    m.layers[0] = cells;
    const int windowCells = m.width * m.height;
    ASSERT_EQ(load(m), 0);
    tmapResetAnims();
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    auto draw = [&](int cellX) {
        gldouble::reset();
        glEnable(GL_CULL_FACE);
        tmapDrawBlocks(cellX, 0, m.width - cellX, m.height, -2.0f, 1.75f, 0.25f, 0.5f, -0.5f);
        return gldouble::trace();
    };
    draw(0);
    EXPECT_EQ(tmapGroupedCellsWorkedOut(), windowCells);
    draw(0);
    EXPECT_EQ(tmapGroupedCellsWorkedOut(), 0);
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        tmapStepAnims();  // delay 0: the animated column changes height at every step
        const Strings incremental = draw(0);
        EXPECT_EQ(tmapGroupedCellsWorkedOut(), 5);  // the cell, its right neighbour, three below
        tmapReleaseDrawScratch();
        EXPECT_EQ(draw(0), incremental);
        EXPECT_EQ(tmapGroupedCellsWorkedOut(), windowCells);
    }
    // A moved window changes every cell's corners.
    draw(1);
    EXPECT_EQ(tmapGroupedCellsWorkedOut(), windowCells - m.height);
}

TEST_F(GroupedDrawing, WithoutScratchMemoryTheCellOrderDraws) {
    const Map map = stackedMap();
    ASSERT_EQ(load(map), 0);
    gldouble::reset();
    tmapDrawBlocks(0, 0, 9, 7, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    const Strings cellOrder = gldouble::trace();
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    tmapAllocationCount = 0;
    tmapDrawBlocks(0, 0, 9, 7, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    const long allocations = tmapAllocationCount;
    EXPECT_GT(allocations, 0);
    for (long n = 1; n <= allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        ASSERT_EQ(load(map), 0);  // frees the scratch memory
        gldouble::reset();
        tmapAllocationCount = 0;
        tmapFailAllocationAt = n;
        tmapDrawBlocks(0, 0, 9, 7, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
        tmapFailAllocationAt = 0;
        EXPECT_EQ(gldouble::trace(), cellOrder);
    }
    // Memory kept from an earlier call is reused: no allocation per frame.
    gldouble::reset();
    tmapDrawBlocks(0, 0, 9, 7, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    tmapAllocationCount = 0;
    tmapDrawBlocks(0, 0, 9, 7, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(tmapAllocationCount, 0);
}

} // namespace
