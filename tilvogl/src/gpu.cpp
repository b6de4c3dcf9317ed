// The shader renderer's public operations. Being built: until the upload
// and the draws land, the upload refuses with TMAP_ERROR_NO_GL_CONTEXT and
// the draws draw nothing.
#include <cstring>

#include "internal.h"
#include "tilvogl/tilvogl_gpu.h"

extern "C" {
TmapGpuProc (*tmapGpuGetProcAddress)(const char *name) = nullptr;
}

namespace {

void setVector(float *target, float a, float b, float c, float d)
{
    target[0] = a;
    target[1] = b;
    target[2] = c;
    target[3] = d;
}

void setIdentity(float *matrix)
{
    std::memset(matrix, 0, 16 * sizeof(float));
    matrix[0] = matrix[5] = matrix[10] = matrix[15] = 1.0f;
}

} // namespace

void tmapGpuViewDefaults(TmapGpuView *view)
{
    if (view == nullptr)
        return;
    std::memset(view, 0, sizeof *view);
    setIdentity(view->projection);
    setIdentity(view->modelview);
    setVector(view->colour, 1.0f, 1.0f, 1.0f, 1.0f);
    view->fogDensity = 1.0f;
    setVector(view->lightPosition, 0.0f, 0.0f, 1.0f, 0.0f);
    setVector(view->lightAmbient, 0.0f, 0.0f, 0.0f, 1.0f);
    setVector(view->lightDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    setVector(view->modelAmbient, 0.2f, 0.2f, 0.2f, 1.0f);
}

int tmapGpuUpload(void)
{
    if (tmapBlocks == nullptr && tmapGraphicPixels == nullptr)
        return -1;
    tmapError = TMAP_ERROR_NO_GL_CONTEXT;
    return -1;
}

int tmapGpuDrawLayer(const TmapGpuView *, int, int, int, int, float, float, float, float, float)
{
    return -1;
}

int tmapGpuDrawLayerSecondGraphic(const TmapGpuView *, int, int, int, int, float, float, float,
                                  float, float)
{
    return -1;
}

int tmapGpuDrawBlocks(const TmapGpuView *, int, int, int, int, float, float, float, float, float)
{
    return -1;
}

void tmapGpuRelease(void) {}
