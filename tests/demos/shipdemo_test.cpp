// The ship demo scene: scroll start and stop, ship steps and clamps, held
// keys, and what a frame draws for a given scroll position.
#include "demo_test_support.h"
#include "gldouble.h"
#include "shell.h"
#include "shipdemo.h"
#include <tilvogl/tilvogl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class ShipDemoTest : public ::testing::Test {
protected:
    // A map of 16-pixel tiles, 22 x 200 cells: scrolling starts at 2200.
    void SetUp() override
    {
        gldouble::reset();
        enterScratchFolder();
        TestMapShape shape;
        shape.width = 22;
        shape.height = 200;
        shape.layerMask = 0x03;
        shape.rowNumberedBlocks = true;
        writeTestMap("VORLA.FMP", shape);
        clock = 100000;
        testTickCount = clock;
        timingMode = 0;
        doubleBuffered = 1;
        keyIHeld = keyJHeld = keyKHeld = keyLHeld = 0;
        initScene();
    }
    void TearDown() override
    {
        tmapRelease();
        leaveScratchFolder();
    }
    // One frame 10 ms after the last one: exactly one logic tick once the
    // first frame has run.
    void nextFrame()
    {
        testTickCount = clock;
        display();
        clock += 10;
    }
    void hold(unsigned char key, int frames)
    {
        gldouble::setRecording(false);
        keyboard(key, 0, 0);
        for (int i = 0; i < frames; ++i)
            nextFrame();
        keyboardUp(key, 0, 0);
        gldouble::setRecording(true);
    }
    uint32_t clock = 0;
};

// Texture names bound and the first vertex of each layer window drawn in
// the last frame, split at the ship's glBegin(GL_TRIANGLES).
struct LayerDraw {
    double firstTexture = -1;
    bool haveVertex = false;
    double firstX = 0, firstY = 0, z = 0;
    int quads = 0;
};
std::vector<LayerDraw> layerDraws()
{
    std::vector<LayerDraw> draws;
    bool inLayer = false;
    for (const auto &call : gldouble::calls()) {
        if (call.name == "glBindTexture") {
            if (!inLayer) {
                draws.emplace_back();
                draws.back().firstTexture = call.arg(1);
                inLayer = true;
            }
            draws.back().quads += 1;
        } else if (call.name == "glVertex3f" && inLayer && !draws.back().haveVertex) {
            draws.back().haveVertex = true;
            draws.back().firstX = call.arg(0);
            draws.back().firstY = call.arg(1);
            draws.back().z = call.arg(2);
        } else if (call.name == "glColor4f" || call.name == "glPushMatrix" ||
                   call.name == "glPopMatrix") {
            inLayer = false;
        }
    }
    return draws;
}

TEST_F(ShipDemoTest, StartUpPlacesScrollAndShipAndRegistersKeyUp)
{
    EXPECT_EQ(scrollPos, 2200);
    EXPECT_FLOAT_EQ(shipX, 5.0f);
    EXPECT_FLOAT_EQ(shipY, 4.0f);
    EXPECT_FLOAT_EQ(angleX, -10.0f);
    EXPECT_FLOAT_EQ(angleY, 180.0f);
    EXPECT_FLOAT_EQ(angleZ, 0.0f);
    auto clear = gldouble::trace({"glDepthRange", "glFogf", "glFogfv"});
    EXPECT_EQ(clear[0], "glFogf(GL_FOG_DENSITY,0.1)");
    EXPECT_EQ(clear[1], "glFogfv(GL_FOG_COLOR,{0.1,0.04,0,0})");
    EXPECT_EQ(clear.back(), "glDepthRange(0,1)");

    gldouble::reset();
    char name[] = "shipdemo";
    char *argv[] = {name, nullptr};
    int argc = 1;
    startProgram(&argc, argv);
    EXPECT_EQ(gldouble::glut().keyboardUp, &keyboardUp);
    // Key-up comes between the keyboard and the idle handler.
    EXPECT_EQ(gldouble::trace({"glutReshapeFunc", "glutKeyboardFunc", "glutKeyboardUpFunc",
                               "glutIdleFunc", "glutDisplayFunc"}),
              std::vector<std::string>({"glutReshapeFunc(fn)", "glutKeyboardFunc(fn)",
                                        "glutKeyboardUpFunc(fn)", "glutIdleFunc(fn)",
                                        "glutDisplayFunc(fn)"}));
    auto titles = gldouble::callsNamed("glutCreateWindow");
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0].text, "TilvoGL: Vorlane, i,j,k,l = move ship, ESC=exit");
}

