// The demo programs' scenes, described once: the map, where the camera
// stands, how the map is turned under it, the windows of cells a frame
// draws and where, the light and the fog. The demos draw from these values
// on both paths (fixed function and shader renderer), and the picture tests
// draw the same scenes from them, so a test that passes shows the demos'
// own pictures.
#ifndef TILVOGL_SUPPORT_SCENES_H
#define TILVOGL_SUPPORT_SCENES_H

#include <tilvogl/tilvogl_gpu.h>  // TmapGpuView

#include <glm/mat4x4.hpp>  // glm::mat4
#include <stdint.h>

namespace tmapscenes {

// The window every demo opens, and the perspective its reshape sets:
// 90 degrees vertically, near and far planes at 1 and 200.
const int windowWidth = 640;
const int windowHeight = 480;
const double fieldOfView = 90.0;
const double nearPlane = 1.0;
const double farPlane = 200.0;

// gluLookAt's arguments.
struct Camera {
    double eye[3];
    double centre[3];
    double up[3];
};

// One rotation of the map under the camera: glRotatef's arguments.
struct Turn {
    float degrees;
    float axis[3];
};

enum PassKind {
    PASS_FIRST_GRAPHICS,   // tmapDrawLayer
    PASS_SECOND_GRAPHICS,  // tmapDrawLayerSecondGraphic
    PASS_BLOCKS            // tmapDrawBlocks
};

// One draw of a frame: which layer, the draw's arguments, and the state the
// scene draws it in.
struct Pass {
    PassKind kind;
    unsigned layer;
    int cellX, cellY, columns, rows;
    float originX, originY, z, cellWidth, cellHeight;
    bool blend;       // alpha blending, GL_SRC_ALPHA over GL_ONE_MINUS_SRC_ALPHA
    bool culled;      // back faces culled (the ship, drawn before, turns culling off)
    float alpha;      // the colour's alpha, which the texels are multiplied by
    // A layer that scrolls with the ship scene: cellY and originY follow
    // scrollPos / scrollDivisor, and originX moves by -shipX / shipDivisor
    // (0 for windows that stand still). See scrolledPass.
    int scrollDivisor;
    double shipDivisor;
};

struct Scene {
    const char *mapFile;
    Camera camera;
    // Applied in order under the camera. A scene whose keys turn it has
    // three, about X, Y and Z, whose degrees start angleX, angleY, angleZ.
    Turn turns[3];
    int turnCount;
    bool lit;                 // block lighting (support/blocklight), light 0 at:
    float lightPosition[4];   // set under the turns, so the light turns with the map
    bool fogged;              // exponential fog
    float fogDensity;
    float fogColour[4];       // also the clear colour
    // Frames alternate halves of the depth range instead of clearing depth
    // (the depth range is 0 to 0.5 at start-up); otherwise every frame
    // clears both buffers, and the range is 0 to 1.
    bool depthPhases;
    // Its one pass is compiled into a display list at start-up, so frames
    // show the animations as they stood then (the shader path shows those
    // frames too).
    bool compiledAtStart;
    Pass passes[2];
    int passCount;
};

extern const Scene shipdemo;
extern const Scene spinlit;
extern const Scene spinblend;
extern const Scene isoview;

// The pass at a scroll position (in map pixels) and ship position; a
// window that stands still is returned as it is. Of the layer's position
// (scrollPos / scrollDivisor), whole rows of tileHeight pixels move the
// window's first row and the rest moves the plane by pixels, each 1 /
// tileHeight of the cell's height of 0.5.
Pass scrolledPass(const Pass &pass, int32_t scrollPos, float shipX, int tileHeight);

// The pass through the fixed-function path: its layer selected (a map
// without it keeps the current layer, as tmapSelectLayer does), then drawn.
// Only the draw: blending, culling and colour are the caller's.
void drawPass(const Pass &pass);

// The same through the shader renderer; the draw's result.
int drawPassShader(const TmapGpuView &view, const Pass &pass);

// The camera as a modelview matrix, as gluLookAt makes it.
glm::mat4 cameraMatrix(const Camera &camera);

// modelview rotated by the turns, as glRotatef makes it.
glm::mat4 turnedMatrix(const glm::mat4 &modelview, const Turn *turns, int count);

// A shader renderer view of the scene under the given matrices: its fog,
// and where it is lit its light, set under modelview (the turned one, as
// the fixed-function scenes set it); the rest GL's initial state.
TmapGpuView shaderView(const Scene &scene, const glm::mat4 &projection, const glm::mat4 &modelview);

} // namespace tmapscenes

#endif
