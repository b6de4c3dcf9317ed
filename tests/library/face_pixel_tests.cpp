// Leaving out the faces a view cannot show keeps the picture: a map of
// columns that hide their neighbours' sides (and columns that must not:
// transparent texels, missing graphics, open sides, mirrored caps,
// animations that change heights between frames), drawn from views where
// faces can be left out and views where they must not (an eye below the
// ground, culling off or the other way round, the near plane among the
// columns), by both fixed-function orders with tmapDrawFaces
// TMAP_FACES_VISIBLE against TMAP_FACES_ALL, and by the shader renderer
// with tmapGpuDrawFaces either way.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "pixel_contexts.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

const int width = tmapscenes::windowWidth, height = tmapscenes::windowHeight;
const int side = 24;
const int framesPerRun = 2;

// Graphics 1 to 10 are opaque; 11 and 12 have transparent texels; 40 names
// no graphic.
const int transparentGraphic = 11, transparentCap = 12, missingGraphic = 40;

tmapwriter::Bytes facesMap()
{
    std::mt19937 random(2525);
    auto below = [&](int n) { return int(random() % unsigned(n)); };
    tmapwriter::Map m;
    m.depth = 32;
    m.width = m.height = side;
    m.tileWidth = m.tileHeight = 8;
    for (int g = 0; g < 13; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < 64; ++p) {
            const bool clear = g >= transparentGraphic && (p % 8 == 3 || p % 8 == 4);
            tmapwriter::put32(pixels, clear ? 0 : 255, uint8_t(40 + g * 17), uint8_t(p * 4), uint8_t(200 - g * 13));
        }
        m.graphics.push_back(pixels);
    }
    // Kinds of column: solid, one side with transparent texels, a transparent
    // top, a side naming no graphic, an open side, and a graphic2 cap over
    // the ground cap; mirrored caps in turn.
    enum Kind { solid, seeThroughSide, seeThroughTop, missingSide, openSide, kinds };
    std::vector<int32_t> columns;
    for (int c = 0; c < 40; ++c) {
        const int kind = c < 20 ? solid : c % kinds;
        const int cubes = 1 + c % 4;
        columns.push_back(int32_t(m.blocks.size()));
        for (int cube = 0; cube < cubes; ++cube) {
            tmapwriter::Block b;
            for (int32_t &g : b.graphic) g = 1 + below(10);
            if (cube == cubes / 2 && kind == seeThroughSide) b.graphic[c % 4] = transparentGraphic;
            if (cube == 0 && kind == missingSide) b.graphic[c % 4] = missingGraphic;
            if (kind == openSide) b.graphic[c % 4] = 0;
            b.flags = 0x20;
            m.blocks.push_back(b);
        }
        tmapwriter::Block closing;
        closing.graphic[0] = 1 + below(10);
        closing.graphic[1] = c % 3 == 0 ? 0 : kind == seeThroughTop ? transparentCap : 1 + below(10);
        closing.flags = uint8_t((c % 4) << 6);
        m.blocks.push_back(closing);
    }
    // Animations: columns of 1 and 4 cubes in turn, and a solid column and
    // one with transparent texels in turn.
    const int32_t frames[2][2] = {{columns[0], columns[3]}, {columns[7], columns[21]}};
    for (int a = 0; a < 2; ++a) {
        tmapwriter::Anim anim;
        anim.mode = 1;
        anim.delay = 1;
        anim.start = anim.current = int32_t(m.frames.size());
        m.frames.insert(m.frames.end(), frames[a], frames[a] + 2);
        anim.end = int32_t(m.frames.size());
        m.anims.push_back(anim);
    }
    std::vector<int32_t> cells;
    for (int i = 0; i < side * side; ++i)
        cells.push_back(below(12) == 0 ? -1 - below(2) : columns[size_t(below(int(columns.size())))]);
    // The first cell drawn is a solid cube between two solid towers: seen
    // from above, every side of it is hidden or culled.
    cells[0] = cells[side + 1] = columns[0];
    cells[1] = cells[side] = columns[3];
    m.layers[0] = cells;
    return tmapwriter::buildImage(m);
}

