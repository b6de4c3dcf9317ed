// The shader renderer draws the fixed-function path's pictures: every demo
// scene and random maps (mirror flags, tall stacks, upper caps at rise 0,
// animations mid-cycle, fog, lighting, blended second graphics, windows
// past the layer's edges, cells changed after the upload) drawn by the
// fixed-function path on Mesa's offscreen compatibility context and by the
// shader renderer on an OpenGL 3.3 core context (offscreen Mesa) and on an
// OpenGL ES 3 context (EGL's surfaceless platform, into a framebuffer
// object), the pixels compared; sparse layers, whose empty chunks the
// renderer leaves out, and graphics sharing array layers under small GL
// limits, the same way. Then the renderer's refusals, its limits, and that
// uploading again leaves no objects behind.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "pixel_maps.h"
#include "pixel_contexts.h"
#include "pixel_scenes.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

using tmapscenes::Pass;
using tmapscenes::Scene;

const int width = tmapscenes::windowWidth, height = tmapscenes::windowHeight;
const int framesPerRun = 2;


// Straight down on a layer: flat, unlit, unfogged, the window reaching past
// the layer's first column and row.
const Scene plainFlat = {
    "TEST2A.FMP",
    {{0.0, 0.0, -14.0}, {0.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
    {{0.0f, {0, 0, 1}}}, 1,
    false, {0.0f, 0.0f, 0.0f, 0.0f},
    false, 0.1f, {0.1f, 0.0f, 0.3f, 0.5f},
    false,
    false,
    {{tmapscenes::PASS_FIRST_GRAPHICS, 0, -3, -2, 60, 60, -15.0f, 15.0f, 0.0f, 0.5f, -0.5f, false, false, 1.0f, 0, 0.0}},
    1,
};

struct Case {
    const char *name;
    const Scene &scene;
    const char *map;      // a demo map, "random" (pixel_maps.h) or "tall" (14-cube stacks)
    int cellEdits;        // cells changed between the frames
    bool pastEdges;       // the windows reach past the layer's edges
    bool nearest;         // tmapTextureFilter GL_NEAREST
};

tmapwriter::Bytes caseMap(const Case &c)
{
    if (std::string(c.map) == "tall")
        return randomPixelMap(7, 14);
    return pixelTestMap(TILVOGL_DEMO_MAP_DIR, c.map);
}

// The scene's frame at the camera angle, its windows moved past the
// layer's edges where the case asks.
SceneFrame caseFrame(const Case &c, int angle, int frame, int tileHeight)
{
    SceneFrame f = sceneFrame(c.scene, angle, frame, tileHeight);
    if (c.pastEdges) {
        for (Pass &pass : f.passes) {
            pass.cellX -= 5;
            pass.cellY += 100;
        }
    }
    return f;
}

// The GL limits the shader renderer is told of, where a run makes them
// smaller than the context's (0: the context's own).
struct Limits {
    GLint arrayLayers = 0, textureSize = 0;
};
Limits toldLimits;
TmapGpuProc (*contextProc)(const char *name) = nullptr;
decltype(&glGetIntegerv) contextGetIntegerv = nullptr;

void limitedGetIntegerv(GLenum name, GLint *values)
{
    contextGetIntegerv(name, values);
    if (name == GL_MAX_ARRAY_TEXTURE_LAYERS && toldLimits.arrayLayers > 0)
        values[0] = std::min(values[0], toldLimits.arrayLayers);
    if (name == GL_MAX_TEXTURE_SIZE && toldLimits.textureSize > 0)
        values[0] = std::min(values[0], toldLimits.textureSize);
}

TmapGpuProc limitedProc(const char *name)
{
    if (std::string(name) == "glGetIntegerv") {
        contextGetIntegerv = reinterpret_cast<decltype(&glGetIntegerv)>(contextProc(name));
        return reinterpret_cast<TmapGpuProc>(limitedGetIntegerv);
    }
    return contextProc(name);
}

// What one run draws: a scene's frames, and what changes after each.
struct RunPlan {
    const Scene *scene = nullptr;
    bool nearest = false; // tmapTextureFilter GL_NEAREST
    int frames = framesPerRun;
    std::function<SceneFrame(int frame)> frameAt;
    std::function<void(int frame)> afterFrame = [](int) {};
    bool alphaTest = false; // fragments of alpha 0 discarded, in every pass
    Limits limits;          // told to the shader renderer
};

// The frames of one run in a fresh context, animations stepped into their
// cycle before the first frame. Empty when the context or the map failed.
std::vector<std::vector<uint8_t>> render(const RunPlan &run, const tmapwriter::Bytes &image, Renderer renderer)
{
    std::vector<std::vector<uint8_t>> frames;
    Context context(renderer);
    const bool fixedFunction = renderer == Renderer::fixedFunction;
    if (!context.open()) {
        ADD_FAILURE() << "no " << rendererNames[int(renderer)] << " context";
        context.close();
        return frames;
    }
    if (!fixedFunction) {
        toldLimits = run.limits;
        contextProc = tmapGpuGetProcAddress;
        tmapGpuGetProcAddress = limitedProc;
    }
    tmapTextureFilter = run.nearest ? GL_NEAREST : GL_LINEAR;
    bool loaded = tmapDecodeBuffer(image.data(), image.size(), fixedFunction ? 10 : TMAP_TEXTURES_NONE) == 0;
    EXPECT_TRUE(loaded) << tmapErrorString(tmapError);
    if (loaded && !fixedFunction)
        loaded = tmapGpuUpload() == 0;
    EXPECT_TRUE(loaded) << tmapErrorString(tmapError);
    if (fixedFunction) {
        setUpFixedFunctionScene(*run.scene);
        glAlphaFunc(GL_GREATER, 0.0f);
        run.alphaTest ? glEnable(GL_ALPHA_TEST) : glDisable(GL_ALPHA_TEST);
    }
    tmapResetAnims();
    for (int tick = 0; tick < 2; ++tick) tmapStepAnims();
    for (int frame = 0; loaded && frame < run.frames; ++frame) {
        const SceneFrame f = run.frameAt(frame);
        if (fixedFunction) {
            startFixedFunctionFrame(*run.scene, frame);
            drawFixedFunctionFrame(*run.scene, f);
        } else {
            clearShaderFrame(*run.scene, frame);
            EXPECT_EQ(drawShader(*run.scene, f, run.alphaTest), 0) << rendererNames[int(renderer)];
        }
        context.readPixels();
        frames.push_back(context.pixels);
        run.afterFrame(frame);
    }
    tmapGpuRelease();
    tmapRelease();
    tmapTextureFilter = GL_LINEAR;
    toldLimits = Limits();
    context.close();
    return frames;
}

// A case's run at a camera angle: animations stepped between the frames,
// and cells changed in the layer drawn (a block window lays out its faces
// again), the same in every run.
RunPlan caseRun(const Case &c, int angle)
{
    RunPlan run;
    run.scene = &c.scene;
    run.nearest = c.nearest;
    run.frameAt = [&c, angle](int frame) { return caseFrame(c, angle, frame, tmapTileHeight); };
    run.afterFrame = [&c, angle](int frame) {
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
        const Pass drawn = caseFrame(c, angle, frame, tmapTileHeight).passes.front();
        tmapSelectLayer(drawn.layer);
        const int firstX = std::max(drawn.cellX, 0), firstY = std::max(drawn.cellY, 0);
        for (int k = 0; k < c.cellEdits; ++k)
            tmapSetCell((firstX + k * 7 + angle) % tmapWidth, (firstY + (k * 3) % 40) % tmapHeight, k % 5);
    };
    return run;
}

// ---- The renderer's refusals, limits and objects ----

// A small map of 4 x 4-pixel graphics, made here: graphics, blocks (one
// column two cubes tall), an animation, and the layers asked for.
tmapwriter::Bytes smallMap(int graphics, int tileWidth, bool withLayer)
{
    tmapwriter::Map m;
    m.depth = 32;
    m.width = 6;
    m.height = 4;
    m.tileWidth = tileWidth;
    m.tileHeight = 4;
    for (int g = 0; g < graphics; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < tileWidth * 4; ++p) tmapwriter::put32(pixels, 255, uint8_t(g * 40), uint8_t(p), 200);
        m.graphics.push_back(pixels);
    }
    tmapwriter::Block stacked;
    stacked.graphic[0] = stacked.graphic[1] = stacked.graphic[2] = stacked.graphic[3] = 1 % graphics;
    stacked.flags = 0x20;
    m.blocks = {stacked, stacked, tmapwriter::Block()};
    m.frames = {0, 2};
    tmapwriter::Anim anim;
    anim.end = 2;
    m.anims.push_back(anim);
    if (withLayer)
        m.layers[0] = std::vector<int32_t>{0, 1, 2, -1, 0, 2, 2, 2, 0, 1, -1, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2};
    return tmapwriter::buildImage(m);
}

bool decodeKeepingPixels(const tmapwriter::Bytes &image)
{
    return tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE) == 0;
}