TEST_F(ShipDemoTest, ScrollFallsOnePixelPerTickAndStopsAtZero)
{
    nextFrame();
    EXPECT_EQ(scrollPos, 2199);
    testTickCount = clock + 240;  // 240 ms after lastTick: 25 ticks
    display();
    EXPECT_EQ(scrollPos, 2174);
    testTickCount += 60000;  // a frame runs 25 ticks at most, however late
    display();
    EXPECT_EQ(scrollPos, 2149);
    gldouble::setRecording(false);
    for (int frame = 0; frame < 107; ++frame) {  // 20 ticks each
        testTickCount += 200;
        display();
    }
    EXPECT_EQ(scrollPos, 9);
    for (int frame = 0; frame < 9; ++frame) {
        testTickCount += 10;
        display();
    }
    EXPECT_EQ(scrollPos, 0);
    testTickCount += 1000;
    display();
    EXPECT_EQ(scrollPos, 0);
}

TEST_F(ShipDemoTest, ShortMapStartsWithItsFirstRowsInView)
{
    tmapRelease();
    TestMapShape shape;
    shape.width = 22;
    shape.height = 40;  // 640 pixels, less than the 1000 a full run needs
    writeTestMap("VORLA.FMP", shape);
    initScene();
    EXPECT_EQ(scrollPos, 0);
    gldouble::reset();
    nextFrame();
    EXPECT_EQ(scrollPos, 0);
    // Both windows are clipped to the 40 rows of the map.
    auto draws = layerDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].quads, 22 * 40);
    EXPECT_EQ(draws[1].quads, 22 * 40);
}

TEST_F(ShipDemoTest, ShipStepsStopJustPastTheirBounds)
{
    nextFrame();  // the first frame's tick, nothing held
    hold('j', 50);
    EXPECT_GT(shipX, 0.0f);
    EXPECT_NEAR(shipX, 2.5e-6, 1e-6);
    // Steps of the double 0.1, each result rounded to single precision;
    // steps of 0.1f would leave 2.5182962e-6 here.
    EXPECT_EQ(shipX, 2.5197864e-6f);
    hold('j', 1);
    EXPECT_NEAR(shipX, -0.1, 1e-5);
    hold('j', 5);
    EXPECT_NEAR(shipX, -0.1, 1e-5);

    shipX = 5.0f;
    hold('l', 60);
    EXPECT_NEAR(shipX, 10.000005, 1e-6);
    shipY = 4.0f;
    hold('i', 60);
    EXPECT_NEAR(shipY, -0.1, 1e-5);
    shipY = 4.0f;
    hold('k', 41);
    EXPECT_LT(shipY, 10.0f);
    hold('k', 19);
    EXPECT_NEAR(shipY, 10.000004, 1e-6);

    // Counting the steps exactly: i stops after 41, k after 60.
    shipY = 4.0f;
    keyIHeld = 1;
    int steps = 0;
    for (float before = shipY; (updateShip(), shipY != before); before = shipY)
        ++steps;
    keyIHeld = 0;
    EXPECT_EQ(steps, 41);
    shipY = 4.0f;
    keyKHeld = 1;
    steps = 0;
    for (float before = shipY; (updateShip(), shipY != before); before = shipY)
        ++steps;
    keyKHeld = 0;
    EXPECT_EQ(steps, 60);
}

TEST_F(ShipDemoTest, OppositeKeysStepInTheOrderJLIK)
{
    // Both keys of an axis held at its bounds: j (or i) steps first, then
    // l (or k) tests its bound against the new value.
    keyJHeld = keyLHeld = keyIHeld = keyKHeld = 1;
    shipX = 0.0f;
    shipY = 0.0f;
    updateShip();  // j and i refuse at 0, l and k step
    EXPECT_EQ(shipX, float(0.0 + 0.1));
    EXPECT_EQ(shipY, float(0.0 + 0.1));
    shipX = 10.0f;
    shipY = 10.0f;
    updateShip();  // j and i step down, so l and k may step up again
    EXPECT_EQ(shipX, float(float(10.0 - 0.1) + 0.1));
    EXPECT_EQ(shipY, float(float(10.0 - 0.1) + 0.1));
    keyJHeld = keyLHeld = keyIHeld = keyKHeld = 0;
}