// How a case looks at the map and what it may leave out.
enum class Expect {
    everyFace,     // nothing may be left out
    culledOnly,    // faces the GL culls, and no more
    hiddenToo,     // faces inside solids as well
    whatItCan,     // anything the rule finds
};

struct Case {
    const char *what;
    float eyeHeight;       // above the ground; negative below it
    float eyeDistance;     // from the window's centre
    bool parallel;         // a parallel projection from the eye's direction
    bool culling;
    GLenum cullFace, frontFace;
    bool reversedDepth;    // depth range 1 to 0 and GL_GREATER
    bool alphaTest;
    int cellX, cellY, columns, rows;
    float cellHeight;      // negative: rows run toward -y, as in the demos
    Expect expect;
    // GL_TEXTURE_2D on before the draw; else the fixed-function path turns
    // it on at the first side face, and the caps before it are plain. The
    // camera then looks down on the first cell drawn from inside the map.
    bool texturedFromStart = true;
};

const Case cases[] = {
    {"above, the demos' culling", 5.0f, 9.0f, false, true, GL_BACK, GL_CW, false, false, 0, 0, side, side, -0.5f,
     Expect::hiddenToo},
    {"above, with the alpha test", 5.0f, 9.0f, false, true, GL_BACK, GL_CW, false, true, 0, 0, side, side, -0.5f,
     Expect::hiddenToo},
    {"eye below the ground", -3.0f, 9.0f, false, true, GL_BACK, GL_CW, false, false, 0, 0, side, side, -0.5f,
     Expect::culledOnly},
    {"culling off", 5.0f, 9.0f, false, false, GL_BACK, GL_CW, false, false, 0, 0, side, side, -0.5f,
     Expect::everyFace},
    {"front faces culled, counter-clockwise front", 5.0f, 9.0f, false, true, GL_FRONT, GL_CCW, false, false, 0, 0,
     side, side, -0.5f, Expect::hiddenToo},
    {"outside faces culled", 5.0f, 9.0f, false, true, GL_FRONT, GL_CW, false, false, 0, 0, side, side, -0.5f,
     Expect::culledOnly},
    {"window past the layer's edges and inside them", 5.0f, 9.0f, false, true, GL_BACK, GL_CW, false, false, -3, 5,
     18, side, -0.5f, Expect::hiddenToo},
    {"eye among the columns", 0.9f, 2.5f, false, true, GL_BACK, GL_CW, false, false, 0, 0, side, side, -0.5f,
     Expect::whatItCan},
    {"parallel projection", 5.0f, 9.0f, true, true, GL_BACK, GL_CW, false, true, 0, 0, side, side, -0.5f,
     Expect::hiddenToo},
    {"rows toward +y, counter-clockwise front", 5.0f, 9.0f, false, true, GL_BACK, GL_CCW, false, false, 0, 0, side,
     side, 0.5f, Expect::hiddenToo},
    {"reversed depth range", 5.0f, 9.0f, false, true, GL_BACK, GL_CW, true, false, 0, 0, side, side, -0.5f,
     Expect::hiddenToo},
    {"texturing off until the first side face", 12.0f, 0.0f, false, true, GL_BACK, GL_CW, false, false, 0, 0, side,
     side, -0.5f, Expect::hiddenToo, false},
};

// The window stands centred on the origin, columns rising toward +z.
float originX(const Case &c) { return -0.25f * side + 0.5f * float(c.cellX); }
float originY(const Case &c) { return (c.cellHeight < 0 ? 0.25f : -0.25f) * side + c.cellHeight * float(c.cellY); }

