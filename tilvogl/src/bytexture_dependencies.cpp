// Which quads of a grouped draw must keep their cell order.
//
// Depth ties decide pixels where two quads meet: an upper cap at rise 0 and
// its lower cap, a face and a neighbour's coplanar face, a cap and the face
// of a neighbouring column along their shared edge. There the quad drawn
// first wins, so a quad is drawn after every earlier quad of its own or a
// neighbouring cell (diagonals included) that can meet it at such a tie
// (see mustFollow); all other quads are free to move.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bytexture_internal.h"

TmapDependencies tmapDependencies;

namespace {

void boxOf(const float *corners, float *box)
{
    for (int axis = 0; axis < 3; ++axis) {
        float low = corners[axis], high = corners[axis];
        for (int corner = 1; corner < 4; ++corner) {
            float value = corners[corner * 3 + axis];
            low = value < low ? value : low;
            high = value > high ? value : high;
        }
        box[axis] = low;
        box[axis + 3] = high;
    }
}

// The axis along which a quad is flat, or -1 when it is flat along several.
int flatAxis(const float *box, float tolerance)
{
    int axis = -1;
    for (int a = 0; a < 3; ++a) {
        if (box[a + 3] - box[a] <= tolerance) {
            if (axis >= 0)
                return -1;
            axis = a;
        }
    }
    return axis;
}

// Whether two quads have a whole edge in common that they run along in
// opposite directions. Drawn with culling, both then wind the same way on the
// screen and lie on opposite sides of that edge.
bool shareEdgeOppositeWays(const float *a, const float *b)
{
    for (int i = 0; i < 4; ++i) {
        const float *a0 = &a[i * 3], *a1 = &a[((i + 1) % 4) * 3];
        for (int j = 0; j < 4; ++j) {
            const float *b0 = &b[j * 3], *b1 = &b[((j + 1) % 4) * 3];
            if (std::memcmp(a0, b1, 3 * sizeof(float)) == 0 && std::memcmp(a1, b0, 3 * sizeof(float)) == 0)
                return true;
        }
    }
    return false;
}

// Twice the signed area of a quad flat along an axis, seen down that axis:
// its sign is the way the corners wind.
float windingArea(const float *corners, int flat)
{
    const int u = (flat + 1) % 3, v = (flat + 2) % 3;
    float area = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const float *p = &corners[i * 3], *next = &corners[((i + 1) % 4) * 3];
        area += p[u] * next[v] - next[u] * p[v];
    }
    return area;
}

// Whether the later of two quads must be drawn after the earlier because
// they can meet at a depth tie on the screen: they share an area of one
// plane, or an edge at an angle. Quads of neighbouring cells that lie in one
// plane side by side never cover one pixel. With culling, neither do two
// quads on either side of a common edge that they run along in opposite
// directions, nor two quads facing opposite ways in one plane; and within a
// cell only the lower cap, which may lie on an upper cap, follows the others.
bool mustFollow(const float *earlier, const float *later, const float *earlierCorners,
                const float *laterCorners, float tolerance, bool sameCell, bool laterIsLowerCap,
                bool culling)
{
    int spans = 0;  // axes along which the two share more than a point
    for (int axis = 0; axis < 3; ++axis) {
        if (earlier[axis] > later[axis + 3] + tolerance || later[axis] > earlier[axis + 3] + tolerance)
            return false;
        float low = earlier[axis] > later[axis] ? earlier[axis] : later[axis];
        float high = earlier[axis + 3] < later[axis + 3] ? earlier[axis + 3] : later[axis + 3];
        spans += high - low > tolerance;
    }
    if (sameCell && laterIsLowerCap)
        return true;
    if (sameCell && culling)
        return false;
    if (spans == 0)
        return false;
    int flat = flatAxis(earlier, tolerance);
    bool coplanar = flat >= 0 && flat == flatAxis(later, tolerance);
    if (!coplanar)
        return !(culling && shareEdgeOppositeWays(earlierCorners, laterCorners));
    if (spans < 2)
        return false;
    // Winding opposite ways in one plane, one of the two is always culled.
    return !(culling && (windingArea(earlierCorners, flat) < 0.0f) != (windingArea(laterCorners, flat) < 0.0f));
}

