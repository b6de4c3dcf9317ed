// The shader renderer draws the fixed-function path's pictures: every demo
// scene and random maps (mirror flags, tall stacks, upper caps at rise 0,
// animations mid-cycle, fog, lighting, blended second graphics, windows
// past the layer's edges, cells changed after the upload) drawn by the
// fixed-function path on Mesa's offscreen compatibility context and by the
// shader renderer on an OpenGL 3.3 core context (offscreen Mesa) and on an
// OpenGL ES 3 context (EGL's surfaceless platform, into a framebuffer
// object), the pixels compared. Then the renderer's refusals, its limits,
// and that uploading again leaves no objects behind.
#include <EGL/egl.h>
#include <EGL/eglext.h>
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
#include <string>
#include <vector>

#include "mapwriter.h"
#include "pixel_maps.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

const int width = 640, height = 480;
const int framesPerRun = 2;
const float fogColour[4] = {0.1f, 0.0f, 0.3f, 0.5f};

enum class Scene { shipdemo, spinlit, spinblend, isoview, plainFlat };
const char *const sceneNames[] = {"shipdemo", "spinlit", "spinblend", "isoview", "flat"};
enum class Renderer { fixedFunction, core, gles };
const char *const rendererNames[] = {"fixed function", "3.3 core", "ES 3"};

// One draw call of a frame and the state the scene sets for it.
struct Pass {
    enum Kind { firstGraphic, secondGraphic, blocks } kind;
    unsigned layer;
    int cellX, cellY, columns, rows;
    float originX, originY, z;
    bool blend, cull;
    float alpha; // of the colour the texels are multiplied with
};

struct Frame {
    glm::mat4 projection, modelview;
    bool lighting;
    glm::vec4 light; // set under the modelview, as the demos do
    bool fog;
    float fogDensity;
    bool depthPhases;
    std::vector<Pass> passes;
};

struct Case {
    Scene scene;
    const char *map;      // a demo map, "random" (pixel_maps.h) or "tall" (14-cube stacks)
    int cellEdits;        // cells changed between the frames
    bool pastEdges;       // the window reaches past the layer's edges
    bool nearest;         // tmapTextureFilter GL_NEAREST
};

tmapwriter::Bytes caseMap(const Case &c)
{
    if (std::string(c.map) == "tall")
        return randomPixelMap(7, 14);
    return pixelTestMap(TILVOGL_DEMO_MAP_DIR, c.map);
}