TEST_F(ShipDemoTest, HeldKeysFollowKeyDownAndKeyUpInLowerCaseOnly)
{
    for (unsigned char key : {'I', 'J', 'K', 'L'})
        keyboard(key, 0, 0);
    EXPECT_EQ(keyIHeld + keyJHeld + keyKHeld + keyLHeld, 0);
    keyboard('i', 0, 0);
    keyboard('i', 0, 0);  // a repeated key-down keeps the flag
    keyboard('j', 0, 0);
    keyboard('k', 0, 0);
    keyboard('l', 0, 0);
    EXPECT_EQ(keyIHeld + keyJHeld + keyKHeld + keyLHeld, 4);
    keyboardUp('I', 0, 0);
    keyboardUp('q', 0, 0);
    EXPECT_EQ(keyIHeld, 1);
    keyboardUp('i', 0, 0);
    keyboardUp('k', 0, 0);
    EXPECT_EQ(keyIHeld + keyKHeld, 0);

    // j and l together: both steps run and the banks cancel in sum.
    float x = shipX;
    nextFrame();
    EXPECT_NEAR(shipX, x, 1e-6);
    auto banks = gldouble::trace({"glRotatef"});
    EXPECT_NE(std::find(banks.begin(), banks.end(), "glRotatef(20,0,1,0)"), banks.end());
    EXPECT_NE(std::find(banks.begin(), banks.end(), "glRotatef(-20,0,1,0)"), banks.end());

    // Releasing j while l is held: banked -20 only, moving right.
    keyboardUp('j', 0, 0);
    gldouble::reset();
    nextFrame();
    EXPECT_GT(shipX, x);
    banks = gldouble::trace({"glRotatef"});
    EXPECT_EQ(std::find(banks.begin(), banks.end(), "glRotatef(20,0,1,0)"), banks.end());
    EXPECT_NE(std::find(banks.begin(), banks.end(), "glRotatef(-20,0,1,0)"), banks.end());
}

TEST_F(ShipDemoTest, SceneKeysTurnWithWrapsIncludingD)
{
    keyboard('q', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 0.0f);
    keyboard('a', 0, 0);
    keyboard('a', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 340.0f);
    angleZ = 350.0f;
    keyboard('e', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 360.0f);
    keyboard('e', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 10.0f);
    keyboard('d', 0, 0);  // d lowers angleZ here too, as in the spin scenes
    keyboard('d', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 350.0f);
    float before[3] = {angleX, angleY, angleZ};
    for (unsigned char key : {'Q', 'A', 'W', 'S', 'E', 'D', 'v'})
        keyboard(key, 0, 0);
    EXPECT_EQ(angleX, before[0]);
    EXPECT_EQ(angleY, before[1]);
    EXPECT_EQ(angleZ, before[2]);
}

TEST_F(ShipDemoTest, TimingModeOneStepMovesShipAnimationsAndScrollOnce)
{
    nextFrame();
    keyboard('t', 0, 0);
    keyboard('l', 0, 0);
    int animBefore = animationSteps();
    testTickCount = clock + 5000;
    display();
    EXPECT_NEAR(shipX, 5.1, 1e-6);
    EXPECT_EQ(scrollPos, 2198);
    EXPECT_EQ(animationSteps() - animBefore, 1);
    EXPECT_EQ(lastTick, int32_t(clock + 5000));
}

TEST_F(ShipDemoTest, LayerWindowsFollowTheScrollPosition)
{
    // Start: near rows from 137, far rows from 68 (of 200).
    nextFrame();  // scrollPos 2199 now: still rows 137 and 68
    gldouble::reset();
    scrollPos = 2200;
    testTickCount = clock - 10;  // no tick: the frame draws scrollPos as set
    display();
    auto draws = layerDraws();
    ASSERT_EQ(draws.size(), 2u) ;
    EXPECT_EQ(draws[0].firstTexture, 10 + 68);
    EXPECT_EQ(draws[1].firstTexture, 10 + 137);
    EXPECT_EQ(draws[0].quads, 22 * 50);
    EXPECT_EQ(draws[1].quads, 22 * 50);

    // scrollPos 33, TH 16: near cellY 2 at originY 7.5 + 1/32; far uses 16:
    // cellY 1 at 7.5. Sideways: -3.75 - shipX / 3 and -2 - shipX / 1.5.
    gldouble::reset();
    scrollPos = 33;
    display();
    draws = layerDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].firstTexture, 10 + 1);
    EXPECT_FLOAT_EQ(float(draws[0].firstY), 7.5f);
    EXPECT_FLOAT_EQ(float(draws[0].firstX), float(-3.75 - 5.0 / 3.0));
    EXPECT_EQ(draws[0].z, 0.0);
    EXPECT_EQ(draws[1].firstTexture, 10 + 2);
    EXPECT_FLOAT_EQ(float(draws[1].firstY), 7.53125f);
    EXPECT_FLOAT_EQ(float(draws[1].firstX), float(-2.0 - 5.0 / 1.5));
    EXPECT_EQ(draws[1].z, 2.0);

    // scrollPos 50: the far layer's sub-row part is (50 / 2) mod 16 = 9
    // pixels, not half of 50 mod 16; near: cellY 3, 2 pixels.
    gldouble::reset();
    scrollPos = 50;
    display();
    draws = layerDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].firstTexture, 10 + 1);
    EXPECT_FLOAT_EQ(float(draws[0].firstY), 7.5f + 9.0f / 32.0f);
    EXPECT_EQ(draws[1].firstTexture, 10 + 3);
    EXPECT_FLOAT_EQ(float(draws[1].firstY), 7.5f + 2.0f / 32.0f);
}