// Visits every pair (earlier, later) of quads that must keep their order.
template <typename Visit> void forEachDependency(float tolerance, bool culling, Visit visit)
{
    const TmapQuadList &q = tmapCollected;
    const float *boxes = tmapDependencies.boxes;
    for (int64_t cell = 0; cell < q.cells; ++cell) {
        int64_t column = cell % q.columns;
        // The cell itself and the neighbours drawn before it.
        int64_t neighbours[5] = {cell, -1, -1, -1, -1};
        if (column > 0)
            neighbours[1] = cell - 1;
        if (cell >= q.columns) {
            neighbours[2] = cell - q.columns;
            if (column > 0)
                neighbours[3] = cell - q.columns - 1;
            if (column + 1 < q.columns)
                neighbours[4] = cell - q.columns + 1;
        }
        for (int32_t later = q.cellFirstQuad[cell]; later < q.cellFirstQuad[cell + 1]; ++later) {
            for (int64_t neighbour : neighbours) {
                if (neighbour < 0)
                    continue;
                int32_t end = neighbour == cell ? later : q.cellFirstQuad[neighbour + 1];
                for (int32_t earlier = q.cellFirstQuad[neighbour]; earlier < end; ++earlier)
                    if (mustFollow(&boxes[earlier * 6], &boxes[later * 6], &q.positions[earlier * 12],
                                   &q.positions[later * 12], tolerance, neighbour == cell,
                                   later + 1 == q.cellFirstQuad[cell + 1] && q.normals[later * 12 + 2] != 0.0f,
                                   culling))
                        visit(earlier, later);
            }
        }
    }
}

} // namespace

bool tmapSameGeometry(bool culling)
{
    const TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    return d.valid && d.culling == culling && d.count == q.count && d.cells == q.cells && d.columns == q.columns &&
           std::memcmp(d.cellFirstQuad, q.cellFirstQuad, size_t(q.cells + 1) * sizeof(int32_t)) == 0 &&
           std::memcmp(d.positions, q.positions, size_t(q.count) * 12 * sizeof(float)) == 0;
}

bool tmapBuildDependencies(bool culling)
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    d.valid = false;
    tmapSchedule.valid = false;
    tmapPlacements.valid = false;
    if (d.quadCapacity < q.capacity) {
        if (!tmapAllocateArray(d.positions, q.capacity * 12) ||
            !tmapAllocateArray(d.successorStart, q.capacity + 1) || !tmapAllocateArray(d.boxes, q.capacity * 6))
            return false;
        d.quadCapacity = q.capacity;
    }
    if (d.cellCapacity < tmapCollected.cellCapacity) {
        if (!tmapAllocateArray(d.cellFirstQuad, tmapCollected.cellCapacity))
            return false;
        d.cellCapacity = tmapCollected.cellCapacity;
    }

    float largest = 0.0f;
    for (int64_t i = 0; i < q.count; ++i) {
        boxOf(&q.positions[i * 12], &d.boxes[i * 6]);
        for (int k = 0; k < 6; ++k) {
            float magnitude = std::abs(d.boxes[i * 6 + k]);
            largest = magnitude > largest ? magnitude : largest;
        }
    }
    // Coordinates that should agree may differ in their last bits.
    const float tolerance = (largest + 1.0f) * 1e-5f;

    for (int64_t i = 0; i <= q.count; ++i)
        d.successorStart[i] = 0;
    int64_t edges = 0;
    forEachDependency(tolerance, culling, [&](int32_t earlier, int32_t) {
        ++d.successorStart[earlier];
        ++edges;
    });
    if (edges > INT32_MAX)
        return false;
    if (d.edgeCapacity < edges) {
        if (!tmapAllocateArray(d.successors, edges))
            return false;
        d.edgeCapacity = edges;
    }
    // Counts to starts, then fill back to front so each start ends right.
    int32_t sum = 0;
    for (int64_t i = 0; i <= q.count; ++i) {
        sum += d.successorStart[i];
        d.successorStart[i] = sum;
    }
    forEachDependency(tolerance, culling, [&](int32_t earlier, int32_t later) {
        d.successors[--d.successorStart[earlier]] = later;
    });
    std::memcpy(d.positions, q.positions, size_t(q.count) * 12 * sizeof(float));
    std::memcpy(d.cellFirstQuad, q.cellFirstQuad, size_t(q.cells + 1) * sizeof(int32_t));
    d.count = q.count;
    d.cells = q.cells;
    d.columns = q.columns;
    d.culling = culling;
    d.valid = true;
    return true;
}


void tmapReleaseDependencies()
{
    TmapDependencies &d = tmapDependencies;
    freeAndClear(d.positions);
    freeAndClear(d.cellFirstQuad);
    freeAndClear(d.successorStart);
    freeAndClear(d.successors);
    freeAndClear(d.boxes);
    d = TmapDependencies();
}
