// GLUT's keys, mouse and window size, handed to the session.
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

void keyboard(unsigned char key, int, int)
{
    Viewer& viewer = theViewer();
    switch (pressKey(viewer, key)) {
    case KeyEffect::quit: quit(); break;
    case KeyEffect::reload: reloadMap(viewer); break;
    case KeyEffect::pauseChanged: redrawContinuously(!viewer.paused); break;
    default: break;
    }
    glutPostRedisplay();
}

void special(int key, int, int)
{
    int dx = key == GLUT_KEY_LEFT ? 1 : key == GLUT_KEY_RIGHT ? -1 : 0;
    int dy = key == GLUT_KEY_UP ? 1 : key == GLUT_KEY_DOWN ? -1 : 0;
    pressArrow(theViewer(), dx, dy);
    glutPostRedisplay();
}

void mouse(int button, int state, int x, int y)
{
    Viewer& viewer = theViewer();
    if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN) {
        pressPointer(viewer, x, y);
        glutPostRedisplay();
        return;
    }
    // A drag ends where it last moved to; a click only moves the pointer.
    if (button == GLUT_LEFT_BUTTON)
        releasePointer(viewer);
    movePointer(viewer, x, y);
    if (state == GLUT_DOWN && (button == 3 || button == 4))
        turnWheel(viewer, button == 3, x, y); // wheel up, wheel down
    glutPostRedisplay();
}

void motion(int x, int y)
{
    movePointer(theViewer(), x, y);
    glutPostRedisplay();
}

void entry(int state)
{
    if (state == GLUT_LEFT)
        leavePointer(theViewer());
    glutPostRedisplay();
}

void reshape(int width, int height)
{
    resizeSession(theViewer(), width, height, bandHeight);
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
    glutPassiveMotionFunc(motion);
    glutEntryFunc(entry);
}

} // namespace fmapview
