// The demo shell, exercised through the blended spin program (the scene
// with the least of its own): start-up, common GL state, catch-up loop,
// timingMode, depthPhase frames, reshape, shell keys and failures.
#include "demo_test_support.h"
#include "gldouble.h"
#include "shell.h"
#include <tilvogl/tilvogl.h>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

using ::testing::ExitedWithCode;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gldouble::reset();
        enterScratchFolder();
        writeTestMap("TEST2A.FMP");
        testTickCount = 100000;
        testQuestionAnswer = 0;
        testQuestionsAsked = 0;
        timingMode = 0;
        doubleBuffered = 1;
        gameModeActive = 0;
    }
    void TearDown() override
    {
        tmapRelease();
        leaveScratchFolder();
    }
    // Runs one frame at the given clock value; returns the logic steps it ran.
    int frameAt(uint32_t clock)
    {
        testTickCount = clock;
        int before = animationSteps();
        display();
        return animationSteps() - before;
    }
};

// The GLUT calls of start-up in order, with "initScene" where the common
// GL state begins.
std::vector<std::string> startUpSequence()
{
    std::vector<std::string> names;
    bool sceneStarted = false;
    for (const auto &call : gldouble::calls()) {
        if (call.name.rfind("glut", 0) == 0) {
            names.push_back(call.name);
        } else if (!sceneStarted && call.str() == "glEnable(GL_DEPTH_TEST)") {
            names.push_back("initScene");
            sceneStarted = true;
        }
    }
    return names;
}

// Reported from the exiting child of a death test, where the parent cannot
// look: whether the map is still held and whether game mode was left.
void reportExitState()
{
    fprintf(stderr, "map %s, game mode left %d times\n", tmapBlocks ? "held" : "released",
            (int)gldouble::count("glutLeaveGameMode"));
}

TEST_F(ShellTest, StartUpInAWindowWhenGameModeIsNotPossible)
{
    char name[] = "spinblend";
    char *argv[] = {name, nullptr};
    int argc = 1;
    startProgram(&argc, argv);

    EXPECT_EQ(testQuestionsAsked, 0);
    EXPECT_EQ(gameModeActive, 0);
    EXPECT_EQ(doubleBuffered, 1);
    EXPECT_EQ(gldouble::count("glutEnterGameMode"), 0u);
    std::vector<std::string> expected = {
        "glutInitDisplayMode(18)",  // GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH
        "glutGameModeString(\"800x600:32\")",
        "glutInitWindowPosition(48,48)",
        "glutInitWindowSize(640,480)",
        "glutCreateWindow(\"TilvoGL: Q,A,W,S,E,D=rotate, T=timing method, ESC=exit\")",
    };
    EXPECT_EQ(gldouble::trace({"glutInitDisplayMode", "glutGameModeString", "glutInitWindowPosition",
                               "glutInitWindowSize", "glutCreateWindow"}),
              expected);
    // GLUT first, then the window, then initScene (its first call enables
    // the depth test) with the map, and only then the handlers; spinblend
    // has no key-up handler.
    EXPECT_NE(tmapBlocks, nullptr);
    EXPECT_EQ(startUpSequence(), std::vector<std::string>(
                                     {"glutInit", "glutInitDisplayMode", "glutGameModeString",
                                      "glutGameModeGet", "glutInitWindowPosition",
                                      "glutInitWindowSize", "glutCreateWindow", "initScene",
                                      "glutReshapeFunc", "glutKeyboardFunc", "glutIdleFunc",
                                      "glutDisplayFunc"}))
        << gldouble::dump();
    auto init = gldouble::callsNamed("glutInit");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].arg(0), 1.0);
    EXPECT_EQ(init[0].text, "spinblend");
    auto &callbacks = gldouble::glut();
    EXPECT_EQ(callbacks.display, &display);
    EXPECT_EQ(callbacks.idle, &display);
    EXPECT_EQ(callbacks.reshape, &reshape);
    EXPECT_EQ(callbacks.keyboard, &keyboard);
    EXPECT_EQ(callbacks.keyboardUp, nullptr);
    EXPECT_EQ(gldouble::count("glutMainLoop"), 0u);
}

