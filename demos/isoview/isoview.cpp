// Iso view scene: layer 2 of the map as lit block columns, turned 45
// degrees and seen at a slant from a fixed viewpoint. Only animations move.
#include "shell.h"

#include <tilvogl/tilvogl.h>      // tmapSelectLayer, tmapDrawBlocks
#include <tilvogl/tilvogl_gpu.h>  // tmapGpuDrawBlocks

#include <GL/glu.h>                      // gluLookAt
#include <glm/ext/matrix_transform.hpp>  // glm::lookAt, glm::rotate

// Above the map, unlike the lit spin scene's light.
static const float lightPosition[4] = {-15.0f, 15.0f, -8.0f, 0.0f};

static void setUpIsoLighting(void)
{
    setUpBlockLighting(lightPosition);
}

static void selectIsoLayer(void)
{
    tmapSelectLayer(2);
    // Drawn anew every frame: a towering map would stall every frame.
    requireDrawableBlockWindow(0, 0, 50, 50);
}

static void drawIsoScene(void)
{
    glLoadIdentity();
    gluLookAt(0.0, -5.4, -4.2, 0.0, -2.0, 0.0, 0.0, 1.0, 0.0);
    glPushMatrix();
    glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(-45.0f, 0.0f, 0.0f, 1.0f);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glDisable(GL_BLEND);
    // Texturing on before the first cap, not only from the first side face.
    glEnable(GL_TEXTURE_2D);
    tmapDrawBlocks(0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
    glPopMatrix();
}

// The camera and turn of drawIsoScene.
static void drawIsoSceneShader(void)
{
    glm::mat4 modelview(glm::lookAt(glm::dvec3(0.0, -5.4, -4.2), glm::dvec3(0.0, -2.0, 0.0),
                                  glm::dvec3(0.0, 1.0, 0.0)));
    modelview = glm::rotate(modelview, glm::radians(180.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    modelview = glm::rotate(modelview, glm::radians(-45.0f), glm::vec3(0.0f, 0.0f, 1.0f));
    TmapGpuView view = shaderView(modelview);
    setShaderBlockLight(&view, lightPosition, modelview);
    glDisable(GL_BLEND);
    tmapGpuDrawBlocks(&view, 0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
}

const DemoScene demoScene = {
    "isoview",                                // program name
    // window title
    "TilvoGL: Unfinished example, iso style viewpoint, V=spin on/off, ESC=exit",
    "TEST2A.FMP",                             // map file
    0.15f,                                    // fog density
    {0.1f, 0.0f, 0.3f, 0.5f},                 // fog and clear colour
    0.5,                                      // depth range 0 to this
    DEMO_CLOCK_GLUT_ELAPSED,                  // clock
    0,                                        // catch-up lead, ms
    0,                                        // key t switches timingMode
    0,                                        // q/a, w/s, e/d turn the scene
    DEMO_FRAME_DEPTH_PHASE,                   // frame start
    0.0f, 0.0f, 0.0f,                         // start angles X, Y, Z
    setUpIsoLighting,                         // lighting before the common block
    selectIsoLayer,                           // after the animation reset
    nullptr,                                  // logic step
    drawIsoScene,                             // drawing
    drawIsoSceneShader,                       // drawing, shader path
    nullptr,                                  // scene keys
    nullptr,                                  // key-up handler
};
