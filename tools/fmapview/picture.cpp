#include "picture.h"

#include <GL/gl.h> // textures, glCopyTexSubImage2D, immediate-mode quads

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gpupicture.h"
#include "tilvogl/tilvogl.h"
#include "viewer.h" // endShaderDraws, viewerTexture

namespace fmapview {

namespace {

// What the current frame draws, set by drawFlatPicture.
FlatView flat;
Composition composition;
bool shaderCells = false; // cells drawn through the shader renderer
float backgroundColour[3] = {0, 0, 0};
int areaBottom = 0; // window row of the map area's lowest pixel

bool hasLayer(int layer)
{
    return layer >= 0 && layer < TMAP_LAYER_COUNT && tmapLayers[layer] != nullptr;
}

bool drawsLayer(int layer)
{
    return hasLayer(layer) && (composition.allLayers || layer == composition.layer);
}

// The cells of every drawn layer in the rectangles, first graphics then
// second ones, layer by layer over all the rectangles.
void drawCellsOfComposition(const std::vector<CellRange>& rectangles)
{
    if (shaderCells) {
        drawCellsThroughShaders(flat, composition, rectangles);
        endShaderDraws();
        return;
    }
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        if (!drawsLayer(layer))
            continue;
        tmapSelectLayer(unsigned(layer));
        if (composition.allLayers)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
        for (const CellRange& cells : rectangles)
            tmapDrawLayer(cells.x, cells.y, cells.columns, cells.rows, float(cells.x), float(cells.y), 0.0f, 1.0f,
                          1.0f);
        if (composition.secondGraphic) {
            glEnable(GL_BLEND);
            for (const CellRange& cells : rectangles)
                tmapDrawLayerSecondGraphic(cells.x, cells.y, cells.columns, cells.rows, float(cells.x),
                                           float(cells.y), 0.0f, 1.0f, 1.0f);
        }
    }
    glDisable(GL_BLEND);
    if (hasLayer(composition.layer))
        tmapSelectLayer(unsigned(composition.layer));
}

const size_t mostCachedAnimatedCells = 4000; // beyond this a full draw is as cheap

struct PictureKey {
    double centreX = 0, centreY = 0, zoom = 0;
    int width = 0, height = 0;
    int layer = 0;
    bool allLayers = false, secondGraphic = false;
    int mapGeneration = -1;
    bool throughShaders = false;
    bool operator==(const PictureKey& o) const
    {
        return centreX == o.centreX && centreY == o.centreY && zoom == o.zoom && width == o.width
               && height == o.height && layer == o.layer && allLayers == o.allLayers
               && secondGraphic == o.secondGraphic && mapGeneration == o.mapGeneration
               && throughShaders == o.throughShaders;
    }
};
bool pictureCached = false;
PictureKey pictureKey;
unsigned pictureTextureName = 0;
int pictureTextureWidth = 0, pictureTextureHeight = 0;
std::vector<int> animatedCells; // cells in view showing an animation in a drawn layer (x + y * width)
std::vector<int32_t> framesDrawn;

PictureKey currentPictureKey(int mapGeneration)
{
    PictureKey key;
    key.centreX = flat.centreX;
    key.centreY = flat.centreY;
    key.zoom = flat.zoom;
    key.width = flat.areaWidth;
    key.height = flat.areaHeight;
    key.layer = composition.layer;
    key.allLayers = composition.allLayers;
    key.secondGraphic = composition.secondGraphic;
    key.mapGeneration = mapGeneration;
    key.throughShaders = shaderCells;
    return key;
}

void rememberFramesDrawn()
{
    framesDrawn.assign(size_t(tmapAnimCount), 0);
    for (int n = 0; n < tmapAnimCount; ++n)
        framesDrawn[size_t(n)] = tmapAnims[n].current;
}

bool framesMoved()
{
    if (framesDrawn.size() != size_t(tmapAnimCount))
        return true;
    for (int n = 0; n < tmapAnimCount; ++n)
        if (framesDrawn[size_t(n)] != tmapAnims[n].current)
            return true;
    return false;
}

// Finds the animated cells in view; false when there are too many to cache.
bool findAnimatedCells(const CellRange& cells)
{
    animatedCells.clear();
    for (int y = cells.y; y < cells.y + cells.rows; ++y)
        for (int x = cells.x; x < cells.x + cells.columns; ++x) {
            size_t index = size_t(y) * size_t(tmapWidth) + size_t(x);
            for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
                if (drawsLayer(layer) && tmapLayers[layer][index] < 0) {
                    if (animatedCells.size() >= mostCachedAnimatedCells)
                        return false;
                    animatedCells.push_back(int(index));
                    break;
                }
        }
    return true;
}

// The map area of the back buffer into the picture texture.
void keepPicture()
{
    glBindTexture(GL_TEXTURE_2D, viewerTexture(pictureTextureSlot));
    if (pictureTextureName != viewerTexture(pictureTextureSlot) || pictureTextureWidth != flat.areaWidth ||
        pictureTextureHeight != flat.areaHeight) {
        pictureTextureName = viewerTexture(pictureTextureSlot);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, flat.areaWidth, flat.areaHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        pictureTextureWidth = flat.areaWidth;
        pictureTextureHeight = flat.areaHeight;
    }
    glReadBuffer(GL_BACK);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, areaBottom, flat.areaWidth, flat.areaHeight);
}

