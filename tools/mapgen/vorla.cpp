// "VORLA.FMP": the ship demo's map, a landscape seen from high above.
//
// The ship flies from the last row toward row 0, over open sea, a coast,
// farmland crossed by a winding road, forest, rocky highlands and a lake.
// Terrain is decided per tile corner (a "level": deep water up to rock), and
// each tile is painted from its four corners, so neighbouring tiles meet
// without seams and transitions come out as natural coastlines. Layer 1 holds
// clouds and airships with blinking beacons over a transparent block 0.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "mapgen.h"

namespace tmapgen {
namespace {

constexpr int kWidth = 24, kHeight = 200, kTile = 16;
constexpr uint32_t kSeed = 0x5EED0001u;

enum Level { DeepWater, ShallowWater, Sand, Grass, Forest, Rock, LevelCount };

const Colour kLevelColour[LevelCount] = {rgb(24, 62, 122), rgb(44, 116, 168), rgb(216, 198, 142),
                                         rgb(92, 152, 62), rgb(38, 96, 42),  rgb(132, 126, 118)};

// Broad character of the land along the flight, row by row.
float landBias(int y) {
    static const float keys[][2] = {{0, 1.6f},    {14, 1.0f},   {28, 4.4f},   {55, 5.0f},   {72, 4.2f},
                                    {92, 3.2f},   {140, 3.1f},  {156, 2.4f},  {170, 1.2f},  {185, 0.3f},
                                    {201, 0.2f}};
    for (size_t i = 1; i < sizeof keys / sizeof keys[0]; ++i)
        if (float(y) <= keys[i][0]) {
            float t = (float(y) - keys[i - 1][0]) / (keys[i][0] - keys[i - 1][0]);
            return keys[i - 1][1] + (keys[i][1] - keys[i - 1][1]) * t;
        }
    return 0.2f;
}

struct Terrain {
    int level[kHeight + 1][kWidth + 1];  // per tile corner
    bool road[kHeight][kWidth] = {};
    int crop[kHeight][kWidth] = {};  // 0 none, else plot kind 1..4
    int plot[kHeight][kWidth] = {};  // plot id, to draw borders between plots
};

void shapeLevels(Terrain& t) {
    for (int y = 0; y <= kHeight; ++y)
        for (int x = 0; x <= kWidth; ++x) {
            float n = fractalNoise(float(x) / 5.0f, float(y) / 5.0f, kSeed, 3) - 0.5f;
            float river = 0;
            // A river meanders through the farmland toward the coast.
            if (y > 96 && y < 150) {
                float centre = 6.0f + 3.0f * std::sin(float(y) / 9.0f);
                river = std::max(0.0f, 1.6f - std::fabs(float(x) - centre)) * 1.6f;
            }
            int level = int(std::lround(landBias(y) + n * 3.2f - river));
            t.level[y][x] = std::clamp(level, 0, LevelCount - 1);
        }
    // Neighbouring corners differ by at most one level, so every tile is a
    // gentle transition and the set of distinct tiles stays small.
    for (bool changed = true; changed;) {
        changed = false;
        for (int y = 0; y <= kHeight; ++y)
            for (int x = 0; x <= kWidth; ++x) {
                int highest = 0;
                if (x > 0) highest = std::max(highest, t.level[y][x - 1]);
                if (x < kWidth) highest = std::max(highest, t.level[y][x + 1]);
                if (y > 0) highest = std::max(highest, t.level[y - 1][x]);
                if (y < kHeight) highest = std::max(highest, t.level[y + 1][x]);
                if (t.level[y][x] < highest - 1) t.level[y][x] = highest - 1, changed = true;
            }
    }
}

int cornerMin(const Terrain& t, int x, int y) {
    return std::min({t.level[y][x], t.level[y][x + 1], t.level[y + 1][x], t.level[y + 1][x + 1]});
}
int cornerMax(const Terrain& t, int x, int y) {
    return std::max({t.level[y][x], t.level[y][x + 1], t.level[y + 1][x], t.level[y + 1][x + 1]});
}

void layRoads(Terrain& t) {
    // A main road winds along the whole land; it stops at the open sea.
    auto column = [](int y) {
        float x = 11.5f + 6.5f * std::sin(float(y) / 17.0f) + 2.5f * std::sin(float(y) / 6.3f);
        return std::clamp(int(std::lround(x)), 2, kWidth - 3);
    };
    for (int y = 4; y < 168; ++y) {
        int a = column(y), b = column(y + 1);
        for (int x = std::min(a, b); x <= std::max(a, b); ++x) t.road[y][x] = true;
    }
    // Side roads to the farms and villages.
    for (int y : {22, 64, 104, 122, 138}) {
        int from = column(y);
        bool east = (y / 2) % 2 == 0;
        for (int x = from; east ? x < kWidth : x >= 0; x += east ? 1 : -1) t.road[y][x] = true;
    }
}

void plantFields(Terrain& t) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (t.road[y][x] || cornerMin(t, x, y) != Grass || cornerMax(t, x, y) != Grass) continue;
            int plotY = y / 5, plotX = (x + (plotY % 2) * 2) / 4;
            int kind = int(hash(plotX, plotY, kSeed + 7) % 6);
            if (kind > 4) continue;  // meadow
            t.crop[y][x] = kind == 0 ? 1 : kind;
            t.plot[y][x] = plotY * 16 + plotX;
        }
}

