// Block columns: how a cell's block records stand as cubes and caps. The
// fixed-function draws, the shader renderer's faces and tables, the face
// count and the visible-face rule all walk columns here, so the stacking
// rule, the caps' places and the cubes' heights have one owner.
#ifndef TILVOGL_COLUMNS_H
#define TILVOGL_COLUMNS_H

#include <cstdint>

#include "internal.h"

// The faces of a column, numbered in the order the cell order draws a
// cube's sides (each its record's graphic of the same number), then the
// caps. The shader renderer's corners carry these numbers too.
enum TmapFaceKind {
    tmapFaceAtX,       // the side at the cell's x edge: graphic1
    tmapFaceAtY,       // the side at its y edge: graphic2
    tmapFaceAtFarX,    // the side at x + cellWidth: graphic3
    tmapFaceAtFarY,    // the side at y + cellHeight: graphic4
    tmapFaceSecondCap, // the closing record's graphic2, on top of the column
    tmapFaceFirstCap,  // its graphic1: on top, or on the ground beneath a graphic2 cap
    tmapFaceKinds
};
const int tmapSideKinds = 4;

// The side of the neighbouring column that faces back at a side.
inline int tmapFacingSide(int side) { return side ^ 2; }

inline int32_t tmapSideGraphic(const TmapBlock &record, int side)
{
    const int32_t graphics[tmapSideKinds] = {record.graphic1, record.graphic2, record.graphic3, record.graphic4};
    return graphics[side];
}

// Where a side stands on its cell's ground rectangle (x .. x1, y .. y1):
// the edge from its first corner to its last, as the cell order sends the
// corners, and its normal, the same whatever the signs of the steps.
struct TmapSideEdge {
    float fromX, fromY, toX, toY;
    float normalX, normalY;
};

inline TmapSideEdge tmapSideEdge(int side, float x, float x1, float y, float y1)
{
    switch (side) {
    case tmapFaceAtX: return {x, y, x, y1, -1.0f, 0.0f};
    case tmapFaceAtY: return {x1, y, x, y, 0.0f, -1.0f};
    case tmapFaceAtFarX: return {x1, y1, x1, y, 1.0f, 0.0f};
    default: return {x, y1, x1, y1, 0.0f, 1.0f};
    }
}

// Whether a record carries the next record on top of it. The last record
// ends its column even when it claims another on top.
inline bool tmapStacksOnNext(int64_t record)
{
    return (tmapBlocks[record].flags & TMAP_FLAG_STACKED) != 0 && record + 1 < tmapBlockCount;
}

// One cap of a column closed by a record: graphic2, when it is not 0, on
// top of the column and graphic1 on the ground beneath it; otherwise
// graphic1 on top. A column of no cubes has both on the ground, graphic2
// first.
struct TmapCap {
    TmapFaceKind kind;
    int32_t graphic;
    bool onTop;
};

// The caps of a closing record in drawing order; returns how many (1 or 2).
inline int tmapCapsOf(const TmapBlock &closing, TmapCap caps[2])
{
    if (closing.graphic2 != 0) {
        caps[0] = {tmapFaceSecondCap, closing.graphic2, true};
        caps[1] = {tmapFaceFirstCap, closing.graphic1, false};
        return 2;
    }
    caps[0] = {tmapFaceFirstCap, closing.graphic1, true};
    return 1;
}

// Cube bottoms above the ground are running sums of the cube height,
// rounded to single precision after every addition.
inline float tmapNextRise(float rise, float cubeHeight) { return rise + cubeHeight; }

// Walks the column that starts at record `first` as the cell order draws
// it: visit.cube(record, cube, z0, z1) for each stacked record from the
// ground up (cube 0 first), then visit.cap(cap, z, closing) for each cap of
// the closing record.
template <typename Visitor>
void tmapWalkColumn(int64_t first, float baseZ, float cubeHeight, Visitor &visit)
{
    int64_t record = first;
    int32_t cube = 0;
    float rise = 0.0f;
    while (tmapStacksOnNext(record)) {
        const float z0 = baseZ + rise;
        visit.cube(tmapBlocks[record], cube, z0, z0 + cubeHeight);
        rise = tmapNextRise(rise, cubeHeight);
        ++record;
        ++cube;
    }
    const TmapBlock &closing = tmapBlocks[record];
    TmapCap caps[2];
    const int capCount = tmapCapsOf(closing, caps);
    for (int k = 0; k < capCount; ++k)
        visit.cap(caps[k], baseZ + (caps[k].onTop ? rise : 0.0f), closing);
}

