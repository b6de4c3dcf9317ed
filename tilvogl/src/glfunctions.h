// The library's one way to GL functions it does not link, and to the
// current context's version. The library links only OpenGL 1.1 entry points
// (all that Windows' opengl32.dll exports); everything newer is found here at
// run time: the shader renderer's whole table (gpu_gl.cpp) and grouped
// drawing's glMultiDrawArrays (bytexture_emit.cpp).
#ifndef TILVOGL_GLFUNCTIONS_H
#define TILVOGL_GLFUNCTIONS_H

#include "tilvogl/tilvogl_gpu.h" // TmapGpuProc, tmapGpuGetProcAddress

// A GL function of the current context by name ("glMultiDrawArrays"), or
// nullptr when the GL has none. Asks the program's tmapGpuGetProcAddress when
// it is set; otherwise, on Windows, wglGetProcAddress (which needs the
// context current) and then opengl32.dll's own exports, which it does not
// answer for; elsewhere the process's loaded libraries (dlsym). Not under
// Emscripten, where every GL function is linked directly.
TmapGpuProc tmapFindGlFunction(const char *name);

// glMultiDrawArrays (OpenGL 1.4) of the current context, or nullptr.
typedef void (*TmapMultiDrawArrays)(unsigned int mode, const int *firsts, const int *counts,
                                    int drawCount);
TmapMultiDrawArrays tmapFindMultiDrawArrays();

// A context's version as its GL_VERSION string gives it: "4.5 (Compatibility
// Profile) Mesa ...", "OpenGL ES 3.2 Mesa ...".
struct TmapGlVersion {
    int major;
    int minor;
    bool embedded; // OpenGL ES (any flavour) or WebGL
};

// Reads text, the answer of glGetString(GL_VERSION); false for NULL (no
// context is current) and for text that names no version.
bool tmapReadGlVersion(const char *text, TmapGlVersion &version);

#endif
