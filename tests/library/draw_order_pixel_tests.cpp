// Drawing grouped by texture must not change the picture: every demo scene,
// in its own GL state, drawn for several consecutive frames in both orders
// (and grouped with the faces the view cannot show left out, as the demos'
// --batched draws) through Mesa's offscreen renderer, over the demo maps and
// random maps, from eight camera angles each, and the pixels compared.
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "pixel_maps.h"
#include "pixel_scenes.h"
#include "tilvogl/tilvogl.h"

// Forgets everything grouped drawing kept, so that the next draw works its
// order out afresh (the library's own, run when a map is released).
void tmapReleaseDrawScratch(void);

namespace {

const int width = tmapscenes::windowWidth, height = tmapscenes::windowHeight;
const int framesPerRun = 2;

struct Case {
    const char *name;
    const tmapscenes::Scene &scene;
    const char *map;  // a demo map file, or "random" (pixel_maps.h)
};

// The scene's start-up: the common state, the map, and a scene that draws
// from a display list compiles it.
void setUpScene(const tmapscenes::Scene &scene, const tmapwriter::Bytes &image)
{
    setUpFixedFunctionScene(scene);
    ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), 10), 0) << tmapErrorString(tmapError);
    tmapResetAnims();
    if (scene.compiledAtStart) {
        glNewList(1, GL_COMPILE);
        tmapscenes::drawPass(scene.passes[0]);
        glEndList();
    }
}

// One frame as the scene draws it, turned by the camera angle's number.
void drawFrame(const tmapscenes::Scene &scene, int angle, int frame)
{
    startFixedFunctionFrame(scene, frame);
    drawFixedFunctionFrame(scene, sceneFrame(scene, angle, frame, tmapTileHeight), scene.compiledAtStart ? 1 : 0);
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
    int faces = TMAP_FACES_ALL;
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
    tmapDrawFaces = run.faces;
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
    tmapDrawFaces = TMAP_FACES_ALL;
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
    using namespace tmapscenes;
    const Case cases[] = {
        {"shipdemo", shipdemo, shipdemo.mapFile}, {"shipdemo", shipdemo, "random"},
        {"spinblend", spinblend, spinblend.mapFile}, {"spinblend", spinblend, "random"},
        {"spinlit", spinlit, spinlit.mapFile}, {"spinlit", spinlit, "random"},
        {"isoview", isoview, isoview.mapFile}, {"isoview", isoview, "random"},
    };
#ifdef TILVOGL_FEWER_ANGLES
    const int angles = 2;
#else
    const int angles = 8;
#endif
    for (const Case &c : cases) {
        const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, c.map);
        ASSERT_FALSE(image.empty()) << c.map;
        // spinlit's list is replayed under every turn, so it keeps every face.
        struct Run batched;
        batched.faces = c.scene.compiledAtStart ? TMAP_FACES_ALL : TMAP_FACES_VISIBLE;
        long differing = 0, worstFrame = 0, frames = 0, worstBatched = 0;
        for (int angle = 0; angle < angles; ++angle) {
            auto cellOrder = render(c, image, angle, TMAP_DRAW_CELL_ORDER);
            auto grouped = render(c, image, angle, TMAP_DRAW_BY_TEXTURE);
            auto fewerFaces = render(c, image, angle, TMAP_DRAW_BY_TEXTURE, batched);
            ASSERT_EQ(cellOrder.size(), size_t(framesPerRun));
            ASSERT_EQ(grouped.size(), size_t(framesPerRun));
            ASSERT_EQ(fewerFaces.size(), size_t(framesPerRun));
            for (int frame = 0; frame < framesPerRun; ++frame) {
                long count = differingPixels(cellOrder[size_t(frame)], grouped[size_t(frame)]);
                differing += count;
                worstFrame = count > worstFrame ? count : worstFrame;
                count = differingPixels(cellOrder[size_t(frame)], fewerFaces[size_t(frame)]);
                worstBatched = count > worstBatched ? count : worstBatched;
                ++frames;
            }
        }
        const std::string what = std::string(c.name) + " on " + c.map;
        std::printf("%-24s %ld differing pixels in %ld frames (worst frame %ld); faces left out: worst frame %ld\n",
                    what.c_str(), differing, frames, worstFrame, worstBatched);
        EXPECT_EQ(differing, 0) << what;
        // A face left out inside a solid changes the picture only where it
        // tied in depth with the face in front of it, along their shared edge.
        EXPECT_LE(worstBatched, long(width) * height / 10000) << what << ", faces left out";
    }
}

// Frame after frame the animations change columns' heights, and the order is
// worked out again only around the changed cells: the pictures are those of
// an order worked out afresh for every frame, and the cell order's.
TEST(DrawOrderPixels, OrderKeptAcrossAnimationStepsDrawsTheFreshOrdersPicture)
{
    const Case isoview = {"isoview", tmapscenes::isoview, "random"};
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