// The three draws over one window; the sum of their results.
int drawAll(const TmapGpuView *view, int cellX, int cellY, int columns, int rows)
{
    return tmapGpuDrawLayer(view, cellX, cellY, columns, rows, -1.0f, 1.0f, 0.0f, 0.5f, -0.5f) +
           tmapGpuDrawLayerSecondGraphic(view, cellX, cellY, columns, rows, -1.0f, 1.0f, 0.0f, 0.5f, -0.5f) +
           tmapGpuDrawBlocks(view, cellX, cellY, columns, rows, -1.0f, 1.0f, 0.0f, 0.5f, -0.5f);
}

// Pixels whose channels differ by more than 2 levels.
long differingPixels(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    long count = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        bool differs = false;
        for (size_t k = 0; k < 4; ++k)
            differs = differs || std::abs(int(a[i + k]) - int(b[i + k])) > 2;
        count += differs;
    }
    return count;
}

const int unchanged = -1; // tmapError as it was before the step

TEST(GpuRenderer, RefusesWhatItCannotDrawAndLeavesNoGlError)
{
    const tmapwriter::Bytes map = smallMap(3, 4, true), layerless = smallMap(3, 4, false);
    TmapGpuView view;
    tmapGpuViewDefaults(&view);

    // No context at all: the library's functions are found, the GL has no
    // version to tell.
    ASSERT_TRUE(decodeKeepingPixels(map));
    EXPECT_EQ(tmapGpuUpload(), -1);
    EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
    EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3);
    tmapGpuRelease();

    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    struct Step {
        const char *what;
        int (*action)(const TmapGpuView *view);
        int result;
        int error; // tmapError afterwards, or unchanged
    };
    const Step steps[] = {
        {"draws before any upload", [](const TmapGpuView *v) { return drawAll(v, 0, 0, 6, 4); }, -3, TMAP_ERROR_NOT_UPLOADED},
        {"upload with an unknown texture filter",
         [](const TmapGpuView *) {
             tmapTextureFilter = 0x1234;
             int result = tmapGpuUpload();
             tmapTextureFilter = GL_LINEAR;
             return result;
         },
         -1, TMAP_ERROR_INVALID_ARGUMENT},
        {"upload", [](const TmapGpuView *) { return tmapGpuUpload(); }, 0, unchanged},
        {"draws", [](const TmapGpuView *v) { return drawAll(v, 0, 0, 6, 4); }, 0, unchanged},
        {"draws without a view", [](const TmapGpuView *) { return drawAll(nullptr, 0, 0, 6, 4); }, -3, TMAP_ERROR_INVALID_ARGUMENT},
        {"zero and negative counts", [](const TmapGpuView *v) { return drawAll(v, 0, 0, 0, 4) + drawAll(v, 0, 0, -6, -4); },
         0, unchanged},
        {"windows outside the layer and around it",
         [](const TmapGpuView *v) {
             return drawAll(v, 6, 0, 3, 3) + drawAll(v, -9, -9, 9, 9) + drawAll(v, INT_MIN, INT_MIN, INT_MAX, INT_MAX) +
                    drawAll(v, INT_MAX, INT_MAX, INT_MAX, INT_MAX) + drawAll(v, -2, -2, 10, 10);
         },
         0, unchanged},
        {"cells naming no block, animation or graphic",
         [](const TmapGpuView *v) {
             tmapSetCell(0, 0, 99999);
             tmapSetCell(1, 0, INT32_MIN);
             tmapSetCell(2, 0, -50);
             tmapAnims[0].current = 77;
             return drawAll(v, 0, 0, 6, 4);
         },
         0, unchanged},
        {"a map without layers", [](const TmapGpuView *) { return 0; }, 0, unchanged},
        {"draws after the map was released", [](const TmapGpuView *v) { tmapRelease(); return drawAll(v, 0, 0, 6, 4); },
         -3, TMAP_ERROR_NOT_UPLOADED},
        {"upload with no map", [](const TmapGpuView *) { return tmapGpuUpload(); }, -1, TMAP_ERROR_NO_MAP},
        {"draws after tmapGpuRelease", [](const TmapGpuView *v) { tmapGpuRelease(); tmapGpuRelease(); return drawAll(v, 0, 0, 6, 4); },
         -3, TMAP_ERROR_NOT_UPLOADED},
    };
    for (const Step &step : steps) {
        if (std::string(step.what) == "a map without layers") {
            // Loaded and uploaded, but no layer is current to draw.
            const tmapwriter::Bytes &image = layerless;
            ASSERT_TRUE(decodeKeepingPixels(image));
            EXPECT_EQ(tmapGpuUpload(), 0);
            EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3);
            EXPECT_EQ(tmapError, TMAP_ERROR_NO_MAP) << "no current layer";
            // And back to a map with a layer for the steps after.
            ASSERT_TRUE(decodeKeepingPixels(map));
            EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3) << "a new map is not drawn before its upload";
            EXPECT_EQ(tmapError, TMAP_ERROR_NOT_UPLOADED) << "a new map is not drawn before its upload";
            EXPECT_EQ(tmapGpuUpload(), 0);
        }
        tmapError = 42;
        EXPECT_EQ(step.action(&view), step.result) << step.what;
        EXPECT_EQ(tmapError, step.error == unchanged ? 42 : step.error) << step.what;
        EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR)) << step.what;
    }
    tmapError = 0;
    tmapGpuRelease();
    tmapRelease();
    context.close();
}

