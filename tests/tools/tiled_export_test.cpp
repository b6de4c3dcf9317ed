// Maps exported by fmapconvert, checked by Tiled itself: tmxrasterizer draws
// each layer of the export as fmaprender draws that layer of the original,
// and Tiled converts our files between its two formats without losing
// anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "mapgen.h"
#include "mapwriter.h"
#include "pngfile.h"
#include "tiledtest.h"
#include "toolrun.h"

using tmapwriter::Map;

namespace {

struct PictureCase {
    const char* name;
    Map (*make)();
    const char* format; // the export's extension
};

const PictureCase pictureCases[] = {
    {"vorla", tmapgen::makeVorlaMap, ".tmj"},
    {"test2a", tmapgen::makeTest2aMap, ".tmx"},
    {"flips", flipsMap, ".tmj"},
};

nlohmann::json readJson(const std::string& path)
{
    std::ifstream in(path);
    return nlohmann::json::parse(in, nullptr, false);
}

// What a Tiled map holds, without what each writer adds of its own: the
// properties, the tiles' animations and properties, each layer's name,
// cells and properties.
nlohmann::json content(const nlohmann::json& map)
{
    nlohmann::json layers = nlohmann::json::array();
    for (const nlohmann::json& layer : map.value("layers", nlohmann::json::array()))
        layers.push_back({layer.value("name", ""), layer.value("data", nlohmann::json()),
                          layer.value("properties", nlohmann::json())});
    const nlohmann::json tilesets = map.value("tilesets", nlohmann::json::array());
    const nlohmann::json tileset = tilesets.empty() ? nlohmann::json::object() : tilesets[0];
    return {map.value("width", 0), map.value("height", 0), map.value("properties", nlohmann::json()),
            tileset.value("image", ""), tileset.value("tiles", nlohmann::json()), layers};
}

} // namespace

class TiledPictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(TiledPictures, EachLayerOfAnExportLooksAsFmaprenderDrawsIt)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const PictureCase& c = GetParam();
    const std::string folder = scratchFolder(std::string("pictures-") + c.name);
    const Map map = c.make();
    const std::string original = writeFile(folder, "map.fmp", tmapwriter::buildImage(map));
    const std::string exported = folder + "/map" + c.format;
    ASSERT_EQ(convert(original, exported).status, 0);

    std::vector<std::pair<std::string, std::string>> views; // fmaprender --layers, tmxrasterizer options
    for (int layer = 0; layer < 8; ++layer)
        if (map.layers[layer])
            views.push_back({std::to_string(layer), "--show-layer " + tmapwriter::layerTag(layer)});
    views.push_back({"all", ""});
    for (const auto& [layers, tiledOptions] : views) {
        SCOPED_TRACE("layers " + layers);
        const std::string ours = folder + "/ours-" + layers + ".png";
        const std::string theirs = folder + "/tiled-" + layers + ".png";
        ToolResult render = runTool(shellQuoted(FMAPRENDER_PATH) + " --scale 1 --background none --layers " + layers
                                    + " " + shellQuoted(original) + " " + shellQuoted(ours));
        ASSERT_EQ(render.status, 0) << render.err;
        ToolResult rasterize = runTool("QT_QPA_PLATFORM=offscreen tmxrasterizer --no-smoothing " + tiledOptions + " "
                                       + shellQuoted(exported) + " " + shellQuoted(theirs));
        ASSERT_EQ(rasterize.status, 0) << rasterize.err;
        EXPECT_EQ(pictureDifference(readPicture(ours), readPicture(theirs)), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, TiledPictures, ::testing::ValuesIn(pictureCases),
                         [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

TEST(TiledFormats, TiledConvertsOurTmxToJsonAndBackLosingNothing)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::string folder = scratchFolder("tiled-formats");
    const std::string original = writeFile(folder, "map.fmp", tmapwriter::buildImage(flipsMap()));
    ASSERT_EQ(convert(original, folder + "/ours.tmj").status, 0);
    ASSERT_EQ(convert(original, folder + "/ours.tmx").status, 0);
    ASSERT_EQ(tiledExport(folder + "/ours.tmx", folder + "/tiled.tmj").status, 0);
    ASSERT_EQ(tiledExport(folder + "/tiled.tmj", folder + "/tiled.tmx").status, 0);
    ASSERT_EQ(tiledExport(folder + "/tiled.tmx", folder + "/again.tmj").status, 0);
    const nlohmann::json ours = content(readJson(folder + "/ours.tmj"));
    EXPECT_EQ(content(readJson(folder + "/tiled.tmj")), ours);
    EXPECT_EQ(content(readJson(folder + "/again.tmj")), ours);
}

TEST(FmapconvertExport, AFailureIsOneLineAndLeavesOutAsItWas)
{
    const std::string folder = scratchFolder("export-failure");
    const std::string notAMap = writeFile(folder, "broken.fmp", tmapwriter::Bytes{'F', 'O', 'R', 'X', 0, 0, 0, 4});
    const std::string out = folder + "/out.tmj";
    std::ofstream(out) << "what was there";
    const auto filesBefore = std::distance(std::filesystem::directory_iterator(folder), {});

    const ToolResult broken = convert(notAMap, out);
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "fmapconvert: " + notAMap + ": not a readable map file (error 2)\n");

    const std::string map = writeFile(folder, "map.fmp", tmapwriter::buildImage(flipsMap()));
    const ToolResult nowhere = convert(map, folder + "/no-such-folder/out.tmx");
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(std::count(nowhere.err.begin(), nowhere.err.end(), '\n'), 1) << nowhere.err;
    EXPECT_NE(nowhere.err.find("no-such-folder/out"), std::string::npos) << nowhere.err;

    // The image cannot replace what stands in its place: the map stays too.
    std::filesystem::create_directory(folder + "/out-tiles.png");
    const ToolResult blocked = convert(map, out);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(std::count(blocked.err.begin(), blocked.err.end(), '\n'), 1) << blocked.err;
    EXPECT_NE(blocked.err.find("out-tiles.png"), std::string::npos) << blocked.err;

    std::ifstream kept(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "what was there");
    // Only map.fmp and the folder in the image's way are new: no temporary file stays.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), filesBefore + 2);
}

// A chunk the library skips (an editor's own) cannot travel in a Tiled map:
// the export says so, and says nothing of a map without one.
TEST(FmapconvertExport, ChunksTheLibrarySkipsAreLeftOutWithANote)
{
    const std::string folder = scratchFolder("export-skipped-chunks");
    const std::string odd = std::string(TILVOGL_SEED_DIR) + "/seed-odd-chunks.fmp";
    const ToolResult withChunk = convert(odd, folder + "/odd.tmj");
    EXPECT_EQ(withChunk.status, 0) << withChunk.err;
    EXPECT_EQ(withChunk.err, "fmapconvert: " + odd + ": chunk \"EDIT\" (3 bytes at offset 44) is left out: the library "
                             "skips it, so a Tiled map cannot carry it\n");
    const ToolResult plain = convert(writeFile(folder, "flips.fmp", tmapwriter::buildImage(flipsMap())),
                                     folder + "/flips.tmj");
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
}
