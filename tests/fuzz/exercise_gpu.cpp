#include "exercise_gpu.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "offscreen.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

// The demos' face guard for the shader path, much lower: the point is the
// face walk, not llvmpipe's rasterizer.
const uint64_t mostFaces = 200000;

TmapGpuProc osmesaProc(const char *name) { return OSMesaGetProcAddress(name); }

// The renderer's own lookup for the calls made here, so they reach the
// offscreen context whichever GL library the process also links.
struct StateCalls {
    decltype(&glEnable) Enable;
    decltype(&glDisable) Disable;
    decltype(&glCullFace) CullFace;
    decltype(&glFrontFace) FrontFace;
    decltype(&glClear) Clear;
    decltype(&glGetError) GetError;
} calls;

template <typename T> void find(T &function, const char *name)
{
    function = reinterpret_cast<T>(osmesaProc(name));
    if (function == nullptr)
        std::abort();
}

void require(bool promise)
{
    if (!promise)
        std::abort();
}

struct Look {
    float eyeHeight;
    bool parallel;
    bool culling;
    GLenum cullFace;
    bool alphaTest;
};

// Views the rule treats differently: above the ground (faces inside solids
// may go), below it, with culling off, with the outside faces culled, and a
// parallel projection with the alpha test.
const Look looks[] = {
    {6.0f, false, true, GL_BACK, false}, {-4.0f, false, true, GL_BACK, false}, {6.0f, false, false, GL_BACK, true},
    {6.0f, false, true, GL_FRONT, false}, {6.0f, true, true, GL_BACK, true},
};

void viewOf(const Look &look, int width, int height, TmapGpuView &view)
{
    tmapGpuViewDefaults(&view);
    const float across = float(std::max(width, height)) * 0.5f;
    const glm::vec3 centre(across * 0.5f, -across * 0.5f, 0.0f);
    const glm::vec3 eye = centre + glm::vec3(across * 0.7f + 1.0f, -across * 0.4f - 1.0f, look.eyeHeight);
    const glm::mat4 modelview = glm::lookAt(eye, centre, glm::vec3(0.0f, 0.0f, 1.0f));
    const glm::mat4 projection = look.parallel ? glm::ortho(-across, across, -across, across, -4.0f * across - 8.0f,
                                                            4.0f * across + 8.0f)
                                               : glm::perspective(glm::radians(70.0f), 1.0f, 0.1f, 8.0f * across + 50.0f);
    std::memcpy(view.modelview, glm::value_ptr(modelview), sizeof view.modelview);
    std::memcpy(view.projection, glm::value_ptr(projection), sizeof view.projection);
    view.alphaTest = look.alphaTest;
}

// The three draws over the whole layer and over a window reaching past
// every edge; an uploaded map's draws must not fail, except the block
// draw's refusal of a window beyond the GL's or the host's means.
void drawLayer(const TmapGpuView &view)
{
    const int width = tmapWidth, height = tmapHeight;
    require(tmapGpuDrawLayer(&view, 0, 0, width, height, 0.0f, 0.0f, 0.0f, 0.5f, -0.5f) == 0);
    require(tmapGpuDrawLayerSecondGraphic(&view, -3, -2, width + 7, height + 5, 1.0f, 2.0f, 0.002f, 0.5f, -0.5f) ==
            0);
    const int windows[2][4] = {{0, 0, width, height}, {-3, -2, width + 7, height + 5}};
    for (const auto &w : windows) {
        TmapBlockFaces count;
        require(tmapCountBlockFaces(w[0], w[1], w[2], w[3], &count) == 0 || tmapError == TMAP_ERROR_OUT_OF_MEMORY);
        if (count.facesAnyFrame > mostFaces)
            continue;
        const int drawn = tmapGpuDrawBlocks(&view, w[0], w[1], w[2], w[3], float(w[0]) * 0.5f, float(-w[1]) * 0.5f,
                                            0.0f, 0.5f, -0.5f);
        require(drawn == 0 || tmapError == TMAP_ERROR_OUT_OF_MEMORY || tmapError == TMAP_ERROR_GL_LIMITS);
    }
}

} // namespace

bool openExerciseGpuContext()
{
    if (!tmapoffscreen::openContext(exerciseGpuSize, exerciseGpuSize, tmapoffscreen::Profile::core))
        return false;
    tmapGpuGetProcAddress = osmesaProc;
    find(calls.Enable, "glEnable");
    find(calls.Disable, "glDisable");
    find(calls.CullFace, "glCullFace");
    find(calls.FrontFace, "glFrontFace");
    find(calls.Clear, "glClear");
    find(calls.GetError, "glGetError");
    calls.Enable(GL_DEPTH_TEST);
    calls.FrontFace(GL_CW);
    return true;
}

int exerciseGpu(const uint8_t *data, size_t size)
{
    tmapError = 0;
    if (tmapDecodeBuffer(data, size, TMAP_TEXTURES_NONE) != 0) {
        require(tmapError != 0);
        tmapRelease();
        return -1;
    }
    tmapError = 0;
    if (tmapGpuUpload() != 0) {
        // A map that decodes is refused only for the GL's limits or memory.
        require(tmapError == TMAP_ERROR_GL_LIMITS || tmapError == TMAP_ERROR_OUT_OF_MEMORY);
        require(calls.GetError() == GL_NO_ERROR);
        tmapRelease();
        return -1;
    }
    tmapResetAnims();
    int turn = 0;
    for (const Look &look : looks) {
        look.culling ? calls.Enable(GL_CULL_FACE) : calls.Disable(GL_CULL_FACE);
        calls.CullFace(look.cullFace);
        calls.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        TmapGpuView view;
        viewOf(look, tmapWidth, tmapHeight, view);
        for (unsigned layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
            if (tmapSelectLayer(layer) < 0)
                continue;
            tmapGpuDrawFaces = turn % 2 == 0 ? TMAP_FACES_VISIBLE : TMAP_FACES_ALL;
            drawLayer(view);
            tmapGpuDrawFaces = TMAP_FACES_VISIBLE;
            drawLayer(view);
            // A changed cell: the next views see another column there.
            if (tmapWidth > 0 && tmapHeight > 0 && tmapBlockCount > 0) {
                const int x = (turn * 7) % tmapWidth, y = (turn * 3) % tmapHeight;
                tmapSetCell(x, y, (turn * 5) % tmapBlockCount);
            }
        }
        for (int tick = 0; tick < 3; ++tick)
            tmapStepAnims();
        require(calls.GetError() == GL_NO_ERROR);
        ++turn;
    }
    tmapGpuDrawFaces = TMAP_FACES_VISIBLE;
    tmapGpuRelease();
    tmapRelease();
    return 0;
}
