// The shader renderer's draws: the view into uniforms, the window into a
// quad (flat) or into the faces of its columns, one GL draw call each.
#include <cstring>

#include <glm/glm.hpp>                  // glm::mat3, glm::mat4
#include <glm/gtc/matrix_inverse.hpp>   // glm::inverseTranspose
#include <glm/gtc/type_ptr.hpp>         // glm::make_mat4, glm::value_ptr

#include "facerule.h"
#include "gpu_internal.h"
#include "internal.h"
#include "tilvogl/tilvogl_gpu.h"

int tmapGpuDrawFaces = TMAP_FACES_VISIBLE;

namespace {

void setVector(float *target, float a, float b, float c, float d)
{
    target[0] = a;
    target[1] = b;
    target[2] = c;
    target[3] = d;
}

void setView(TmapGpuProgram &program, const TmapGpuView &view)
{
    if (program.viewHeld && std::memcmp(&program.heldView, &view, sizeof view) == 0)
        return;
    program.viewHeld = true;
    program.heldView = view;
    glm::mat4 projection = glm::make_mat4(view.projection);
    glm::mat4 modelview = glm::make_mat4(view.modelview);
    glm::mat4 modelviewProjection = projection * modelview;
    // Normals as the fixed function takes them with GL_NORMALIZE off.
    glm::mat3 normalMatrix = glm::inverseTranspose(glm::mat3(modelview));
    tmapGl.UniformMatrix4fv(program.modelviewProjection, 1, GL_FALSE, glm::value_ptr(modelviewProjection));
    tmapGl.UniformMatrix4fv(program.modelview, 1, GL_FALSE, view.modelview);
    tmapGl.UniformMatrix3fv(program.normalMatrix, 1, GL_FALSE, glm::value_ptr(normalMatrix));
    tmapGl.Uniform4fv(program.colour, 1, view.colour);
    tmapGl.Uniform1i(program.fogEnabled, view.fogEnabled != 0);
    tmapGl.Uniform1f(program.fogDensity, view.fogDensity);
    tmapGl.Uniform4fv(program.fogColour, 1, view.fogColour);
    tmapGl.Uniform1i(program.lightingEnabled, view.lightingEnabled != 0);
    tmapGl.Uniform4fv(program.lightPosition, 1, view.lightPosition);
    tmapGl.Uniform4fv(program.lightAmbient, 1, view.lightAmbient);
    tmapGl.Uniform4fv(program.lightDiffuse, 1, view.lightDiffuse);
    tmapGl.Uniform4fv(program.modelAmbient, 1, view.modelAmbient);
    tmapGl.Uniform1i(program.twoSided, view.twoSided != 0);
    tmapGl.Uniform1i(program.alphaTest, view.alphaTest != 0);
}

// The program with the view, the tables and the window's cells.
void useProgram(TmapGpuProgram &program, const TmapGpuView &view, int layer, GLuint layerTexture,
                const TmapSpan &across, const TmapSpan &down, float z)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    tmapGl.UseProgram(program.name);
    setView(program, view);
    tmapGl.Uniform4i(program.counts, tmapGpuBlockCount(),
                     tmapAnims != nullptr ? tmapAnimCount : 0, tmapGpuGraphicCount(), 0);
    tmapGl.Uniform2i(program.fold, copy.foldShift, copy.foldWidth - 1);
    tmapGl.Uniform2i(program.firstCell, GLint(across.begin), GLint(down.begin));
    tmapGl.Uniform1i(program.mapWidth, tmapWidth);
    tmapGl.Uniform2i(program.windowSize, GLint(across.end - across.begin), GLint(down.end - down.begin));
    tmapGl.Uniform1f(program.z, z);
    tmapGl.Uniform2i(program.graphicGrid, copy.graphicsAcross, copy.graphicsDown);
    const GLuint tables[] = {copy.layers[0], layerTexture, copy.blocks, copy.anims, copy.rises, copy.occupancy[layer]};
    for (int unit = tmapGpuUnitLayer; unit < tmapGpuUnitCount; ++unit) {
        tmapGl.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
        tmapGl.BindTexture(GL_TEXTURE_2D, tables[unit]);
    }
    tmapGl.ActiveTexture(GL_TEXTURE0);
    tmapGl.BindTexture(GL_TEXTURE_2D_ARRAY, copy.graphics);
}

// A draw that cannot draw says why.
int refuse(int code)
{
    tmapError = code;
    return -1;
}

