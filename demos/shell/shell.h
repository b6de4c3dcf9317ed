// Demo shell: the program entry, GL set-up, timing loop and shell keys that
// all four demo programs share.
//
// A program is the shell plus one scene source. The scene defines
// `demoScene`, a constant record of its fixed values and hooks; the shell
// reads it and owns the GLUT handlers. Everything is process-wide and runs on
// the one thread of glutMainLoop.
#ifndef TILVOGL_DEMOS_SHELL_H
#define TILVOGL_DEMOS_SHELL_H

#include "scenes.h"               // tmapscenes::Scene, Pass
#include <tilvogl/tilvogl_gpu.h>  // TmapGpuView

#include <glm/mat4x4.hpp>  // glm::mat4, the shader path's matrices
#include <stdint.h>

// Which clock paces the logic.
enum DemoClock {
    DEMO_CLOCK_TICK_COUNT,   // the platform's 32-bit millisecond counter
    DEMO_CLOCK_GLUT_ELAPSED  // glutGet(GLUT_ELAPSED_TIME)
};

struct DemoScene {
    const char *programName;  // names the program in messages
    const char *windowTitle;
    // What the program shows: its map, camera, turns, draws, light and fog
    // (support/scenes, which the picture tests draw too).
    const tmapscenes::Scene *scene;
    DemoClock clock;
    int catchUpLead;          // the catch-up loop runs while lastTick < now + this
    int hasTimingMode;        // key t switches timingMode
    // q/a, w/s, e/d turn angleX, angleY, angleZ, which start at the
    // scene's three turns.
    int turnsWithKeys;

    // Hooks; any may be null.
    void (*afterReset)(void);     // after the map is loaded and its animations reset
    // The scene's share of one logic step, run just before tmapStepAnims.
    // ticks is 1 in the catch-up loop; in timingMode 1 it is the time since
    // the last step in 10 ms units (never negative).
    void (*stepScene)(double ticks);
    void (*drawScene)(void);      // between frame start and end of frame
    // The same picture through the shader renderer (option --shader): the
    // same camera, blending and draws, with no fixed-function call.
    void (*drawSceneShader)(void);
    void (*sceneKey)(unsigned char key);   // keys the shell does not take
    void (*keyboardUp)(unsigned char key, int x, int y);  // registered when set
};

// Defined by each program's scene source.
extern const DemoScene demoScene;

// ---- Shell state ----
extern int windowWidth;
extern int windowHeight;
extern int gameModeActive;
extern int doubleBuffered;
extern int timingMode;
extern int32_t lastTick;
extern int depthPhase;
extern float angleX;
extern float angleY;
extern float angleZ;
// 1 when the program runs with --shader: a 3.3 core context, the map loaded
// without GL textures and uploaded with tmapGpuUpload, frames drawn with
// tmapGpu*.
extern int shaderRenderer;
// The projection that reshape sets, for the shader path.
extern glm::mat4 shaderProjection;

// ---- Handlers ----
void initScene(void);
void reshape(int width, int height);
void keyboard(unsigned char key, int x, int y);
void display(void);

// Start-up up to (not including) glutMainLoop: the shell's options --batched
// (it sets tmapDrawOrder to TMAP_DRAW_BY_TEXTURE and tmapDrawFaces to
// TMAP_FACES_VISIBLE) and --shader (it sets
// shaderRenderer), both taken out of argc/argv; GLUT, the fullscreen
// question, window or game mode, initScene, handler registration.
void startProgram(int *argc, char **argv);

// ---- Helpers for scenes ----

// Adds step degrees to an angle in double precision, stores it in single
// precision, then wraps once in the direction of the step: a rise above 360
// loses 360, a fall below 0 gains 360.
void turnAngle(float *angle, double step);

// glLoadIdentity, then gluLookAt from the scene's camera.
void lookAtSceneCamera(void);

// glPushMatrix, then rotations by angleX, angleY, angleZ about X, Y, Z.
void pushSceneRotation(void);

// The pass's blending (GL_BLEND on with GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA,
// or off), the colour of a see-through pass, then the pass itself.
void drawScenePass(const tmapscenes::Pass &pass);

// ---- Helpers for the scenes' shader path ----

// The scene's camera as a modelview matrix.
glm::mat4 sceneCamera(void);

// pushSceneRotation's turn: modelview rotated by angleX, angleY, angleZ
// about X, Y, Z.
glm::mat4 sceneRotation(const glm::mat4 &modelview);

// A view as the shell's common block leaves the fixed-function state: the
// projection of reshape, the given modelview, the scene's exponential fog,
// its light where it is lit (set under modelview), colour white.
TmapGpuView shaderView(const glm::mat4 &modelview);

// drawScenePass through the shader renderer: the same blending, the pass's
// alpha in the view's colour.
void drawScenePassShader(TmapGpuView view, const tmapscenes::Pass &pass);

// Ends the program at start-up, with one line naming the count and the
// limit and status 1, when the pass's block window of the current layer
// would make frames take more than about a second: a small map can stack a
// thousand cubes in every cell. Both paths count the faces any frame can
// draw, each against a limit of its own.
void requireDrawableBlockWindow(const tmapscenes::Pass &pass);

// Current clock in milliseconds, as the program's clock kind reads it.
int32_t readClock(void);

#endif
