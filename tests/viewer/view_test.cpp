// The viewer's flat view arithmetic, checked against the rules a user sees:
// fitting shows the whole map centred, zooming keeps the map point under
// the cursor, dragging moves the picture with the mouse, no empty space
// shows beyond a map larger than the window, the cells drawn are those on
// screen, and a click names the cell drawn under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "view.h"

using namespace fmapview;

namespace {

const double near = 1e-6; // screen pixels

FlatView makeView(int mapWidth, int mapHeight, int areaWidth, int areaHeight, double largestZoom = 512)
{
    FlatView view;
    view.mapWidth = mapWidth;
    view.mapHeight = mapHeight;
    view.areaWidth = areaWidth;
    view.areaHeight = areaHeight;
    view.largestZoom = largestZoom;
    return view;
}

// Where a map point is drawn: the centre of the view in the middle of the
// area, zoom screen pixels per cell.
double screenX(const FlatView& view, double mapX) { return (mapX - view.centreX) * view.zoom + view.areaWidth / 2.0; }
double screenY(const FlatView& view, double mapY) { return (mapY - view.centreY) * view.zoom + view.areaHeight / 2.0; }

// Along one axis: a map drawn larger than the area covers it, one drawn
// smaller stands in its middle.
void expectAxisWithinLimits(double start, double end, int area, const char* axis)
{
    if (end - start > area + near) {
        EXPECT_LE(start, near) << axis << ": empty space before the map";
        EXPECT_GE(end, area - near) << axis << ": empty space after the map";
    } else {
        EXPECT_NEAR(start, area - end, near) << axis << ": the map is not centred";
    }
}

void expectWithinPanLimits(const FlatView& view)
{
    expectAxisWithinLimits(screenX(view, 0), screenX(view, view.mapWidth), view.areaWidth, "x");
    expectAxisWithinLimits(screenY(view, 0), screenY(view, view.mapHeight), view.areaHeight, "y");
}

// The cells drawn are exactly those that overlap the area.
void expectVisibleCellsAreThoseOnScreen(const FlatView& view)
{
    auto onScreen = [](auto edge, int cells, int area, int& first, int& count) {
        first = 0, count = 0;
        for (int i = 0; i < cells; ++i)
            if (edge(i + 1) > 0 && edge(i) < area) {
                if (count == 0)
                    first = i;
                ++count;
            }
    };
    int x, columns, y, rows;
    onScreen([&](double cell) { return screenX(view, cell); }, view.mapWidth, view.areaWidth, x, columns);
    onScreen([&](double cell) { return screenY(view, cell); }, view.mapHeight, view.areaHeight, y, rows);
    const CellRange visible = visibleCells(view);
    EXPECT_EQ(visible.columns, columns);
    EXPECT_EQ(visible.rows, rows);
    if (columns > 0 && rows > 0) {
        EXPECT_EQ(visible.x, x);
        EXPECT_EQ(visible.y, y);
    }
}

// Along an axis where the map is drawn larger than the area the map point
// (mapX, mapY) lies under the screen point (x, y), unless keeping it there
// would show empty space beyond the map: then the map's edge lies on the
// area's. Where the map is smaller, it stays centred (expectWithinPanLimits).
void expectAxisPointKept(double under, double mapPoint, double start, double end, int area, const char* axis)
{
    if (end - start <= area + near)
        return;
    const bool kept = std::abs(under - mapPoint) < 1e-9;
    const bool atEdge = std::abs(start) < near || std::abs(end - area) < near;
    EXPECT_TRUE(kept || atEdge) << axis << ": map point " << mapPoint << " moved to " << under
                                << " with the map's edges at " << start << " and " << end;
}

void expectMapPointUnder(const FlatView& view, double x, double y, double mapX, double mapY)
{
    double underX, underY;
    screenToMap(view, x, y, underX, underY);
    expectAxisPointKept(underX, mapX, screenX(view, 0), screenX(view, view.mapWidth), view.areaWidth, "x");
    expectAxisPointKept(underY, mapY, screenY(view, 0), screenY(view, view.mapHeight), view.areaHeight, "y");
}

void expectWholeMapFittedAndCentred(const FlatView& view)
{
    const double left = screenX(view, 0), right = screenX(view, view.mapWidth);
    const double top = screenY(view, 0), bottom = screenY(view, view.mapHeight);
    EXPECT_GE(left, -near);
    EXPECT_LE(right, view.areaWidth + near);
    EXPECT_GE(top, -near);
    EXPECT_LE(bottom, view.areaHeight + near);
    EXPECT_NEAR(left, view.areaWidth - right, near);
    EXPECT_NEAR(top, view.areaHeight - bottom, near);
    // As large as it fits: it fills the width or the height, unless even the
    // closest zoom leaves room around it.
    const bool fills = std::abs(right - left - view.areaWidth) < near || std::abs(bottom - top - view.areaHeight) < near;
    EXPECT_TRUE(fills || view.zoom == view.largestZoom) << "zoom " << view.zoom;
}

struct Shape {
    int mapWidth, mapHeight, areaWidth, areaHeight;
    double largestZoom;
};

const Shape shapes[] = {
    {64, 64, 800, 580, 512},     // square in a wide area
    {24, 200, 800, 580, 256},    // tall
    {300, 40, 800, 580, 256},    // wide
    {2, 2, 800, 580, 256},       // so small that the closest zoom leaves room
    {2048, 2048, 1280, 700, 256}, // large: fitted, less than a pixel per cell
};

TEST(FmapviewView, FittingShowsTheWholeMapCentred)
{
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.mapWidth << " x " << s.mapHeight << " cells");
        FlatView view = makeView(s.mapWidth, s.mapHeight, s.areaWidth, s.areaHeight, s.largestZoom);
        fitView(view);
        expectWholeMapFittedAndCentred(view);
        expectVisibleCellsAreThoseOnScreen(view);
        const CellRange visible = visibleCells(view);
        EXPECT_EQ(visible.columns * visible.rows, s.mapWidth * s.mapHeight);
        // Below a pixel per cell the cached overview is drawn instead.
        EXPECT_EQ(usesOverview(view), view.zoom < 1.0);

