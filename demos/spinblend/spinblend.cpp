// Blended spin scene: layer 0 of the map as one flat sheet, drawn with each
// block's first graphic and then its second graphic blended over it.
#include "shell.h"

#include <tilvogl/tilvogl.h>      // tmapDrawLayer, tmapDrawLayerSecondGraphic
#include <tilvogl/tilvogl_gpu.h>  // tmapGpuDrawLayer, tmapGpuDrawLayerSecondGraphic

#include <GL/glu.h>                      // gluLookAt
#include <glm/ext/matrix_transform.hpp>  // glm::lookAt

static void drawBlendScene(void)
{
    glLoadIdentity();
    gluLookAt(0.0, -12.4, -4.2, 0.0, -9.0, 0.0, 0.0, 1.0, 0.0);
    pushSceneRotation();
    // The flat draws bind textures but leave texturing to the caller.
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    tmapDrawLayer(0, 0, 50, 50, -12.0f, 8.0f, 0.0f, 0.5f, -0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    tmapDrawLayerSecondGraphic(0, 0, 50, 50, -12.0f, 8.0f, 0.002f, 0.5f, -0.5f);
    glPopMatrix();
}

// The camera, turn and two passes of drawBlendScene.
static void drawBlendSceneShader(void)
{
    glm::mat4 modelview(glm::lookAt(glm::dvec3(0.0, -12.4, -4.2), glm::dvec3(0.0, -9.0, 0.0),
                                  glm::dvec3(0.0, 1.0, 0.0)));
    TmapGpuView view = shaderView(sceneRotation(modelview));
    glDisable(GL_BLEND);
    tmapGpuDrawLayer(&view, 0, 0, 50, 50, -12.0f, 8.0f, 0.0f, 0.5f, -0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    tmapGpuDrawLayerSecondGraphic(&view, 0, 0, 50, 50, -12.0f, 8.0f, 0.002f, 0.5f, -0.5f);
}

const DemoScene demoScene = {
    "spinblend",                              // program name
    "TilvoGL: Q,A,W,S,E,D=rotate, T=timing method, ESC=exit",  // window title
    "TEST2A.FMP",                             // map file
    0.1f,                                     // fog density
    {0.1f, 0.0f, 0.3f, 0.5f},                 // fog and clear colour
    0.5,                                      // depth range 0 to this
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    DEMO_FRAME_DEPTH_PHASE,                   // frame start
    -10.0f, 180.0f, 0.0f,                     // start angles X, Y, Z
    nullptr,                                  // lighting before the common block
    nullptr,                                  // after the animation reset
    nullptr,                                  // logic step
    drawBlendScene,                           // drawing
    drawBlendSceneShader,                     // drawing, shader path
    nullptr,                                  // scene keys
    nullptr,                                  // key-up handler
};