TEST_F(ShellTest, FullscreenQuestionIsAskedOnlyWhenGameModeIsPossible)
{
    gldouble::setGameModeGet(GLUT_GAME_MODE_POSSIBLE, 1);
    char name[] = "spinblend";
    char *argv[] = {name, nullptr};
    int argc = 1;

    testQuestionAnswer = 0;
    startProgram(&argc, argv);
    EXPECT_EQ(testQuestionsAsked, 1);
    EXPECT_EQ(testQuestionCaption, "TilvoGL");
    EXPECT_EQ(testQuestionText, "Go fullscreen?");
    EXPECT_EQ(gameModeActive, 0);
    EXPECT_EQ(gldouble::count("glutCreateWindow"), 1u);
    EXPECT_EQ(windowWidth, 640);

    gldouble::reset();
    gldouble::setGameModeGet(GLUT_GAME_MODE_POSSIBLE, 1);
    testQuestionAnswer = 1;
    startProgram(&argc, argv);
    EXPECT_EQ(testQuestionsAsked, 2);
    EXPECT_EQ(gameModeActive, 1);
    EXPECT_EQ(windowWidth, 800);
    EXPECT_EQ(windowHeight, 600);
    EXPECT_EQ(startUpSequence(), std::vector<std::string>(
                                     {"glutInit", "glutInitDisplayMode", "glutGameModeString",
                                      "glutGameModeGet", "glutEnterGameMode", "initScene",
                                      "glutReshapeFunc", "glutKeyboardFunc", "glutIdleFunc",
                                      "glutDisplayFunc"}))
        << gldouble::dump();
}

TEST_F(ShellTest, InitSceneSetsTheCommonStateLoadsTheMapAndReadsTheClock)
{
    testTickCount = 4321;
    initScene();
    std::vector<std::string> expected = {
        "glEnable(GL_DEPTH_TEST)",
        "glEnable(GL_FOG)",
        "glFogi(GL_FOG_MODE,GL_EXP)",
        "glFogf(GL_FOG_DENSITY,0.1)",
        "glFogfv(GL_FOG_COLOR,{0.1,0,0.3,0.5})",
        "glFogf(GL_FOG_START,500)",
        "glFogf(GL_FOG_END,4000)",
        "glDisable(GL_CULL_FACE)",
        "glEnable(GL_DEPTH_TEST)",
        "glFrontFace(GL_CW)",
        "glCullFace(GL_BACK)",
        "glEnable(GL_CULL_FACE)",
        "glClearColor(0.1,0,0.3,0.5)",
        "glClearDepth(1)",
        "glClear(GL_DEPTH_BUFFER_BIT)",
        "glDepthRange(0,0.5)",
        "glDepthFunc(GL_LESS)",
    };
    auto trace = gldouble::trace();
    ASSERT_GE(trace.size(), expected.size()) << gldouble::dump();
    trace.resize(expected.size());
    EXPECT_EQ(trace, expected) << gldouble::dump();
    EXPECT_EQ(depthPhase, 1);
    EXPECT_EQ(lastTick, 4321);
    EXPECT_EQ(tmapFirstTexture, 10);
    EXPECT_EQ(animationSteps(), 0);
    EXPECT_FLOAT_EQ(angleX, -10.0f);
    EXPECT_FLOAT_EQ(angleY, 180.0f);
    EXPECT_FLOAT_EQ(angleZ, 0.0f);
}

TEST_F(ShellTest, CatchUpLoopRunsTenMillisecondTicksUpToTheClockPlusFive)
{
    initScene();
    // The clock has not moved: lastTick < now + 5 gives exactly one tick.
    EXPECT_EQ(frameAt(100000), 1);
    EXPECT_EQ(lastTick, 100010);
    EXPECT_EQ(frameAt(100000), 0);
    EXPECT_EQ(frameAt(100005), 0);
    EXPECT_EQ(frameAt(100006), 1);
    EXPECT_EQ(lastTick, 100020);

    // 240 ms after lastTick: 25 ticks, leaving lastTick in now+5..now+14.
    EXPECT_EQ(frameAt(100260), 25);
    EXPECT_EQ(lastTick, 100270);
    for (uint32_t now : {100273u, 100300u, 100345u}) {
        frameAt(now);
        EXPECT_GE(lastTick, int32_t(now + 5));
        EXPECT_LE(lastTick, int32_t(now + 14));
    }
}

