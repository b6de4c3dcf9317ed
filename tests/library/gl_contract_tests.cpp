// What the header promises about GL, checked on the offscreen context
// (Mesa's offscreen renderer; on Windows a WGL context): which contexts a
// load refuses, the lifetime of generated textures, which way quads face,
// how graphics' rows land on the screen, and the pixel-exact view.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "offscreen.h"
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
        tmapoffscreen::closeContext();
    }

    void makeCurrent(tmapoffscreen::Profile profile, int w, int h) {
        width = w;
        height = h;
        ASSERT_TRUE(tmapoffscreen::openContext(w, h, profile));
    }
    void compatibility(int w = 8, int h = 8) { makeCurrent(tmapoffscreen::Profile::compatibility, w, h); }
    // A new colour buffer of another size for the same context.
    void resize(int w, int h) {
        width = w;
        height = h;
        ASSERT_TRUE(tmapoffscreen::resizeContext(w, h));
    }

    // The colour of pixel (x, y) counted from the top left.
    Rgb pixel(int x, int y) {
        glFinish();
        std::vector<unsigned char> row(size_t(width) * 4);
        glReadPixels(0, height - 1 - y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
        return {row[size_t(x) * 4], row[size_t(x) * 4 + 1], row[size_t(x) * 4 + 2]};
    }

    // Every pixel, top row first.
    std::vector<Rgb> frame() {
        glFinish();
        std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<Rgb> out;
        for (int y = height - 1; y >= 0; --y)
            for (int x = 0; x < width; ++x) {
                const unsigned char* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
                out.push_back({p[0], p[1], p[2]});
            }
        return out;
    }

    int width = 0, height = 0;
};

// ---- Loading: the contexts that cannot take textures, generated names ----