void matrices(const Case &c, int angle, glm::mat4 &projection, glm::mat4 &modelview)
{
    const float turn = glm::radians(35.0f + 90.0f * float(angle));
    glm::vec3 eye(c.eyeDistance * std::cos(turn), c.eyeDistance * std::sin(turn), c.eyeHeight);
    glm::vec3 centre(0.0f, 0.0f, 0.5f);
    if (!c.texturedFromStart) {
        centre = glm::vec3(originX(c) + 0.25f, originY(c) + 0.5f * c.cellHeight, 0.5f);
        eye = centre + glm::vec3(1.5f + 0.5f * float(angle), 1.5f * c.cellHeight / 0.5f, c.eyeHeight);
    }
    modelview = glm::lookAt(eye, centre, glm::vec3(0.0f, 0.0f, 1.0f));
    const float aspect = float(width) / float(height);
    // Looking down on the first cell, the view narrows to it.
    const float fieldOfView = glm::radians(c.texturedFromStart ? 70.0f : 20.0f);
    projection = c.parallel ? glm::ortho(-8.0f * aspect, 8.0f * aspect, -8.0f, 8.0f, -30.0f, 30.0f)
                            : glm::perspective(fieldOfView, aspect, 0.3f, 100.0f);
}

enum class Draw { fixedAll, fixedVisible, groupedVisible, fixedVisibleBlended, shaderAll, shaderVisible };

struct Pictures {
    std::vector<std::vector<uint8_t>> frames;
    int64_t faces = 0; // of the last frame
};

// Both frames of a case through one renderer, the animations stepping
// between them.
Pictures render(const Case &c, const tmapwriter::Bytes &image, int angle, Draw draw)
{
    Pictures run;
    const bool shader = draw == Draw::shaderAll || draw == Draw::shaderVisible;
    Context context(shader ? Renderer::core : Renderer::fixedFunction);
    if (!context.open()) {
        ADD_FAILURE() << "no context";
        context.close();
        return run;
    }
    const bool loaded = tmapDecodeBuffer(image.data(), image.size(), shader ? TMAP_TEXTURES_NONE : 10) == 0 &&
                        (!shader || tmapGpuUpload() == 0);
    EXPECT_TRUE(loaded) << tmapErrorString(tmapError);
    tmapResetAnims();
    tmapDrawOrder = draw == Draw::groupedVisible ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER;
    tmapDrawFaces = draw == Draw::fixedAll ? TMAP_FACES_ALL : TMAP_FACES_VISIBLE;
    tmapGpuDrawFaces = draw == Draw::shaderAll ? TMAP_FACES_ALL : TMAP_FACES_VISIBLE;
    glm::mat4 projection, modelview;
    matrices(c, angle, projection, modelview);
    const float depthNear = c.reversedDepth ? 1.0f : 0.0f, depthFar = c.reversedDepth ? 0.0f : 1.0f;
    const GLenum depthFunction = c.reversedDepth ? GL_GREATER : GL_LESS;
    for (int frame = 0; loaded && frame < framesPerRun; ++frame) {
        if (shader) {
            state.Viewport(0, 0, width, height);
            state.ClearColor(0.1f, 0.0f, 0.3f, 1.0f);
            state.FrontFace(c.frontFace);
            state.CullFace(c.cullFace);
            c.culling ? gl.Enable(GL_CULL_FACE) : gl.Disable(GL_CULL_FACE);
            gl.Enable(GL_DEPTH_TEST);
            state.DepthRangef(depthNear, depthFar);
            state.DepthFunc(depthFunction);
            state.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            TmapGpuView view;
            tmapGpuViewDefaults(&view);
            std::copy_n(glm::value_ptr(projection), 16, view.projection);
            std::copy_n(glm::value_ptr(modelview), 16, view.modelview);
            view.alphaTest = c.alphaTest;
            EXPECT_EQ(tmapGpuDrawBlocks(&view, c.cellX, c.cellY, c.columns, c.rows, originX(c), originY(c), 0.0f,
                                        0.5f, c.cellHeight), 0);
            EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));
        } else {
            glViewport(0, 0, width, height);
            glClearColor(0.1f, 0.0f, 0.3f, 1.0f);
            glFrontFace(c.frontFace);
            glCullFace(c.cullFace);
            c.culling ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
            glEnable(GL_DEPTH_TEST);
            glDepthRange(depthNear, depthFar);
            glDepthFunc(depthFunction);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(glm::value_ptr(projection));
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(glm::value_ptr(modelview));
            glAlphaFunc(GL_GREATER, 0.0f);
            c.alphaTest ? glEnable(GL_ALPHA_TEST) : glDisable(GL_ALPHA_TEST);
            draw == Draw::fixedVisibleBlended ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
            c.texturedFromStart ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
            tmapDrawBlocks(c.cellX, c.cellY, c.columns, c.rows, originX(c), originY(c), 0.0f, 0.5f, c.cellHeight);
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        }
        context.readPixels();
        run.frames.push_back(context.pixels);
        run.faces = tmapBlockFacesDrawn();
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
    }
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    tmapDrawFaces = TMAP_FACES_ALL;
    tmapGpuDrawFaces = TMAP_FACES_VISIBLE;
    tmapGpuRelease();
    tmapRelease();
    context.close();
    return run;
}

