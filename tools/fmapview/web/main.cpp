// fmapview in the browser: the viewer's keys, mouse, info line and help on
// a web page, the map drawn by the library's shader renderer in WebGL 2.
// The page (fmapview.js beside index.html) hands over the bytes of a map
// file; everything the viewer writes into the page goes through
// page.js as text, never as HTML.
#include <emscripten/emscripten.h> // main loop, EM_JS
#include <emscripten/html5.h>      // WebGL context, key, mouse, wheel and size events

#include <GLES3/gl3.h> // clearing, reading pixels back

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gpupicture.h"
#include "loadmessage.h"
#include "overview.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "view.h"
#include "viewtext.h"

using fmapview::Composition;
using fmapview::FlatView;
using fmapview::Orbit;

// ---------------------------------------------------------------- the page

// Calls into page.js. Texts cross as UTF-8 and end up in textContent.
EM_JS(void, pageShowInfo, (const char* text, int kind), { fmapviewPage.showInfo(UTF8ToString(text), kind); });
EM_JS(void, pageShowHelp, (const char* text, int shown), { fmapviewPage.showHelp(UTF8ToString(text), shown); });
EM_JS(void, pageSetTitle, (const char* text), { document.title = UTF8ToString(text); });
EM_JS(void, pageSavePicture, (const char* name), { fmapviewPage.savePicture(UTF8ToString(name)); });
EM_JS(void, pageReload, (), { fmapviewPage.reload(); });
EM_JS(void, pageCaptured, (const unsigned char* rgba, int width, int height),
      { fmapviewPage.captured(HEAPU8.slice(rgba, rgba + width * height * 4), width, height); });
EM_JS(double, pageDevicePixelRatio, (), { return window.devicePixelRatio || 1; });

