// The double's own behaviour: what tests of the library and the demos rely on.
#include "gldouble.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

class GlDouble : public ::testing::Test {
protected:
    void SetUp() override {
        gldouble::setRecording(true);
        gldouble::reset();
    }
};

TEST_F(GlDouble, RecordsCallsInOrderAsText) {
    glBindTexture(GL_TEXTURE_2D, 10);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-12.5f, 0.1f, 0.002f);
    glEnd();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthRange(0.0, 0.5);
    gluPerspective(90.0, 640.0 / 480.0, 0.1, 100.0);
    EXPECT_THAT(gldouble::trace(),
                ElementsAre("glBindTexture(GL_TEXTURE_2D,10)", "glBegin(GL_QUADS)",
                            "glTexCoord2f(0,1)", "glVertex3f(-12.5,0.1,0.002)", "glEnd()",
                            "glClear(GL_COLOR_BUFFER_BIT|GL_DEPTH_BUFFER_BIT)",
                            "glBlendFunc(GL_ONE,GL_ONE_MINUS_SRC_ALPHA)",
                            "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_WRAP_S,GL_CLAMP_TO_EDGE)",
                            "glTexEnvf(GL_TEXTURE_ENV,GL_TEXTURE_ENV_MODE,GL_MODULATE)",
                            "glDepthRange(0,0.5)", "gluPerspective(90,1.3333333333333333,0.1,100)"));
    // Arguments keep their exact values.
    EXPECT_EQ(gldouble::calls()[3].args[1], double(0.1f));
}

TEST_F(GlDouble, FiltersAndCountsByName) {
    for (int i = 0; i < 3; ++i) {
        glBegin(GL_QUADS);
        glVertex3f(float(i), 0, 0);
        glEnd();
    }
    EXPECT_EQ(gldouble::count("glBegin"), 3u);
    EXPECT_EQ(gldouble::count("glColor4f"), 0u);
    EXPECT_THAT(gldouble::trace({"glVertex3f"}),
                ElementsAre("glVertex3f(0,0,0)", "glVertex3f(1,0,0)", "glVertex3f(2,0,0)"));
    EXPECT_EQ(gldouble::callsNamed({"glBegin", "glEnd"}).size(), 6u);
}

TEST_F(GlDouble, CopiesVectorsAndPixels) {
    GLfloat fog[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    glFogfv(GL_FOG_COLOR, fog);
    fog[0] = 9; // the copy is what was passed at the call
    GLfloat direction[3] = {0, -1, 0};
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
    // Three RGB pixels per row with the default alignment 4 leave 3 bytes of padding.
    const unsigned char padded[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE,
                                    10, 11, 12, 13, 14, 15, 16, 17, 18};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, padded);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const unsigned char tight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, tight);

    const auto& c = gldouble::calls();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].str(), "glFogfv(GL_FOG_COLOR,{0.5,0.25,0.125,1})");
    EXPECT_EQ(c[1].str(), "glLightfv(GL_LIGHT0,GL_SPOT_DIRECTION,{0,-1,0})");
    EXPECT_EQ(c[2].bytes, std::vector<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(c[2].str(), "glTexImage2D(GL_TEXTURE_2D,0,GL_RGB,3,2,0,GL_RGB,GL_UNSIGNED_BYTE,<18 bytes>)");
    EXPECT_EQ(c[4].bytes, std::vector<uint8_t>(tight, tight + 8));
    EXPECT_EQ(gldouble::unpackAlignment(), 1);
}

TEST_F(GlDouble, RecordingOffKeepsLogAndAnswers) {
    glEnable(GL_FOG);
    gldouble::setRecording(false);
    glBegin(GL_QUADS);
    glEnable(GL_BLEND);
    gldouble::setElapsedTime(1234);
    EXPECT_EQ(glutGet(GLUT_ELAPSED_TIME), 1234);
    gldouble::setRecording(true);
    EXPECT_THAT(gldouble::trace(), ElementsAre("glEnable(GL_FOG)"));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glDisable(GL_BLEND);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

void displayHandler() {}
void keyHandler(unsigned char, int, int) {}

TEST_F(GlDouble, GlutAnswersAndCallbacks) {
    EXPECT_EQ(glutGameModeGet(GLUT_GAME_MODE_POSSIBLE), 0);
    gldouble::setGameModeGet(GLUT_GAME_MODE_POSSIBLE, 1);
    EXPECT_EQ(glutGameModeGet(GLUT_GAME_MODE_POSSIBLE), 1);
    gldouble::setGlutGet(GLUT_SCREEN_WIDTH, 800);
    EXPECT_EQ(glutGet(GLUT_SCREEN_WIDTH), 800);
    EXPECT_EQ(glutGet(GLUT_ELAPSED_TIME), 0);
    int first = glutCreateWindow("Ship demo");
    EXPECT_EQ(glutCreateWindow("second"), first + 1);
    glutDisplayFunc(displayHandler);
    glutIdleFunc(displayHandler);
    glutKeyboardFunc(keyHandler);
    glutMainLoop(); // returns
    EXPECT_EQ(gldouble::glut().display, &displayHandler);
    EXPECT_EQ(gldouble::glut().keyboard, &keyHandler);
    EXPECT_EQ(gldouble::glut().keyboardUp, nullptr);
    EXPECT_THAT(gldouble::trace({"glutCreateWindow", "glutDisplayFunc", "glutMainLoop"}),
                ElementsAre("glutCreateWindow(\"Ship demo\")", "glutCreateWindow(\"second\")",
                            "glutDisplayFunc(fn)", "glutMainLoop()"));
    gldouble::reset();
    EXPECT_EQ(gldouble::glut().display, nullptr);
    EXPECT_EQ(glutGameModeGet(GLUT_GAME_MODE_POSSIBLE), 0);
    EXPECT_EQ(gldouble::calls().size(), 1u); // the query just made
}