TEST_F(ShellTest, CatchUpLoopRunsAtMostTwentyFiveTicksAndDropsTheRest)
{
    initScene();
    EXPECT_EQ(frameAt(100000), 1);
    // The clock jumps a minute ahead (a suspended machine): one frame runs a
    // quarter second of logic, and the next frame is an ordinary one.
    EXPECT_EQ(frameAt(160000), 25);
    EXPECT_EQ(lastTick, 160005);
    EXPECT_EQ(frameAt(160000), 0);
    EXPECT_EQ(frameAt(160010), 1);

    // Each logic step takes 15 ms, longer than the tick it stands for, so
    // the clock runs away from the logic. Frames keep coming, each with at
    // most 25 steps, and each starts with the backlog dropped.
    uint32_t now = 160010 + 1000;
    for (int frame = 0; frame < 20; ++frame) {
        gldouble::reset();
        int steps = frameAt(now);
        EXPECT_EQ(steps, 25) << "frame " << frame;
        EXPECT_EQ(gldouble::count("glutSwapBuffers"), 1u) << "frame " << frame;
        EXPECT_EQ(lastTick, int32_t(now + 5));
        now += uint32_t(15 * steps);
    }
    // Once the steps are fast again, one more frame drops the time the last
    // slow steps took, and then the logic keeps pace with the clock.
    EXPECT_EQ(frameAt(now), 25);
    EXPECT_EQ(frameAt(now + 10), 1);
}

TEST_F(ShellTest, CatchUpLoopKeepsRunningAcrossAClockWrap)
{
    // Across 2^31 (where a plain signed comparison would stop) and 2^32.
    for (uint32_t start : {0x7FFFFF00u, 0xFFFFFF00u}) {
        testTickCount = start;
        initScene();
        EXPECT_EQ(frameAt(start), 1);
        for (uint32_t elapsed = 200; elapsed <= 2000; elapsed += 200)
            EXPECT_EQ(frameAt(start + elapsed), 20) << "at " << elapsed;
        EXPECT_EQ(lastTick, int32_t(start + 2010));
        tmapRelease();
    }
}

TEST_F(ShellTest, TimingModeRunsOneStepPerFrameAndReturnsWithoutABurst)
{
    initScene();
    frameAt(100000);
    keyboard('T', 0, 0);
    EXPECT_EQ(timingMode, 0);
    keyboard('t', 0, 0);
    EXPECT_EQ(timingMode, 1);

    // One step per frame whatever the time, and lastTick follows the clock.
    EXPECT_EQ(frameAt(100000), 1);
    EXPECT_EQ(lastTick, 100000);
    EXPECT_EQ(frameAt(105000), 1);
    EXPECT_EQ(lastTick, 105000);
    EXPECT_EQ(frameAt(105000), 1);

    keyboard('t', 0, 0);
    EXPECT_EQ(timingMode, 0);
    EXPECT_EQ(frameAt(105003), 1);
    EXPECT_EQ(lastTick, 105010);
    EXPECT_EQ(frameAt(105004), 0);
}

TEST_F(ShellTest, DepthPhaseFramesAlternateHalvesOfTheDepthRange)
{
    initScene();
    auto frameStart = [] {
        gldouble::reset();
        display();
        return gldouble::trace({"glClear", "glDepthFunc", "glDepthRange", "glFinish",
                                "glutSwapBuffers", "glFlush"});
    };
    std::vector<std::string> near = {"glClear(GL_COLOR_BUFFER_BIT)", "glDepthFunc(GL_LESS)",
                                     "glDepthRange(0,0.5)", "glFinish()", "glutSwapBuffers()"};
    std::vector<std::string> far = {"glClear(GL_COLOR_BUFFER_BIT)", "glDepthFunc(GL_GREATER)",
                                    "glDepthRange(1,0.5)", "glFinish()", "glutSwapBuffers()"};
    EXPECT_EQ(frameStart(), near);
    EXPECT_EQ(depthPhase, 0);
    EXPECT_EQ(frameStart(), far);
    EXPECT_EQ(depthPhase, 1);
    EXPECT_EQ(frameStart(), near);

    // Single-buffered frames end with glFlush instead of a swap.
    doubleBuffered = 0;
    auto single = frameStart();
    EXPECT_EQ(single.back(), "glFlush()");
    EXPECT_EQ(gldouble::count("glutSwapBuffers"), 0u);
}

TEST_F(ShellTest, ReshapeSetsViewportAndPerspectiveAndSurvivesHeightZero)
{
    reshape(800, 600);
    EXPECT_EQ(windowWidth, 800);
    EXPECT_EQ(windowHeight, 600);
    std::vector<std::string> expected = {
        "glViewport(0,0,800,600)", "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
        "gluPerspective(90,1.3333333333333333,1,200)", "glMatrixMode(GL_MODELVIEW)"};
    EXPECT_EQ(gldouble::trace(), expected);

    gldouble::reset();
    reshape(300, 0);
    EXPECT_EQ(windowHeight, 0);
    auto perspective = gldouble::callsNamed("gluPerspective");
    ASSERT_EQ(perspective.size(), 1u);
    EXPECT_DOUBLE_EQ(perspective[0].arg(1), 300.0);
}

