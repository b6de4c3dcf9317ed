// Drawing grouped by texture: the draw operations collect a window's quads in
// cell order here, and the grouping sends them on with one bind per texture.
#ifndef TILVOGL_BYTEXTURE_H
#define TILVOGL_BYTEXTURE_H

#include <cstdint>

// The quads of one draw call in cell order, each with its corners, normal,
// texture coordinates and texture, and where every cell's quads begin.
struct TmapQuadList {
    float *positions;        // 12 per quad: x, y, z of the four corners
    float *normals;          // 12 per quad: the quad's normal at each corner
    float *texCoords;        // 8 per quad
    uint32_t *textures;      // 1 per quad: the texture name
    int64_t count;
    int64_t capacity;
    int32_t *cellFirstQuad;  // per cell of the window in cell order, and one past the last
    int64_t cellCapacity;    // of cellFirstQuad
    int64_t cells;           // cells started so far
    int64_t columns;         // cells per row of the window
    int64_t firstSideFace;   // first quad that the cell order enables texturing for (count: after
                             // the last), or -1
    bool failed;             // scratch memory ran out while collecting
};

// Empties the list for a window of columns x rows cells inside the layer.
// Returns nullptr when the scratch memory cannot be had.
TmapQuadList *tmapStartCollecting(int64_t columns, int64_t rows);

// Starts the next cell of the window; its quads follow.
void tmapStartCell(TmapQuadList &quads);

// Appends a quad. enablesTexturing marks the quads before which the cell order
// calls glEnable(GL_TEXTURE_2D).
void tmapCollectQuad(TmapQuadList &quads, uint32_t texture, float nx, float ny, float nz,
                     const float (*texCoords)[2], const float (*corners)[3], bool enablesTexturing);

// Notes that the cell order enables texturing here, before the next quad,
// for a side face it leaves out (tmapDrawFaces).
void tmapCollectTexturingEnabled(TmapQuadList &quads);

// Draws the collected quads grouped by texture, so that the picture is the
// cell order's. Returns 0, or -1 having drawn nothing (scratch memory ran out,
// or client arrays cannot be used now), when the caller draws in cell order.
int tmapDrawCollectedByTexture(void);

// Frees the scratch memory and everything kept between calls.
void tmapReleaseDrawScratch(void);

// Frees the block draws' scratch for leaving faces out (draw.cpp).
void tmapReleaseFaceScratch();

// What a grouped draw keeps between calls for the window it drew last (the
// dependencies, the schedule, the placements). It belongs to the map it was
// worked out for: a map set aside holds it (maps.cpp), so switching maps
// works nothing out again. The collected quads and the emitted vertices are
// rebuilt at every draw and stay shared.
struct TmapGroupedOrder;

// An empty kept order for a map set aside, or nullptr when out of memory;
// freed with tmapFree once tmapReleaseGroupedOrder emptied it.
TmapGroupedOrder *tmapNewGroupedOrder();

// Exchanges the current map's kept order with other, by value.
void tmapSwapGroupedOrder(TmapGroupedOrder &other);

// Frees what a kept order that is not the current map's holds, leaving it
// empty (drawing thread: it passes through the current order's place).
void tmapReleaseGroupedOrder(TmapGroupedOrder &order);

#endif
