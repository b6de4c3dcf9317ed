// "TEST2A.FMP": the map of the three 3D demos.
//
// Layer 0 is a flat garden picture: ground tiles in graphic1 and overlays
// with transparent texels in graphic2 (flowers, paving joints, lettering,
// lily pads), which the blended second pass lays over the ground. Layer 1 is
// a town of towers and layer 2 hills around a walled keep, both made of
// block columns: h stacked records (flag 0x20) carrying the side faces,
// then a closing record whose graphic1 is the cap (and graphic2, when set,
// an upper cap with graphic1 left on the ground).
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "art.h"
#include "mapgen.h"
#include "tilvogl/tilvogl.h" // the block flags

namespace tmapgen {
namespace {

constexpr int kSize = 64, kTile = 32;
constexpr uint32_t kSeed = 0x7E572A00u;

using tmapwriter::Block;

// ---- Textures ----

Image noisy(Colour base, float amount, uint32_t seed, float grain = 3.0f) {
    Image tile(kTile, kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            float n = fractalNoise(float(x) / grain, float(y) / grain, seed, 2, int(kTile / grain));
            tile.at(x, y) = scale(base, 1.0f - amount / 2 + amount * n);
        }
    return tile;
}

Image grassTile(int variant) {
    Image tile = noisy(rgb(86, 150, 64), 0.35f, kSeed + 1 + uint32_t(variant), 2.0f);
    for (int i = 0; i < 26; ++i) {
        int x = int(hash(i, variant, kSeed + 2) % kTile), y = int(hash(i, variant, kSeed + 3) % kTile);
        drawLine(tile, float(x), float(y), float(x) + 1, float(y) - 3, rgb(124, 190, 90));
    }
    return tile;
}

Image soilTile() { return noisy(rgb(104, 72, 46), 0.4f, kSeed + 4, 2.0f); }
Image sandTile() { return noisy(rgb(220, 200, 150), 0.2f, kSeed + 5, 1.5f); }

Image stoneTile(Colour base) {
    Image tile = noisy(base, 0.25f, kSeed + 6, 4.0f);
    return tile;
}

Image waterTile(int frame) {
    Image tile(kTile, kTile);
    const float pi = 3.14159265f;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            float wave = std::sin((float(x) + float(y) * 0.5f) * 2 * pi / 16 + float(frame) * pi / 2) +
                         std::sin((float(y) - float(x) * 0.3f) * 2 * pi / 32 - float(frame) * pi / 2);
            Colour c = mix(rgb(30, 90, 150), rgb(60, 140, 200), 0.5f + 0.25f * wave);
            if (wave > 1.5f) c = mix(c, rgb(210, 235, 255), (wave - 1.5f) * 1.6f);
            tile.at(x, y) = c;
        }
    return tile;
}

// Brick, stone or plaster wall with a row of windows; row 0 is the top edge.
enum WallStyle { Brick, Ashlar, Plaster, WallStyleCount };

Image wallTile(WallStyle style, bool lit, bool door, uint32_t variant) {
    static const Colour base[WallStyleCount] = {rgb(164, 78, 56), rgb(150, 146, 136), rgb(226, 210, 170)};
    Image tile = noisy(base[style], 0.15f, kSeed + 10 + uint32_t(style), 2.0f);
    if (style != Plaster)
        for (int y = 0; y < kTile; ++y)
            for (int x = 0; x < kTile; ++x) {
                int course = style == Brick ? 4 : 8, length = style == Brick ? 8 : 16;
                int offset = (y / course) % 2 ? length / 2 : 0;
                if (y % course == 0 || (x + offset) % length == 0) tile.at(x, y) = scale(tile.at(x, y), 0.7f);
            }
    fillRect(tile, 0, 0, kTile, 2, scale(base[style], 0.6f));  // cornice
    const Colour glass = lit ? rgb(255, 222, 120) : rgb(40, 56, 80);
    const Colour frame = rgb(60, 46, 36);
    if (door) {
        fillRect(tile, 11, 12, 10, 20, frame);
        fillRect(tile, 12, 13, 8, 19, rgb(110, 70, 40));
        fillDisc(tile, 18, 23, 0.8f, rgb(230, 200, 90));
        return tile;
    }
    for (int w = 0; w < 2; ++w) {
        int x = 5 + w * 14;
        fillRect(tile, x - 1, 8, 9, 15, frame);
        Colour pane = (variant >> w) & 1 ? glass : rgb(40, 56, 80);
        if (lit) pane = glass;
        fillRect(tile, x, 9, 7, 13, pane);
        fillRect(tile, x + 3, 9, 1, 13, frame);
        fillRect(tile, x, 15, 7, 1, frame);
    }
    return tile;
}

// A roof seen from above, shaded as if it sloped toward its first row, so
// mirroring shows as a turned roof.
Image roofTile(Colour tiles) {
    Image tile(kTile, kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            float light = 0.65f + 0.45f * float(y) / kTile;
            if (y % 4 == 0) light *= 0.8f;
            if ((x + (y / 4) * 3) % 6 == 0) light *= 0.88f;
            tile.at(x, y) = scale(tiles, light);
        }
    fillRect(tile, 0, kTile - 2, kTile, 2, scale(tiles, 0.5f));
    fillRect(tile, 4, 4, 5, 8, rgb(120, 60, 50));  // chimney
    return tile;
}

Image flatRoofTile() {
    Image tile = noisy(rgb(120, 120, 124), 0.3f, kSeed + 20, 1.0f);
    for (int i = 0; i < kTile; ++i) {
        for (int e : {0, 1, kTile - 2, kTile - 1}) tile.at(i, e) = tile.at(e, i) = rgb(84, 84, 90);
    }
    fillDisc(tile, 20, 20, 4, rgb(70, 74, 80));
    fillDisc(tile, 20, 20, 2.5f, rgb(150, 156, 164));
    return tile;
}

Image streetTile(bool alongX, bool alongY) {
    Image tile = noisy(rgb(96, 96, 100), 0.2f, kSeed + 21, 1.0f);
    if (alongX && !alongY)
        for (int x = 2; x < kTile; x += 16) fillRect(tile, x, 15, 8, 2, rgb(230, 230, 220));
    if (alongY && !alongX)
        for (int y = 2; y < kTile; y += 16) fillRect(tile, 15, y, 2, 8, rgb(230, 230, 220));
    if (alongX && alongY) fillDisc(tile, 16, 16, 5, rgb(120, 120, 126));
    return tile;
}

Image hillSideTile() {
    Image tile = noisy(rgb(120, 86, 56), 0.35f, kSeed + 22, 2.0f);
    for (int x = 0; x < kTile; ++x) {
        int fringe = 4 + int(hash(x, 0, kSeed + 23) % 4);
        for (int y = 0; y < fringe; ++y) tile.at(x, y) = scale(rgb(86, 150, 64), 0.85f + 0.1f * float(y % 2));
    }
    for (int i = 0; i < 6; ++i)
        fillDisc(tile, float(hash(i, 1, kSeed + 24) % kTile), float(10 + hash(i, 2, kSeed + 24) % 20), 1.5f,
                 rgb(150, 140, 126));
    return tile;
}

Image battlementTile() {
    Image tile = stoneTile(rgb(160, 154, 140));
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x)
            if (y % 8 == 0 || (x + (y / 8 % 2) * 8) % 16 == 0) tile.at(x, y) = scale(tile.at(x, y), 0.72f);
    // Merlons: the top edge is notched.
    for (int x = 0; x < kTile; ++x)
        if ((x / 6) % 2) fillRect(tile, x, 0, 1, 5, rgb(50, 48, 44));
    fillRect(tile, 14, 12, 4, 9, rgb(30, 28, 26));  // arrow slit
    return tile;
}