// The kept picture, texel for pixel.
void drawKeptPicture()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, flat.areaWidth, 0.0, flat.areaHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, viewerTexture(pictureTextureSlot));
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(0, 0);
    glTexCoord2f(1, 0);
    glVertex2i(flat.areaWidth, 0);
    glTexCoord2f(1, 1);
    glVertex2i(flat.areaWidth, flat.areaHeight);
    glTexCoord2f(0, 1);
    glVertex2i(0, flat.areaHeight);
    glEnd();
}

// The window's pixels of a rectangle of cells, rounded outward, as the
// scissor box.
void scissorAround(const CellRange& cells)
{
    const double left = flat.areaWidth / 2.0 + flat.zoom * (cells.x - flat.centreX);
    const double right = flat.areaWidth / 2.0 + flat.zoom * (cells.x + cells.columns - flat.centreX);
    const double top = flat.areaHeight / 2.0 + flat.zoom * (cells.y - flat.centreY);
    const double bottom = flat.areaHeight / 2.0 + flat.zoom * (cells.y + cells.rows - flat.centreY);
    const int x0 = std::max(0, int(std::floor(left))), x1 = std::min(flat.areaWidth, int(std::ceil(right)));
    const int y0 = std::max(0, int(std::floor(top))), y1 = std::min(flat.areaHeight, int(std::ceil(bottom)));
    glScissor(x0, areaBottom + flat.areaHeight - y1, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

// Draws rectangles of cells anew, apart from one another: on the
// background first, exactly covering the pixels their quads cover, then
// every drawn layer. The shader renderer draws the whole view again, cut
// to each rectangle's pixels (and a few around them): its pixels depend on
// the window drawn, so only the same window gives back the same picture.
void redrawCells(const std::vector<CellRange>& rectangles)
{
    if (shaderCells) {
        const std::vector<CellRange> whole = {visibleCells(flat)};
        glClearColor(backgroundColour[0], backgroundColour[1], backgroundColour[2], 1.0f);
        glEnable(GL_SCISSOR_TEST);
        for (const CellRange& cells : rectangles) {
            scissorAround(cells);
            glClear(GL_COLOR_BUFFER_BIT);
            drawCellsOfComposition(whole);
        }
        glDisable(GL_SCISSOR_TEST);
        return;
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3f(backgroundColour[0], backgroundColour[1], backgroundColour[2]);
    for (const CellRange& cells : rectangles)
        glRecti(cells.x, cells.y, cells.x + cells.columns, cells.y + cells.rows);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    drawCellsOfComposition(rectangles);
}

// Draws the animated cells whose frames moved again over the kept picture:
// a few one by one, many as the runs of 8 x 8-cell squares holding them
// along each row of squares (one draw per layer and run beats thousands of
// single cells, and unlike the rectangle around them all leaves the
// still parts of the map alone).
void redrawAnimatedCells()
{
    const size_t fewCells = 64;
    const int square = 4;
    std::vector<int> moved;
    for (int index : animatedCells) {
        for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
            int32_t value = drawsLayer(layer) ? tmapLayers[layer][index] : 0;
            size_t anim = size_t(-(int64_t(value) + 1));
            if (value < 0 && anim < framesDrawn.size() && framesDrawn[anim] != tmapAnims[anim].current) {
                moved.push_back(index);
                break;
            }
        }
    }
    if (moved.empty())
        return;
    setMapMatrices(flat);
    std::vector<CellRange> rectangles;
    if (moved.size() <= fewCells) {
        for (int index : moved)
            rectangles.push_back({index % tmapWidth, index / tmapWidth, 1, 1});
        redrawCells(rectangles);
        return;
    }
    const CellRange view = visibleCells(flat);
    const int across = (view.columns + square - 1) / square, down = (view.rows + square - 1) / square;
    std::vector<bool> holdsMoved(size_t(across) * size_t(down), false);
    for (int index : moved)
        holdsMoved[size_t((index / tmapWidth - view.y) / square) * size_t(across) +
                   size_t((index % tmapWidth - view.x) / square)] = true;
    for (int row = 0; row < down; ++row)
        for (int first = 0; first < across; ++first) {
            if (!holdsMoved[size_t(row) * size_t(across) + size_t(first)])
                continue;
            int end = first + 1;
            while (end < across && holdsMoved[size_t(row) * size_t(across) + size_t(end)])
                ++end;
            const int x = view.x + first * square, y = view.y + row * square;
            rectangles.push_back({x, y, std::min(end * square, view.columns) - first * square,
                                  std::min(square, view.rows - row * square)});
            first = end;
        }
    redrawCells(rectangles);
}

} // namespace

void setMapMatrices(const FlatView& view)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, view.areaWidth, view.areaHeight, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(view.areaWidth / 2.0, view.areaHeight / 2.0, 0.0);
    glScaled(view.zoom, view.zoom, 1.0);
    glTranslated(-view.centreX, -view.centreY, 0.0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void forgetPicture()
{
    pictureCached = false;
}

void drawFlatPicture(const FlatView& view, const Composition& shown, const float background[3], int bottom,
                     int mapGeneration, bool throughShaders)
{
    flat = view;
    composition = shown;
    shaderCells = throughShaders;
    std::copy(background, background + 3, backgroundColour);
    areaBottom = bottom;
    setMapMatrices(flat);

    PictureKey key = currentPictureKey(mapGeneration);
    if (pictureCached && key == pictureKey) {
        drawKeptPicture();
        if (framesMoved()) {
            redrawAnimatedCells();
            keepPicture();
            rememberFramesDrawn();
        }
        return;
    }
    CellRange cells = visibleCells(flat);
    drawCellsOfComposition({cells});
    // The shader renderer's cost is the picture's pixels, not its cells: far
    // out, finding the animated cells of a moving view would cost a frame
    // more than drawing it again.
    const int64_t mostShaderCells = 65536;
    const bool worthKeeping = !shaderCells || int64_t(cells.columns) * cells.rows <= mostShaderCells;
    pictureCached = worthKeeping && findAnimatedCells(cells);
    if (pictureCached) {
        keepPicture();
        pictureKey = key;
        rememberFramesDrawn();
    }
}

} // namespace fmapview
