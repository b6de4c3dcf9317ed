// Shared by the sources of drawing grouped by texture; not installed.
//
// A draw collects its window's quads (bytexture.cpp), then works out, each
// only when what it depends on has changed since the last call:
//   bytexture_dependencies.cpp  which quads must keep their cell order
//   bytexture_schedule.cpp      the order of the draws: groups of runs of
//                               quads, one texture bind each
//   bytexture_placement.cpp     where the quads lie against the view volume
//   bytexture_emit.cpp          the groups' vertices laid out and sent to GL
// bytexture.cpp decides what is worked out again and owns the scratch memory
// of the collected quads; each of the others owns its own.
#ifndef TILVOGL_BYTEXTURE_INTERNAL_H
#define TILVOGL_BYTEXTURE_INTERNAL_H

#include <GL/gl.h>  // GLint, GLsizei of the sub-draws

#include <cstdint>
#include <cstring>

#include "bytexture.h"
#include "internal.h"

// Quads are drawn with GLint vertex indices, four per quad.
const int64_t tmapMaxGroupedQuads = int64_t(1) << 28;

// A block of count T from the library's allocator; false leaves array as it was.
template <typename T> bool tmapAllocateArray(T *&array, int64_t count)
{
    if (count < 0 || uint64_t(count) > SIZE_MAX / sizeof(T))
        return false;
    T *fresh = static_cast<T *>(tmapAllocate(size_t(count) * sizeof(T)));
    if (fresh == nullptr)
        return false;
    tmapFree(array);
    array = fresh;
    return true;
}

// As tmapAllocateArray, keeping the first kept elements.
template <typename T> bool tmapGrowArray(T *&array, int64_t count, int64_t kept)
{
    T *old = array;
    array = nullptr;
    if (!tmapAllocateArray(array, count)) {
        array = old;
        return false;
    }
    if (kept > 0)
        std::memcpy(array, old, size_t(kept) * sizeof(T));
    tmapFree(old);
    return true;
}

// The quads of the current draw, as collected in cell order.
extern TmapQuadList tmapCollected;

// ---- Dependencies between quads (bytexture_dependencies.cpp) ----

// A kept dependency, numbered within cells: the earlier quad's index within
// its cell and that cell's neighbour slot (index << 3 | slot), and the later
// quad's index within the cell the edge is kept for.
struct TmapCellEdge {
    uint32_t earlier;
    int32_t later;
};

// Kept between calls: the geometry the dependencies were worked out for,
// each cell's dependencies, and each quad's later quads built from them.
struct TmapDependencies {
    bool valid;
    bool culling;             // worked out for GL_CULL_FACE on
    float tolerance;          // coordinates this close count as equal
    int64_t count;            // quads
    int64_t cells;
    int64_t columns;
    int64_t quadCapacity;     // of positions, boxes and successorStart
    int64_t cellCapacity;     // of the per-cell arrays
    float *positions;         // the corners they were worked out for
    float *boxes;             // scratch while working out: min and max per axis
    int32_t *cellFirstQuad;   // the layout they were worked out for
    // What the last update changed: every cell, or those marked in
    // cellChanged, whose quads began at previousCellFirstQuad before.
    bool wholeWindowChanged;
    uint8_t *cellChanged;
    int32_t *previousCellFirstQuad;
    int64_t cellsWorkedOut;   // cells whose dependencies the last update worked out
    // Per cell: its dependencies whose later quad lies in it.
    int64_t *edgeStart;       // per cell and one more
    TmapCellEdge *edges;
    int64_t edgeCapacity;
    int64_t *spareEdgeStart;  // the same, being filled by an update
    TmapCellEdge *spareEdges;
    int64_t spareEdgeCapacity;
    // Per quad: the later quads that must follow it.
    int32_t *successorStart;  // per quad and one more
    int32_t *successors;
    int64_t successorCapacity;
};
extern TmapDependencies tmapDependencies;

// Brings the dependencies up to date with the collected quads drawn with
// culling on or off, working out again only the cells that a change can
// touch; changed says whether the geometry differed from the last call's.
// False when scratch memory ran out.
bool tmapUpdateDependencies(bool culling, bool &changed);

void tmapReleaseDependencies();

#ifdef TILVOGL_TEST_COUNTERS
// For the tests: the cells whose dependencies the last grouped draw worked
// out (0 when its geometry had not changed).
extern "C" long tmapGroupedCellsWorkedOut(void);
#endif

