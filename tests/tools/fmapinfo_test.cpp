// fmapinfo run as a program: its reports on a known map, and the one-line
// message and failing exit status for every way a file can be refused.
#include <gtest/gtest.h>

#include <algorithm>

#include "mapwriter.h"
#include "minijson.h"
#include "toolrun.h"

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
                             "chunks: 7\n", "animations: 2\n", "frame list: 5 entries\n", "blocks: 6\n"})
        EXPECT_NE(out.find(line), std::string::npos) << "missing " << line << "in\n" << out;
    // Chunk rows: tag, offset, length, use; the editor's chunk is skipped.
    EXPECT_NE(out.find("  MPHD        12          24  decoded\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EDIT"), std::string::npos);
    EXPECT_NE(out.find("           3  skipped\n"), std::string::npos) << out;
    // Layer rows: present, distinct blocks, animated cells.
    EXPECT_NE(out.find("  0      BODY  yes                    3               1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  1      LYR1  no                     -               -\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  2      LYR2  yes                    1               2\n"), std::string::npos) << out;
    // Animation rows: number, mode, delay, frame count.
    EXPECT_NE(out.find("     0     1      3       3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("     1     5      0       2\n"), std::string::npos) << out;
}

TEST(FmapinfoReport, JsonHoldsTheSameValues)
{
    Map map = knownMap();
    map.littleEndian = false;
    tmapwriter::Bytes image = tmapwriter::buildImage(map);
    std::string path = writeFile(scratchFolder("json"), "known \"big\".fmp", image);
    ToolResult result = runTool(fmapinfo("--json " + shellQuoted(path)));
    ASSERT_EQ(result.status, 0) << result.err;
    minijson::Value report = minijson::parse(result.out);

    EXPECT_EQ(report["file"].str(), path.substr(0, path.find('"')) + "\\u0022big\\u0022.fmp");
    EXPECT_EQ(report["size"].num(), double(image.size()));
    const minijson::Value& header = report["header"];
    EXPECT_EQ(header["width"].num(), 5);
    EXPECT_EQ(header["height"].num(), 4);
    EXPECT_EQ(header["tileWidth"].num(), 8);
    EXPECT_EQ(header["tileHeight"].num(), 8);
    EXPECT_EQ(header["depth"].num(), 16);
    EXPECT_EQ(header["blockRecordSize"].num(), 32);
    EXPECT_EQ(header["blockCount"].num(), 6);
    EXPECT_EQ(header["graphicCount"].num(), 3);
    EXPECT_FALSE(header["littleEndian"].flag());
    EXPECT_EQ(report["colourMapBytes"].num(), 0);

    const minijson::Value& chunks = report["chunks"];
    ASSERT_EQ(chunks.items.size(), 7u);
    const char* tags[] = {"MPHD", "BKDT", "ANDT", "BGFX", "BODY", "LYR2", "EDIT"};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(chunks[i]["tag"].str(), tags[i]);
        EXPECT_EQ(chunks[i]["offset"].num(), double(chunkOffset(image, tags[i])));
        EXPECT_EQ(chunks[i]["known"].flag(), i != 6) << tags[i];
        EXPECT_FALSE(chunks[i]["truncated"].flag());
    }
    EXPECT_EQ(chunks[6]["length"].num(), 3);
    EXPECT_EQ(chunks[3]["length"].num(), 3 * 8 * 8 * 2);

    const minijson::Value& layers = report["layers"];
    ASSERT_EQ(layers.items.size(), 8u);
    EXPECT_TRUE(layers[0]["present"].flag());
    EXPECT_EQ(layers[0]["distinctBlocks"].num(), 3);
    EXPECT_EQ(layers[0]["animatedCells"].num(), 1);
    EXPECT_FALSE(layers[1]["present"].flag());
    EXPECT_FALSE(layers[1].has("distinctBlocks"));
    EXPECT_EQ(layers[2]["tag"].str(), "LYR2");
    EXPECT_EQ(layers[2]["distinctBlocks"].num(), 1);
    EXPECT_EQ(layers[2]["animatedCells"].num(), 2);

    const minijson::Value& anims = report["animations"];
    ASSERT_EQ(anims.items.size(), 2u);
    EXPECT_EQ(anims[0]["mode"].num(), 1);
    EXPECT_EQ(anims[0]["delay"].num(), 3);
    EXPECT_EQ(anims[0]["frames"].num(), 3);
    EXPECT_EQ(anims[1]["mode"].num(), 5);
    EXPECT_EQ(anims[1]["frames"].num(), 2);
    EXPECT_EQ(report["frameListEntries"].num(), 5);
    EXPECT_EQ(report["blockCount"].num(), 6);
}

TEST(FmapinfoReport, EmptyFormIsAValidMapWithNothingInIt)
{
    std::string path = writeFile(scratchFolder("empty"), "empty.fmp", tmapwriter::buildForm({}));
    ToolResult result = runTool(fmapinfo("--json " + shellQuoted(path)));
    ASSERT_EQ(result.status, 0) << result.err;
    minijson::Value report = minijson::parse(result.out);
    EXPECT_EQ(report["chunks"].items.size(), 0u);
    EXPECT_EQ(report["animations"].items.size(), 0u);
    EXPECT_EQ(report["header"]["width"].num(), 0);
    for (const minijson::Value& layer : report["layers"].items)
        EXPECT_FALSE(layer["present"].flag());
}

TEST(FmapinfoUsage, HelpAndBadArguments)
{
    ToolResult help = runTool(fmapinfo("--help"));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: fmapinfo [--json] MAP"), std::string::npos) << help.out;

    ToolResult none = runTool(fmapinfo(""));
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.err.find("usage:"), std::string::npos);

    ToolResult unknown = runTool(fmapinfo("--colour x.fmp"));
    EXPECT_NE(unknown.status, 0);
    EXPECT_NE(unknown.err.find("unknown option --colour"), std::string::npos) << unknown.err;
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
