// The 3D view: the current layer's block columns, lit, seen from a camera
// orbiting a map point.
#include <GL/gl.h>
#include <GL/glu.h> // gluPerspective, gluLookAt

#include <algorithm>

#include "blocklight.h"
#include "gpupicture.h"
#include "tilvogl/tilvogl.h"
#include "viewer.h"

namespace fmapview {

void setUpBlockLight()
{
    tmapblocklight::useFixedFunctionLight(orbitLightPosition);
    // Lit only while the 3D view draws.
    glDisable(GL_LIGHTING);
}

void drawBlocks(Viewer& viewer)
{
    Orbit& orbit = viewer.orbit;
    limitOrbit(orbit, tmapWidth, tmapHeight);
    const int largest = std::max(tmapWidth, tmapHeight);
    glViewport(0, bandHeight, viewer.width, viewer.areaHeight());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(viewer.width) / viewer.areaHeight(), orbit.distance * 0.02,
                   orbit.distance * 4.0 + largest);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    double eyeX, eyeY, eyeZ;
    orbitEye(orbit, eyeX, eyeY, eyeZ);
    gluLookAt(eyeX, eyeY, eyeZ, orbit.targetX, -orbit.targetY, 0.0, 0.0, 0.0, 1.0);
    // The light is fixed to the map: placed under the camera's matrix.
    glLightfv(GL_LIGHT0, GL_POSITION, orbitLightPosition);
    glEnable(GL_LIGHTING);
    useBlockDepthAndCulling();
    glEnable(GL_TEXTURE_2D);
    // Transparent texels of an upper cap let the lower cap beneath show.
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_ALPHA_TEST);
    const CellRange cells = orbitCells(orbit, tmapWidth, tmapHeight);
    if (viewer.shaderRenderer) {
        // The same camera, light and cells; the matrices above stay set for
        // finding the cell under the mouse.
        drawBlocksThroughShaders(orbit, viewer.composition, viewer.width, viewer.areaHeight(), bandHeight);
        endShaderDraws();
    } else if (hasLayer(viewer.composition.layer) && cells.columns > 0 && cells.rows > 0)
        tmapDrawBlocks(cells.x, cells.y, cells.columns, cells.rows, float(cells.x), float(-cells.y), 0.0f, 1.0f,
                       -1.0f);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

} // namespace fmapview
