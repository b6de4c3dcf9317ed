// Blended spin scene: layer 0 of the map as one flat sheet, drawn with each
// block's first graphic and then its second graphic blended over it.
#include "shell.h"

#include "scenes.h"  // tmapscenes::spinblend

#include <GL/gl.h>  // glEnable, glPopMatrix

static const tmapscenes::Scene &look = tmapscenes::spinblend;

static void drawBlendScene(void)
{
    lookAtSceneCamera();
    pushSceneRotation();
    // The flat draws bind textures but leave texturing to the caller.
    glEnable(GL_TEXTURE_2D);
    for (int k = 0; k < look.passCount; ++k)
        drawScenePass(look.passes[k]);
    glPopMatrix();
}

// The camera, turn and two passes of drawBlendScene.
static void drawBlendSceneShader(void)
{
    TmapGpuView view = shaderView(sceneRotation(sceneCamera()));
    for (int k = 0; k < look.passCount; ++k)
        drawScenePassShader(view, look.passes[k]);
}

const DemoScene demoScene = {
    "spinblend",                              // program name
    "TilvoGL: Q,A,W,S,E,D=rotate, T=timing method, ESC=exit",  // window title
    &look,                                    // map, camera, turns, draws, fog
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    nullptr,                                  // after the animation reset
    nullptr,                                  // logic step
    drawBlendScene,                           // drawing
    drawBlendSceneShader,                     // drawing, shader path
    nullptr,                                  // scene keys
    nullptr,                                  // key-up handler
};