TEST(GpuRenderer, UploadsMapsWithNothingToDraw)
{
    // Maps the fixed-function path plays as an empty picture.
    tmapwriter::Map header;
    header.width = 10;
    header.height = 8;
    header.depth = 32;
    tmapwriter::Map huge = header; // a header alone may count anything
    huge.width = huge.height = huge.tileWidth = huge.tileHeight = 65535;
    huge.blockCount = huge.graphicCount = 65535;
    tmapwriter::Map layerOnly = header; // cells naming no block
    layerOnly.layers[0] = std::vector<int32_t>(80, 3);
    tmapwriter::Map countedGraphics = layerOnly; // graphics counted, no "BGFX"
    countedGraphics.graphicCount = 2;
    countedGraphics.blocks.resize(2);
    countedGraphics.blocks[1].graphic[0] = 1;
    countedGraphics.layers[0] = std::vector<int32_t>(80, 1);
    const tmapwriter::Bytes layerless = smallMap(3, 4, false);
    const tmapwriter::Bytes emptyForm = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'F', 'M', 'A', 'P'};
    struct Empty {
        const char *what;
        tmapwriter::Bytes image;
        bool hasLayer;
    };
    const Empty maps[] = {
        {"an empty form", emptyForm, false},
        {"a header alone", tmapwriter::buildImage(header), false},
        {"a header of 65535 x 65535 cells, tiles and graphics alone", tmapwriter::buildImage(huge), false},
        {"a layer of cells naming no block", tmapwriter::buildImage(layerOnly), true},
        {"graphics counted but not stored", tmapwriter::buildImage(countedGraphics), true},
        {"graphics and blocks without layers", layerless, false},
    };
    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    for (const Empty &map : maps) {
        ASSERT_TRUE(decodeKeepingPixels(map.image)) << map.what << ": " << tmapErrorString(tmapError);
        tmapError = 42;
        EXPECT_EQ(tmapGpuUpload(), 0) << map.what << ": " << tmapErrorString(tmapError);
        EXPECT_EQ(tmapError, 42) << map.what;
        state.ClearColor(0.25f, 0.5f, 0.75f, 1.0f);
        state.Clear(GL_COLOR_BUFFER_BIT);
        // With a layer the windows show nothing; without one the draws say so.
        EXPECT_EQ(drawAll(&view, 0, 0, 10, 8), map.hasLayer ? 0 : -3) << map.what;
        EXPECT_EQ(tmapError, map.hasLayer ? 42 : TMAP_ERROR_NO_MAP) << map.what;
        context.readPixels();
        std::vector<uint8_t> clear(context.pixels.size());
        for (size_t i = 0; i < clear.size(); i += 4) {
            clear[i] = 64, clear[i + 1] = 128, clear[i + 2] = 191, clear[i + 3] = 255;
        }
        EXPECT_EQ(differingPixels(context.pixels, clear), 0) << map.what;
        EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR)) << map.what;
    }
    tmapError = 0;
    tmapGpuRelease();
    tmapRelease();
    context.close();
}