TEST_F(ShipDemoTest, FarWindowComesFromLayerZeroAndNearFromLayerOne)
{
    tmapRelease();
    TestMapShape shape;
    shape.width = 22;
    shape.height = 200;
    shape.layerMask = 0x03;
    shape.rowNumberedBlocks = true;
    shape.layerOneGraphicShift = 100;
    writeTestMap("VORLA.FMP", shape);
    initScene();
    gldouble::reset();
    scrollPos = 33;
    testTickCount = lastTick - 10;  // no tick
    display();
    auto draws = layerDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].firstTexture, 10 + 1);
    EXPECT_EQ(draws[1].firstTexture, 10 + 100 + 2);
}

TEST_F(ShipDemoTest, LayerWindowsAre22By50CellsOfHalfAUnitRunningDown)
{
    nextFrame();
    gldouble::reset();
    shipX = 3.0f;
    scrollPos = 40;  // far 20: 4 pixels; near: 8 pixels
    display();
    const auto &calls = gldouble::calls();
    size_t shipBegin = 0, shipEnd = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].str() == "glBegin(GL_TRIANGLES)")
            shipBegin = i;
        if (shipBegin && !shipEnd && calls[i].name == "glEnd")
            shipEnd = i;
    }
    ASSERT_GT(shipEnd, shipBegin);
    struct Window {
        VertexBounds bounds;
        float originX, originY;
    };
    Window far = {vertexBounds(0, shipBegin), float(-3.75 - 3.0 / 3.0), 7.5f + 4.0f / 32.0f};
    Window near = {vertexBounds(shipEnd, calls.size()), float(-2.0 - 3.0 / 1.5),
                   7.5f + 8.0f / 32.0f};
    for (const Window &window : {far, near}) {
        EXPECT_EQ(window.bounds.vertices, 4 * 22 * 50);
        EXPECT_FLOAT_EQ(window.bounds.minX, window.originX);
        EXPECT_FLOAT_EQ(window.bounds.maxX, window.originX + 11.0f);
        EXPECT_FLOAT_EQ(window.bounds.maxY, window.originY);
        EXPECT_FLOAT_EQ(window.bounds.minY, window.originY - 25.0f);
    }
}

