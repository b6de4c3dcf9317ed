// The lit spin scene: lighting and display list at start-up, one list call
// per frame, the spin per tick and per timingMode-1 frame, and its keys.
#include "demo_test_support.h"
#include "gldouble.h"
#include "shell.h"
#include "spinlit.h"
#include <tilvogl/tilvogl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class SpinLitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gldouble::reset();
        enterScratchFolder();
        writeTestMap("TEST2A.FMP");
        testTickCount = 100000;
        timingMode = 0;
        doubleBuffered = 1;
        spinSpeed = 0.2f;
        initScene();
    }
    void TearDown() override
    {
        tmapRelease();
        leaveScratchFolder();
    }
    void frameAt(uint32_t clock)
    {
        testTickCount = clock;
        display();
    }
};

TEST_F(SpinLitTest, StartUpLightsTheSceneAndCompilesTheBlocksIntoListOne)
{
    EXPECT_FLOAT_EQ(angleX, 0.0f);
    EXPECT_FLOAT_EQ(angleY, 180.0f);
    EXPECT_FLOAT_EQ(angleZ, -90.0f);

    auto trace = gldouble::trace();
    std::vector<std::string> lighting = {
        "glLightfv(GL_LIGHT0,GL_AMBIENT,{0.7,0.7,0.7,1})",
        "glLightfv(GL_LIGHT0,GL_DIFFUSE,{1,1,1,1})",
        "glLightfv(GL_LIGHT0,GL_POSITION,{-15,-15,-8,0})",
        "glLightModelfv(GL_LIGHT_MODEL_AMBIENT,{0.5,0.5,0.5,1})",
        "glLightModeli(GL_LIGHT_MODEL_TWO_SIDE,1)",
        "glEnable(GL_LIGHTING)",
        "glEnable(GL_LIGHT0)",
        "glEnable(GL_DEPTH_TEST)",  // the common block follows
    };
    ASSERT_GE(trace.size(), lighting.size());
    EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + lighting.size()), lighting)
        << gldouble::dump();
    EXPECT_EQ(gldouble::trace({"glFogf"})[0], "glFogf(GL_FOG_DENSITY,0.15)");

    // The list is compiled after the textures are defined, holds texturing
    // on and the whole block drawing, and is closed once.
    auto newList = std::find(trace.begin(), trace.end(), "glNewList(1,GL_COMPILE)");
    ASSERT_NE(newList, trace.end()) << gldouble::dump();
    auto endList = std::find(newList, trace.end(), "glEndList()");
    ASSERT_NE(endList, trace.end());
    EXPECT_EQ(*(newList + 1), "glEnable(GL_TEXTURE_2D)");
    EXPECT_EQ(std::find(trace.begin(), newList, "glBegin(GL_QUADS)"), newList);
    EXPECT_GT(std::count(newList, endList, "glBegin(GL_QUADS)"), 2500);
    EXPECT_EQ(gldouble::count("glNewList"), 1u);
    EXPECT_EQ(gldouble::count("glEndList"), 1u);

    // Layer 1, 50 x 50 cells of 0.5 from (-12.5, 12.5) running toward -y.
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[1]);
    auto bounds = vertexBounds(newList - trace.begin(), endList - trace.begin());
    EXPECT_EQ(bounds.minX, -12.5f);
    EXPECT_EQ(bounds.maxX, 12.5f);
    EXPECT_EQ(bounds.minY, -12.5f);
    EXPECT_EQ(bounds.maxY, 12.5f);
    // Cell (0, 0) comes first, in the corner of smallest x and largest y.
    const auto &calls = gldouble::calls();
    size_t firstVertex = size_t(newList - trace.begin());
    while (firstVertex < calls.size() && calls[firstVertex].name != "glVertex3f")
        ++firstVertex;
    auto corner = vertexBounds(firstVertex, firstVertex + 1);
    ASSERT_EQ(corner.vertices, 1);
    EXPECT_EQ(corner.minX, -12.5f);
    EXPECT_EQ(corner.maxY, 12.5f);

    // Without layer 1 the list holds the layer that loading made current.
    tmapRelease();
    TestMapShape shape;
    shape.layerMask = 0x05;
    writeTestMap("TEST2A.FMP", shape);
    initScene();
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
}