TEST(GpuRenderer, RefusesOnlyMapsBeyondEveryLayoutOfTheGlsLimits)
{
    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    contextProc = tmapGpuGetProcAddress;
    tmapGpuGetProcAddress = limitedProc;
    GLint maxSize = 0;
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    struct Limit {
        const char *what;
        int graphics, tileWidth;
        Limits told;
        bool uploads;
    };
    // 4 x 4 tiles: two array layers of 8 x 8 texels hold eight.
    const Limit limits[] = {
        {"more graphics than array layers, four a layer", 8, 4, {2, 8}, true},
        {"more graphics than the layers hold side by side", 9, 4, {2, 8}, false},
        {"a tile wider than the largest texture", 2, maxSize + 1, {}, false},
    };
    for (const Limit &limit : limits) {
        toldLimits = limit.told;
        ASSERT_TRUE(decodeKeepingPixels(smallMap(limit.graphics, limit.tileWidth, true))) << limit.what;
        tmapError = 42;
        EXPECT_EQ(tmapGpuUpload(), limit.uploads ? 0 : -1) << limit.what;
        EXPECT_EQ(tmapError, limit.uploads ? 42 : TMAP_ERROR_GL_LIMITS) << limit.what;
        if (!limit.uploads) {
            EXPECT_STREQ(tmapErrorString(tmapError), "map exceeds the OpenGL limits");
        }
        TmapGpuView view;
        tmapGpuViewDefaults(&view);
        EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), limit.uploads ? 0 : -3) << limit.what;
        EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR)) << limit.what;
    }
    toldLimits = Limits();
    tmapError = 0;
    tmapGpuRelease();
    tmapRelease();
    context.close();
}

// A GL that garbles the renderer's sources: a stray line in every fragment
// shader (it does not compile), or a vertex shader whose main() is renamed
// (each stage compiles, the program does not link).
enum class Garble { compiling, linking };
Garble garble;
PFNGLSHADERSOURCEPROC realShaderSource;
PFNGLGETSHADERIVPROC realGetShaderiv;

void APIENTRY garbledShaderSource(GLuint shader, GLsizei count, const GLchar *const *texts, const GLint *lengths)
{
    GLint stage = 0;
    realGetShaderiv(shader, GL_SHADER_TYPE, &stage);
    // After the version line, which must come first.
    std::vector<const GLchar *> garbled(texts, texts + count);
    if (garble == Garble::compiling && stage == GL_FRAGMENT_SHADER)
        garbled.push_back("\nthis is not GLSL;\n");
    if (garble == Garble::linking && stage == GL_VERTEX_SHADER)
        garbled.insert(garbled.begin() + 1, "#define main vertexMain\n");
    (void)lengths; // the renderer sends NUL-terminated texts
    realShaderSource(shader, GLsizei(garbled.size()), garbled.data(), nullptr);
}

TmapGpuProc garblingProc(const char *name)
{
    if (std::string(name) == "glShaderSource")
        return reinterpret_cast<TmapGpuProc>(garbledShaderSource);
    return OSMesaGetProcAddress(name);
}

TEST(GpuRenderer, ReportsAShaderTheGlRefusesWithItsLog)
{
    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    find(realShaderSource, "glShaderSource");
    find(realGetShaderiv, "glGetShaderiv");
    ASSERT_TRUE(decodeKeepingPixels(smallMap(3, 4, true)));
    struct Refusal {
        Garble garble;
        const char *logStart;
    };
    const Refusal refusals[] = {
        {Garble::compiling, "the fragment shader of the program for block columns: "},
        {Garble::linking, "linking of the program for block columns: "},
    };
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    for (const Refusal &refusal : refusals) {
        garble = refusal.garble;
        tmapGpuGetProcAddress = garblingProc;
        EXPECT_EQ(tmapGpuUpload(), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_SHADER);
        EXPECT_STREQ(tmapErrorString(tmapError), "a shader did not compile or link");
        const std::string log = tmapGpuShaderLog();
        EXPECT_EQ(log.rfind(refusal.logStart, 0), 0u) << log;
        // The GL's own words follow.
        EXPECT_GT(log.size(), std::string(refusal.logStart).size() + 10) << log;
        EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3);
        EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR)) << log;
        // The GL as it is takes the programs, and the log is emptied.
        tmapGpuGetProcAddress = osmesaProc;
        EXPECT_EQ(tmapGpuUpload(), 0);
        EXPECT_STREQ(tmapGpuShaderLog(), "");
    }
    tmapGpuRelease();
    tmapRelease();
    context.close();
}

