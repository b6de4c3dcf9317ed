// The shader renderer's draws: the view into uniforms, the window into a
// quad (flat) or into face slots (columns), one GL draw call each.
#include <cstring>

#include <glm/glm.hpp>                  // glm::mat3, glm::mat4
#include <glm/gtc/matrix_inverse.hpp>   // glm::inverseTranspose
#include <glm/gtc/type_ptr.hpp>         // glm::make_mat4, glm::value_ptr

#include "gpu_internal.h"
#include "internal.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

void setVector(float *target, float a, float b, float c, float d)
{
    target[0] = a;
    target[1] = b;
    target[2] = c;
    target[3] = d;
}

void setView(const TmapGpuProgram &program, const TmapGpuView &view)
{
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
void useProgram(const TmapGpuProgram &program, const TmapGpuView &view, GLuint layerTexture,
                const TmapSpan &across, const TmapSpan &down, float z)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    tmapGl.UseProgram(program.name);
    setView(program, view);
    tmapGl.Uniform4i(program.counts, tmapBlocks != nullptr ? tmapBlockCount : 0,
                     tmapAnims != nullptr ? tmapAnimCount : 0, tmapGraphicCount, 0);
    tmapGl.Uniform2i(program.firstCell, GLint(across.begin), GLint(down.begin));
    tmapGl.Uniform1i(program.mapWidth, tmapWidth);
    tmapGl.Uniform2i(program.windowSize, GLint(across.end - across.begin), GLint(down.end - down.begin));
    tmapGl.Uniform1f(program.z, z);
    const GLuint tables[] = {copy.layers[0], layerTexture, copy.blocks, copy.anims, copy.window};
    for (int unit = tmapGpuUnitLayer; unit < tmapGpuUnitCount; ++unit) {
        tmapGl.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
        tmapGl.BindTexture(GL_TEXTURE_2D, tables[unit]);
    }
    tmapGl.ActiveTexture(GL_TEXTURE0);
    tmapGl.BindTexture(GL_TEXTURE_2D_ARRAY, copy.graphics);
    tmapGl.BindVertexArray(copy.vertexArray);
}

// The positions of the window's column edges, row edges and cube bottoms,
// sent when they differ from the last window's: work per column and row.
bool sendWindowTable(const TmapSpan &across, const TmapSpan &down, float cellWidth, float cellHeight)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const float key[5] = {across.origin, down.origin, cellWidth, cellHeight, 0.0f};
    const int64_t cells[4] = {across.begin, across.end, down.begin, down.end};
    int64_t columns = across.end - across.begin, rows = down.end - down.begin;
    if (copy.windowValid && std::memcmp(key, copy.windowKey, sizeof key) == 0 &&
        columns == copy.windowCells[1] - copy.windowCells[0] && rows == copy.windowCells[3] - copy.windowCells[2])
        return true;
    int64_t entries = (columns + 1) + (rows + 1) + (copy.stackCount + 1);
    int width = tmapGpuTableWidth(entries);
    int64_t height = (entries + width - 1) / width;
    if (height > copy.foldWidth)
        return false;
    size_t needed = size_t(width) * size_t(height);
    if (needed > copy.windowCapacity) {
        float *table = static_cast<float *>(tmapAllocate(needed * sizeof(float)));
        if (table == nullptr)
            return false;
        tmapFree(copy.windowTable);
        copy.windowTable = table;
        copy.windowCapacity = needed;
    }
    float *entry = copy.windowTable;
    float x = across.origin;
    for (int64_t column = 0; column <= columns; ++column, x = x + cellWidth)
        *entry++ = x;
    float y = down.origin;
    for (int64_t row = 0; row <= rows; ++row, y = y + cellHeight)
        *entry++ = y;
    float rise = 0.0f;
    for (int cube = 0; cube <= copy.stackCount; ++cube, rise = rise + cellWidth)
        *entry++ = rise;
    std::memset(entry, 0, (copy.windowTable + needed - entry) * sizeof(float));

    GLint unpackBuffer = 0;
    tmapGl.GetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
    if (unpackBuffer != 0)
        tmapGl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    tmapGl.ActiveTexture(GL_TEXTURE0);
    tmapGl.BindTexture(GL_TEXTURE_2D, copy.window);
    tmapGl.TexImage2D(GL_TEXTURE_2D, 0, GL_R32F, width, GLsizei(height), 0, GL_RED, GL_FLOAT, copy.windowTable);
    if (unpackBuffer != 0)
        tmapGl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, GLuint(unpackBuffer));
    std::memcpy(copy.windowKey, key, sizeof key);
    std::memcpy(copy.windowCells, cells, sizeof cells);
    copy.windowValid = true;
    return true;
}

// What every draw does first: -1 when it cannot draw at all (no view, or
// nothing uploaded for the current map and layer), 0 when the window holds
// no cell of the layer, 1 with the layer's texture and the window clipped to
// the layer.
int startDraw(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
              float originX, float originY, float cellWidth, float cellHeight,
              GLuint &layerTexture, TmapSpan &across, TmapSpan &down)
{
    if (view == nullptr)
        return -1;
    layerTexture = tmapGpuPrepareDraw();
    if (layerTexture == 0)
        return -1;
    if (columns <= 0 || rows <= 0)
        return 0;
    across = tmapClipToLayer(cellX, columns, tmapWidth, originX, cellWidth);
    down = tmapClipToLayer(cellY, rows, tmapHeight, originY, cellHeight);
    return across.begin < across.end && down.begin < down.end ? 1 : 0;
}

enum class Field { graphic1, graphic2 };

int drawFlat(const TmapGpuView *view, Field field, int cellX, int cellY, int columns, int rows,
             float originX, float originY, float z, float cellWidth, float cellHeight)
{
    GLuint layerTexture = 0;
    TmapSpan across{}, down{};
    const int ready = startDraw(view, cellX, cellY, columns, rows, originX, originY, cellWidth,
                                cellHeight, layerTexture, across, down);
    if (ready <= 0)
        return ready;
    const TmapGpuProgram &program = tmapGpuCopy.flat;
    useProgram(program, *view, layerTexture, across, down, z);
    float x1 = tmapAdvance(across.origin, cellWidth, across.end - across.begin);
    float y1 = tmapAdvance(down.origin, cellHeight, down.end - down.begin);
    const float rect[4] = {across.origin, down.origin, x1, y1};
    tmapGl.Uniform4fv(program.rect, 1, rect);
    tmapGl.Uniform1i(program.graphicField, field == Field::graphic1 ? 0 : 1);
    tmapGl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    return 0;
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
    TmapSpan across{}, down{};
    const int ready = startDraw(view, cellX, cellY, columns, rows, originX, originY, cellWidth,
                                cellHeight, layerTexture, across, down);
    if (ready <= 0)
        return ready;
    // Every column has the slots of the tallest: its cubes' four sides and
    // two caps. The instance count and the shader's arithmetic are 32-bit.
    int64_t slots = 4 * int64_t(tmapGpuCopy.stackCount) + 2;
    int64_t instances = (across.end - across.begin) * (down.end - down.begin) * slots;
    if (instances > INT32_MAX || !sendWindowTable(across, down, cellWidth, cellHeight)) {
        tmapError = TMAP_ERROR_GL_LIMITS;
        return -1;
    }
    const TmapGpuProgram &program = tmapGpuCopy.columns;
    useProgram(program, *view, layerTexture, across, down, baseZ);
    tmapGl.Uniform1i(program.slots, GLint(slots));
    tmapGl.Uniform1f(program.cellWidth, cellWidth);
    tmapGl.DrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, GLsizei(instances));
    return 0;
}
