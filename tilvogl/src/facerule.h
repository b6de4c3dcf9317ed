// The visible-face rule: which faces of a window of block columns a view
// cannot show, worked out from the matrices and the GL state of the draw.
// The fixed-function draws (tmapDrawFaces) and the shader renderer both ask
// here, so the pictures stay the same whichever draws them.
//
// Two kinds of face are left out:
//   - faces the GL culls: with GL_CULL_FACE on, a face whose winding on the
//     screen is the culled one makes no fragment. A face counts as culled
//     only when the eye lies a whole cell (or cube) beyond its plane, so
//     that the GL's own rounding cannot decide otherwise.
//   - faces inside solids: a side of a column that the neighbour it touches
//     covers (the neighbour stands at least as high, and every face it could
//     be seen through is opaque: its top cap and the sides other than the
//     ones turned towards the side), and the cap on the ground beneath a
//     column that is opaque all round. From outside every column such a
//     face can only be seen through the neighbour, whose faces hide it. This
//     holds when the eye is on the columns' side of the ground (a ray from
//     below could enter a column through its open bottom), the culling
//     removes the faces seen from inside (otherwise a back face coplanar
//     with the neighbour's front face may win the depth test), the depth
//     test keeps the nearer of two fragments and writes depth, nothing is
//     blended or stencilled, polygons are filled, depth is not clamped, no
//     user clip plane is on, and the near plane cuts no column that hides
//     anything (a column cut open shows what lies inside it).
#ifndef TILVOGL_FACERULE_H
#define TILVOGL_FACERULE_H

#include <cmath>
#include <cstdint>

#include "columns.h"
#include "internal.h"

// The GL state the rule depends on, as a renderer reads it from its GL.
struct TmapFaceState {
    bool culling;
    unsigned cullMode;     // GL_FRONT, GL_BACK or GL_FRONT_AND_BACK
    unsigned frontFace;    // GL_CCW or GL_CW
    bool depthTest;
    bool depthWrites;
    unsigned depthFunction;
    double depthNear, depthFar;
    bool zeroToOneDepth;   // glClipControl's GL_ZERO_TO_ONE
    bool plainFragments;   // no blending, no stencil test, polygons filled, no depth clamp, and
                           // an alpha test (if any) that keeps fragments above a value
    bool alphaTested;      // an alpha test may discard transparent texels
    bool clipPlanes;       // a user clip plane is on
};

// The state queries of OpenGL 1.1 that the reading needs, from
// whichever GL the renderer calls.
struct TmapFaceStateQueries {
    unsigned char (*isEnabled)(unsigned capability);
    void (*getIntegerv)(unsigned name, int *values);
    void (*getFloatv)(unsigned name, float *values);
    const unsigned char *(*getString)(unsigned name);
};

// Reads the state. desktop: OpenGL rather than ES or WebGL; version is
// major * 10 + minor; fixedFunction: a context of the fixed pipeline (its
// alpha test and user clip planes; the shader renderer's alpha test is the
// view's). Makes only queries a context of that kind answers, so it sets
// no GL error.
TmapFaceState tmapReadFaceState(const TmapFaceStateQueries &gl, bool desktop, int version, bool fixedFunction);

// Where a window's faces lie: the cells drawn (clipped to the layer), the
// first drawn cell's corner and the steps. Cell space measures x in
// columns (column c spans c .. c + 1), y in rows and z in cubes above the
// ground.
struct TmapFaceWindow {
    TmapSpan across, down;
    float baseZ, cellWidth, cellHeight;
};

// What a view lets a draw leave out.
struct TmapFaceView {
    bool dropsCulled;   // faces the GL culls may be left out
    bool dropsHidden;   // faces inside solids may be left out (given the near plane check)
    bool perspective;   // the eye is a point, else a direction
    // Perspective: the cell and the cube the eye is in (rounded down, held
    // a few cells outside the window and the map's columns).
    int64_t eyeColumn, eyeRow;
    int32_t eyeLevel;
    // Parallel projection: per axis of cell space, on which side of a face
    // the projection's centre lies: +1 the far side, -1 the near, 0 neither.
    int towardX, towardY, towardZ;
    bool outsideCcw;    // a face seen from outside winds counter-clockwise on the screen
    bool cullsCcw, cullsCw;
    TmapSeeThrough seeThrough; // which faces hide what lies behind them
    // The near plane's rectangle in cell space, for tmapNearPlaneClear.
    double nearLow[3], nearHigh[3];
};

// The verdict for one draw. tallest bounds the cubes of any column the
// window can show (the eye's level is held just above it). Matrices are
// column-major.
TmapFaceView tmapFaceViewOf(const double modelview[16], const double projection[16], const TmapFaceState &state,
                            const TmapFaceWindow &window, int32_t tallest);

// Whether two views leave out the same faces of any window.
bool tmapSameFaceSelection(const TmapFaceView &a, const TmapFaceView &b);

// Whether the GL culls a face of the window for this view. column and row
// are the face's cell; cube is a cap's level (the cubes beneath it).
bool tmapFaceCulled(const TmapFaceView &view, TmapFaceKind kind, int64_t column, int64_t row, int32_t cube);

// Cells the near-plane check looks at in all before it gives up.
const int64_t tmapNearPlaneCells = 4096;

// Whether the near plane cuts no column that hides anything:
// coverHeight(column, row) gives the cubes up to which the cell's column may
// hide a face (tmapCoverHeight; for an animated cell, the most any of its
// frames may); tallestCover bounds them all.
// The cells of a span whose extent (a cell and a cell's margin each way)
// meets low .. high in cell space; begin >= end for none.
inline void tmapCellsMeeting(double low, double high, const TmapSpan &span, int64_t &begin, int64_t &end)
{
    const double first = std::floor(low) - 1.0, last = std::floor(high) + 2.0;
    begin = first > double(span.begin) ? (first < double(span.end) ? int64_t(first) : span.end) : span.begin;
    end = last < double(span.end) ? (last > double(span.begin) ? int64_t(last) : span.begin) : span.end;
}

template <typename CoverHeight>
bool tmapNearPlaneClear(const TmapFaceView &view, const TmapFaceWindow &window, int32_t tallestCover,
                        CoverHeight coverHeight)
{
    if (view.nearLow[2] >= double(tallestCover) || view.nearHigh[2] <= 0.0)
        return true;
    int64_t firstColumn, endColumn, firstRow, endRow;
    tmapCellsMeeting(view.nearLow[0], view.nearHigh[0], window.across, firstColumn, endColumn);
    tmapCellsMeeting(view.nearLow[1], view.nearHigh[1], window.down, firstRow, endRow);
    if (firstColumn >= endColumn || firstRow >= endRow)
        return true;
    if ((endColumn - firstColumn) > tmapNearPlaneCells / (endRow - firstRow))
        return false;
    for (int64_t row = firstRow; row < endRow; ++row)
        for (int64_t column = firstColumn; column < endColumn; ++column)
            if (double(coverHeight(column, row)) > view.nearLow[2])
                return false;
    return true;
}

#endif
