// Where the quads of a grouped draw lie against the view volume.
//
// Mesa's software renderer clips per draw, and a draw that holds a clipped
// quad moves all its quads in the last bits. The cell order's draws are its
// runs of consecutive same-texture quads (consecutive glBegin/glEnd pairs
// with no state change between them are merged), so a run that may be
// clipped is kept whole as one sub-draw of a glMultiDrawArrays per texture.
// Runs that lie well inside the view volume take the renderer's unclipped
// path whichever draw holds them, and are merged into as few sub-draws as
// the order allows; runs wholly outside it draw nothing, and go together at
// the end of their texture's draw.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>  // std::swap

#include "bytexture_internal.h"

TmapPlacements tmapPlacements;

namespace {

// Where a corner lies against the six planes of the view volume, by margins
// that cover the GL's own rounding of the same products: whether it is well
// inside, and the planes it is well outside of, a bit each.
bool placeCorner(const double *m, const float *corner, bool zeroToOneDepth, unsigned &outside)
{
    double clip[4], size[4];
    for (int row = 0; row < 4; ++row) {
        const double terms[4] = {m[row] * corner[0], m[4 + row] * corner[1], m[8 + row] * corner[2], m[12 + row]};
        clip[row] = terms[0] + terms[1] + terms[2] + terms[3];
        size[row] = std::fabs(terms[0]) + std::fabs(terms[1]) + std::fabs(terms[2]) + std::fabs(terms[3]);
    }
    const double margin = 1e-4;
    const double wLow = clip[3] - margin * size[3], wHigh = clip[3] + margin * size[3];
    bool inside = wLow > 0.0;
    outside = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const bool fromZero = axis == 2 && zeroToOneDepth;
        const double slack = margin * size[axis];
        const double low = clip[axis] - slack, high = clip[axis] + slack;
        inside = inside && low >= (fromZero ? 0.0 : -wLow) && high <= wLow;
        if (high < (fromZero ? 0.0 : -wHigh))
            outside |= 1u << (axis * 2);
        if (low > wHigh)
            outside |= 2u << (axis * 2);
    }
    return inside;
}

TmapPlacement placeQuad(const double *m, const float *corners, bool zeroToOneDepth)
{
    bool inside = true;
    unsigned outsideAll = ~0u;
    for (int corner = 0; corner < 4; ++corner) {
        unsigned outside;
        inside = placeCorner(m, &corners[corner * 3], zeroToOneDepth, outside) && inside;
        outsideAll &= outside;
    }
    return inside ? tmapWellInside : outsideAll != 0 ? tmapWhollyOutside : tmapMayBeClipped;
}


// Whether the GL clips the way the placements assume: no user clip planes.
// Sets zeroToOneDepth when clip depth runs from 0 to w.
bool clipsToViewVolume(int version, bool &zeroToOneDepth)
{
    GLint planes = 0;
    glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
    for (GLint plane = 0; plane < planes && plane < 8; ++plane)
        if (glIsEnabled(GLenum(GL_CLIP_PLANE0 + plane)))
            return false;
    zeroToOneDepth = false;
    if (version >= 45) {
        GLint depthMode = 0;
        glGetIntegerv(0x935D /* GL_CLIP_DEPTH_MODE */, &depthMode);
        zeroToOneDepth = depthMode == 0x935F /* GL_ZERO_TO_ONE */;
    }
    return true;
}

// Projection times modelview, column by column as the GL keeps them.
void currentMatrix(double *matrix)
{
    double projection[16], modelview[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += projection[k * 4 + row] * modelview[column * 4 + k];
            matrix[column * 4 + row] = sum;
        }
}

} // namespace

bool tmapReservePlacements()
{
    TmapPlacements &p = tmapPlacements;
    if (p.capacity < tmapCollected.capacity) {
        p.valid = false;
        p.capacity = 0;
        if (!tmapAllocateArray(p.ofQuad, tmapCollected.capacity) ||
            !tmapAllocateArray(p.spare, tmapCollected.capacity))
            return false;
        p.capacity = tmapCollected.capacity;
    }
    return true;
}

void tmapFollowGeometryChange()
{
    TmapPlacements &p = tmapPlacements;
    const TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    if (!p.valid || d.wholeWindowChanged) {
        p.valid = false;
        return;
    }
    for (int64_t cell = 0; cell < q.cells; ++cell) {
        const int32_t first = q.cellFirstQuad[cell], end = q.cellFirstQuad[cell + 1];
        if (d.cellChanged[cell]) {
            for (int32_t i = first; i < end; ++i)
                p.spare[i] = placeQuad(p.matrix, &q.positions[i * 12], p.zeroToOneDepth);
        } else if (end > first) {
            std::memcpy(&p.spare[first], &p.ofQuad[d.previousCellFirstQuad[cell]], size_t(end - first));
        }
    }
    std::swap(p.ofQuad, p.spare);
}

bool tmapPlaceQuads(int version, bool compiling)
{
    const TmapQuadList &q = tmapCollected;
    bool zeroToOneDepth;
    if (compiling || !clipsToViewVolume(version, zeroToOneDepth))
        return false;
    double matrix[16];
    currentMatrix(matrix);
    TmapPlacements &p = tmapPlacements;
    if (p.valid && p.zeroToOneDepth == zeroToOneDepth && std::memcmp(p.matrix, matrix, sizeof matrix) == 0)
        return true;
    for (int64_t i = 0; i < q.count; ++i)
        p.ofQuad[i] = placeQuad(matrix, &q.positions[i * 12], zeroToOneDepth);
    std::memcpy(p.matrix, matrix, sizeof matrix);
    p.zeroToOneDepth = zeroToOneDepth;
    p.valid = true;
    return true;
}

TmapPlacement tmapPlaceRun(int32_t run)
{
    const TmapSchedule &s = tmapSchedule;
    const uint8_t *ofQuad = tmapPlacements.ofQuad;
    const int64_t begin = s.firsts[run] / 4, end = begin + s.counts[run] / 4;
    const uint8_t placement = ofQuad[begin];
    for (int64_t i = begin + 1; i < end; ++i)
        if (ofQuad[i] != placement)
            return tmapMayBeClipped;
    return TmapPlacement(placement);
}

void tmapReleasePlacements()
{
    freeAndClear(tmapPlacements.ofQuad);
    freeAndClear(tmapPlacements.spare);
    tmapPlacements = TmapPlacements();
}
