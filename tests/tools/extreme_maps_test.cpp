// Valid maps at the edges of the format, each run through every tool and
// through each demo program's start-up (see tests/demos/startup_probe.cpp):
// no crash, no stall, and where a program refuses, one clear line.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <nlohmann/json.hpp>

#include "mapwriter.h"
#include "toolrun.h"

using tmapwriter::Map;

namespace {

// The programs each map goes through, in the columns of the table.
enum Program { infoText, infoJson, renderFlat, renderBlocks, shipdemo, spinlit, spinblend, isoview, programCount };
const char* const programNames[programCount] = {"fmapinfo", "fmapinfo --json", "fmaprender", "fmaprender --blocks",
                                                "shipdemo", "spinlit", "spinblend", "isoview"};

// What a user sees: the exit status, and the one line on stderr (empty
// when the program runs), of which `words` must be part.
struct Outcome {
    int status = 0;
    std::string words;
};
const Outcome runs{0, ""};
Outcome refused(const std::string& words) { return Outcome{1, words}; }

struct ExtremeMap {
    std::string name;
    std::function<Map()> build;
    std::string reportHolds; // a line of fmapinfo's text report
    Outcome outcomes[programCount];
};

tmapwriter::Bytes solidGraphic(const Map& map)
{
    tmapwriter::Bytes pixels;
    for (int p = 0; p < map.tileWidth * map.tileHeight; ++p)
        tmapwriter::put16(pixels, 90, 160, 60);
    return pixels;
}

// width x height cells, tiles of 4 x 4, two graphics and two plain blocks,
// the layers in layerMask filled with block 1.
Map plainMap(int width, int height, unsigned layerMask)
{
    Map map;
    map.width = width;
    map.height = height;
    map.tileWidth = map.tileHeight = 4;
    map.graphics = {solidGraphic(map), solidGraphic(map)};
    tmapwriter::Block block;
    block.graphic[0] = 1;
    map.blocks = {block, block};
    for (int layer = 0; layer < 8; ++layer)
        if (layerMask & (1u << layer))
            map.layers[layer] = std::vector<int32_t>(size_t(width) * size_t(height), 1);
    return map;
}

// The header counts 3 blocks and 2 graphics, but no "BKDT" or "BGFX"
// brings them; the cells name blocks 0 to 2 and an animation that no
// "ANDT" brings either.
Map countsWithoutArrays()
{
    Map map = plainMap(50, 50, 0x07);
    map.blocks.clear();
    map.graphics.clear();
    map.blockCount = 3;
    map.graphicCount = 2;
    for (int layer = 0; layer < 3; ++layer) {
        std::vector<int32_t>& cells = *map.layers[layer];
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = int32_t(i % 3);
        cells[0] = -1;
    }
    return map;
}

// Every header value at 65535, and no chunk to go with it.
Map allAt65535()
{
    Map map;
    map.width = map.height = map.tileWidth = map.tileHeight = 65535;
    map.depth = 8;
    map.blockCount = map.graphicCount = 65535;
    return map;
}

// A row of 65535 cells with tiles of 65535 x 65535 pixels (and no graphics).
Map rowOf65535()
{
    Map map = plainMap(65535, 1, 0x07);
    map.tileWidth = map.tileHeight = 65535;
    map.graphics.clear();
    return map;
}

// 50 000 animations over two frames; the cells show them all.
Map manyAnimations()
{
    Map map = plainMap(50, 50, 0x07);
    map.frames = {0, 1};
    tmapwriter::Anim loop;
    loop.mode = 1, loop.start = 0, loop.current = 0, loop.end = 2;
    map.anims.assign(50000, loop);
    for (int layer = 0; layer < 3; ++layer) {
        std::vector<int32_t>& cells = *map.layers[layer];
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = -int32_t(i * 37 % 50000) - 1;
    }
    return map;
}

// 1024 records, each but the last stacked with four side faces: every
// cell of the 50 x 50 layers is a column of 1023 cubes. 48 KB of map for
// 2500 x (4 x 1023 + 1) = 10 232 500 faces.
Map toweringColumns()
{
    Map map = plainMap(50, 50, 0x07);
    tmapwriter::Block cube;
    cube.graphic[0] = cube.graphic[1] = cube.graphic[2] = cube.graphic[3] = 1;
    cube.flags = 0x20;
    tmapwriter::Block roof;
    roof.graphic[0] = 1;
    map.blocks.assign(1023, cube);
    map.blocks.push_back(roof);
    for (int layer = 0; layer < 3; ++layer)
        std::fill(map.layers[layer]->begin(), map.layers[layer]->end(), 0);
    return map;
}

// The same tower as the second frame of an animation that every cell shows:
// drawn now, one cap a cell; drawn a tick later, the towers.
Map toweringFrames()
{
    Map map = toweringColumns();
    map.blocks.push_back(tmapwriter::Block{}); // 1024: a plain cap
    map.frames = {1024, 0};
    tmapwriter::Anim swap;
    swap.mode = 1, swap.start = 0, swap.current = 0, swap.end = 2;
    map.anims = {swap};
    for (int layer = 0; layer < 3; ++layer)
        std::fill(map.layers[layer]->begin(), map.layers[layer]->end(), -1);
    return map;
}

const std::string noLayer0 = "the map has no layer 0";

const ExtremeMap extremeMaps[] = {
    {"header counts without arrays", countsWithoutArrays, "  block count: 3 in the header, 0 records\n",
     {runs, runs, runs, runs, runs, runs, runs, runs}},
    {"every header value 65535", allAt65535, "  tile height: 65535 pixels\n",
     {runs, runs, refused(noLayer0), refused(noLayer0), runs, runs, runs, runs}},
    {"65535 cells of 65535-pixel tiles", rowOf65535, "  width: 65535 cells\n",
     {runs, runs, runs, runs, runs, runs, runs, runs}},
    {"50 000 animations", manyAnimations, "animations: 50000\n", {runs, runs, runs, runs, runs, runs, runs, runs}},
    {"towering columns", toweringColumns, "block records: 1024\n",
     {runs, runs, runs,
      refused("the window has 10232500 block faces, more than the limit of 2000000 (raise it with --max-faces)"),
      runs,
      refused("spinlit: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 10232500 block faces, more than the "
              "limit of 250000"),
      runs,
      refused("isoview: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 10232500 block faces, more than the "
              "limit of 250000")}},
    {"towering animation frames", toweringFrames, "block records: 1025\n",
     {runs, runs, runs, runs, runs,
      refused("spinlit: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 10232500 block faces"),
      runs, refused("isoview: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 10232500 block faces")}},
    {"1 x 1", [] { return plainMap(1, 1, 0x07); }, "  width: 1 cells\n",
     {runs, runs, runs, runs, runs, runs, runs, runs}},
    {"only layer 7", [] { return plainMap(50, 50, 0x80); }, "  7      LYR7  yes   ",
     {runs, runs, refused(noLayer0), refused(noLayer0), runs, runs, runs, runs}},
    {"0 x 0", [] { return plainMap(0, 0, 0x07); }, "  0      BODY  yes   ",
     {runs, runs, refused("the window lies outside the 0 x 0 cells of the map"),
      refused("the window lies outside the 0 x 0 cells of the map"), runs, runs, runs, runs}},
};

// The command line of a program on the map, which the folder holds under
// the name each program looks for.
std::string commandLine(Program program, const std::string& folder)
{
    std::string map = shellQuoted(folder + "/map.fmp");
    std::string png = shellQuoted(folder + "/out.png");
    switch (program) {
    case infoText: return shellQuoted(FMAPINFO_PATH) + " " + map;
    case infoJson: return shellQuoted(FMAPINFO_PATH) + " --json " + map;
    case renderFlat: return shellQuoted(FMAPRENDER_PATH) + " --size 64x64 " + map + " " + png;
    case renderBlocks: return shellQuoted(FMAPRENDER_PATH) + " --blocks --size 64x64 " + map + " " + png;
    case shipdemo: return "cd " + shellQuoted(folder) + " && " + shellQuoted(SHIPDEMO_STARTUP_PATH);
    case spinlit: return "cd " + shellQuoted(folder) + " && " + shellQuoted(SPINLIT_STARTUP_PATH);
    case spinblend: return "cd " + shellQuoted(folder) + " && " + shellQuoted(SPINBLEND_STARTUP_PATH);
    case isoview: return "cd " + shellQuoted(folder) + " && " + shellQuoted(ISOVIEW_STARTUP_PATH);
    default: return "false";
    }
}

} // namespace

