#include "art.h"

#include <algorithm>
#include <cmath>

namespace tmapgen {

const Colour kClear{0, 0, 0, 0};

Colour rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f, 1}; }

Colour mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Colour scale(Colour c, float factor) { return {c.r * factor, c.g * factor, c.b * factor, c.a}; }

void Image::blend(int x, int y, Colour c) {
    if (!inside(x, y)) return;
    Colour& under = at(x, y);
    float a = std::clamp(c.a, 0.0f, 1.0f);
    under = {under.r + (c.r - under.r) * a, under.g + (c.g - under.g) * a, under.b + (c.b - under.b) * a,
             under.a + (1 - under.a) * a};
}

Image Image::crop(int x0, int y0, int w, int h) const {
    Image out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (inside(x0 + x, y0 + y)) out.at(x, y) = at(x0 + x, y0 + y);
    return out;
}

// ---- Noise ----

uint32_t hash(int x, int y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u ^ uint32_t(x) * 0x85EBCA6Bu ^ uint32_t(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float hash01(int x, int y, uint32_t seed) { return float(hash(x, y, seed) >> 8) / float(1u << 24); }

static int wrap(int v, int period) { return period > 0 ? ((v % period) + period) % period : v; }

float valueNoise(float x, float y, uint32_t seed, int period) {
    int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    float fx = x - float(x0), fy = y - float(y0);
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    auto corner = [&](int dx, int dy) { return hash01(wrap(x0 + dx, period), wrap(y0 + dy, period), seed); };
    float top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * sx;
    float bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * sx;
    return top + (bottom - top) * sy;
}

float fractalNoise(float x, float y, uint32_t seed, int octaves, int period) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += valueNoise(x, y, seed + uint32_t(o) * 101u, period) * amplitude;
        total += amplitude;
        x *= 2;
        y *= 2;
        period *= 2;
        amplitude *= 0.5f;
    }
    return sum / total;
}

// ---- Drawing ----

void fillDisc(Image& image, float cx, float cy, float radius, Colour c) {
    for (int y = int(std::floor(cy - radius)); y <= int(std::ceil(cy + radius)); ++y)
        for (int x = int(std::floor(cx - radius)); x <= int(std::ceil(cx + radius)); ++x) {
            float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
            // One pixel of soft edge keeps small discs round.
            float cover = std::clamp(radius - std::sqrt(dx * dx + dy * dy) + 0.5f, 0.0f, 1.0f);
            if (cover > 0) image.blend(x, y, {c.r, c.g, c.b, c.a * cover});
        }
}

void fillRect(Image& image, int x0, int y0, int w, int h, Colour c) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) image.blend(x, y, c);
}

void drawLine(Image& image, float x0, float y0, float x1, float y1, Colour c) {
    int steps = int(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) + 1;
    for (int i = 0; i <= steps; ++i) {
        float t = float(i) / float(steps);
        image.blend(int(std::floor(x0 + (x1 - x0) * t)), int(std::floor(y0 + (y1 - y0) * t)), c);
    }
}

const uint8_t* glyphRows(char c) {
    static const struct {
        char c;
        uint8_t rows[7];
    } glyphs[] = {
        {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
        {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
        {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
        {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
        {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
        {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'*', {0x00, 0x15, 0x0E, 0x1F, 0x0E, 0x15, 0x00}},
    };
    static const uint8_t blank[7] = {0, 0, 0, 0, 0, 0, 0};
    for (const auto& glyph : glyphs)
        if (glyph.c == c) return glyph.rows;
    return blank;
}

// ---- Map building ----

uint8_t nearestIndex(const tmapwriter::Bytes& colourMap, Colour c) {
    int best = 1;
    float bestDistance = 1e9f;
    for (int i = 1; i < 256 && 3 * i + 2 < int(colourMap.size()); ++i) {
        float dr = colourMap[size_t(3 * i)] / 255.0f - c.r, dg = colourMap[size_t(3 * i + 1)] / 255.0f - c.g,
              db = colourMap[size_t(3 * i + 2)] / 255.0f - c.b;
        float distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) bestDistance = distance, best = i;
    }
    return uint8_t(best);
}

static uint8_t toByte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

tmapwriter::Bytes MapBuilder::encode(const Image& image) const {
    tmapwriter::Bytes out;
    const int depth = map.depth;
    for (const Colour& c : image.pixels) {
        bool clear = c.a < 0.5f;
        if (depth == 8) {
            tmapwriter::put8(out, clear ? 0 : nearestIndex(map.colourMap, c));
            continue;
        }
        uint8_t r = toByte(c.r), g = toByte(c.g), b = toByte(c.b);
        if (!clear) tmapwriter::moveOffColourKey(depth, r, g, b);
        tmapwriter::putPixel(out, depth, r, g, b, depth == 32 ? toByte(c.a) : (clear ? 0 : 255));
    }
    return out;
}

int MapBuilder::graphic(const Image& image) {
    tmapwriter::Bytes bytes = encode(image);
    auto found = graphicIndex.find(bytes);
    if (found != graphicIndex.end()) return found->second;
    map.graphics.push_back(bytes);
    int index = int(map.graphics.size()) - 1;
    graphicIndex.emplace(std::move(bytes), index);
    return index;
}

static std::vector<uint8_t> blockKey(const tmapwriter::Block& b) {
    std::vector<uint8_t> key;
    for (int32_t g : b.graphic) tmapwriter::append32(key, uint32_t(g), true);
    tmapwriter::append32(key, b.userLong1, true);
    tmapwriter::append32(key, b.userLong2, true);
    tmapwriter::append16(key, b.userShort1, true);
    tmapwriter::append16(key, b.userShort2, true);
    key.insert(key.end(), {b.userByte1, b.userByte2, b.userByte3, b.flags});
    return key;
}

int MapBuilder::block(const tmapwriter::Block& b) {
    std::vector<uint8_t> key = blockKey(b);
    auto found = blockIndex.find(key);
    if (found != blockIndex.end()) return found->second;
    map.blocks.push_back(b);
    int index = int(map.blocks.size()) - 1;
    blockIndex.emplace(std::move(key), index);
    return index;
}

int MapBuilder::blockRun(const std::vector<tmapwriter::Block>& run) {
    int first = int(map.blocks.size());
    map.blocks.insert(map.blocks.end(), run.begin(), run.end());
    return first;
}

}  // namespace tmapgen
