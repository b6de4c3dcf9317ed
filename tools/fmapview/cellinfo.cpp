// The info line at the bottom of the window (the cell under the mouse, a
// remark, or why the file does not load) and the help panel over the view.
#include <GL/freeglut.h> // bitmap font, elapsed time; GL and GLU

#include <algorithm>
#include <cmath>

#include "tilvogl/tilvogl.h"
#include "viewer.h"
#include "viewtext.h"

namespace fmapview {

namespace {

void drawText(int x, int y, const std::string& text)
{
    glRasterPos2i(x, y);
    for (char c : text)
        glutBitmapCharacter(GLUT_BITMAP_8_BY_13, c);
}

void drawPanel(int x0, int y0, int x1, int y1, float alpha)
{
    glEnable(GL_BLEND);
    glColor4f(0.04f, 0.04f, 0.05f, alpha);
    glRecti(x0, y0, x1, y1);
    glDisable(GL_BLEND);
}

// In 3D, the cell whose face was drawn under the mouse, from the depth
// buffer of the picture.
bool blockCellUnderMouse(const Viewer& viewer, int& cellX, int& cellY)
{
    GLint viewport[4];
    GLdouble model[16], projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const int mouseX = int(viewer.mouseX), windowY = viewer.height - 1 - int(viewer.mouseY);
    GLfloat depth = 1.0f;
    glReadPixels(mouseX, windowY, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    if (depth >= 1.0f)
        return false;
    GLdouble x, y, z;
    if (!gluUnProject(mouseX + 0.5, windowY + 0.5, depth, model, projection, viewport, &x, &y, &z))
        return false;
    // Nudged toward the camera's side of the face that was hit.
    const double yaw = viewer.orbit.yaw * 3.14159265358979323846 / 180.0;
    cellX = int(std::floor(x - 1e-3 * std::sin(yaw)));
    cellY = int(std::floor(-y - 1e-3 * std::cos(yaw)));
    return cellX >= 0 && cellY >= 0 && cellX < tmapWidth && cellY < tmapHeight;
}

// cellX, cellY: the cell under the mouse, when inside.
void drawInfoLine(Viewer& viewer, bool inside, int cellX, int cellY)
{
    drawPanel(0, 0, viewer.width, bandHeight, 1.0f);
    const InfoLine line = infoLine(viewer, inside, cellX, cellY, "; " + rendererText(viewer));
    if (line.kind == InfoKind::failure)
        glColor3f(1.0f, 0.25f, 0.2f);
    else if (line.kind == InfoKind::notice)
        glColor3f(1.0f, 0.85f, 0.3f);
    else
        glColor3f(0.9f, 0.9f, 0.9f);
    drawText(6, 6, line.text);
}

void drawHelp(const Viewer& viewer)
{
    const std::vector<std::string> lines = helpLines(true);
    int count = int(lines.size());
    int width = 700, height = 24 + 16 * count;
    int x0 = std::max(0, (viewer.width - width) / 2);
    int y0 = std::max(bandHeight, (viewer.height - height) / 2);
    drawPanel(x0, y0, x0 + width, y0 + height, 0.88f);
    glColor3f(0.95f, 0.95f, 0.95f);
    for (int i = 0; i < count; ++i)
        drawText(x0 + 14, y0 + height - 22 - 16 * i, lines[size_t(i)]);
}

} // namespace

bool cellUnderMouse(const Viewer& viewer, int& cellX, int& cellY)
{
    if (!pointerInArea(viewer))
        return false;
    if (!viewer.blocksView)
        return cellAt(viewer.flat, viewer.mouseX, viewer.mouseY, cellX, cellY);
    return blockCellUnderMouse(viewer, cellX, cellY);
}

void drawOverlays(Viewer& viewer)
{
    // Found before the overlay's matrices replace the 3D view's.
    int cellX = 0, cellY = 0;
    const bool inside = hasLayer(viewer.composition.layer) && cellUnderMouse(viewer, cellX, cellY);

    glViewport(0, 0, viewer.width, viewer.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, viewer.width, 0.0, viewer.height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    drawInfoLine(viewer, inside, cellX, cellY);
    if (viewer.helpShown)
        drawHelp(viewer);
}

} // namespace fmapview
