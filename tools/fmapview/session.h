// One viewer session, whatever shows it: the map on screen and the last
// good one, what is shown and how, the keys, pointer and wheel, animation
// ticks, the frame rate, the title and the info line. No platform, no GL:
// the window viewer (GLUT, main.cpp) and the page (Emscripten, web/main.cpp)
// are thin front ends that feed it events and draw what it says; the
// browser test's reference picture (tests/web) runs the same session.
//
// Pixels are those of the drawing buffer, (0, 0) at the top-left corner of
// the map area, y growing downward; times are milliseconds of
// sessionClock().
#ifndef TILVOGL_TOOLS_FMAPVIEW_SESSION_H
#define TILVOGL_TOOLS_FMAPVIEW_SESSION_H

#include <cstddef>
#include <string>
#include <vector>

#include "overview.h" // Composition
#include "view.h"     // FlatView, Orbit

namespace fmapview {

const double tickMilliseconds = 10;
const double wheelZoom = 1.25;
const double noticeMilliseconds = 3000;

struct Session {
    // The map on screen and the file it came from.
    std::string mapName;                  // shown in the title; empty before the first good map
    std::vector<unsigned char> goodImage; // the bytes of the map on screen
    std::string failureReason;            // why the last file opened does not load; empty when it did
    std::string failedName;               // the name of that file
    int mapGeneration = 0;                // counts the maps adopted, so pictures of an old one go

    // What is shown, and how.
    Composition composition;
    bool blocksView = false;
    bool paused = false;
    bool helpShown = false;
    bool saveRequested = false; // the next frame is saved (p)
    FlatView flat;
    Orbit orbit;
    std::string notice; // a short remark in the info line, until noticeUntil
    double noticeUntil = 0;

    // The drawing buffer, the info line at its bottom, and the pointer.
    int width = 800, height = 600;
    int bandHeight = 20;
    double mouseX = -1, mouseY = -1; // -1: not over the buffer
    bool dragging = false;
    double dragX = 0, dragY = 0;

    // Animation ticks and the frame rate in the title.
    double lastTick = 0;
    int framesCounted = 0;
    double fpsSince = 0, fps = 0;

    int areaHeight() const { return height - bandHeight > 1 ? height - bandHeight : 1; }
};

// Milliseconds from a fixed origin; each front end defines it.
double sessionClock();

bool hasLayer(int layer);
bool mapShown(const Session& session);

// ---- Maps

// Makes the current map of the library (decode and, for a GL, upload).
// False when it refuses; the library's error then says why.
typedef bool (*DecodeMap)(const unsigned char* bytes, size_t size);

// Makes the bytes of the file called name the map on screen, through
// decode. On failure the reason shows in the info line and the last good
// map stays (decoded again from memory; none when that fails too). The
// same file opened again keeps the view; another one is fitted.
bool openMap(Session& session, const unsigned char* bytes, size_t size, const std::string& name, DecodeMap decode);

// A file refused before it was decoded (it could not be read, it is too
// large): shown as a load failure, the last good map kept.
void refuseMap(Session& session, const std::string& name, const std::string& reason);

// After a map became current: animations from the start, the layer and the
// view kept as far as the new map allows; another file's map is fitted.
void adoptMap(Session& session, bool sameFile);

// ---- Events

// A new size of the drawing buffer and of its info line.
void resizeSession(Session& session, int width, int height, int bandHeight);

// What a key asks of the front end beyond the session's own state.
enum class KeyEffect {
    unknown,      // not a viewer key
    done,         // the session did it all
    quit,         // q, Escape (27)
    reload,       // r: read the file again
    pauseChanged, // space
    helpChanged,  // h
};

// A character key, compared exactly (letters in lower case only).
KeyEffect pressKey(Session& session, unsigned char key);

// An arrow key: dx 1 for left, -1 for right; dy 1 for up, -1 for down.
void pressArrow(Session& session, int dx, int dy);

void turnWheel(Session& session, bool up, double x, double y);
void pressPointer(Session& session, double x, double y); // the drag button
void movePointer(Session& session, double x, double y);
void releasePointer(Session& session);
void leavePointer(Session& session);

// ---- Frames

// Steps the animations in whole ticks of the time passed since the last
// call, with no burst of ticks after a pause or a stall.
void stepTicks(Session& session, double now);

// Counts a frame for the frame rate.
void countFrame(Session& session, double now);

// "fmapview: MAP - layer 0, zoom 10.94 px/cell, 60 fps", or "fmapview"
// before the first map.
std::string titleText(const Session& session);

// A short remark in the info line for a few seconds.
void say(Session& session, const std::string& text);

enum class InfoKind { plain, notice, failure };
struct InfoLine {
    InfoKind kind;
    std::string text;
};

// The info line: why the last file does not load, a remark, the cell under
// the pointer (when the front end found one), or the map's summary with
// summarySuffix after it.
InfoLine infoLine(Session& session, bool cellFound, int cellX, int cellY, const std::string& summarySuffix);

// Whether the pointer is over the map area.
bool pointerInArea(const Session& session);

} // namespace fmapview

#endif