// ---- Painting one tile ----

float smoothstep(float e0, float e1, float v) {
    float t = std::clamp((v - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Colour of terrain at fractional level f, with texture detail; px, py are
// pixel coordinates in the tile (detail repeats every tile, so it is seamless).
Colour groundColour(float f, int px, int py) {
    int band = std::clamp(int(std::floor(f + 0.5f)), 0, LevelCount - 1);
    Colour c = kLevelColour[band];
    // Soft hand-over to the next level near the boundary.
    float frac = f + 0.5f - float(band);
    if (frac > 0.88f && band + 1 < LevelCount) c = mix(c, kLevelColour[band + 1], (frac - 0.88f) / 0.24f);
    if (frac < 0.12f && band > 0) c = mix(c, kLevelColour[band - 1], (0.12f - frac) / 0.24f);

    float fine = valueNoise(float(px) / 2.0f, float(py) / 2.0f, kSeed + 11, 8);
    float coarse = valueNoise(float(px) / 8.0f, float(py) / 8.0f, kSeed + 12, 2);
    switch (band) {
    case DeepWater:
    case ShallowWater:
        c = scale(c, 0.92f + 0.16f * coarse);
        // Surf where the water meets the sand.
        if (f > 1.25f) c = mix(c, rgb(236, 244, 250), smoothstep(1.25f, 1.45f, f) * (0.5f + 0.5f * fine));
        break;
    case Sand: c = scale(c, 0.9f + 0.15f * fine); break;
    case Grass: c = scale(c, 0.85f + 0.2f * fine + 0.1f * coarse); break;
    case Forest: {
        // Tree crowns: bright tops, dark gaps between them.
        float crowns = valueNoise(float(px) / 4.0f, float(py) / 4.0f, kSeed + 14, 4);
        c = scale(c, 0.6f + 0.7f * crowns * crowns + 0.1f * fine);
        break;
    }
    case Rock: {
        float cracks = std::fabs(valueNoise(float(px) / 4.0f, float(py) / 4.0f, kSeed + 15, 4) - 0.5f);
        c = scale(c, 0.8f + 0.35f * fine);
        if (cracks < 0.04f) c = scale(c, 0.55f);
        break;
    }
    default: break;
    }
    return c;
}

// Zero at the tile's edges, one in its middle: details painted with it
// never disturb the seams.
float interior(int px, int py) {
    const float pi = 3.14159265f;
    return std::sin(pi * (float(px) + 0.5f) / kTile) * std::sin(pi * (float(py) + 0.5f) / kTile);
}

Image terrainTile(const int corner[4], int frame) {
    Image tile(kTile, kTile);
    for (int py = 0; py < kTile; ++py)
        for (int px = 0; px < kTile; ++px) {
            float u = (float(px) + 0.5f) / kTile, v = (float(py) + 0.5f) / kTile;
            float top = float(corner[0]) + float(corner[1] - corner[0]) * u;
            float bottom = float(corner[2]) + float(corner[3] - corner[2]) * u;
            float wobble = (valueNoise(float(px) / 4.0f, float(py) / 4.0f, kSeed + 3, 4) - 0.5f) * 0.9f;
            float f = top + (bottom - top) * v + wobble;
            Colour c = groundColour(f, px, py);
            if (f < 1.2f) {
                // Glints on the water, drifting one step per frame.
                float glint = valueNoise(float(px + 4 * frame) / 2.0f, float(py) / 1.0f, kSeed + 21, 8);
                float w = interior(px, py);
                if (glint > 0.78f) c = mix(c, rgb(200, 230, 255), (glint - 0.78f) * 4.0f * w);
            }
            tile.at(px, py) = c;
        }
    return tile;
}

// Small things that make uniform tiles less repetitive, kept off the edges.
void decorate(Image& tile, int level, int variant) {
    if (variant == 0) return;
    float cx = variant == 1 ? 5.5f : 10.0f, cy = variant == 1 ? 9.0f : 6.0f;
    switch (level) {
    case Grass:
        fillDisc(tile, cx, cy, 2.5f, rgb(52, 110, 40));
        fillDisc(tile, cx - 0.7f, cy - 0.7f, 1.3f, rgb(80, 140, 56));
        break;
    case Sand: fillDisc(tile, cx, cy, 1.2f, rgb(160, 150, 130)); break;
    case Rock:
        fillDisc(tile, cx + 0.6f, cy + 0.6f, 3.0f, rgb(70, 66, 62));
        fillDisc(tile, cx, cy, 2.8f, rgb(150, 146, 140));
        fillDisc(tile, cx - 0.8f, cy - 0.8f, 1.2f, rgb(182, 178, 172));
        break;
    case Forest:
        fillDisc(tile, cx + 1, cy + 1, 4.0f, rgb(16, 44, 18));
        fillDisc(tile, cx, cy, 3.8f, rgb(46, 112, 44));
        fillDisc(tile, cx - 1.2f, cy - 1.2f, 1.8f, rgb(84, 150, 70));
        break;
    default: break;
    }
}

// Crop rows, and a hedge along sides that border another plot.
void paintField(Image& tile, int kind, bool across, const bool edge[4]) {
    static const Colour kCrop[5][2] = {{}, {rgb(222, 190, 84), rgb(188, 150, 60)},
                                       {rgb(120, 176, 64), rgb(70, 120, 44)},
                                       {rgb(132, 92, 58), rgb(104, 70, 44)},
                                       {rgb(150, 120, 190), rgb(96, 136, 70)}};
    for (int py = 0; py < kTile; ++py)
        for (int px = 0; px < kTile; ++px) {
            int along = across ? py : px;
            Colour c = kCrop[kind][(along % 4) < 2 ? 0 : 1];
            c = scale(c, 0.92f + 0.12f * hash01(px, py, kSeed + 30 + uint32_t(kind)));
            tile.at(px, py) = c;
        }
    const Colour hedge = rgb(34, 78, 30);
    if (edge[0]) fillRect(tile, 0, 0, kTile, 1, hedge);
    if (edge[1]) fillRect(tile, kTile - 1, 0, 1, kTile, hedge);
    if (edge[2]) fillRect(tile, 0, kTile - 1, kTile, 1, hedge);
    if (edge[3]) fillRect(tile, 0, 0, 1, kTile, hedge);
}

// A road (or a bridge over water) from the centre to each connected side:
// north, east, south, west.
void paintRoad(Image& tile, const bool link[4], bool bridge) {
    const Colour surface = bridge ? rgb(150, 104, 62) : rgb(112, 108, 104);
    const Colour rim = bridge ? rgb(70, 44, 26) : rgb(178, 170, 150);
    const int lo = 5, hi = 11;  // road spans pixels lo..hi-1 across
    auto onRoad = [&](int px, int py) {
        bool centre = px >= lo && px < hi && py >= lo && py < hi;
        return centre || (link[0] && py < hi && px >= lo && px < hi) || (link[2] && py >= lo && px >= lo && px < hi) ||
               (link[3] && px < hi && py >= lo && py < hi) || (link[1] && px >= lo && py >= lo && py < hi);
    };
    for (int py = 0; py < kTile; ++py)
        for (int px = 0; px < kTile; ++px) {
            if (!onRoad(px, py)) {
                bool nearRoad = false;
                for (int d = 0; d < 4; ++d) {
                    static const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
                    int nx = px + dx[d], ny = py + dy[d];
                    if (nx >= 0 && ny >= 0 && nx < kTile && ny < kTile && onRoad(nx, ny)) nearRoad = true;
                }
                if (nearRoad) tile.at(px, py) = rim;
                continue;
            }
            Colour c = scale(surface, 0.9f + 0.15f * hash01(px, py, kSeed + 40));
            if (bridge && ((link[0] || link[2]) ? py % 3 == 0 : px % 3 == 0)) c = scale(c, 0.7f);
            tile.at(px, py) = c;
        }
    // Centre markings on straight stretches.
    if (!bridge && link[0] && link[2] && !link[1] && !link[3])
        for (int py = 2; py < kTile; py += 8) fillRect(tile, 7, py, 2, 4, rgb(236, 214, 120));
    if (!bridge && link[1] && link[3] && !link[0] && !link[2])
        for (int px = 2; px < kTile; px += 8) fillRect(tile, px, 7, 4, 2, rgb(236, 214, 120));
}

// ---- Layer 1 ----

Image cloudImage(int cellsWide, int cellsHigh, uint32_t seed) {
    const int w = cellsWide * kTile, h = cellsHigh * kTile;
    // Puffs along a flat arc, biggest in the middle, all inside the picture.
    Image mask(w, h);
    const int puffs = 4 + cellsWide * 2;
    for (int i = 0; i < puffs; ++i) {
        float along = (float(i) + 0.5f) / float(puffs);
        float bulge = std::sin(3.14159265f * along);
        float r = float(h) * (0.16f + 0.16f * bulge + 0.06f * hash01(i, 2, seed));
        float cx = std::clamp((0.1f + 0.8f * along) * float(w) + (hash01(i, 0, seed) - 0.5f) * 6.0f, r + 1, w - r - 1);
        float cy = std::clamp(float(h) * (0.62f - 0.12f * bulge) + (hash01(i, 1, seed) - 0.5f) * 4.0f, r + 1, h - r - 1);
        fillDisc(mask, cx, cy, r, {1, 1, 1, 1});
    }
    auto solid = [&](int x, int y) { return mask.inside(x, y) && mask.at(x, y).a >= 0.5f; };
    Image cloud(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!solid(x, y)) continue;
            // Lit from the upper left: bright rims there, shade toward the lower right.
            float light = 0.9f + 0.05f * valueNoise(float(x) / 3.0f, float(y) / 3.0f, seed + 6);
            if (!solid(x - 2, y - 2)) light = 1.0f;
            if (!solid(x + 3, y + 3)) light = 0.78f;
            if (!solid(x + 1, y + 1)) light = 0.66f;
            cloud.at(x, y) = scale(rgb(248, 250, 255), light);
        }
    return cloud;
}

Image airshipImage(float beacon) {
    Image ship(3 * kTile, kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < 3 * kTile; ++x) {
            float dx = (float(x) + 0.5f - 24.0f) / 21.0f, dy = (float(y) + 0.5f - 7.0f) / 5.5f;
            float d = dx * dx + dy * dy;
            if (d > 1) continue;
            float light = 1.05f - 0.55f * (dy + 1) / 2 - 0.15f * std::fabs(dx);
            ship.at(x, y) = scale(rgb(200, 204, 214), light);
            if (x % 8 == 0) ship.at(x, y) = scale(ship.at(x, y), 0.85f);
        }
    fillRect(ship, 20, 12, 9, 3, rgb(90, 70, 52));  // gondola
    fillRect(ship, 21, 13, 1, 1, rgb(255, 230, 140));
    fillRect(ship, 24, 13, 1, 1, rgb(255, 230, 140));
    // Tail fins.
    for (int i = 0; i < 4; ++i) fillRect(ship, 42 + i, 2 + i, 2, 10 - 2 * i, rgb(160, 40, 40));
    // The beacon at the nose: dark, warm or blazing.
    fillDisc(ship, 5.0f, 7.0f, 1.0f + 2.0f * beacon, mix(rgb(110, 20, 20), rgb(255, 60, 40), beacon));
    if (beacon > 0.9f) fillDisc(ship, 5.0f, 7.0f, 1.2f, rgb(255, 240, 220));
    return ship;
}

}  // namespace

tmapwriter::Map makeVorlaMap() {
    tmapwriter::Map map;
    map.littleEndian = true;
    map.depth = 16;
    map.width = kWidth;
    map.height = kHeight;
    map.tileWidth = map.tileHeight = kTile;
    MapBuilder build(map);

    // Graphic 0 and block 0: nothing at all, the empty sky of layer 1.
    Image clear(kTile, kTile);
    build.block({{build.graphic(clear), 0, 0, 0}});

    static Terrain terrain;
    terrain = Terrain{};
    shapeLevels(terrain);
    layRoads(terrain);
    plantFields(terrain);

    auto blockOf = [&](const Image& tile) {
        tmapwriter::Block block;
        block.graphic[0] = build.graphic(tile);
        return build.block(block);
    };

    // Open water shimmers: four frames, two animations out of step.
    const int deep[4] = {DeepWater, DeepWater, DeepWater, DeepWater};
    int water[4];
    for (int frame = 0; frame < 4; ++frame) water[frame] = blockOf(terrainTile(deep, frame));
    map.frames = {water[0], water[1], water[2], water[3], water[0], water[1], water[2]};
    map.anims.push_back({1, 11, 11, 0, 0, 0, 4});
    map.anims.push_back({1, 11, 11, 0, 2, 2, 6});

    std::vector<int32_t> ground(size_t(kWidth * kHeight));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int corner[4] = {terrain.level[y][x], terrain.level[y][x + 1], terrain.level[y + 1][x],
                                   terrain.level[y + 1][x + 1]};
            int32_t& cell = ground[size_t(y * kWidth + x)];
            bool uniform = cornerMin(terrain, x, y) == cornerMax(terrain, x, y);
            if (terrain.road[y][x]) {
                auto isRoad = [&](int nx, int ny) {
                    return nx >= 0 && ny >= 0 && nx < kWidth && ny < kHeight && terrain.road[ny][nx];
                };
                const bool link[4] = {isRoad(x, y - 1), isRoad(x + 1, y), isRoad(x, y + 1), isRoad(x - 1, y)};
                Image tile = terrainTile(corner, 0);
                paintRoad(tile, link, cornerMin(terrain, x, y) <= ShallowWater);
                cell = blockOf(tile);
            } else if (terrain.crop[y][x]) {
                auto samePlot = [&](int nx, int ny) {
                    return nx >= 0 && ny >= 0 && nx < kWidth && ny < kHeight && terrain.crop[ny][nx] &&
                           terrain.plot[ny][nx] == terrain.plot[y][x];
                };
                const bool edge[4] = {!samePlot(x, y - 1), !samePlot(x + 1, y), !samePlot(x, y + 1),
                                      !samePlot(x - 1, y)};
                Image tile(kTile, kTile);
                paintField(tile, terrain.crop[y][x], terrain.plot[y][x] % 3 == 0, edge);
                cell = blockOf(tile);
            } else if (uniform && corner[0] == DeepWater) {
                cell = -1 - int32_t(hash(x, y, kSeed + 50) % 2);
            } else {
                Image tile = terrainTile(corner, 0);
                if (uniform) decorate(tile, corner[0], int(hash(x, y, kSeed + 51) % 4 % 3));
                cell = blockOf(tile);
            }
        }
    map.layers[0] = ground;

    // Layer 1: clouds drift over the land, airships patrol with beacons.
    std::vector<int32_t> sky(size_t(kWidth * kHeight), 0);
    auto stamp = [&](const Image& picture, int cellX, int cellY, int animatedCell, int anim) {
        for (int cy = 0; cy * kTile < picture.height; ++cy)
            for (int cx = 0; cx * kTile < picture.width; ++cx) {
                int x = cellX + cx, y = cellY + cy;
                if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
                if (cx == animatedCell && cy == 0) {
                    sky[size_t(y * kWidth + x)] = -1 - anim;
                    continue;
                }
                sky[size_t(y * kWidth + x)] = blockOf(picture.crop(cx * kTile, cy * kTile, kTile, kTile));
            }
    };
    for (int i = 0; i < 22; ++i) {
        int cellsWide = 3 + int(hash(i, 0, kSeed + 60) % 4), cellsHigh = 2 + int(hash(i, 1, kSeed + 60) % 2);
        Image cloud = cloudImage(cellsWide, cellsHigh, kSeed + 61 + uint32_t(i % 6));
        int x = int(hash(i, 2, kSeed + 60) % (kWidth + 2)) - 2;
        stamp(cloud, x, 2 + i * 9 + int(hash(i, 3, kSeed + 60) % 4), -1, 0);
    }
    // Beacon frames: dark, warm, blazing; ping-pong so it pulses.
    const int firstBeaconFrame = int(map.frames.size());
    for (float beacon : {0.0f, 0.5f, 1.0f})
        map.frames.push_back(blockOf(airshipImage(beacon).crop(0, 0, kTile, kTile)));
    const int beaconAnim = int(map.anims.size());
    map.anims.push_back({5, 14, 14, 0, firstBeaconFrame, firstBeaconFrame, firstBeaconFrame + 3});
    for (int i = 0; i < 5; ++i) {
        int y = 10 + i * 38 + int(hash(i, 4, kSeed + 60) % 6);
        int x = int(hash(i, 5, kSeed + 60) % (kWidth - 3));
        stamp(airshipImage(0), x, y, 0, beaconAnim);
    }
    map.layers[1] = sky;
    return map;
}

}  // namespace tmapgen
