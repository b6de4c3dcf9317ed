// fmapview in the browser: the viewer session (session.h) on a web page,
// the map drawn by the library's shader renderer in WebGL 2. The page
// (fmapview.js beside index.html) hands over the bytes of a map file;
// everything the viewer writes into the page goes through page.js as text,
// never as HTML.
#include <emscripten/emscripten.h> // main loop, EM_JS
#include <emscripten/html5.h>      // WebGL context, key, mouse, wheel and size events

#include <GLES3/gl3.h> // clearing, reading pixels back

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gpupicture.h"
#include "session.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"
#include "viewtext.h"

using fmapview::Session;

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

double fmapview::sessionClock() { return emscripten_get_now(); }

namespace {

const float background[3] = {0.12f, 0.12f, 0.15f};
const float bandColour[3] = {0.04f, 0.04f, 0.05f};

Session session;
double pixelRatio = 1;  // drawing buffer pixels per CSS pixel
int pictureNumber = 0;  // MAP-N.png: the last N handed out
bool captureRequested = false;
bool firstFrameDrawn = false;
std::string lastTitle, lastInfo;
int lastInfoKind = -1;

// Decodes an image and copies it to the GL.
bool decodeAndUpload(const unsigned char* bytes, size_t size)
{
    return tmapDecodeBuffer(bytes, size, TMAP_TEXTURES_NONE) == 0 && tmapGpuUpload() == 0;
}

// ---------------------------------------------------------------- frames

void showInfo()
{
    int cellX = 0, cellY = 0;
    bool found = false;
    if (mapShown(session) && fmapview::pointerInArea(session)) {
        found = session.blocksView
                    ? fmapview::groundCellAt(session.orbit, session.width, session.areaHeight(), session.mouseX,
                                             session.mouseY, cellX, cellY)
                    : fmapview::cellAt(session.flat, session.mouseX, session.mouseY, cellX, cellY);
    }
    const fmapview::InfoLine line = infoLine(session, found, cellX, cellY, "");
    if (line.text != lastInfo || int(line.kind) != lastInfoKind) {
        lastInfo = line.text;
        lastInfoKind = int(line.kind);
        pageShowInfo(line.text.c_str(), lastInfoKind);
    }
}

void capture(bool save)
{
    const int width = session.width, height = session.height;
    std::vector<unsigned char> bottomUp(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<unsigned char> rgba(bottomUp.size());
    size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::copy_n(&bottomUp[size_t(height - 1 - y) * row], row, &rgba[size_t(y) * row]);
    for (size_t p = 3; p < rgba.size(); p += 4)
        rgba[p] = 255;
    pageCaptured(rgba.data(), width, height);
    if (save) {
        std::string base = session.mapName;
        size_t dot = base.find_last_of('.');
        if (dot != std::string::npos && dot > 0)
            base.erase(dot);
        std::string name = base + "-" + std::to_string(++pictureNumber) + ".png";
        pageSavePicture(name.c_str());
        say(session, "saved " + name);
    }
}

void frame()
{
    double now = emscripten_get_now();
    stepTicks(session, now);

    const int width = session.width, bandHeight = session.bandHeight, areaHeight = session.areaHeight();
    glViewport(0, 0, width, session.height);
    glClearColor(bandColour[0], bandColour[1], bandColour[2], 1.0f);
    glClearDepthf(1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, bandHeight, width, areaHeight);
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    if (mapShown(session)) {
        if (session.blocksView)
            fmapview::drawBlocksThroughShaders(session.orbit, session.composition, width, areaHeight, bandHeight);
        else
            fmapview::drawFlatThroughShaders(session.flat, session.composition, bandHeight);
    }
    if (session.saveRequested || captureRequested) {
        capture(session.saveRequested && mapShown(session));
        session.saveRequested = captureRequested = false;
    }
    showInfo();

    countFrame(session, now);
    const std::string title = titleText(session);
    if (title != lastTitle) {
        lastTitle = title;
        pageSetTitle(title.c_str());
    }
    if (mapShown(session) && !firstFrameDrawn) {
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
    int width = std::max(1, int(std::lround(cssWidth * pixelRatio)));
    int height = std::max(1, int(std::lround(cssHeight * pixelRatio)));
    emscripten_set_canvas_element_size("#canvas", width, height);
    resizeSession(session, width, height, int(std::lround(20 * pixelRatio)));
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void*)
{
    resizeCanvas();
    return EM_FALSE;
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*)
{
    if (event->ctrlKey || event->altKey || event->metaKey || !mapShown(session))
        return EM_FALSE;
    std::string key = event->key;
    int dx = key == "ArrowLeft" ? 1 : key == "ArrowRight" ? -1 : 0;
    int dy = key == "ArrowUp" ? 1 : key == "ArrowDown" ? -1 : 0;
    if (dx != 0 || dy != 0) {
        pressArrow(session, dx, dy);
        return EM_TRUE;
    }
    if (key == "Escape" && session.helpShown) {
        session.helpShown = false;
        pageShowHelp("", 0);
        return EM_TRUE;
    }
    // Keys as characters, compared exactly as the window viewer compares
    // them; a page has no quit key.
    if (key.size() != 1)
        return EM_FALSE;
    switch (pressKey(session, (unsigned char)key[0])) {
    case fmapview::KeyEffect::unknown:
    case fmapview::KeyEffect::quit: return EM_FALSE;
    case fmapview::KeyEffect::reload: pageReload(); break;
    case fmapview::KeyEffect::helpChanged: pageShowHelp(fmapview::helpText().c_str(), session.helpShown); break;
    default: break;
    }
    return EM_TRUE;
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* event, void*)
{
    const double x = event->targetX * pixelRatio, y = event->targetY * pixelRatio;
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN && event->button == 0) {
        pressPointer(session, x, y);
        return EM_TRUE;
    }
    if (type == EMSCRIPTEN_EVENT_MOUSELEAVE) {
        releasePointer(session);
        leavePointer(session);
        return EM_FALSE;
    }
    // A button let go outside the page ends the drag.
    if (!(event->buttons & 1))
        releasePointer(session);
    movePointer(session, x, y);
    return type == EMSCRIPTEN_EVENT_MOUSEDOWN ? EM_TRUE : EM_FALSE;
}

// A drag ends wherever the button is let go.
EM_BOOL onMouseUp(int, const EmscriptenMouseEvent* event, void*)
{
    if (event->button == 0)
        releasePointer(session);
    return EM_FALSE;
}

EM_BOOL onWheel(int, const EmscriptenWheelEvent* event, void*)
{
    if (event->deltaY != 0 && mapShown(session))
        turnWheel(session, event->deltaY < 0, event->mouse.targetX * pixelRatio, event->mouse.targetY * pixelRatio);
    return EM_TRUE;
}

} // namespace

// ---------------------------------------------------------------- calls from the page

extern "C" {

// Opens the bytes of a map file named name. On failure the reason shows in
// the info line and the last good map stays. Returns 0 or -1.
EMSCRIPTEN_KEEPALIVE int fmapviewOpen(const unsigned char* bytes, int size, const char* name)
{
    const bool sameFile = mapShown(session) && session.mapName == name;
    if (size < 0 || !openMap(session, bytes, size_t(size), name, decodeAndUpload))
        return -1;
    pictureNumber = sameFile ? pictureNumber : 0;
    return 0;
}

// A refusal decided by the page (a file too large to open, a fetch that
// failed): shown as a load failure, the last good map kept.
EMSCRIPTEN_KEEPALIVE void fmapviewRefuse(const char* name, const char* reason) { refuseMap(session, name, reason); }

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
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) {
        fmapviewRefuse("", "this browser gives no WebGL 2 context");
        EM_ASM({ fmapviewPage.showInfo("this browser gives no WebGL 2 context", 2); });
        return 1;
    }
    emscripten_webgl_make_context_current(context);

    resizeCanvas();
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyDown);
    emscripten_set_mousedown_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onMouseUp);
    emscripten_set_mousemove_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_mouseleave_callback("#canvas", nullptr, EM_FALSE, onMouse);
    emscripten_set_wheel_callback("#canvas", nullptr, EM_FALSE, onWheel);

    session.lastTick = session.fpsSince = emscripten_get_now();
    EM_ASM({ fmapviewPage.ready(); });
    emscripten_set_main_loop(frame, 0, EM_FALSE);
    return 0;
}
