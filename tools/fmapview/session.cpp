#include "session.h"

#include <algorithm>
#include <cstdio>

#include "loadmessage.h"      // loadFailureMessage
#include "tilvogl/tilvogl.h"  // the current map, tmapSelectLayer, tmapStepAnims
#include "viewtext.h"         // cellInfo, mapSummary

namespace fmapview {

namespace {

int firstPresentLayer()
{
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (hasLayer(layer))
            return layer;
    return -1;
}

void chooseLayer(Session& session, int layer)
{
    if (!hasLayer(layer)) {
        say(session, "the map has no layer " + std::to_string(layer));
        return;
    }
    session.composition.layer = layer;
    session.composition.allLayers = false;
    tmapSelectLayer(unsigned(layer));
}

void zoomBy(Session& session, double factor, double x, double y)
{
    if (session.blocksView)
        session.orbit.distance /= factor;
    else
        zoomAbout(session.flat, factor, x, y);
}

} // namespace

bool hasLayer(int layer) { return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr; }

bool mapShown(const Session& session) { return !session.mapName.empty(); }

// ---------------------------------------------------------------- maps

bool openMap(Session& session, const unsigned char* bytes, size_t size, const std::string& name, DecodeMap decode)
{
    const bool sameFile = mapShown(session) && session.mapName == name;
    if (decode(bytes, size)) {
        session.goodImage.assign(bytes, bytes + size);
        session.mapName = name;
        session.failureReason.clear();
        adoptMap(session, sameFile);
        return true;
    }
    refuseMap(session, name, loadFailureMessage());
    // The last good map is decoded again from memory, so the picture stays.
    tmapRelease();
    if (mapShown(session)) {
        if (decode(session.goodImage.data(), session.goodImage.size()))
            adoptMap(session, true);
        else
            session.mapName.clear();
    }
    return false;
}

void refuseMap(Session& session, const std::string& name, const std::string& reason)
{
    session.failedName = name;
    session.failureReason = reason;
}

void adoptMap(Session& session, bool sameFile)
{
    tmapResetAnims();
    ++session.mapGeneration;
    Composition& composition = session.composition;
    if (!hasLayer(composition.layer)) {
        int layer = firstPresentLayer();
        if (layer >= 0 && composition.layer != layer)
            say(session, "the map has no layer " + std::to_string(composition.layer) + "; showing layer "
                             + std::to_string(layer));
        composition.layer = std::max(layer, 0);
    }
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
    FlatView& flat = session.flat;
    const bool sameSize = flat.mapWidth == tmapWidth && flat.mapHeight == tmapHeight;
    flat.mapWidth = tmapWidth;
    flat.mapHeight = tmapHeight;
    flat.largestZoom = 16.0 * std::max(1, std::max(tmapTileWidth, tmapTileHeight));
    if (!sameSize || !sameFile)
        fitView(flat);
    limitView(flat);
    session.orbit.targetX = std::clamp(session.orbit.targetX, 0.0, double(tmapWidth));
    session.orbit.targetY = std::clamp(session.orbit.targetY, 0.0, double(tmapHeight));
    if (session.blocksView && !sameFile)
        startOrbit(session.orbit, flat);
}

// ---------------------------------------------------------------- events

void resizeSession(Session& session, int width, int height, int bandHeight)
{
    session.width = std::max(width, 1);
    session.height = std::max(height, 1);
    session.bandHeight = bandHeight;
    resizeArea(session.flat, session.width, session.areaHeight());
}

KeyEffect pressKey(Session& session, unsigned char key)
{
    const double centreX = session.width / 2.0, centreY = session.areaHeight() / 2.0;
    switch (key) {
    case 27: case 'q': return KeyEffect::quit;
    case 'r': return KeyEffect::reload;
    case 'f': fitView(session.flat); break;
    case '+': case '=': zoomBy(session, wheelZoom, centreX, centreY); break;
    case '-': zoomBy(session, 1.0 / wheelZoom, centreX, centreY); break;
    case 'a': session.composition.allLayers = !session.composition.allLayers; break;
    case 'g': session.composition.secondGraphic = !session.composition.secondGraphic; break;
    case 'b':
        session.blocksView = !session.blocksView;
        if (session.blocksView)
            startOrbit(session.orbit, session.flat);
        break;
    case ' ':
        session.paused = !session.paused;
        // The time spent paused is not owed to the animations, even where
        // no frame was drawn during the pause.
        if (!session.paused)
            session.lastTick = sessionClock();
        return KeyEffect::pauseChanged;
    case '.':
        if (session.paused)
            tmapStepAnims();
        break;
    case 'p': session.saveRequested = true; break;
    case 'h':
        session.helpShown = !session.helpShown;
        return KeyEffect::helpChanged;
    default:
        if (key < '0' || key > '7')
            return KeyEffect::unknown;
        chooseLayer(session, key - '0');
        break;
    }
    return KeyEffect::done;
}

void pressArrow(Session& session, int dx, int dy)
{
    if (session.blocksView) {
        session.orbit.yaw -= 10.0 * dx;
        session.orbit.pitch -= 10.0 * dy;
    } else {
        panBy(session.flat, dx * (session.width / 8), dy * (session.areaHeight() / 8));
    }
}

void turnWheel(Session& session, bool up, double x, double y)
{
    zoomBy(session, up ? wheelZoom : 1.0 / wheelZoom, x, y);
}

void pressPointer(Session& session, double x, double y)
{
    session.mouseX = session.dragX = x;
    session.mouseY = session.dragY = y;
    session.dragging = true;
}

void movePointer(Session& session, double x, double y)
{
    session.mouseX = x;
    session.mouseY = y;
    if (!session.dragging)
        return;
    const double dx = x - session.dragX, dy = y - session.dragY;
    if (session.blocksView) {
        session.orbit.yaw -= 0.4 * dx;
        session.orbit.pitch += 0.4 * dy;
    } else {
        panBy(session.flat, dx, dy);
    }
    session.dragX = x;
    session.dragY = y;
}

void releasePointer(Session& session) { session.dragging = false; }

void leavePointer(Session& session) { session.mouseX = session.mouseY = -1; }

// ---------------------------------------------------------------- frames

void stepTicks(Session& session, double now)
{
    if (session.paused || now - session.lastTick > 1000)
        session.lastTick = now;
    while (now - session.lastTick >= tickMilliseconds) {
        if (mapShown(session))
            tmapStepAnims();
        session.lastTick += tickMilliseconds;
    }
}

void countFrame(Session& session, double now)
{
    ++session.framesCounted;
    if (now - session.fpsSince >= 1000) {
        session.fps = session.framesCounted * 1000.0 / (now - session.fpsSince);
        session.framesCounted = 0;
        session.fpsSince = now;
    }
}

std::string titleText(const Session& session)
{
    if (!mapShown(session))
        return "fmapview";
    const Composition& composition = session.composition;
    const std::string what = composition.allLayers ? "all layers" : "layer " + std::to_string(composition.layer);
    char rate[32], text[512];
    if (session.paused)
        std::snprintf(rate, sizeof rate, "paused");
    else
        std::snprintf(rate, sizeof rate, "%.0f fps", session.fps);
    if (session.blocksView)
        std::snprintf(text, sizeof text, "fmapview: %s - %s, 3D blocks, %s", session.mapName.c_str(), what.c_str(),
                      rate);
    else
        std::snprintf(text, sizeof text, "fmapview: %s - %s%s, zoom %.2f px/cell, %s", session.mapName.c_str(),
                      what.c_str(), composition.secondGraphic ? " + second graphics" : "", session.flat.zoom, rate);
    return text;
}

void say(Session& session, const std::string& text)
{
    session.notice = text;
    session.noticeUntil = sessionClock() + noticeMilliseconds;
}

InfoLine infoLine(Session& session, bool cellFound, int cellX, int cellY, const std::string& summarySuffix)
{
    if (sessionClock() >= session.noticeUntil)
        session.notice.clear();
    if (!session.failureReason.empty())
        return {InfoKind::failure, "cannot load " + session.failedName + ": " + session.failureReason
                                       + (mapShown(session) ? "  (showing the last good map)" : "")};
    if (!session.notice.empty())
        return {InfoKind::notice, session.notice};
    if (!mapShown(session))
        return {InfoKind::plain, "open a map file (.fmp): choose one, drop it here, or pick an example"};
    if (!hasLayer(session.composition.layer))
        return {InfoKind::plain, "the map has no layers"};
    if (cellFound)
        return {InfoKind::plain, cellInfo(cellX, cellY)};
    return {InfoKind::plain, mapSummary(session.paused) + summarySuffix};
}

bool pointerInArea(const Session& session)
{
    return session.mouseX >= 0 && session.mouseY >= 0 && session.mouseY < session.areaHeight()
           && session.mouseX < session.width;
}

} // namespace fmapview
