// Drawing grouped by texture must not change the picture: every demo scene,
// in its own GL state, drawn for several consecutive frames in both orders
// through Mesa's offscreen renderer, over the demo maps and random maps, from
// eight camera angles each, and the pixels compared.
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "pixel_maps.h"
#include "tilvogl/tilvogl.h"

// Forgets everything grouped drawing kept, so that the next draw works its
// order out afresh (the library's own, run when a map is released).
void tmapReleaseDrawScratch(void);

namespace {

const int width = 640, height = 480;
const int framesPerRun = 2;

enum class Scene { shipdemo, spinlit, spinblend, isoview };

struct Case {
    Scene scene;
    const char *map;  // a demo map file, or "random" (pixel_maps.h)
};

// The usual look-at view matrix (GLU would bring in the display GL library).
void lookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ)
{
    double f[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
    double length = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double &v : f) v /= length;
    const double up[3] = {0.0, 1.0, 0.0};
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    for (double &v : s) v /= length;
    double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const GLfloat m[16] = {float(s[0]), float(u[0]), float(-f[0]), 0, float(s[1]), float(u[1]), float(-f[1]), 0,
                           float(s[2]), float(u[2]), float(-f[2]), 0, 0, 0, 0, 1};
    glMultMatrixf(m);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}

bool usesDepthPhases(Scene scene) { return scene != Scene::shipdemo; }
bool drawsBlocks(Scene scene) { return scene == Scene::spinlit || scene == Scene::isoview; }

// The scene's start-up: lighting, the common state, the map, its own set-up.
void setUpScene(Scene scene, const tmapwriter::Bytes &image)
{
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = double(width) / height;
    glFrustum(-aspect, aspect, -1.0, 1.0, 1.0, 200.0);  // 90 degrees vertically
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (drawsBlocks(scene)) {
        const float ambient[4] = {0.7f, 0.7f, 0.7f, 1.0f}, diffuse[4] = {1, 1, 1, 1},
                    model[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    }
    const float fog[4] = {0.1f, 0.0f, 0.3f, 0.5f};
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, drawsBlocks(scene) ? 0.15f : 0.1f);
    glFogfv(GL_FOG_COLOR, fog);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glClearColor(fog[0], fog[1], fog[2], fog[3]);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthRange(0.0, usesDepthPhases(scene) ? 0.5 : 1.0);
    glDepthFunc(GL_LESS);
    ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), 10), 0) << tmapErrorString(tmapError);
    tmapResetAnims();
    if (scene == Scene::spinlit) {
        tmapSelectLayer(1);
        glNewList(1, GL_COMPILE);
        glEnable(GL_TEXTURE_2D);
        tmapDrawBlocks(0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
        glEndList();
    } else if (scene == Scene::isoview) {
        tmapSelectLayer(2);
    }
}

// One frame as the scene draws it, turned by the camera angle's number.
void drawFrame(Scene scene, int angle, int frame)
{
    if (usesDepthPhases(scene)) {
        glClear(GL_COLOR_BUFFER_BIT);
        glDepthFunc(frame % 2 == 0 ? GL_LESS : GL_GREATER);
        glDepthRange(frame % 2 == 0 ? 0.0 : 1.0, 0.5);
    } else {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glLoadIdentity();
    const float turn = 45.0f * float(angle);
    const float tilt = angle % 2 == 0 ? 0.0f : 20.0f;
    switch (scene) {
    case Scene::shipdemo: {
        lookAt(0.0, -8.4, -3.2, 0.0, -6.0, 0.0);
        glPushMatrix();
        glRotatef(-10.0f + tilt, 1, 0, 0);
        glRotatef(180.0f, 0, 1, 0);
        glRotatef(turn, 0, 0, 1);
        // The scroll moves on by the angle too; 20-pixel tiles (or 8 in
        // the random map), both layers as in the scene.
        const int scroll = 37 * angle + 5 * frame;
        const int tile = tmapTileHeight;
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        tmapSelectLayer(0);
        tmapDrawLayer(0, scroll / 2 / tile, 22, 50, -3.75f, float((scroll / 2) % tile) / float(2 * tile) + 7.5f,
                      0.0f, 0.5f, -0.5f);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 0.7f);
        tmapSelectLayer(1);
        tmapDrawLayer(0, scroll / tile, 22, 50, -2.0f, float(scroll % tile) / float(2 * tile) + 7.5f, 2.0f,
                      0.5f, -0.5f);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glPopMatrix();
        break;
    }
    case Scene::spinblend:
        lookAt(0.0, -12.4, -4.2, 0.0, -9.0, 0.0);
        glPushMatrix();
        glRotatef(-10.0f + tilt, 1, 0, 0);
        glRotatef(180.0f, 0, 1, 0);
        glRotatef(turn, 0, 0, 1);
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        tmapDrawLayer(0, 0, 50, 50, -12.0f, 8.0f, 0.0f, 0.5f, -0.5f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        tmapDrawLayerSecondGraphic(0, 0, 50, 50, -12.0f, 8.0f, 0.002f, 0.5f, -0.5f);
        glPopMatrix();
        break;
    case Scene::spinlit: {
        const float light[4] = {-15.0f, -15.0f, -8.0f, 0.0f};
        lookAt(0.0, -9.4, -4.2, 0.0, -6.0, 0.0);
        glPushMatrix();
        glRotatef(tilt, 1, 0, 0);
        glRotatef(180.0f, 0, 1, 0);
        glRotatef(-90.0f + turn, 0, 0, 1);
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glDisable(GL_BLEND);
        glCallList(1);
        glPopMatrix();
        break;
    }
    case Scene::isoview: {
        const float light[4] = {-15.0f, 15.0f, -8.0f, 0.0f};
        lookAt(0.0, -5.4, -4.2, 0.0, -2.0, 0.0);
        glPushMatrix();
        glRotatef(180.0f + tilt, 0, 1, 0);
        glRotatef(-45.0f + turn, 0, 0, 1);
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        tmapDrawBlocks(0, 0, 50, 50, -12.5f, 12.5f, 0.0f, 0.5f, -0.5f);
        glPopMatrix();
        break;
    }
    }
    glFinish();
}

// How a run draws: its number of frames; grouped by texture, keeping what
// it worked out from frame to frame or working the order out afresh for
// every frame; with the scene's culling, or without (then the faces that
// neighbouring columns share tie in depth all over).
struct Run {
    int frames = framesPerRun;
    bool keepsOrder = true;
    bool culling = true;
};

// The frames of one run in a fresh context, animations stepping between.
std::vector<std::vector<uint8_t>> render(const Case &c, const tmapwriter::Bytes &image, int angle, int order,
                                         const Run &run = Run())
{
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> buffer(size_t(width) * height * 4);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    EXPECT_NE(context, nullptr);
    if (context == nullptr || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height))
        return frames;
    tmapDrawOrder = order;
    setUpScene(c.scene, image);
    if (!run.culling)
        glDisable(GL_CULL_FACE);
    for (int frame = 0; frame < run.frames; ++frame) {
        if (!run.keepsOrder)
            tmapReleaseDrawScratch();
        drawFrame(c.scene, angle, frame);
        frames.push_back(buffer);
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
    }
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    tmapRelease();
    OSMesaDestroyContext(context);
    return frames;
}

