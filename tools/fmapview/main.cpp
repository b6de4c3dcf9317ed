// fmapview: an interactive viewer of map files. Shows one layer flat (or all
// layers, second graphics, or lit block columns in 3D), runs the animations
// in 10 ms ticks, names the cell under the mouse and follows the file on
// disk: a changed file is reloaded, a broken one keeps the last good map on
// screen with the reason in red.
#include <GL/freeglut.h> // window, handlers, bitmap font; GL and GLU
#include <X11/Xlib.h>    // XOpenDisplay: a clear message when there is no display

#include <sys/stat.h> // stat: watching the map file

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files.h"
#include "heaptuning.h"
#include "loadmessage.h"
#include "overview.h"
#include "picture.h"
#include "pngfile.h"
#include "tilvogl/tilvogl.h"
#include "view.h"

using fmapview::Composition;
using fmapview::FlatView;

namespace {

const char usage[] =
    "usage: fmapview MAP [--layer N] [--blocks]\n"
    "Shows the map file MAP in a window and follows the file as it changes.\n"
    "  --layer N   start on layer 0 to 7 (default 0)\n"
    "  --blocks    start in the 3D block view\n"
    "Press h in the window for the keys.\n";

const char* const helpLines[] = {
    "drag, arrow keys   pan  (3D view: orbit)",
    "wheel, + and -     zoom about the cursor  (3D view: dolly)",
    "f                  fit the whole map",
    "0 .. 7             show that layer",
    "a                  all layers, each blended over the ones before",
    "g                  second graphics blended over the first",
    "b                  3D block view of the layer / back to flat",
    "space              pause or resume the animations",
    ".                  one animation tick while paused",
    "p                  save the window as MAP-N.png beside the map",
    "r                  reload the map now",
    "h                  show or hide this help",
    "q, Esc             quit",
    "",
    "flags: A..E = 0x01..0x10, S = stacked 0x20, X = mirrored 0x40, Y = mirrored 0x80",
};

const int firstTexture = 10; // names below it are the viewer's own
const int bandHeight = 20;   // the info line at the bottom of the window
const int tickMilliseconds = 10;
const int watchMilliseconds = 100;
const double wheelZoom = 1.25;
const float background[3] = {0.12f, 0.12f, 0.15f};
// The light of the block demos, fixed to the map.
const float lightPosition[4] = {-15.0f, -15.0f, -8.0f, 0.0f};

// ---------------------------------------------------------------- state

std::string mapPath;
std::vector<unsigned char> goodImage; // the bytes of the map on screen
int texturesDefined = 0;              // names firstTexture.. that may hold a texture

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long mtimeSeconds = 0, mtimeNanoseconds = 0;
    bool operator==(const FileStamp& o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
               && mtimeSeconds == o.mtimeSeconds && mtimeNanoseconds == o.mtimeNanoseconds;
    }
};
FileStamp loadedStamp;
int lastWatch = 0;
int mapGeneration = 0;     // counts loads, so cached pictures of an old map go
std::string failureReason; // why the file on disk does not load; empty when it does
std::string notice;        // a short remark in the info line
int noticeUntil = 0;

Composition composition;
bool blocksView = false;
bool paused = false;
bool helpShown = false;
bool saveRequested = false;
FlatView flat;
struct Orbit {
    double targetX = 0, targetY = 0; // map point looked at, in cells
    double yaw = 0, pitch = 50, distance = 10;
} orbit;

int windowWidth = 800, windowHeight = 600;
int mouseX = -1, mouseY = -1;
bool dragging = false;
int dragX = 0, dragY = 0;

int lastTick = 0;
int framesCounted = 0, fpsSince = 0;
double fps = 0;
std::string lastTitle;

int areaHeight() { return std::max(1, windowHeight - bandHeight); }

void say(const std::string& text)
{
    notice = text;
    noticeUntil = glutGet(GLUT_ELAPSED_TIME) + 3000;
}

// ---------------------------------------------------------------- loading

