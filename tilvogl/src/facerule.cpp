// The visible-face rule (facerule.h): the GL state it needs, the view's
// verdict from the matrices, and which faces the GL culls.
#include <GL/gl.h> // the state's names; the queries are the caller's

#include <algorithm>
#include <cmath>
#include <cstring>

#include <glm/glm.hpp>          // glm::dmat4, glm::inverse: the near plane in map space
#include <glm/gtc/type_ptr.hpp> // glm::make_mat4

#include "facerule.h"

#ifndef GL_DEPTH_CLAMP
#define GL_DEPTH_CLAMP 0x864F
#endif
#ifndef GL_CLIP_DEPTH_MODE
#define GL_CLIP_DEPTH_MODE 0x935D
#endif
#ifndef GL_ZERO_TO_ONE
#define GL_ZERO_TO_ONE 0x935F
#endif

namespace {

bool mentions(const unsigned char *extensions, const char *name)
{
    return extensions != nullptr && std::strstr(reinterpret_cast<const char *>(extensions), name) != nullptr;
}

} // namespace

TmapFaceState tmapReadFaceState(const TmapFaceStateQueries &gl, bool desktop, int version, bool fixedFunction)
{
    TmapFaceState state{};
    state.culling = gl.isEnabled(GL_CULL_FACE) != 0;
    int value = 0;
    gl.getIntegerv(GL_CULL_FACE_MODE, &value);
    state.cullMode = unsigned(value);
    value = 0;
    gl.getIntegerv(GL_FRONT_FACE, &value);
    state.frontFace = unsigned(value);
    state.depthTest = gl.isEnabled(GL_DEPTH_TEST) != 0;
    value = 0;
    gl.getIntegerv(GL_DEPTH_WRITEMASK, &value);
    state.depthWrites = value != 0;
    value = 0;
    gl.getIntegerv(GL_DEPTH_FUNC, &value);
    state.depthFunction = unsigned(value);
    float range[2] = {0.0f, 1.0f};
    gl.getFloatv(GL_DEPTH_RANGE, range);
    state.depthNear = range[0];
    state.depthFar = range[1];
    state.plainFragments = gl.isEnabled(GL_BLEND) == 0 && gl.isEnabled(GL_STENCIL_TEST) == 0;
    if (desktop) {
        // A core profile may answer with one value.
        int modes[2] = {GL_FILL, GL_FILL};
        gl.getIntegerv(GL_POLYGON_MODE, modes);
        state.plainFragments = state.plainFragments && modes[0] == GL_FILL && modes[1] == GL_FILL;
        if (version >= 32 || mentions(gl.getString(GL_EXTENSIONS), "_depth_clamp"))
            state.plainFragments = state.plainFragments && gl.isEnabled(GL_DEPTH_CLAMP) == 0;
        if (version >= 45) {
            value = 0;
            gl.getIntegerv(GL_CLIP_DEPTH_MODE, &value);
            state.zeroToOneDepth = value == GL_ZERO_TO_ONE;
        }
    }
    if (fixedFunction) {
        // Keeping fragments above a value discards either the transparent
        // texels or, with every texel of an opaque graphic, everything.
        if (gl.isEnabled(GL_ALPHA_TEST)) {
            value = 0;
            gl.getIntegerv(GL_ALPHA_TEST_FUNC, &value);
            state.alphaTested = value == GL_GREATER || value == GL_GEQUAL;
            state.plainFragments = state.plainFragments && (state.alphaTested || value == GL_ALWAYS);
        }
        int planes = 0;
        gl.getIntegerv(GL_MAX_CLIP_PLANES, &planes);
        for (int plane = 0; plane < planes && plane < 8; ++plane)
            state.clipPlanes = state.clipPlanes || gl.isEnabled(unsigned(GL_CLIP_PLANE0 + plane)) != 0;
    }
    return state;
}

namespace {

int signOf(double value) { return value > 0.0 ? 1 : value < 0.0 ? -1 : 0; }

// Map space to cell space: x in columns, y in rows, z in cubes.
struct CellSpace {
    double originX, originY, baseZ, stepX, stepY;
    double firstColumn, firstRow;

