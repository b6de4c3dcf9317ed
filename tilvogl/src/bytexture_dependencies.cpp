// Which quads of a grouped draw must keep their cell order.
//
// Depth ties decide pixels where two quads meet: an upper cap at rise 0 and
// its lower cap, a face and a neighbour's coplanar face, a cap and the face
// of a neighbouring column along their shared edge. There the quad drawn
// first wins, so a quad is drawn after every earlier quad of its own or a
// neighbouring cell (diagonals included) that can meet it at such a tie
// (see mustFollow); all other quads are free to move.
//
// So a cell's dependencies (those whose later quad lies in it) depend only
// on the quads of the cell and of its neighbours drawn before it. They are
// kept per cell, their quads numbered within their cells, and when the
// collected quads change, only the cells whose quads changed and the cells
// drawn after them as their neighbours are worked out again: an animation
// that changes a few columns costs a few neighbourhoods, not the window.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>  // std::swap

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

const int neighbourSlots = 5;

// The neighbours whose quads a cell's quads may follow, by slot: the cell
// itself, then the cells before it to the left, above, above left and above
// right. Returns the neighbour in the slot, or -1 where the window ends.
int64_t neighbourIn(int slot, int64_t cell, int64_t columns)
{
    const int64_t column = cell % columns;
    switch (slot) {
    case 0:
        return cell;
    case 1:
        return column > 0 ? cell - 1 : -1;
    case 2:
        return cell >= columns ? cell - columns : -1;
    case 3:
        return cell >= columns && column > 0 ? cell - columns - 1 : -1;
    default:
        return cell >= columns && column + 1 < columns ? cell - columns + 1 : -1;
    }
}

// A kept dependency's earlier quad: its index within its cell, and the slot
// of that cell.
inline uint32_t packEarlier(int32_t index, int slot) { return uint32_t(index) << 3 | uint32_t(slot); }
inline int slotOf(uint32_t earlier) { return int(earlier & 7u); }
inline int32_t indexOf(uint32_t earlier) { return int32_t(earlier >> 3); }

// Appends a dependency to the spare cell edges, growing them as needed.
bool appendEdge(int64_t &count, uint32_t earlier, int32_t later)
{
    TmapDependencies &d = tmapDependencies;
    if (count == d.spareEdgeCapacity) {
        const int64_t more = count < 4096 ? 4096 : count * 2;
        if (!tmapGrowArray(d.spareEdges, more, count))
            return false;
        d.spareEdgeCapacity = more;
    }
    d.spareEdges[count++] = TmapCellEdge{earlier, later};
    return true;
}

// Works out the dependencies whose later quad lies in the cell, in the order
// later quad, neighbour slot, earlier quad, and appends them to the spare
// cell edges.
bool workOutCell(int64_t cell, float tolerance, bool culling, int64_t &count)
{
    const TmapQuadList &q = tmapCollected;
    const float *boxes = tmapDependencies.boxes;
    const int32_t first = q.cellFirstQuad[cell], end = q.cellFirstQuad[cell + 1];
    for (int32_t later = first; later < end; ++later) {
        const bool lowerCap = later + 1 == end && q.normals[later * 12 + 2] != 0.0f;
        for (int slot = 0; slot < neighbourSlots; ++slot) {
            const int64_t neighbour = neighbourIn(slot, cell, q.columns);
            if (neighbour < 0)
                continue;
            const int32_t from = q.cellFirstQuad[neighbour];
            const int32_t to = slot == 0 ? later : q.cellFirstQuad[neighbour + 1];
            for (int32_t earlier = from; earlier < to; ++earlier)
                if (mustFollow(&boxes[earlier * 6], &boxes[later * 6], &q.positions[earlier * 12],
                               &q.positions[later * 12], tolerance, slot == 0, lowerCap, culling) &&
                    !appendEdge(count, packEarlier(earlier - from, slot), later - first))
                    return false;
        }
    }
    return true;
}

// Boxes of the collected quads; returns the tolerance within which their
// coordinates count as equal (those that should agree may differ in their
// last bits).
float boxCollectedQuads()
{
    const TmapQuadList &q = tmapCollected;
    float *boxes = tmapDependencies.boxes;
    float largest = 0.0f;
    for (int64_t i = 0; i < q.count; ++i) {
        boxOf(&q.positions[i * 12], &boxes[i * 6]);
        for (int k = 0; k < 6; ++k) {
            const float magnitude = std::abs(boxes[i * 6 + k]);
            largest = magnitude > largest ? magnitude : largest;
        }
    }
    return (largest + 1.0f) * 1e-5f;
}