// The scene's camera, turned by the angle's number, and its draws.
Frame sceneFrame(const Case &c, int angle, int frame, int tileHeight)
{
    Frame f;
    f.projection = glm::frustum(-float(width) / height, float(width) / height, -1.0f, 1.0f, 1.0f, 200.0f);
    const float turn = 45.0f * float(angle);
    const float tilt = angle % 2 == 0 ? 0.0f : 20.0f;
    const glm::vec3 up(0.0f, 1.0f, 0.0f), xAxis(1, 0, 0), yAxis(0, 1, 0), zAxis(0, 0, 1);
    auto rotate = [&](float degrees, glm::vec3 axis) { f.modelview = glm::rotate(f.modelview, glm::radians(degrees), axis); };
    f.lighting = false;
    f.fog = true;
    f.fogDensity = 0.1f;
    f.depthPhases = true;
    const int shiftX = c.pastEdges ? -5 : 0, shiftY = c.pastEdges ? 100 : 0;
    switch (c.scene) {
    case Scene::shipdemo: {
        f.modelview = glm::lookAt(glm::vec3(0.0f, -8.4f, -3.2f), glm::vec3(0.0f, -6.0f, 0.0f), up);
        rotate(-10.0f + tilt, xAxis);
        rotate(180.0f, yAxis);
        rotate(turn, zAxis);
        f.depthPhases = false;
        const int scroll = 37 * angle + 5 * frame;
        const int tile = tileHeight;
        f.passes.push_back({Pass::firstGraphic, 0, 0, scroll / 2 / tile, 22, 50, -3.75f,
                            float((scroll / 2) % tile) / float(2 * tile) + 7.5f, 0.0f, false, true, 1.0f});
        f.passes.push_back({Pass::firstGraphic, 1, 0, scroll / tile, 22, 50, -2.0f,
                            float(scroll % tile) / float(2 * tile) + 7.5f, 2.0f, true, false, 0.7f});
        break;
    }
    case Scene::spinblend:
        f.modelview = glm::lookAt(glm::vec3(0.0f, -12.4f, -4.2f), glm::vec3(0.0f, -9.0f, 0.0f), up);
        rotate(-10.0f + tilt, xAxis);
        rotate(180.0f, yAxis);
        rotate(turn, zAxis);
        f.passes.push_back({Pass::firstGraphic, 0, 0, 0, 50, 50, -12.0f, 8.0f, 0.0f, false, true, 1.0f});
        f.passes.push_back({Pass::secondGraphic, 0, 0, 0, 50, 50, -12.0f, 8.0f, 0.002f, true, true, 1.0f});
        break;
    case Scene::spinlit:
        f.modelview = glm::lookAt(glm::vec3(0.0f, -9.4f, -4.2f), glm::vec3(0.0f, -6.0f, 0.0f), up);
        rotate(tilt, xAxis);
        rotate(180.0f, yAxis);
        rotate(-90.0f + turn, zAxis);
        f.lighting = true;
        f.light = glm::vec4(-15.0f, -15.0f, -8.0f, 0.0f);
        f.fogDensity = 0.15f;
        f.passes.push_back({Pass::blocks, 1, shiftX, shiftY, 50, 50, -12.5f, 12.5f, 0.0f, false, true, 1.0f});
        break;
    case Scene::isoview:
        f.modelview = glm::lookAt(glm::vec3(0.0f, -5.4f, -4.2f), glm::vec3(0.0f, -2.0f, 0.0f), up);
        rotate(180.0f + tilt, yAxis);
        rotate(-45.0f + turn, zAxis);
        f.lighting = true;
        f.light = glm::vec4(-15.0f, 15.0f, -8.0f, 0.0f);
        f.fogDensity = 0.15f;
        f.passes.push_back({Pass::blocks, 2, shiftX, shiftY, 50, 50, -12.5f, 12.5f, 0.0f, false, true, 1.0f});
        break;
    case Scene::plainFlat:
        // Straight down on the layer: flat, unlit, unfogged.
        f.modelview = glm::lookAt(glm::vec3(0.0f, 0.0f, -14.0f), glm::vec3(0.0f, 0.0f, 0.0f), up);
        rotate(turn + tilt, zAxis);
        f.fog = false;
        f.depthPhases = false;
        f.passes.push_back({Pass::firstGraphic, 0, shiftX - 3, shiftY - 2, 60, 60, -15.0f, 15.0f, 0.0f, false,
                            false, 1.0f});
        break;
    }
    return f;
}

// ---- Drawing a frame: fixed function on the compatibility context ----

void setUpFixedFunction()
{
    const float ambient[4] = {0.7f, 0.7f, 0.7f, 1.0f}, diffuse[4] = {1, 1, 1, 1}, model[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glEnable(GL_LIGHT0);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, fogColour);
    glEnable(GL_TEXTURE_2D);
}

void drawFixedFunction(const Frame &f)
{
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(glm::value_ptr(f.projection));
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(glm::value_ptr(f.modelview));
    if (f.lighting) {
        glLightfv(GL_LIGHT0, GL_POSITION, glm::value_ptr(f.light));
        glEnable(GL_LIGHTING);
    } else {
        glDisable(GL_LIGHTING);
    }
    if (f.fog) {
        glFogf(GL_FOG_DENSITY, f.fogDensity);
        glEnable(GL_FOG);
    } else {
        glDisable(GL_FOG);
    }
    for (const Pass &p : f.passes) {
        tmapSelectLayer(p.layer);
        p.blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        p.cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        glColor4f(1.0f, 1.0f, 1.0f, p.alpha);
        if (p.kind == Pass::firstGraphic)
            tmapDrawLayer(p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY, p.z, 0.5f, -0.5f);
        else if (p.kind == Pass::secondGraphic)
            tmapDrawLayerSecondGraphic(p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY, p.z, 0.5f, -0.5f);
        else
            tmapDrawBlocks(p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY, p.z, 0.5f, -0.5f);
    }
}

