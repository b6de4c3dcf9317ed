// Demo shell: start-up, common GL state, map load, timing loop, frame
// start and end, and the shell keys ESC, 1 and t.
#include "shell.h"

#include "blocklight.h"       // useFixedFunctionLight
#include "loadmessage.h"      // loadFailureMessage
#include "platform.h"         // platformTickCount, platformAskYesNo
#include "scenes.h"           // the scene's data, drawPass, drawPassShader, cameraMatrix, shaderView
#include <tilvogl/tilvogl.h>  // tmapLoadFile, tmapResetAnims, tmapStepAnims, tmapRelease, tmapDrawOrder,
                              // tmapCountBlockFaces, tmapDrawFaces
#include <tilvogl/tilvogl_gpu.h>  // tmapGpuUpload, tmapGpuRelease

#include <GL/freeglut.h>  // GLUT window, game mode and handlers, the context version; GL and GLU
#include <glm/ext/matrix_clip_space.hpp>  // glm::perspective
#include <glm/ext/matrix_transform.hpp>   // glm::rotate
#include <stdio.h>    // fprintf
#include <stdlib.h>   // exit
#include <string.h>   // strcmp
#include <string>     // the refusal lines

int windowWidth = 640;
int windowHeight = 480;
int gameModeActive = 0;
int doubleBuffered = 0;
int timingMode = 0;
int32_t lastTick = 0;
int depthPhase = 0;
float angleX = 0.0f;
float angleY = 0.0f;
float angleZ = 0.0f;
int shaderRenderer = 0;
glm::mat4 shaderProjection(1.0f);

static const unsigned char keyEscape = 27;

// A quarter second of logic: a frame that finds more owed drops the rest, so
// a machine too slow for the logic runs it slower instead of never drawing.
static const int maxTicksPerFrame = 25;

// Faces of block columns a scene draws at most through the fixed-function
// path, twenty times the demo maps' own. Drawn face by face on Mesa's
// software renderer, a frame takes about a second at this count (635 000
// faces took 2.1 s in the cell order, 0.8 s grouped by texture); a map that
// asks for millions would make a display list of gigabytes, or frames that
// take many seconds.
static const uint64_t maxBlockFaces = 250000;

// Faces of block columns a scene draws at most through the shader renderer.
// It draws the faces a window has (for animated cells, those of the
// animation's tallest column) from one buffer; on the same software
// renderer 635 000 faces took 0.19 s a frame, so a frame passes about a
// second near three million faces.
static const uint64_t maxShaderFaces = 3000000;

// ---------------------------------------------------------------- helpers

int32_t readClock(void)
{
    if (demoScene.clock == DEMO_CLOCK_GLUT_ELAPSED)
        return glutGet(GLUT_ELAPSED_TIME);
    return (int32_t)platformTickCount();
}

// a - b as a signed 32-bit difference, so that comparisons of clock values
// stay right when the counter wraps.
static int32_t tickDifference(int32_t a, int32_t b)
{
    return (int32_t)((uint32_t)a - (uint32_t)b);
}

void turnAngle(float *angle, double step)
{
    // Each direction wraps only at its own end, so -90 turned up stays -80.
    *angle = (float)((double)*angle + step);
    if (step > 0.0 && *angle > 360.0f)
        *angle -= 360.0f;
    else if (step < 0.0 && *angle < 0.0f)
        *angle += 360.0f;
}

glm::mat4 sceneRotation(const glm::mat4 &modelview)
{
    glm::mat4 turned = glm::rotate(modelview, glm::radians(angleX), glm::vec3(1.0f, 0.0f, 0.0f));
    turned = glm::rotate(turned, glm::radians(angleY), glm::vec3(0.0f, 1.0f, 0.0f));
    return glm::rotate(turned, glm::radians(angleZ), glm::vec3(0.0f, 0.0f, 1.0f));
}

void pushSceneRotation(void)
{
    glPushMatrix();
    glRotatef(angleX, 1.0f, 0.0f, 0.0f);
    glRotatef(angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(angleZ, 0.0f, 0.0f, 1.0f);
}

void lookAtSceneCamera(void)
{
    const tmapscenes::Camera &camera = demoScene.scene->camera;
    glLoadIdentity();
    gluLookAt(camera.eye[0], camera.eye[1], camera.eye[2], camera.centre[0], camera.centre[1], camera.centre[2],
              camera.up[0], camera.up[1], camera.up[2]);
}

glm::mat4 sceneCamera(void)
{
    return tmapscenes::cameraMatrix(demoScene.scene->camera);
}

TmapGpuView shaderView(const glm::mat4 &modelview)
{
    return tmapscenes::shaderView(*demoScene.scene, shaderProjection, modelview);
}

static void setPassBlending(const tmapscenes::Pass &pass)
{
    if (pass.blend) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
    }
}

