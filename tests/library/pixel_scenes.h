// The demo scenes (support/scenes) as the picture tests draw them: from the
// scene's own camera, turned further by a camera angle's number, and
// through the fixed-function path on Mesa's offscreen context.
#ifndef TILVOGL_TESTS_PIXEL_SCENES_H
#define TILVOGL_TESTS_PIXEL_SCENES_H

#include "scenes.h"

#include <glm/mat4x4.hpp>
#include <vector>

// One frame of a scene: its matrices and its passes where they stand.
struct SceneFrame {
    glm::mat4 projection, modelview;  // modelview: the camera and the turns
    std::vector<tmapscenes::Pass> passes;
};

// The scene's frame at camera angle 0 to 7: each step turns the map 45
// degrees further about its last turn's axis, and odd angles tilt it 20
// degrees about its first turn's axis. The ship scene's layers scroll on by
// 37 pixels an angle and 5 a frame (the ship at 0).
SceneFrame sceneFrame(const tmapscenes::Scene &scene, int angle, int frame, int tileHeight);

// The scene's start-up on the current fixed-function context: viewport,
// light, fog, depth, culling and clear colour as the demo shell sets them;
// texturing on.
void setUpFixedFunctionScene(const tmapscenes::Scene &scene);

// Clears for the frame: both buffers, or the colour and this frame's half
// of the depth range in a scene of depth phases.
void startFixedFunctionFrame(const tmapscenes::Scene &scene, int frame);

// The frame's matrices, the light set under them, and each pass in its
// blending, culling and colour. With list non-zero, a scene of one pass
// calls that display list in place of drawing the pass.
void drawFixedFunctionFrame(const tmapscenes::Scene &scene, const SceneFrame &frame, unsigned list = 0);

#endif
