// Lit spin scene: layer 1 of the map as lit block columns, compiled once
// into a display list and turning slowly about the map's Z axis.
#include "spinlit.h"
#include "shell.h"

#include <tilvogl/tilvogl.h>      // tmapSelectLayer, tmapDrawBlocks, tmapAnims
#include <tilvogl/tilvogl_gpu.h>  // tmapGpuDrawBlocks

#include <GL/glu.h>                      // gluLookAt
#include <glm/ext/matrix_transform.hpp>  // glm::lookAt
#include <vector>                        // the frames kept at start-up

float spinSpeed = 0.2f;

const float lightPosition[4] = {-15.0f, -15.0f, -8.0f, 0.0f};  // w 0: directional

static void setUpSpinLighting(void)
{
    setUpBlockLighting(lightPosition);
}

// The animation frames as they stood when the picture was fixed: the display
// list holds them, and the shader path shows them too.
static std::vector<int32_t> startFrames;

static void compileMapList(void)
{
    tmapSelectLayer(1);
    requireDrawableBlockWindow(0, 0, 50, 50);
    if (shaderRenderer) {
        startFrames.resize(tmapAnimCount > 0 ? size_t(tmapAnimCount) : 0);
        for (size_t n = 0; n < startFrames.size(); ++n)
            startFrames[n] = tmapAnims[n].current;
        return;
    }
    glNewList(MAP_LIST, GL_COMPILE);
    // Texturing on from the start, so caps drawn before the first side
    // face are textured too.
    glEnable(GL_TEXTURE_2D);
    tmapDrawBlocks(0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    glEndList();
}

// The spin wraps at 360 or more, once per step; it has no lower wrap, so
// the start value -90 rises through 0 by itself.
static void spin(double ticks)
{
    angleZ = (float)(angleZ + ticks * spinSpeed);
    if (angleZ >= 360.0f)
        angleZ -= 360.0f;
}

static void drawSpinScene(void)
{
    glLoadIdentity();
    gluLookAt(0.0, -9.4, -4.2, 0.0, -6.0, 0.0, 0.0, 1.0, 0.0);
    pushSceneRotation();
    // Set again under the rotation, so the light turns with the map.
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glDisable(GL_BLEND);
    glCallList(MAP_LIST);
    glPopMatrix();
}

// Swaps the start-up frames with the animations' current ones; done twice,
// the animations are as they were.
static void swapStartFrames(void)
{
    for (size_t n = 0; n < startFrames.size(); ++n) {
        int32_t current = tmapAnims[n].current;
        tmapAnims[n].current = startFrames[n];
        startFrames[n] = current;
    }
}

// The camera, turn and light of drawSpinScene; the blocks drawn anew every
// frame with the frames the display list would hold, while the animations
// go on stepping.
static void drawSpinSceneShader(void)
{
    glm::mat4 modelview(glm::lookAt(glm::dvec3(0.0, -9.4, -4.2), glm::dvec3(0.0, -6.0, 0.0),
                                  glm::dvec3(0.0, 1.0, 0.0)));
    modelview = sceneRotation(modelview);
    TmapGpuView view = shaderView(modelview);
    setShaderBlockLight(&view, lightPosition, modelview);
    glDisable(GL_BLEND);
    swapStartFrames();
    tmapGpuDrawBlocks(&view, 0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    swapStartFrames();
}

static void spinKey(unsigned char key)
{
    if (key == 'v')
        spinSpeed = 0.2f - spinSpeed;
}

const DemoScene demoScene = {
    "spinlit",                                // program name
    // window title
    "TilvoGL: Q,A,W,S,E,D=rotate, V=spin on/off, T=timing method, ESC=exit",
    "TEST2A.FMP",                             // map file
    0.15f,                                    // fog density
    {0.1f, 0.0f, 0.3f, 0.5f},                 // fog and clear colour
    0.5,                                      // depth range 0 to this
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    DEMO_FRAME_DEPTH_PHASE,                   // frame start
    0.0f, 180.0f, -90.0f,                     // start angles X, Y, Z
    setUpSpinLighting,                        // lighting before the common block
    compileMapList,                           // after the animation reset
    spin,                                     // logic step
    drawSpinScene,                            // drawing
    drawSpinSceneShader,                      // drawing, shader path
    spinKey,                                  // scene keys
    nullptr,                                  // key-up handler
};