void drawScenePass(const tmapscenes::Pass &pass)
{
    setPassBlending(pass);
    if (pass.alpha != 1.0f)
        glColor4f(1.0f, 1.0f, 1.0f, pass.alpha);
    tmapscenes::drawPass(pass);
}

void drawScenePassShader(TmapGpuView view, const tmapscenes::Pass &pass)
{
    setPassBlending(pass);
    view.colour[3] = pass.alpha;
    tmapscenes::drawPassShader(view, pass);
}

static void leaveGameModeIfActive(void)
{
    if (gameModeActive == 1)
        glutLeaveGameMode();
}

// Ends the program at start-up with one line on stderr and status 1.
static void refuseMap(const char *what, const std::string &reason)
{
    fprintf(stderr, "%s: cannot %s map \"%s\": %s\n", demoScene.programName, what, demoScene.scene->mapFile,
            reason.c_str());
    if (shaderRenderer)
        tmapGpuRelease();
    tmapRelease();
    leaveGameModeIfActive();
    exit(1);
}

void requireDrawableBlockWindow(const tmapscenes::Pass &pass)
{
    std::string window = "its " + std::to_string(pass.columns) + " x " + std::to_string(pass.rows) + " window ";
    // Frames to come may show the tallest frame of every animation.
    TmapBlockFaces count;
    if (tmapCountBlockFaces(pass.cellX, pass.cellY, pass.columns, pass.rows, &count) != 0)
        refuseMap("draw", tmapErrorString(tmapError));
    uint64_t faces = count.facesAnyFrame;
    uint64_t limit = shaderRenderer ? maxShaderFaces : maxBlockFaces;
    if (faces > limit)
        refuseMap("draw", window + "has " + std::to_string(faces) + " block faces, more than the limit of " +
                              std::to_string(limit));
}

// ---------------------------------------------------------------- start-up

// Takes the shell's options out of the command line before GLUT reads them:
// --batched draws the map grouped by texture (TMAP_DRAW_BY_TEXTURE) and
// leaves out the block faces the view cannot show (TMAP_FACES_VISIBLE), for
// frame rate with the same picture; without it the library's cell order
// draws every face, as it always did. --shader draws
// through the shader renderer on a core context. GLUT has options of its own
// (-display, -geometry, ...) that an option parser would misread, so only
// these exact words are looked for.
static void takeShellOptions(int *argc, char **argv)
{
    int batched = 0;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (strcmp(argv[i], "--batched") == 0)
            batched = 1;
        else if (strcmp(argv[i], "--shader") == 0)
            shaderRenderer = 1;
        else
            argv[kept++] = argv[i];
    }
    if (kept < *argc)
        argv[kept] = NULL;
    *argc = kept;
    tmapDrawOrder = batched ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER;
    tmapDrawFaces = batched ? TMAP_FACES_VISIBLE : TMAP_FACES_ALL;
}

void startProgram(int *argc, char **argv)
{
    takeShellOptions(argc, argv);
    glutInit(argc, argv);
    doubleBuffered = 1;
    windowWidth = tmapscenes::windowWidth;
    windowHeight = tmapscenes::windowHeight;
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    gameModeActive = 0;
    glutGameModeString("800x600:32");
    int fullscreen = glutGameModeGet(GLUT_GAME_MODE_POSSIBLE) != 0 && platformAskYesNo("TilvoGL", "Go fullscreen?");
    // Asked only now, so the question's own window keeps the fixed-function
    // context it draws with.
    if (shaderRenderer) {
        glutInitContextVersion(3, 3);
        glutInitContextProfile(GLUT_CORE_PROFILE);
    }
    if (fullscreen) {
        windowWidth = 800;
        windowHeight = 600;
        glutEnterGameMode();
        gameModeActive = 1;
    }
    if (gameModeActive == 0) {
        glutInitWindowPosition(48, 48);
        glutInitWindowSize(windowWidth, windowHeight);
        glutCreateWindow(demoScene.windowTitle);
    }
    initScene();
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    if (demoScene.keyboardUp)
        glutKeyboardUpFunc(demoScene.keyboardUp);
    glutIdleFunc(display);
    glutDisplayFunc(display);
}

