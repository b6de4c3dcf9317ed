// Map file -> Tiled -> map file gives back the same map, field for field,
// through either of Tiled's formats and through Tiled's own rewriting of
// them; and a map repainted in Tiled keeps everything it was not painted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "mapgen.h"
#include "mapmodel.h"
#include "tiledtest.h"

using tmapconvert::MapModel;

namespace {

MapModel load(const std::string& path)
{
    MapModel model;
    std::string error;
    EXPECT_TRUE(tmapconvert::loadMapModel(path, model, error)) << path << ": " << error;
    return model;
}

std::string blockText(const TmapBlock& b)
{
    std::ostringstream text;
    text << b.graphic1 << ' ' << b.graphic2 << ' ' << b.graphic3 << ' ' << b.graphic4 << ' ' << b.userLong1 << ' '
         << b.userLong2 << ' ' << b.userShort1 << ' ' << b.userShort2 << ' ' << int(b.userByte1) << ' '
         << int(b.userByte2) << ' ' << int(b.userByte3) << ' ' << int(b.flags);
    return text.str();
}

std::string animText(const TmapAnim& a)
{
    std::ostringstream text;
    text << a.mode << ' ' << a.delay << ' ' << a.countdown << ' ' << a.user << ' ' << a.current << ' ' << a.start
         << ' ' << a.end;
    return text.str();
}

// The first field in which two maps differ, or "".
std::string difference(const MapModel& a, const MapModel& b)
{
    const auto header = [](const MapModel& m) {
        std::ostringstream text;
        text << m.width << 'x' << m.height << " cells of " << m.tileWidth << 'x' << m.tileHeight << ", depth "
             << m.depth << (m.littleEndian ? " little" : " big") << "-endian, records of " << m.blockRecordSize
             << ", " << m.graphicCount << " graphics, " << m.blocks.size() << " blocks, " << m.anims.size()
             << " animations, " << m.frames.size() << " frames, colour map " << m.hasColourMap << "/"
             << m.colourMap.size();
        return text.str();
    };
    if (header(a) != header(b))
        return "header " + header(a) + " came back as " + header(b);
    if (a.colourMap != b.colourMap)
        return "the colour map";
    for (size_t k = 0; k < a.blocks.size(); ++k)
        if (blockText(a.blocks[k]) != blockText(b.blocks[k]))
            return "block " + std::to_string(k) + ": " + blockText(a.blocks[k]) + " came back as "
                   + blockText(b.blocks[k]);
    for (size_t n = 0; n < a.anims.size(); ++n)
        if (animText(a.anims[n]) != animText(b.anims[n]))
            return "animation " + std::to_string(n) + ": " + animText(a.anims[n]) + " came back as "
                   + animText(b.anims[n]);
    if (a.frames != b.frames)
        return "the frame list";
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        if (a.layers[layer].has_value() != b.layers[layer].has_value())
            return "layer " + std::to_string(layer) + (a.layers[layer] ? " went missing" : " appeared");
        if (a.layers[layer] && *a.layers[layer] != *b.layers[layer])
            for (size_t i = 0; i < a.layers[layer]->size(); ++i)
                if ((*a.layers[layer])[i] != (*b.layers[layer])[i])
                    return "layer " + std::to_string(layer) + " cell " + std::to_string(i) + ": "
                           + std::to_string((*a.layers[layer])[i]) + " came back as "
                           + std::to_string((*b.layers[layer])[i]);
    }
    for (size_t g = 0; g < a.graphics.size(); ++g)
        if (a.graphics[g] != b.graphics[g])
            return "the pixels of graphic " + std::to_string(g);
    return "";
}

// The flips map with everything else the format can hold: all eight
// layers, little-endian, records of 40 bytes, user fields at their limits,
// cells, frames and first graphics naming nothing, an animation stored
// mid-way through its frames, one of a mode that never moves and one
// without frames.
tmapwriter::Map oddCornersMap()
{
    tmapwriter::Map map = flipsMap();
    map.littleEndian = true;
    map.blockRecordSize = 40;
    tmapwriter::Block& full = map.blocks[7];
    full.userLong1 = 0xFFFFFFFFu, full.userLong2 = 0x80000000u, full.userShort1 = 0xFFFF, full.userShort2 = 1;
    full.userByte1 = 255, full.userByte2 = 128, full.userByte3 = 7;
    map.blocks[3].graphic[3] = 6;
    // Blocks whose first graphic is none of the map's: past the end (where
    // an animation's tile lies in Tiled's tileset), and negative.
    map.blocks.push_back(map.blocks[1]);
    map.blocks.back().graphic[0] = 8;
    map.blocks.push_back(map.blocks[1]);
    map.blocks.back().graphic[0] = -2;
    map.frames.push_back(77); // names no block
    map.anims.push_back({1, 255, 17, 255, 4, 3, 6});
    map.anims.push_back({200, 2, 1, 0, 7, 6, 8});
    map.anims.push_back({3, 0, 0, 0, 2, 2, 2});
    std::vector<int32_t> cells = *map.layers[0];
    cells[0] = 999, cells[1] = -5, cells[2] = -6, cells[3] = -7, cells[4] = -99, cells[5] = 14, cells[6] = 15;
    for (int layer = 0; layer < 8; ++layer) {
        std::rotate(cells.begin(), cells.begin() + 1, cells.end());
        map.layers[layer] = cells;
    }
    return map;
}