// Live GL objects of each kind among the first names.
std::vector<int> liveObjects()
{
    int textures = 0, programs = 0, arrays = 0;
    for (GLuint name = 1; name < 2000; ++name) {
        textures += gl.IsTexture(name);
        programs += gl.IsProgram(name);
        arrays += gl.IsVertexArray(name);
    }
    return {textures, programs, arrays};
}

TEST(GpuRenderer, UploadingAgainReplacesTheObjects)
{
    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    const std::vector<int> none = liveObjects();
    const tmapwriter::Bytes images[] = {smallMap(3, 4, true), randomPixelMap(5, 3)};
    ASSERT_TRUE(decodeKeepingPixels(images[0]));
    ASSERT_EQ(tmapGpuUpload(), 0);
    const std::vector<int> once = liveObjects();
    EXPECT_GT(once[0], none[0]);
    EXPECT_EQ(once[1], none[1] + 8);
    // New maps and the same map again: always as many objects as one upload.
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(decodeKeepingPixels(images[round % 2]));
        if (round == 3) {
            EXPECT_EQ(tmapGpuUpload(), 0); // twice on the same map
        }
        ASSERT_EQ(tmapGpuUpload(), 0);
        TmapGpuView view;
        tmapGpuViewDefaults(&view);
        EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), 0);
    }
    ASSERT_TRUE(decodeKeepingPixels(images[0]));
    ASSERT_EQ(tmapGpuUpload(), 0);
    EXPECT_EQ(liveObjects(), once);
    tmapGpuRelease();
    EXPECT_EQ(liveObjects(), none);
    EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));
    tmapRelease();
    context.close();
}


TEST(GpuPixels, ShaderRendererDrawsTheFixedFunctionPicture)
{
    using namespace tmapscenes;
    const Case cases[] = {
        {"shipdemo", shipdemo, shipdemo.mapFile, 0, false, false}, {"shipdemo", shipdemo, "random", 0, false, false},
        {"spinblend", spinblend, spinblend.mapFile, 0, false, false},
        {"spinblend", spinblend, "random", 0, false, true},
        {"spinlit", spinlit, spinlit.mapFile, 0, false, false},    {"spinlit", spinlit, "tall", 0, false, false},
        {"isoview", isoview, isoview.mapFile, 0, false, false},    {"isoview", isoview, "tall", 40, true, false},
        {"flat", plainFlat, plainFlat.mapFile, 1, false, false},   {"flat", plainFlat, "random", 300, true, false},
    };
#ifdef TILVOGL_FEWER_ANGLES
    const int angles[] = {1, 6};
#else
    const int angles[] = {0, 1, 3, 6};
#endif
    const double pixels = double(width) * height;
    for (const Case &c : cases) {
        const tmapwriter::Bytes image = caseMap(c);
        ASSERT_FALSE(image.empty()) << c.map;
        // Flat, unlit, unfogged windows may differ only where cells meet.
        const double allowed = &c.scene == &plainFlat ? 0.001 : 0.005;
        const Renderer shaderRenderers[] = {Renderer::core, Renderer::gles};
        double worst[2] = {0.0, 0.0};
        for (int angle : angles) {
            const RunPlan run = caseRun(c, angle);
            auto expected = render(run, image, Renderer::fixedFunction);
            ASSERT_EQ(expected.size(), size_t(framesPerRun));
            for (int r = 0; r < 2; ++r) {
                auto drawn = render(run, image, shaderRenderers[r]);
                ASSERT_EQ(drawn.size(), size_t(framesPerRun));
                for (int frame = 0; frame < framesPerRun; ++frame) {
                    double share = double(differingPixels(expected[size_t(frame)], drawn[size_t(frame)])) / pixels;
                    worst[r] = share > worst[r] ? share : worst[r];
                }
            }
        }
        for (int r = 0; r < 2; ++r) {
            const std::string what = std::string(c.name) + " on " + c.map + ", " +
                                     rendererNames[int(shaderRenderers[r])];
            std::printf("%-40s worst frame %.4f %% of pixels differ\n", what.c_str(), 100.0 * worst[r]);
            EXPECT_LE(worst[r], allowed) << what;
        }
    }
}

// Pixels that differ (as differingPixels counts) with all eight of their
// neighbours: a cell drawn or left out wrongly, where rounding at the edges
// where cells meet makes lines one pixel wide.
long solidlyDifferingPixels(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    auto differs = [&](int x, int y) {
        const size_t i = (size_t(y) * width + size_t(x)) * 4;
        for (size_t k = 0; k < 4; ++k)
            if (std::abs(int(a[i + k]) - int(b[i + k])) > 2)
                return true;
        return false;
    };
    long count = 0;
    for (int y = 1; y + 1 < height; ++y)
        for (int x = 1; x + 1 < width; ++x) {
            bool solid = true;
            for (int dy = -1; dy <= 1 && solid; ++dy)
                for (int dx = -1; dx <= 1 && solid; ++dx)
                    solid = differs(x + dx, y + dy);
            count += solid;
        }
    return count;
}

