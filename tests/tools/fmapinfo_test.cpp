// fmapinfo run as a program: its reports on a known map, and the one-line
// message and failing exit status for every way a file can be refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "mapwriter.h"
#include "toolrun.h"

using nlohmann::json;
using tmapwriter::Map;

using tmapwriter::chunkOffset;

namespace {

std::string fmapinfo(const std::string& arguments)
{
    return shellQuoted(FMAPINFO_PATH) + " " + arguments;
}

// 5 x 4 cells, depth 16, little-endian; layer 0 with blocks 0..2 and one
// animated cell, layer 2 all block 4 with two animated cells; an editor's
// chunk of odd length at the end.
Map knownMap()
{
    Map map;
    map.width = 5;
    map.height = 4;
    map.tileWidth = 8;
    map.tileHeight = 8;
    map.depth = 16;
    for (int g = 0; g < 3; ++g) {
        tmapwriter::Bytes pixels;
        for (int p = 0; p < 64; ++p)
            tmapwriter::put16(pixels, uint8_t(80 * g), 40, 200);
        map.graphics.push_back(pixels);
    }
    for (int k = 0; k < 6; ++k) {
        tmapwriter::Block block;
        block.graphic[0] = k % 3;
        map.blocks.push_back(block);
    }
    map.frames = {0, 1, 2, 3, 4};
    tmapwriter::Anim loop;
    loop.mode = 1, loop.delay = 3, loop.start = 0, loop.current = 0, loop.end = 3;
    tmapwriter::Anim pingPong;
    pingPong.mode = 5, pingPong.delay = 0, pingPong.start = 3, pingPong.current = 3, pingPong.end = 5;
    map.anims = {loop, pingPong};
    std::vector<int32_t> body(20, 0);
    body[1] = 1, body[2] = 2, body[7] = 2, body[19] = -1;
    map.layers[0] = body;
    std::vector<int32_t> upper(20, 4);
    upper[0] = -2, upper[5] = -1;
    map.layers[2] = upper;
    map.extraChunks.push_back(tmapwriter::makeChunk("EDIT", tmapwriter::Bytes{1, 2, 3}));
    return map;
}


// A refused file: status 1, nothing on stdout, one line on stderr that names
// the file and holds the expected text.
void expectRefused(const std::string& path, const std::string& expected)
{
    ToolResult result = runTool(fmapinfo(shellQuoted(path)));
    EXPECT_EQ(result.status, 1) << path;
    EXPECT_EQ(result.out, "") << path;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("fmapinfo: " + path + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(expected), std::string::npos)
        << "stderr: " << result.err << "expected to hold: " << expected;
}

} // namespace