// ---- Overlays (graphic2 of layer 0): clear except the drawn parts ----

Image flowerOverlay(Colour petal, uint32_t seed) {
    Image tile(kTile, kTile);
    for (int i = 0; i < 7; ++i) {
        float x = 4 + float(hash(i, 0, seed) % 24), y = 4 + float(hash(i, 1, seed) % 24);
        fillRect(tile, int(x), int(y) + 2, 1, 4, rgb(40, 110, 40));
        for (int p = 0; p < 5; ++p) {
            float angle = float(p) * 1.2566f;
            fillDisc(tile, x + 1.8f * std::cos(angle), y + 1.8f * std::sin(angle), 1.3f, petal);
        }
        fillDisc(tile, x, y, 1.0f, rgb(250, 220, 80));
    }
    return tile;
}

Image jointOverlay() {
    Image tile(kTile, kTile);
    for (int i = 0; i < kTile; ++i)
        for (int line : {0, 16}) {
            tile.at(i, line) = rgb(70, 66, 60);
            tile.at(line, i) = rgb(70, 66, 60);
        }
    return tile;
}

Image glyphOverlay(char c, Colour ink) {
    Image tile(kTile, kTile);
    const uint8_t* rows = glyphRows(c);
    for (int r = 0; r < 7; ++r)
        for (int col = 0; col < 5; ++col)
            if (rows[r] & (0x10 >> col)) {
                fillRect(tile, 7 + col * 4, 3 + r * 4, 4, 4, scale(ink, 0.45f));  // shadow edge
                fillRect(tile, 6 + col * 4, 2 + r * 4, 4, 4, ink);
            }
    return tile;
}