TEST_F(ShellTest, RotationKeysWrapAndOtherKeysDoNothing)
{
    initScene();
    keyboard('q', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 0.0f);  // -10 + 10, no wrap
    keyboard('a', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 350.0f);
    angleX = -10.0f;
    keyboard('a', 0, 0);
    EXPECT_FLOAT_EQ(angleX, 340.0f);  // -20 + 360

    angleY = 350.0f;
    keyboard('w', 0, 0);
    EXPECT_FLOAT_EQ(angleY, 360.0f);  // only above 360 wraps
    keyboard('w', 0, 0);
    EXPECT_FLOAT_EQ(angleY, 10.0f);
    keyboard('s', 0, 0);
    keyboard('s', 0, 0);
    EXPECT_FLOAT_EQ(angleY, 350.0f);

    keyboard('e', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 10.0f);
    keyboard('d', 0, 0);
    keyboard('d', 0, 0);
    EXPECT_FLOAT_EQ(angleZ, 350.0f);

    float before[3] = {angleX, angleY, angleZ};
    gldouble::reset();
    for (unsigned char key : {'Q', 'A', 'W', 'S', 'E', 'D', 'V', 'v', 'x', '2'})
        keyboard(key, 0, 0);
    EXPECT_EQ(angleX, before[0]);
    EXPECT_EQ(angleY, before[1]);
    EXPECT_EQ(angleZ, before[2]);
    EXPECT_EQ(timingMode, 0);
    EXPECT_TRUE(gldouble::calls().empty()) << gldouble::dump();

    keyboard('1', 0, 0);
    EXPECT_EQ(gldouble::trace(), std::vector<std::string>{"glutPostRedisplay()"});
}

TEST_F(ShellTest, EscapeReleasesTheMapAndExitsZero)
{
    initScene();
    EXPECT_EXIT(
        {
            atexit(reportExitState);
            keyboard(27, 0, 0);
        },
        ExitedWithCode(0), "map released, game mode left 0 times");
    gameModeActive = 1;
    EXPECT_EXIT(
        {
            atexit(reportExitState);
            keyboard(27, 0, 0);
        },
        ExitedWithCode(0), "map released, game mode left 1 times");
}

TEST_F(ShellTest, AMapThatDoesNotLoadIsReportedInOneLineWithStatusOne)
{
    remove("TEST2A.FMP");
    EXPECT_EXIT(initScene(), ExitedWithCode(1),
                "^spinblend: cannot load map \"TEST2A.FMP\": file could not be opened \\(error 3\\): "
                "No such file or directory\n$");

    FILE *junk = fopen("TEST2A.FMP", "wb");
    ASSERT_NE(junk, nullptr);
    fputs("this is no map at all", junk);
    fclose(junk);
    EXPECT_EXIT(initScene(), ExitedWithCode(1),
                "^spinblend: cannot load map \"TEST2A.FMP\": not a readable map file \\(error 2\\)\n$");

    // A map refused inside a chunk: the chunk and its offset, as the tools say.
    TestMapShape shape;
    writeTestMap("TEST2A.FMP", shape);
    FILE *map = fopen("TEST2A.FMP", "r+b");
    ASSERT_NE(map, nullptr);
    fseek(map, 12 + 8, SEEK_SET);  // "MPHD" data byte 0: another kind of header
    fputc(1, map);
    fclose(map);
    EXPECT_EXIT(initScene(), ExitedWithCode(1),
                "^spinblend: cannot load map \"TEST2A.FMP\": unsupported map header \\(error 4\\) in chunk "
                "\"MPHD\" at offset 12\n$");

    // Game mode entered at start-up is left before the program ends.
    gldouble::setGameModeGet(GLUT_GAME_MODE_POSSIBLE, 1);
    testQuestionAnswer = 1;
    char name[] = "spinblend";
    char *argv[] = {name, nullptr};
    int argc = 1;
    EXPECT_EXIT(
        {
            atexit(reportExitState);
            startProgram(&argc, argv);
        },
        ExitedWithCode(1), "at offset 12\nmap released, game mode left 1 times");
}