        // Zooming out further, or growing the area, fits it again.
        zoomAbout(view, 0.01, 0, 0);
        expectWholeMapFittedAndCentred(view);
    }
    FlatView empty = makeView(0, 0, 800, 580);
    fitView(empty);
    EXPECT_GT(empty.zoom, 0.0);
    EXPECT_EQ(visibleCells(empty).columns * visibleCells(empty).rows, 0);
}

TEST(FmapviewView, ZoomingKeepsTheMapPointUnderTheCursor)
{
    struct Step {
        double factor, x, y;
    };
    // Each after fitting and zooming in fourfold about the middle, so the
    // map point under the cursor can stay without crossing a pan limit.
    const Step steps[] = {{2, 490.6, 290.3}, {1.5, 150, 400}, {0.8, 620, 100}, {1000, 333, 222}};
    for (const Shape& s : shapes) {
        for (const Step& step : steps) {
            SCOPED_TRACE(testing::Message() << s.mapWidth << " x " << s.mapHeight << " cells, zoom " << step.factor
                                            << " about " << step.x << ", " << step.y);
            FlatView view = makeView(s.mapWidth, s.mapHeight, s.areaWidth, s.areaHeight, s.largestZoom);
            fitView(view);
            zoomAbout(view, 4, s.areaWidth / 2.0, s.areaHeight / 2.0);
            const double zoomBefore = view.zoom;
            double mapX, mapY;
            screenToMap(view, step.x, step.y, mapX, mapY);
            zoomAbout(view, step.factor, step.x, step.y);
            // Never closer than the largest zoom (16 screen pixels a texel),
            // never further out than the fitted map.
            EXPECT_NEAR(view.zoom, std::clamp(zoomBefore * step.factor, smallestZoom(view), view.largestZoom), 1e-9);
            expectWithinPanLimits(view);
            expectVisibleCellsAreThoseOnScreen(view);
            expectMapPointUnder(view, step.x, step.y, mapX, mapY);
        }
    }
}