    double x(double mapX) const { return firstColumn + (mapX - originX) / stepX; }
    double y(double mapY) const { return firstRow + (mapY - originY) / stepY; }
    double z(double mapZ) const { return (mapZ - baseZ) / stepX; }
};

int64_t heldBetween(double value, int64_t low, int64_t high)
{
    return value < double(low) ? low : value > double(high) ? high : int64_t(std::floor(value));
}

// The centre of projection of clip = matrix * point, as the kernel of the
// rows that give x, y and w: for any triangle, the determinant of its
// corners in clip space (x, y, w) is det[centre | corners], so a face
// winds counter-clockwise on the screen exactly when (c - cw * p) . n > 0,
// with p a corner and n the normal of its corners' order.
void centreOfProjection(const double m[16], double centre[4])
{
    const int rows[3] = {0, 1, 3};
    for (int skipped = 0; skipped < 4; ++skipped) {
        double minor[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0, k = 0; c < 4; ++c)
                if (c != skipped)
                    minor[r][k++] = m[c * 4 + rows[r]];
        const double determinant = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                                   minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                                   minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
        centre[skipped] = (skipped % 2 == 0 ? 1.0 : -1.0) * determinant;
    }
}

// Which windings the GL culls.
void culledWindings(const TmapFaceState &state, bool &ccw, bool &cw)
{
    ccw = cw = false;
    if (!state.culling)
        return;
    const bool frontIsCcw = state.frontFace != GL_CW;
    if (state.cullMode == GL_FRONT_AND_BACK) {
        ccw = cw = true;
    } else if (state.cullMode == GL_FRONT) {
        (frontIsCcw ? ccw : cw) = true;
    } else if (state.cullMode == GL_BACK) {
        (frontIsCcw ? cw : ccw) = true;
    }
}

// Whether the depth test keeps the smaller window depth (+1), the larger
// (-1), or neither (0).
int keptDepth(const TmapFaceState &state)
{
    if (!state.depthTest || !state.depthWrites || state.depthNear == state.depthFar)
        return 0;
    switch (state.depthFunction) {
    case GL_LESS:
    case GL_LEQUAL: return 1;
    case GL_GREATER:
    case GL_GEQUAL: return -1;
    default: return 0;
    }
}

// The near plane's rectangle in cell space; false when the matrices give
// none.
bool nearRectangle(const double m[16], bool zeroToOne, const CellSpace &cells, TmapFaceView &view)
{
    const glm::dmat4 inverse = glm::inverse(glm::make_mat4(m));
    const double depth = zeroToOne ? 0.0 : -1.0;
    for (int axis = 0; axis < 3; ++axis) {
        view.nearLow[axis] = HUGE_VAL;
        view.nearHigh[axis] = -HUGE_VAL;
    }
    for (int corner = 0; corner < 4; ++corner) {
        const glm::dvec4 point = inverse * glm::dvec4(corner & 1 ? 1.0 : -1.0, corner & 2 ? 1.0 : -1.0, depth, 1.0);
        if (!(point.w > 0.0) && !(point.w < 0.0))
            return false;
        const double at[3] = {cells.x(point.x / point.w), cells.y(point.y / point.w), cells.z(point.z / point.w)};
        for (int axis = 0; axis < 3; ++axis) {
            if (!std::isfinite(at[axis]))
                return false;
            view.nearLow[axis] = std::min(view.nearLow[axis], at[axis]);
            view.nearHigh[axis] = std::max(view.nearHigh[axis], at[axis]);
        }
    }
    return true;
}

} // namespace

