// Finding GL functions at run time, one way for the whole library, and
// reading the context's version.
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__EMSCRIPTEN__)
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h> // glMultiDrawArrays, linked directly
#elif defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h> // GetModuleHandleA, GetProcAddress: opengl32.dll's exports
#include <GL/gl.h>   // wglGetProcAddress
#else
#include <dlfcn.h> // dlsym: functions by name among the loaded libraries
#endif

#include "glfunctions.h"

extern "C" {
TmapGpuProc (*tmapGpuGetProcAddress)(const char *name) = nullptr;
}

#if !defined(__EMSCRIPTEN__)
namespace {

#if defined(_WIN32)
// Functions of the current context's driver: everything after OpenGL 1.1.
// wglGetProcAddress answers NULL for what opengl32.dll exports itself, and
// some drivers answer 1, 2, 3 or -1 for a name they lack.
TmapGpuProc findInDriver(const char *name)
{
    PROC address = wglGetProcAddress(name);
    const intptr_t value = reinterpret_cast<intptr_t>(address);
    if (value >= -1 && value <= 3)
        return nullptr;
    return reinterpret_cast<TmapGpuProc>(address);
}

TmapGpuProc findInOpenGl32(const char *name)
{
    HMODULE openGl = GetModuleHandleA("opengl32.dll");
    if (openGl == nullptr)
        return nullptr;
    return reinterpret_cast<TmapGpuProc>(GetProcAddress(openGl, name));
}
#endif

TmapGpuProc findOnThisPlatform(const char *name)
{
#if defined(_WIN32)
    TmapGpuProc function = findInDriver(name);
    return function != nullptr ? function : findInOpenGl32(name);
#else
    // A data pointer to a function pointer: the one conversion POSIX allows.
    void *address = dlsym(RTLD_DEFAULT, name);
    TmapGpuProc function;
    std::memcpy(&function, &address, sizeof function);
    return function;
#endif
}

} // namespace

TmapGpuProc tmapFindGlFunction(const char *name)
{
    if (tmapGpuGetProcAddress != nullptr)
        return tmapGpuGetProcAddress(name);
    return findOnThisPlatform(name);
}
#endif

TmapMultiDrawArrays tmapFindMultiDrawArrays()
{
#if defined(__EMSCRIPTEN__)
    return reinterpret_cast<TmapMultiDrawArrays>(glMultiDrawArrays);
#else
    return reinterpret_cast<TmapMultiDrawArrays>(tmapFindGlFunction("glMultiDrawArrays"));
#endif
}

bool tmapReadGlVersion(const char *text, TmapGlVersion &version)
{
    if (text == nullptr)
        return false;
    // "OpenGL ES 3.2", "OpenGL ES-CM 1.1": the number follows the next space.
    static const char embeddedPrefix[] = "OpenGL ES";
    version.embedded = std::strncmp(text, embeddedPrefix, sizeof embeddedPrefix - 1) == 0;
    if (version.embedded) {
        text = std::strchr(text + sizeof embeddedPrefix - 1, ' ');
        if (text == nullptr)
            return false;
        ++text;
    }
    version.major = version.minor = 0;
    return std::sscanf(text, "%d.%d", &version.major, &version.minor) == 2;
}