// Each vertex compiled into list 1 with its texture, normal and texture
// coordinates, sorted: the same multiset whatever the draw order. Counts the
// binds in the list.
std::vector<std::string> listVertices(size_t *binds)
{
    std::vector<std::string> vertices;
    auto add = [&](double texture, const float *normal, const float *texCoord, const float *position) {
        char text[200];
        snprintf(text, sizeof text, "%g|%.9g,%.9g,%.9g|%.9g,%.9g|%.9g,%.9g,%.9g", texture, normal[0],
                 normal[1], normal[2], texCoord[0], texCoord[1], position[0], position[1], position[2]);
        vertices.push_back(text);
    };
    double texture = 0;
    float normal[3] = {}, texCoord[2] = {};
    *binds = 0;
    bool inList = false;
    for (const auto &call : gldouble::calls()) {
        const std::string &name = call.name;
        if (name == "glNewList" || name == "glEndList") {
            inList = name == "glNewList";
        } else if (!inList) {
            continue;
        } else if (name == "glBindTexture") {
            texture = call.arg(1);
            ++*binds;
        } else if (name == "glNormal3f") {
            for (int i = 0; i < 3; ++i)
                normal[i] = float(call.arg(i));
        } else if (name == "glTexCoord2f") {
            for (int i = 0; i < 2; ++i)
                texCoord[i] = float(call.arg(i));
        } else if (name == "glVertex3f") {
            float position[3] = {float(call.arg(0)), float(call.arg(1)), float(call.arg(2))};
            add(texture, normal, texCoord, position);
        } else if (name == "glDrawArrays" || name == "glMultiDrawArrays") {
            // s, t, nx, ny, nz, x, y, z per vertex
            for (size_t v = 0; v + 8 <= call.floats.size(); v += 8)
                add(texture, &call.floats[v + 2], &call.floats[v], &call.floats[v + 5]);
        }
    }
    std::sort(vertices.begin(), vertices.end());
    return vertices;
}

TEST_F(SpinLitTest, BatchedOptionIsTheShellsOwnAndGroupsTheListByTexture)
{
    TestMapShape shape;
    shape.rowNumberedBlocks = true;  // a texture per row
    writeTestMap("TEST2A.FMP", shape);
    std::vector<std::string> vertices[2];
    size_t binds[2];
    for (int batched : {1, 0}) {
        gldouble::reset();
        tmapRelease();
        char name[] = "spinlit", display[] = "-display", where[] = ":7", option[] = "--batched";
        char *withOption[] = {name, display, option, where, nullptr};
        char *without[] = {name, display, where, nullptr};
        char **argv = batched ? withOption : without;
        int argc = batched ? 4 : 3;
        startProgram(&argc, argv);

        // GLUT sees its own options only.
        EXPECT_EQ(argc, 3);
        EXPECT_STREQ(argv[2], ":7");
        EXPECT_EQ(argv[3], nullptr);
        ASSERT_EQ(gldouble::count("glutInit"), 1u);
        EXPECT_EQ(gldouble::callsNamed("glutInit")[0].arg(0), 3.0);
        EXPECT_EQ(tmapDrawOrder, batched ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER);
        EXPECT_EQ(tmapDrawFaces, batched ? TMAP_FACES_VISIBLE : TMAP_FACES_ALL);
        vertices[batched] = listVertices(&binds[batched]);
    }
    // The same quads (the list, replayed under every turn, keeps every face
    // though --batched leaves out faces elsewhere), with a texture per row
    // bound about once instead of once per quad.
    EXPECT_GE(vertices[0].size(), 2500u * 4u);
    EXPECT_TRUE(vertices[1] == vertices[0]);
    EXPECT_GE(binds[0], 2500u);
    EXPECT_LT(binds[1] * 10, binds[0]);
}

TEST_F(SpinLitTest, EachFrameReplaysTheListUnderTheRotatedLight)
{
    gldouble::reset();
    frameAt(100000);
    frameAt(100500);  // animations step, the picture is the compiled one
    EXPECT_EQ(gldouble::count("glCallList"), 2u);
    EXPECT_EQ(gldouble::count("glNewList"), 0u);
    EXPECT_EQ(gldouble::count("glBegin"), 0u);
    EXPECT_EQ(gldouble::count("glBindTexture"), 0u);

    gldouble::reset();
    frameAt(100500);
    auto trace = gldouble::trace({"glLoadIdentity", "gluLookAt", "glPushMatrix", "glRotatef",
                                  "glLightfv", "glDisable", "glCallList", "glPopMatrix"});
    std::vector<std::string> expected = {
        "glLoadIdentity()",
        "gluLookAt(0,-9.4,-4.2,0,-6,0,0,1,0)",
        "glPushMatrix()",
        "glRotatef(0,1,0,0)",
        "glRotatef(180,0,1,0)",
        "glRotatef(angleZ,0,0,1)",
        "glLightfv(GL_LIGHT0,GL_POSITION,{-15,-15,-8,0})",
        "glDisable(GL_BLEND)",
        "glCallList(1)",
        "glPopMatrix()",
    };
    // angleZ after 1 + 25 ticks of 0.2 from -90 (a frame runs at most 25),
    // as float sums.
    float spun = -90.0f;
    for (int i = 0; i < 26; ++i)
        spun += 0.2f;
    ASSERT_EQ(trace.size(), expected.size()) << gldouble::dump();
    EXPECT_FLOAT_EQ(float(gldouble::callsNamed("glRotatef")[2].arg(0)), spun);
    trace[5] = "glRotatef(angleZ,0,0,1)";
    EXPECT_EQ(trace, expected);
}