FileStamp stampOf(const std::string& path)
{
    FileStamp stamp;
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtimeSeconds = long(info.st_mtim.tv_sec);
    stamp.mtimeNanoseconds = long(info.st_mtim.tv_nsec);
    return stamp;
}

bool hasLayer(int layer) { return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr; }

int firstPresentLayer()
{
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (hasLayer(layer))
            return layer;
    return -1;
}

// Decodes an image into the library. Textures of graphics the new map no
// longer has are deleted, so reloads never leave textures behind.
bool decodeImage(const std::vector<unsigned char>& bytes)
{
    int result = tmapDecodeBuffer(bytes.data(), bytes.size(), firstTexture);
    // A decode that failed may have defined textures before it stopped.
    texturesDefined = std::max(texturesDefined, tmapGraphicCount);
    if (result != 0)
        return false;
    std::vector<GLuint> surplus;
    for (int g = tmapGraphicCount; g < texturesDefined; ++g)
        surplus.push_back(GLuint(firstTexture + g));
    if (!surplus.empty())
        glDeleteTextures(GLsizei(surplus.size()), surplus.data());
    texturesDefined = tmapGraphicCount;
    return true;
}

// After a map became current: animations from the start, the layer and the
// view kept as far as the new map allows.
void adoptMap()
{
    tmapResetAnims();
    fmapview::invalidateOverview();
    ++mapGeneration;
    if (!hasLayer(composition.layer)) {
        int layer = firstPresentLayer();
        if (layer >= 0 && composition.layer != layer)
            say("the map has no layer " + std::to_string(composition.layer) + "; showing layer "
                + std::to_string(layer));
        composition.layer = std::max(layer, 0);
    }
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
    bool sameSize = flat.mapWidth == tmapWidth && flat.mapHeight == tmapHeight;
    flat.mapWidth = tmapWidth;
    flat.mapHeight = tmapHeight;
    flat.largestZoom = 16.0 * std::max(1, std::max(tmapTileWidth, tmapTileHeight));
    if (!sameSize)
        fitView(flat);
    limitView(flat);
    orbit.targetX = std::clamp(orbit.targetX, 0.0, double(tmapWidth));
    orbit.targetY = std::clamp(orbit.targetY, 0.0, double(tmapHeight));
}

// Reads and decodes the file; on failure the last good map is decoded again
// from memory, so the picture stays.
void reloadMap()
{
    loadedStamp = stampOf(mapPath);
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!tmapfiles::readWholeFile(mapPath, bytes, reason)) {
        failureReason = tmapErrorString(TMAP_ERROR_CANNOT_OPEN);
        return;
    }
    if (decodeImage(bytes)) {
        goodImage.swap(bytes);
        failureReason.clear();
        adoptMap();
        return;
    }
    failureReason = loadFailureMessage();
    decodeImage(goodImage);
    adoptMap();
}

void watchFile(int now)
{
    if (now - lastWatch < watchMilliseconds)
        return;
    lastWatch = now;
    if (!(stampOf(mapPath) == loadedStamp)) {
        reloadMap();
        glutPostRedisplay();
    }
}

// ---------------------------------------------------------------- views

void setTitle()
{
    char text[512];
    std::string what = composition.allLayers ? "all layers" : "layer " + std::to_string(composition.layer);
    char rate[32];
    if (paused)
        std::snprintf(rate, sizeof rate, "paused");
    else
        std::snprintf(rate, sizeof rate, "%.0f fps", fps);
    if (blocksView)
        std::snprintf(text, sizeof text, "fmapview: %s - %s, 3D blocks, %s", mapPath.c_str(), what.c_str(), rate);
    else
        std::snprintf(text, sizeof text, "fmapview: %s - %s%s, zoom %.2f px/cell, %s", mapPath.c_str(),
                      what.c_str(), composition.secondGraphic ? " + second graphics" : "", flat.zoom, rate);
    if (lastTitle != text) {
        lastTitle = text;
        glutSetWindowTitle(text);
    }
}