// What every draw does first: -1 when it cannot draw at all (no view, or
// nothing uploaded for the current map and layer), 0 when the window holds
// no cell of the layer, 1 with the layer's texture and the window clipped to
// the layer.
int startDraw(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
              float originX, float originY, float cellWidth, float cellHeight,
              GLuint &layerTexture, int &layer, TmapSpan &across, TmapSpan &down)
{
    if (view == nullptr)
        return refuse(TMAP_ERROR_INVALID_ARGUMENT);
    if (!tmapGpuCopy.current)
        return refuse(TMAP_ERROR_NOT_UPLOADED);
    layerTexture = tmapGpuPrepareDraw(layer);
    if (layerTexture == 0)
        return refuse(TMAP_ERROR_NO_MAP);
    if (columns <= 0 || rows <= 0)
        return 0;
    across = tmapClipToLayer(cellX, columns, tmapWidth, originX, cellWidth);
    down = tmapClipToLayer(cellY, rows, tmapHeight, originY, cellHeight);
    return across.begin < across.end && down.begin < down.end ? 1 : 0;
}

enum class Field { graphic1, graphic2 };

// The far edge of count cells from position: one rounding, where the
// fixed-function path rounds after every cell; the two differ by a few
// units in the last place at most, and the flat window costs the same
// whatever its size.
float farEdge(float position, float step, int64_t count)
{
    return float(double(position) + double(step) * double(count));
}

int drawFlat(const TmapGpuView *view, Field field, int cellX, int cellY, int columns, int rows,
             float originX, float originY, float z, float cellWidth, float cellHeight)
{
    GLuint layerTexture = 0;
    int layer = -1;
    TmapSpan across{}, down{};
    const int ready = startDraw(view, cellX, cellY, columns, rows, originX, originY, cellWidth,
                                cellHeight, layerTexture, layer, across, down);
    if (ready <= 0)
        return ready;
    const bool animated = (tmapGpuCopy.layersAnimated >> layer) & 1u;
    TmapGpuProgram &program =
        tmapGpuCopy.programs[tmapGpuFlat | (animated ? tmapGpuAnimated : 0) | (view->fogEnabled ? 0 : tmapGpuFlatFogless)];
    useProgram(program, *view, layer, layerTexture, across, down, z);
    tmapGl.BindVertexArray(tmapGpuCopy.vertexArray);
    float x1 = farEdge(across.origin, cellWidth, across.end - across.begin);
    float y1 = farEdge(down.origin, cellHeight, down.end - down.begin);
    const float rect[4] = {across.origin, down.origin, x1, y1};
    tmapGl.Uniform4fv(program.rect, 1, rect);
    tmapGl.Uniform1i(program.graphicField, field == Field::graphic1 ? 0 : 1);
    // Chunks whose cells show nothing this draw can see are left out: with
    // the alpha test that includes graphics without a texel of alpha above 0.
    const unsigned shows = field == Field::graphic1
                               ? (view->alphaTest ? TMAP_GPU_SHOWS_GRAPHIC1_TEXELS : TMAP_GPU_SHOWS_GRAPHIC1)
                               : (view->alphaTest ? TMAP_GPU_SHOWS_GRAPHIC2_TEXELS : TMAP_GPU_SHOWS_GRAPHIC2);
    const TmapGpuChunkWindow chunks = tmapGpuChunksOfWindow(layer, shows, across, down);
    tmapGl.Uniform1i(program.showsMask, tmapGpuCopy.occupancy[layer] != 0 ? GLint(shows) : 0);
    tmapGl.Uniform4i(program.chunkWindow, chunks.cornerX, chunks.cornerY, chunks.across, chunks.shift);
    tmapGl.Uniform2i(program.chunkTable, chunks.firstEntry, chunks.rowEntries);
    tmapGl.DrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, GLsizei(chunks.across) * GLsizei(chunks.down));
    return 0;
}

unsigned char isEnabled(unsigned capability) { return tmapGl.IsEnabled(capability); }
void getIntegerv(unsigned name, int *values) { tmapGl.GetIntegerv(name, values); }
void getFloatv(unsigned name, float *values) { tmapGl.GetFloatv(name, values); }
const unsigned char *getString(unsigned name) { return tmapGl.GetString(name); }

