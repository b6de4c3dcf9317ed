#include "pixel_contexts.h"

#include <EGL/eglext.h>

using tmapscenes::Pass;
using tmapscenes::Scene;

const char *const rendererNames[3] = {"fixed function", "3.3 core", "ES 3"};

SceneGl gl;
StateGl state;

namespace {

const int width = tmapscenes::windowWidth, height = tmapscenes::windowHeight;

void findSceneFunctions()
{
#define FIND(name) find(gl.name, "gl" #name)
    FIND(Enable); FIND(Disable); FIND(BlendFunc); FIND(GetError); FIND(ReadPixels); FIND(Finish);
    FIND(IsTexture); FIND(GetIntegerv); FIND(IsProgram); FIND(UseProgram); FIND(IsVertexArray); FIND(GenFramebuffers); FIND(BindFramebuffer); FIND(DeleteFramebuffers);
    FIND(GenRenderbuffers); FIND(BindRenderbuffer); FIND(DeleteRenderbuffers); FIND(RenderbufferStorage);
    FIND(FramebufferRenderbuffer); FIND(CheckFramebufferStatus);
#undef FIND
#define FIND(name) find(state.name, "gl" #name)
    FIND(Viewport); FIND(ClearColor); FIND(Clear); FIND(DepthFunc); FIND(DepthRangef); FIND(FrontFace);
    FIND(CullFace);
#undef FIND
}

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

} // namespace

int drawShader(const Scene &scene, const SceneFrame &f, bool alphaTest)
{
    TmapGpuView view = tmapscenes::shaderView(scene, f.projection, f.modelview);
    view.alphaTest = alphaTest;
    int failures = 0;
    for (const Pass &pass : f.passes) {
        pass.blend ? gl.Enable(GL_BLEND) : gl.Disable(GL_BLEND);
        pass.culled ? gl.Enable(GL_CULL_FACE) : gl.Disable(GL_CULL_FACE);
        view.colour[3] = pass.alpha;
        failures += tmapscenes::drawPassShader(view, pass) != 0;
        failures += gl.GetError() != GL_NO_ERROR;
    }
    return failures;
}

TmapGpuProc osmesaProc(const char *name) { return OSMesaGetProcAddress(name); }

Context::Context(Renderer r) : renderer(r), pixels(size_t(width) * height * 4) {}

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

void clearShaderFrame(const Scene &scene, int frame)
{
    if (frame == 0) {
        const float *fog = scene.fogColour;
        state.Viewport(0, 0, width, height);
        state.ClearColor(fog[0], fog[1], fog[2], fog[3]);
        gl.Enable(GL_DEPTH_TEST);
        state.FrontFace(GL_CW);
        state.CullFace(GL_BACK);
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    // The depth-range phases: the depth buffer is cleared once, and every
    // other frame draws into the far half, reversed.
    const bool phases = scene.depthPhases, odd = frame % 2 != 0;
    state.DepthRangef(phases && odd ? 1.0f : 0.0f, phases ? 0.5f : 1.0f);
    state.DepthFunc(phases && odd ? GL_GREATER : GL_LESS);
    state.Clear(GL_COLOR_BUFFER_BIT | (!phases || frame == 0 ? GL_DEPTH_BUFFER_BIT : 0));
}

