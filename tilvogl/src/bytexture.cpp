// Drawing grouped by texture with the cell order's picture.
//
// Depth ties decide pixels where two quads meet: an upper cap at rise 0 and
// its lower cap, a face and a neighbour's coplanar face, a cap and the face
// of a neighbouring column along their shared edge. There the quad drawn
// first wins, so a quad is drawn after every earlier quad of its own or a
// neighbouring cell (diagonals included) that can meet it at such a tie
// (see mustFollow); all other quads are free to move.
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
//
// A window's geometry seldom changes between frames (only animated cells
// change, and mostly only their textures): the dependencies between quads
// are kept while the corners stay bit for bit the same, and the whole
// schedule while the textures do too.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bytexture.h"
#include "internal.h"

// OpenGL 1.4; resolved by the dynamic linker when the GL library has it.
#pragma weak glMultiDrawArrays

namespace {

// Quads are drawn with GLint vertex indices, four per quad.
const int64_t maxQuads = int64_t(1) << 28;

// A block of count T from the library's allocator; false leaves array as it was.
template <typename T> bool allocateArray(T *&array, int64_t count)
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

// As allocateArray, keeping the first kept elements.
template <typename T> bool growArray(T *&array, int64_t count, int64_t kept)
{
    T *old = array;
    array = nullptr;
    if (!allocateArray(array, count)) {
        array = old;
        return false;
    }
    if (kept > 0)
        std::memcpy(array, old, size_t(kept) * sizeof(T));
    tmapFree(old);
    return true;
}

template <typename T> void freeArray(T *&array)
{
    tmapFree(array);
    array = nullptr;
}

TmapQuadList collected;
int64_t cellCapacity = 0;

// Kept between calls: the geometry the dependencies were worked out for.
struct Dependencies {
    bool valid;
    int64_t quadCapacity;  // of positions and successorStart
    int64_t cellCapacity;
    int64_t edgeCapacity;
    float *positions;      // the corners they were worked out for
    int32_t *cellFirstQuad;
    int64_t count;
    int64_t cells;
    int64_t columns;
    bool culling;             // worked out for GL_CULL_FACE on
    int32_t *successorStart;  // per quad and one more: its later quads in successors
    int32_t *successors;      // later quads that must follow it
    float *boxes;             // scratch while building: min and max per axis
} dependencies;

// Kept between calls: the order for the textures it was worked out for.
struct Schedule {
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
    // The result: groups of runs, one bind each. firsts and counts give a
    // run's vertices in cell order; each draw copies a group's vertices
    // together (drawPositions, ...) and sends them as subDraws.
    GLint *firsts;
    GLsizei *counts;
    GLint *subDrawFirsts;
    GLsizei *subDrawCounts;
    uint8_t *placements;    // a Placement per quad
    float *drawPositions;
    float *drawNormals;
    float *drawTexCoords;
    int64_t runs;
    uint32_t *groupTexture;
    int32_t *groupEnd;      // per group: one past its last sub-draw
    int64_t groups;
    int64_t enableBeforeGroup;  // group before which texturing is enabled, or -1
} schedule;

// Where a quad or run lies against the view volume.
enum Placement : uint8_t { mayBeClipped, wellInside, whollyOutside };

// Kept between calls: the quads' placements (in the schedule's scratch) for
// the matrices they were worked out for.
struct Placements {
    bool valid;
    double matrix[16];    // projection times modelview
    bool zeroToOneDepth;  // clip depth runs from 0 to w rather than -w to w
} placements;

// ---- Dependencies between quads ----

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

// Whether the later of two quads must be drawn after the earlier because
// they can meet at a depth tie on the screen: they share an area of one
// plane, or an edge at an angle. Quads of neighbouring cells that lie in one
// plane side by side never cover one pixel. With culling, neither do two
// quads on either side of a common edge that they run along in opposite
// directions, nor two quads facing opposite ways in one plane; and within a
// cell only the lower cap, which may lie on an upper cap, follows the others.
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

bool sameGeometry(bool culling)
{
    const Dependencies &d = dependencies;
    const TmapQuadList &q = collected;
    return d.valid && d.culling == culling && d.count == q.count && d.cells == q.cells && d.columns == q.columns &&
           std::memcmp(d.cellFirstQuad, q.cellFirstQuad, size_t(q.cells + 1) * sizeof(int32_t)) == 0 &&
           std::memcmp(d.positions, q.positions, size_t(q.count) * 12 * sizeof(float)) == 0;
}

// Visits every pair (earlier, later) of quads that must keep their order.
template <typename Visit> void forEachDependency(float tolerance, bool culling, Visit visit)
{
    const TmapQuadList &q = collected;
    const float *boxes = dependencies.boxes;
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

bool buildDependencies(bool culling)
{
    Dependencies &d = dependencies;
    const TmapQuadList &q = collected;
    d.valid = false;
    schedule.valid = false;
    placements.valid = false;
    if (d.quadCapacity < q.capacity) {
        if (!allocateArray(d.positions, q.capacity * 12) ||
            !allocateArray(d.successorStart, q.capacity + 1) || !allocateArray(d.boxes, q.capacity * 6))
            return false;
        d.quadCapacity = q.capacity;
    }
    if (d.cellCapacity < cellCapacity) {
        if (!allocateArray(d.cellFirstQuad, cellCapacity))
            return false;
        d.cellCapacity = cellCapacity;
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
        if (!allocateArray(d.successors, edges))
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

// ---- The order ----

bool reserveSchedule()
{
    Schedule &s = schedule;
    const int64_t n = collected.capacity;
    if (s.capacity < n) {
        s.capacity = 0;
        placements.valid = false;
        if (!allocateArray(s.textures, n) || !allocateArray(s.runOfQuad, n) ||
            !allocateArray(s.runStart, n + 1) || !allocateArray(s.runTexture, n) ||
            !allocateArray(s.waitingFor, n) || !allocateArray(s.nextReady, n) ||
            !allocateArray(s.denseTexture, n) || !allocateArray(s.readyHead, n) ||
            !allocateArray(s.readyCount, n) || !allocateArray(s.active, n) ||
            !allocateArray(s.activePlace, n) || !allocateArray(s.firsts, n) ||
            !allocateArray(s.counts, n) || !allocateArray(s.subDrawFirsts, n) ||
            !allocateArray(s.subDrawCounts, n) || !allocateArray(s.placements, n) ||
            !allocateArray(s.drawPositions, n * 12) || !allocateArray(s.drawNormals, n * 12) ||
            !allocateArray(s.drawTexCoords, n * 8) || !allocateArray(s.groupTexture, n) ||
            !allocateArray(s.groupEnd, n))
            return false;
        s.capacity = n;
    }
    int64_t slots = 16;
    while (slots < 2 * n)
        slots *= 2;
    if (s.hashCapacity < slots) {
        s.hashCapacity = 0;
        if (!allocateArray(s.hashKeys, slots) || !allocateArray(s.hashSlots, slots))
            return false;
        s.hashCapacity = slots;
    }
    return true;
}

// Dense index of a texture name, numbered in order of first use.
int32_t denseIndex(uint32_t texture, int32_t &textures)
{
    Schedule &s = schedule;
    const uint64_t mask = uint64_t(s.hashCapacity) - 1;
    uint64_t slot = (uint64_t(texture) * 0x9E3779B1u) & mask;
    while (s.hashSlots[slot] != 0) {
        if (s.hashKeys[slot] == texture)
            return s.hashSlots[slot] - 1;
        slot = (slot + 1) & mask;
    }
    s.hashKeys[slot] = texture;
    s.hashSlots[slot] = ++textures;
    s.denseTexture[textures - 1] = texture;
    return textures - 1;
}

void buildSchedule(int64_t split, bool quadRuns)
{
    Schedule &s = schedule;
    const TmapQuadList &q = collected;
    const Dependencies &d = dependencies;

    // Runs, and the first run drawn after texturing is enabled. A display
    // list merges a group's draws into one whatever their runs, so there
    // every quad is a run of its own and free to move on its own.
    int32_t textures = 0;
    for (int64_t i = 0; i < s.hashCapacity; ++i)
        s.hashSlots[i] = 0;
    int32_t runs = 0;
    int32_t splitRun = -1;
    for (int64_t i = 0; i < q.count; ++i) {
        if (i == 0 || q.textures[i] != q.textures[i - 1] || i == split || quadRuns) {
            if (i == split)
                splitRun = runs;
            s.runStart[runs] = int32_t(i);
            s.runTexture[runs] = denseIndex(q.textures[i], textures);
            s.waitingFor[runs] = 0;
            ++runs;
        }
        s.runOfQuad[i] = runs - 1;
    }
    s.runStart[runs] = int32_t(q.count);
    for (int64_t i = 0; i < q.count; ++i)
        for (int32_t e = d.successorStart[i]; e < d.successorStart[i + 1]; ++e)
            if (s.runOfQuad[d.successors[e]] != s.runOfQuad[i])
                ++s.waitingFor[s.runOfQuad[d.successors[e]]];

    for (int32_t t = 0; t < textures; ++t) {
        s.readyHead[t] = -1;
        s.readyCount[t] = 0;
        s.activePlace[t] = -1;
    }
    int32_t activeCount = 0;
    int32_t draining = -1;  // the texture being drawn, active until it has no run left
    auto ready = [&](int32_t run) {
        int32_t texture = s.runTexture[run];
        s.nextReady[run] = s.readyHead[texture];
        s.readyHead[texture] = run;
        if (s.readyCount[texture]++ == 0 && texture != draining) {
            s.activePlace[texture] = activeCount;
            s.active[activeCount++] = texture;
        }
    };
    // Runs after the split wait until every run before it is drawn.
    int32_t phaseEnd = splitRun >= 0 ? splitRun : runs;
    for (int32_t r = 0; r < phaseEnd; ++r)
        if (s.waitingFor[r] == 0)
            ready(r);

    s.runs = 0;
    s.groups = 0;
    s.enableBeforeGroup = -1;
    for (;;) {
        if (activeCount == 0) {
            if (phaseEnd == runs)
                break;
            s.enableBeforeGroup = s.groups;
            for (int32_t r = phaseEnd; r < runs; ++r)
                if (s.waitingFor[r] == 0)
                    ready(r);
            phaseEnd = runs;
            continue;
        }
        // The texture with the most runs ready.
        int32_t texture = s.active[0];
        for (int32_t a = 1; a < activeCount; ++a)
            if (s.readyCount[s.active[a]] > s.readyCount[texture])
                texture = s.active[a];
        draining = texture;
        while (s.readyHead[texture] >= 0) {
            int32_t run = s.readyHead[texture];
            s.readyHead[texture] = s.nextReady[run];
            --s.readyCount[texture];
            s.firsts[s.runs] = GLint(s.runStart[run]) * 4;
            s.counts[s.runs] = GLsizei(s.runStart[run + 1] - s.runStart[run]) * 4;
            ++s.runs;
            for (int32_t i = s.runStart[run]; i < s.runStart[run + 1]; ++i) {
                for (int32_t e = d.successorStart[i]; e < d.successorStart[i + 1]; ++e) {
                    int32_t later = s.runOfQuad[d.successors[e]];
                    if (later != run && --s.waitingFor[later] == 0 && later < phaseEnd)
                        ready(later);
                }
            }
        }
        draining = -1;
        s.groupTexture[s.groups] = s.denseTexture[texture];
        s.groupEnd[s.groups] = int32_t(s.runs);
        ++s.groups;
        int32_t place = s.activePlace[texture];
        s.active[place] = s.active[--activeCount];
        s.activePlace[s.active[place]] = place;
        s.activePlace[texture] = -1;
    }
    // Texturing already on: the cell order's glEnable changes nothing.
    if (split < 0 && q.firstSideFace >= 0)
        s.enableBeforeGroup = 0;

    std::memcpy(s.textures, q.textures, size_t(q.count) * sizeof(uint32_t));
    s.split = split;
    s.quadRuns = quadRuns;
    s.valid = true;
}

// ---- GL ----

// The GL version of the current context as major * 10 + minor.
int contextVersion()
{
    const char *text = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (text == nullptr || text[0] < '0' || text[0] > '9')
        return 0;
    int major = 0;
    while (*text >= '0' && *text <= '9')
        major = major * 10 + (*text++ - '0');
    int minor = (text[0] == '.' && text[1] >= '0' && text[1] <= '9') ? text[1] - '0' : 0;
    return major * 10 + minor;
}

// ---- Clipping ----

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

Placement placeQuad(const double *m, const float *corners, bool zeroToOneDepth)
{
    bool inside = true;
    unsigned outsideAll = ~0u;
    for (int corner = 0; corner < 4; ++corner) {
        unsigned outside;
        inside = placeCorner(m, &corners[corner * 3], zeroToOneDepth, outside) && inside;
        outsideAll &= outside;
    }
    return inside ? wellInside : outsideAll != 0 ? whollyOutside : mayBeClipped;
}

// Works out where the quads lie for the current matrices; false when that
// cannot be known (a display list being compiled, user clip planes), and
// then every run may be clipped.
bool placeQuads(int version, bool compiling)
{
    const TmapQuadList &q = collected;
    if (compiling)
        return false;
    GLint planes = 0;
    glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
    for (GLint plane = 0; plane < planes && plane < 8; ++plane)
        if (glIsEnabled(GLenum(GL_CLIP_PLANE0 + plane)))
            return false;
    bool zeroToOneDepth = false;
    if (version >= 45) {
        GLint depthMode = 0;
        glGetIntegerv(0x935D /* GL_CLIP_DEPTH_MODE */, &depthMode);
        zeroToOneDepth = depthMode == 0x935F /* GL_ZERO_TO_ONE */;
    }
    double projection[16], modelview[16], matrix[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += projection[k * 4 + row] * modelview[column * 4 + k];
            matrix[column * 4 + row] = sum;
        }
    Placements &p = placements;
    if (p.valid && p.zeroToOneDepth == zeroToOneDepth && std::memcmp(p.matrix, matrix, sizeof matrix) == 0)
        return true;
    for (int64_t i = 0; i < q.count; ++i)
        schedule.placements[i] = placeQuad(matrix, &q.positions[i * 12], zeroToOneDepth);
    std::memcpy(p.matrix, matrix, sizeof matrix);
    p.zeroToOneDepth = zeroToOneDepth;
    p.valid = true;
    return true;
}

Placement placeRun(int32_t run)
{
    const Schedule &s = schedule;
    const int64_t begin = s.firsts[run] / 4, end = begin + s.counts[run] / 4;
    const uint8_t placement = s.placements[begin];
    for (int64_t i = begin + 1; i < end; ++i)
        if (s.placements[i] != placement)
            return mayBeClipped;
    return Placement(placement);
}

// Lays out one group's runs from vertex `at` on and fills subDrawFirsts and
// subDrawCounts; returns the number of sub-draws. The GL copies client arrays
// from the lowest to the highest vertex a draw uses, so each group's vertices
// are copied together. Runs that may be clipped stay whole; consecutive runs
// well inside become one sub-draw; runs wholly outside follow as one.
int32_t layOutGroup(int32_t first, int32_t end, bool placed, GLint &at)
{
    Schedule &s = schedule;
    const TmapQuadList &q = collected;
    int32_t count = 0;
    bool extendable = false;  // the last sub-draw holds runs well inside
    auto append = [&](int32_t run, bool mergeable) {
        const size_t from = size_t(s.firsts[run]), to = size_t(at), vertices = size_t(s.counts[run]);
        std::memcpy(&s.drawPositions[to * 3], &q.positions[from * 3], vertices * 3 * sizeof(float));
        std::memcpy(&s.drawNormals[to * 3], &q.normals[from * 3], vertices * 3 * sizeof(float));
        std::memcpy(&s.drawTexCoords[to * 2], &q.texCoords[from * 2], vertices * 2 * sizeof(float));
        if (mergeable && extendable) {
            s.subDrawCounts[count - 1] += s.counts[run];
        } else {
            s.subDrawFirsts[count] = at;
            s.subDrawCounts[count] = s.counts[run];
            ++count;
        }
        extendable = mergeable;
        at += s.counts[run];
    };
    for (int32_t run = first; run < end; ++run) {
        const Placement placement = placed ? placeRun(run) : mayBeClipped;
        if (placement != whollyOutside)
            append(run, placement == wellInside);
    }
    if (placed) {
        extendable = false;
        for (int32_t run = first; run < end; ++run)
            if (placeRun(run) == whollyOutside)
                append(run, true);
    }
    return count;
}

void emitSchedule(bool multiDraw, bool placed)
{
    const Schedule &s = schedule;
    const TmapQuadList &q = collected;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, s.drawPositions);
    glNormalPointer(GL_FLOAT, 0, s.drawNormals);
    glTexCoordPointer(2, GL_FLOAT, 0, s.drawTexCoords);
    int32_t first = 0;
    GLint at = 0;
    for (int64_t g = 0; g < s.groups; ++g) {
        if (g == s.enableBeforeGroup)
            glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, s.groupTexture[g]);
        const int32_t subDraws = layOutGroup(first, s.groupEnd[g], placed, at);
        if (multiDraw) {
            glMultiDrawArrays(GL_QUADS, s.subDrawFirsts, s.subDrawCounts, subDraws);
        } else {
            for (int32_t k = 0; k < subDraws; ++k)
                glDrawArrays(GL_QUADS, s.subDrawFirsts[k], s.subDrawCounts[k]);
        }
        first = s.groupEnd[g];
    }
    glPopClientAttrib();
    // Leave the current normal and texture coordinates as the cell order does.
    const int64_t last = q.count - 1;
    glNormal3f(q.normals[last * 12], q.normals[last * 12 + 1], q.normals[last * 12 + 2]);
    glTexCoord2f(q.texCoords[last * 8 + 6], q.texCoords[last * 8 + 7]);
}

} // namespace

TmapQuadList *tmapStartCollecting(int64_t columns, int64_t rows)
{
    TmapQuadList &q = collected;
    q.count = 0;
    q.cells = 0;
    q.columns = columns;
    q.firstSideFace = -1;
    q.failed = false;
    if (columns <= 0 || rows <= 0 || rows > maxQuads / columns)
        return nullptr;
    const int64_t cells = columns * rows + 1;
    if (cellCapacity < cells) {
        cellCapacity = 0;
        if (!allocateArray(q.cellFirstQuad, cells))
            return nullptr;
        cellCapacity = cells;
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
        if (more > maxQuads || !growArray(q.positions, more * 12, q.count * 12) ||
            !growArray(q.normals, more * 12, q.count * 12) ||
            !growArray(q.texCoords, more * 8, q.count * 8) ||
            !growArray(q.textures, more, q.count)) {
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

int tmapDrawCollectedByTexture(void)
{
    const TmapQuadList &q = collected;
    if (q.failed)
        return -1;
    if (q.count == 0)
        return 0;
    const int version = contextVersion();
    if (version >= 15) {
        // Client arrays are read from a bound buffer object instead.
        GLint arrayBuffer = 0;
        glGetIntegerv(0x8894 /* GL_ARRAY_BUFFER_BINDING */, &arrayBuffer);
        if (arrayBuffer != 0)
            return -1;
    }
    // A display list keeps the culling state of its compilation.
    const bool culling = glIsEnabled(GL_CULL_FACE);
    if (!sameGeometry(culling) && !buildDependencies(culling))
        return -1;
    // With texturing already on, the cell order's glEnable calls change
    // nothing and its runs go on across the first side face.
    // Not while a display list is compiled: the list may run in other state.
    GLint listIndex = 0;
    glGetIntegerv(GL_LIST_INDEX, &listIndex);
    const bool compiling = listIndex != 0;
    int64_t split = q.firstSideFace;
    if (split > 0 && !compiling && glIsEnabled(GL_TEXTURE_2D))
        split = -1;
    const Schedule &s = schedule;
    bool sameOrder = s.valid && s.split == split && s.quadRuns == compiling &&
                     std::memcmp(s.textures, q.textures, size_t(q.count) * sizeof(uint32_t)) == 0;
    if (!sameOrder) {
        if (!reserveSchedule()) {
            schedule.valid = false;
            return -1;
        }
        buildSchedule(split, compiling);
    }
    // Mesa compiles client-array draws into a display list by value.
    emitSchedule(version >= 14 && glMultiDrawArrays != nullptr, placeQuads(version, compiling));
    return 0;
}

void tmapReleaseDrawScratch(void)
{
    freeArray(collected.positions);
    freeArray(collected.normals);
    freeArray(collected.texCoords);
    freeArray(collected.textures);
    freeArray(collected.cellFirstQuad);
    collected = TmapQuadList();
    cellCapacity = 0;
    Dependencies &d = dependencies;
    freeArray(d.positions);
    freeArray(d.cellFirstQuad);
    freeArray(d.successorStart);
    freeArray(d.successors);
    freeArray(d.boxes);
    d = Dependencies();
    Schedule &s = schedule;
    freeArray(s.textures);
    freeArray(s.runOfQuad);
    freeArray(s.runStart);
    freeArray(s.runTexture);
    freeArray(s.waitingFor);
    freeArray(s.nextReady);
    freeArray(s.hashKeys);
    freeArray(s.hashSlots);
    freeArray(s.denseTexture);
    freeArray(s.readyHead);
    freeArray(s.readyCount);
    freeArray(s.active);
    freeArray(s.activePlace);
    freeArray(s.firsts);
    freeArray(s.counts);
    freeArray(s.subDrawFirsts);
    freeArray(s.subDrawCounts);
    freeArray(s.placements);
    freeArray(s.drawPositions);
    freeArray(s.drawNormals);
    freeArray(s.drawTexCoords);
    freeArray(s.groupTexture);
    freeArray(s.groupEnd);
    s = Schedule();
    placements = Placements();
}
