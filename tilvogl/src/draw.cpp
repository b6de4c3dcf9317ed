// Drawing windows of the current layer: flat quads and 3D block columns.
#include <GL/gl.h>

#include <algorithm> // std::max

#include "bytexture.h"
#include "bytexture_internal.h" // tmapContextVersion, tmapAllocateArray
#include "columns.h"
#include "facerule.h"
#include "internal.h"

extern "C" const float tmapTexCoordSets[4][4][2] = {
    {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}}, // as stored
    {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}}, // mirrored left-right
    {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}}, // mirrored top-bottom
    {{1.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}}, // mirrored both ways
};

int tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
int tmapDrawFaces = TMAP_FACES_ALL;
int64_t tmapFacesDrawn = 0;

namespace {

typedef const float (*TexCoordSet)[2];

// Where the quads go: straight to GL in cell order, or, when collecting for
// the grouped order, into the list of the current cell.
TmapQuadList *collecting = nullptr;

inline TexCoordSet texCoordsOf(const TmapBlock &block)
{
    return tmapTexCoordSets[(block.flags >> 6) & 3];
}

// A flat quad at height z: the cell quads of the flat layer and the caps of
// block columns.
void drawFlatQuad(int32_t graphic, TexCoordSet texCoords, float x, float x1, float y, float y1,
                  float z)
{
    if (collecting) {
        const float corners[4][3] = {{x, y, z}, {x1, y, z}, {x1, y1, z}, {x, y1, z}};
        tmapCollectQuad(*collecting, tmapTextureName(graphic), 0.0f, 0.0f, -1.0f, texCoords, corners, false);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, tmapTextureName(graphic));
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glTexCoord2f(texCoords[0][0], texCoords[0][1]);
    glVertex3f(x, y, z);
    glTexCoord2f(texCoords[1][0], texCoords[1][1]);
    glVertex3f(x1, y, z);
    glTexCoord2f(texCoords[2][0], texCoords[2][1]);
    glVertex3f(x1, y1, z);
    glTexCoord2f(texCoords[3][0], texCoords[3][1]);
    glVertex3f(x, y1, z);
    glEnd();
}

// ---- Faces left out (tmapDrawFaces TMAP_FACES_VISIBLE) ----

// What the block draw under way leaves out: the view's verdict and, while
// faces inside solids are left out, the cover of each cell of the window
// (row after row; scratch kept between draws).
struct FaceSelection {
    bool active;
    TmapFaceView view;
    TmapFaceWindow window;
    int64_t windowColumns;
    TmapColumnCover *covers;
    int64_t coverCapacity;
    bool texturingEnabled; // the cell order has enabled texturing in this draw
} faces;

// The cover of a window's cell, none outside the window.
TmapColumnCover coverAt(int64_t column, int64_t row)
{
    const TmapFaceWindow &w = faces.window;
    if (column < w.across.begin || column >= w.across.end || row < w.down.begin || row >= w.down.end)
        return TmapColumnCover{};
    return faces.covers[(row - w.down.begin) * faces.windowColumns + (column - w.across.begin)];
}

// The covers of the window's cells, as their frames show them now; false
// when there is no memory for them.
bool coverWindow()
{
    const TmapFaceWindow &w = faces.window;
    const int64_t cells = faces.windowColumns * (w.down.end - w.down.begin);
    if (faces.coverCapacity < cells) {
        faces.coverCapacity = 0;
        if (!tmapAllocateArray(faces.covers, cells))
            return false;
        faces.coverCapacity = cells;
    }
    const TmapOpacity opacity{tmapGraphicOpaque, tmapGraphicOpaqueCount};
    TmapColumnCover *cover = faces.covers;
    for (int64_t row = w.down.begin; row < w.down.end; ++row) {
        const int32_t *cell = tmapCurrentLayer + row * tmapWidth + w.across.begin;
        for (int64_t column = w.across.begin; column < w.across.end; ++column, ++cell, ++cover) {
            const TmapBlock *block = tmapResolveCell(*cell);
            *cover = block != nullptr ? tmapCoverOfColumn(block - tmapBlocks, opacity) : TmapColumnCover{};
        }
    }
    return true;
}

unsigned char fixedIsEnabled(unsigned capability) { return glIsEnabled(capability); }
void fixedGetIntegerv(unsigned name, int *values) { glGetIntegerv(name, values); }
void fixedGetFloatv(unsigned name, float *values) { glGetFloatv(name, values); }
const unsigned char *fixedGetString(unsigned name) { return glGetString(name); }

// Works out what a block draw over the window leaves out, from the GL's
// matrices and state now (inside glNewList, those of the compilation).
void selectFaces(const TmapFaceWindow &window)
{
    faces.active = false;
    if (tmapDrawFaces != TMAP_FACES_VISIBLE)
        return;
    const TmapFaceStateQueries queries{fixedIsEnabled, fixedGetIntegerv, fixedGetFloatv, fixedGetString};
    const TmapFaceState state = tmapReadFaceState(queries, true, tmapContextVersion(), true);
    float modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    double modelviewD[16], projectionD[16];
    for (int k = 0; k < 16; ++k) {
        modelviewD[k] = modelview[k];
        projectionD[k] = projection[k];
    }
    faces.window = window;
    faces.windowColumns = window.across.end - window.across.begin;
    // The eye's level needs no bound here: it is worked out afresh at every draw.
    faces.view = tmapFaceViewOf(modelviewD, projectionD, state, window, int32_t(1) << 30);
    if (faces.view.dropsHidden) {
        int32_t tallest = 0;
        faces.view.dropsHidden = coverWindow();
        const TmapSeeThrough seeThrough = faces.view.seeThrough;
        const int64_t cells = faces.windowColumns * (window.down.end - window.down.begin);
        for (int64_t k = 0; faces.view.dropsHidden && k < cells; ++k)
            tallest = std::max(tallest, tmapCoverHeight(faces.covers[k], seeThrough));
        faces.view.dropsHidden = faces.view.dropsHidden &&
            tmapNearPlaneClear(faces.view, window, tallest, [seeThrough](int64_t column, int64_t row) {
                return tmapCoverHeight(coverAt(column, row), seeThrough);
            });
    }
    faces.active = faces.view.dropsCulled || faces.view.dropsHidden;
    faces.texturingEnabled = false;
}

// Whether the draw leaves out a side (kind side) of cube `cube` of the
// column at (column, row).
bool sideLeftOut(int side, int64_t column, int64_t row, int32_t cube)
{
    if (!faces.active)
        return false;
    if (tmapFaceCulled(faces.view, TmapFaceKind(side), column, row, cube))
        return true;
    if (!faces.view.dropsHidden)
        return false;
    static const int across[tmapSideKinds] = {-1, 0, 1, 0}, down[tmapSideKinds] = {0, -1, 0, 1};
    return tmapCoverHidesSide(coverAt(column + across[side], row + down[side]), faces.view.seeThrough, side, cube);
}

// Whether the draw leaves out a cap of the column at (column, row).
bool capLeftOut(const TmapCap &cap, int64_t column, int64_t row, int32_t cubes)
{
    if (!faces.active)
        return false;
    if (tmapFaceCulled(faces.view, cap.kind, column, row, cap.onTop ? cubes : 0))
        return true;
    return faces.view.dropsHidden && !cap.onTop && tmapCoverHidesGround(coverAt(column, row), faces.view.seeThrough);
}

// A side face left out still enables texturing where the cell order does,
// so the caps after it are drawn as they would be.
void leaveOutSideFace()
{
    if (faces.texturingEnabled)
        return;
    faces.texturingEnabled = true;
    if (collecting)
        tmapCollectTexturingEnabled(*collecting);
    else
        glEnable(GL_TEXTURE_2D);
}

// A side face of a cube between heights z0 and z1 along its ground edge;
// the graphic's first row runs along the top edge.
void drawSideFace(int32_t graphic, const TmapSideEdge &edge, float z0, float z1)
{
    if (graphic == 0)
        return;
    faces.texturingEnabled = true;
    ++tmapFacesDrawn;
    if (collecting) {
        static const float texCoords[4][2] = {{0.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
        const float corners[4][3] = {
            {edge.fromX, edge.fromY, z0}, {edge.fromX, edge.fromY, z1}, {edge.toX, edge.toY, z1}, {edge.toX, edge.toY, z0}};
        tmapCollectQuad(*collecting, tmapTextureName(graphic), edge.normalX, edge.normalY, 0.0f, texCoords, corners,
                        true);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tmapTextureName(graphic));
    glBegin(GL_QUADS);
    glNormal3f(edge.normalX, edge.normalY, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(edge.fromX, edge.fromY, z0);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(edge.fromX, edge.fromY, z1);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(edge.toX, edge.toY, z1);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(edge.toX, edge.toY, z0);
    glEnd();
}

// One cell's column, walked as every path walks it.
struct ColumnDrawing {
    float x, x1, y, y1;
    int64_t column, row;
    int32_t cubes;

    void cube(const TmapBlock &record, int32_t cube, float z0, float z1)
    {
        for (int side = 0; side < tmapSideKinds; ++side) {
            const int32_t graphic = tmapSideGraphic(record, side);
            if (graphic != 0 && sideLeftOut(side, column, row, cube))
                leaveOutSideFace();
            else
                drawSideFace(graphic, tmapSideEdge(side, x, x1, y, y1), z0, z1);
        }
        cubes = cube + 1;
    }

    void cap(const TmapCap &cap, float z, const TmapBlock &closing)
    {
        if (capLeftOut(cap, column, row, cubes))
            return;
        drawFlatQuad(cap.graphic, texCoordsOf(closing), x, x1, y, y1, z);
        ++tmapFacesDrawn;
    }
};

void drawColumn(const TmapBlock *block, int64_t column, int64_t row, float x, float x1, float y, float y1,
                float baseZ, float cubeHeight)
{
    ColumnDrawing drawing{x, x1, y, y1, column, row, 0};
    tmapWalkColumn(block - tmapBlocks, baseZ, cubeHeight, drawing);
}

enum class Drawing { firstGraphic, secondGraphic, blockColumns };

// A context without the fixed-function pipeline (a core profile, OpenGL ES)
// would take none of these calls: nothing is sent to it.
int refuseContext()
{
    tmapError = TMAP_ERROR_NO_GL_CONTEXT;
    return -1;
}

// Emits the quads of the cells inside the layer in cell order, or collects
// them into quads when it is not null.
void walkWindow(Drawing drawing, const TmapSpan &across, const TmapSpan &down, float z, float cellWidth,
                float cellHeight, TmapQuadList *quads)
{
    collecting = quads;

    float rowY = down.origin;
    for (int64_t y = down.begin; y < down.end; ++y) {
        const float rowY1 = rowY + cellHeight;
        const int32_t *cell = tmapCurrentLayer + y * tmapWidth + across.begin;
        float x = across.origin;
        for (int64_t column = across.begin; column < across.end; ++column, ++cell) {
            const float x1 = x + cellWidth;
            if (quads)
                tmapStartCell(*quads);
            if (const TmapBlock *block = tmapResolveCell(*cell)) {
                switch (drawing) {
                case Drawing::firstGraphic:
                    drawFlatQuad(block->graphic1, texCoordsOf(*block), x, x1, rowY, rowY1, z);
                    break;
                case Drawing::secondGraphic:
                    drawFlatQuad(block->graphic2, texCoordsOf(*block), x, x1, rowY, rowY1, z);
                    break;
                case Drawing::blockColumns:
                    drawColumn(block, column, y, x, x1, rowY, rowY1, z, cellWidth);
                    break;
                }
            }
            x = x1;
        }
        rowY = rowY1;
    }
    collecting = nullptr;
}

int drawWindow(Drawing drawing, int cellX, int cellY, int columns, int rows, float originX,
               float originY, float z, float cellWidth, float cellHeight)
{
    if (rows <= 0 || columns <= 0 || tmapCurrentLayer == nullptr)
        return 0;
    if (!tmapFixedFunctionContext())
        return refuseContext();
    const TmapSpan across = tmapClipToLayer(cellX, columns, tmapWidth, originX, cellWidth);
    const TmapSpan down = tmapClipToLayer(cellY, rows, tmapHeight, originY, cellHeight);
    if (across.begin >= across.end || down.begin >= down.end)
        return 0;
    faces.active = false;
    if (drawing == Drawing::blockColumns) {
        selectFaces({across, down, z, cellWidth, cellHeight});
        tmapFacesDrawn = 0;
    }
    if (tmapDrawOrder == TMAP_DRAW_BY_TEXTURE) {
        TmapQuadList *quads = tmapStartCollecting(across.end - across.begin, down.end - down.begin);
        if (quads) {
            walkWindow(drawing, across, down, z, cellWidth, cellHeight, quads);
            if (tmapDrawCollectedByTexture() == 0)
                return 0;
        }
        // Without scratch memory the cell order still draws the same picture.
    }
    faces.texturingEnabled = false;
    if (drawing == Drawing::blockColumns)
        tmapFacesDrawn = 0;
    walkWindow(drawing, across, down, z, cellWidth, cellHeight, nullptr);
    return 0;
}

} // namespace

void tmapReleaseFaceScratch()
{
    freeAndClear(faces.covers);
    faces = FaceSelection();
}

int tmapDrawLayer(int cellX, int cellY, int columns, int rows, float originX, float originY,
                  float z, float cellWidth, float cellHeight)
{
    return drawWindow(Drawing::firstGraphic, cellX, cellY, columns, rows, originX, originY, z,
                      cellWidth, cellHeight);
}

int tmapDrawLayerSecondGraphic(int cellX, int cellY, int columns, int rows, float originX,
                               float originY, float z, float cellWidth, float cellHeight)
{
    return drawWindow(Drawing::secondGraphic, cellX, cellY, columns, rows, originX, originY, z,
                      cellWidth, cellHeight);
}

int tmapDrawBlocks(int cellX, int cellY, int columns, int rows, float originX, float originY,
                   float baseZ, float cellWidth, float cellHeight)
{
    return drawWindow(Drawing::blockColumns, cellX, cellY, columns, rows, originX, originY, baseZ,
                      cellWidth, cellHeight);
}

int64_t tmapBlockFacesDrawn(void) { return tmapFacesDrawn; }

int64_t tmapWidthInPixels(void) { return int64_t(tmapWidth) * tmapTileWidth; }

int64_t tmapHeightInPixels(void) { return int64_t(tmapHeight) * tmapTileHeight; }

namespace {

// The first cell and the number of cells along one axis that cover the map
// pixels first .. first + count - 1 (count > 0), cells being tile pixels wide.
void cellsCovering(int64_t first, int count, int tile, int64_t &firstCell, int64_t &cells)
{
    const int64_t last = first + count - 1;
    // Rounding down, also left of or above the map.
    firstCell = (first >= 0 ? first : first - tile + 1) / tile;
    const int64_t lastCell = (last >= 0 ? last : last - tile + 1) / tile;
    cells = lastCell - firstCell + 1;
}

} // namespace

int tmapDrawView(int64_t pixelX, int64_t pixelY, int widthPx, int heightPx)
{
    if (widthPx <= 0 || heightPx <= 0 || tmapCurrentLayer == nullptr || tmapTileWidth <= 0 ||
        tmapTileHeight <= 0)
        return 0;
    int64_t firstColumn, columns, firstRow, rows;
    cellsCovering(pixelX, widthPx, tmapTileWidth, firstColumn, columns);
    cellsCovering(pixelY, heightPx, tmapTileHeight, firstRow, rows);
    // Cells wholly outside the layer are never drawn: keep the window inside
    // the int range that the draw operations take.
    const int64_t beginColumn = firstColumn < 0 ? 0 : firstColumn;
    const int64_t endColumn = firstColumn + columns < tmapWidth ? firstColumn + columns : tmapWidth;
    const int64_t beginRow = firstRow < 0 ? 0 : firstRow;
    const int64_t endRow = firstRow + rows < tmapHeight ? firstRow + rows : tmapHeight;
    if (beginColumn >= endColumn || beginRow >= endRow)
        return 0;
    if (!tmapFixedFunctionContext())
        return refuseContext();

    glPushAttrib(GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    // One unit per map pixel, y down, the view's top left corner at the
    // origin: vertex coordinates stay small, so the pixels stay exact
    // however far the view has scrolled.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, widthPx, heightPx, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float originX = float(beginColumn * tmapTileWidth - pixelX);
    const float originY = float(beginRow * tmapTileHeight - pixelY);
    tmapDrawLayer(int(beginColumn), int(beginRow), int(endColumn - beginColumn), int(endRow - beginRow),
                  originX, originY, 0.0f, float(tmapTileWidth), float(tmapTileHeight));
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    return 0;
}
