// The shader renderer's function table, filled through the library's one
// way to GL functions (glfunctions.h), and the check of the current
// context's version.
#include "gpu_gl.h"
#include "glfunctions.h"

TmapGpuFunctions tmapGl;

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
        TmapGpuProc function = tmapFindGlFunction("gl" #name);                                     \
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
    TmapGlVersion version;
    if (!tmapReadGlVersion(reinterpret_cast<const char *>(tmapGl.GetString(GL_VERSION)), version))
        return false;
    context.embedded = version.embedded;
    context.version = version.major * 10 + version.minor;
    if (version.embedded)
        return version.major >= 3;
    return version.major > 3 || (version.major == 3 && version.minor >= 3);
}