// Marks the cells whose quads differ from those the dependencies were worked
// out for; returns whether any did.
bool markChangedCells()
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    bool any = false;
    for (int64_t cell = 0; cell < q.cells; ++cell) {
        const int32_t first = q.cellFirstQuad[cell], quads = q.cellFirstQuad[cell + 1] - first;
        const int32_t keptFirst = d.cellFirstQuad[cell];
        const bool changed = d.cellFirstQuad[cell + 1] - keptFirst != quads ||
                             std::memcmp(&d.positions[int64_t(keptFirst) * 12], &q.positions[int64_t(first) * 12],
                                         size_t(quads) * 12 * sizeof(float)) != 0;
        d.cellChanged[cell] = changed;
        any = any || changed;
    }
    return any;
}

// Whether a cell's dependencies must be worked out again: its own quads or
// those of a neighbour drawn before it changed.
bool needsWorkingOut(int64_t cell, int64_t columns)
{
    const TmapDependencies &d = tmapDependencies;
    if (d.wholeWindowChanged)
        return true;
    for (int slot = 0; slot < neighbourSlots; ++slot) {
        const int64_t neighbour = neighbourIn(slot, cell, columns);
        if (neighbour >= 0 && d.cellChanged[neighbour])
            return true;
    }
    return false;
}

// Copies a cell's kept edges to the spare ones.
bool copyKeptEdges(int64_t cell, int64_t &count)
{
    TmapDependencies &d = tmapDependencies;
    const int64_t from = d.edgeStart[cell], kept = d.edgeStart[cell + 1] - from;
    if (kept == 0)
        return true;
    if (count + kept > d.spareEdgeCapacity) {
        const int64_t more = (count + kept) * 2;
        if (!tmapGrowArray(d.spareEdges, more, count))
            return false;
        d.spareEdgeCapacity = more;
    }
    std::memcpy(&d.spareEdges[count], &d.edges[from], size_t(kept) * sizeof(TmapCellEdge));
    count += kept;
    return true;
}

// Fills the spare cell edges, worked out again where needed and copied from
// the kept ones elsewhere, and makes them the kept ones.
bool updateCellEdges(float tolerance, bool culling)
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    int64_t count = 0;
    for (int64_t cell = 0; cell < q.cells; ++cell) {
        d.spareEdgeStart[cell] = count;
        if (needsWorkingOut(cell, q.columns)) {
            ++d.cellsWorkedOut;
            if (!workOutCell(cell, tolerance, culling, count))
                return false;
        } else if (!copyKeptEdges(cell, count)) {
            return false;
        }
    }
    d.spareEdgeStart[q.cells] = count;
    std::swap(d.edges, d.spareEdges);
    std::swap(d.edgeCapacity, d.spareEdgeCapacity);
    std::swap(d.edgeStart, d.spareEdgeStart);
    return true;
}

// Where the quads of a cell's neighbours begin, by slot (0 for none).
void neighbourFirstQuads(int64_t cell, int32_t *first)
{
    const TmapQuadList &q = tmapCollected;
    for (int slot = 0; slot < neighbourSlots; ++slot) {
        const int64_t neighbour = neighbourIn(slot, cell, q.columns);
        first[slot] = neighbour < 0 ? 0 : q.cellFirstQuad[neighbour];
    }
}

// Calls visit(earlier, later) with the quad indices of every kept edge, in
// the order in which the cells and their edges were worked out.
template <typename Visit> void forEachKeptEdge(Visit visit)
{
    const TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    int32_t first[neighbourSlots];
    for (int64_t cell = 0; cell < q.cells; ++cell) {
        neighbourFirstQuads(cell, first);
        for (int64_t e = d.edgeStart[cell]; e < d.edgeStart[cell + 1]; ++e) {
            const TmapCellEdge &edge = d.edges[e];
            visit(first[slotOf(edge.earlier)] + indexOf(edge.earlier), first[0] + edge.later);
        }
    }
}

