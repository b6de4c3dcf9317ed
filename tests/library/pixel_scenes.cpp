#include "pixel_scenes.h"

#include "blocklight.h"
#include <tilvogl/tilvogl.h>

#include <GL/gl.h>
#include <glm/ext/matrix_clip_space.hpp>
#include <glm/gtc/type_ptr.hpp>

using tmapscenes::Pass;
using tmapscenes::Scene;
using tmapscenes::Turn;

SceneFrame sceneFrame(const Scene &scene, int angle, int frame, int tileHeight)
{
    SceneFrame f;
    const double aspect = double(tmapscenes::windowWidth) / tmapscenes::windowHeight;
    f.projection = glm::mat4(glm::perspective(glm::radians(tmapscenes::fieldOfView), aspect, tmapscenes::nearPlane,
                                              tmapscenes::farPlane));
    Turn turns[3];
    for (int k = 0; k < scene.turnCount; ++k) turns[k] = scene.turns[k];
    turns[0].degrees += angle % 2 == 0 ? 0.0f : 20.0f;
    turns[scene.turnCount - 1].degrees += 45.0f * float(angle);
    f.modelview = tmapscenes::turnedMatrix(tmapscenes::cameraMatrix(scene.camera), turns, scene.turnCount);
    const int scroll = 37 * angle + 5 * frame;
    for (int k = 0; k < scene.passCount; ++k)
        f.passes.push_back(tmapscenes::scrolledPass(scene.passes[k], scroll, 0.0f, tileHeight));
    return f;
}

void setUpFixedFunctionScene(const Scene &scene)
{
    glViewport(0, 0, tmapscenes::windowWidth, tmapscenes::windowHeight);
    if (scene.lit)
        tmapblocklight::useFixedFunctionLight(scene.lightPosition);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, scene.fogDensity);
    glFogfv(GL_FOG_COLOR, scene.fogColour);
    scene.fogged ? glEnable(GL_FOG) : glDisable(GL_FOG);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glClearColor(scene.fogColour[0], scene.fogColour[1], scene.fogColour[2], scene.fogColour[3]);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthRange(0.0, scene.depthPhases ? 0.5 : 1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_TEXTURE_2D);
}

void startFixedFunctionFrame(const Scene &scene, int frame)
{
    if (!scene.depthPhases) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    // The demos' depth-range phases: every other frame draws into the far
    // half, reversed, so the depth buffer is never cleared again.
    glClear(GL_COLOR_BUFFER_BIT);
    glDepthFunc(frame % 2 == 0 ? GL_LESS : GL_GREATER);
    glDepthRange(frame % 2 == 0 ? 0.0 : 1.0, 0.5);
}

void drawFixedFunctionFrame(const Scene &scene, const SceneFrame &frame, unsigned list)
{
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(glm::value_ptr(frame.projection));
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(glm::value_ptr(frame.modelview));
    if (scene.lit)
        glLightfv(GL_LIGHT0, GL_POSITION, scene.lightPosition);
    for (const Pass &pass : frame.passes) {
        pass.blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        pass.culled ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        glColor4f(1.0f, 1.0f, 1.0f, pass.alpha);
        if (list != 0 && frame.passes.size() == 1)
            glCallList(list);
        else
            tmapscenes::drawPass(pass);
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