TEST(ExtremeMaps, EveryToolAndDemoRunsOrRefusesInOneClearLine)
{
    int serial = 0;
    for (const ExtremeMap& extreme : extremeMaps) {
        SCOPED_TRACE(extreme.name);
        std::string folder = scratchFolder("extreme-" + std::to_string(++serial));
        tmapwriter::Bytes image = tmapwriter::buildImage(extreme.build());
        for (const char* name : {"map.fmp", "VORLA.FMP", "TEST2A.FMP"})
            writeFile(folder, name, image);

        for (int program = 0; program < programCount; ++program) {
            SCOPED_TRACE(programNames[program]);
            const Outcome& expected = extreme.outcomes[program];
            ToolResult result = runTool(commandLine(Program(program), folder));
            EXPECT_EQ(result.status, expected.status) << result.err;
            if (expected.words.empty()) {
                EXPECT_EQ(result.err, "");
            } else {
                EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
                EXPECT_NE(result.err.find(expected.words), std::string::npos) << result.err;
            }
            if (program == infoText && result.status == 0) {
                EXPECT_NE(result.out.find(extreme.reportHolds), std::string::npos) << result.out.substr(0, 2000);
            }
            if (program == infoJson && result.status == 0) {
                EXPECT_TRUE(nlohmann::json::accept(result.out)) << result.out.substr(0, 2000);
            }
        }
    }
}