void initScene(void)
{
    const tmapscenes::Scene &scene = *demoScene.scene;
    const tmapscenes::Turn *turns = scene.turns;
    angleX = demoScene.turnsWithKeys ? turns[0].degrees : 0.0f;
    angleY = demoScene.turnsWithKeys ? turns[1].degrees : 0.0f;
    angleZ = demoScene.turnsWithKeys ? turns[2].degrees : 0.0f;
    // On the shader path light and fog are part of each draw's view.
    if (scene.lit && !shaderRenderer)
        tmapblocklight::useFixedFunctionLight(scene.lightPosition);

    glEnable(GL_DEPTH_TEST);
    if (!shaderRenderer) {
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_DENSITY, scene.fogDensity);
        glFogfv(GL_FOG_COLOR, scene.fogColour);
        glFogf(GL_FOG_START, 500.0f);
        glFogf(GL_FOG_END, 4000.0f);
    }

    // Front faces are the clockwise ones; back faces are culled.
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);

    const float *fog = scene.fogColour;
    glClearColor(fog[0], fog[1], fog[2], fog[3]);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthRange(0.0, scene.depthPhases ? 0.5 : 1.0);
    glDepthFunc(GL_LESS);
    if (scene.depthPhases)
        depthPhase = 1;

    if (tmapLoadFile(scene.mapFile, shaderRenderer ? TMAP_TEXTURES_NONE : 10) != 0)
        refuseMap("load", loadFailureMessage());
    if (shaderRenderer && tmapGpuUpload() != 0)
        refuseMap("upload", uploadFailureMessage());
    tmapResetAnims();
    if (demoScene.afterReset)
        demoScene.afterReset();
    lastTick = readClock();
}

// ---------------------------------------------------------------- handlers

void reshape(int width, int height)
{
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    // A minimised window reports height 0; keep the aspect finite.
    double aspect = (double)width / (double)(height > 0 ? height : 1);
    if (shaderRenderer) {
        shaderProjection = glm::mat4(glm::perspective(glm::radians(tmapscenes::fieldOfView), aspect,
                                                      tmapscenes::nearPlane, tmapscenes::farPlane));
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(tmapscenes::fieldOfView, aspect, tmapscenes::nearPlane, tmapscenes::farPlane);
    glMatrixMode(GL_MODELVIEW);
}

void keyboard(unsigned char key, int x, int y)
{
    (void)x;
    (void)y;
    if (key == keyEscape) {
        if (shaderRenderer)
            tmapGpuRelease();
        leaveGameModeIfActive();
        tmapRelease();
        exit(0);
    }
    if (key == '1') {
        glutPostRedisplay();
        return;
    }
    if (key == 't' && demoScene.hasTimingMode) {
        timingMode = 1 - timingMode;
        return;
    }
    if (demoScene.turnsWithKeys) {
        switch (key) {
        case 'q': turnAngle(&angleX, 10.0); return;
        case 'a': turnAngle(&angleX, -10.0); return;
        case 'w': turnAngle(&angleY, 10.0); return;
        case 's': turnAngle(&angleY, -10.0); return;
        case 'e': turnAngle(&angleZ, 10.0); return;
        case 'd': turnAngle(&angleZ, -10.0); return;
        default: break;
        }
    }
    if (demoScene.sceneKey)
        demoScene.sceneKey(key);
}

static void runLogicStep(double ticks)
{
    if (demoScene.stepScene)
        demoScene.stepScene(ticks);
    tmapStepAnims();
}

static void startFrame(void)
{
    if (!demoScene.scene->depthPhases) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    // Frames alternate between the near half of the depth buffer (smaller
    // wins) and the far half mapped in reverse (greater wins), so each frame
    // beats whatever the last one left and depth is never cleared.
    glClear(GL_COLOR_BUFFER_BIT);
    if (depthPhase != 0) {
        glDepthFunc(GL_LESS);
        glDepthRange(0.0, 0.5);
    } else {
        glDepthFunc(GL_GREATER);
        glDepthRange(1.0, 0.5);
    }
    depthPhase = 1 - depthPhase;
}

void display(void)
{
    int32_t now = readClock();
    if (demoScene.hasTimingMode && timingMode == 1) {
        int32_t elapsed = tickDifference(now, lastTick);
        runLogicStep(elapsed > 0 ? elapsed / 10.0 : 0.0);
        lastTick = now;
    } else {
        int32_t bound = (int32_t)((uint32_t)now + (uint32_t)demoScene.catchUpLead);
        for (int ticks = 0; tickDifference(lastTick, bound) < 0; ++ticks) {
            if (ticks == maxTicksPerFrame) {
                lastTick = bound;
                break;
            }
            runLogicStep(1.0);
            lastTick = (int32_t)((uint32_t)lastTick + 10u);
        }
    }

    startFrame();
    void (*drawScene)(void) = shaderRenderer ? demoScene.drawSceneShader : demoScene.drawScene;
    if (drawScene)
        drawScene();

    glFinish();
    if (doubleBuffered == 1)
        glutSwapBuffers();
    else
        glFlush();
}