// ---- The schedule (bytexture_schedule.cpp) ----

// Kept between calls: the order for the textures it was worked out for.
struct TmapSchedule {
    bool valid;
    int64_t capacity;       // runs, groups and textures are never more than quads
    int64_t hashCapacity;
    uint32_t *textures;     // the quads' textures it was worked out for
    int64_t split;          // first quad drawn after glEnable(GL_TEXTURE_2D), or -1
    bool quadRuns;          // every quad a run of its own
    // Runs of the cell order: consecutive quads with the same texture.
    int32_t *runOfQuad;
    int32_t *runStart;      // per run and one more
    int32_t *runTexture;    // dense texture index
    int32_t *waitingFor;    // earlier runs not yet drawn
    int32_t *nextReady;
    // Dense texture indices and their ready runs.
    uint32_t *hashKeys;
    int32_t *hashSlots;     // dense index + 1, 0 when empty
    uint32_t *denseTexture;
    int32_t *readyHead;
    int32_t *readyCount;
    int32_t *active;        // textures with ready runs
    int32_t *activePlace;
    int32_t activeCount;
    int32_t draining;       // the texture being drawn, active until it has no run left
    // The result: groups of runs, one bind each. firsts and counts give a
    // run's vertices in cell order, runs in drawing order.
    GLint *firsts;
    GLsizei *counts;
    int64_t runs;
    uint32_t *groupTexture;
    int32_t *groupEnd;      // per group: one past its last sub-draw
    int64_t groups;
    int64_t enableBeforeGroup;  // group before which texturing is enabled, or -1
};
extern TmapSchedule tmapSchedule;

// Whether the kept schedule holds for the collected quads' textures.
bool tmapSameSchedule(int64_t split, bool quadRuns);

// Makes room for a schedule of the collected quads; false when scratch
// memory ran out.
bool tmapReserveSchedule();

// Works out the groups: the quads before split (a quad index, or -1 for
// none) are drawn before the others, and with quadRuns every quad is a run
// of its own.
void tmapBuildSchedule(int64_t split, bool quadRuns);

void tmapReleaseSchedule();

// ---- Placement against the view volume (bytexture_placement.cpp) ----

// Where a quad or run lies against the view volume.
enum TmapPlacement : uint8_t { tmapMayBeClipped, tmapWellInside, tmapWhollyOutside };

// Kept between calls: the quads' placements for the geometry and matrices
// they were worked out for.
struct TmapPlacements {
    bool valid;
    double matrix[16];    // projection times modelview
    bool zeroToOneDepth;  // clip depth runs from 0 to w rather than -w to w
    int64_t capacity;
    uint8_t *ofQuad;      // a TmapPlacement per quad
    uint8_t *spare;       // the same, being filled after a change of geometry
};
extern TmapPlacements tmapPlacements;

// Makes room for the placements of the collected quads; false when scratch
// memory ran out.
bool tmapReservePlacements();

// After a change of the collected quads' geometry (as the dependencies'
// update describes it): keeps the placements of the cells whose quads did
// not change, and works out those of the others for the kept matrices.
void tmapFollowGeometryChange();

// Works out where the quads lie for the current matrices; false when that
// cannot be known (a display list being compiled, user clip planes), and
// then every run may be clipped. version is the context's major * 10 + minor.
bool tmapPlaceQuads(int version, bool compiling);

// Where a run of the schedule lies.
TmapPlacement tmapPlaceRun(int32_t run);

void tmapReleasePlacements();

// ---- The kept order of a map (bytexture.cpp, declared in bytexture.h) ----

struct TmapGroupedOrder {
    TmapDependencies dependencies;
    TmapSchedule schedule;
    TmapPlacements placements;
};

// ---- Emitting the draws (bytexture_emit.cpp) ----

// The GL version of the current context as major * 10 + minor.
int tmapContextVersion();

// Draws the schedule's groups, each texture's runs with one
// glMultiDrawArrays where the context (version as tmapContextVersion) has
// it, or a glDrawArrays per sub-draw; placed says whether tmapPlaceQuads
// knows where the quads lie.
void tmapEmitSchedule(int version, bool placed);

// Makes room for the laid-out vertices of the collected quads; false when
// scratch memory ran out.
bool tmapReserveEmitScratch();

void tmapReleaseEmitScratch();

#endif
