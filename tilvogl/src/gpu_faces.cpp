// The faces of a window of block columns, laid out once for the column
// program: four corners a face, in the order the fixed-function path draws
// them (cell after cell, cube after cube, the four sides, then the caps).
// A software GL shades vertices on the calling thread, so every face is
// resolved here, where it costs nothing at later frames, except those of
// animated cells: these get the slots of the tallest column their
// animation has shown and the shader fills them from its current block.
// The faces are built again only when the window, one of its cells or an
// animation's tallest column changes.
//
// The faces a view leaves out (facerule.h) keep the others' order: they
// are left out of a second index buffer, written by walking the window
// again whenever what the view leaves out changes (the eye moves into
// another cell or cube, the culling or the alpha test changes).
#include <cstring>

#include "columns.h"
#include "facerule.h"
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

// The indices of face `face`'s two triangles, corners 0, 1, 3 and 1, 2, 3:
// the split and winding of a strip through corners 0, 1, 3, 2.
void writeTriangles(uint32_t *triangles, int64_t face)
{
    const uint32_t first = uint32_t(face * 4);
    triangles[0] = first;
    triangles[1] = first + 1;
    triangles[2] = first + 3;
    triangles[3] = first + 1;
    triangles[4] = first + 2;
    triangles[5] = first + 3;
}

// Which faces a view leaves in: the indices of their triangles, in order.
struct FaceSelector {
    const TmapFaceView *view;
    uint32_t *indices;
    int64_t kept;
    // The covers of the cell walked and of its four neighbours in the window.
    TmapColumnCover own, neighbours[tmapSideKinds];
};

// What a walk over the window does with each face: counts it, writes its
// corners, or keeps its indices when the view leaves it in.
struct FaceWalk {
    FaceWriter *writer;
    FaceSelector *selector;
    int64_t faces; // the faces walked so far: the next face's number
    int64_t column, row;

    // A face of the cell; cube is a side's cube or a cap's level, and -1 for
    // an animated cell's cap, whose height the shader works out.
    void face(TmapFaceKind kind, int32_t cube, bool groundCap)
    {
        const int64_t number = faces++;
        if (selector == nullptr)
            return;
        const TmapFaceView &view = *selector->view;
        if (cube >= 0 && tmapFaceCulled(view, kind, column, row, cube))
            return;
        if (view.dropsHidden) {
            if (kind < tmapSideKinds && tmapCoverHidesSide(selector->neighbours[kind], view.seeThrough, kind, cube))
                return;
            if (groundCap && tmapCoverHidesGround(selector->own, view.seeThrough))
                return;
        }
        writeTriangles(selector->indices + selector->kept * 6, number);
        ++selector->kept;
    }
};

bool isGraphic(int32_t graphic) { return graphic >= 0 && graphic < tmapGpuGraphicCount(); }

// The faces of a still cell's column, walked as the fixed-function path
// walks it; faces whose graphic does not exist make no face.
struct StillColumn {
    FaceWalk &walk;
    float x, x1, y, y1;
    int32_t cubes;

    void cube(const TmapBlock &record, int32_t cube, float z0, float z1)
    {
        for (int side = 0; side < tmapSideKinds; ++side) {
            const int32_t graphic = tmapSideGraphic(record, side);
            if (graphic == 0 || !isGraphic(graphic))
                continue;
            if (walk.writer)
                walk.writer->side(graphic, side, 0, tmapSideEdge(side, x, x1, y, y1), z0, z1);
            walk.face(TmapFaceKind(side), cube, false);
        }
        cubes = cube + 1;
    }

    void cap(const TmapCap &cap, float z, const TmapBlock &closing)
    {
        if (!isGraphic(cap.graphic))
            return;
        if (walk.writer)
            walk.writer->cap(cap.graphic, cap.kind, closing.flags, x, x1, y, y1, z);
        walk.face(cap.kind, cap.onTop ? cubes : 0, !cap.onTop);
    }
};

// The faces of the column of a cell. rises[k] is the bottom of cube k
// above the ground. Returns false when an animated cell's slots would not
// fit the corners' details.
bool columnFaces(int32_t value, const float *rises, float x, float x1, float y, float y1, float baseZ,
                 float cubeHeight, FaceWalk &walk)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    if (value < 0) {
        int64_t anim = -int64_t(value) - 1;
        if (anim >= tmapAnimCount || tmapAnims == nullptr)
            return true;
        int32_t cubes = copy.animCubes[anim];
        // The cube number must fit the corner's details.
        if (cubes >= int32_t(1) << (31 - TMAP_GPU_CORNER_CUBE_SHIFT))
            return false;
        if (walk.writer)
            walk.writer->animated = true;
        for (int32_t cube = 0; cube < cubes; ++cube) {
            float z0 = baseZ + rises[cube];
            float z1 = z0 + cubeHeight;
            for (int side = 0; side < tmapSideKinds; ++side) {
                if (walk.writer)
                    walk.writer->side(value, side, cube, tmapSideEdge(side, x, x1, y, y1), z0, z1);
                walk.face(TmapFaceKind(side), cube, false);
            }
        }
        const TmapFaceKind caps[2] = {tmapFaceSecondCap, tmapFaceFirstCap};
        for (TmapFaceKind cap : caps) {
            if (walk.writer)
                walk.writer->cap(value, cap, 0, x, x1, y, y1, baseZ);
            walk.face(cap, -1, false);
        }
        return true;
    }
    if (value >= tmapGpuBlockCount())
        return true;
    StillColumn column{walk, x, x1, y, y1, 0};
    tmapWalkColumn(value, baseZ, cubeHeight, column);
    return true;
}

