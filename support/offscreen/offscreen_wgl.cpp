// The offscreen context on Windows: a WGL context of a hidden window, drawing
// into a framebuffer object of the asked size where the GL has them (OpenGL
// 3.0, or any driver past Windows' own OpenGL 1.1), otherwise into the
// window itself, which the screen's size bounds.
#include "offscreen.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h> // CreateWindowExA, GetDC, pixel formats
#include <GL/gl.h>   // WGL, glReadPixels
#include <GL/glext.h> // framebuffer objects
#include <GL/wglext.h> // wglCreateContextAttribsARB

#include <cstring>

namespace tmapoffscreen {

namespace {

const char windowClass[] = "TilvoGLOffscreen";

HWND window = nullptr;
HDC deviceContext = nullptr;
HGLRC context = nullptr;
int bufferWidth = 0;
int bufferHeight = 0;

// The framebuffer object's functions, from the context's driver.
struct FramebufferGl {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus;
} fbo;
bool haveFramebuffers = false;
GLuint framebuffer = 0;
GLuint renderbuffers[2] = {0, 0}; // colour, depth

template <typename T> bool find(T &function, const char *name)
{
    // Through a pointer to a function without parameters, as GL loaders do.
    function = reinterpret_cast<T>(reinterpret_cast<void (*)()>(wglGetProcAddress(name)));
    return function != nullptr;
}

bool findFramebufferFunctions()
{
    return find(fbo.GenFramebuffers, "glGenFramebuffers") && find(fbo.BindFramebuffer, "glBindFramebuffer") &&
           find(fbo.DeleteFramebuffers, "glDeleteFramebuffers") &&
           find(fbo.GenRenderbuffers, "glGenRenderbuffers") && find(fbo.BindRenderbuffer, "glBindRenderbuffer") &&
           find(fbo.DeleteRenderbuffers, "glDeleteRenderbuffers") &&
           find(fbo.RenderbufferStorage, "glRenderbufferStorage") &&
           find(fbo.FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           find(fbo.CheckFramebufferStatus, "glCheckFramebufferStatus");
}

bool openWindow()
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA description = {};
    description.style = CS_OWNDC;
    description.lpfnWndProc = DefWindowProcA;
    description.hInstance = instance;
    description.lpszClassName = windowClass;
    // Registered once per process; a second registration fails harmlessly.
    RegisterClassA(&description);
    window = CreateWindowExA(0, windowClass, "TilvoGL offscreen", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                             nullptr, instance, nullptr);
    if (window == nullptr)
        return false;
    deviceContext = GetDC(window);
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cAlphaBits = 8;
    format.cDepthBits = 24;
    const int chosen = deviceContext != nullptr ? ChoosePixelFormat(deviceContext, &format) : 0;
    return chosen != 0 && SetPixelFormat(deviceContext, chosen, &format);
}

// A 3.3 core context, made through a compatibility context that finds
// wglCreateContextAttribsARB (which only a current context can).
HGLRC createCoreContext()
{
    HGLRC bootstrap = wglCreateContext(deviceContext);
    if (bootstrap == nullptr || !wglMakeCurrent(deviceContext, bootstrap)) {
        if (bootstrap != nullptr)
            wglDeleteContext(bootstrap);
        return nullptr;
    }
    PFNWGLCREATECONTEXTATTRIBSARBPROC createContextAttribs = nullptr;
    find(createContextAttribs, "wglCreateContextAttribsARB");
    const int attributes[] = {WGL_CONTEXT_MAJOR_VERSION_ARB, 3, WGL_CONTEXT_MINOR_VERSION_ARB, 3,
                              WGL_CONTEXT_PROFILE_MASK_ARB, WGL_CONTEXT_CORE_PROFILE_BIT_ARB, 0};
    HGLRC core = createContextAttribs != nullptr ? createContextAttribs(deviceContext, nullptr, attributes) : nullptr;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(bootstrap);
    return core;
}

} // namespace

bool openContext(int width, int height, Profile profile)
{
    closeContext();
    if (width <= 0 || height <= 0 || !openWindow()) {
        closeContext();
        return false;
    }
    context = profile == Profile::core ? createCoreContext() : wglCreateContext(deviceContext);
    if (context == nullptr || !wglMakeCurrent(deviceContext, context)) {
        closeContext();
        return false;
    }
    haveFramebuffers = findFramebufferFunctions();
    if (haveFramebuffers) {
        fbo.GenFramebuffers(1, &framebuffer);
        fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        fbo.GenRenderbuffers(2, renderbuffers);
    }
    if (!resizeContext(width, height)) {
        closeContext();
        return false;
    }
    return true;
}

bool resizeContext(int width, int height)
{
    if (context == nullptr || width <= 0 || height <= 0)
        return false;
    if (haveFramebuffers) {
        const GLenum formats[2] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
        const GLenum attachments[2] = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
        for (int k = 0; k < 2; ++k) {
            fbo.BindRenderbuffer(GL_RENDERBUFFER, renderbuffers[k]);
            fbo.RenderbufferStorage(GL_RENDERBUFFER, formats[k], width, height);
            fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, attachments[k], GL_RENDERBUFFER, renderbuffers[k]);
        }
        if (fbo.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            return false;
    } else {
        // The window's client area, as far as the screen allows it.
        RECT frame = {0, 0, width, height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client;
        GetClientRect(window, &client);
        if (client.right < width || client.bottom < height)
            return false;
        glReadBuffer(GL_BACK);
    }
    glViewport(0, 0, width, height);
    bufferWidth = width;
    bufferHeight = height;
    return true;
}

void closeContext()
{
    if (context != nullptr && wglGetCurrentContext() == context) {
        if (haveFramebuffers) {
            fbo.DeleteFramebuffers(1, &framebuffer);
            fbo.DeleteRenderbuffers(2, renderbuffers);
        }
        wglMakeCurrent(nullptr, nullptr);
    }
    if (context != nullptr)
        wglDeleteContext(context);
    if (deviceContext != nullptr)
        ReleaseDC(window, deviceContext);
    if (window != nullptr)
        DestroyWindow(window);
    context = nullptr;
    deviceContext = nullptr;
    window = nullptr;
    haveFramebuffers = false;
    framebuffer = 0;
    renderbuffers[0] = renderbuffers[1] = 0;
    bufferWidth = bufferHeight = 0;
}

tmapimage::Image readColourBuffer()
{
    tmapimage::Image image;
    if (context == nullptr)
        return image;
    glFinish();
    image.width = bufferWidth;
    image.height = bufferHeight;
    const size_t rowBytes = size_t(bufferWidth) * 4;
    std::vector<uint8_t> rows(rowBytes * size_t(bufferHeight));
    glReadPixels(0, 0, bufferWidth, bufferHeight, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    // GL keeps the bottom row first.
    image.rgba.resize(rows.size());
    for (int y = 0; y < bufferHeight; ++y)
        std::memcpy(&image.rgba[size_t(y) * rowBytes], &rows[size_t(bufferHeight - 1 - y) * rowBytes], rowBytes);
    return image;
}

} // namespace tmapoffscreen