TEST_F(ShipDemoTest, ShipIsDrawnFromItsTableUnderItsOwnMatrix)
{
    keyboard('q', 0, 0);  // angleX 0
    keyboard('j', 0, 0);
    nextFrame();
    gldouble::reset();
    nextFrame();
    std::vector<std::string> matrices = {
        "glLoadIdentity()",
        "gluLookAt(0,-8.4,-3.2,0,-6,0,0,1,0)",
        "glPushMatrix()",
        "glRotatef(0,1,0,0)",
        "glRotatef(180,0,1,0)",
        "glRotatef(0,0,0,1)",
        "glPushMatrix()",
        "glRotatef(180,1,0,0)",
        "glScalef(0.5,0.5,0.5)",
        "glTranslatef",
        "glRotatef(20,0,1,0)",
        "glPopMatrix()",
        "glPopMatrix()",
    };
    auto trace = gldouble::trace({"glLoadIdentity", "gluLookAt", "glPushMatrix", "glPopMatrix",
                                  "glRotatef", "glScalef", "glTranslatef"});
    ASSERT_EQ(trace.size(), matrices.size()) << gldouble::dump();
    trace[9] = "glTranslatef";
    EXPECT_EQ(trace, matrices);
    auto translate = gldouble::callsNamed("glTranslatef");
    ASSERT_EQ(translate.size(), 1u);
    EXPECT_LT(shipX, 5.0f);
    EXPECT_EQ(float(translate[0].arg(0)), float(shipX - 5.0));
    EXPECT_EQ(float(translate[0].arg(1)), float(shipY + 4.0));
    EXPECT_EQ(float(translate[0].arg(2)), -1.0f);

    // The three lists as triangles of the vertex table: white point, red
    // fins, yellow tail fading to transparent red at vertex 7.
    const float vertex[8][3] = {{0, -1, 0},       {-0.4f, 1, 0.2f}, {0.4f, 1, 0.2f},
                                {0, 1, -0.1f},    {-0.8f, 1.3f, 0.3f}, {0.8f, 1.3f, 0.3f},
                                {0, 1.3f, -0.2f}, {0, 3, 0}};
    const int triangles[3][9] = {{0, 1, 2, 0, 2, 3, 0, 3, 1},
                                 {0, 1, 4, 0, 2, 5, 0, 3, 6},
                                 {1, 2, 7, 2, 3, 7, 3, 1, 7}};
    std::vector<std::vector<float>> expected;
    auto colour = [&](float r, float g, float b, float a) { expected.push_back({r, g, b, a}); };
    auto point = [&](int n) { expected.push_back({vertex[n][0], vertex[n][1], vertex[n][2]}); };
    colour(1, 1, 1, 1);
    for (int n : triangles[0])
        point(n);
    colour(1, 0, 0, 1);
    for (int n : triangles[1])
        point(n);
    for (int n : triangles[2]) {
        if (n == 7)
            colour(1, 0, 0, 0);
        else
            colour(1, 1, 0, 1);
        point(n);
    }
    std::vector<std::vector<float>> drawn;
    bool inShip = false;
    for (const auto &call : gldouble::calls()) {
        if (call.str() == "glBegin(GL_TRIANGLES)")
            inShip = true;
        else if (inShip && call.name == "glEnd")
            break;
        else if (inShip && (call.name == "glColor4f" || call.name == "glVertex3f"))
            drawn.push_back(std::vector<float>(call.args.begin(), call.args.end()));
        else if (inShip)
            ADD_FAILURE() << "unexpected " << call.str() << " inside the ship";
    }
    EXPECT_EQ(drawn, expected);
    keyboardUp('j', 0, 0);
}


TEST_F(ShipDemoTest, FrameDrawsFarLayerShipThenBlendedNearLayer)
{
    gldouble::reset();
    nextFrame();
    auto state = gldouble::trace({"glClear", "gluLookAt", "glEnable", "glDisable", "glBlendFunc",
                                  "glBegin", "glColor4f", "glScalef", "glTranslatef", "glFinish"});
    // Drop the per-cell glBegin(GL_QUADS) of the layers.
    state.erase(std::remove(state.begin(), state.end(), "glBegin(GL_QUADS)"), state.end());
    std::vector<std::string> expected = {
        "glClear(GL_COLOR_BUFFER_BIT|GL_DEPTH_BUFFER_BIT)",
        "gluLookAt(0,-8.4,-3.2,0,-6,0,0,1,0)",
        "glEnable(GL_TEXTURE_2D)",
        "glDisable(GL_BLEND)",
        "glScalef(0.5,0.5,0.5)",
        "glTranslatef(0,8,-1)",
        "glDisable(GL_CULL_FACE)",  // culling was still on for the far layer
        "glDisable(GL_TEXTURE_2D)",
        "glEnable(GL_BLEND)",
        "glBlendFunc(GL_SRC_ALPHA,GL_ONE_MINUS_SRC_ALPHA)",
        "glBegin(GL_TRIANGLES)",
        "glColor4f(1,1,1,1)",
        "glColor4f(1,0,0,1)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,0,0,0)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,0,0,0)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,1,0,1)",
        "glColor4f(1,0,0,0)",
        "glEnable(GL_TEXTURE_2D)",
        "glEnable(GL_BLEND)",
        "glBlendFunc(GL_SRC_ALPHA,GL_ONE_MINUS_SRC_ALPHA)",
        "glColor4f(1,1,1,0.7)",
        "glFinish()",
    };
    EXPECT_EQ(state, expected);

    // The ship: 27 vertices in one triangle batch; vertex 7 is the tail.
    const auto &calls = gldouble::calls();
    auto begin = std::find_if(calls.begin(), calls.end(),
                              [](const gldouble::Call &c) { return c.str() == "glBegin(GL_TRIANGLES)"; });
    ASSERT_NE(begin, calls.end());
    int vertices = 0;
    for (auto it = begin; it != calls.end() && it->name != "glEnd"; ++it)
        vertices += it->name == "glVertex3f";
    EXPECT_EQ(vertices, 27);
}

}  // namespace