// ---- Drawing a frame: the shader renderer ----

// The GL calls of the scene's own state, from the context's own library:
// in this process the plain gl* names are the offscreen renderer's.
struct SceneGl {
    decltype(&glEnable) Enable;
    decltype(&glDisable) Disable;
    decltype(&glBlendFunc) BlendFunc;
    decltype(&glGetError) GetError;
    decltype(&glReadPixels) ReadPixels;
    decltype(&glFinish) Finish;
    decltype(&glIsTexture) IsTexture;
    decltype(&glGetIntegerv) GetIntegerv;
    PFNGLISPROGRAMPROC IsProgram;
    PFNGLISVERTEXARRAYPROC IsVertexArray;
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus;
};

// The state every demo sets at start-up, and the frame's clear.
struct StateGl {
    decltype(&glViewport) Viewport;
    decltype(&glClearColor) ClearColor;
    decltype(&glClear) Clear;
    decltype(&glDepthFunc) DepthFunc;
    PFNGLDEPTHRANGEFPROC DepthRangef;
    decltype(&glFrontFace) FrontFace;
    decltype(&glCullFace) CullFace;
};

SceneGl gl;
StateGl state;

template <typename T> void find(T &function, const char *name)
{
    TmapGpuProc address = tmapGpuGetProcAddress(name);
    function = reinterpret_cast<T>(address);
    ASSERT_NE(address, nullptr) << name;
}

void findSceneFunctions()
{
#define FIND(name) find(gl.name, "gl" #name)
    FIND(Enable); FIND(Disable); FIND(BlendFunc); FIND(GetError); FIND(ReadPixels); FIND(Finish);
    FIND(IsTexture); FIND(GetIntegerv); FIND(IsProgram); FIND(IsVertexArray); FIND(GenFramebuffers); FIND(BindFramebuffer); FIND(DeleteFramebuffers);
    FIND(GenRenderbuffers); FIND(BindRenderbuffer); FIND(DeleteRenderbuffers); FIND(RenderbufferStorage);
    FIND(FramebufferRenderbuffer); FIND(CheckFramebufferStatus);
#undef FIND
#define FIND(name) find(state.name, "gl" #name)
    FIND(Viewport); FIND(ClearColor); FIND(Clear); FIND(DepthFunc); FIND(DepthRangef); FIND(FrontFace);
    FIND(CullFace);
#undef FIND
}

int drawShader(const Frame &f)
{
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    std::copy_n(glm::value_ptr(f.projection), 16, view.projection);
    std::copy_n(glm::value_ptr(f.modelview), 16, view.modelview);
    view.fogEnabled = f.fog;
    view.fogDensity = f.fogDensity;
    std::copy_n(fogColour, 4, view.fogColour);
    view.lightingEnabled = f.lighting;
    const glm::vec4 eyeLight = f.modelview * f.light;
    std::copy_n(glm::value_ptr(eyeLight), 4, view.lightPosition);
    const float ambient[4] = {0.7f, 0.7f, 0.7f, 1.0f}, model[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    std::copy_n(ambient, 4, view.lightAmbient);
    std::copy_n(model, 4, view.modelAmbient);
    view.twoSided = 1;
    int failures = 0;
    for (const Pass &p : f.passes) {
        tmapSelectLayer(p.layer);
        p.blend ? gl.Enable(GL_BLEND) : gl.Disable(GL_BLEND);
        p.cull ? gl.Enable(GL_CULL_FACE) : gl.Disable(GL_CULL_FACE);
        view.colour[3] = p.alpha;
        int result;
        if (p.kind == Pass::firstGraphic)
            result = tmapGpuDrawLayer(&view, p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY, p.z, 0.5f, -0.5f);
        else if (p.kind == Pass::secondGraphic)
            result = tmapGpuDrawLayerSecondGraphic(&view, p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY,
                                                   p.z, 0.5f, -0.5f);
        else
            result = tmapGpuDrawBlocks(&view, p.cellX, p.cellY, p.columns, p.rows, p.originX, p.originY, p.z, 0.5f,
                                       -0.5f);
        failures += result != 0;
        failures += gl.GetError() != GL_NO_ERROR;
    }
    return failures;
}

// ---- Contexts ----

TmapGpuProc osmesaProc(const char *name) { return OSMesaGetProcAddress(name); }
TmapGpuProc eglProc(const char *name) { return eglGetProcAddress(name); }

EGLDisplay eglDisplayOnce()
{
    static EGLDisplay display = EGL_NO_DISPLAY;
    if (display != EGL_NO_DISPLAY)
        return display;
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr)
        return EGL_NO_DISPLAY;
    EGLDisplay candidate = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (candidate != EGL_NO_DISPLAY && eglInitialize(candidate, nullptr, nullptr))
        display = candidate;
    return display;
}