// Pixels of a picture that are not the scene's clear colour.
long drawnPixels(const Scene &scene, const std::vector<uint8_t> &picture)
{
    long count = 0;
    for (size_t i = 0; i + 3 < picture.size(); i += 4)
        for (size_t k = 0; k < 3; ++k)
            if (std::abs(int(picture[i + k]) - int(scene.fogColour[k] * 255.0f + 0.5f)) > 2) {
                ++count;
                break;
            }
    return count;
}

// Shader pictures of each run against the fixed-function path's, frame by
// frame: the worst share of differing pixels over the runs, printed, and
// each frame checked against the share allowed, with no cell's worth of
// solidly differing pixels. Returns the fixed-function path's pictures.
std::vector<std::vector<uint8_t>> expectFixedFunctionPictures(const char *what, const tmapwriter::Bytes &image,
                                                              const RunPlan &run, double allowed)
{
    const auto expected = render(run, image, Renderer::fixedFunction);
    EXPECT_EQ(expected.size(), size_t(run.frames)) << what;
    for (Renderer renderer : {Renderer::core, Renderer::gles}) {
        const auto drawn = render(run, image, renderer);
        EXPECT_EQ(drawn.size(), expected.size()) << what;
        double worst = 0.0;
        for (size_t frame = 0; frame < drawn.size() && frame < expected.size(); ++frame) {
            worst = std::max(worst, double(differingPixels(expected[frame], drawn[frame])) / (double(width) * height));
            EXPECT_EQ(solidlyDifferingPixels(expected[frame], drawn[frame]), 0)
                << what << ", " << rendererNames[int(renderer)] << ", frame " << frame;
        }
        std::printf("%-62s %-8s worst frame %.4f %% of pixels differ\n", what, rendererNames[int(renderer)],
                    100.0 * worst);
        EXPECT_LE(worst, allowed) << what << ", " << rendererNames[int(renderer)];
    }
    return expected;
}

// A frame straight down on a window of cells (the first pass's), as
// plainFlat's camera looks, far enough for the window to fill the picture.
SceneFrame flatFrame(std::vector<Pass> passes, int frame)
{
    const Pass &first = passes.front();
    const double halfWidth = first.columns * 0.25, halfHeight = first.rows * 0.25;
    Scene scene = plainFlat;
    scene.camera.eye[2] = -1.0537 * std::max(halfHeight, halfWidth * height / width);
    SceneFrame f = sceneFrame(scene, 0, frame, tmapTileHeight);
    for (Pass &p : passes) {
        p.originX = -float(halfWidth);
        p.originY = float(halfHeight);
    }
    f.passes = passes;
    return f;
}

// A 300 x 230 map of 8 x 8 graphics with two sparse layers: graphic 0 is
// clear (the empty cell), the others have clear texels in a corner and read
// differently mirrored. Layer 0 is ground with an empty hole; layer 1 is
// empty but for islands of cells in its left third and cells along the
// layer's edges, and a third of its cells name no block; cell (133, 101)
// of layer 1
// shows animation 0, which alternates between the empty block and a
// mirrored one at every tick.
const int sparseWidth = 300, sparseHeight = 230;
const int animatedX = 133, animatedY = 101;
const int32_t noBlock = 1 << 20;

tmapwriter::Bytes sparseMap()
{
    tmapwriter::Map m;
    m.depth = 32;
    m.width = sparseWidth;
    m.height = sparseHeight;
    m.tileWidth = m.tileHeight = 8;
    for (int g = 0; g < 7; ++g) {
        tmapwriter::Bytes pixels;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                tmapwriter::put32(pixels, g == 0 || (x < 2 && y < 3) ? 0 : 255, uint8_t(40 * g), uint8_t(30 * x),
                                  uint8_t(255 - 30 * y));
        m.graphics.push_back(pixels);
    }
    // Block 0 is empty; blocks 1 to 12 show graphics 1 to 6 in all four
    // mirrorings, some with a second graphic.
    m.blocks.push_back(tmapwriter::Block());
    for (int b = 1; b <= 12; ++b) {
        tmapwriter::Block block;
        block.graphic[0] = 1 + (b - 1) % 6;
        block.graphic[1] = b % 3 == 0 ? 1 + b % 6 : 0;
        block.flags = uint8_t(((b / 2) % 4) << 6);
        m.blocks.push_back(block);
    }
    m.frames = {0, 7};
    tmapwriter::Anim anim;
    anim.end = 2;
    m.anims.push_back(anim);

    std::mt19937 random(25);
    auto below = [&](int n) { return int(random() % unsigned(n)); };
    std::vector<int32_t> ground(size_t(m.width) * m.height), sparse(ground.size(), 0);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) {
            const bool hole = x >= 100 && x < 200 && y >= 40 && y < 120;
            ground[size_t(y) * m.width + x] = hole ? (below(2) == 0 ? 0 : noBlock) : 1 + below(12);
            int32_t &cell = sparse[size_t(y) * m.width + x];
            if (below(3) == 0)
                cell = noBlock;
            const bool edge = x == 0 || y == 0 || x == m.width - 1 || y == m.height - 1;
            // Islands of 3 x 3 cells every 24 cells, some across chunk edges.
            const bool island = x < 100 && x % 24 >= 6 && x % 24 < 9 && y % 24 >= 14 && y % 24 < 17;
            if ((edge && below(2) == 0) || island)
                cell = 1 + below(12);
        }
    sparse[size_t(animatedY) * m.width + animatedX] = -1;
    m.layers[0] = ground;
    m.layers[1] = sparse;
    return tmapwriter::buildImage(m);
}