TEST(FmapviewView, ZoomingAboutACornerStopsAtThePanLimits)
{
    FlatView view = makeView(64, 64, 800, 580);
    fitView(view);
    for (int step = 0; step < 4; ++step) {
        zoomAbout(view, 2, 0, 0);
        expectWithinPanLimits(view);
        expectVisibleCellsAreThoseOnScreen(view);
    }
    // The map's top-left corner came to the area's.
    EXPECT_NEAR(screenX(view, 0), 0, near);
    EXPECT_NEAR(screenY(view, 0), 0, near);
}

TEST(FmapviewView, DraggingMovesThePictureWithTheMouse)
{
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.mapWidth << " x " << s.mapHeight << " cells");
        FlatView view = makeView(s.mapWidth, s.mapHeight, s.areaWidth, s.areaHeight, s.largestZoom);
        fitView(view);
        // A fitted map does not move.
        const double centreX = view.centreX, centreY = view.centreY;
        panBy(view, 100, -60);
        EXPECT_EQ(view.centreX, centreX);
        EXPECT_EQ(view.centreY, centreY);

        // Zoomed in, the map point under the mouse follows it.
        zoomAbout(view, 8, s.areaWidth / 2.0, s.areaHeight / 2.0);
        double mapX, mapY;
        screenToMap(view, 300, 200, mapX, mapY);
        panBy(view, -40, 25);
        expectMapPointUnder(view, 300 - 40, 200 + 25, mapX, mapY);
        expectWithinPanLimits(view);

        // Dragged far beyond the edge, the map's far corner stops at the area's.
        panBy(view, -1e7, -1e7);
        expectWithinPanLimits(view);
        expectVisibleCellsAreThoseOnScreen(view);
        expectMapPointUnder(view, s.areaWidth, s.areaHeight, s.mapWidth, s.mapHeight);
    }
}

TEST(FmapviewView, ResizingKeepsZoomAndCentreWithinTheLimits)
{
    FlatView view = makeView(64, 64, 800, 580);
    fitView(view);
    zoomAbout(view, 4, 400, 290);
    const FlatView zoomed = view;
    resizeArea(view, 400, 300);
    EXPECT_EQ(view.zoom, zoomed.zoom);
    EXPECT_EQ(view.centreX, zoomed.centreX);
    EXPECT_EQ(view.centreY, zoomed.centreY);
    expectVisibleCellsAreThoseOnScreen(view);

    // An area larger than the zoomed map: it grows to fit and is centred.
    resizeArea(view, 4000, 3000);
    expectWholeMapFittedAndCentred(view);
    expectVisibleCellsAreThoseOnScreen(view);
}

TEST(FmapviewView, AClickNamesTheCellDrawnUnderIt)
{
    for (int zoomSteps = 0; zoomSteps < 3; ++zoomSteps) {
        SCOPED_TRACE(testing::Message() << zoomSteps << " zoom steps");
        FlatView view = makeView(64, 48, 800, 580);
        fitView(view);
        for (int step = 0; step < zoomSteps; ++step)
            zoomAbout(view, 3, 250, 400);
        const CellRange visible = visibleCells(view);
        const int cells[][2] = {{visible.x, visible.y},
                                {visible.x + visible.columns - 1, visible.y + visible.rows - 1},
                                {visible.x + visible.columns / 2, visible.y + visible.rows / 3}};
        for (const auto& cell : cells) {
            // Just inside each corner of the cell as drawn, where it is on screen.
            for (double cornerX : {0.001, 0.999})
                for (double cornerY : {0.001, 0.999}) {
                    const double x = screenX(view, cell[0] + cornerX), y = screenY(view, cell[1] + cornerY);
                    if (x < 0 || y < 0 || x >= view.areaWidth || y >= view.areaHeight)
                        continue;
                    int cellX = -1, cellY = -1;
                    ASSERT_TRUE(cellAt(view, x, y, cellX, cellY)) << x << ", " << y;
                    EXPECT_EQ(cellX, cell[0]);
                    EXPECT_EQ(cellY, cell[1]);
                }
        }
        // Beside the map, nothing.
        int cellX, cellY;
        EXPECT_FALSE(cellAt(view, screenX(view, -0.001), screenY(view, 1), cellX, cellY));
        EXPECT_FALSE(cellAt(view, screenX(view, 1), screenY(view, 48.001), cellX, cellY));
    }
}

} // namespace
