// The faces of a window of block columns, laid out once for the column
// program: four corners a face, in the order the fixed-function path draws
// them (cell after cell, cube after cube, the four sides, then the caps).
// A software GL shades vertices on the calling thread, so every face is
// resolved here, where it costs nothing at later frames, except those of
// animated cells: these get the slots of the tallest column their
// animation has shown and the shader fills them from its current block.
// The faces are built again only when the window, one of its cells or an
// animation's tallest column changes.
#include <cstring>

#include "columns.h"
#include "gpu_internal.h"
#include "internal.h"

namespace {

struct FaceWriter {
    TmapGpuCorner *next;
    bool animated; // some faces are animated cells'

    void corner(float x, float y, float z, int32_t graphic, int32_t details)
    {
        *next++ = {x, y, z, graphic, details};
    }

    // A side of cube `cube` along its ground edge; the graphic's first row
    // runs along the top edge.
    void side(int32_t graphic, int kind, int cube, const TmapSideEdge &edge, float z0, float z1)
    {
        const int32_t details = kind << TMAP_GPU_CORNER_KIND_SHIFT | cube << TMAP_GPU_CORNER_CUBE_SHIFT;
        corner(edge.fromX, edge.fromY, z0, graphic, details | TMAP_GPU_CORNER_V);
        corner(edge.fromX, edge.fromY, z1, graphic, details);
        corner(edge.toX, edge.toY, z1, graphic, details | TMAP_GPU_CORNER_U);
        corner(edge.toX, edge.toY, z0, graphic, details | TMAP_GPU_CORNER_U | TMAP_GPU_CORNER_V);
    }

    // A cap at height z; flags mirror its texture.
    void cap(int32_t graphic, int kind, int32_t flags, float x, float x1, float y, float y1, float z)
    {
        const int32_t details = kind << TMAP_GPU_CORNER_KIND_SHIFT;
        const int32_t u = (flags & TMAP_FLAG_MIRROR_S) != 0 ? TMAP_GPU_CORNER_U : 0;
        const int32_t v = (flags & TMAP_FLAG_MIRROR_T) != 0 ? TMAP_GPU_CORNER_V : 0;
        corner(x, y, z, graphic, details | u | v);
        corner(x1, y, z, graphic, details | (u ^ TMAP_GPU_CORNER_U) | v);
        corner(x1, y1, z, graphic, details | (u ^ TMAP_GPU_CORNER_U) | (v ^ TMAP_GPU_CORNER_V));
        corner(x, y1, z, graphic, details | u | (v ^ TMAP_GPU_CORNER_V));
    }
};

bool isGraphic(int32_t graphic) { return graphic >= 0 && graphic < tmapGpuGraphicCount(); }

// The faces of a still cell's column, walked as the fixed-function path
// walks it; faces whose graphic does not exist make no face.
struct StillColumn {
    FaceWriter *out;
    float x, x1, y, y1;
    int64_t faces;

    void cube(const TmapBlock &record, int32_t, float z0, float z1)
    {
        for (int side = 0; side < tmapSideKinds; ++side) {
            const int32_t graphic = tmapSideGraphic(record, side);
            if (graphic == 0 || !isGraphic(graphic))
                continue;
            if (out)
                out->side(graphic, side, 0, tmapSideEdge(side, x, x1, y, y1), z0, z1);
            ++faces;
        }
    }

    void cap(const TmapCap &cap, float z, const TmapBlock &closing)
    {
        if (!isGraphic(cap.graphic))
            return;
        if (out)
            out->cap(cap.graphic, cap.kind, closing.flags, x, x1, y, y1, z);
        ++faces;
    }
};

// The faces of the column of a cell: how many, or, with a writer, written.
// rises[k] is the bottom of cube k above the ground.
int64_t columnFaces(int32_t value, const float *rises, float x, float x1, float y, float y1, float baseZ,
                    float cubeHeight, FaceWriter *out)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    if (value < 0) {
        int64_t anim = -int64_t(value) - 1;
        if (anim >= tmapAnimCount || tmapAnims == nullptr)
            return 0;
        int32_t cubes = copy.animCubes[anim];
        // The cube number must fit the corner's details.
        if (cubes >= int32_t(1) << (31 - TMAP_GPU_CORNER_CUBE_SHIFT))
            return INT32_MAX;
        if (out) {
            out->animated = true;
            for (int32_t cube = 0; cube < cubes; ++cube) {
                float z0 = baseZ + rises[cube];
                float z1 = z0 + cubeHeight;
                for (int side = 0; side < tmapSideKinds; ++side)
                    out->side(value, side, cube, tmapSideEdge(side, x, x1, y, y1), z0, z1);
            }
            out->cap(value, tmapFaceSecondCap, 0, x, x1, y, y1, baseZ);
            out->cap(value, tmapFaceFirstCap, 0, x, x1, y, y1, baseZ);
        }
        return 4 * int64_t(cubes) + 2;
    }
    if (value >= tmapBlockCount || tmapBlocks == nullptr)
        return 0;
    StillColumn column{out, x, x1, y, y1, 0};
    tmapWalkColumn(value, baseZ, cubeHeight, column);
    return column.faces;
}

// Walks the window's cells as the fixed-function path does, with the same
// running sums for the positions: counts the faces, or writes them.
int64_t windowFaces(int layer, const TmapSpan &across, const TmapSpan &down, float baseZ, float cellWidth,
                    float cellHeight, const float *rises, FaceWriter *out)
{
    int64_t faces = 0;
    float y = down.origin;
    for (int64_t row = down.begin; row < down.end; ++row) {
        const float y1 = y + cellHeight;
        const int32_t *cell = tmapLayers[layer] + row * tmapWidth + across.begin;
        float x = across.origin;
        for (int64_t column = across.begin; column < across.end; ++column, ++cell) {
            const float x1 = x + cellWidth;
            faces += columnFaces(*cell, rises, x, x1, y, y1, baseZ, cellWidth, out);
            x = x1;
        }
        y = y1;
    }
    return faces;
}

