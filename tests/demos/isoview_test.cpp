// The iso view scene: GLUT's elapsed-time clock with the bound "now", layer
// 2 drawn every frame from a fixed view, and keys that change nothing.
#include "demo_test_support.h"
#include "gldouble.h"
#include "shell.h"
#include <tilvogl/tilvogl.h>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class IsoViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gldouble::reset();
        enterScratchFolder();
        writeTestMap("TEST2A.FMP");
        gldouble::setElapsedTime(700);
        testTickCount = 0x7FFFFFFF;  // the platform clock must not be used
        timingMode = 0;
        doubleBuffered = 1;
        initScene();
    }
    void TearDown() override
    {
        tmapRelease();
        leaveScratchFolder();
    }
    int frameAt(int elapsed)
    {
        gldouble::setElapsedTime(elapsed);
        int before = animationSteps();
        display();
        return animationSteps() - before;
    }
};

TEST_F(IsoViewTest, StartUpLightsFromAboveSelectsLayerTwoAndReadsGlutTime)
{
    EXPECT_EQ(lastTick, 700);
    EXPECT_EQ(depthPhase, 1);
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[2]);
    auto lights = gldouble::trace({"glLightfv", "glFogf", "glDepthRange"});
    EXPECT_EQ(lights[2], "glLightfv(GL_LIGHT0,GL_POSITION,{-15,15,-8,0})");
    EXPECT_EQ(lights[3], "glFogf(GL_FOG_DENSITY,0.15)");
    EXPECT_EQ(lights.back(), "glDepthRange(0,0.5)");
    // No list: the blocks are drawn by the frames.
    EXPECT_EQ(gldouble::count("glNewList"), 0u);
    EXPECT_EQ(gldouble::count("glBegin"), 0u);

    // Without layer 2 the layer that loading made current is shown.
    tmapRelease();
    TestMapShape shape;
    shape.layerMask = 0x01;
    writeTestMap("TEST2A.FMP", shape);
    initScene();
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);
}

TEST_F(IsoViewTest, CatchUpLoopRunsUpToTheClockItself)
{
    EXPECT_EQ(frameAt(700), 0);
    EXPECT_EQ(frameAt(701), 1);
    EXPECT_EQ(lastTick, 710);
    EXPECT_EQ(frameAt(950), 24);
    EXPECT_EQ(lastTick, 950);
    // At most 25 ticks a frame; the rest of a longer wait is dropped.
    EXPECT_EQ(frameAt(1950), 25);
    EXPECT_EQ(lastTick, 1950);
    EXPECT_EQ(frameAt(1955), 1);
    EXPECT_EQ(lastTick, 1960);
}

TEST_F(IsoViewTest, FramesDrawTheBlocksAnewFromAFixedView)
{
    gldouble::reset();
    frameAt(700);
    auto trace = gldouble::trace({"glLoadIdentity", "gluLookAt", "glPushMatrix", "glRotatef",
                                  "glLightfv", "glDisable", "glPopMatrix"});
    std::vector<std::string> expected = {
        "glLoadIdentity()",
        "gluLookAt(0,-5.4,-4.2,0,-2,0,0,1,0)",
        "glPushMatrix()",
        "glRotatef(180,0,1,0)",
        "glRotatef(-45,0,0,1)",
        "glLightfv(GL_LIGHT0,GL_POSITION,{-15,15,-8,0})",
        "glDisable(GL_BLEND)",
        "glPopMatrix()",
    };
    EXPECT_EQ(trace, expected);
    // Texturing is on before the first quad, so the first caps are textured.
    const auto &calls = gldouble::calls();
    size_t textureOn = calls.size(), firstQuad = calls.size();
    for (size_t i = 0; i < calls.size(); ++i) {
        if (textureOn == calls.size() && calls[i].str() == "glEnable(GL_TEXTURE_2D)")
            textureOn = i;
        if (firstQuad == calls.size() && calls[i].name == "glBegin")
            firstQuad = i;
    }
    EXPECT_LT(textureOn, firstQuad);
    size_t quadsPerFrame = gldouble::count("glBegin");
    EXPECT_GT(quadsPerFrame, 2500u);
    // 50 x 50 cells of 0.5 from (-12.5, 12.5) running toward -y.
    auto bounds = vertexBounds(0, calls.size());
    EXPECT_EQ(bounds.minX, -12.5f);
    EXPECT_EQ(bounds.maxX, 12.5f);
    EXPECT_EQ(bounds.minY, -12.5f);
    EXPECT_EQ(bounds.maxY, 12.5f);
    // Cell (0, 0) comes first, in the corner of smallest x and largest y.
    size_t firstVertex = 0;
    while (firstVertex < calls.size() && calls[firstVertex].name != "glVertex3f")
        ++firstVertex;
    auto corner = vertexBounds(firstVertex, firstVertex + 1);
    ASSERT_EQ(corner.vertices, 1);
    EXPECT_EQ(corner.minX, -12.5f);
    EXPECT_EQ(corner.maxY, 12.5f);

    // The next frames, whatever keys come, draw the same again.
    auto firstFrame = gldouble::trace();
    for (unsigned char key : {'v', 'V', 'q', 'Q', 'e', 'E', 't', 'T', 'd', 'a', 'w', 's'})
        keyboard(key, 0, 0);
    EXPECT_EQ(timingMode, 0);
    gldouble::reset();
    frameAt(700);
    auto secondFrame = gldouble::trace();
    // A new window size changes the projection only.
    reshape(1000, 300);
    gldouble::reset();
    frameAt(700);
    auto thirdFrame = gldouble::trace();
    // Frames differ only in their depth half.
    auto withoutDepth = [](std::vector<std::string> frame) {
        std::vector<std::string> kept;
        for (auto &call : frame)
            if (call.rfind("glDepth", 0) != 0)
                kept.push_back(call);
        return kept;
    };
    EXPECT_EQ(withoutDepth(secondFrame), withoutDepth(firstFrame));
    EXPECT_EQ(thirdFrame, firstFrame);
}

TEST_F(IsoViewTest, AnimatedCellsChangeAsTheirAnimationSteps)
{
    tmapRelease();
    TestMapShape shape;
    shape.alternatingFrames = true;
    writeTestMap("TEST2A.FMP", shape);
    initScene();
    // Cell (0, 0) shows block 0, two caps, after an even number of steps
    // and block 2, one cap, after an odd number; every other cell stays.
    size_t bindsByParity[2] = {0, 0};
    for (int elapsed : {700, 711, 720, 750, 750, 760}) {
        gldouble::reset();
        frameAt(elapsed);
        size_t binds = gldouble::count("glBindTexture");
        size_t &expected = bindsByParity[animationSteps() % 2];
        if (expected == 0)
            expected = binds;
        EXPECT_EQ(binds, expected) << "at " << elapsed;
    }
    EXPECT_EQ(animationSteps(), 6);
    EXPECT_EQ(bindsByParity[0], bindsByParity[1] + 1);
}

}  // namespace
