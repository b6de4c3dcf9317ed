// The keys and the mouse: pan, zoom, orbit, layers, pause, save, reload.
#include <GL/freeglut.h> // handlers, key and button codes

#include <cstdlib>

#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "viewer.h"

namespace fmapview {

namespace {

void quit()
{
    if (theViewer().shaderRenderer)
        tmapGpuRelease();
    tmapRelease();
    std::exit(0);
}

void chooseLayer(Viewer& viewer, int layer)
{
    if (!hasLayer(layer)) {
        say(viewer, "the map has no layer " + std::to_string(layer));
        return;
    }
    viewer.composition.layer = layer;
    viewer.composition.allLayers = false;
    tmapSelectLayer(unsigned(layer));
}

void zoomBy(Viewer& viewer, double factor, int x, int y)
{
    if (viewer.blocksView)
        viewer.orbit.distance /= factor;
    else
        zoomAbout(viewer.flat, factor, x, y);
}

void keyboard(unsigned char key, int, int)
{
    Viewer& viewer = theViewer();
    switch (key) {
    case 27: case 'q': quit(); break;
    case 'f': fitView(viewer.flat); break;
    case '+': case '=': zoomBy(viewer, wheelZoom, viewer.windowWidth / 2, viewer.areaHeight() / 2); break;
    case '-': zoomBy(viewer, 1.0 / wheelZoom, viewer.windowWidth / 2, viewer.areaHeight() / 2); break;
    case 'a': viewer.composition.allLayers = !viewer.composition.allLayers; break;
    case 'g': viewer.composition.secondGraphic = !viewer.composition.secondGraphic; break;
    case 'b':
        viewer.blocksView = !viewer.blocksView;
        if (viewer.blocksView)
            startOrbit(viewer.orbit, viewer.flat);
        break;
    case ' ':
        viewer.paused = !viewer.paused;
        redrawContinuously(!viewer.paused);
        break;
    case '.':
        if (viewer.paused)
            tmapStepAnims();
        break;
    case 'p': viewer.saveRequested = true; break;
    case 'h': viewer.helpShown = !viewer.helpShown; break;
    case 'r': reloadMap(viewer); break;
    default:
        if (key >= '0' && key <= '7')
            chooseLayer(viewer, key - '0');
        break;
    }
    glutPostRedisplay();
}

void special(int key, int, int)
{
    Viewer& viewer = theViewer();
    int stepX = viewer.windowWidth / 8, stepY = viewer.areaHeight() / 8;
    int dx = key == GLUT_KEY_LEFT ? 1 : key == GLUT_KEY_RIGHT ? -1 : 0;
    int dy = key == GLUT_KEY_UP ? 1 : key == GLUT_KEY_DOWN ? -1 : 0;
    if (viewer.blocksView) {
        viewer.orbit.yaw -= 10.0 * dx;
        viewer.orbit.pitch -= 10.0 * dy;
    } else {
        panBy(viewer.flat, dx * stepX, dy * stepY);
    }
    glutPostRedisplay();
}

void mouse(int button, int state, int x, int y)
{
    Viewer& viewer = theViewer();
    viewer.mouseX = x;
    viewer.mouseY = y;
    if (button == GLUT_LEFT_BUTTON) {
        viewer.dragging = state == GLUT_DOWN;
        viewer.dragX = x;
        viewer.dragY = y;
    } else if (state == GLUT_DOWN && (button == 3 || button == 4)) {
        zoomBy(viewer, button == 3 ? wheelZoom : 1.0 / wheelZoom, x, y); // wheel up, wheel down
    }
    glutPostRedisplay();
}

void motion(int x, int y)
{
    Viewer& viewer = theViewer();
    viewer.mouseX = x;
    viewer.mouseY = y;
    glutPostRedisplay();
    if (!viewer.dragging)
        return;
    if (viewer.blocksView) {
        viewer.orbit.yaw -= 0.4 * (x - viewer.dragX);
        viewer.orbit.pitch += 0.4 * (y - viewer.dragY);
    } else {
        panBy(viewer.flat, x - viewer.dragX, y - viewer.dragY);
    }
    viewer.dragX = x;
    viewer.dragY = y;
}

void passiveMotion(int x, int y)
{
    Viewer& viewer = theViewer();
    viewer.mouseX = x;
    viewer.mouseY = y;
    glutPostRedisplay();
}

void entry(int state)
{
    Viewer& viewer = theViewer();
    if (state == GLUT_LEFT)
        viewer.mouseX = viewer.mouseY = -1;
    glutPostRedisplay();
}

void reshape(int width, int height)
{
    Viewer& viewer = theViewer();
    viewer.windowWidth = std::max(width, 1);
    viewer.windowHeight = std::max(height, 1);
    resizeArea(viewer.flat, viewer.windowWidth, viewer.areaHeight());
    glutPostRedisplay();
}

} // namespace

void installInputHandlers()
{
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutPassiveMotionFunc(passiveMotion);
    glutEntryFunc(entry);
}

} // namespace fmapview