struct Route {
    const char* name;
    std::vector<std::string> steps; // extensions the map passes through; "tiled:" ones by tiled --export-map
};

const Route routes[] = {
    {"JSON", {".tmj"}},
    {"TMX", {".tmx"}},
    {"TMX rewritten by Tiled as JSON and TMX", {".tmx", "tiled:.tmj", "tiled:.tmx"}},
};

} // namespace

// The maps of the round trip: the demo maps and two made here, then the
// fuzz seeds, which cover every depth in both byte orders.
struct MadeMap {
    const char* name;
    tmapwriter::Map (*make)();
};
const MadeMap madeMaps[] = {
    {"vorla", tmapgen::makeVorlaMap},
    {"test2a", tmapgen::makeTest2aMap},
    {"flips", flipsMap},
    {"corners", oddCornersMap},
};

std::vector<std::string> roundTripMaps()
{
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(TILVOGL_SEED_DIR))
        seeds.push_back(entry.path().filename().string());
    std::sort(seeds.begin(), seeds.end());
    std::vector<std::string> names;
    for (const MadeMap& made : madeMaps)
        names.push_back(made.name);
    names.insert(names.end(), seeds.begin(), seeds.end());
    return names;
}

class TiledRoundTrip : public ::testing::TestWithParam<std::string> {
protected:
    // The map file of the case, written into folder when it is made here.
    std::string mapFile(const std::string& folder) const
    {
        for (const MadeMap& made : madeMaps)
            if (GetParam() == made.name)
                return writeFile(folder, GetParam() + ".fmp", tmapwriter::buildImage(made.make()));
        return std::string(TILVOGL_SEED_DIR) + "/" + GetParam();
    }
};

TEST_P(TiledRoundTrip, TheMapComesBackFieldForFieldThroughEachFormat)
{
    const std::string folder = scratchFolder("roundtrip-" + GetParam());
    const std::string original = mapFile(folder);
    MapModel before;
    std::string error;
    if (!tmapconvert::loadMapModel(original, before, error))
        GTEST_SKIP() << "the library refuses " << original << " (" << error << "), so there is nothing to export";
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        std::string current = original;
        for (const std::string& step : route.steps) {
            const bool byTiled = step.rfind("tiled:", 0) == 0;
            const std::string next = folder + "/map" + (byTiled ? "-tiled" + step.substr(6) : step);
            const ToolResult result = byTiled ? tiledExport(current, next) : convert(current, next);
            ASSERT_EQ(result.status, 0) << result.err;
            current = next;
        }
        const std::string back = folder + "/back.fmp";
        const ToolResult result = convert(current, back);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(difference(before, load(back)), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, TiledRoundTrip, ::testing::ValuesIn(roundTripMaps()), mapTestName);

TEST(TiledRepaint, CellsRepaintedInTiledShowTheirNewTilesAndAllElseStays)
{
    const std::string folder = scratchFolder("repainted");
    const std::string original = writeFile(folder, "flips.fmp", tmapwriter::buildImage(flipsMap()));
    const MapModel before = load(original);
    ASSERT_EQ(convert(original, folder + "/map.tmj").status, 0);

    // Repaint cells of layer 0 as Tiled would: a gid of a tile already in
    // the tileset, with flip bits.
    const uint32_t h = 0x80000000u, v = 0x40000000u;
    const uint32_t firstAnimTile = uint32_t(before.graphicCount);
    struct Paint {
        size_t cell;
        uint32_t gid;
        int32_t graphic1; // what the cell shows then: -1 for an animation
        uint8_t mirror;
    };
    const Paint paints[] = {
        {0, (1 + 2) | h, 2, 0x40},     // an existing block (6)
        {1, (1 + 1) | h | v, 1, 0xC0}, // an existing block (4)
        {2, 1 + 5, 5, 0x00},           // an existing block (11)
        {3, (1 + 3) | v, 3, 0x80},     // a new block
        {4, 1 + firstAnimTile + 2, -1, 0},
    };
    nlohmann::json map;
    std::ifstream(folder + "/map.tmj") >> map;
    for (const Paint& paint : paints)
        map["layers"][0]["data"][paint.cell] = paint.gid;
    std::ofstream(folder + "/painted.tmj") << map.dump();
    ASSERT_EQ(convert(folder + "/painted.tmj", folder + "/painted.fmp").status, 0);
    const MapModel after = load(folder + "/painted.fmp");

    // Everything but the painted cells and the new block is as it was.
    MapModel expected = before;
    expected.blocks = after.blocks;
    ASSERT_GE(after.blocks.size(), before.blocks.size());
    for (size_t k = 0; k < before.blocks.size(); ++k)
        EXPECT_EQ(blockText(after.blocks[k]), blockText(before.blocks[k]));
    for (const Paint& paint : paints)
        (*expected.layers[0])[paint.cell] = (*after.layers[0])[paint.cell];
    EXPECT_EQ(difference(expected, after), "");

    for (const Paint& paint : paints) {
        SCOPED_TRACE("cell " + std::to_string(paint.cell));
        const int32_t value = (*after.layers[0])[paint.cell];
        if (paint.graphic1 < 0) {
            EXPECT_EQ(value, -3); // animation 2
            continue;
        }
        const TmapBlock* shown = after.blockShown(value);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->graphic1, paint.graphic1);
        EXPECT_EQ(shown->flags & 0xC0, paint.mirror);
    }
}
