// The viewer session that the window and the page both run, without either:
// opening maps (a broken file keeps the last good map and says why), the
// keys, dragging, and animation ticks that never burst after a pause.
#include <gtest/gtest.h>

#include <string>

#include "mapwriter.h"
#include "session.h"
#include "tilvogl/tilvogl.h"

using namespace fmapview;

namespace {

double testClock = 0;

// A map of width x height cells of 4 x 4 pixels, layers 0 and 1, whose
// cell (0, 0) shows animation 0: a loop over 1000 frames, one a tick, so
// its current frame counts the ticks stepped.
tmapwriter::Bytes testMap(int width, int height)
{
    tmapwriter::Map m;
    m.depth = 32;
    m.width = width;
    m.height = height;
    m.tileWidth = m.tileHeight = 4;
    for (int g = 0; g < 2; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < 16; ++p) tmapwriter::put32(pixels, 255, uint8_t(100 * g), 0, 0);
        m.graphics.push_back(pixels);
    }
    tmapwriter::Block first, second;
    second.graphic[0] = 1;
    m.blocks = {first, second};
    m.frames.assign(1000, 1);
    tmapwriter::Anim anim;
    anim.end = 1000;
    m.anims.push_back(anim);
    std::vector<int32_t> cells(size_t(width * height), 1);
    cells[0] = -1;
    m.layers[0] = cells;
    m.layers[1] = cells;
    return tmapwriter::buildImage(m);
}

bool decode(const unsigned char* bytes, size_t size)
{
    return tmapDecodeBuffer(bytes, size, TMAP_TEXTURES_NONE) == 0;
}

bool open(Session& session, const tmapwriter::Bytes& image, const std::string& name)
{
    return openMap(session, image.data(), image.size(), name, decode);
}

class SessionTest : public ::testing::Test {
protected:
    Session session;
    void SetUp() override
    {
        testClock = 0;
        resizeSession(session, 640, 480, 20);
    }
    void TearDown() override { tmapRelease(); }
};

} // namespace

double fmapview::sessionClock() { return testClock; }

TEST_F(SessionTest, ABrokenFileKeepsTheLastGoodMapAndSaysWhy)
{
    const tmapwriter::Bytes small = testMap(8, 6), large = testMap(40, 30), broken = {'F', 'O', 'R', 'M', 0, 0};
    EXPECT_FALSE(open(session, broken, "BROKEN.FMP"));
    EXPECT_FALSE(mapShown(session));
    EXPECT_EQ(titleText(session), "fmapview");
    EXPECT_EQ(infoLine(session, false, 0, 0, "").text, "cannot load BROKEN.FMP: not a readable map file (error 2)");

    ASSERT_TRUE(open(session, small, "A.FMP"));
    EXPECT_EQ(infoLine(session, false, 0, 0, "; more").kind, InfoKind::plain);
    EXPECT_EQ(titleText(session).rfind("fmapview: A.FMP - layer 0, zoom ", 0), 0u) << titleText(session);
    pressKey(session, '-');
    const double zoomed = session.flat.zoom;

    EXPECT_FALSE(open(session, broken, "A.FMP"));
    EXPECT_EQ(tmapWidth, 8) << "the last good map is current again";
    EXPECT_EQ(session.flat.zoom, zoomed) << "and its view stays";
    const InfoLine failure = infoLine(session, false, 0, 0, "");
    EXPECT_EQ(failure.kind, InfoKind::failure);
    EXPECT_NE(failure.text.find("(showing the last good map)"), std::string::npos) << failure.text;

    refuseMap(session, "HUGE.FMP", "too large");
    EXPECT_EQ(infoLine(session, false, 0, 0, "").text, "cannot load HUGE.FMP: too large  (showing the last good map)");

    // The same file at another size, and another file, are fitted afresh.
    ASSERT_TRUE(open(session, large, "A.FMP"));
    EXPECT_EQ(infoLine(session, false, 0, 0, "").kind, InfoKind::plain);
    EXPECT_DOUBLE_EQ(session.flat.zoom, fitZoom(session.flat));
    pressKey(session, '+');
    ASSERT_TRUE(open(session, large, "B.FMP"));
    EXPECT_DOUBLE_EQ(session.flat.zoom, fitZoom(session.flat));
}