// ---- the blended spin scene itself ----

TEST_F(ShellTest, BlendedSheetIsDrawnTwiceWithBlendingOnlyForTheSecondPass)
{
    initScene();
    gldouble::reset();
    display();
    auto trace = gldouble::trace({"glLoadIdentity", "gluLookAt", "glPushMatrix", "glRotatef",
                                  "glEnable", "glDisable", "glBlendFunc", "glPopMatrix"});
    std::vector<std::string> expected = {
        "glLoadIdentity()",
        "gluLookAt(0,-12.4,-4.2,0,-9,0,0,1,0)",
        "glPushMatrix()",
        "glRotatef(-10,1,0,0)",
        "glRotatef(180,0,1,0)",
        "glRotatef(0,0,0,1)",
        "glEnable(GL_TEXTURE_2D)",
        "glDisable(GL_BLEND)",
        "glEnable(GL_BLEND)",
        "glBlendFunc(GL_SRC_ALPHA,GL_ONE_MINUS_SRC_ALPHA)",
        "glPopMatrix()",
    };
    EXPECT_EQ(trace, expected);
    // The sheet is the layer that loading made current.
    EXPECT_EQ(tmapCurrentLayer, tmapLayers[0]);

    // 2500 quads per pass: first graphics (texture 10 for block 1) at z 0,
    // then second graphics (texture 11) at z 0.002, after blending is on.
    const auto &calls = gldouble::calls();
    size_t blendOn = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].str() == "glEnable(GL_BLEND)")
            blendOn = i;
    int firstPass = 0, secondPass = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name != "glVertex3f")
            continue;
        if (i < blendOn) {
            ++firstPass;
            EXPECT_EQ(calls[i].arg(2), 0.0);
        } else {
            ++secondPass;
            EXPECT_FLOAT_EQ(float(calls[i].arg(2)), 0.002f);
        }
    }
    EXPECT_EQ(firstPass, 4 * 2500);
    EXPECT_EQ(secondPass, 4 * 2500);
    auto binds = gldouble::callsNamed("glBindTexture");
    ASSERT_EQ(binds.size(), 5000u);
    EXPECT_EQ(binds[1].arg(1), 10.0);     // block 1, first graphic 0
    EXPECT_EQ(binds[2501].arg(1), 11.0);  // block 1, second graphic 1
    auto vertices = gldouble::callsNamed("glVertex3f");
    EXPECT_FLOAT_EQ(float(vertices[0].arg(0)), -12.0f);
    EXPECT_FLOAT_EQ(float(vertices[0].arg(1)), 8.0f);

    // Both passes cover x -12 to 13 and y 8 down to -17: 50 cells of 0.5
    // each way, rows running toward -y.
    for (auto pass : {vertexBounds(0, blendOn), vertexBounds(blendOn, calls.size())}) {
        EXPECT_EQ(pass.minX, -12.0f);
        EXPECT_EQ(pass.maxX, 13.0f);
        EXPECT_EQ(pass.minY, -17.0f);
        EXPECT_EQ(pass.maxY, 8.0f);
    }
}

TEST_F(ShellTest, EachFrameShowsTheAnimationsAsItsOwnLogicLeftThem)
{
    TestMapShape shape;
    shape.alternatingFrames = true;
    writeTestMap("TEST2A.FMP", shape);
    initScene();
    // Cell (0, 0) is drawn first in each pass; its first graphic follows
    // the parity of the animation steps taken, its second the opposite.
    auto expectCellShowsSteps = [](int steps) {
        auto binds = gldouble::callsNamed("glBindTexture");
        ASSERT_EQ(binds.size(), 5000u);
        EXPECT_EQ(binds[0].arg(1), 10.0 + steps % 2) << "after " << steps << " steps";
        EXPECT_EQ(binds[2500].arg(1), 11.0 - steps % 2) << "after " << steps << " steps";
    };
    for (uint32_t now : {100000u, 100010u, 100010u, 100040u}) {
        gldouble::reset();
        frameAt(now);
        expectCellShowsSteps(animationSteps());
    }
    EXPECT_EQ(animationSteps(), 5);

    keyboard('t', 0, 0);
    for (int frame = 0; frame < 3; ++frame) {
        gldouble::reset();
        EXPECT_EQ(frameAt(100040), 1);
        expectCellShowsSteps(animationSteps());
    }
    EXPECT_EQ(animationSteps(), 8);
}

}  // namespace