// Turns the kept cell edges into each quad's later quads, in the order in
// which the cells and their edges were worked out.
bool listSuccessors()
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    const int64_t edges = d.edgeStart[q.cells];
    if (edges > INT32_MAX)
        return false;
    if (d.successorCapacity < edges) {
        d.successorCapacity = 0;
        if (!tmapAllocateArray(d.successors, edges))
            return false;
        d.successorCapacity = edges;
    }
    for (int64_t i = 0; i <= q.count; ++i)
        d.successorStart[i] = 0;
    forEachKeptEdge([&](int32_t earlier, int32_t) { ++d.successorStart[earlier]; });
    // Counts to starts, then fill back to front so each start ends right.
    int32_t sum = 0;
    for (int64_t i = 0; i <= q.count; ++i) {
        sum += d.successorStart[i];
        d.successorStart[i] = sum;
    }
    forEachKeptEdge([&](int32_t earlier, int32_t later) { d.successors[--d.successorStart[earlier]] = later; });
    return true;
}

// Room for the collected quads and cells, keeping what the dependencies were
// worked out for; false when scratch memory ran out.
bool reserveDependencies()
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    const int64_t keptQuads = d.valid ? d.count : 0, keptCells = d.valid ? d.cells + 1 : 0;
    if (d.quadCapacity < q.capacity) {
        if (!tmapGrowArray(d.positions, q.capacity * 12, keptQuads * 12) ||
            !tmapAllocateArray(d.successorStart, q.capacity + 1) || !tmapAllocateArray(d.boxes, q.capacity * 6))
            return false;
        d.quadCapacity = q.capacity;
    }
    if (d.cellCapacity < q.cellCapacity) {
        if (!tmapGrowArray(d.cellFirstQuad, q.cellCapacity, keptCells) ||
            !tmapGrowArray(d.edgeStart, q.cellCapacity, keptCells) ||
            !tmapAllocateArray(d.previousCellFirstQuad, q.cellCapacity) ||
            !tmapAllocateArray(d.cellChanged, q.cellCapacity) || !tmapAllocateArray(d.spareEdgeStart, q.cellCapacity))
            return false;
        d.cellCapacity = q.cellCapacity;
    }
    return true;
}

// Keeps the collected quads' geometry as what the dependencies hold for,
// and the layout it replaces.
void keepGeometry(bool culling, float tolerance)
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    std::swap(d.cellFirstQuad, d.previousCellFirstQuad);
    std::memcpy(d.cellFirstQuad, q.cellFirstQuad, size_t(q.cells + 1) * sizeof(int32_t));
    std::memcpy(d.positions, q.positions, size_t(q.count) * 12 * sizeof(float));
    d.count = q.count;
    d.cells = q.cells;
    d.columns = q.columns;
    d.culling = culling;
    d.tolerance = tolerance;
    d.valid = true;
}

} // namespace

bool tmapUpdateDependencies(bool culling, bool &changed)
{
    TmapDependencies &d = tmapDependencies;
    const TmapQuadList &q = tmapCollected;
    changed = true;
    d.cellsWorkedOut = 0;
    if (!reserveDependencies()) {
        d.valid = false;
        return false;
    }
    const bool sameWindow = d.valid && d.culling == culling && d.cells == q.cells && d.columns == q.columns;
    if (sameWindow && !markChangedCells()) {
        changed = false;
        return true;
    }
    const float tolerance = boxCollectedQuads();
    d.wholeWindowChanged = !sameWindow || tolerance != d.tolerance;
    d.valid = false;
    if (!updateCellEdges(tolerance, culling) || !listSuccessors())
        return false;
    keepGeometry(culling, tolerance);
    return true;
}

#ifdef TILVOGL_TEST_COUNTERS
extern "C" long tmapGroupedCellsWorkedOut(void) { return long(tmapDependencies.cellsWorkedOut); }
#endif

void tmapReleaseDependencies()
{
    TmapDependencies &d = tmapDependencies;
    freeAndClear(d.positions);
    freeAndClear(d.boxes);
    freeAndClear(d.cellFirstQuad);
    freeAndClear(d.previousCellFirstQuad);
    freeAndClear(d.cellChanged);
    freeAndClear(d.edgeStart);
    freeAndClear(d.spareEdgeStart);
    freeAndClear(d.edges);
    freeAndClear(d.spareEdges);
    freeAndClear(d.successorStart);
    freeAndClear(d.successors);
    d = TmapDependencies();
}