// A context of the renderer's kind made current, drawing into pixels (or,
// for ES, into a framebuffer object that is read back into them).
struct Context {
    Renderer renderer;
    OSMesaContext osmesa = nullptr;
    EGLContext egl = EGL_NO_CONTEXT;
    GLuint framebuffer = 0, renderbuffers[2] = {0, 0};
    std::vector<uint8_t> pixels;

    explicit Context(Renderer r) : renderer(r), pixels(size_t(width) * height * 4) {}
    bool open();
    void close();
    void readPixels();
};

bool Context::open()
{
    if (renderer == Renderer::fixedFunction) {
        osmesa = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
        return osmesa != nullptr && OSMesaMakeCurrent(osmesa, pixels.data(), GL_UNSIGNED_BYTE, width, height);
    }
    if (renderer == Renderer::core) {
        const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_PROFILE,
                                  OSMESA_CORE_PROFILE, OSMESA_CONTEXT_MAJOR_VERSION, 3,
                                  OSMESA_CONTEXT_MINOR_VERSION, 3, 0};
        osmesa = OSMesaCreateContextAttribs(attributes, nullptr);
        if (osmesa == nullptr || !OSMesaMakeCurrent(osmesa, pixels.data(), GL_UNSIGNED_BYTE, width, height))
            return false;
        tmapGpuGetProcAddress = osmesaProc;
        findSceneFunctions();
        return true;
    }
    EGLDisplay display = eglDisplayOnce();
    if (display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_ES_API))
        return false;
    // The surfaceless platform offers pbuffer configurations only.
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT,
                                       EGL_NONE};
    EGLConfig config;
    EGLint configs = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1)
        return false;
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
    egl = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (egl == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl))
        return false;
    tmapGpuGetProcAddress = eglProc;
    findSceneFunctions();
    gl.GenFramebuffers(1, &framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.GenRenderbuffers(2, renderbuffers);
    const GLenum formats[2] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
    const GLenum attachments[2] = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
    for (int k = 0; k < 2; ++k) {
        gl.BindRenderbuffer(GL_RENDERBUFFER, renderbuffers[k]);
        gl.RenderbufferStorage(GL_RENDERBUFFER, formats[k], width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, attachments[k], GL_RENDERBUFFER, renderbuffers[k]);
    }
    return gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void Context::readPixels()
{
    if (renderer == Renderer::gles)
        gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    else if (renderer == Renderer::core)
        gl.Finish();
    else
        glFinish();
}

void Context::close()
{
    if (osmesa != nullptr)
        OSMesaDestroyContext(osmesa);
    if (egl != EGL_NO_CONTEXT) {
        gl.DeleteFramebuffers(1, &framebuffer);
        gl.DeleteRenderbuffers(2, renderbuffers);
        eglMakeCurrent(eglDisplayOnce(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(eglDisplayOnce(), egl);
    }
    tmapGpuGetProcAddress = nullptr;
}

// The scene's start-up state and a frame's clear, in either kind of context.
void clearFrame(const Frame &f, int frame, bool fixedFunction)
{
    auto call = [&](auto fixed, auto shader) { fixedFunction ? fixed() : shader(); };
    if (frame == 0) {
        call([] { glViewport(0, 0, width, height); }, [] { state.Viewport(0, 0, width, height); });
        call([] { glClearColor(fogColour[0], fogColour[1], fogColour[2], fogColour[3]); },
             [] { state.ClearColor(fogColour[0], fogColour[1], fogColour[2], fogColour[3]); });
        call([] { glEnable(GL_DEPTH_TEST); }, [] { gl.Enable(GL_DEPTH_TEST); });
        call([] { glFrontFace(GL_CW); }, [] { state.FrontFace(GL_CW); });
        call([] { glCullFace(GL_BACK); }, [] { state.CullFace(GL_BACK); });
        call([] { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); },
             [] { gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); });
    }
    // The depth-range phases of the demos: the depth buffer is cleared
    // once, and every other frame draws into the far half, reversed.
    const bool odd = frame % 2 != 0;
    const float nearDepth = f.depthPhases ? (odd ? 1.0f : 0.0f) : 0.0f;
    const float farDepth = f.depthPhases ? 0.5f : 1.0f;
    const GLenum depthFunction = f.depthPhases && odd ? GL_GREATER : GL_LESS;
    const GLbitfield clear = GL_COLOR_BUFFER_BIT | (!f.depthPhases || frame == 0 ? GL_DEPTH_BUFFER_BIT : 0);
    if (fixedFunction) {
        glDepthRange(nearDepth, farDepth);
        glDepthFunc(depthFunction);
        glClear(clear);
    } else {
        state.DepthRangef(nearDepth, farDepth);
        state.DepthFunc(depthFunction);
        state.Clear(clear);
    }
}

// The frames of one run in a fresh context: animations stepped into their
// cycle before the first frame and between frames, and cells changed
// between the frames. Empty when the context or the map failed.
std::vector<std::vector<uint8_t>> render(const Case &c, const tmapwriter::Bytes &image, Renderer renderer, int angle)
{
    std::vector<std::vector<uint8_t>> frames;
    Context context(renderer);
    const bool fixedFunction = renderer == Renderer::fixedFunction;
    if (!context.open()) {
        ADD_FAILURE() << "no " << rendererNames[int(renderer)] << " context";
        context.close();
        return frames;
    }
    tmapTextureFilter = c.nearest ? GL_NEAREST : GL_LINEAR;
    bool loaded = tmapDecodeBuffer(image.data(), image.size(), fixedFunction ? 10 : TMAP_TEXTURES_NONE) == 0;
    EXPECT_TRUE(loaded) << tmapErrorString(tmapError);
    if (loaded && !fixedFunction)
        loaded = tmapGpuUpload() == 0;
    EXPECT_TRUE(loaded) << tmapErrorString(tmapError);
    if (fixedFunction)
        setUpFixedFunction();
    tmapResetAnims();
    for (int tick = 0; tick < 2; ++tick) tmapStepAnims();
    for (int frame = 0; loaded && frame < framesPerRun; ++frame) {
        const Frame f = sceneFrame(c, angle, frame, tmapTileHeight);
        clearFrame(f, frame, fixedFunction);
        if (fixedFunction)
            drawFixedFunction(f);
        else
            EXPECT_EQ(drawShader(f), 0) << rendererNames[int(renderer)];
        context.readPixels();
        frames.push_back(context.pixels);
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
        // Cells changed after the upload, the same in every run, in the
        // layer drawn (a block window lays out its faces again).
        const Pass &drawn = f.passes.front();
        tmapSelectLayer(drawn.layer);
        const int firstX = std::max(drawn.cellX, 0), firstY = std::max(drawn.cellY, 0);
        for (int k = 0; k < c.cellEdits; ++k)
            tmapSetCell((firstX + k * 7 + angle) % tmapWidth, (firstY + (k * 3) % 40) % tmapHeight, k % 5);
    }
    tmapGpuRelease();
    tmapRelease();
    tmapTextureFilter = GL_LINEAR;
    context.close();
    return frames;
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
        {"draws before any upload", [](const TmapGpuView *v) { return drawAll(v, 0, 0, 6, 4); }, -3, unchanged},
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
        {"draws without a view", [](const TmapGpuView *) { return drawAll(nullptr, 0, 0, 6, 4); }, -3, unchanged},
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
         -3, unchanged},
        {"upload with no map", [](const TmapGpuView *) { return tmapGpuUpload(); }, -1, unchanged},
        {"draws after tmapGpuRelease", [](const TmapGpuView *v) { tmapGpuRelease(); tmapGpuRelease(); return drawAll(v, 0, 0, 6, 4); },
         -3, unchanged},
    };
    for (const Step &step : steps) {
        if (std::string(step.what) == "a map without layers") {
            // Loaded and uploaded, but no layer is current to draw.
            const tmapwriter::Bytes &image = layerless;
            ASSERT_TRUE(decodeKeepingPixels(image));
            EXPECT_EQ(tmapGpuUpload(), 0);
            EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3);
            // And back to a map with a layer for the steps after.
            ASSERT_TRUE(decodeKeepingPixels(map));
            EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3) << "a new map is not drawn before its upload";
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