long differingPixels(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int levels)
{
    long count = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        bool differs = false;
        for (size_t k = 0; k < 4; ++k)
            differs = differs || std::abs(int(a[i + k]) - int(b[i + k])) > levels;
        count += differs;
    }
    return count;
}

// The most differing pixels of any frame of two runs.
long worstFrame(const Pictures &a, const Pictures &b, int levels)
{
    long worst = 0;
    EXPECT_EQ(a.frames.size(), b.frames.size());
    for (size_t f = 0; f < a.frames.size() && f < b.frames.size(); ++f)
        worst = std::max(worst, differingPixels(a.frames[f], b.frames[f], levels));
    return worst;
}

// A face left out changes the picture only where it ties in depth with the
// face in front of it, along the edge they share: there the picture of every
// face shows one or the other as the depth buffer's rounding falls.
const long depthTies = long(width) * height / 10000;

TEST(FacePixels, FacesLeftOutKeepThePicture)
{
    const tmapwriter::Bytes image = facesMap();
#ifdef TILVOGL_FEWER_ANGLES
    const int angles[] = {1};
#else
    const int angles[] = {0, 2};
#endif
    for (const Case &c : cases) {
        for (int angle : angles) {
            SCOPED_TRACE(std::string(c.what) + ", angle " + std::to_string(angle));
            const Pictures all = render(c, image, angle, Draw::fixedAll);
            const Pictures visible = render(c, image, angle, Draw::fixedVisible);
            const Pictures grouped = render(c, image, angle, Draw::groupedVisible);
            const Pictures blended = render(c, image, angle, Draw::fixedVisibleBlended);
            const Pictures shaderAll = render(c, image, angle, Draw::shaderAll);
            const Pictures shader = render(c, image, angle, Draw::shaderVisible);
            EXPECT_LE(worstFrame(all, visible, 0), depthTies);
            EXPECT_LE(worstFrame(all, grouped, 0), depthTies);
            EXPECT_LE(worstFrame(shaderAll, shader, 0), depthTies);
            // Where the renderers differ (missing graphics, for one, are not
            // drawn by the shader renderer), they differ as much either way.
            EXPECT_LE(worstFrame(all, shader, 2), worstFrame(all, shaderAll, 2) + depthTies);
            EXPECT_EQ(grouped.faces, visible.faces);
            // Blended, only the faces the GL culls may be left out.
            switch (c.expect) {
            case Expect::everyFace:
                EXPECT_EQ(visible.faces, all.faces);
                EXPECT_EQ(shader.faces, shaderAll.faces);
                break;
            case Expect::culledOnly:
                EXPECT_LT(blended.faces, all.faces);
                EXPECT_EQ(visible.faces, blended.faces);
                EXPECT_LT(shader.faces, shaderAll.faces);
                break;
            case Expect::hiddenToo:
                EXPECT_LT(visible.faces, blended.faces);
                EXPECT_LT(shader.faces, shaderAll.faces);
                break;
            case Expect::whatItCan:
                break;
            }
            std::printf("%-45s angle %d: %5lld of %5lld faces (culled only %5lld), shader %5lld of %5lld; "
                        "differing pixels %ld, %ld, shader %ld\n",
                        c.what, angle, (long long)visible.faces, (long long)all.faces, (long long)blended.faces,
                        (long long)shader.faces, (long long)shaderAll.faces, worstFrame(all, visible, 0),
                        worstFrame(all, grouped, 0), worstFrame(shaderAll, shader, 0));
        }
    }
}

} // namespace