void drawFlat()
{
    glViewport(0, bandHeight, windowWidth, areaHeight());
    if (fmapview::usesOverview(flat)) {
        fmapview::forgetPicture();
        fmapview::setMapMatrices(flat);
        fmapview::drawOverview(composition, background, flat.zoom);
        return;
    }
    fmapview::drawFlatPicture(flat, composition, background, bandHeight, mapGeneration);
}

// The 3D view starts looking at the middle of what the flat view shows,
// from as far as shows about as much.
void startOrbit()
{
    orbit.targetX = flat.centreX;
    orbit.targetY = flat.centreY;
    orbit.distance = std::max(3.0, 1.3 * areaHeight() / flat.zoom);
}

void drawBlocks()
{
    const double pi = 3.14159265358979323846;
    int largest = std::max(tmapWidth, tmapHeight);
    orbit.distance = std::clamp(orbit.distance, 2.0, 3.0 * std::max(largest, 1));
    orbit.pitch = std::clamp(orbit.pitch, 5.0, 89.0);
    glViewport(0, bandHeight, windowWidth, areaHeight());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(windowWidth) / areaHeight(), orbit.distance * 0.02,
                   orbit.distance * 4.0 + largest);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Cell (x, y) covers x..x+1 and -y..-y-1; columns rise toward +z. Yaw 0
    // looks from beyond the last row, so the picture reads as the flat one.
    double yaw = orbit.yaw * pi / 180.0, pitch = orbit.pitch * pi / 180.0;
    double tx = orbit.targetX, ty = -orbit.targetY;
    gluLookAt(tx + orbit.distance * std::cos(pitch) * std::sin(yaw),
              ty - orbit.distance * std::cos(pitch) * std::cos(yaw), orbit.distance * std::sin(pitch), tx, ty, 0.0,
              0.0, 0.0, 1.0);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    // Transparent texels of an upper cap let the lower cap beneath show.
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_ALPHA_TEST);
    // Only the cells near the point looked at: about what the camera sees.
    int reach = int(std::min(orbit.distance * 1.5, 160.0)) + 2;
    int x0 = std::max(0, int(orbit.targetX) - reach), y0 = std::max(0, int(orbit.targetY) - reach);
    int x1 = std::min(tmapWidth, int(orbit.targetX) + reach), y1 = std::min(tmapHeight, int(orbit.targetY) + reach);
    if (hasLayer(composition.layer) && x1 > x0 && y1 > y0)
        tmapDrawBlocks(x0, y0, x1 - x0, y1 - y0, float(x0), float(-y0), 0.0f, 1.0f, -1.0f);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

