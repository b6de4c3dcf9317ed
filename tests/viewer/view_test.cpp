// The viewer's flat view arithmetic, one table of view actions and the view
// they must leave, and one table of screen points and the cells under them.
#include <gtest/gtest.h>

#include <vector>

#include "view.h"

using namespace fmapview;

namespace {

struct Action {
    enum Kind { Fit, Zoom, Pan, Resize } kind;
    double a = 0, b = 0, c = 0; // Zoom: factor, x, y; Pan: dx, dy; Resize: width, height
};

Action fit() { return {Action::Fit}; }
Action zoom(double factor, double x, double y) { return {Action::Zoom, factor, x, y}; }
Action pan(double dx, double dy) { return {Action::Pan, dx, dy}; }
Action resize(int width, int height) { return {Action::Resize, double(width), double(height)}; }

struct ViewCase {
    const char* what;
    int mapWidth, mapHeight, areaWidth, areaHeight;
    double largestZoom;
    std::vector<Action> actions;
    double zoom, centreX, centreY;
    bool overview;
    CellRange visible;
};

const ViewCase viewCases[] = {
    {"fit: a square map in a wide area fills its height, centred", 64, 64, 800, 580, 512, {fit()},
     9.0625, 32, 32, false, {0, 0, 64, 64}},
    {"fit: a tall map fills the height", 24, 200, 800, 580, 256, {fit()}, 2.9, 12, 100, false, {0, 0, 24, 200}},
    {"fit: a tiny map stops at the closest zoom", 2, 2, 800, 580, 256, {fit()}, 256, 1, 1, false, {0, 0, 2, 2}},
    {"fit: a map without cells shows nothing", 0, 0, 800, 580, 256, {fit()}, 1, 0, 0, false, {0, 0, 0, 0}},
    {"zoom: in about a point keeps the map point under it", 64, 64, 800, 580, 512,
     {fit(), zoom(2, 490.625, 290)}, 18.125, 37, 32, false, {14, 16, 46, 32}},
    {"zoom: about a corner stops at the pan limits", 64, 64, 800, 580, 512, {fit(), zoom(2, 0, 0)}, 18.125,
     400 / 18.125, 16, false, {0, 0, 45, 32}},
    {"zoom: no closer than 16 pixels per texel", 64, 64, 800, 580, 512, {fit(), zoom(1000, 400, 290)}, 512, 32,
     32, false, {31, 31, 2, 2}},
    {"zoom: no further out than the fitted map", 64, 64, 800, 580, 512, {fit(), zoom(0.01, 0, 0)}, 9.0625, 32,
     32, false, {0, 0, 64, 64}},
    {"pan: a fitted map does not move", 64, 64, 800, 580, 512, {fit(), pan(100, 100)}, 9.0625, 32, 32, false,
     {0, 0, 64, 64}},
    {"pan: a zoomed map moves with the drag", 64, 64, 800, 580, 512, {fit(), zoom(4, 400, 290), pan(-362.5, 0)},
     36.25, 42, 32, false, {30, 24, 24, 16}},
    {"pan: no empty space beyond the map's edges", 64, 64, 800, 580, 512,
     {fit(), zoom(4, 400, 290), pan(-10000, -10000)}, 36.25, 64 - 400 / 36.25, 56, false, {41, 48, 23, 16}},
    {"resize: a smaller area keeps zoom and centre", 64, 64, 800, 580, 512,
     {fit(), zoom(4, 400, 290), resize(400, 300)}, 36.25, 32, 32, false, {26, 27, 12, 10}},
    {"resize: a larger area than the zoomed map centres it again", 64, 64, 800, 580, 512,
     {fit(), zoom(4, 0, 0), resize(4000, 3000)}, 46.875, 32, 32, false, {0, 0, 64, 64}},
    {"overview: a large map fitted draws from the overview", 2048, 2048, 1280, 700, 256, {fit()}, 700 / 2048.0,
     1024, 1024, true, {0, 0, 2048, 2048}},
    {"overview: one pixel per cell or closer draws cells", 2048, 2048, 1280, 700, 256,
     {fit(), zoom(4, 640, 350)}, 700 / 512.0, 1024, 1024, false, {555, 768, 938, 512}},
};

TEST(FmapviewView, ActionsLeaveTheExpectedView)
{
    for (const ViewCase& c : viewCases) {
        SCOPED_TRACE(c.what);
        FlatView view;
        view.mapWidth = c.mapWidth;
        view.mapHeight = c.mapHeight;
        view.areaWidth = c.areaWidth;
        view.areaHeight = c.areaHeight;
        view.largestZoom = c.largestZoom;
        for (const Action& action : c.actions) {
            switch (action.kind) {
            case Action::Fit: fitView(view); break;
            case Action::Zoom: zoomAbout(view, action.a, action.b, action.c); break;
            case Action::Pan: panBy(view, action.a, action.b); break;
            case Action::Resize: resizeArea(view, int(action.a), int(action.b)); break;
            }
        }
        EXPECT_NEAR(view.zoom, c.zoom, 1e-9);
        EXPECT_NEAR(view.centreX, c.centreX, 1e-9);
        EXPECT_NEAR(view.centreY, c.centreY, 1e-9);
        EXPECT_EQ(usesOverview(view), c.overview);
        CellRange visible = visibleCells(view);
        EXPECT_EQ(visible.x, c.visible.x);
        EXPECT_EQ(visible.y, c.visible.y);
        EXPECT_EQ(visible.columns, c.visible.columns);
        EXPECT_EQ(visible.rows, c.visible.rows);
    }
}

struct PickCase {
    double x, y;
    bool onMap;
    int cellX, cellY;
};

// The 64 x 64 map fitted into 800 x 580: 9.0625 pixels per cell, its left
// edge at x 110.
const PickCase pickCases[] = {
    {110, 0, true, 0, 0},
    {109.9, 0, false, 0, 0},
    {110 + 9.0625 * 5 + 1, 9.0625 * 3 + 1, true, 5, 3},
    {689.99, 579.99, true, 63, 63},
    {690, 300, false, 0, 0},
    {400, 580, false, 0, 0},
};

TEST(FmapviewView, CellUnderAScreenPoint)
{
    FlatView view;
    view.mapWidth = view.mapHeight = 64;
    view.areaWidth = 800;
    view.areaHeight = 580;
    view.largestZoom = 512;
    fitView(view);
    for (const PickCase& c : pickCases) {
        SCOPED_TRACE(testing::Message() << "point " << c.x << ", " << c.y);
        int cellX = -1, cellY = -1;
        ASSERT_EQ(cellAt(view, c.x, c.y, cellX, cellY), c.onMap);
        if (c.onMap) {
            EXPECT_EQ(cellX, c.cellX);
            EXPECT_EQ(cellY, c.cellY);
        }
    }
}

} // namespace
