// Procedural tile art for the demo maps: a float RGBA image, deterministic
// noise, a few drawing primitives, and a builder that turns images and
// block records into a deduplicated tmapwriter::Map.
#ifndef TILVOGL_TOOLS_MAPGEN_ART_H
#define TILVOGL_TOOLS_MAPGEN_ART_H

#include <cstdint>
#include <map>
#include <vector>

#include "mapwriter.h"

namespace tmapgen {

struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};
Colour rgb(int r, int g, int b);
Colour mix(Colour a, Colour b, float t);
Colour scale(Colour c, float factor);  // brightness, alpha kept
extern const Colour kClear;             // fully transparent

struct Image {
    int width = 0, height = 0;
    std::vector<Colour> pixels;
    Image(int w, int h, Colour fill = kClear) : width(w), height(h), pixels(size_t(w * h), fill) {}
    Colour& at(int x, int y) { return pixels[size_t(y * width + x)]; }
    const Colour& at(int x, int y) const { return pixels[size_t(y * width + x)]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void blend(int x, int y, Colour c);  // c over the pixel by c.a, clipped
    Image crop(int x, int y, int w, int h) const;
};

// Deterministic hashing and noise; the same seed gives the same picture
// on every machine.
uint32_t hash(int x, int y, uint32_t seed);
float hash01(int x, int y, uint32_t seed);  // in [0, 1)
// Smooth value noise with lattice spacing 1; period > 0 makes it repeat
// every period lattice units in x and y (seamless tiles).
float valueNoise(float x, float y, uint32_t seed, int period = 0);
// Sum of octaves, roughly in [0, 1].
float fractalNoise(float x, float y, uint32_t seed, int octaves, int period = 0);

void fillDisc(Image& image, float cx, float cy, float radius, Colour c);
void fillRect(Image& image, int x, int y, int w, int h, Colour c);
void drawLine(Image& image, float x0, float y0, float x1, float y1, Colour c);

// 5 x 7 bitmap glyphs for A-Z, 0-9 and a few signs; bit 4 of a row is the
// leftmost column. Unknown characters are blank.
const uint8_t* glyphRows(char c);

// Collects graphics and blocks of one map, each stored once.
struct MapBuilder {
    tmapwriter::Map& map;
    std::map<tmapwriter::Bytes, int> graphicIndex;
    std::map<std::vector<uint8_t>, int> blockIndex;

    explicit MapBuilder(tmapwriter::Map& target) : map(target) {}
    // Encodes the image at the map's depth (alpha below 0.5 becomes the
    // colour key, or index 0 at depth 8) and returns its graphic index.
    int graphic(const Image& image);
    int block(const tmapwriter::Block& block);
    // Appends the records unconditionally (stacked columns must be
    // consecutive); returns the index of the first.
    int blockRun(const std::vector<tmapwriter::Block>& run);
    tmapwriter::Bytes encode(const Image& image) const;
};

// Nearest entry of an 8-bit colour map (entries 1..255; 0 is the key).
uint8_t nearestIndex(const tmapwriter::Bytes& colourMap, Colour c);

}  // namespace tmapgen

#endif
