// The flat view of fmapview as plain arithmetic, without GL: which part of
// the map the window shows, how zoom and pan move it, which cell lies under
// a screen point, and when the cached overview replaces drawing cells.
//
// Map coordinates are in cells: cell (x, y) covers x..x+1 and y..y+1, row 0
// at the top. Screen coordinates are pixels of the map area, (0, 0) at its
// top-left corner, y growing downward as GLUT reports the mouse.
#ifndef TILVOGL_TOOLS_FMAPVIEW_VIEW_H
#define TILVOGL_TOOLS_FMAPVIEW_VIEW_H

namespace fmapview {

struct FlatView {
    int mapWidth = 0, mapHeight = 0;   // cells
    int areaWidth = 1, areaHeight = 1; // pixels of the map area
    double largestZoom = 256.0;        // pixels per cell at the closest zoom
    double centreX = 0.0, centreY = 0.0; // map point at the centre of the area
    double zoom = 1.0;                 // screen pixels per cell
};

// Cells shown: columns x .. x + columns - 1, rows y .. y + rows - 1.
struct CellRange {
    int x = 0, y = 0, columns = 0, rows = 0;
};

// Screen pixels per cell at which the whole map just fits the area.
double fitZoom(const FlatView& view);

// The smallest zoom allowed: the fitted one (or the largest, for a map so
// small that even the closest zoom leaves room around it).
double smallestZoom(const FlatView& view);

// Whole map fitted and centred.
void fitView(FlatView& view);

// Brings zoom into its limits and the centre into the pan limits: along an
// axis where the map is larger than the area no empty space shows beyond
// its edges; where it is smaller, it stays centred.
void limitView(FlatView& view);

// Multiplies the zoom by factor, keeping the map point under the screen
// point (x, y) where it is (as far as the limits allow).
void zoomAbout(FlatView& view, double factor, double x, double y);

// Moves the picture by (dx, dy) screen pixels, as a drag does.
void panBy(FlatView& view, double dx, double dy);

// A new area size, keeping centre and zoom as far as the limits allow.
void resizeArea(FlatView& view, int width, int height);

// Map point under a screen point.
void screenToMap(const FlatView& view, double x, double y, double& mapX, double& mapY);

// The cell under a screen point; false when the point is off the map.
bool cellAt(const FlatView& view, double x, double y, int& cellX, int& cellY);

// The cells at least partly inside the area, clipped to the map.
CellRange visibleCells(const FlatView& view);

// Below one screen pixel per cell the picture is drawn from the cached
// overview image instead of one quad per cell.
bool usesOverview(const FlatView& view);

// The 3D view's camera: it looks at a map point (in cells) from a distance,
// turned by yaw about the vertical and raised by pitch, both in degrees.
struct Orbit {
    double targetX = 0, targetY = 0;
    double yaw = 0, pitch = 50, distance = 10;
};

// The 3D view starts looking at the middle of what the flat view shows,
// from as far as shows about as much.
void startOrbit(Orbit& orbit, const FlatView& view);

// Brings distance and pitch into their limits for a map of that many cells.
void limitOrbit(Orbit& orbit, int mapWidth, int mapHeight);

// Where the camera is. Cell (x, y) covers x..x+1 and -y..-y-1 in the 3D
// view's space, columns rising toward +z; yaw 0 looks from beyond the last
// row, so the picture reads as the flat one.
void orbitEye(const Orbit& orbit, double& x, double& y, double& z);

// The cells near the point looked at, clipped to the map: about what the
// camera sees. Empty (no columns) when none is left.
CellRange orbitCells(const Orbit& orbit, int mapWidth, int mapHeight);

// Where the 3D view's light stands, fixed to the map (a direction: w is 0).
extern const float orbitLightPosition[4];

} // namespace fmapview

#endif