// The stacked cubes of the column that starts at each record (cubes has
// tmapBlockCount entries), worked out from the last record back so that a
// towering run costs one pass. Returns the most cubes of any column.
int32_t tmapCubesFromEachRecord(int32_t *cubes);

// ---- What columns hide (used by the visible-face rule) ----

// Which tile graphics exist and which are fully opaque (an entry of 1 for
// every graphic whose pixels all have alpha 255).
struct TmapOpacity {
    const uint8_t *opaque;
    int32_t count;

    bool exists(int32_t graphic) const { return graphic >= 0 && graphic < count; }
    bool of(int32_t graphic) const { return exists(graphic) && opaque[graphic] != 0; }
};

// How a face hides what lies behind it: any face that is drawn does, with
// no fragment discarded; with the alpha test on, only an opaque one.
enum TmapSeeThrough { tmapDrawnFacesHide, tmapOpaqueFacesHide, tmapSeeThroughKinds };

// What a column shows from outside, for each TmapSeeThrough: its cubes, the
// sides on which every cube shows a face that hides (bit k for side k), and
// whether its top cap does. Built from the closing record, then one cube
// after another in any order.
struct TmapColumnCover {
    int32_t cubes;
    uint8_t hidingSides[tmapSeeThroughKinds];
    bool hidingTop[tmapSeeThroughKinds];
};

const uint8_t tmapAllSides = (1u << tmapSideKinds) - 1;

inline TmapColumnCover tmapCoverOfClosing(const TmapBlock &closing, const TmapOpacity &opacity)
{
    TmapCap caps[2];
    tmapCapsOf(closing, caps);
    return {0, {tmapAllSides, tmapAllSides}, {opacity.exists(caps[0].graphic), opacity.of(caps[0].graphic)}};
}

inline TmapColumnCover tmapCoverWithCube(TmapColumnCover cover, const TmapBlock &record, const TmapOpacity &opacity)
{
    for (int side = 0; side < tmapSideKinds; ++side) {
        const int32_t graphic = tmapSideGraphic(record, side);
        // Graphic 0 makes no side face.
        if (graphic == 0 || !opacity.exists(graphic))
            cover.hidingSides[tmapDrawnFacesHide] &= uint8_t(~(1u << side));
        if (graphic == 0 || !opacity.of(graphic))
            cover.hidingSides[tmapOpaqueFacesHide] &= uint8_t(~(1u << side));
    }
    ++cover.cubes;
    return cover;
}

// The cover of the column that starts at record `first`.
TmapColumnCover tmapCoverOfColumn(int64_t first, const TmapOpacity &opacity);

// Whether a column's cover hides the side (kind `side`, cube `cube`) of
// the neighbour it touches there. From outside every column and above the
// ground, that side can only be seen through this column, entering it
// through a face other than the ones it turns towards the side: those must
// all hide what lies behind them, and it must stand at least as high.
inline bool tmapCoverHidesSide(const TmapColumnCover &cover, TmapSeeThrough seeThrough, int side, int32_t cube)
{
    const unsigned needed = tmapAllSides & ~(1u << tmapFacingSide(side));
    return cover.cubes > cube && cover.hidingTop[seeThrough] && (cover.hidingSides[seeThrough] & needed) == needed;
}

// Whether a column's cover hides the graphic1 cap on the ground beneath
// its graphic2 cap: it can only be seen through the column itself.
inline bool tmapCoverHidesGround(const TmapColumnCover &cover, TmapSeeThrough seeThrough)
{
    return cover.cubes > 0 && cover.hidingTop[seeThrough] && cover.hidingSides[seeThrough] == tmapAllSides;
}

// The highest level up to which a column may hide anything: its cubes when
// it can hide a neighbour's side or its own ground cap, otherwise 0.
inline int32_t tmapCoverHeight(const TmapColumnCover &cover, TmapSeeThrough seeThrough)
{
    for (int side = 0; side < tmapSideKinds; ++side)
        if (tmapCoverHidesSide(cover, seeThrough, side, 0))
            return cover.cubes;
    return 0;
}

// The weaker of two covers: what a cell that may show either hides.
inline TmapColumnCover tmapCommonCover(const TmapColumnCover &a, const TmapColumnCover &b)
{
    TmapColumnCover common = a;
    common.cubes = a.cubes < b.cubes ? a.cubes : b.cubes;
    for (int k = 0; k < tmapSeeThroughKinds; ++k) {
        common.hidingSides[k] = uint8_t(a.hidingSides[k] & b.hidingSides[k]);
        common.hidingTop[k] = a.hidingTop[k] && b.hidingTop[k];
    }
    return common;
}

#endif
