#include "render.h"

#include <GL/gl.h> // fixed-function state, glFrustum, glMultMatrixf, glOrtho

#include <algorithm>
#include <cmath>

#include "tilvogl/tilvogl.h"

namespace tmaprender {

namespace {

const double pi = 3.14159265358979323846;

struct Vec3 {
    double x, y, z;
};

Vec3 minus(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalised(Vec3 a)
{
    double length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return {a.x / length, a.y / length, a.z / length};
}

// The usual look-at view matrix; GLU is not used because it would bring in
// the display GL library beside the offscreen one.
void lookAt(Vec3 eye, Vec3 centre, Vec3 up)
{
    Vec3 forward = normalised(minus(centre, eye));
    Vec3 side = normalised(cross(forward, up));
    Vec3 trueUp = cross(side, forward);
    GLfloat m[16] = {
        float(side.x), float(trueUp.x), float(-forward.x), 0.0f,
        float(side.y), float(trueUp.y), float(-forward.y), 0.0f,
        float(side.z), float(trueUp.z), float(-forward.z), 0.0f,
        0.0f,          0.0f,            0.0f,              1.0f,
    };
    glMultMatrixf(m);
    glTranslated(-eye.x, -eye.y, -eye.z);
}

void drawFlat(const View& view)
{
    // One unit per cell, row 0 at the top: cell (c, r) covers x c..c+1 and
    // y -r..-r-1, so the picture reads like the map.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, view.columns, -view.rows, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    tmapDrawLayer(view.cellX, view.cellY, view.columns, view.rows, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f);
    if (view.secondGraphic) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        tmapDrawLayerSecondGraphic(view.cellX, view.cellY, view.columns, view.rows, 0.0f, 0.0f, 0.0f,
                                   1.0f, -1.0f);
        glDisable(GL_BLEND);
    }
}

void drawBlocks(const View& view)
{
    // The window stands centred on the origin, columns rising toward +z; the
    // camera looks at its centre from far enough to see all of it.
    double halfWidth = view.columns / 2.0;
    double halfHeight = view.rows / 2.0;
    TmapBlockFaces count;
    tmapCountBlockFaces(view.cellX, view.cellY, view.columns, view.rows, &count);
    double top = double(count.tallestColumn);
    double radius = std::sqrt(halfWidth * halfWidth + halfHeight * halfHeight + top * top);
    const double fieldOfView = 45.0;
    double distance = radius / std::sin(fieldOfView / 2.0 * pi / 180.0) * 1.05;
    double aspect = double(view.width) / view.height;
    double nearPlane = distance * 0.05;
    double farPlane = distance + radius * 2.0;
    double halfHeightAtNear = nearPlane * std::tan(fieldOfView / 2.0 * pi / 180.0);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-halfHeightAtNear * aspect, halfHeightAtNear * aspect, -halfHeightAtNear,
              halfHeightAtNear, nearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    double yaw = view.yaw * pi / 180.0;
    double pitch = std::clamp(double(view.pitch), -89.0, 89.0) * pi / 180.0;
    // Yaw 0 looks from the side of the map's last row (-y) toward its first.
    Vec3 eye = {distance * std::cos(pitch) * std::sin(yaw), -distance * std::cos(pitch) * std::cos(yaw),
                distance * std::sin(pitch)};
    Vec3 centre = {0.0, 0.0, top / 4.0};
    lookAt(eye, centre, {0.0, 0.0, 1.0});

    if (view.lighting) {
        const GLfloat ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        const GLfloat diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        const GLfloat direction[4] = {-0.4f, -0.6f, 0.7f, 0.0f}; // w 0: directional, fixed to the map
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
        glLightfv(GL_LIGHT0, GL_POSITION, direction);
        // Caps carry the normal (0, 0, -1) at every height, so both sides are lit.
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    } else {
        glDisable(GL_LIGHTING);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    tmapDrawBlocks(view.cellX, view.cellY, view.columns, view.rows, float(-halfWidth), float(halfHeight),
                   0.0f, 1.0f, -1.0f);
}

} // namespace

void useNearestTexels()
{
    for (int g = 0; g < tmapGraphicCount; ++g) {
        glBindTexture(GL_TEXTURE_2D, GLuint(tmapFirstTexture + g));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
}

void compositeOver(tmapimage::Image& below, const tmapimage::Image& above)
{
    for (size_t i = 0; i + 3 < below.rgba.size() && i + 3 < above.rgba.size(); i += 4) {
        const uint8_t* s = &above.rgba[i];
        uint8_t* d = &below.rgba[i];
        const uint32_t sa = s[3], da = d[3];
        if (sa == 255 || (sa != 0 && da == 0)) {
            std::copy_n(s, 4, d);
        } else if (sa != 0) {
            // Weights scaled by 255 * 255: the source's sa * 255, what shows
            // of the destination da * (255 - sa).
            const uint32_t sourceWeight = sa * 255, belowWeight = da * (255 - sa);
            const uint32_t total = sourceWeight + belowWeight;
            for (int c = 0; c < 3; ++c)
                d[c] = uint8_t((s[c] * sourceWeight + d[c] * belowWeight + total / 2) / total);
            d[3] = uint8_t((total + 127) / 255);
        }
    }
}

void drawView(const View& view)
{
    glViewport(0, 0, view.width, view.height);
    glClearColor(view.background[0] / 255.0f, view.background[1] / 255.0f, view.background[2] / 255.0f,
                 view.backgroundAlpha / 255.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_CULL_FACE);
    tmapSelectLayer(unsigned(view.layer));
    if (view.blocks)
        drawBlocks(view);
    else
        drawFlat(view);
    glFinish();
}

} // namespace tmaprender