TEST(GpuRenderer, RefusesMapsBeyondTheGlsLimits)
{
    Context context(Renderer::core);
    ASSERT_TRUE(context.open());
    GLint maxLayers = 0, maxSize = 0;
    gl.GetIntegerv(GL_MAX_ARRAY_TEXTURE_LAYERS, &maxLayers);
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    struct Limit {
        const char *what;
        int graphics, tileWidth;
    };
    const Limit limits[] = {
        {"more graphics than array layers", maxLayers + 1, 4},
        {"a tile wider than the largest texture", 2, maxSize + 1},
    };
    for (const Limit &limit : limits) {
        ASSERT_TRUE(decodeKeepingPixels(smallMap(limit.graphics, limit.tileWidth, true))) << limit.what;
        EXPECT_EQ(tmapGpuUpload(), -1) << limit.what;
        EXPECT_EQ(tmapError, TMAP_ERROR_GL_LIMITS) << limit.what;
        EXPECT_STREQ(tmapErrorString(tmapError), "map exceeds the OpenGL limits");
        TmapGpuView view;
        tmapGpuViewDefaults(&view);
        EXPECT_EQ(drawAll(&view, 0, 0, 6, 4), -3) << limit.what;
        EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR)) << limit.what;
    }
    // Just inside the limits the same map is drawn.
    ASSERT_TRUE(decodeKeepingPixels(smallMap(maxLayers, 4, true)));
    EXPECT_EQ(tmapGpuUpload(), 0);
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
    EXPECT_EQ(once[1], none[1] + 6);
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

