// Lit spin scene: layer 1 of the map as lit block columns, compiled once
// into a display list and turning slowly about the map's Z axis.
#include "spinlit.h"
#include "shell.h"

#include "scenes.h"           // tmapscenes::spinlit
#include <tilvogl/tilvogl.h>  // tmapSelectLayer, tmapAnims, tmapDrawFaces

#include <GL/gl.h>  // the display list, glLightfv
#include <vector>   // the frames kept at start-up

float spinSpeed = 0.2f;

static const tmapscenes::Scene &look = tmapscenes::spinlit;

// The animation frames as they stood when the picture was fixed: the display
// list holds them, and the shader path shows them too.
static std::vector<int32_t> startFrames;

static void compileMapList(void)
{
    const tmapscenes::Pass &blocks = look.passes[0];
    tmapSelectLayer(blocks.layer);
    requireDrawableBlockWindow(blocks);
    if (shaderRenderer) {
        startFrames.resize(tmapAnimCount > 0 ? size_t(tmapAnimCount) : 0);
        for (size_t n = 0; n < startFrames.size(); ++n)
            startFrames[n] = tmapAnims[n].current;
        return;
    }
    // The list is replayed under every turn, and the keys can bring the eye
    // below the ground: faces left out for the view of the compilation
    // could be missing from another, so the list holds every face.
    const int faces = tmapDrawFaces;
    tmapDrawFaces = TMAP_FACES_ALL;
    glNewList(MAP_LIST, GL_COMPILE);
    // Texturing on from the start, so caps drawn before the first side
    // face are textured too.
    glEnable(GL_TEXTURE_2D);
    tmapscenes::drawPass(blocks);
    glEndList();
    tmapDrawFaces = faces;
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
    lookAtSceneCamera();
    pushSceneRotation();
    // Set again under the rotation, so the light turns with the map.
    glLightfv(GL_LIGHT0, GL_POSITION, look.lightPosition);
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
    TmapGpuView view = shaderView(sceneRotation(sceneCamera()));
    swapStartFrames();
    drawScenePassShader(view, look.passes[0]);
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
    &look,                                    // map, camera, turns, draws, light, fog
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    compileMapList,                           // after the animation reset
    spin,                                     // logic step
    drawSpinScene,                            // drawing
    drawSpinSceneShader,                      // drawing, shader path
    spinKey,                                  // scene keys
    nullptr,                                  // key-up handler
};