// What a cell's column shows its neighbours in every frame it can show:
// a still cell's cover, or the cover all its animation's frames have.
TmapColumnCover cellCover(int32_t value)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    if (value >= 0)
        return value < tmapGpuBlockCount() ? copy.blockCovers[value] : TmapColumnCover{};
    const int64_t anim = -int64_t(value) - 1;
    return anim < tmapAnimCount && tmapAnims != nullptr ? copy.animCovers[anim] : TmapColumnCover{};
}

// The covers a selection needs around the cell (column, row).
void coverAround(FaceSelector &selector, int layer, const TmapSpan &across, const TmapSpan &down, int64_t column,
                 int64_t row)
{
    const int32_t *cells = tmapLayers[layer];
    const int32_t own = cells[row * tmapWidth + column];
    selector.own = own >= 0 ? cellCover(own) : TmapColumnCover{};
    static const int acrossStep[tmapSideKinds] = {-1, 0, 1, 0}, downStep[tmapSideKinds] = {0, -1, 0, 1};
    for (int side = 0; side < tmapSideKinds; ++side) {
        const int64_t x = column + acrossStep[side], y = row + downStep[side];
        const bool inWindow = x >= across.begin && x < across.end && y >= down.begin && y < down.end;
        selector.neighbours[side] = inWindow ? cellCover(cells[y * tmapWidth + x]) : TmapColumnCover{};
    }
}

// Walks the window's cells as the fixed-function path does, with the same
// running sums for the positions. Returns the faces, or -1 when an animated
// cell's slots do not fit the corners.
int64_t windowFaces(int layer, const TmapSpan &across, const TmapSpan &down, float baseZ, float cellWidth,
                    float cellHeight, const float *rises, FaceWriter *writer, FaceSelector *selector)
{
    FaceWalk walk{writer, selector, 0, 0, 0};
    const bool needsCovers = selector != nullptr && selector->view->dropsHidden;
    float y = down.origin;
    for (int64_t row = down.begin; row < down.end; ++row) {
        const float y1 = y + cellHeight;
        const int32_t *cell = tmapLayers[layer] + row * tmapWidth + across.begin;
        float x = across.origin;
        for (int64_t column = across.begin; column < across.end; ++column, ++cell) {
            const float x1 = x + cellWidth;
            walk.column = column;
            walk.row = row;
            if (needsCovers)
                coverAround(*selector, layer, across, down, column, row);
            if (!columnFaces(*cell, rises, x, x1, y, y1, baseZ, cellWidth, walk))
                return -1;
            x = x1;
        }
        y = y1;
    }
    return walk.faces;
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

// The indices of every face, grown to cover faces faces.
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
    for (int64_t face = 0; face < covered; ++face)
        writeTriangles(indices + face * 6, face);
    tmapGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, copy.faceIndices);
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
    copy.visibleValid = false;
    float *rises = risesFor(cellWidth);
    if (rises == nullptr) {
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return false;
    }
    // Six indices a face are counted by a GLsizei.
    const int64_t faces = windowFaces(layer, across, down, baseZ, cellWidth, cellHeight, rises, nullptr, nullptr);
    if (faces < 0 || faces * 6 > INT32_MAX) {
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
    windowFaces(layer, across, down, baseZ, cellWidth, cellHeight, rises, &writer, nullptr);
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

bool tmapGpuSelectFaces(const TmapFaceView &view, const TmapSpan &across, const TmapSpan &down, float baseZ,
                        float cellWidth, float cellHeight)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    if (copy.visibleValid && tmapSameFaceSelection(view, copy.visibleView))
        return true;
    copy.visibleValid = false;
    uint32_t *indices = static_cast<uint32_t *>(tmapAllocate(size_t(copy.faceCount) * 6 * sizeof(uint32_t)));
    float *rises = risesFor(cellWidth);
    if (indices == nullptr || rises == nullptr) {
        tmapFree(indices);
        tmapFree(rises);
        return false;
    }
    FaceSelector selector{&view, indices, 0, {}, {}};
    windowFaces(copy.facesLayer, across, down, baseZ, cellWidth, cellHeight, rises, nullptr, &selector);
    tmapFree(rises);
    tmapGl.BindVertexArray(copy.faceArray);
    tmapGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, copy.visibleIndices);
    // Never empty, so that the buffer exists; a draw of no face is skipped.
    tmapGl.BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size_t(selector.kept > 0 ? selector.kept : 1) * 6 * sizeof(uint32_t)),
                      indices, GL_STREAM_DRAW);
    tmapFree(indices);
    copy.visibleFaces = selector.kept;
    copy.visibleView = view;
    copy.visibleValid = true;
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
    copy.visibleValid = false;
}