TEST_F(Offscreen, LoadsThatMakeTexturesNeedAUsableContext) {
    const Map map = pixelMap(2, 2, 2);
    // No context current at all.
    tmapoffscreen::closeContext();
    for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
        EXPECT_EQ(decode(map, firstTexture), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
        EXPECT_STREQ(tmapErrorString(tmapError), "no usable OpenGL context");
        EXPECT_EQ(tmapBlocks, nullptr);
    }
    EXPECT_EQ(decode(map, TMAP_TEXTURES_NONE), 0);

    // A 3.3 core profile: it would refuse names that glGenTextures did not
    // make, and glTexEnvf whatever the names.
    makeCurrent(tmapoffscreen::Profile::core, 4, 4);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
        EXPECT_EQ(decode(map, firstTexture), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "firstTexture " << firstTexture;
    }
    EXPECT_EQ(decode(map, TMAP_TEXTURES_NONE), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A compatibility context takes them.
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

// ---- Facing and texture rows ----

class Contract : public Offscreen {
protected:
    void SetUp() override {
        compatibility(8, 8);
        glViewport(0, 0, 8, 8);
        glEnable(GL_TEXTURE_2D);
        glColor4f(1, 1, 1, 1);
    }
    void clear() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void projection(double left, double right, double bottom, double top) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(left, right, bottom, top, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
};

const Rgb black = {0, 0, 0};

// Texel (column, row) of the one 8 x 8 graphic of pixelMap(1, 1, 8).
Rgb texel(int column, int row) { return {column, row, 10}; }

TEST_F(Contract, FlatQuadsFaceAsTheTableSaysAndShowRowsFromTheirStartingEdge) {
    tmapTextureFilter = GL_NEAREST;
    ASSERT_EQ(decode(pixelMap(1, 1, 8), TMAP_TEXTURES_GENERATED), 0) << tmapErrorString(tmapError);
    tmapTextureFilter = GL_LINEAR;
    struct Case {
        float cellWidth, cellHeight;
        bool yDown;          // the projection turns y down
        bool counterClockwise; // the table's answer, on the screen
    };
    const Case cases[] = {
        {8, 8, false, true},   {8, -8, false, false}, {-8, 8, false, false}, {-8, -8, false, true},
        {8, 8, true, false},   {8, -8, true, true},   {-8, 8, true, true},   {-8, -8, true, false},
    };
    for (const Case& c : cases) {
        const std::string what = "cellWidth " + std::to_string(int(c.cellWidth)) + ", cellHeight " +
                                  std::to_string(int(c.cellHeight)) + (c.yDown ? ", y down" : ", y up");
        // The quad covers the view exactly, its first corner in one of the
        // view's corners.
        const float originX = c.cellWidth > 0 ? 0 : 8, originY = c.cellHeight > 0 ? 0 : 8;
        for (GLenum culled : {GL_BACK, GL_FRONT}) {
            clear();
            c.yDown ? projection(0, 8, 8, 0) : projection(0, 8, 0, 8);
            glEnable(GL_CULL_FACE);
            glCullFace(culled);
            tmapDrawLayer(0, 0, 1, 1, originX, originY, 0, c.cellWidth, c.cellHeight);
            glDisable(GL_CULL_FACE);
            const bool shown = c.counterClockwise == (culled == GL_BACK);
            EXPECT_EQ(pixel(4, 4) != black, shown) << what << ", culling " << (culled == GL_BACK ? "back" : "front");
        }
        // Texel (0, 0) lies at the first corner, the first stored row along
        // the edge at originY.
        clear();
        tmapDrawLayer(0, 0, 1, 1, originX, originY, 0, c.cellWidth, c.cellHeight);
        const int firstColumn = (originX == 0) ? 0 : 7;
        const bool originOnTop = (originY == 0) == c.yDown;
        const int firstRow = originOnTop ? 0 : 7;
        EXPECT_EQ(pixel(firstColumn, firstRow), texel(0, 0)) << what;
        EXPECT_EQ(pixel(7 - firstColumn, firstRow), texel(7, 0)) << what;
        EXPECT_EQ(pixel(firstColumn, 7 - firstRow), texel(0, 7)) << what;
    }
}

TEST_F(Contract, BlockColumnsAreClosedSolidsForTheDocumentedCulling) {
    // One column: a cube whose four sides show graphics 1 to 4, closed by a
    // cap showing graphic 5; each graphic one colour.
    Map m;
    m.depth = 24;
    m.width = m.height = 1;
    m.tileWidth = m.tileHeight = 2;
    const Rgb colours[] = {{9, 9, 9}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}};
    for (const Rgb& c : colours) {
        Bytes graphic;
        for (int i = 0; i < 4; ++i) tmapwriter::put24(graphic, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
        m.graphics.push_back(graphic);
    }
    tmapwriter::Block cube, cap;
    for (int side = 0; side < 4; ++side) cube.graphic[side] = 1 + side;
    cube.flags = TMAP_FLAG_STACKED;
    cap.graphic[0] = 5;
    m.blocks = {cube, cap};
    m.layers[0] = std::vector<int32_t>{0};
    ASSERT_EQ(decode(m, TMAP_TEXTURES_GENERATED), 0) << tmapErrorString(tmapError);
    auto colourOf = [&](int graphic) { return colours[graphic]; };

    struct View {
        const char* what;
        float turnY, turnX; // glRotatef angles about y, then x
        int nearGraphicWhenHeightPositive, nearGraphicWhenHeightNegative;
    };
    const View views[] = {
        {"from above", 0, 0, 5, 5},
        {"from -y", 0, -90, 2, 4},   // the face at y when y + cellHeight lies beyond it
        {"from -x", 90, -90, 1, 1},
    };
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    for (const View& v : views) {
        for (float cellHeight : {1.0f, -1.0f}) {
            for (bool documented : {true, false}) {
                const std::string what = std::string(v.what) + ", cellHeight " + std::to_string(int(cellHeight)) +
                                         (documented ? ", documented culling" : ", the other culling");
                clear();
                projection(-1, 1, -1, 1);
                glRotatef(v.turnY, 0, 1, 0);
                glRotatef(v.turnX, 1, 0, 0);
                glTranslatef(-0.5f, -cellHeight / 2, -0.5f);
                glEnable(GL_CULL_FACE);
                const GLenum documentedCull = cellHeight > 0 ? GL_BACK : GL_FRONT;
                glCullFace(documented ? documentedCull : (documentedCull == GL_BACK ? GL_FRONT : GL_BACK));
                tmapDrawBlocks(0, 0, 1, 1, 0, 0, 0, 1, cellHeight);
                glDisable(GL_CULL_FACE);
                const Rgb nearFace = colourOf(cellHeight > 0 ? v.nearGraphicWhenHeightPositive
                                                             : v.nearGraphicWhenHeightNegative);
                if (documented)
                    EXPECT_EQ(pixel(4, 4), nearFace) << what;
                else
                    EXPECT_NE(pixel(4, 4), nearFace) << what;
            }
        }
    }
}

// ---- The pixel-exact view ----

TEST_F(Contract, ViewShowsEveryMapPixelOnItsOwnScreenPixel) {
    const int tile = 3, columns = 5, rows = 4;
    const Map map = pixelMap(columns, rows, tile);
    const Rgb background = {200, 200, 200};
    struct Case {
        int64_t pixelX, pixelY;
        int width, height, scale;
    };
    const Case cases[] = {
        {0, 0, 15, 12, 1},  // the whole map
        {4, 5, 8, 6, 1},    // scrolled, cells cut on every side
        {-4, -2, 10, 9, 1}, // partly above and left of the map
        {10, 8, 9, 7, 1},   // partly past its right and bottom edges
        {1, 2, 6, 5, 3},    // each texel three by three pixels
        {100, 0, 4, 4, 1},  // wholly beside it
    };
    for (unsigned filter : {unsigned(GL_NEAREST), unsigned(GL_LINEAR)}) {
        tmapTextureFilter = filter;
        ASSERT_EQ(decode(map, TMAP_TEXTURES_GENERATED), 0) << tmapErrorString(tmapError);
        tmapTextureFilter = GL_LINEAR;
        ASSERT_EQ(tmapWidthInPixels(), columns * tile);
        ASSERT_EQ(tmapHeightInPixels(), rows * tile);
        for (int order : {TMAP_DRAW_CELL_ORDER, TMAP_DRAW_BY_TEXTURE}) {
            tmapDrawOrder = order;
            for (const Case& c : cases) {
                if (filter == GL_LINEAR && c.scale > 1)
                    continue; // blends neighbouring texels, as asked
                const std::string what = "view " + std::to_string(c.pixelX) + "," + std::to_string(c.pixelY) +
                                         " " + std::to_string(c.width) + "x" + std::to_string(c.height) +
                                         " scale " + std::to_string(c.scale) +
                                         (filter == GL_NEAREST ? " nearest" : " linear") + " order " +
                                         std::to_string(order);
                resize(c.width * c.scale, c.height * c.scale);
                glViewport(0, 0, width, height);
                glClearColor(200 / 255.0f, 200 / 255.0f, 200 / 255.0f, 1);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                // State the view must neither depend on nor change.
                glMatrixMode(GL_PROJECTION);
                glLoadIdentity();
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
                glTranslatef(5, 0, 0);
                glDisable(GL_TEXTURE_2D);
                glEnable(GL_DEPTH_TEST);
                glEnable(GL_CULL_FACE);
                glCullFace(GL_FRONT_AND_BACK);

                tmapDrawView(c.pixelX, c.pixelY, c.width, c.height);

                const std::vector<Rgb> shown = frame();
                int wrong = 0;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const int64_t mapX = c.pixelX + x / c.scale, mapY = c.pixelY + y / c.scale;
                        Rgb expected = background;
                        if (mapX >= 0 && mapY >= 0 && mapX < columns * tile && mapY < rows * tile)
                            expected = {int(mapX), int(mapY), int(10 + mapX / tile + mapY / tile * columns)};
                        const Rgb& got = shown[size_t(y) * size_t(width) + size_t(x)];
                        if (got != expected && ++wrong <= 3)
                            ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << got[0] << ","
                                          << got[1] << "," << got[2] << ", not " << expected[0]
                                          << "," << expected[1] << "," << expected[2];
                    }
                EXPECT_EQ(wrong, 0) << what;

                GLint mode = 0;
                glGetIntegerv(GL_MATRIX_MODE, &mode);
                GLfloat modelview[16];
                glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
                EXPECT_EQ(mode, GL_MODELVIEW) << what;
                EXPECT_EQ(modelview[12], 5.0f) << what;
                EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << what;
                EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_CULL_FACE)) << what;
                EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << what;
                glDisable(GL_CULL_FACE);
            }
        }
        tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    }
}

} // namespace