TmapFaceView tmapFaceViewOf(const double modelview[16], const double projection[16], const TmapFaceState &state,
                            const TmapFaceWindow &window, int32_t tallest)
{
    TmapFaceView view{};
    culledWindings(state, view.cullsCcw, view.cullsCw);
    const double stepX = window.cellWidth, stepY = window.cellHeight;
    if (!(view.cullsCcw || view.cullsCw) || !std::isfinite(stepX) || !std::isfinite(stepY) || stepX == 0.0 ||
        stepY == 0.0 || !std::isfinite(window.baseZ))
        return view;
    const glm::dmat4 matrix = glm::make_mat4(projection) * glm::make_mat4(modelview);
    const double *m = &matrix[0][0];
    double centre[4];
    centreOfProjection(m, centre);
    double size = 0.0;
    for (double c : centre) {
        if (!std::isfinite(c))
            return view;
        size = std::max(size, std::fabs(c));
    }
    if (size == 0.0)
        return view;
    const CellSpace cells{window.across.origin, window.down.origin, window.baseZ, stepX, stepY,
                          double(window.across.begin), double(window.down.begin)};
    view.perspective = std::fabs(centre[3]) > 1e-12 * size;
    double eyeZ = 0.0; // the eye's height in cubes, or the viewer's direction's rise
    int insideOutward = 0; // +1: a face seen from inside winds as outsideCcw says the outside does
    if (view.perspective) {
        const double eye[3] = {cells.x(centre[0] / centre[3]), cells.y(centre[1] / centre[3]),
                               cells.z(centre[2] / centre[3])};
        for (double e : eye)
            if (!std::isfinite(e))
                return view;
        view.eyeColumn = heldBetween(eye[0], window.across.begin - 3, window.across.end + 2);
        view.eyeRow = heldBetween(eye[1], window.down.begin - 3, window.down.end + 2);
        view.eyeLevel = int32_t(heldBetween(eye[2], -3, int64_t(tallest) + 3));
        view.outsideCcw = signOf(stepY) * signOf(centre[3]) > 0;
        eyeZ = eye[2];
        insideOutward = -1;
    } else {
        // The projection's centre as a direction, in cell space.
        const double toward[3] = {centre[0] / stepX, centre[1] / stepY, centre[2] / stepX};
        const double length = std::sqrt(toward[0] * toward[0] + toward[1] * toward[1] + toward[2] * toward[2]);
        int *signs[3] = {&view.towardX, &view.towardY, &view.towardZ};
        for (int axis = 0; axis < 3; ++axis)
            *signs[axis] = std::fabs(toward[axis]) > 1e-6 * length ? signOf(toward[axis]) : 0;
        view.outsideCcw = stepY > 0.0;
        eyeZ = toward[2] / length;
    }
    view.dropsCulled = true;
    view.seeThrough = state.alphaTested ? tmapOpaqueFacesHide : tmapDrawnFacesHide;

    // Faces inside solids: the viewer must be the nearer end of every ray.
    const int kept = keptDepth(state);
    if (kept == 0 || !state.plainFragments || state.clipPlanes)
        return view;
    const double depthAway = -(m[2] * centre[0] + m[6] * centre[1] + m[10] * centre[2] + m[14] * centre[3]);
    const int windowRises = state.depthFar > state.depthNear ? 1 : -1;
    if (view.perspective) {
        // Along a ray from the eye, clip depth over w changes as -(row 2 . eye).
        const bool fartherIsLarger = signOf(depthAway) * signOf(centre[3]) * windowRises > 0;
        if (signOf(depthAway) == 0 || fartherIsLarger != (kept > 0))
            return view;
    } else {
        // Along the centre's direction window depth changes as row 2 . c;
        // the viewer lies where the kept depth lies, which may be either way.
        const int alongCentre = -signOf(depthAway) * windowRises;
        if (alongCentre == 0)
            return view;
        const int viewerAlongCentre = alongCentre * -kept;
        insideOutward = viewerAlongCentre > 0 ? -1 : 1;
        eyeZ *= viewerAlongCentre;
    }
    // A face seen from inside winds as the outside does only when the
    // viewer stands against the centre's direction.
    const bool insideCcw = insideOutward > 0 ? view.outsideCcw : !view.outsideCcw;
    const bool cullsInside = insideCcw ? view.cullsCcw : view.cullsCw;
    view.dropsHidden = cullsInside && eyeZ > 1e-6 && nearRectangle(m, state.zeroToOneDepth, cells, view);
    return view;
}

bool tmapSameFaceSelection(const TmapFaceView &a, const TmapFaceView &b)
{
    return a.dropsCulled == b.dropsCulled && a.dropsHidden == b.dropsHidden && a.perspective == b.perspective &&
           a.eyeColumn == b.eyeColumn && a.eyeRow == b.eyeRow && a.eyeLevel == b.eyeLevel &&
           a.towardX == b.towardX && a.towardY == b.towardY && a.towardZ == b.towardZ &&
           a.outsideCcw == b.outsideCcw && a.cullsCcw == b.cullsCcw && a.cullsCw == b.cullsCw &&
           a.seeThrough == b.seeThrough;
}

bool tmapFaceCulled(const TmapFaceView &view, TmapFaceKind kind, int64_t column, int64_t row, int32_t cube)
{
    if (!view.dropsCulled)
        return false;
    // On which side of the face's plane the eye lies, a whole cell or cube
    // away: +1 outside, -1 inside, 0 too near to tell.
    int side = 0;
    if (view.perspective) {
        switch (kind) {
        case tmapFaceAtX: side = view.eyeColumn <= column - 2 ? 1 : view.eyeColumn >= column + 1 ? -1 : 0; break;
        case tmapFaceAtFarX: side = view.eyeColumn >= column + 2 ? 1 : view.eyeColumn <= column - 1 ? -1 : 0; break;
        case tmapFaceAtY: side = view.eyeRow <= row - 2 ? 1 : view.eyeRow >= row + 1 ? -1 : 0; break;
        case tmapFaceAtFarY: side = view.eyeRow >= row + 2 ? 1 : view.eyeRow <= row - 1 ? -1 : 0; break;
        default: side = view.eyeLevel >= cube + 1 ? 1 : view.eyeLevel <= cube - 2 ? -1 : 0; break;
        }
    } else {
        switch (kind) {
        case tmapFaceAtX: side = -view.towardX; break;
        case tmapFaceAtFarX: side = view.towardX; break;
        case tmapFaceAtY: side = -view.towardY; break;
        case tmapFaceAtFarY: side = view.towardY; break;
        default: side = view.towardZ; break;
        }
    }
    if (side == 0)
        return false;
    const bool ccw = side > 0 ? view.outsideCcw : !view.outsideCcw;
    return ccw ? view.cullsCcw : view.cullsCw;
}