TEST(FmapinfoReport, TextHoldsHeaderChunksLayersAndAnimations)
{
    std::string path = writeFile(scratchFolder("text"), "known.fmp", tmapwriter::buildImage(knownMap()));
    ToolResult result = runTool(fmapinfo(shellQuoted(path)));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string& out = result.out;
    for (const char* line : {"  width: 5 cells\n", "  height: 4 cells\n", "  tile width: 8 pixels\n",
                             "  tile height: 8 pixels\n", "  depth: 16 bits\n", "  block record size: 32 bytes\n",
                             "  block count: 6\n", "  graphic count: 3\n", "  byte order: little-endian\n",
                             "chunks: 7\n", "animations: 2\n", "frame list: 5 entries\n", "block records: 6\n"})
        EXPECT_NE(out.find(line), std::string::npos) << "missing " << line << "in\n" << out;
    // Chunk rows: tag, offset, length, use; the editor's chunk is skipped.
    EXPECT_NE(out.find("  MPHD            12          24  decoded\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EDIT"), std::string::npos);
    EXPECT_NE(out.find("           3  skipped\n"), std::string::npos) << out;
    // Layer rows: present, distinct blocks, animated cells, cells naming nothing.
    EXPECT_NE(out.find("  0      BODY  yes                    3               1                     0\n"),
              std::string::npos) << out;
    EXPECT_NE(out.find("  1      LYR1  no                     -               -                     -\n"),
              std::string::npos) << out;
    EXPECT_NE(out.find("  2      LYR2  yes                    1               2                     0\n"),
              std::string::npos) << out;
    // Animation rows: number, mode, delay, frame count.
    EXPECT_NE(out.find("     0     1      3       3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("     1     5      0       2\n"), std::string::npos) << out;
}

// The same document compact (one line) and with --pretty (indented, one
// value a line), each holding the map's values.
TEST(FmapinfoReport, JsonHoldsTheSameValuesCompactOrIndented)
{
    Map map = knownMap();
    map.littleEndian = false;
    tmapwriter::Bytes image = tmapwriter::buildImage(map);
    // A quote and non-ASCII letters in the name come back as they are.
    std::string path = writeFile(scratchFolder("json"), "carte-\xC3\xA9t\xC3\xA9 \"big\".fmp", image);
    ToolResult compact = runTool(fmapinfo("--json " + shellQuoted(path)));
    ToolResult pretty = runTool(fmapinfo("--json --pretty " + shellQuoted(path)));
    ASSERT_EQ(compact.status, 0) << compact.err;
    ASSERT_EQ(pretty.status, 0) << pretty.err;
    EXPECT_EQ(std::count(compact.out.begin(), compact.out.end(), '\n'), 1) << compact.out;
    EXPECT_EQ(compact.out.back(), '\n');
    EXPECT_EQ(compact.out.find(": "), std::string::npos) << "compact output has no spaces after keys";
    EXPECT_EQ(json::parse(pretty.out), json::parse(compact.out));
    // Indented: each member of the layer rows on a line of its own, two
    // spaces per level.
    EXPECT_NE(pretty.out.find("\n      \"distinctBlocks\": 3,\n"), std::string::npos) << pretty.out;
    EXPECT_EQ(pretty.out.rfind("{\n  \"", 0), 0u) << pretty.out;
    EXPECT_EQ(pretty.out.substr(pretty.out.size() - 3), "\n}\n");

    for (const ToolResult* result : {&compact, &pretty}) {
        json report = json::parse(result->out);

        EXPECT_EQ(report["file"], path);
        EXPECT_EQ(report["size"], image.size());
        EXPECT_EQ(report["header"], json({{"width", 5},
                                          {"height", 4},
                                          {"tileWidth", 8},
                                          {"tileHeight", 8},
                                          {"depth", 16},
                                          {"blockRecordSize", 32},
                                          {"blockCount", 6},
                                          {"graphicCount", 3},
                                          {"littleEndian", false}}));
        EXPECT_EQ(report["colourMapBytes"], 0);

        const json& chunks = report["chunks"];
        ASSERT_EQ(chunks.size(), 7u);
        const char* tags[] = {"MPHD", "BKDT", "ANDT", "BGFX", "BODY", "LYR2", "EDIT"};
        for (size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(chunks[i]["tag"], tags[i]);
            EXPECT_EQ(chunks[i]["offset"], chunkOffset(image, tags[i]));
            EXPECT_EQ(chunks[i]["known"], i != 6) << tags[i];
            EXPECT_EQ(chunks[i]["truncated"], false);
        }
        EXPECT_EQ(chunks[6]["length"], 3);
        EXPECT_EQ(chunks[3]["length"], 3 * 8 * 8 * 2);

        const json& layers = report["layers"];
        ASSERT_EQ(layers.size(), 8u);
        EXPECT_EQ(layers[0], json({{"layer", 0}, {"tag", "BODY"}, {"present", true}, {"distinctBlocks", 3},
                                   {"animatedCells", 1}, {"cellsNamingNothing", 0}}));
        EXPECT_EQ(layers[1], json({{"layer", 1}, {"tag", "LYR1"}, {"present", false}}));
        EXPECT_EQ(layers[2], json({{"layer", 2}, {"tag", "LYR2"}, {"present", true}, {"distinctBlocks", 1},
                                   {"animatedCells", 2}, {"cellsNamingNothing", 0}}));

        EXPECT_EQ(report["animations"], json::parse(R"([{"mode": 1, "delay": 3, "frames": 3},
                                                        {"mode": 5, "delay": 0, "frames": 2}])"));
        EXPECT_EQ(report["frameListEntries"], 5);
        EXPECT_EQ(report["blockRecords"], 6);
    }
}

TEST(FmapinfoReport, NamesAndTagsThatAreNotTextAndLongPaths)
{
    std::string folder = scratchFolder("names");
    Map map = knownMap();
    map.extraChunks.push_back(tmapwriter::makeChunk(std::string("\xFF\xFF" "BG", 4), tmapwriter::Bytes{7}));
    tmapwriter::Bytes image = tmapwriter::buildImage(map);

    // A name that is no UTF-8: the stray byte becomes U+FFFD in the JSON.
    std::string path = writeFile(folder, "bad-\xFF-name.fmp", image);
    ToolResult result = runTool(fmapinfo("--json " + shellQuoted(path)));
    ASSERT_EQ(result.status, 0) << result.err;
    json report = json::parse(result.out);
    EXPECT_EQ(report["file"], folder + "/bad-\xEF\xBF\xBD-name.fmp");
    EXPECT_EQ(report["chunks"].back()["tag"], "0xFFFF4247");

    // A path far longer than any line buffer stays whole, and so does the
    // line after it.
    std::string deep = folder;
    for (int level = 0; level < 6; ++level) {
        deep += "/" + std::string(100, char('a' + level));
        std::filesystem::create_directories(deep);
    }
    std::string longPath = writeFile(deep, "map.fmp", image);
    ToolResult text = runTool(fmapinfo(shellQuoted(longPath)));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("file: " + longPath + " (" + std::to_string(image.size()) + " bytes)\nheader:\n", 0),
              0u) << text.out.substr(0, 800);
    // The damaged tag in hex, in the tag column.
    EXPECT_NE(text.out.find("\n  0xFFFF4247 " + std::string(7 - std::to_string(image.size() - 9).size(), ' ')
                            + std::to_string(image.size() - 9) + "           1  skipped\n"),
              std::string::npos) << text.out;
}

TEST(FmapinfoReport, EmptyFormIsAValidMapWithNothingInIt)
{
    std::string path = writeFile(scratchFolder("empty"), "empty.fmp", tmapwriter::buildForm({}));
    ToolResult result = runTool(fmapinfo("--json " + shellQuoted(path)));
    ASSERT_EQ(result.status, 0) << result.err;
    json report = json::parse(result.out);
    EXPECT_EQ(report["chunks"].size(), 0u);
    EXPECT_EQ(report["animations"].size(), 0u);
    EXPECT_EQ(report["header"]["width"], 0);
    for (const json& layer : report["layers"])
        EXPECT_EQ(layer["present"], false);
}

TEST(FmapinfoRefuses, EachErrorCodeWithItsReason)
{
    std::string folder = scratchFolder("refused");

    expectRefused(folder + "/absent.fmp", "file could not be opened (error 3)");

    Map wrongKind = knownMap();
    wrongKind.headerKind = 1;
    expectRefused(writeFile(folder, "kind.fmp", tmapwriter::buildImage(wrongKind)),
                  "unsupported map header (error 4)");

    tmapwriter::Bytes otherForm = tmapwriter::buildImage(knownMap());
    std::copy_n("ILBM", 4, otherForm.begin() + 8);
    expectRefused(writeFile(folder, "ilbm.fmp", otherForm), "not a readable map file (error 2)");

    // Out of memory cannot be forced on a separate process; the message for
    // it is checked in-process (loadmessage_test.cpp).
}

TEST(FmapinfoRefuses, TruncatedGarbageAndMalformedFiles)
{
    std::string folder = scratchFolder("damaged");
    tmapwriter::Bytes image = tmapwriter::buildImage(knownMap());

    tmapwriter::Bytes truncated(image.begin(), image.begin() + long(image.size() / 2));
    expectRefused(writeFile(folder, "truncated.fmp", truncated), "not a readable map file (error 2)");

    tmapwriter::Bytes tiny(image.begin(), image.begin() + 6);
    expectRefused(writeFile(folder, "tiny.fmp", tiny), "not a readable map file (error 2)");

    tmapwriter::Bytes garbage(300);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 131 + 7);
    expectRefused(writeFile(folder, "garbage.fmp", garbage), "not a readable map file (error 2)");

    // The header promises more block records than "BKDT" holds.
    Map shortBlocks = knownMap();
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(shortBlocks);
    tmapwriter::findChunk(chunks, "BKDT")->data.resize(32 * 4);
    tmapwriter::Bytes malformed = tmapwriter::buildForm(chunks);
    expectRefused(writeFile(folder, "blocks.fmp", malformed),
                  "not a readable map file (error 2) in chunk \"BKDT\" at offset "
                      + std::to_string(chunkOffset(malformed, "BKDT")));

    // A chunk whose length runs past the end of the form.
    tmapwriter::Bytes overrun = tmapwriter::buildImage(knownMap());
    long edit = chunkOffset(overrun, "EDIT");
    tmapwriter::setBE32(overrun, size_t(edit) + 4, 1000);
    expectRefused(writeFile(folder, "overrun.fmp", overrun),
                  "not a readable map file (error 2) in chunk \"EDIT\" at offset " + std::to_string(edit));

    // A form that claims more bytes than the file holds.
    tmapwriter::Bytes claims = tmapwriter::buildImage(knownMap());
    tmapwriter::setBE32(claims, 4, 0xFFFFFF00u);
    expectRefused(writeFile(folder, "claims.fmp", claims), "not a readable map file (error 2)");
}
