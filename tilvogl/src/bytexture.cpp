// Drawing grouped by texture with the cell order's picture: collecting a
// window's quads, and the draw, which works out again only what has changed.
//
// A window's geometry seldom changes between frames (only animated cells
// change, and mostly only their textures): the dependencies between quads
// are kept per cell, and only the cells that a change of corners touches
// are worked out again; the placements of unchanged cells are kept too; the
// whole schedule is kept while the geometry and the textures stay the same.
#include <cstdint>
#include <cstring>

#include "bytexture_internal.h"

TmapQuadList tmapCollected;

TmapQuadList *tmapStartCollecting(int64_t columns, int64_t rows)
{
    TmapQuadList &q = tmapCollected;
    q.count = 0;
    q.cells = 0;
    q.columns = columns;
    q.firstSideFace = -1;
    q.failed = false;
    if (columns <= 0 || rows <= 0 || rows > tmapMaxGroupedQuads / columns)
        return nullptr;
    const int64_t cells = columns * rows + 1;
    if (tmapCollected.cellCapacity < cells) {
        tmapCollected.cellCapacity = 0;
        if (!tmapAllocateArray(q.cellFirstQuad, cells))
            return nullptr;
        tmapCollected.cellCapacity = cells;
    }
    q.cellFirstQuad[0] = 0;
    return &q;
}

void tmapStartCell(TmapQuadList &quads)
{
    quads.cellFirstQuad[quads.cells] = int32_t(quads.count);
    ++quads.cells;
    quads.cellFirstQuad[quads.cells] = int32_t(quads.count);
}

void tmapCollectQuad(TmapQuadList &q, uint32_t texture, float nx, float ny, float nz,
                     const float (*texCoords)[2], const float (*corners)[3], bool enablesTexturing)
{
    if (q.failed)
        return;
    if (q.count == q.capacity) {
        int64_t more = q.capacity < 1024 ? 1024 : q.capacity * 2;
        if (more > tmapMaxGroupedQuads || !tmapGrowArray(q.positions, more * 12, q.count * 12) ||
            !tmapGrowArray(q.normals, more * 12, q.count * 12) ||
            !tmapGrowArray(q.texCoords, more * 8, q.count * 8) ||
            !tmapGrowArray(q.textures, more, q.count)) {
            q.failed = true;
            return;
        }
        q.capacity = more;
    }
    const int64_t i = q.count++;
    float *position = &q.positions[i * 12];
    float *normal = &q.normals[i * 12];
    float *texCoord = &q.texCoords[i * 8];
    for (int corner = 0; corner < 4; ++corner) {
        position[corner * 3] = corners[corner][0];
        position[corner * 3 + 1] = corners[corner][1];
        position[corner * 3 + 2] = corners[corner][2];
        normal[corner * 3] = nx;
        normal[corner * 3 + 1] = ny;
        normal[corner * 3 + 2] = nz;
        texCoord[corner * 2] = texCoords[corner][0];
        texCoord[corner * 2 + 1] = texCoords[corner][1];
    }
    q.textures[i] = texture;
    if (enablesTexturing && q.firstSideFace < 0)
        q.firstSideFace = i;
    q.cellFirstQuad[q.cells] = int32_t(q.count);
}

void tmapCollectTexturingEnabled(TmapQuadList &q)
{
    if (q.firstSideFace < 0)
        q.firstSideFace = q.count;
}

namespace {

// Whether the GL reads client arrays from memory now, as the grouped draw
// sends them: not with a buffer object bound to the array binding point.
bool clientArraysUsable(int version)
{
    if (version < 15)
        return true;
    GLint arrayBuffer = 0;
    glGetIntegerv(0x8894 /* GL_ARRAY_BUFFER_BINDING */, &arrayBuffer);
    return arrayBuffer == 0;
}

} // namespace

int tmapDrawCollectedByTexture(void)
{
    const TmapQuadList &q = tmapCollected;
    if (q.failed)
        return -1;
    if (q.count == 0) {
        // Every face was left out; the cell order would still have enabled
        // texturing for the first side face.
        if (q.firstSideFace >= 0)
            glEnable(GL_TEXTURE_2D);
        return 0;
    }
    const int version = tmapContextVersion();
    if (!clientArraysUsable(version))
        return -1;
    if (!tmapReservePlacements() || !tmapReserveEmitScratch())
        return -1;
    // A display list keeps the culling state of its compilation.
    const bool culling = glIsEnabled(GL_CULL_FACE);
    bool geometryChanged;
    if (!tmapUpdateDependencies(culling, geometryChanged)) {
        tmapSchedule.valid = false;
        tmapPlacements.valid = false;
        return -1;
    }
    if (geometryChanged) {
        tmapSchedule.valid = false;
        tmapFollowGeometryChange();
    }
    // With texturing already on, the cell order's glEnable calls change
    // nothing and its runs go on across the first side face.
    // Not while a display list is compiled: the list may run in other state.
    GLint listIndex = 0;
    glGetIntegerv(GL_LIST_INDEX, &listIndex);
    const bool compiling = listIndex != 0;
    int64_t split = q.firstSideFace;
    if (split > 0 && !compiling && glIsEnabled(GL_TEXTURE_2D))
        split = -1;
    if (!tmapSameSchedule(split, compiling)) {
        if (!tmapReserveSchedule()) {
            tmapSchedule.valid = false;
            return -1;
        }
        tmapBuildSchedule(split, compiling);
    }
    // Mesa compiles client-array draws into a display list by value.
    tmapEmitSchedule(version, tmapPlaceQuads(version, compiling));
    return 0;
}

void tmapReleaseDrawScratch(void)
{
    freeAndClear(tmapCollected.positions);
    freeAndClear(tmapCollected.normals);
    freeAndClear(tmapCollected.texCoords);
    freeAndClear(tmapCollected.textures);
    freeAndClear(tmapCollected.cellFirstQuad);
    tmapCollected = TmapQuadList();
    tmapReleaseDependencies();
    tmapReleaseSchedule();
    tmapReleasePlacements();
    tmapReleaseEmitScratch();
    tmapReleaseFaceScratch();
}

TmapGroupedOrder *tmapNewGroupedOrder()
{
    TmapGroupedOrder *order = static_cast<TmapGroupedOrder *>(tmapAllocate(sizeof(TmapGroupedOrder)));
    if (order != nullptr)
        *order = TmapGroupedOrder();
    return order;
}

void tmapSwapGroupedOrder(TmapGroupedOrder &other)
{
    TmapGroupedOrder current = {tmapDependencies, tmapSchedule, tmapPlacements};
    tmapDependencies = other.dependencies;
    tmapSchedule = other.schedule;
    tmapPlacements = other.placements;
    other = current;
}

void tmapReleaseGroupedOrder(TmapGroupedOrder &order)
{
    // The release functions free the current order: swap this one in and
    // out around them.
    tmapSwapGroupedOrder(order);
    tmapReleaseDependencies();
    tmapReleaseSchedule();
    tmapReleasePlacements();
    tmapSwapGroupedOrder(order);
}