// The bottoms of cubes 0 to stackCount, as running sums; sent to the rise
// table for the animated cells' caps when the cube height changed.
float *risesFor(float cellWidth)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const int64_t count = int64_t(copy.stackCount) + 1;
    float *rises = static_cast<float *>(tmapAllocate(size_t(count) * sizeof(float)));
    if (rises == nullptr)
        return nullptr;
    float rise = 0.0f;
    for (int64_t cube = 0; cube < count; ++cube, rise = tmapNextRise(rise, cellWidth))
        rises[cube] = rise;
    if (copy.risesCellWidth != cellWidth) {
        const int width = tmapGpuTableWidth(count);
        const int64_t fullRows = count / width, rest = count % width;
        tmapGl.ActiveTexture(GL_TEXTURE0);
        tmapGl.BindTexture(GL_TEXTURE_2D, copy.rises);
        tmapGl.TexImage2D(GL_TEXTURE_2D, 0, GL_R32F, width, GLsizei(fullRows + (rest != 0)), 0, GL_RED, GL_FLOAT,
                          nullptr);
        if (fullRows > 0)
            tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, GLsizei(fullRows), GL_RED, GL_FLOAT, rises);
        if (rest != 0)
            tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, GLsizei(fullRows), GLsizei(rest), 1, GL_RED, GL_FLOAT,
                                 rises + fullRows * width);
        copy.risesCellWidth = cellWidth;
    }
    return rises;
}

// Two triangles a face, corners 0, 1, 3 and 1, 2, 3: the split and winding
// of a strip through corners 0, 1, 3, 2. Grown to cover faces faces.
bool coverWithIndices(int64_t faces)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    if (faces <= copy.indexedFaces)
        return true;
    int64_t covered = copy.indexedFaces * 2 > faces ? copy.indexedFaces * 2 : faces;
    if (covered * 6 > INT32_MAX)
        covered = faces;
    uint32_t *indices = static_cast<uint32_t *>(tmapAllocate(size_t(covered) * 6 * sizeof(uint32_t)));
    if (indices == nullptr)
        return false;
    for (int64_t face = 0; face < covered; ++face) {
        const uint32_t first = uint32_t(face * 4);
        uint32_t *triangles = indices + face * 6;
        triangles[0] = first;
        triangles[1] = first + 1;
        triangles[2] = first + 3;
        triangles[3] = first + 1;
        triangles[4] = first + 2;
        triangles[5] = first + 3;
    }
    tmapGl.BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size_t(covered) * 6 * sizeof(uint32_t)), indices,
                      GL_STATIC_DRAW);
    tmapFree(indices);
    copy.indexedFaces = covered;
    return true;
}

} // namespace

bool tmapGpuBuildFaces(int layer, const TmapSpan &across, const TmapSpan &down, float baseZ, float cellWidth,
                       float cellHeight)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const float key[5] = {across.origin, down.origin, cellWidth, cellHeight, baseZ};
    const int64_t cells[4] = {across.begin, across.end, down.begin, down.end};
    if (copy.facesValid && copy.facesLayer == layer && std::memcmp(key, copy.facesKey, sizeof key) == 0 &&
        std::memcmp(cells, copy.facesCells, sizeof cells) == 0)
        return true;
    copy.facesValid = false;
    float *rises = risesFor(cellWidth);
    if (rises == nullptr) {
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return false;
    }
    // Six indices a face are counted by a GLsizei.
    const int64_t faces = windowFaces(layer, across, down, baseZ, cellWidth, cellHeight, rises, nullptr);
    if (faces * 6 > INT32_MAX) {
        tmapFree(rises);
        tmapError = TMAP_ERROR_GL_LIMITS;
        return false;
    }
    TmapGpuCorner *corners = static_cast<TmapGpuCorner *>(tmapAllocate(size_t(faces) * 4 * sizeof(TmapGpuCorner)));
    if (faces > 0 && corners == nullptr) {
        tmapFree(rises);
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return false;
    }
    FaceWriter writer{corners, false};
    windowFaces(layer, across, down, baseZ, cellWidth, cellHeight, rises, &writer);
    tmapFree(rises);
    // The program's array buffer binding is its own; the element buffer
    // belongs to the face array.
    GLint arrayBuffer = 0;
    tmapGl.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    tmapGl.BindVertexArray(copy.faceArray);
    tmapGl.BindBuffer(GL_ARRAY_BUFFER, copy.faceBuffer);
    tmapGl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_t(faces) * 4 * sizeof(TmapGpuCorner)), corners,
                      GL_STATIC_DRAW);
    tmapFree(corners);
    bool indexed = coverWithIndices(faces);
    tmapGl.BindBuffer(GL_ARRAY_BUFFER, GLuint(arrayBuffer));
    if (!indexed) {
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return false;
    }
    copy.faceCount = faces;
    copy.facesAnimated = writer.animated;
    copy.facesLayer = layer;
    std::memcpy(copy.facesKey, key, sizeof key);
    std::memcpy(copy.facesCells, cells, sizeof cells);
    copy.facesValid = true;
    return true;
}

void tmapGpuDropFaces(int layer, int64_t index)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    if (!copy.facesValid || (index >= 0 && layer != copy.facesLayer))
        return;
    if (index >= 0) {
        const int64_t x = index % tmapWidth, y = index / tmapWidth;
        if (x < copy.facesCells[0] || x >= copy.facesCells[1] || y < copy.facesCells[2] || y >= copy.facesCells[3])
            return;
    }
    copy.facesValid = false;
}
