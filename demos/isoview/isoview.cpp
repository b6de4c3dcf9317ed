// Iso view scene: layer 2 of the map as lit block columns, turned 45
// degrees and seen at a slant from a fixed viewpoint. Only animations move.
#include "shell.h"

#include "scenes.h"           // tmapscenes::isoview, turnedMatrix
#include <tilvogl/tilvogl.h>  // tmapSelectLayer

#include <GL/gl.h>  // glPushMatrix, glRotatef, glLightfv, glEnable, glPopMatrix

static const tmapscenes::Scene &look = tmapscenes::isoview;

static void selectIsoLayer(void)
{
    tmapSelectLayer(look.passes[0].layer);
    // Drawn anew every frame: a towering map would stall every frame.
    requireDrawableBlockWindow(look.passes[0]);
}

static void drawIsoScene(void)
{
    lookAtSceneCamera();
    glPushMatrix();
    for (int k = 0; k < look.turnCount; ++k) {
        const tmapscenes::Turn &turn = look.turns[k];
        glRotatef(turn.degrees, turn.axis[0], turn.axis[1], turn.axis[2]);
    }
    glLightfv(GL_LIGHT0, GL_POSITION, look.lightPosition);
    // Texturing on before the first cap, not only from the first side face.
    glEnable(GL_TEXTURE_2D);
    drawScenePass(look.passes[0]);
    glPopMatrix();
}

// The camera and turn of drawIsoScene.
static void drawIsoSceneShader(void)
{
    glm::mat4 modelview = tmapscenes::turnedMatrix(sceneCamera(), look.turns, look.turnCount);
    drawScenePassShader(shaderView(modelview), look.passes[0]);
}

const DemoScene demoScene = {
    "isoview",                                // program name
    // window title
    "TilvoGL: Unfinished example, iso style viewpoint, V=spin on/off, ESC=exit",
    &look,                                    // map, camera, turns, draws, light, fog
    DEMO_CLOCK_GLUT_ELAPSED,                  // clock
    0,                                        // catch-up lead, ms
    0,                                        // key t switches timingMode
    0,                                        // q/a, w/s, e/d turn the scene
    selectIsoLayer,                           // after the animation reset
    nullptr,                                  // logic step
    drawIsoScene,                             // drawing
    drawIsoSceneShader,                       // drawing, shader path
    nullptr,                                  // scene keys
    nullptr,                                  // key-up handler
};
