#include "overview.h"
#include "viewer.h" // viewerTexture

#include <GL/gl.h> // textures, glGetTexImage, immediate-mode quad

#include <algorithm>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <vector>

#include "tilvogl/tilvogl.h"

namespace fmapview {

namespace {

// Mean colour of one tile graphic: plain (as an opaque draw shows it) and
// weighted by alpha (as a blended draw adds it), both 0..1.
struct GraphicColour {
    float plain[3] = {0, 0, 0};
    float weighted[3] = {0, 0, 0};
    float alpha = 0;
};

bool cacheValid = false;
Composition cachedComposition;
float cachedBackground[3] = {-1, -1, -1};
std::vector<GraphicColour> graphicColours;
int scale = 1;                       // cells per texel along each axis, for maps beyond the texture size
int texelsWide = 0, texelsHigh = 0;
std::vector<uint8_t> texels;         // RGBA, row 0 first
std::vector<int> animatedTexels;     // texels whose cell shows an animation in some drawn layer
std::vector<int32_t> framesColoured; // each animation's current frame when the texels were coloured

void measureGraphics()
{
    graphicColours.assign(size_t(std::max(tmapGraphicCount, 0)), GraphicColour());
    size_t pixels = size_t(tmapTileWidth) * size_t(tmapTileHeight);
    if (pixels == 0)
        return;
    std::vector<uint8_t> rgba(pixels * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int g = 0; g < tmapGraphicCount; ++g) {
        // A map loaded for the shader renderer keeps its pixels instead.
        if (tmapGraphicPixels != nullptr) {
            std::memcpy(rgba.data(), tmapGraphicPixels + size_t(g) * rgba.size(), rgba.size());
        } else {
            glBindTexture(GL_TEXTURE_2D, GLuint(tmapFirstTexture + g));
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        }
        double plain[3] = {0, 0, 0}, weighted[3] = {0, 0, 0}, alpha = 0;
        for (size_t p = 0; p < pixels; ++p) {
            double a = rgba[p * 4 + 3] / 255.0;
            for (int c = 0; c < 3; ++c) {
                plain[c] += rgba[p * 4 + c] / 255.0;
                weighted[c] += rgba[p * 4 + c] / 255.0 * a;
            }
            alpha += a;
        }
        GraphicColour& colour = graphicColours[size_t(g)];
        for (int c = 0; c < 3; ++c) {
            colour.plain[c] = float(plain[c] / pixels);
            colour.weighted[c] = float(weighted[c] / pixels);
        }
        colour.alpha = float(alpha / pixels);
    }
}

const GraphicColour* colourOf(int graphic)
{
    if (graphic < 0 || size_t(graphic) >= graphicColours.size())
        return nullptr;
    return &graphicColours[size_t(graphic)];
}

// Blends a graphic's mean over a colour, as the blended draw does texel by
// texel (exact for the mean when the colour beneath is uniform).
void blendOver(float colour[3], const GraphicColour* top)
{
    if (top == nullptr)
        return;
    for (int c = 0; c < 3; ++c)
        colour[c] = top->weighted[c] + colour[c] * (1.0f - top->alpha);
}

// The layers the composition draws, in drawing order.
std::vector<int> drawnLayers(const Composition& composition)
{
    std::vector<int> layers;
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (tmapLayers[layer] != nullptr && (composition.allLayers || layer == composition.layer))
            layers.push_back(layer);
    return layers;
}

// Colours texel t from the cell it samples, over all drawn layers.
void colourTexel(int t, const std::vector<int>& layers, const Composition& composition)
{
    int cellX = (t % texelsWide) * scale;
    int cellY = (t / texelsWide) * scale;
    float colour[3] = {cachedBackground[0], cachedBackground[1], cachedBackground[2]};
    for (int layer : layers) {
        tmapSelectLayer(unsigned(layer));
        const TmapBlock* block = tmapBlockAt(cellX, cellY);
        if (block == nullptr)
            continue;
        const GraphicColour* first = colourOf(block->graphic1);
        // A single layer's first graphic is drawn opaque; stacked layers blend.
        if (composition.allLayers)
            blendOver(colour, first);
        else if (first != nullptr)
            std::copy(first->plain, first->plain + 3, colour);
        if (composition.secondGraphic)
            blendOver(colour, colourOf(block->graphic2));
    }
    uint8_t* texel = &texels[size_t(t) * 4];
    for (int c = 0; c < 3; ++c)
        texel[c] = uint8_t(std::clamp(colour[c], 0.0f, 1.0f) * 255.0f + 0.5f);
    texel[3] = 255;
}

// Colouring selects each drawn layer in turn; the caller's layer is made
// current again afterwards.
void selectLayerOf(const int32_t* cells)
{
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (cells != nullptr && tmapLayers[layer] == cells)
            tmapSelectLayer(unsigned(layer));
}

void rememberFrames()
{
    framesColoured.resize(size_t(tmapAnimCount));
    for (int n = 0; n < tmapAnimCount; ++n)
        framesColoured[size_t(n)] = tmapAnims[n].current;
}

// Cells per texel: enough for the texture size limit, and more the further
// out the zoom, so that a texel covers one to two screen pixels and the
// image stays small to recolour and upload.
int scaleFor(double pixelsPerCell)
{
    GLint largestTexture = 2048;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    largestTexture = std::min(largestTexture, 4096);
    int longest = std::max(tmapWidth, tmapHeight);
    int forSize = std::max(1, (longest + largestTexture - 1) / largestTexture);
    int forZoom = 1;
    while (pixelsPerCell > 0 && forZoom * 2 * pixelsPerCell <= 2.0)
        forZoom *= 2;
    return std::max(forSize, forZoom);
}

void rebuild(const Composition& composition, const float background[3], int newScale)
{
    if (graphicColours.size() != size_t(std::max(tmapGraphicCount, 0)) || !cacheValid)
        measureGraphics();
    scale = newScale;
    texelsWide = std::max(1, (tmapWidth + scale - 1) / scale);
    texelsHigh = std::max(1, (tmapHeight + scale - 1) / scale);
    texels.assign(size_t(texelsWide) * size_t(texelsHigh) * 4, 0);
    std::copy(background, background + 3, cachedBackground);
    cachedComposition = composition;

    int32_t* current = tmapCurrentLayer;
    std::vector<int> layers = drawnLayers(composition);
    animatedTexels.clear();
    int count = texelsWide * texelsHigh;
    if (tmapWidth > 0 && tmapHeight > 0) {
        for (int t = 0; t < count; ++t) {
            colourTexel(t, layers, composition);
            size_t cell = size_t((t / texelsWide) * scale) * size_t(tmapWidth) + size_t((t % texelsWide) * scale);
            for (int layer : layers)
                if (tmapLayers[layer][cell] < 0) {
                    animatedTexels.push_back(t);
                    break;
                }
        }
    }
    selectLayerOf(current);
    rememberFrames();

    glBindTexture(GL_TEXTURE_2D, viewerTexture(overviewTextureSlot));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texelsWide, texelsHigh, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    cacheValid = true;
}

// Recolours the animated texels when any animation has moved since they
// were coloured, and uploads the band of rows that changed. At most 25
// times a second: on a large map with animations everywhere this is the
// costly part of a frame.
void refresh(const Composition& composition)
{
    static std::chrono::steady_clock::time_point lastRefresh;
    auto now = std::chrono::steady_clock::now();
    if (now - lastRefresh < std::chrono::milliseconds(40))
        return;
    lastRefresh = now;
    bool moved = framesColoured.size() != size_t(tmapAnimCount);
    for (int n = 0; n < tmapAnimCount && !moved; ++n)
        moved = tmapAnims[n].current != framesColoured[size_t(n)];
    if (!moved)
        return;
    int32_t* current = tmapCurrentLayer;
    std::vector<int> layers = drawnLayers(composition);
    int firstRow = texelsHigh, lastRow = -1;
    for (int t : animatedTexels) {
        uint32_t before;
        std::copy(&texels[size_t(t) * 4], &texels[size_t(t) * 4] + 4, reinterpret_cast<uint8_t*>(&before));
        colourTexel(t, layers, composition);
        uint32_t after;
        std::copy(&texels[size_t(t) * 4], &texels[size_t(t) * 4] + 4, reinterpret_cast<uint8_t*>(&after));
        if (before != after) {
            firstRow = std::min(firstRow, t / texelsWide);
            lastRow = std::max(lastRow, t / texelsWide);
        }
    }
    selectLayerOf(current);
    rememberFrames();
    if (lastRow < firstRow)
        return;
    glBindTexture(GL_TEXTURE_2D, viewerTexture(overviewTextureSlot));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, firstRow, texelsWide, lastRow - firstRow + 1, GL_RGBA,
                    GL_UNSIGNED_BYTE, &texels[size_t(firstRow) * size_t(texelsWide) * 4]);
}

} // namespace

void invalidateOverview()
{
    cacheValid = false;
}

void drawOverview(const Composition& composition, const float background[3], double pixelsPerCell)
{
    int wantedScale = scaleFor(pixelsPerCell);
    bool sameComposition = cachedComposition.layer == composition.layer
                           && cachedComposition.allLayers == composition.allLayers
                           && cachedComposition.secondGraphic == composition.secondGraphic
                           && std::equal(background, background + 3, cachedBackground);
    if (!cacheValid || !sameComposition || wantedScale != scale)
        rebuild(composition, background, wantedScale);
    else
        refresh(composition);

    float right = float(texelsWide * scale), bottom = float(texelsHigh * scale);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, viewerTexture(overviewTextureSlot));
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(1, 0);
    glVertex2f(right, 0);
    glTexCoord2f(1, 1);
    glVertex2f(right, bottom);
    glTexCoord2f(0, 1);
    glVertex2f(0, bottom);
    glEnd();
}

} // namespace fmapview
