#include "gpupicture.h"

// Blending, depth, culling and viewport: state the renderer leaves to us.
#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <GL/gl.h>
#endif

#include <glm/ext/matrix_clip_space.hpp> // glm::ortho, glm::perspective
#include <glm/ext/matrix_transform.hpp>  // glm::translate, glm::scale, glm::lookAt
#include <glm/gtc/type_ptr.hpp>          // glm::value_ptr

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

#include "blocklight.h"

namespace fmapview {

namespace {

bool hasLayer(int layer) { return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr; }

void setMatrices(TmapGpuView& gpuView, const glm::mat4& projection, const glm::mat4& modelview)
{
    std::memcpy(gpuView.projection, glm::value_ptr(projection), sizeof gpuView.projection);
    std::memcpy(gpuView.modelview, glm::value_ptr(modelview), sizeof gpuView.modelview);
}

// Cell (x, y) covers x..x+1 and -y..-y-1; columns rise toward +z. Yaw 0
// looks from beyond the last row, so the picture reads as the flat one.
glm::mat4 orbitModelview(const Orbit& orbit)
{
    glm::dvec3 target(orbit.targetX, -orbit.targetY, 0.0);
    glm::dvec3 eye;
    orbitEye(orbit, eye.x, eye.y, eye.z);
    return glm::mat4(glm::lookAt(eye, target, glm::dvec3(0.0, 0.0, 1.0)));
}

glm::mat4 orbitProjection(const Orbit& orbit, int width, int height)
{
    int largest = std::max(tmapWidth, tmapHeight);
    return glm::mat4(glm::perspective(glm::radians(45.0), double(width) / std::max(height, 1), orbit.distance * 0.02,
                                      orbit.distance * 4.0 + largest));
}

} // namespace

void drawFlatThroughShaders(const FlatView& view, const Composition& composition, int bottom)
{
    glViewport(0, bottom, view.areaWidth, view.areaHeight);
    drawCellsThroughShaders(view, composition, {visibleCells(view)});
}

void drawCellsThroughShaders(const FlatView& view, const Composition& composition,
                             const std::vector<CellRange>& rectangles)
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // Map coordinates in cells, row 0 at the top, the view's centre in the
    // middle of the area.
    TmapGpuView gpuView;
    tmapGpuViewDefaults(&gpuView);
    glm::dmat4 modelview = glm::translate(glm::dmat4(1.0), glm::dvec3(view.areaWidth / 2.0, view.areaHeight / 2.0, 0.0));
    modelview = glm::scale(modelview, glm::dvec3(view.zoom, view.zoom, 1.0));
    modelview = glm::translate(modelview, glm::dvec3(-view.centreX, -view.centreY, 0.0));
    setMatrices(gpuView, glm::mat4(glm::ortho(0.0, double(view.areaWidth), double(view.areaHeight), 0.0, -1.0, 1.0)),
                glm::mat4(modelview));

    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        if (!hasLayer(layer) || !(composition.allLayers || layer == composition.layer))
            continue;
        tmapSelectLayer(unsigned(layer));
        if (composition.allLayers)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
        // Blended over what lies below, a texel of alpha 0 changes nothing:
        // the alpha test leaves the same picture and lets the renderer skip
        // the parts of the layer that are all clear.
        gpuView.alphaTest = composition.allLayers;
        for (const CellRange& cells : rectangles)
            tmapGpuDrawLayer(&gpuView, cells.x, cells.y, cells.columns, cells.rows, float(cells.x), float(cells.y),
                             0.0f, 1.0f, 1.0f);
        if (composition.secondGraphic) {
            glEnable(GL_BLEND);
            gpuView.alphaTest = 1;
            for (const CellRange& cells : rectangles)
                tmapGpuDrawLayerSecondGraphic(&gpuView, cells.x, cells.y, cells.columns, cells.rows, float(cells.x),
                                              float(cells.y), 0.0f, 1.0f, 1.0f);
        }
    }
    glDisable(GL_BLEND);
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
}

void useBlockDepthAndCulling()
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
}

void drawBlocksThroughShaders(Orbit& orbit, const Composition& composition, int width, int height, int bottom)
{
    limitOrbit(orbit, tmapWidth, tmapHeight);

    TmapGpuView gpuView;
    tmapGpuViewDefaults(&gpuView);
    glm::mat4 modelview = orbitModelview(orbit);
    setMatrices(gpuView, orbitProjection(orbit, width, height), modelview);
    glm::vec4 light = modelview * glm::make_vec4(orbitLightPosition);
    tmapblocklight::useShaderLight(gpuView, glm::value_ptr(light));
    // Transparent texels of an upper cap let the lower cap beneath show.
    gpuView.alphaTest = 1;

    glViewport(0, bottom, width, height);
    useBlockDepthAndCulling();
    const CellRange cells = orbitCells(orbit, tmapWidth, tmapHeight);
    if (hasLayer(composition.layer) && cells.columns > 0 && cells.rows > 0)
        tmapGpuDrawBlocks(&gpuView, cells.x, cells.y, cells.columns, cells.rows, float(cells.x), float(-cells.y), 0.0f,
                          1.0f, -1.0f);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

bool groundCellAt(const Orbit& orbit, int width, int height, double x, double y, int& cellX, int& cellY)
{
    glm::dmat4 inverse = glm::inverse(glm::dmat4(orbitProjection(orbit, width, height))
                                      * glm::dmat4(orbitModelview(orbit)));
    // The ray through the pixel's centre, from the near plane to the far one.
    double ndcX = 2.0 * (x + 0.5) / width - 1.0, ndcY = 1.0 - 2.0 * (y + 0.5) / height;
    glm::dvec4 nearPoint = inverse * glm::dvec4(ndcX, ndcY, -1.0, 1.0);
    glm::dvec4 farPoint = inverse * glm::dvec4(ndcX, ndcY, 1.0, 1.0);
    glm::dvec3 from = glm::dvec3(nearPoint) / nearPoint.w, to = glm::dvec3(farPoint) / farPoint.w;
    if ((from.z > 0.0) == (to.z > 0.0))
        return false;
    glm::dvec3 ground = from + (to - from) * (from.z / (from.z - to.z));
    cellX = int(std::floor(ground.x));
    cellY = int(std::floor(-ground.y));
    return cellX >= 0 && cellY >= 0 && cellX < tmapWidth && cellY < tmapHeight;
}

} // namespace fmapview