TEST(GpuPixels, ShaderRendererDrawsTheFixedFunctionPicture)
{
    const Case cases[] = {
        {Scene::shipdemo, "VORLA.FMP", 0, false, false},  {Scene::shipdemo, "random", 0, false, false},
        {Scene::spinblend, "TEST2A.FMP", 0, false, false}, {Scene::spinblend, "random", 0, false, true},
        {Scene::spinlit, "TEST2A.FMP", 0, false, false},  {Scene::spinlit, "tall", 0, false, false},
        {Scene::isoview, "TEST2A.FMP", 0, false, false},  {Scene::isoview, "tall", 40, true, false},
        {Scene::plainFlat, "TEST2A.FMP", 1, false, false}, {Scene::plainFlat, "random", 300, true, false},
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
        const double allowed = c.scene == Scene::plainFlat ? 0.001 : 0.005;
        const Renderer shaderRenderers[] = {Renderer::core, Renderer::gles};
        double worst[2] = {0.0, 0.0};
        for (int angle : angles) {
            auto expected = render(c, image, Renderer::fixedFunction, angle);
            ASSERT_EQ(expected.size(), size_t(framesPerRun));
            for (int r = 0; r < 2; ++r) {
                auto drawn = render(c, image, shaderRenderers[r], angle);
                ASSERT_EQ(drawn.size(), size_t(framesPerRun));
                for (int frame = 0; frame < framesPerRun; ++frame) {
                    double share = double(differingPixels(expected[size_t(frame)], drawn[size_t(frame)])) / pixels;
                    worst[r] = share > worst[r] ? share : worst[r];
                }
            }
        }
        for (int r = 0; r < 2; ++r) {
            const std::string what = std::string(sceneNames[int(c.scene)]) + " on " + c.map + ", " +
                                     rendererNames[int(shaderRenderers[r])];
            std::printf("%-40s worst frame %.4f %% of pixels differ\n", what.c_str(), 100.0 * worst[r]);
            EXPECT_LE(worst[r], allowed) << what;
        }
    }
}

} // namespace