TEST(GpuPixels, SparseFlatWindowsDrawTheFixedFunctionPicture)
{
    const tmapwriter::Bytes image = sparseMap();
    // kind, layer, window, origin (set by flatFrame), z, cell size, blend, culled, alpha
    const Pass first = {tmapscenes::PASS_FIRST_GRAPHICS, 1, 0, 0, 0, 0, 0.0f, 0.0f, 0.0f, 0.5f, -0.5f,
                        true, false, 1.0f, 0, 0.0};
    auto window = [](Pass p, int cellX, int cellY, int columns, int rows) {
        p.cellX = cellX;
        p.cellY = cellY;
        p.columns = columns;
        p.rows = rows;
        return p;
    };
    auto second = [](Pass p) {
        p.kind = tmapscenes::PASS_SECOND_GRAPHICS;
        p.z = 0.002f;
        return p;
    };
    auto opaque = [](Pass p) {
        p.blend = false;
        return p;
    };
    auto onLayer = [](Pass p, unsigned layer) {
        p.layer = layer;
        return p;
    };
    const Pass whole = window(first, 0, 0, sparseWidth, sparseHeight);
    const Pass around = window(first, 96, 72, 80, 60); // the animated cell and empty chunks
    // Empty chunks given a visible cell and an animated one (showing the
    // empty block), then emptied again: the empty block and no block.
    auto fillThenEmpty = [](int frame) {
        tmapSelectLayer(1);
        tmapSetCell(120, 80, frame == 0 ? 5 : 0);
        tmapSetCell(150, 90, frame == 0 ? -1 : noBlock);
    };
    auto stepAnimation = [](int) { tmapStepAnims(); };
    auto none = [](int) {};
    struct Case {
        const char *what;
        std::vector<Pass> passes;
        bool alphaTest;
        std::function<void(int frame)> afterFrame;
        std::vector<bool> shows; // whether each of the three frames shows something
    };
    const std::vector<bool> always = {true, true, true};
    const Case cases[] = {
        {"sparse layers blended, alpha test, both graphics", {onLayer(whole, 0), whole, second(whole)}, true, none,
         always},
        {"sparse layer drawn opaque: clear cells are drawn", {opaque(whole)}, false, none, always},
        {"dense layer with an empty hole, opaque", {opaque(onLayer(whole, 0))}, false, none, always},
        {"window of empty chunks only", {window(first, 110, 30, 12, 10)}, true, none, {false, false, false}},
        {"windows past the layer's edges", {window(first, -7, -5, 60, 45), window(first, 270, 200, 60, 40)}, true,
         none, always},
        {"cells set in an empty chunk, then emptied", {around, second(around)}, true, fillThenEmpty,
         {false, true, false}},
        {"an animated cell turning empty and back", {around}, true, stepAnimation, {false, true, false}},
    };
    for (const Case &c : cases) {
        RunPlan run;
        run.scene = &plainFlat;
        run.frames = 3;
        run.frameAt = [&c](int frame) { return flatFrame(c.passes, frame); };
        run.afterFrame = c.afterFrame;
        run.alphaTest = c.alphaTest;
        // The whole layer, at about two pixels a cell, has many more pixels
        // where cells meet (and may round differently) than the windows.
        const bool whole = c.passes.front().columns == sparseWidth;
        const auto pictures = expectFixedFunctionPictures(c.what, image, run, whole ? 0.005 : 0.001);
        for (size_t frame = 0; frame < pictures.size(); ++frame)
            EXPECT_EQ(drawnPixels(plainFlat, pictures[frame]) > 0, c.shows[frame]) << c.what << ", frame " << frame;
    }
}

TEST(GpuPixels, GraphicsSharingArrayLayersDrawTheFixedFunctionPicture)
{
    // Four array layers of 128 x 128 texels: TEST2A.FMP's 49 graphics of
    // 32 x 32 lie four by four in each, the random map's 24 of 8 x 8 six
    // in a row; the tables fold at 128 entries too.
    using namespace tmapscenes;
    const Case cases[] = {
        {"flat, TEST2A.FMP, 4 x 4 graphics a layer", plainFlat, plainFlat.mapFile, 0, false, false},
        {"second graphics, random map, nearest", spinblend, "random", 0, false, true},
        {"block columns, TEST2A.FMP", spinlit, spinlit.mapFile, 0, false, false},
        {"block columns, tall stacks, nearest", isoview, "tall", 0, false, true},
    };
    for (const Case &c : cases) {
        RunPlan run = caseRun(c, 1);
        run.limits = {4, 128};
        expectFixedFunctionPictures(c.name, caseMap(c), run, &c.scene == &plainFlat ? 0.001 : 0.005);
    }
}

// ---- Several maps in one context, drawn in turn ----

struct TurnMap {
    const char *name;
    const Scene &scene;
    const char *map;
    int ticks; // animation steps before the first frame
};

enum class TurnPath { cellOrder, byTexture, core };
const char *const turnPathNames[] = {"fixed function, cell order", "fixed function, grouped", "3.3 core"};

// One frame of the current map's own scene, each draw from the scene's
// start-up state, as a program switching scenes sets it.
std::vector<uint8_t> drawTurn(Context &context, const TurnMap &t, int frame, TurnPath path)
{
    const Case c{t.name, t.scene, t.map, 0, false, false};
    const SceneFrame f = caseFrame(c, 1, frame, tmapTileHeight);
    if (path != TurnPath::core) {
        glDisable(GL_LIGHTING); // a lit scene's, drawn before
        setUpFixedFunctionScene(t.scene);
        startFixedFunctionFrame(t.scene, 0);
        drawFixedFunctionFrame(t.scene, f);
    } else {
        clearShaderFrame(t.scene, 0);
        EXPECT_EQ(drawShader(t.scene, f), 0) << t.name;
    }
    context.readPixels();
    return context.pixels;
}