Image lilyOverlay(int frame) {
    Image tile(kTile, kTile);
    float drift = float(frame % 2);
    fillDisc(tile, 11 + drift, 12, 6, rgb(60, 140, 60));
    fillDisc(tile, 14 + drift, 10, 1.6f, kClear);
    fillDisc(tile, 22 - drift, 22, 4, rgb(70, 150, 66));
    if (frame >= 2) fillDisc(tile, 22 - drift, 22, 1.8f, rgb(250, 190, 220));
    return tile;
}

Image lanternOverlay(float glow) {
    Image tile(kTile, kTile);
    if (glow > 0.1f) fillDisc(tile, 16, 16, 5 + 7 * glow, mix(rgb(120, 90, 30), rgb(255, 220, 120), glow));
    fillDisc(tile, 16, 16, 4, rgb(60, 50, 40));
    fillDisc(tile, 16, 16, 2.6f, mix(rgb(120, 80, 30), rgb(255, 250, 210), glow));
    return tile;
}

// ---- Columns ----

struct Town {
    MapBuilder& build;
    std::map<std::vector<int>, int> columns;  // description -> first record

    // A column of the given side graphics, bottom first, closed by a cap.
    // upperCap 0: the cap sits on top; otherwise cap lies on the ground and
    // upperCap on top.
    int column(const std::vector<int>& sides, int cap, int upperCap, uint8_t capFlags) {
        std::vector<int> key = sides;
        key.insert(key.end(), {-1, cap, upperCap, capFlags});
        auto found = columns.find(key);
        if (found != columns.end()) return found->second;
        std::vector<Block> run;
        for (int side : sides) {
            Block b;
            for (int& g : b.graphic) g = side;
            b.flags = TMAP_FLAG_STACKED;
            run.push_back(b);
        }
        Block closing;
        closing.graphic[0] = cap;
        closing.graphic[1] = upperCap;
        closing.flags = capFlags;
        run.push_back(closing);
        int first = build.blockRun(run);
        columns.emplace(key, first);
        return first;
    }
};

}  // namespace