int differingPixels(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    int count = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2] || a[i + 3] != b[i + 3];
    return count;
}

TEST(DrawOrderPixels, GroupedByTextureDrawsTheCellOrdersPicture)
{
    const Case cases[] = {
        {Scene::shipdemo, "VORLA.FMP"}, {Scene::shipdemo, "random"},   {Scene::spinblend, "TEST2A.FMP"},
        {Scene::spinblend, "random"},   {Scene::spinlit, "TEST2A.FMP"}, {Scene::spinlit, "random"},
        {Scene::isoview, "TEST2A.FMP"}, {Scene::isoview, "random"},
    };
    const char *names[] = {"shipdemo", "spinlit", "spinblend", "isoview"};
#ifdef TILVOGL_FEWER_ANGLES
    const int angles = 2;
#else
    const int angles = 8;
#endif
    for (const Case &c : cases) {
        const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, c.map);
        ASSERT_FALSE(image.empty()) << c.map;
        long differing = 0, worstFrame = 0, frames = 0;
        for (int angle = 0; angle < angles; ++angle) {
            auto cellOrder = render(c, image, angle, TMAP_DRAW_CELL_ORDER);
            auto grouped = render(c, image, angle, TMAP_DRAW_BY_TEXTURE);
            ASSERT_EQ(cellOrder.size(), size_t(framesPerRun));
            ASSERT_EQ(grouped.size(), size_t(framesPerRun));
            for (int frame = 0; frame < framesPerRun; ++frame) {
                long count = differingPixels(cellOrder[size_t(frame)], grouped[size_t(frame)]);
                differing += count;
                worstFrame = count > worstFrame ? count : worstFrame;
                ++frames;
            }
        }
        const std::string what = std::string(names[int(c.scene)]) + " on " + c.map;
        std::printf("%-24s %ld differing pixels in %ld frames (worst frame %ld)\n", what.c_str(), differing,
                    frames, worstFrame);
        EXPECT_EQ(differing, 0) << what;
    }
}

// Frame after frame the animations change columns' heights, and the order is
// worked out again only around the changed cells: the pictures are those of
// an order worked out afresh for every frame, and the cell order's.
TEST(DrawOrderPixels, OrderKeptAcrossAnimationStepsDrawsTheFreshOrdersPicture)
{
    const Case isoview = {Scene::isoview, "random"};
    const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, isoview.map);
    const int frames = 6;
#ifdef TILVOGL_FEWER_ANGLES
    // Without culling the faces that neighbouring columns share tie in depth
    // all over, where a quad out of order shows most.
    const bool cullings[] = {false};
#else
    const bool cullings[] = {true, false};
#endif
    for (bool culling : cullings) {
        SCOPED_TRACE(culling ? "culling" : "no culling");
        const int angle = culling ? 3 : 0;
        auto kept = render(isoview, image, angle, TMAP_DRAW_BY_TEXTURE, {frames, true, culling});
        auto afresh = render(isoview, image, angle, TMAP_DRAW_BY_TEXTURE, {frames, false, culling});
        auto cellOrder = render(isoview, image, angle, TMAP_DRAW_CELL_ORDER, {frames, true, culling});
        ASSERT_EQ(kept.size(), size_t(frames));
        ASSERT_EQ(afresh.size(), size_t(frames));
        ASSERT_EQ(cellOrder.size(), size_t(frames));
        for (int frame = 0; frame < frames; ++frame) {
            EXPECT_EQ(differingPixels(kept[size_t(frame)], afresh[size_t(frame)]), 0) << "frame " << frame;
            EXPECT_EQ(differingPixels(kept[size_t(frame)], cellOrder[size_t(frame)]), 0) << "frame " << frame;
        }
    }
}

} // namespace