// The cell under the mouse: from the flat view's arithmetic, or in 3D from
// the depth of the drawn picture.
bool cellUnderMouse(int& cellX, int& cellY)
{
    if (mouseX < 0 || mouseY < 0 || mouseY >= areaHeight() || mouseX >= windowWidth)
        return false;
    if (!blocksView)
        return fmapview::cellAt(flat, mouseX, mouseY, cellX, cellY);
    GLint viewport[4];
    GLdouble model[16], projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    int windowY = windowHeight - 1 - mouseY;
    GLfloat depth = 1.0f;
    glReadPixels(mouseX, windowY, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    if (depth >= 1.0f)
        return false;
    GLdouble x, y, z;
    if (!gluUnProject(mouseX + 0.5, windowY + 0.5, depth, model, projection, viewport, &x, &y, &z))
        return false;
    // Nudged toward the camera's side of the face that was hit.
    cellX = int(std::floor(x - 1e-3 * std::sin(orbit.yaw * 3.14159265358979323846 / 180.0)));
    cellY = int(std::floor(-y - 1e-3 * std::cos(orbit.yaw * 3.14159265358979323846 / 180.0)));
    return cellX >= 0 && cellY >= 0 && cellX < tmapWidth && cellY < tmapHeight;
}

std::string flagLetters(unsigned flags)
{
    const char letters[] = "ABCDESXY";
    std::string text;
    for (int bit = 0; bit < 8; ++bit)
        if (flags & (1u << bit))
            text += letters[bit];
    return text.empty() ? "-" : text;
}

const char* animModeName(int mode)
{
    switch (mode) {
    case 0: return "still";
    case 1: return "loop forward";
    case 2: return "loop backward";
    case 3: return "play once";
    case 4: return "play once, hold";
    case 5: case 8: return "ping-pong";
    case 6: case 7: return "ping-pong backward";
    case 9: return "played once";
    default: return "no movement";
    }
}

std::string cellInfo(int cellX, int cellY)
{
    char text[512];
    int32_t value = tmapCurrentLayer[size_t(cellY) * size_t(tmapWidth) + size_t(cellX)];
    int n = std::snprintf(text, sizeof text, "cell (%d, %d)  value %d", cellX, cellY, int(value));
    const TmapBlock* block = tmapBlockAt(cellX, cellY);
    if (block == nullptr) {
        std::snprintf(text + n, sizeof text - size_t(n), "  names no block");
        return text;
    }
    n += std::snprintf(text + n, sizeof text - size_t(n),
                       "  block %d  graphics %d %d %d %d  flags %s  user %u %u %u %u %u %u %u",
                       int(block - tmapBlocks), int(block->graphic1), int(block->graphic2), int(block->graphic3),
                       int(block->graphic4), flagLetters(block->flags).c_str(), unsigned(block->userLong1),
                       unsigned(block->userLong2), unsigned(block->userShort1), unsigned(block->userShort2),
                       unsigned(block->userByte1), unsigned(block->userByte2), unsigned(block->userByte3));
    if (value < 0) {
        const TmapAnim& anim = tmapAnims[-(value + 1)];
        std::snprintf(text + n, sizeof text - size_t(n), "  anim %d: %s, frame %d of %d", int(-(value + 1)),
                      animModeName(anim.mode), int(anim.current - anim.start + 1), int(anim.end - anim.start));
    }
    return text;
}

// ---------------------------------------------------------------- overlays

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

void drawOverlays()
{
    std::string info;
    int cellX, cellY;
    bool inside = hasLayer(composition.layer) && cellUnderMouse(cellX, cellY);

    glViewport(0, 0, windowWidth, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, windowWidth, 0.0, windowHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    drawPanel(0, 0, windowWidth, bandHeight, 1.0f);
    if (glutGet(GLUT_ELAPSED_TIME) >= noticeUntil)
        notice.clear();
    if (!failureReason.empty()) {
        glColor3f(1.0f, 0.25f, 0.2f);
        drawText(6, 6, "cannot load " + mapPath + ": " + failureReason + "  (showing the last good map)");
    } else if (!notice.empty()) {
        glColor3f(1.0f, 0.85f, 0.3f);
        drawText(6, 6, notice);
    } else {
        glColor3f(0.9f, 0.9f, 0.9f);
        if (firstPresentLayer() < 0)
            info = "the map has no layers";
        else if (inside)
            info = cellInfo(cellX, cellY);
        else
            info = std::to_string(tmapWidth) + " x " + std::to_string(tmapHeight) + " cells, "
                   + std::to_string(tmapTileWidth) + " x " + std::to_string(tmapTileHeight)
                   + " pixels per tile; h for help" + (paused ? "; paused" : "");
        drawText(6, 6, info);
    }

    if (helpShown) {
        int lines = int(sizeof helpLines / sizeof helpLines[0]);
        int width = 700, height = 24 + 16 * lines;
        int x0 = std::max(0, (windowWidth - width) / 2), y0 = std::max(bandHeight, (windowHeight - height) / 2);
        drawPanel(x0, y0, x0 + width, y0 + height, 0.88f);
        glColor3f(0.95f, 0.95f, 0.95f);
        for (int i = 0; i < lines; ++i)
            drawText(x0 + 14, y0 + height - 22 - 16 * i, helpLines[i]);
    }
}

// ---------------------------------------------------------------- saving

// MAP-1.png, MAP-2.png, ... beside the map, the extension of MAP dropped;
// an existing file is never overwritten.
std::string nextPicturePath()
{
    std::string base = mapPath;
    size_t slash = base.find_last_of('/');
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        base.erase(dot);
    for (int n = 1;; ++n) {
        std::string path = base + "-" + std::to_string(n) + ".png";
        struct stat info;
        if (stat(path.c_str(), &info) != 0)
            return path;
    }
}

void savePicture()
{
    tmapimage::Image image;
    image.width = windowWidth;
    image.height = windowHeight;
    std::vector<uint8_t> bottomUp(size_t(windowWidth) * size_t(windowHeight) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    image.rgba.resize(bottomUp.size());
    size_t row = size_t(windowWidth) * 4;
    for (int y = 0; y < windowHeight; ++y)
        std::memcpy(&image.rgba[size_t(y) * row], &bottomUp[size_t(windowHeight - 1 - y) * row], row);
    for (size_t p = 3; p < image.rgba.size(); p += 4)
        image.rgba[p] = 255;
    std::string path = nextPicturePath(), reason;
    if (tmapimage::writePng(path, image, reason)) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        say("saved " + path);
    } else {
        say("cannot save " + path + ": " + reason);
    }
}

// ---------------------------------------------------------------- handlers

void display()
{
    int now = glutGet(GLUT_ELAPSED_TIME);
    watchFile(now);
    if (paused || now - lastTick > 1000)
        lastTick = now; // no burst of ticks after a pause or a stall
    while (now - lastTick >= tickMilliseconds) {
        tmapStepAnims();
        lastTick += tickMilliseconds;
    }

    glClearColor(background[0], background[1], background[2], 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (blocksView)
        drawBlocks();
    else
        drawFlat();
    drawOverlays();
    if (saveRequested) {
        saveRequested = false;
        savePicture();
    }
    glutSwapBuffers();

    ++framesCounted;
    if (now - fpsSince >= 1000) {
        fps = framesCounted * 1000.0 / (now - fpsSince);
        framesCounted = 0;
        fpsSince = now;
    }
    setTitle();
}

// Running animations redraw continuously; while they are paused, the
// picture is redrawn only when something changes, and a timer keeps
// watching the file.
void redrawContinuously(bool on)
{
    glutIdleFunc(on ? display : nullptr);
    glutPostRedisplay();
}

void watchTimer(int)
{
    if (paused) {
        watchFile(glutGet(GLUT_ELAPSED_TIME));
        if (!notice.empty())
            glutPostRedisplay(); // lets the remark go when its time is up
    }
    glutTimerFunc(watchMilliseconds, watchTimer, 0);
}

void reshape(int width, int height)
{
    windowWidth = std::max(width, 1);
    windowHeight = std::max(height, 1);
    resizeArea(flat, windowWidth, areaHeight());
    glutPostRedisplay();
}

void quit()
{
    tmapRelease();
    std::exit(0);
}

void chooseLayer(int layer)
{
    if (!hasLayer(layer)) {
        say("the map has no layer " + std::to_string(layer));
        return;
    }
    composition.layer = layer;
    composition.allLayers = false;
    tmapSelectLayer(unsigned(layer));
}

void zoomBy(double factor, int x, int y)
{
    if (blocksView)
        orbit.distance /= factor;
    else
        zoomAbout(flat, factor, x, y);
}

void keyboard(unsigned char key, int x, int y)
{
    switch (key) {
    case 27: case 'q': quit(); break;
    case 'f': fitView(flat); break;
    case '+': case '=': zoomBy(wheelZoom, windowWidth / 2, areaHeight() / 2); break;
    case '-': zoomBy(1.0 / wheelZoom, windowWidth / 2, areaHeight() / 2); break;
    case 'a': composition.allLayers = !composition.allLayers; break;
    case 'g': composition.secondGraphic = !composition.secondGraphic; break;
    case 'b':
        blocksView = !blocksView;
        if (blocksView)
            startOrbit();
        break;
    case ' ':
        paused = !paused;
        redrawContinuously(!paused);
        break;
    case '.':
        if (paused)
            tmapStepAnims();
        break;
    case 'p': saveRequested = true; break;
    case 'h': helpShown = !helpShown; break;
    case 'r': reloadMap(); break;
    default:
        if (key >= '0' && key <= '7')
            chooseLayer(key - '0');
        break;
    }
    (void)x;
    (void)y;
    glutPostRedisplay();
}

void special(int key, int x, int y)
{
    (void)x;
    (void)y;
    int stepX = windowWidth / 8, stepY = areaHeight() / 8;
    int dx = key == GLUT_KEY_LEFT ? 1 : key == GLUT_KEY_RIGHT ? -1 : 0;
    int dy = key == GLUT_KEY_UP ? 1 : key == GLUT_KEY_DOWN ? -1 : 0;
    if (blocksView) {
        orbit.yaw -= 10.0 * dx;
        orbit.pitch -= 10.0 * dy;
    } else {
        panBy(flat, dx * stepX, dy * stepY);
    }
    glutPostRedisplay();
}

void mouse(int button, int state, int x, int y)
{
    mouseX = x;
    mouseY = y;
    if (button == GLUT_LEFT_BUTTON) {
        dragging = state == GLUT_DOWN;
        dragX = x;
        dragY = y;
    } else if (state == GLUT_DOWN && (button == 3 || button == 4)) {
        zoomBy(button == 3 ? wheelZoom : 1.0 / wheelZoom, x, y); // wheel up, wheel down
    }
    glutPostRedisplay();
}

void motion(int x, int y)
{
    mouseX = x;
    mouseY = y;
    glutPostRedisplay();
    if (!dragging)
        return;
    if (blocksView) {
        orbit.yaw -= 0.4 * (x - dragX);
        orbit.pitch += 0.4 * (y - dragY);
    } else {
        panBy(flat, x - dragX, y - dragY);
    }
    dragX = x;
    dragY = y;
}

void passiveMotion(int x, int y)
{
    mouseX = x;
    mouseY = y;
    glutPostRedisplay();
}

void entry(int state)
{
    if (state == GLUT_LEFT)
        mouseX = mouseY = -1;
    glutPostRedisplay();
}

[[noreturn]] void failStart(const std::string& message)
{
    std::fprintf(stderr, "fmapview: %s\n", message.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    tuneHeapForSteadyFrames();
    int startLayer = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--layer" && i + 1 < argc) {
            std::string value = argv[++i];
            if (value.size() != 1 || value[0] < '0' || value[0] > '7')
                failStart("--layer wants 0 to 7, not " + value);
            startLayer = value[0] - '0';
        } else if (arg == "--blocks") {
            blocksView = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            failStart("unknown option " + arg + " (try --help)");
        } else if (mapPath.empty()) {
            mapPath = arg;
        } else {
            failStart("too many arguments (try --help)");
        }
    }
    if (mapPath.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }

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
    glutInitWindowSize(windowWidth, windowHeight);
    glutCreateWindow(("fmapview: " + mapPath).c_str());
    // Closed only now: a server whose last client leaves resets, and GLUT
    // would find it gone for a moment.
    XCloseDisplay(x11);

    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    loadedStamp = stampOf(mapPath);
    std::string reason;
    if (!tmapfiles::readWholeFile(mapPath, goodImage, reason))
        failStart("cannot load map \"" + mapPath + "\": " + tmapErrorString(TMAP_ERROR_CANNOT_OPEN));
    if (!decodeImage(goodImage))
        failStart("cannot load map \"" + mapPath + "\": " + loadFailureMessage());

    // The light of the block demos: ambient and diffuse parts, both sides lit.
    const float lightAmbient[4] = {0.7f, 0.7f, 0.7f, 1.0f};
    const float lightDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float modelAmbient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glEnable(GL_LIGHT0);

    composition.layer = startLayer;
    flat.areaWidth = windowWidth;
    flat.areaHeight = areaHeight();
    adoptMap();
    fitView(flat);
    if (blocksView)
        startOrbit();

    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutPassiveMotionFunc(passiveMotion);
    glutEntryFunc(entry);
    glutDisplayFunc(display);
    glutIdleFunc(display);
    glutTimerFunc(watchMilliseconds, watchTimer, 0);
    lastTick = fpsSince = glutGet(GLUT_ELAPSED_TIME);
    glutMainLoop();
    return 0;
}
