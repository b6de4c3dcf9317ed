// Tiled's own example maps imported by fmapconvert: fmaprender draws each
// tile layer, and all of them together, as Tiled's tmxrasterizer draws the
// original; the isometric, hexagonal and odd-sized ones are refused with a
// clear line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tiledtest.h"
#include "tiledtestmaps.h"
#include "toolrun.h"

namespace {

struct Example {
    std::vector<std::string> files;   // the map first
    std::vector<std::string> layers;  // tile layers compared one by one, in draw order
    bool compareAll;                  // all layers together too (not when a layer has opacity)
    std::string notes;                // what the conversion says besides the map, "" for nothing
};

const Example orthogonal[] = {
    // An external tileset with margin and spacing, zlib-compressed data.
    {{"desert.tmx", "desert.tsx", "tmw_desert_spacing.png"}, {"Ground"}, true, ""},
    // Three layers, an animated tile and an object layer that is skipped.
    {{"rpg/island.tmx", "rpg/beach_tileset.tsx", "rpg/beach_tileset.png"}, {"Ground", "Fringe", "Over"}, true,
     "skipped 1 object layer"},
    {{"orthogonal-outside.tmx.gz", "buch-outdoor.png"}, {"Ground", "Fringe"}, true, "skipped 1 object layer"},
    // A transparent colour ("trans"); the top layer's opacity has no place in a map file.
    {{"sewers.tmx", "sewer_tileset.png"}, {"Bottom"}, false, "layer \"Top\": opacity 0.49 dropped"},
};

// Draws each view of an imported map with fmaprender and the original with tmxrasterizer.
// notes: what the conversion must say, or "" when it must say nothing.
void expectPicturesMatch(const std::string& folder, const std::string& map, const std::vector<std::string>& layers,
                         bool compareAll, const std::string& notes)
{
    const std::string imported = folder + "/imported.fmp";
    const ToolResult conversion = convert(map, imported);
    ASSERT_EQ(conversion.status, 0) << conversion.err;
    if (notes.empty())
        EXPECT_EQ(conversion.err, "");
    else
        EXPECT_NE(conversion.err.find(notes), std::string::npos) << conversion.err;
    std::vector<std::pair<std::string, std::string>> views; // fmaprender --layers, tmxrasterizer options
    std::string allLayers;
    for (size_t k = 0; k < layers.size(); ++k) {
        views.push_back({std::to_string(k), "--show-layer " + shellQuoted(layers[k])});
        allLayers += " --show-layer " + shellQuoted(layers[k]);
    }
    if (compareAll)
        views.push_back({"all", allLayers});
    for (const auto& [view, tiledOptions] : views) {
        SCOPED_TRACE("layers " + view);
        const std::string ours = folder + "/ours-" + view + ".png";
        const std::string theirs = folder + "/tiled-" + view + ".png";
        const ToolResult render = runTool(shellQuoted(FMAPRENDER_PATH) + " --scale 1 --background none --layers "
                                          + view + " " + shellQuoted(imported) + " " + shellQuoted(ours));
        ASSERT_EQ(render.status, 0) << render.err;
        const ToolResult rasterize = runTool("QT_QPA_PLATFORM=offscreen tmxrasterizer --no-smoothing --ignore-visibility "
                                             + tiledOptions + " " + shellQuoted(map) + " " + shellQuoted(theirs));
        ASSERT_EQ(rasterize.status, 0) << rasterize.err;
        EXPECT_EQ(pictureDifference(readPicture(ours), readPicture(theirs)), "");
    }
}

} // namespace

// The tests' own small maps: every flip combination, several tilesets with
// margin, spacing, a transparent colour and an image collection.
TEST(TiledExamples, SmallMapsLookAsTiledDrawsThem)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::pair<const char*, tiledtest::Map> maps[] = {{"flips", tiledtest::flipMap()},
                                                           {"tilesets", tiledtest::severalTilesetsMap()}};
    for (const auto& [name, map] : maps) {
        SCOPED_TRACE(name);
        const std::string folder = scratchFolder(std::string("small-") + name);
        for (const auto& [file, bytes] : tiledtest::writeMap(map, "map.tmx"))
            writeFile(folder, file, tmapwriter::Bytes(bytes.begin(), bytes.end()));
        // Layers in the order of their numbers in the map file.
        std::vector<std::string> layers;
        for (const char* layer : {"upper", "top", "LYR2", "BODY"})
            for (const tiledtest::Layer& candidate : map.layers)
                if (candidate.name == layer)
                    layers.push_back(layer);
        const char* notes = map.objectLayers > 0 ? "skipped 1 object layer" : "";
        expectPicturesMatch(folder, folder + "/map.tmx", layers, false, notes);
    }
}

TEST(TiledExamples, OrthogonalExamplesImportAndLookAsTiledDrawsThem)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    for (const Example& example : orthogonal) {
        SCOPED_TRACE(example.files[0]);
        const std::string folder = scratchFolder("example-" + std::filesystem::path(example.files[0]).stem().string());
        const std::string map = copyExample(folder, example.files);
        expectPicturesMatch(folder, map, example.layers, example.compareAll, example.notes);
    }
}

TEST(TiledExamples, OtherOrientationsAndOddTileSizesAreRefusedWithOneLine)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"isometric_grass_and_water.tmx"}, "the map is isometric; only orthogonal maps can be converted"},
        {{"isometric_staggered_grass_and_water.tmx.gz"}, "the map is staggered; only orthogonal maps"},
        {{"hexagonal-mini.tmx"}, "the map is hexagonal; only orthogonal maps"},
        {{"test_hexagonal_tile_60x60x30.tmx"}, "the map is hexagonal; only orthogonal maps"},
        {{"perspective_walls.tmx", "perspective_walls.tsx", "perspective_walls.png"},
         "of tileset \"perspective_walls\" (perspective_walls.tsx) is 64 x 64 pixels, the map's tiles are 31 x 31"},
    };
    for (const auto& [files, message] : refused) {
        SCOPED_TRACE(files[0]);
        const std::string folder = scratchFolder("refused-" + std::filesystem::path(files[0]).stem().string());
        const ToolResult conversion = convert(copyExample(folder, files), folder + "/out.fmp");
        EXPECT_EQ(conversion.status, 1);
        EXPECT_NE(conversion.err.find(message), std::string::npos) << conversion.err;
        EXPECT_EQ(std::count(conversion.err.begin(), conversion.err.end(), '\n'), 1) << conversion.err;
        EXPECT_FALSE(std::filesystem::exists(folder + "/out.fmp"));
    }
}