TEST_F(SessionTest, KeysChangeWhatIsShown)
{
    ASSERT_TRUE(open(session, testMap(40, 30), "A.FMP"));
    const double fitted = session.flat.zoom;
    struct Step {
        unsigned char key;
        KeyEffect effect;
        const char* title; // the start of the title afterwards, or nullptr
        double zoom;       // the zoom afterwards, in fitted zooms
    };
    const Step steps[] = {
        {'+', KeyEffect::done, "fmapview: A.FMP - layer 0, zoom ", 1.25},
        {'+', KeyEffect::done, "fmapview: A.FMP - layer 0, zoom ", 1.25 * 1.25},
        {'-', KeyEffect::done, "fmapview: A.FMP - layer 0, zoom ", 1.25},
        {'g', KeyEffect::done, "fmapview: A.FMP - layer 0 + second graphics, zoom ", 1.25},
        {'1', KeyEffect::done, "fmapview: A.FMP - layer 1 + second graphics, zoom ", 1.25},
        {'a', KeyEffect::done, "fmapview: A.FMP - all layers + second graphics, zoom ", 1.25},
        {'3', KeyEffect::done, "fmapview: A.FMP - all layers + second graphics, zoom ", 1.25}, // only a remark
        {'0', KeyEffect::done, "fmapview: A.FMP - layer 0 + second graphics, zoom ", 1.25},
        {'b', KeyEffect::done, "fmapview: A.FMP - layer 0, 3D blocks, ", 1.25},
        {'b', KeyEffect::done, "fmapview: A.FMP - layer 0 + second graphics, zoom ", 1.25}, // back where it was
        {'f', KeyEffect::done, "fmapview: A.FMP - layer 0 + second graphics, zoom ", 1.0},
        {' ', KeyEffect::pauseChanged, nullptr, 0},
        {'h', KeyEffect::helpChanged, nullptr, 0},
        {'r', KeyEffect::reload, nullptr, 0},
        {'q', KeyEffect::quit, nullptr, 0},
        {27, KeyEffect::quit, nullptr, 0},
        {'Q', KeyEffect::unknown, nullptr, 0}, // letters in lower case only
        {'8', KeyEffect::unknown, nullptr, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string("key ") + char(step.key));
        EXPECT_EQ(pressKey(session, step.key), step.effect);
        if (step.title != nullptr) {
            EXPECT_EQ(titleText(session).rfind(step.title, 0), 0u) << titleText(session);
            EXPECT_DOUBLE_EQ(session.flat.zoom, step.zoom * fitted);
        }
    }
    EXPECT_TRUE(session.paused);
    EXPECT_TRUE(session.helpShown);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
    EXPECT_EQ(infoLine(session, false, 0, 0, "").text, "the map has no layer 3");
    testClock += noticeMilliseconds;
    EXPECT_EQ(infoLine(session, false, 0, 0, "; more").text.find("the map has no layer"), std::string::npos)
        << "the remark goes after a while";
}

TEST_F(SessionTest, ADragMovesThePictureWithThePointer)
{
    ASSERT_TRUE(open(session, testMap(40, 30), "A.FMP"));
    pressKey(session, '+');
    pressKey(session, '+');
    double mapX, mapY, afterX, afterY;
    screenToMap(session.flat, 100, 100, mapX, mapY);
    pressPointer(session, 100, 100);
    movePointer(session, 130, 110);
    movePointer(session, 150, 120);
    screenToMap(session.flat, 150, 120, afterX, afterY);
    EXPECT_NEAR(afterX, mapX, 1e-9);
    EXPECT_NEAR(afterY, mapY, 1e-9);
    releasePointer(session);
    movePointer(session, 300, 300);
    screenToMap(session.flat, 150, 120, afterX, afterY);
    EXPECT_NEAR(afterX, mapX, 1e-9) << "after the release the picture stays";
    EXPECT_TRUE(pointerInArea(session));
    leavePointer(session);
    EXPECT_FALSE(pointerInArea(session));
}

TEST_F(SessionTest, TicksStepInWholeTicksAndNeverBurst)
{
    ASSERT_TRUE(open(session, testMap(8, 6), "A.FMP"));
    // Frames at these times, the space key pressed before some of them.
    struct Moment {
        double now;
        bool space;
        int ticks;
    };
    const Moment moments[] = {
        {0, false, 0}, {9, false, 0}, {10, false, 1}, {19, false, 0}, {45, false, 3},
        {50, true, 0},     // paused
        {900, true, 0},    // resumed with no frame between: none owed for the pause
        {925, false, 2},
        {930, true, 0},    // paused
        {1500, false, 0},  // no ticks however long
        {1600, true, 0},   // resumed
        {1610, false, 1},
        {5000, false, 0},  // a stall: dropped, not caught up
        {5010, false, 1},
    };
    session.lastTick = 0;
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.now);
        testClock = moment.now;
        if (moment.space) {
            EXPECT_EQ(pressKey(session, ' '), KeyEffect::pauseChanged);
        }
        const int before = tmapAnims[0].current;
        stepTicks(session, moment.now);
        EXPECT_EQ(tmapAnims[0].current - before, moment.ticks);
    }
}
