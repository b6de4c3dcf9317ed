// GL function access for the shader renderer: the function table, filled
// from the program's loader or by name from the process's loaded GL
// libraries, and the check of the current context's version.
#include <cstdio>
#include <cstring>

#if !defined(__EMSCRIPTEN__) && !defined(_WIN32)
#include <dlfcn.h> // dlsym: functions by name among the loaded libraries
#endif

#include "gpu_gl.h"
#include "tilvogl/tilvogl_gpu.h"

TmapGpuFunctions tmapGl;

extern "C" {
TmapGpuProc (*tmapGpuGetProcAddress)(const char *name) = nullptr;
}

namespace {

// Under Emscripten the WebGL 2 functions are linked directly.
#if !defined(__EMSCRIPTEN__)
TmapGpuProc lookUp(const char *name)
{
    if (tmapGpuGetProcAddress != nullptr)
        return tmapGpuGetProcAddress(name);
#if !defined(_WIN32)
    // A data pointer to a function pointer: the one conversion POSIX allows.
    void *address = dlsym(RTLD_DEFAULT, name);
    TmapGpuProc function;
    std::memcpy(&function, &address, sizeof function);
    return function;
#else
    // Windows exports nothing newer than OpenGL 1.1: the program must set
    // tmapGpuGetProcAddress.
    return nullptr;
#endif
}
#endif

} // namespace

bool tmapGpuLoadFunctions()
{
#if defined(__EMSCRIPTEN__)
#define TMAP_GPU_LOAD(result, name, parameters) tmapGl.name = gl##name;
    TMAP_GPU_GL_FUNCTIONS(TMAP_GPU_LOAD)
#undef TMAP_GPU_LOAD
    return true;
#else
    bool complete = true;
#define TMAP_GPU_LOAD(result, name, parameters)                                                    \
    {                                                                                              \
        TmapGpuProc function = lookUp("gl" #name);                                                 \
        complete = complete && function != nullptr;                                                \
        tmapGl.name = reinterpret_cast<result(*) parameters>(function);                            \
    }
    TMAP_GPU_GL_FUNCTIONS(TMAP_GPU_LOAD)
#undef TMAP_GPU_LOAD
    return complete;
#endif
}

bool tmapGpuQueryContext(TmapGpuContext &context)
{
    // No current context: the GL answers NULL.
    const char *version = reinterpret_cast<const char *>(tmapGl.GetString(GL_VERSION));
    if (version == nullptr)
        return false;
    static const char embeddedPrefix[] = "OpenGL ES ";
    context.embedded = std::strncmp(version, embeddedPrefix, sizeof embeddedPrefix - 1) == 0;
    if (context.embedded)
        version += sizeof embeddedPrefix - 1;
    int major = 0, minor = 0;
    if (std::sscanf(version, "%d.%d", &major, &minor) != 2)
        return false;
    if (context.embedded)
        return major >= 3;
    return major > 3 || (major == 3 && minor >= 3);
}