// What a block draw through view leaves out (facerule.h): the GL's state
// now, the view's matrices and alpha test, and the near plane against the
// window's columns.
TmapFaceView viewedFaces(const TmapGpuView &view, int layer, const TmapFaceWindow &window)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    const TmapFaceStateQueries queries{isEnabled, getIntegerv, getFloatv, getString};
    TmapFaceState state = tmapReadFaceState(queries, !copy.context.embedded, copy.context.version, false);
    state.alphaTested = view.alphaTest != 0;
    double modelview[16], projection[16];
    for (int k = 0; k < 16; ++k) {
        modelview[k] = view.modelview[k];
        projection[k] = view.projection[k];
    }
    TmapFaceView faces = tmapFaceViewOf(modelview, projection, state, window, copy.stackCount);
    if (faces.dropsHidden) {
        const int32_t *cells = tmapLayers[layer];
        const TmapSeeThrough seeThrough = faces.seeThrough;
        // An animated cell may show any column as tall as its slots.
        faces.dropsHidden = tmapNearPlaneClear(faces, window, copy.stackCount, [&](int64_t column, int64_t row) {
            const int32_t value = cells[row * tmapWidth + column];
            if (value >= 0)
                return value < tmapGpuBlockCount() ? tmapCoverHeight(copy.blockCovers[value], seeThrough) : 0;
            const int64_t anim = -int64_t(value) - 1;
            return anim < tmapAnimCount ? copy.animCubes[anim] : 0;
        });
    }
    return faces;
}

} // namespace

void tmapGpuViewDefaults(TmapGpuView *view)
{
    if (view == nullptr)
        return;
    std::memset(view, 0, sizeof *view);
    glm::mat4 identity(1.0f);
    std::memcpy(view->projection, glm::value_ptr(identity), sizeof view->projection);
    std::memcpy(view->modelview, glm::value_ptr(identity), sizeof view->modelview);
    setVector(view->colour, 1.0f, 1.0f, 1.0f, 1.0f);
    view->fogDensity = 1.0f;
    setVector(view->lightPosition, 0.0f, 0.0f, 1.0f, 0.0f);
    setVector(view->lightAmbient, 0.0f, 0.0f, 0.0f, 1.0f);
    setVector(view->lightDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    setVector(view->modelAmbient, 0.2f, 0.2f, 0.2f, 1.0f);
}

int tmapGpuDrawLayer(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
                     float originX, float originY, float z, float cellWidth, float cellHeight)
{
    return drawFlat(view, Field::graphic1, cellX, cellY, columns, rows, originX, originY, z,
                    cellWidth, cellHeight);
}

int tmapGpuDrawLayerSecondGraphic(const TmapGpuView *view, int cellX, int cellY, int columns,
                                  int rows, float originX, float originY, float z,
                                  float cellWidth, float cellHeight)
{
    return drawFlat(view, Field::graphic2, cellX, cellY, columns, rows, originX, originY, z,
                    cellWidth, cellHeight);
}

int tmapGpuDrawBlocks(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
                      float originX, float originY, float baseZ, float cellWidth,
                      float cellHeight)
{
    GLuint layerTexture = 0;
    int layer = -1;
    TmapSpan across{}, down{};
    const int ready = startDraw(view, cellX, cellY, columns, rows, originX, originY, cellWidth,
                                cellHeight, layerTexture, layer, across, down);
    if (ready <= 0)
        return ready;
    tmapFacesDrawn = 0;
    if (!tmapGpuBuildFaces(layer, across, down, baseZ, cellWidth, cellHeight))
        return -1;
    TmapGpuCopy &copy = tmapGpuCopy;
    // Every face, unless the view leaves some out and their indices can be
    // had; the index buffer bound is the face array's own state.
    GLuint indices = copy.faceIndices;
    int64_t faces = copy.faceCount;
    if (tmapGpuDrawFaces == TMAP_FACES_VISIBLE && faces > 0) {
        const TmapFaceView selection = viewedFaces(*view, layer, {across, down, baseZ, cellWidth, cellHeight});
        if ((selection.dropsCulled || selection.dropsHidden) &&
            tmapGpuSelectFaces(selection, across, down, baseZ, cellWidth, cellHeight)) {
            indices = copy.visibleIndices;
            faces = copy.visibleFaces;
        }
    }
    if (faces == 0)
        return 0;
    const int kind = (copy.facesAnimated ? tmapGpuAnimated : 0) | (view->alphaTest ? tmapGpuColumnsAlphaTested : 0);
    TmapGpuProgram &program = copy.programs[kind];
    useProgram(program, *view, layer, layerTexture, across, down, baseZ);
    tmapGl.BindVertexArray(copy.faceArray);
    tmapGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
    tmapGl.DrawElements(GL_TRIANGLES, GLsizei(faces * 6), GL_UNSIGNED_INT, nullptr);
    tmapFacesDrawn = faces;
    return 0;
}
