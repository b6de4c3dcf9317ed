#include "view.h"

#include <algorithm>
#include <cmath>

namespace fmapview {

namespace {

const double overviewBelowPixelsPerCell = 1.0;
const double pi = 3.14159265358979323846;

// Centre coordinate along one axis within the pan limits.
double limitCentre(double centre, int mapCells, int areaPixels, double zoom)
{
    double halfShown = areaPixels / (2.0 * zoom);
    if (mapCells <= 2.0 * halfShown)
        return mapCells / 2.0;
    return std::clamp(centre, halfShown, mapCells - halfShown);
}

} // namespace

double fitZoom(const FlatView& view)
{
    if (view.mapWidth <= 0 || view.mapHeight <= 0)
        return 1.0;
    return std::min(double(view.areaWidth) / view.mapWidth, double(view.areaHeight) / view.mapHeight);
}

double smallestZoom(const FlatView& view)
{
    return std::min(fitZoom(view), view.largestZoom);
}

void fitView(FlatView& view)
{
    view.zoom = smallestZoom(view);
    view.centreX = view.mapWidth / 2.0;
    view.centreY = view.mapHeight / 2.0;
    limitView(view);
}

void limitView(FlatView& view)
{
    view.areaWidth = std::max(view.areaWidth, 1);
    view.areaHeight = std::max(view.areaHeight, 1);
    view.zoom = std::clamp(view.zoom, smallestZoom(view), std::max(view.largestZoom, smallestZoom(view)));
    view.centreX = limitCentre(view.centreX, view.mapWidth, view.areaWidth, view.zoom);
    view.centreY = limitCentre(view.centreY, view.mapHeight, view.areaHeight, view.zoom);
}

void screenToMap(const FlatView& view, double x, double y, double& mapX, double& mapY)
{
    mapX = view.centreX + (x - view.areaWidth / 2.0) / view.zoom;
    mapY = view.centreY + (y - view.areaHeight / 2.0) / view.zoom;
}

void zoomAbout(FlatView& view, double factor, double x, double y)
{
    double mapX, mapY;
    screenToMap(view, x, y, mapX, mapY);
    view.zoom *= factor;
    limitView(view);
    // The same map point goes back under (x, y).
    view.centreX = mapX - (x - view.areaWidth / 2.0) / view.zoom;
    view.centreY = mapY - (y - view.areaHeight / 2.0) / view.zoom;
    limitView(view);
}

void panBy(FlatView& view, double dx, double dy)
{
    view.centreX -= dx / view.zoom;
    view.centreY -= dy / view.zoom;
    limitView(view);
}

void resizeArea(FlatView& view, int width, int height)
{
    view.areaWidth = width;
    view.areaHeight = height;
    limitView(view);
}

bool cellAt(const FlatView& view, double x, double y, int& cellX, int& cellY)
{
    double mapX, mapY;
    screenToMap(view, x, y, mapX, mapY);
    if (mapX < 0.0 || mapY < 0.0 || mapX >= view.mapWidth || mapY >= view.mapHeight)
        return false;
    cellX = int(mapX);
    cellY = int(mapY);
    return true;
}

CellRange visibleCells(const FlatView& view)
{
    double left, top, right, bottom;
    screenToMap(view, 0.0, 0.0, left, top);
    screenToMap(view, view.areaWidth, view.areaHeight, right, bottom);
    CellRange range;
    range.x = std::max(0, int(std::floor(left)));
    range.y = std::max(0, int(std::floor(top)));
    int endX = std::min(view.mapWidth, int(std::ceil(right)));
    int endY = std::min(view.mapHeight, int(std::ceil(bottom)));
    range.columns = std::max(0, endX - range.x);
    range.rows = std::max(0, endY - range.y);
    return range;
}

bool usesOverview(const FlatView& view)
{
    return view.zoom < overviewBelowPixelsPerCell;
}

const float orbitLightPosition[4] = {-15.0f, -15.0f, -8.0f, 0.0f};

void startOrbit(Orbit& orbit, const FlatView& view)
{
    orbit.targetX = view.centreX;
    orbit.targetY = view.centreY;
    orbit.distance = std::max(3.0, 1.3 * view.areaHeight / view.zoom);
}

void limitOrbit(Orbit& orbit, int mapWidth, int mapHeight)
{
    const int largest = std::max(mapWidth, mapHeight);
    orbit.distance = std::clamp(orbit.distance, 2.0, 3.0 * std::max(largest, 1));
    orbit.pitch = std::clamp(orbit.pitch, 5.0, 89.0);
}

void orbitEye(const Orbit& orbit, double& x, double& y, double& z)
{
    const double yaw = orbit.yaw * pi / 180.0, pitch = orbit.pitch * pi / 180.0;
    x = orbit.targetX + orbit.distance * std::cos(pitch) * std::sin(yaw);
    y = -orbit.targetY - orbit.distance * std::cos(pitch) * std::cos(yaw);
    z = orbit.distance * std::sin(pitch);
}

CellRange orbitCells(const Orbit& orbit, int mapWidth, int mapHeight)
{
    const int reach = int(std::min(orbit.distance * 1.5, 160.0)) + 2;
    CellRange range;
    range.x = std::max(0, int(orbit.targetX) - reach);
    range.y = std::max(0, int(orbit.targetY) - reach);
    range.columns = std::max(0, std::min(mapWidth, int(orbit.targetX) + reach) - range.x);
    range.rows = std::max(0, std::min(mapHeight, int(orbit.targetY) + reach) - range.y);
    return range;
}

} // namespace fmapview