bool openTurnContext(Context &context, TurnPath path)
{
    tmapDrawOrder = path == TurnPath::byTexture ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER;
    return context.open();
}

int turnTextures(TurnPath path) { return path == TurnPath::core ? TMAP_TEXTURES_NONE : TMAP_TEXTURES_GENERATED; }

// The frames of one map loaded alone in a fresh context.
std::vector<std::vector<uint8_t>> drawnAlone(const TurnMap &t, const tmapwriter::Bytes &image, TurnPath path)
{
    std::vector<std::vector<uint8_t>> frames;
    Context context(path == TurnPath::core ? Renderer::core : Renderer::fixedFunction);
    EXPECT_TRUE(openTurnContext(context, path));
    EXPECT_EQ(tmapDecodeBuffer(image.data(), image.size(), turnTextures(path)), 0) << tmapErrorString(tmapError);
    if (path == TurnPath::core) {
        EXPECT_EQ(tmapGpuUpload(), 0) << tmapErrorString(tmapError);
    }
    tmapResetAnims();
    for (int tick = 0; tick < t.ticks; ++tick) tmapStepAnims();
    for (int frame = 0; frame < framesPerRun; ++frame) {
        frames.push_back(drawTurn(context, t, frame, path));
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
    }
    tmapGpuRelease();
    tmapRelease();
    context.close();
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    return frames;
}

// Makes a map current, whether or not it is already.
void use(TmapMap *map)
{
    if (tmapMakeCurrent(map) != 0) {
        EXPECT_EQ(tmapError, TMAP_ERROR_ALREADY_CURRENT) << tmapErrorString(tmapError);
    }
}

TEST(GpuPixels, MapsDrawnInTurnShowWhatEachShowsAlone)
{
    using namespace tmapscenes;
    // Each map with its own scene and its own tick: the animations of a map
    // set aside stand still while the others step.
    const TurnMap maps[] = {{"spinblend", spinblend, spinblend.mapFile, 2},
                            {"isoview", isoview, isoview.mapFile, 5},
                            {"shipdemo", shipdemo, "random", 9}};
    std::vector<tmapwriter::Bytes> images;
    for (const TurnMap &t : maps) {
        images.push_back(pixelTestMap(TILVOGL_DEMO_MAP_DIR, t.map));
        ASSERT_FALSE(images.back().empty()) << t.map;
    }
    for (TurnPath path : {TurnPath::cellOrder, TurnPath::byTexture, TurnPath::core}) {
        std::vector<std::vector<std::vector<uint8_t>>> alone;
        for (size_t k = 0; k < 3; ++k)
            alone.push_back(drawnAlone(maps[k], images[k], path));
        for (size_t count : {size_t(2), size_t(3)}) {
            SCOPED_TRACE(std::string(turnPathNames[int(path)]) + ", " + std::to_string(count) + " maps");
            Context context(path == TurnPath::core ? Renderer::core : Renderer::fixedFunction);
            ASSERT_TRUE(openTurnContext(context, path));
            const bool core = path == TurnPath::core;
            const std::vector<int> none = core ? liveObjects() : std::vector<int>();
            if (core) {
                // Objects a released map left behind: the first switch
                // deletes them, as the next upload would.
                ASSERT_EQ(tmapDecodeBuffer(images[0].data(), images[0].size(), TMAP_TEXTURES_NONE), 0);
                ASSERT_EQ(tmapGpuUpload(), 0);
                tmapRelease();
            }
            std::vector<TmapMap *> handles;
            for (size_t k = 0; k < count; ++k) {
                TmapLoadError error;
                handles.push_back(tmapDecodeBufferAside(images[k].data(), images[k].size(), turnTextures(path), &error));
                ASSERT_NE(handles.back(), nullptr) << tmapErrorString(error.code);
                use(handles.back());
                if (path == TurnPath::core) {
                    ASSERT_EQ(tmapGpuUpload(), 0) << tmapErrorString(tmapError);
                }
                tmapResetAnims();
            }
            for (int round = 0; round < 9; ++round)
                for (size_t k = 0; k < count; ++k)
                    if (round < maps[k].ticks) {
                        use(handles[k]);
                        tmapStepAnims();
                    }
            for (int frame = 0; frame < framesPerRun; ++frame) {
                for (size_t k = 0; k < count; ++k) {
                    use(handles[k]);
                    const std::vector<uint8_t> drawn = drawTurn(context, maps[k], frame, path);
                    EXPECT_EQ(differingPixels(drawn, alone[k][size_t(frame)]), 0)
                        << maps[k].name << ", frame " << frame;
                }
                for (size_t k = 0; k < count; ++k) {
                    use(handles[k]);
                    for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
                }
            }
            // Released with the context current, the last one made current first.
            for (size_t k = count; k-- > 0;)
                tmapReleaseMap(handles[k]);
            EXPECT_EQ(core ? gl.GetError() : glGetError(), GLenum(GL_NO_ERROR));
            if (core) {
                gl.UseProgram(0); // a deleted program lives on while it is in use
                EXPECT_EQ(liveObjects(), none) << "the maps' GL objects were deleted with them";
            }
            context.close();
            tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
        }
    }
}

} // namespace
