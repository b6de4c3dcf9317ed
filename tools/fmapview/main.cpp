// fmapview: an interactive viewer of map files. Shows one layer flat (or all
// layers, second graphics, or lit block columns in 3D), runs the animations
// in 10 ms ticks, names the cell under the mouse and follows the file on
// disk: a changed file is reloaded, a broken one keeps the last good map on
// screen with the reason in red.
#define GL_GLEXT_PROTOTYPES 1 // glUseProgram, glBindVertexArray: exported by the GL library
#include <GL/freeglut.h> // window, handlers; GL and GLU
#include <X11/Xlib.h>    // XOpenDisplay: a clear message when there is no display

#include <cstdio>
#include <cstdlib>
#include <string>

#include "files.h"
#include "heaptuning.h"
#include "options.h"
#include "overview.h"
#include "gpupicture.h"
#include "picture.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "viewer.h"

namespace fmapview {

Viewer& theViewer()
{
    static Viewer viewer;
    return viewer;
}

namespace {

void setTitle(Viewer& viewer)
{
    const std::string text = titleText(viewer);
    if (viewer.lastTitle != text) {
        viewer.lastTitle = text;
        glutSetWindowTitle(text.c_str());
    }
}

void drawFlat(Viewer& viewer)
{
    glViewport(0, bandHeight, viewer.width, viewer.areaHeight());
    if (usesOverview(viewer.flat)) {
        forgetPicture();
        setMapMatrices(viewer.flat);
        drawOverview(viewer.composition, background, viewer.flat.zoom);
        return;
    }
    drawFlatPicture(viewer.flat, viewer.composition, background, bandHeight, viewer.mapGeneration,
                    viewer.shaderRenderer);
}

void display()
{
    Viewer& viewer = theViewer();
    int now = glutGet(GLUT_ELAPSED_TIME);
    watchFile(viewer, now);
    stepTicks(viewer, now);

    glClearColor(background[0], background[1], background[2], 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (viewer.blocksView)
        drawBlocks(viewer);
    else
        drawFlat(viewer);
    drawOverlays(viewer);
    if (viewer.saveRequested) {
        viewer.saveRequested = false;
        savePicture(viewer);
    }
    glutSwapBuffers();

    countFrame(viewer, now);
    setTitle(viewer);
}

// While the animations are paused, a timer keeps watching the file.
void watchTimer(int)
{
    Viewer& viewer = theViewer();
    if (viewer.paused) {
        if (watchFile(viewer, glutGet(GLUT_ELAPSED_TIME)))
            glutPostRedisplay();
        if (!viewer.notice.empty())
            glutPostRedisplay(); // lets the remark go when its time is up
    }
    glutTimerFunc(watchMilliseconds, watchTimer, 0);
}

// The version of the current context, "3.3" or newer, or "" when older.
std::string shaderCapableVersion()
{
    const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (text == nullptr || std::sscanf(text, "%d.%d", &major, &minor) != 2)
        return "";
    if (major < 3 || (major == 3 && minor < 3))
        return "";
    return std::to_string(major) + "." + std::to_string(minor);
}

[[noreturn]] void failStart(const std::string& message)
{
    std::fprintf(stderr, "fmapview: %s\n", message.c_str());
    std::exit(1);
}

// The command line into the viewer's state.
void readArguments(Viewer& viewer, int argc, char** argv)
{
    const tmapoptions::CommandLine commandLine = {
        "fmapview",
        "Shows the map file MAP in a window and follows the file as it changes.\n",
        {"MAP"},
        {
            {"layer", "N", "0 to 7", "start on layer 0 to 7 (default 0)",
             [&](const char* text) {
                 return tmapoptions::readInteger(text, 0, TMAP_LAYER_COUNT - 1, viewer.composition.layer);
             }},
            {"blocks", nullptr, "", "start in the 3D block view",
             [&](const char*) { return viewer.blocksView = true; }},
            {"fixed-function", nullptr, "",
             "draw without the shader renderer, also where the\n"
             "context offers OpenGL 3.3",
             [&](const char*) { return viewer.fixedFunctionOnly = true; }},
        },
        "Press h in the window for the keys.\n",
    };
    viewer.mapPath = tmapoptions::parse(commandLine, argc, argv)[0];
}

void openWindow(Viewer& viewer, int& argc, char** argv)
{
    // GLUT would end the program with its own message; say it plainly.
    Display* x11 = XOpenDisplay(nullptr);
    if (x11 == nullptr) {
        const char* name = std::getenv("DISPLAY");
        failStart(name != nullptr && *name != '\0' ? std::string("cannot open display \"") + name + "\""
                                                   : std::string("no display (DISPLAY is not set)"));
    }
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(48, 48);
    glutInitWindowSize(viewer.width, viewer.height);
    glutCreateWindow(("fmapview: " + viewer.mapPath).c_str());
    // Closed only now: a server whose last client leaves resets, and GLUT
    // would find it gone for a moment.
    XCloseDisplay(x11);
}

} // namespace

double sessionClock() { return glutGet(GLUT_ELAPSED_TIME); }

void endShaderDraws()
{
    glUseProgram(0);
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE0);
}

unsigned viewerTexture(int slot)
{
    static GLuint handedOut[2] = {0, 0};
    const bool generated = handedOut[0] != 0;
    if (theViewer().shaderRenderer && !generated)
        glGenTextures(2, handedOut);
    if (!theViewer().shaderRenderer && generated) {
        // The shader renderer gave up on a map: the fixed names again.
        glDeleteTextures(2, handedOut);
        handedOut[0] = handedOut[1] = 0;
    }
    return handedOut[0] != 0 ? handedOut[slot] : unsigned(slot + 1);
}

std::string rendererText(const Viewer& viewer)
{
    return viewer.shaderRenderer ? "shader renderer, GL " + viewer.contextVersion : "fixed-function renderer";
}

void redrawContinuously(bool on)
{
    glutIdleFunc(on ? display : nullptr);
    glutPostRedisplay();
}

} // namespace fmapview

int main(int argc, char** argv)
{
    using namespace fmapview;
    tuneHeapForSteadyFrames();
    Viewer& viewer = theViewer();
    readArguments(viewer, argc, argv);
    openWindow(viewer, argc, argv);

    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    // The 3D view is drawn afresh every frame, so the faces its view cannot
    // show can be left out for the same picture.
    tmapDrawFaces = TMAP_FACES_VISIBLE;
    viewer.contextVersion = shaderCapableVersion();
    viewer.shaderRenderer = !viewer.fixedFunctionOnly && !viewer.contextVersion.empty();
    viewer.loadedStamp = stampOf(viewer.mapPath);
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!tmapfiles::readWholeFile(viewer.mapPath, bytes, reason))
        failStart("cannot load map \"" + viewer.mapPath + "\": " + tmapErrorString(TMAP_ERROR_CANNOT_OPEN));
    // The area first, so the map is fitted to it.
    resizeSession(viewer, viewer.width, viewer.height, bandHeight);
    if (!openMap(viewer, bytes.data(), bytes.size(), viewer.mapPath, decodeImage))
        failStart("cannot load map \"" + viewer.mapPath + "\": " + viewer.failureReason);
    setUpBlockLight();

    installInputHandlers();
    glutDisplayFunc(display);
    glutIdleFunc(display);
    glutTimerFunc(watchMilliseconds, watchTimer, 0);
    viewer.lastTick = viewer.fpsSince = glutGet(GLUT_ELAPSED_TIME);
    glutMainLoop();
    return 0;
}
