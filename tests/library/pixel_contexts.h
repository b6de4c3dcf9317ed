// The contexts the picture tests draw in: Mesa's offscreen compatibility
// context for the fixed-function path, an OpenGL 3.3 core context (offscreen
// Mesa) and an OpenGL ES 3 context (EGL's surfaceless platform, drawing into
// a framebuffer object) for the shader renderer, and the GL calls a test
// makes itself on the shader renderer's contexts.
#ifndef TILVOGL_TESTS_PIXEL_CONTEXTS_H
#define TILVOGL_TESTS_PIXEL_CONTEXTS_H

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pixel_scenes.h"
#include "tilvogl/tilvogl_gpu.h"

enum class Renderer { fixedFunction, core, gles };
extern const char *const rendererNames[3];

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
    PFNGLUSEPROGRAMPROC UseProgram;
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

// The shader renderer's context's functions, found when it is opened.
extern SceneGl gl;
extern StateGl state;

// A function of the current shader renderer's context by name.
template <typename T> void find(T &function, const char *name)
{
    TmapGpuProc address = tmapGpuGetProcAddress(name);
    function = reinterpret_cast<T>(address);
    ASSERT_NE(address, nullptr) << name;
}

TmapGpuProc osmesaProc(const char *name);

// A context of the renderer's kind made current, drawing into pixels (or,
// for ES, into a framebuffer object that is read back into them), of the
// demos' window size.
struct Context {
    Renderer renderer;
    OSMesaContext osmesa = nullptr;
    EGLContext egl = EGL_NO_CONTEXT;
    GLuint framebuffer = 0, renderbuffers[2] = {0, 0};
    std::vector<uint8_t> pixels;

    explicit Context(Renderer r);
    bool open();
    void close();
    void readPixels();
};

// A frame of the scene through the shader renderer: each pass in its
// blending, culling and colour, with or without the alpha test. Returns the
// draws that failed or left a GL error.
int drawShader(const tmapscenes::Scene &scene, const SceneFrame &f, bool alphaTest = false);

// The scene's start-up state and a frame's clear on a shader renderer's
// context, as startFixedFunctionFrame clears on the fixed-function one.
void clearShaderFrame(const tmapscenes::Scene &scene, int frame);

#endif