tmapwriter::Map makeTest2aMap() {
    tmapwriter::Map map;
    map.littleEndian = false;
    map.depth = 24;
    map.width = map.height = kSize;
    map.tileWidth = map.tileHeight = kTile;
    MapBuilder build(map);
    Town town{build, {}};

    // Graphic 0 is never drawn on side faces or as an upper cap, so it is a
    // plain neutral stone; graphic 1 is fully clear, the "no overlay".
    const int neutral = build.graphic(stoneTile(rgb(140, 138, 134)));
    const int clear = build.graphic(Image(kTile, kTile));
    auto flatBlock = [&](int ground, int overlay, uint8_t flags = 0) {
        Block b;
        b.graphic[0] = ground;
        b.graphic[1] = overlay;
        b.flags = flags;
        return build.block(b);
    };
    flatBlock(neutral, clear);  // block 0

    // ---- Layer 0: the garden ----
    const int grass[3] = {build.graphic(grassTile(0)), build.graphic(grassTile(1)), build.graphic(grassTile(2))};
    const int soil = build.graphic(soilTile()), sand = build.graphic(sandTile());
    const int paving = build.graphic(stoneTile(rgb(196, 186, 164))), joints = build.graphic(jointOverlay());
    const Colour petals[4] = {rgb(230, 50, 60), rgb(250, 210, 60), rgb(90, 110, 240), rgb(240, 240, 250)};
    int flowers[4];
    for (int i = 0; i < 4; ++i) flowers[i] = build.graphic(flowerOverlay(petals[i], kSeed + 30 + uint32_t(i)));
    const int pebbles = build.graphic([] {
        Image tile(kTile, kTile);
        for (int i = 0; i < 5; ++i)
            fillDisc(tile, float(6 + hash(i, 0, kSeed + 40) % 20), float(6 + hash(i, 1, kSeed + 40) % 20), 1.6f,
                     rgb(170, 164, 150));
        return tile;
    }());

    // Water: a looping ripple, and lily pads that open and close.
    // In 3D a closing block's graphic2 is an upper cap, so the water of
    // layer 2 has its own frames without the clear overlay.
    int waterFrame[4], lilyFrame[4], pondFrame[4];
    for (int f = 0; f < 4; ++f) {
        int water = build.graphic(waterTile(f));
        waterFrame[f] = flatBlock(water, clear);
        pondFrame[f] = town.column({}, water, 0, 0);
        lilyFrame[f] = flatBlock(water, build.graphic(lilyOverlay(f)));
    }
    auto addAnim = [&](uint8_t mode, uint8_t delay, const std::vector<int>& frames) {
        int start = int(map.frames.size());
        map.frames.insert(map.frames.end(), frames.begin(), frames.end());
        map.anims.push_back({mode, delay, delay, 0, start, start, start + int(frames.size())});
        return -int32_t(map.anims.size());  // the cell value of the new animation
    };
    const int32_t waterCell = addAnim(1, 9, {waterFrame[0], waterFrame[1], waterFrame[2], waterFrame[3]});
    const int32_t pondCell = addAnim(1, 9, {pondFrame[0], pondFrame[1], pondFrame[2], pondFrame[3]});
    const int32_t lilyCell = addAnim(4, 60, {lilyFrame[0], lilyFrame[1], lilyFrame[2], lilyFrame[3]});
    const int32_t lanternCell = addAnim(5, 12, {flatBlock(paving, build.graphic(lanternOverlay(0))),
                                                flatBlock(paving, build.graphic(lanternOverlay(0.5f))),
                                                flatBlock(paving, build.graphic(lanternOverlay(1)))});

    std::vector<int32_t> garden(size_t(kSize * kSize));
    const float cx = 24.5f, cy = 24.5f;
    const std::string banner = "TILVOGL";
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            float dx = float(x) - cx, dy = float(y) - cy, d = std::sqrt(dx * dx + dy * dy);
            int32_t cell;
            int quadrant = (dx < 0 ? 0 : 1) + (dy < 0 ? 0 : 2);
            bool path = std::abs(x - 24) <= 0 || std::abs(y - 24) <= 0 || std::abs(x - y) == 0 ||
                        std::abs(x + y - 48) == 0;
            if (d < 5.5f)
                cell = hash(x, y, kSeed + 50) % 5 == 0 ? lilyCell : waterCell;
            else if (d < 6.6f)
                cell = flatBlock(sand, clear);
            else if (d < 8.6f)
                cell = (x + y) % 5 == 0 && d > 7.5f ? lanternCell : flatBlock(paving, joints);
            else if (y >= 41 && y <= 43 && x >= 16 && x <= 34)
                cell = y == 42 && x >= 21 && x < 21 + int(banner.size())
                           ? flatBlock(paving, build.graphic(glyphOverlay(banner[size_t(x - 21)], rgb(250, 200, 60))))
                           : flatBlock(paving, joints);
            else if (path && d < 22)
                cell = flatBlock(paving, joints);
            else if (d < 16 && int(d) % 3 != 0)
                cell = flatBlock(soil, flowers[quadrant]);
            else if (d < 16)
                cell = flatBlock(grass[0], clear);
            else {
                uint32_t h = hash(x, y, kSeed + 51);
                int overlay = h % 11 == 0 ? pebbles : h % 13 == 0 ? flowers[h % 4] : clear;
                cell = flatBlock(grass[h % 3], overlay, uint8_t((h >> 8) & 0xC0));
            }
            garden[size_t(y * kSize + x)] = cell;
        }
    map.layers[0] = garden;

    // ---- Layer 1: the town ----
    int walls[WallStyleCount][3];  // plain, lit windows, door
    for (int s = 0; s < WallStyleCount; ++s) {
        walls[s][0] = build.graphic(wallTile(WallStyle(s), false, false, 1));
        walls[s][1] = build.graphic(wallTile(WallStyle(s), true, false, 3));
        walls[s][2] = build.graphic(wallTile(WallStyle(s), false, true, 0));
    }
    const int roofs[2] = {build.graphic(roofTile(rgb(170, 70, 50))), build.graphic(roofTile(rgb(70, 90, 130)))};
    const int flatRoof = build.graphic(flatRoofTile());
    const int streets[3] = {build.graphic(streetTile(true, false)), build.graphic(streetTile(false, true)),
                            build.graphic(streetTile(true, true))};
    const int lawn = grass[1];
    auto tower = [&](int height, int style, bool lit, int roof, uint8_t flags) {
        std::vector<int> sides;
        for (int level = 0; level < height; ++level)
            sides.push_back(level == 0 ? walls[style][2] : walls[style][lit && level % 2 ? 1 : 0]);
        // Pitched roofs sit on top as the cap; flat roofs as an upper cap
        // over street paving.
        if (roof < 2) return town.column(sides, roofs[roof], 0, flags);
        return town.column(sides, streets[2], flatRoof, flags);
    };
    // A tower whose windows light up floor by floor, and one that rises and
    // falls (frames are the bases of columns of different heights).
    const int32_t windowsCell = addAnim(1, 40, {tower(4, Plaster, false, 2, 0), tower(4, Plaster, true, 2, 0)});
    const int32_t risingCell =
        addAnim(5, 25, {tower(1, Ashlar, false, 1, 0), tower(2, Ashlar, false, 1, 0), tower(3, Ashlar, false, 1, 0),
                        tower(4, Ashlar, true, 1, 0)});

    std::vector<int32_t> townLayer(size_t(kSize * kSize));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            bool streetX = y % 7 == 3, streetY = x % 7 == 3;
            int32_t cell;
            if (streetX || streetY) {
                cell = town.column({}, streets[streetX && streetY ? 2 : streetX ? 0 : 1], 0, 0);
            } else {
                float dx = float(x) - 24.5f, dy = float(y) - 24.5f;
                float centre = std::max(0.0f, 1.0f - std::sqrt(dx * dx + dy * dy) / 30.0f);
                float n = fractalNoise(float(x) / 3.0f, float(y) / 3.0f, kSeed + 60, 2);
                int height = std::clamp(int(centre * 4.5f + (n - 0.5f) * 3.0f), 0, 4);
                uint32_t lot = hash(x / 2, y / 2, kSeed + 61);
                if (height == 0) {
                    cell = town.column({}, lawn, 0, uint8_t(lot & 0xC0));
                } else {
                    // Few distinct columns: the block count must stay below 1024.
                    int roof = int(lot % 3), style = int((lot >> 3) % WallStyleCount);
                    bool turned = (lot >> 8) & 1;
                    uint8_t flags = roof == 0 ? (turned ? TMAP_FLAG_MIRROR_S | TMAP_FLAG_MIRROR_T : 0)
                                  : roof == 1 ? (turned ? TMAP_FLAG_MIRROR_S : TMAP_FLAG_MIRROR_T)
                                              : 0;
                    cell = tower(height, style, style == Plaster && (lot >> 5) % 3 == 0, roof, flags);
                }
                if (x % 7 == 5 && y % 7 == 5) cell = (x / 7 + y / 7) % 3 == 0 ? risingCell : windowsCell;
            }
            townLayer[size_t(y * kSize + x)] = cell;
        }
    map.layers[1] = townLayer;

    // ---- Layer 2: hills around a walled keep ----
    const int hillSide = build.graphic(hillSideTile()), battlement = build.graphic(battlementTile());
    const int keepRoof = build.graphic(roofTile(rgb(90, 60, 110)));
    std::vector<int32_t> land(size_t(kSize * kSize));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            float n = fractalNoise(float(x) / 9.0f, float(y) / 9.0f, kSeed + 70, 3);
            float dx = float(x) - 25, dy = float(y) - 25;
            float d = std::max(std::fabs(dx), std::fabs(dy));
            int height = std::clamp(int((n - 0.35f) * 9.0f), 0, 3);
            uint32_t h = hash(x, y, kSeed + 71);
            int32_t cell;
            if (d <= 5) {
                // The keep: curtain walls, corner towers and a courtyard.
                bool corner = std::fabs(dx) == 5 && std::fabs(dy) == 5;
                if (corner)
                    cell = town.column({battlement, battlement, battlement, battlement}, paving, keepRoof, 0);
                else if (d == 5)
                    cell = town.column({battlement, battlement}, paving, 0, 0);
                else if (dx == 0 && dy == 0)
                    cell = risingCell;
                else
                    cell = town.column({}, paving, 0, 0);
            } else if (d <= 7) {
                cell = pondCell;  // the moat
            } else if (height == 0 && n < 0.3f) {
                cell = pondCell;
            } else {
                std::vector<int> sides(size_t(height), hillSide);
                cell = town.column(sides, grass[h % 3], 0, uint8_t(h & 0xC0));
            }
            land[size_t(y * kSize + x)] = cell;
        }
    map.layers[2] = land;
    return map;
}

}  // namespace tmapgen