TEST_F(SpinLitTest, SpinAddsSpeedPerTickAndWrapsAtThreeSixty)
{
    frameAt(100000);
    EXPECT_FLOAT_EQ(angleZ, -89.8f);
    frameAt(100250);  // 240 ms after lastTick: 25 ticks
    EXPECT_NEAR(angleZ, -89.8 + 25 * 0.2, 1e-3);

    angleZ = 359.9f;
    frameAt(100260);
    EXPECT_NEAR(angleZ, 0.1, 1e-4);
    angleZ = 359.8f;  // + 0.2 rounds to exactly 360, which wraps too
    frameAt(100270);
    EXPECT_EQ(angleZ, 0.0f);

    keyboard('v', 0, 0);
    EXPECT_EQ(spinSpeed, 0.0f);
    float still = angleZ;
    int steps = animationSteps();
    frameAt(100520);
    EXPECT_EQ(angleZ, still);
    EXPECT_EQ(animationSteps() - steps, 25);  // animations keep running
    keyboard('v', 0, 0);
    EXPECT_EQ(spinSpeed, 0.2f);
}

TEST_F(SpinLitTest, TimingModeOneScalesTheSpinByElapsedTime)
{
    frameAt(100000);  // lastTick now 100010, ahead of the clock
    keyboard('t', 0, 0);
    float before = angleZ;
    int steps = animationSteps();
    frameAt(100001);  // elapsed -9 counts as 0
    EXPECT_EQ(angleZ, before);
    EXPECT_EQ(animationSteps() - steps, 1);
    EXPECT_EQ(lastTick, 100001);

    frameAt(100051);  // 50 ms: 5 ticks' worth
    EXPECT_NEAR(angleZ, before + 1.0f, 1e-4);
    EXPECT_EQ(animationSteps() - steps, 2);

    // A long pause adds more than 360; only one 360 is taken off.
    angleZ = 10.0f;
    frameAt(100051 + 20000);  // +400 degrees
    EXPECT_NEAR(angleZ, 50.0, 1e-3);
    angleZ = 300.0f;
    frameAt(100051 + 40000);  // 300 + 400 = 700, less 360 once
    EXPECT_NEAR(angleZ, 340.0, 1e-3);
    angleZ = 0.0f;
    frameAt(100051 + 40000 + 20000);  // 0 + 400 = 400, once wrapped: 40
    EXPECT_NEAR(angleZ, 40.0, 1e-3);
    angleZ = 350.0f;
    frameAt(100051 + 60000 + 40000);  // 350 + 800 = 1150 - 360 = 790
    EXPECT_NEAR(angleZ, 790.0, 1e-2);
}

TEST_F(SpinLitTest, KeysTurnWithWrapsAndUpperCaseDoesNothing)
{
    angleX = 350.0f;
    keyboard('q', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 360.0f);
    keyboard('q', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 10.0f);
    angleX = 0.0f;
    keyboard('a', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 350.0f);
    angleX = 5.0f;
    keyboard('a', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 355.0f);

    angleZ = -90.0f;
    keyboard('e', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, -80.0f);
    angleZ = -90.0f;
    keyboard('d', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 260.0f);

    float before[3] = {angleX, angleY, angleZ};
    for (unsigned char key : {'Q', 'A', 'W', 'S', 'E', 'D', 'V', 'T'})
        keyboard(key, 0, 0);
    EXPECT_EQ(angleX, before[0]);
    EXPECT_EQ(angleY, before[1]);
    EXPECT_EQ(angleZ, before[2]);
    EXPECT_EQ(spinSpeed, 0.2f);
    EXPECT_EQ(timingMode, 0);
}

}  // namespace