namespace {

enum InfoKind { infoPlain = 0, infoNotice = 1, infoFailure = 2 };

const int tickMilliseconds = 10;
const double wheelZoom = 1.25;
const float background[3] = {0.12f, 0.12f, 0.15f};
const float bandColour[3] = {0.04f, 0.04f, 0.05f};

// ---------------------------------------------------------------- state

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
std::string mapName;                  // of the map on screen; empty before the first good one
std::vector<unsigned char> goodImage; // its bytes
std::string failureReason;            // why the last file opened did not load; empty when it did
std::string failedName;
std::string notice; // a short remark in the info line
double noticeUntil = 0;

Composition composition;
bool blocksView = false;
bool paused = false;
bool helpShown = false;
int pictureNumber = 0; // MAP-N.png: the last N handed out
bool saveRequested = false, captureRequested = false;
FlatView flat;
Orbit orbit;

int canvasWidth = 1, canvasHeight = 1; // pixels of the drawing buffer
double pixelRatio = 1;                 // drawing buffer pixels per CSS pixel
int bandHeight = 20;                   // the info line at the bottom, in buffer pixels
double mouseX = -1, mouseY = -1;       // buffer pixels, y down
bool dragging = false;
double dragX = 0, dragY = 0;

double lastTick = 0;
int framesCounted = 0;
double fpsSince = 0, fps = 0;
bool firstFrameDrawn = false;
std::string lastTitle, lastInfo, lastHelp;
int lastInfoKind = -1;

int areaHeight() { return std::max(1, canvasHeight - bandHeight); }

bool hasLayer(int layer) { return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr; }

bool mapShown() { return !mapName.empty(); }

void say(const std::string& text)
{
    notice = text;
    noticeUntil = emscripten_get_now() + 3000;
}

// ---------------------------------------------------------------- loading

// Decodes an image and copies it to the GL; the reason when either refuses.
bool decodeAndUpload(const unsigned char* bytes, size_t size, std::string& reason)
{
    if (tmapDecodeBuffer(bytes, size, TMAP_TEXTURES_NONE) != 0 || tmapGpuUpload() != 0) {
        reason = loadFailureMessage();
        tmapRelease();
        return false;
    }
    return true;
}

// After a map became current: animations from the start, the layer and the
// view kept as far as the new map allows.
void adoptMap(bool sameFile)
{
    tmapResetAnims();
    int firstLayer = -1;
    for (int layer = TMAP_LAYER_COUNT - 1; layer >= 0; --layer)
        if (hasLayer(layer))
            firstLayer = layer;
    if (!hasLayer(composition.layer)) {
        if (firstLayer >= 0 && composition.layer != firstLayer)
            say("the map has no layer " + std::to_string(composition.layer) + "; showing layer "
                + std::to_string(firstLayer));
        composition.layer = std::max(firstLayer, 0);
    }
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
    bool sameSize = flat.mapWidth == tmapWidth && flat.mapHeight == tmapHeight;
    flat.mapWidth = tmapWidth;
    flat.mapHeight = tmapHeight;
    flat.largestZoom = 16.0 * std::max(1, std::max(tmapTileWidth, tmapTileHeight));
    if (!sameSize || !sameFile)
        fitView(flat);
    limitView(flat);
    orbit.targetX = std::clamp(orbit.targetX, 0.0, double(tmapWidth));
    orbit.targetY = std::clamp(orbit.targetY, 0.0, double(tmapHeight));
    if (blocksView && !sameFile)
        fmapview::startOrbit(orbit, flat);
}

// ---------------------------------------------------------------- frames

void setTitle()
{
    std::string title = "fmapview";
    if (mapShown()) {
        char text[512];
        std::string what = composition.allLayers ? "all layers" : "layer " + std::to_string(composition.layer);
        char rate[32];
        if (paused)
            std::snprintf(rate, sizeof rate, "paused");
        else
            std::snprintf(rate, sizeof rate, "%.0f fps", fps);
        if (blocksView)
            std::snprintf(text, sizeof text, "fmapview: %s - %s, 3D blocks, %s", mapName.c_str(), what.c_str(), rate);
        else
            std::snprintf(text, sizeof text, "fmapview: %s - %s%s, zoom %.2f px/cell, %s", mapName.c_str(),
                          what.c_str(), composition.secondGraphic ? " + second graphics" : "", flat.zoom, rate);
        title = text;
    }
    if (title != lastTitle) {
        lastTitle = title;
        pageSetTitle(title.c_str());
    }
}

bool cellUnderMouse(int& cellX, int& cellY)
{
    if (mouseX < 0 || mouseY < 0 || mouseY >= areaHeight() || mouseX >= canvasWidth)
        return false;
    if (!blocksView)
        return fmapview::cellAt(flat, mouseX, mouseY, cellX, cellY);
    return fmapview::groundCellAt(orbit, canvasWidth, areaHeight(), mouseX, mouseY, cellX, cellY);
}

void showInfo()
{
    std::string info;
    int kind = infoPlain;
    if (emscripten_get_now() >= noticeUntil)
        notice.clear();
    int cellX, cellY;
    if (!failureReason.empty()) {
        kind = infoFailure;
        info = "cannot load " + failedName + ": " + failureReason
               + (mapShown() ? "  (showing the last good map)" : "");
    } else if (!notice.empty()) {
        kind = infoNotice;
        info = notice;
    } else if (!mapShown()) {
        info = "open a map file (.fmp): choose one, drop it here, or pick an example";
    } else if (!hasLayer(composition.layer)) {
        info = "the map has no layers";
    } else if (cellUnderMouse(cellX, cellY)) {
        info = fmapview::cellInfo(cellX, cellY);
    } else {
        info = fmapview::mapSummary(paused);
    }
    if (info != lastInfo || kind != lastInfoKind) {
        lastInfo = info;
        lastInfoKind = kind;
        pageShowInfo(info.c_str(), kind);
    }
}

void capture(bool save)
{
    std::vector<unsigned char> bottomUp(size_t(canvasWidth) * size_t(canvasHeight) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, canvasWidth, canvasHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<unsigned char> rgba(bottomUp.size());
    size_t row = size_t(canvasWidth) * 4;
    for (int y = 0; y < canvasHeight; ++y)
        std::copy_n(&bottomUp[size_t(canvasHeight - 1 - y) * row], row, &rgba[size_t(y) * row]);
    for (size_t p = 3; p < rgba.size(); p += 4)
        rgba[p] = 255;
    pageCaptured(rgba.data(), canvasWidth, canvasHeight);
    if (save) {
        std::string base = mapName;
        size_t dot = base.find_last_of('.');
        if (dot != std::string::npos && dot > 0)
            base.erase(dot);
        std::string name = base + "-" + std::to_string(++pictureNumber) + ".png";
        pageSavePicture(name.c_str());
        say("saved " + name);
    }
}

void frame()
{
    double now = emscripten_get_now();
    if (paused || now - lastTick > 1000)
        lastTick = now; // no burst of ticks after a pause or a stall
    while (now - lastTick >= tickMilliseconds) {
        if (mapShown())
            tmapStepAnims();
        lastTick += tickMilliseconds;
    }

    glViewport(0, 0, canvasWidth, canvasHeight);
    glClearColor(bandColour[0], bandColour[1], bandColour[2], 1.0f);
    glClearDepthf(1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, bandHeight, canvasWidth, areaHeight());
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    if (mapShown()) {
        if (blocksView)
            fmapview::drawBlocksThroughShaders(orbit, composition, canvasWidth, areaHeight(), bandHeight);
        else
            fmapview::drawFlatThroughShaders(flat, composition, bandHeight);
    }
    if (saveRequested || captureRequested) {
        capture(saveRequested && mapShown());
        saveRequested = captureRequested = false;
    }
    showInfo();

    ++framesCounted;
    if (now - fpsSince >= 1000) {
        fps = framesCounted * 1000.0 / (now - fpsSince);
        framesCounted = 0;
        fpsSince = now;
    }
    setTitle();
    if (mapShown() && !firstFrameDrawn) {
        firstFrameDrawn = true;
        EM_ASM({ fmapviewPage.firstFrame(); });
    }
}

// ---------------------------------------------------------------- input

void resizeCanvas()
{
    double cssWidth = 0, cssHeight = 0;
    emscripten_get_element_css_size("#canvas", &cssWidth, &cssHeight);
    pixelRatio = pageDevicePixelRatio();
    canvasWidth = std::max(1, int(std::lround(cssWidth * pixelRatio)));
    canvasHeight = std::max(1, int(std::lround(cssHeight * pixelRatio)));
    bandHeight = int(std::lround(20 * pixelRatio));
    emscripten_set_canvas_element_size("#canvas", canvasWidth, canvasHeight);
    resizeArea(flat, canvasWidth, areaHeight());
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void*)
{
    resizeCanvas();
    return EM_FALSE;
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

void zoomBy(double factor, double x, double y)
{
    if (blocksView)
        orbit.distance /= factor;
    else
        zoomAbout(flat, factor, x, y);
}

// Keys as characters, compared exactly as the window viewer compares them.
bool characterKey(const std::string& key)
{
    if (key.size() != 1)
        return false;
    switch (key[0]) {
    case 'f': fitView(flat); break;
    case '+': case '=': zoomBy(wheelZoom, canvasWidth / 2.0, areaHeight() / 2.0); break;
    case '-': zoomBy(1.0 / wheelZoom, canvasWidth / 2.0, areaHeight() / 2.0); break;
    case 'a': composition.allLayers = !composition.allLayers; break;
    case 'g': composition.secondGraphic = !composition.secondGraphic; break;
    case 'b':
        blocksView = !blocksView;
        if (blocksView)
            fmapview::startOrbit(orbit, flat);
        break;
    case ' ': paused = !paused; break;
    case '.':
        if (paused)
            tmapStepAnims();
        break;
    case 'p': saveRequested = true; break;
    case 'h':
        helpShown = !helpShown;
        pageShowHelp(fmapview::helpText().c_str(), helpShown);
        break;
    case 'r': pageReload(); break;
    default:
        if (key[0] >= '0' && key[0] <= '7')
            chooseLayer(key[0] - '0');
        else
            return false;
        break;
    }
    return true;
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*)
{
    if (event->ctrlKey || event->altKey || event->metaKey || !mapShown())
        return EM_FALSE;
    std::string key = event->key;
    int dx = key == "ArrowLeft" ? 1 : key == "ArrowRight" ? -1 : 0;
    int dy = key == "ArrowUp" ? 1 : key == "ArrowDown" ? -1 : 0;
    if (dx != 0 || dy != 0) {
        if (blocksView) {
            orbit.yaw -= 10.0 * dx;
            orbit.pitch -= 10.0 * dy;
        } else {
            panBy(flat, dx * (canvasWidth / 8), dy * (areaHeight() / 8));
        }
        return EM_TRUE;
    }
    if (key == "Escape" && helpShown) {
        helpShown = false;
        pageShowHelp("", 0);
        return EM_TRUE;
    }
    return characterKey(key) ? EM_TRUE : EM_FALSE;
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* event, void*)
{
    mouseX = event->targetX * pixelRatio;
    mouseY = event->targetY * pixelRatio;
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN && event->button == 0) {
        dragging = true;
    } else if (type == EMSCRIPTEN_EVENT_MOUSEMOVE && dragging && (event->buttons & 1)) {
        double dx = mouseX - dragX, dy = mouseY - dragY;
        if (blocksView) {
            orbit.yaw -= 0.4 * dx;
            orbit.pitch += 0.4 * dy;
        } else {
            panBy(flat, dx, dy);
        }
    } else if (type == EMSCRIPTEN_EVENT_MOUSELEAVE) {
        mouseX = mouseY = -1;
        dragging = false;
    }
    dragX = mouseX;
    dragY = mouseY;
    return type == EMSCRIPTEN_EVENT_MOUSEDOWN ? EM_TRUE : EM_FALSE;
}

// A drag ends wherever the button is let go.
EM_BOOL onMouseUp(int, const EmscriptenMouseEvent* event, void*)
{
    if (event->button == 0)
        dragging = false;
    return EM_FALSE;
}

EM_BOOL onWheel(int, const EmscriptenWheelEvent* event, void*)
{
    if (event->deltaY != 0 && mapShown())
        zoomBy(event->deltaY < 0 ? wheelZoom : 1.0 / wheelZoom, event->mouse.targetX * pixelRatio,
               event->mouse.targetY * pixelRatio);
    return EM_TRUE;
}

} // namespace

// ---------------------------------------------------------------- calls from the page

extern "C" {

// Opens the bytes of a map file named name. On failure the reason shows in
// the info line and the last good map stays. Returns 0 or -1.
EMSCRIPTEN_KEEPALIVE int fmapviewOpen(const unsigned char* bytes, int size, const char* name)
{
    std::string reason;
    bool sameFile = mapShown() && mapName == name;
    if (size >= 0 && decodeAndUpload(bytes, size_t(size), reason)) {
        goodImage.assign(bytes, bytes + size);
        mapName = name;
        failureReason.clear();
        pictureNumber = sameFile ? pictureNumber : 0;
        adoptMap(sameFile);
        return 0;
    }
    failureReason = reason;
    failedName = name;
    if (mapShown()) {
        std::string again;
        if (decodeAndUpload(goodImage.data(), goodImage.size(), again))
            adoptMap(true);
        else
            mapName.clear(); // the GL lost what it held once
    }
    return -1;
}

// A refusal decided by the page (a file too large to open, a fetch that
// failed): shown as a load failure, the last good map kept.
EMSCRIPTEN_KEEPALIVE void fmapviewRefuse(const char* name, const char* reason)
{
    failedName = name;
    failureReason = reason;
}

// The next frame hands its pixels to the page (fmapviewPage.captured).
EMSCRIPTEN_KEEPALIVE void fmapviewCapture() { captureRequested = true; }

} // extern "C"

int main()
{
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.antialias = EM_FALSE; // the pictures of the desktop renderer have no multisampling
    context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) {
        fmapviewRefuse("", "this browser gives no WebGL 2 context");
        EM_ASM({ fmapviewPage.showInfo("this browser gives no WebGL 2 context", 2); });
        return 1;
    }
    emscripten_webgl_make_context_current(context);

    flat.areaWidth = 1;
    flat.areaHeight = 1;
    resizeCanvas();
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyDown);
    emscripten_set_mousedown_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onMouseUp);
    emscripten_set_mousemove_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_mouseleave_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_wheel_callback("#canvas", nullptr, EM_FALSE, onWheel);

    lastTick = fpsSince = emscripten_get_now();
    EM_ASM({ fmapviewPage.ready(); });
    emscripten_set_main_loop(frame, 0, EM_FALSE);
    return 0;
}
