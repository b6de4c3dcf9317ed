// fmapconvert, Tiled -> map file: small Tiled maps written by the tests are
// converted by the program, loaded by the library into an offscreen GL, and
// every cell is compared, texel by texel, with what Tiled shows for it.
#include <GL/gl.h> // glBindTexture, glGetTexImage: the pixels the library uploaded
#include <gtest/gtest.h>

#include <zlib.h> // crc32, to forge a PNG header

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp> // the settings of a test map's layers

#include "offscreen.h"
#include "pngfile.h"
#include "tiledtestmaps.h"
#include "tilvogl/tilvogl.h"
#include "toolrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using tiledtest::flipD;
using tiledtest::flipH;
using tiledtest::flipV;
using tiledtest::Rgba;

const int firstTexture = 1;

struct Conversion {
    ToolResult run;
    std::string folder, out;
};

// Writes the map's files into a fresh folder and converts map -> out.fmp.
Conversion convert(const tiledtest::Files& files, const std::string& mapName, const std::string& options = "",
                   const std::string& test = "convert")
{
    static int serial = 0;
    Conversion conversion;
    conversion.folder = scratchFolder(test + std::to_string(++serial));
    for (const auto& [name, bytes] : files) {
        std::filesystem::create_directories(std::filesystem::path(conversion.folder + "/" + name).parent_path());
        writeFile(conversion.folder, name, tmapwriter::Bytes(bytes.begin(), bytes.end()));
    }
    conversion.out = conversion.folder + "/out.fmp";
    conversion.run = runTool(std::string(FMAPCONVERT_PATH) + " " + options + " "
                             + shellQuoted(conversion.folder + "/" + mapName) + " " + shellQuoted(conversion.out));
    return conversion;
}

class ImportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(tmapoffscreen::openContext(64, 64)); }
    static void TearDownTestSuite()
    {
        tmapRelease();
        tmapoffscreen::closeContext();
    }

    // Converts and loads; the test fails if either step does.
    void importAndLoad(const tiledtest::Files& files, const std::string& mapName, const std::string& options = "")
    {
        conversion = convert(files, mapName, options);
        ASSERT_EQ(conversion.run.status, 0) << conversion.run.err;
        ASSERT_EQ(tmapLoadFile(conversion.out.c_str(), firstTexture), 0) << tmapErrorString(tmapError);
        textures.clear();
    }

    // The texel a cell shows at tile pixel (x, y): its block's first graphic, mirrored by its flags.
    Rgba shown(int layer, int cellX, int cellY, int x, int y)
    {
        EXPECT_EQ(tmapSelectLayer(unsigned(layer)), layer);
        const TmapBlock* block = tmapBlockAt(cellX, cellY);
        if (block == nullptr) {
            ADD_FAILURE() << "cell " << cellX << "," << cellY << " names no block";
            return {};
        }
        if (block->flags & TMAP_FLAG_MIRROR_S)
            x = tmapTileWidth - 1 - x;
        if (block->flags & TMAP_FLAG_MIRROR_T)
            y = tmapTileHeight - 1 - y;
        const std::vector<uint8_t>& pixels = texture(block->graphic1);
        const size_t at = (size_t(y) * size_t(tmapTileWidth) + size_t(x)) * 4;
        return {pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]};
    }

    const std::vector<uint8_t>& texture(int graphic)
    {
        std::vector<uint8_t>& pixels = textures[graphic];
        if (pixels.empty()) {
            pixels.resize(size_t(tmapTileWidth) * size_t(tmapTileHeight) * 4);
            glBindTexture(GL_TEXTURE_2D, GLuint(firstTexture + graphic));
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        }
        return pixels;
    }

    // Every texel of every cell of a layer against what Tiled shows for its gid.
    void expectLayerShows(int layer, const std::vector<uint32_t>& gids, const tiledtest::Map& map)
    {
        for (int cy = 0; cy < tmapHeight; ++cy)
            for (int cx = 0; cx < tmapWidth; ++cx)
                for (int y = 0; y < tmapTileHeight; ++y)
                    for (int x = 0; x < tmapTileWidth; ++x) {
                        const uint32_t gid = gids[size_t(cy * tmapWidth + cx)];
                        const Rgba expected = tiledShows(map, gid, x, y);
                        const Rgba actual = shown(layer, cx, cy, x, y);
                        if (expected[3] == 0)
                            ASSERT_EQ(actual[3], 0) << "layer " << layer << " cell " << cx << "," << cy;
                        else
                            ASSERT_EQ(actual, expected) << "layer " << layer << " cell " << cx << "," << cy
                                                        << " texel " << x << "," << y << " gid " << gid;
                    }
    }

    // Tiled's picture of a gid: diagonal flip (x/y swap) first, then horizontal, then vertical.
    static Rgba tiledShows(const tiledtest::Map& map, uint32_t gid, int x, int y)
    {
        const uint32_t bare = gid & 0x0FFFFFFFu;
        if (bare == 0)
            return {0, 0, 0, 0};
        const tiledtest::Tileset* tileset = nullptr;
        for (const tiledtest::Tileset& candidate : map.tilesets)
            if (candidate.firstGid <= bare)
                tileset = &candidate;
        if (gid & flipH)
            x = map.tileWidth - 1 - x;
        if (gid & flipV)
            y = map.tileHeight - 1 - y;
        if (gid & flipD)
            std::swap(x, y);
        Rgba colour = tiledtest::tilePixel(tileset->firstTile + int(bare - tileset->firstGid), x, y);
        if (!tileset->transparent.empty()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%02x%02x%02x", colour[0], colour[1], colour[2]);
            if (tileset->transparent == hex)
                colour[3] = 0;
        }
        return colour;
    }

    // Each cell shows what its gid names in an exported map's tileset:
    // tile graphicCount + n is animation n, any other tile t the block of
    // graphic t with the gid's flips as mirror flags.
    void expectCellsShowTiles(int layer, const std::vector<uint32_t>& gids, uint32_t graphicCount)
    {
        ASSERT_EQ(tmapSelectLayer(unsigned(layer)), layer);
        for (size_t i = 0; i < gids.size(); ++i) {
            SCOPED_TRACE("layer " + std::to_string(layer) + " cell " + std::to_string(i));
            const uint32_t tile = (gids[i] & 0x0FFFFFFFu) - 1;
            const int32_t value = tmapCurrentLayer[i];
            if (gids[i] == 0) {
                EXPECT_EQ(value, 0);
            } else if (tile >= graphicCount) {
                EXPECT_EQ(value, -int32_t(tile - graphicCount) - 1);
            } else {
                ASSERT_GE(value, 0);
                EXPECT_EQ(tmapBlocks[value].graphic1, int32_t(tile));
                EXPECT_EQ(tmapBlocks[value].flags & 0xC0,
                          ((gids[i] & flipH) ? 0x40 : 0) | ((gids[i] & flipV) ? 0x80 : 0));
            }
        }
    }

    // The blocks added to an exported map's first restoredCount are one
    // per tile and mirror combination that the painted cells need and no
    // restored plain block shows already.
    void expectNewBlocksDistinctAndComplete(int restoredCount, const std::vector<std::vector<uint32_t>>& layers,
                                            uint32_t graphicCount)
    {
        const auto showing = [](int32_t graphic, int mirror) { return std::make_pair(graphic, mirror); };
        std::set<std::pair<int32_t, int>> restored, needed, added;
        for (int k = 0; k < restoredCount; ++k)
            if (!(tmapBlocks[k].flags & TMAP_FLAG_STACKED))
                restored.insert(showing(tmapBlocks[k].graphic1, tmapBlocks[k].flags & 0xC0));
        for (const std::vector<uint32_t>& gids : layers)
            for (uint32_t gid : gids) {
                const uint32_t tile = (gid & 0x0FFFFFFFu) - 1;
                const auto shows = showing(int32_t(tile), ((gid & flipH) ? 0x40 : 0) | ((gid & flipV) ? 0x80 : 0));
                if (gid != 0 && tile < graphicCount && restored.count(shows) == 0)
                    needed.insert(shows);
            }
        for (int k = restoredCount; k < tmapBlockCount; ++k)
            EXPECT_TRUE(added.insert(showing(tmapBlocks[k].graphic1, tmapBlocks[k].flags & 0xC0)).second)
                << "block " << k << " shows what an earlier new block shows";
        EXPECT_EQ(added, needed);
    }

    Conversion conversion;
    std::map<int, std::vector<uint8_t>> textures;
};

// ---- One driver per dimension ----

TEST_F(ImportTest, EveryFlipCombinationShowsWhatTiledShows)
{
    const tiledtest::Map map = tiledtest::flipMap();
    for (const char* name : {"map.tmj", "map.tmx"}) {
        SCOPED_TRACE(name);
        importAndLoad(tiledtest::writeMap(map, name), name);
        expectLayerShows(0, map.layers[0].gids, map);
        // The tile once, its transposed copy once, and the transparent graphic 0.
        EXPECT_EQ(tmapGraphicCount, 3);
    }
}

// A layer of a kind this import does not know (one a later Tiled may add),
// at the top and in a group, is skipped with a note in either format.
TEST_F(ImportTest, LayersOfAnUnknownKindAreSkippedWithANote)
{
    tiledtest::Map map = tiledtest::flipMap();
    map.layers.push_back({"grouped", map.layers[0].gids, {}, {}, true});
    for (const char* name : {"map.tmj", "map.tmx"}) {
        SCOPED_TRACE(name);
        tiledtest::Files files = tiledtest::writeMap(map, name);
        std::string& text = files[name];
        if (std::string(name) == "map.tmx") {
            text.insert(text.rfind("</group>"), "<sketch name=\"in group\" id=\"90\"/>\n");
            text.insert(text.rfind("</map>"), "<sketch name=\"on top\" id=\"91\"><properties/></sketch>\n");
        } else {
            nlohmann::json root = nlohmann::json::parse(text);
            for (nlohmann::json& layer : root["layers"])
                if (layer["type"] == "group")
                    layer["layers"].push_back({{"type", "sketch"}, {"name", "in group"}, {"id", 90}});
            root["layers"].push_back({{"type", "sketch"}, {"name", "on top"}, {"id", 91}});
            text = root.dump(1);
        }
        importAndLoad(files, name);
        for (const char* layer : {"in group", "on top"})
            EXPECT_NE(conversion.run.err.find(std::string("skipped layer \"") + layer + "\" of unknown type \"sketch\""),
                      std::string::npos)
                << conversion.run.err;
        EXPECT_EQ(std::count(conversion.run.err.begin(), conversion.run.err.end(), '\n'), 2) << conversion.run.err;
        expectLayerShows(0, map.layers[0].gids, map);
        expectLayerShows(1, map.layers[1].gids, map);
    }
}

TEST_F(ImportTest, EveryEncodingAndCompressionReadsTheSameCells)
{
    static const char* const encodings[][2] = {{"csv", ""},         {"base64", ""},     {"base64", "zlib"},
                                               {"base64", "gzip"},  {"base64", "zstd"}, {"xml", ""}};
    tiledtest::Map map = tiledtest::severalTilesetsMap();
    for (const auto& encoding : encodings)
        for (const char* name : {"map.tmj", "map.tmx"}) {
            map.encoding = encoding[0];
            map.compression = encoding[1];
            SCOPED_TRACE(std::string(name) + " " + encoding[0] + " " + encoding[1]);
            importAndLoad(tiledtest::writeMap(map, name), name);
            // LYR2 keeps its number; "upper" (in a group) and "top" take the free 0 and 1.
            expectLayerShows(2, map.layers[0].gids, map);
            expectLayerShows(0, map.layers[1].gids, map);
            expectLayerShows(1, map.layers[2].gids, map);
            EXPECT_EQ(tmapLayers[3], nullptr);
            EXPECT_NE(conversion.run.err.find("skipped 1 object layer"), std::string::npos) << conversion.run.err;
            EXPECT_NE(conversion.run.err.find("skipped 1 image layer"), std::string::npos) << conversion.run.err;
        }
}

// Sets an attribute of a tile layer, or of the group around it, in a map
// the tests wrote: Tiled writes the same settings in both formats.
void setLayerAttribute(std::string& text, bool tmx, const std::string& layer, bool onGroup, const std::string& name,
                       const std::string& value)
{
    if (tmx) {
        const std::string tag = onGroup ? "<group name=\"group of " + layer + "\"" : "<layer name=\"" + layer + "\"";
        const size_t at = text.find(tag);
        ASSERT_NE(at, std::string::npos) << tag;
        text.insert(at + tag.size(), " " + name + "=\"" + value + "\"");
        return;
    }
    nlohmann::json map = nlohmann::json::parse(text);
    for (nlohmann::json& entry : map["layers"]) {
        nlohmann::json& target = onGroup || entry["type"] != "group" ? entry : entry["layers"][0];
        const nlohmann::json& tileLayer = entry["type"] == "group" ? entry["layers"][0] : entry;
        if (tileLayer["name"] != layer)
            continue;
        if (name == "visible")
            target[name] = value == "1";
        else if (name == "tintcolor")
            target[name] = value;
        else
            target[name] = std::stod(value);
    }
    text = map.dump(1);
}

// A layer's or its group's settings that a map file cannot keep: one note
// each, naming the layer and the setting, none with --quiet; the cells are
// drawn as before. A hidden layer is left out, the next taking its number.
TEST_F(ImportTest, LayerSettingsAMapFileCannotKeepAreNotedAndHiddenLayersLeftOut)
{
    struct Case {
        const char* attribute;
        const char* value;
        bool onGroup;
        const char* note;
    };
    const Case cases[] = {
        {"opacity", "0.5", false, "layer \"upper\": opacity 0.5 dropped"},
        {"opacity", "0.25", true, "layer \"upper\": opacity 0.25 (from group \"group of upper\") dropped"},
        {"tintcolor", "#ff8000", false, "layer \"upper\": tint colour #ff8000 dropped"},
        {"tintcolor", "#80ffffff", true,
         "layer \"upper\": tint colour #80ffffff (from group \"group of upper\") dropped"},
        {"offsetx", "8", false, "layer \"upper\": offset 8,0 pixels dropped"},
        {"offsety", "-4.5", true, "layer \"upper\": offset 0,-4.5 pixels (from group \"group of upper\") dropped"},
        {"parallaxx", "0.5", false, "layer \"upper\": parallax factor 0.5,1 dropped"},
        {"parallaxy", "2", true, "layer \"upper\": parallax factor 1,2 (from group \"group of upper\") dropped"},
        {"visible", "0", false, "layer \"upper\": hidden, left out"},
        {"visible", "0", true, "layer \"upper\": hidden (from group \"group of upper\"), left out"},
    };
    const tiledtest::Map map = tiledtest::severalTilesetsMap();
    for (const Case& c : cases)
        for (const char* name : {"map.tmj", "map.tmx"}) {
            SCOPED_TRACE(std::string(name) + ": " + c.note);
            tiledtest::Files files = tiledtest::writeMap(map, name);
            setLayerAttribute(files[name], name == std::string("map.tmx"), "upper", c.onGroup, c.attribute, c.value);
            importAndLoad(files, name);
            const std::string& notes = conversion.run.err;
            EXPECT_NE(notes.find("map." + std::string(name).substr(4) + ": " + c.note), std::string::npos) << notes;
            EXPECT_EQ(std::count(notes.begin(), notes.end(), '\n'), 3) << "one note besides the two skipped layers: "
                                                                        << notes;
            const bool hidden = c.attribute == std::string("visible");
            // "upper" takes the free number 0, "top" the next; hidden, "top" takes 0.
            expectLayerShows(0, map.layers[hidden ? 2 : 1].gids, map);
            if (hidden)
                EXPECT_EQ(tmapLayers[1], nullptr);
            else
                expectLayerShows(1, map.layers[2].gids, map);
            // One quiet run per format: it prints nothing at all.
            if (&c == &cases[0]) {
                importAndLoad(files, name, "--quiet");
                EXPECT_EQ(conversion.run.err, "");
            }
        }
}

// A texel stored in 5 or 6 bits a channel and widened back by the library:
// transparent stays transparent; an opaque one stays opaque, each channel
// within one stored step of the original (greenSlack for green), black and
// white exactly; the colour key's colour comes back as the least green that
// is not the key.
void expectNarrowedTexel(const Rgba& in, const Rgba& got, int greenSlack)
{
    SCOPED_TRACE("texel " + std::to_string(in[0]) + "," + std::to_string(in[1]) + "," + std::to_string(in[2]) + ","
                 + std::to_string(in[3]));
    if (in[3] < 128) {
        EXPECT_EQ(got[3], 0);
        return;
    }
    EXPECT_EQ(got[3], 255);
    if (in[0] >= 248 && in[1] < 8 && in[2] >= 248) {
        EXPECT_EQ(got, (Rgba{255, uint8_t(greenSlack + 1), 255, 255}));
        return;
    }
    for (int channel = 0; channel < 3; ++channel) {
        const int slack = channel == 1 ? greenSlack : 7;
        EXPECT_LE(std::abs(int(got[size_t(channel)]) - int(in[size_t(channel)])), slack) << "channel " << channel;
        if (in[size_t(channel)] == 0 || in[size_t(channel)] == 255) {
            EXPECT_EQ(got[size_t(channel)], in[size_t(channel)]) << "channel " << channel;
        }
    }
}

// The written depth: each texel of a tile that holds the awkward colours.
TEST_F(ImportTest, EachDepthConvertsTexelsAndKeysAsTheLibraryShowsThem)
{
    tiledtest::Map map;
    map.width = 1;
    map.height = 1;
    map.layers.push_back({"BODY", {1}, {}, {}, false});
    tiledtest::Files files = tiledtest::writeMap(map, "map.tmj");
    const std::vector<Rgba> texels = {{255, 0, 255, 255}, {10, 20, 30, 100}, {200, 100, 50, 200}, {0, 0, 0, 0},
                                      {255, 0, 254, 255}, {1, 2, 3, 255},    {255, 255, 255, 255}, {90, 60, 30, 127}};
    tmapimage::Image sheet;
    sheet.width = 16;
    sheet.height = 8;
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x) {
            const Rgba& texel = texels[size_t((y % 4 * 4 + x % 4) % 8)]; // texel i at (i % 4, i / 4) of each tile
            sheet.rgba.insert(sheet.rgba.end(), texel.begin(), texel.end());
        }
    std::vector<uint8_t> png;
    std::string reason;
    ASSERT_TRUE(tmapimage::writePngMemory(sheet, png, reason));
    files["tiles.png"] = std::string(png.begin(), png.end());
    map.tilesets[0].image = "tiles.png";
    files["map.tmj"] = tiledtest::writeMap(map, "map.tmj")["map.tmj"];

    struct Case {
        int depth;
        const char* moved; // expected note, or nullptr
        Rgba (*expect)(Rgba);
    };
    static Rgba (*const keep)(Rgba) = [](Rgba c) { return c; };
    const Case cases[] = {
        {32, nullptr, keep},
        {24, "2 opaque texels", [](Rgba c) -> Rgba {
             if (c[3] < 128) return {255, 0, 255, 0};
             if (c == Rgba{255, 0, 255, 255}) return {255, 1, 255, 255};
             return {c[0], c[1], c[2], 255}; }},
        {16, "4 opaque texels", nullptr},
        {15, "4 opaque texels", nullptr},
        {8, nullptr, [](Rgba c) -> Rgba { return c[3] < 128 ? Rgba{0, 0, 0, 0} : Rgba{c[0], c[1], c[2], 255}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        importAndLoad(files, "map.tmj", "--depth " + std::to_string(c.depth));
        EXPECT_EQ(tmapDepth, c.depth);
        if (c.moved)
            EXPECT_NE(conversion.run.err.find(c.moved), std::string::npos) << conversion.run.err;
        else
            EXPECT_EQ(conversion.run.err.find("opaque texel"), std::string::npos) << conversion.run.err;
        for (int i = 0; i < 8; ++i) {
            const Rgba in = texels[size_t(i)];
            const Rgba got = shown(0, 0, 0, i % 4, i / 4);
            if (c.expect != nullptr) {
                const Rgba want = c.expect(in);
                if (want[3] == 0)
                    EXPECT_EQ(got[3], 0) << "texel " << i;
                else
                    EXPECT_EQ(got, want) << "texel " << i;
            } else {
                expectNarrowedTexel(in, got, c.depth == 16 ? 3 : 7);
            }
        }
    }
}

TEST_F(ImportTest, AnimationsPlayEachFrameAsLongAsTiledDoes)
{
    const tiledtest::Map map = tiledtest::animationMap();
    for (const char* name : {"map.tmj", "map.tmx"}) {
        SCOPED_TRACE(name);
        importAndLoad(tiledtest::writeMap(map, name), name);
        ASSERT_EQ(tmapAnimCount, 2); // the tile as it is, and flipped vertically
        EXPECT_EQ(tmapSelectLayer(0), 0);
        EXPECT_EQ(tmapCurrentLayer[0], -1);
        EXPECT_EQ(tmapCurrentLayer[2], -2);
        tmapResetAnims();
        // Frames last 100, 300 and 50 ms: tiles 1, 2, 3, over a 450 ms loop.
        for (int tick = 0; tick < 100; ++tick) {
            const int ms = (tick * 10) % 450;
            const uint32_t tile = ms < 100 ? 1 : ms < 400 ? 2 : 3;
            ASSERT_EQ(shown(0, 0, 0, 1, 2), tiledShows(map, tile + 1, 1, 2)) << "tick " << tick;
            ASSERT_EQ(shown(0, 2, 0, 1, 2), tiledShows(map, (tile + 1) | flipV, 1, 2)) << "tick " << tick;
            tmapStepAnims();
        }
    }
}

TEST_F(ImportTest, InfiniteMapsAreBoundedByTheirChunks)
{
    const tiledtest::Map map = tiledtest::infiniteMap();
    for (const char* name : {"map.tmj", "map.tmx"}) {
        SCOPED_TRACE(name);
        importAndLoad(tiledtest::writeMap(map, name), name);
        EXPECT_EQ(tmapWidth, 48);
        EXPECT_EQ(tmapHeight, 32);
        EXPECT_NE(conversion.run.err.find("cell -16,-16 is cell 0,0"), std::string::npos) << conversion.run.err;
        std::vector<uint32_t> gids(48 * 32, 0);
        for (const tiledtest::Chunk& chunk : map.layers[0].chunks)
            for (int i = 0; i < 256; ++i)
                gids[size_t((chunk.y + 16 + i / 16) * 48 + chunk.x + 16 + i % 16)] = chunk.gids[size_t(i)];
        expectLayerShows(0, gids, map);
    }
}

TEST_F(ImportTest, TilePropertiesFillTheBlockFields)
{
    importAndLoad(tiledtest::writeMap(tiledtest::propertiesMap(), "map.tmx"), "map.tmx");
    EXPECT_EQ(tmapSelectLayer(0), 0);
    for (int x = 0; x < 2; ++x) {
        const TmapBlock* block = tmapBlockAt(x, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->userLong1, 4000000000u);
        EXPECT_EQ(block->userLong2, 0xFFFFFFFEu);
        EXPECT_EQ(block->userShort1, 0xFFFF);
        EXPECT_EQ(block->userShort2, 0x1234);
        EXPECT_EQ(block->userByte1, 200);
        EXPECT_EQ(block->userByte2, 128);
        EXPECT_EQ(block->userByte3, 7);
        // The mirror bits follow the cell's flip; the others are the property's.
        EXPECT_EQ(block->flags, x == 0 ? 0x21 : 0x61);
    }
}

// Tilesets and images outside the map's folder are read, with a note naming
// them; what is not a regular file is not read at all.
TEST_F(ImportTest, FilesOutsideTheMapsFolderAreReadWithANote)
{
    tiledtest::Map map = tiledtest::flipMap();
    map.tilesets[0].image = "../shared/tiles.png";
    tiledtest::Files files = tiledtest::writeMap(map, "map.tmx");
    importAndLoad({{"maps/map.tmx", files["map.tmx"]}, {"shared/tiles.png", files["../shared/tiles.png"]}},
                  "maps/map.tmx");
    EXPECT_NE(conversion.run.err.find("reads " + conversion.folder + "/shared/tiles.png, outside the map's folder"),
              std::string::npos)
        << conversion.run.err;
    expectLayerShows(0, map.layers[0].gids, map);
    // Tiled's extension vouches for the files: Tiled has read them already.
    importAndLoad({{"maps/map.tmx", files["map.tmx"]}, {"shared/tiles.png", files["../shared/tiles.png"]}},
                  "maps/map.tmx", "--trusted-paths");
    EXPECT_EQ(conversion.run.err, "");
    expectLayerShows(0, map.layers[0].gids, map);

    map.tilesets[0].image = "/dev/zero";
    tiledtest::Files device = tiledtest::writeMap(map, "map.tmx");
    device.erase("/dev/zero");
    conversion = convert(device, "map.tmx");
    EXPECT_EQ(conversion.run.status, 1);
    EXPECT_NE(conversion.run.err.find("image /dev/zero: /dev/zero is not a regular file"), std::string::npos)
        << conversion.run.err;
}

// A map opened through a linked folder: ".." goes back along the path as
// written, as in Tiled, not from where the link leads (which holds other tiles).
TEST_F(ImportTest, PathsThroughALinkedFolderLeadWhereTiledLooks)
{
    tiledtest::Map map = tiledtest::flipMap();
    map.tilesets[0].image = "../tiles.png";
    tiledtest::Files files = tiledtest::writeMap(map, "map.tmx");
    const std::string folder = scratchFolder("linked");
    std::filesystem::create_directories(folder + "/elsewhere/maps");
    std::filesystem::create_directories(folder + "/project");
    writeFile(folder + "/elsewhere/maps", "map.tmx", tmapwriter::Bytes(files["map.tmx"].begin(), files["map.tmx"].end()));
    writeFile(folder + "/project", "tiles.png", tmapwriter::Bytes(files["../tiles.png"].begin(), files["../tiles.png"].end()));
    const std::string otherTiles = tiledtest::tilePng(5, 16, 8);
    writeFile(folder + "/elsewhere", "tiles.png", tmapwriter::Bytes(otherTiles.begin(), otherTiles.end()));
    std::filesystem::create_directory_symlink(folder + "/elsewhere/maps", folder + "/project/maps");

    const std::string out = folder + "/out.fmp";
    const ToolResult run = runTool(std::string(FMAPCONVERT_PATH) + " " + shellQuoted(folder + "/project/maps/map.tmx")
                                   + " " + shellQuoted(out));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(tmapLoadFile(out.c_str(), firstTexture), 0) << tmapErrorString(tmapError);
    textures.clear();
    expectLayerShows(0, map.layers[0].gids, map);
}

// A map in the form the export writes (fmap.* properties) comes back field
// for field; cells repainted in Tiled take matching blocks or new ones.
TEST_F(ImportTest, ExportedMapsComeBackFieldForFieldWithRepaintedCells)
{
    tiledtest::Map map;
    map.tilesets[0].tiles = {{6, {{1, 50}, {3, 50}}, {{"fmap.anim", "int", "0"}, {"fmap.mode", "int", "1"}}, ""},
                             {7, {{3, 10}, {2, 10}}, {{"fmap.anim", "int", "1"}, {"fmap.mode", "int", "6"}}, ""}};
    map.properties = {{"fmap.depth", "int", "16"},
                      {"fmap.littleEndian", "bool", "false"},
                      {"fmap.blockRecordSize", "int", "40"},
                      {"fmap.graphicCount", "int", "6"},
                      {"fmap.blocks", "string",
                       "0 0 0 0 0 0 0 0 0 0 0 0\n1 2 3 4 5 6 7 8 9 10 11 32\n1 0 0 0 0 0 0 0 0 0 0 64\n"
                       "2 5 0 0 4000000000 1 65535 2 255 0 1 128\n3 0 0 0 0 0 0 0 0 0 0 0"},
                      {"fmap.anims", "string", "1 4 2 0 1 0 3\n6 0 0 9 2 1 3"},
                      {"fmap.frames", "string", "4 3 2"}};
    // Cells 0..7 hold 0, 1, 2, 3, anim 0, anim 1, 4, 3 as exported; then
    // cell 0 is repainted with anim 1's tile, cell 6 with tile 1 flipped
    // (block 2 shows that), cell 7 with tile 5 (no block yet).
    map.layers = {{"BODY", {8, 2, 2 | flipH, 3 | flipV, 7 | flipV, 8 | flipH, 2 | flipH, 6},
                   {}, {{"fmap.cells", "string", "0 1 2 3 -1 -2 4 3"}}, false},
                  {"LYR3", {2 | flipH, 6 | flipV, 0, 1, 0, 0, 0, 8}, {}, {}, false}};
    for (const char* name : {"map.tmj", "map.tmx"}) {
        SCOPED_TRACE(name);
        importAndLoad(tiledtest::writeMap(map, name), name);
        EXPECT_EQ(tmapDepth, 16);
        EXPECT_EQ(tmapLittleEndian, 0);
        EXPECT_EQ(tmapBlockRecordSize, 40);
        EXPECT_EQ(tmapGraphicCount, 6);
        ASSERT_GE(tmapBlockCount, 5);
        const TmapBlock& stackedBlock = tmapBlocks[1];
        EXPECT_EQ(std::vector<int>({stackedBlock.graphic1, stackedBlock.graphic2, stackedBlock.graphic3,
                                    stackedBlock.graphic4, int(stackedBlock.userLong1), int(stackedBlock.userLong2),
                                    stackedBlock.userShort1, stackedBlock.userShort2, stackedBlock.userByte1,
                                    stackedBlock.userByte2, stackedBlock.userByte3, stackedBlock.flags}),
                  std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 32}));
        EXPECT_EQ(tmapBlocks[3].userLong1, 4000000000u);
        EXPECT_EQ(tmapBlocks[3].flags, 128);
        ASSERT_EQ(tmapAnimCount, 2);
        EXPECT_EQ(std::vector<int>({tmapAnims[1].mode, tmapAnims[1].delay, tmapAnims[1].countdown, tmapAnims[1].user,
                                    tmapAnims[1].current, tmapAnims[1].start, tmapAnims[1].end}),
                  std::vector<int>({6, 0, 0, 9, 2, 1, 3}));
        EXPECT_EQ(std::vector<int32_t>(tmapAnimFrames, tmapAnimFrames + tmapAnimFrameCount),
                  std::vector<int32_t>({4, 3, 2}));
        // Cells as exported keep their values; repainted ones show their new tile.
        EXPECT_EQ(std::vector<int32_t>(tmapLayers[0] + 1, tmapLayers[0] + 6), std::vector<int32_t>({1, 2, 3, -1, -2}));
        expectCellsShowTiles(0, map.layers[0].gids, 6);
        // A layer without fmap.cells (added in Tiled) follows the same repaint rules.
        expectCellsShowTiles(3, map.layers[1].gids, 6);
        EXPECT_EQ(tmapLayers[1], nullptr);
        const std::vector<uint32_t> repainted = {map.layers[0].gids[0], map.layers[0].gids[6], map.layers[0].gids[7]};
        expectNewBlocksDistinctAndComplete(5, {repainted, map.layers[1].gids}, 6);
        // Graphics are the tiles in order, at depth 16 as the library widens them.
        const Rgba source = tiledtest::tilePixel(4, 1, 2);
        const std::vector<uint8_t>& graphic4 = texture(4);
        const size_t at = (2 * 4 + 1) * 4;
        expectNarrowedTexel(source, {graphic4[at], graphic4[at + 1], graphic4[at + 2], graphic4[at + 3]}, 3);
    }
    // Options given on the command line win over the properties.
    importAndLoad(tiledtest::writeMap(map, "map.tmj"), "map.tmj", "--depth 32");
    EXPECT_EQ(tmapDepth, 32);
    EXPECT_EQ(tmapLittleEndian, 0);
}

// ---- Refusals: one line, exit status 1, OUT as it was ----

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TEST(ImportRefusals, EachBrokenMapIsRefusedWithOneLineAndOutLeftAlone)
{
    using Map = tiledtest::Map;
    using Files = tiledtest::Files;
    struct Case {
        const char* what;
        std::function<void(Map&)> editMap;
        std::function<void(Files&, const std::string& mapName)> editFiles;
        const char* options;
        const char* message;
    };
    const auto none = [](Files&, const std::string&) {};
    const Case cases[] = {
        {"isometric", [](Map& m) { m.orientation = "isometric"; }, none, "",
         "the map is isometric; only orthogonal maps"},
        {"nine layers",
         [](Map& m) {
             for (int i = 0; i < 8; ++i)
                 m.layers.push_back({"more" + std::to_string(i), m.layers[0].gids, {}, {}, i == 3});
         },
         none, "", "9 tile layers"},
        {"property out of range", [](Map& m) { m.tilesets[0].tiles.push_back({1, {}, {{"userByte1", "int", "256"}}, ""}); },
         none, "", "tile 1 of tileset \"tiles\": property userByte1 is 256"},
        {"tile without an id", [](Map& m) { m.tilesets[0].tiles.push_back({1, {}, {{"userByte1", "int", "2"}}, ""}); },
         [](Files& f, const std::string& name) {
             if (name == "map.tmx") {
                 replaceAll(f[name], "<tile id=\"1\">", "<tile>");
                 return;
             }
             nlohmann::json root = nlohmann::json::parse(f[name]);
             root["tilesets"][0]["tiles"][0].erase("id");
             f[name] = root.dump();
         },
         "", "tileset \"tiles\": a tile has no id"},
        {"tile of another size",
         [](Map& m) {
             m.tilesets[0].image = "";
             m.tilesets[0].tiles = {{0, {}, {}, "big.png"}};
             m.layers[0].gids.assign(8, 1);
         },
         [](Files& f, const std::string&) { f["big.png"] = tiledtest::tilePng(0, 8, 8); }, "",
         "tile 0 of tileset \"tiles\" is 8 x 8 pixels, the map's tiles are 4 x 4"},
        {"missing tileset", [](Map& m) { m.tilesets[0].file = "gone.tsx"; },
         [](Files& f, const std::string&) { f.erase("gone.tsx"); }, "", "gone.tsx"},
        {"tile id past the tileset", [](Map& m) { m.layers[0].gids[5] = 9; }, none, "",
         "cell 1,1 shows tile 8 of tileset \"tiles\", which has only 8 tiles"},
        {"bad base64", [](Map& m) { m.encoding = "base64"; },
         [](Files& f, const std::string& name) {
             const size_t at = f[name].find("AQAAAAIA");
             ASSERT_NE(at, std::string::npos);
             f[name].insert(at + 4, "!");
         },
         "", "stray character at byte"},
        {"layer that inflates past its size",
         [](Map& m) {
             m.encoding = "base64";
             m.compression = "zlib";
             m.layers[0].gids.resize(100000, 1);
         },
         none, "", "inflates to more than the layer's 32 bytes"},
        {"huge layer", [](Map&) {},
         [](Files& f, const std::string& name) {
             replaceAll(f[name], " width=\"4\"", " width=\"100000\"");
             replaceAll(f[name], " height=\"2\"", " height=\"100000\"");
             replaceAll(f[name], "\"width\": 4", "\"width\": 100000");
             replaceAll(f[name], "\"height\": 2", "\"height\": 100000");
         },
         "", "claims 100000 x 100000 cells"},
        {"PNG claiming a huge size", [](Map&) {},
         [](Files& f, const std::string&) {
             std::string& png = f["tiles.png"];
             const char side[4] = {0, 0, char(0x80), 0}; // 32768 x 32768 in the header chunk
             png.replace(16, 4, side, 4);
             png.replace(20, 4, side, 4);
             const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
             for (int i = 0; i < 4; ++i)
                 png[size_t(29 + i)] = char(crc >> (24 - 8 * i));
         },
         "", "PNG claims 32768 x 32768 pixels"},
        {"more than 255 colours at depth 8",
         [](Map& m) {
             m.tilesets[0].columns = 20;
             m.tilesets[0].rows = 1;
             m.width = 20;
             m.height = 1;
             m.layers[0].gids.clear();
             for (uint32_t i = 1; i <= 20; ++i)
                 m.layers[0].gids.push_back(i);
         },
         none, "--depth 8", "more than 255 colours"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name : {"map.tmj", "map.tmx"}) {
            Map map;
            map.layers = {{"BODY", {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}, false}};
            c.editMap(map);
            Files files = tiledtest::writeMap(map, name);
            c.editFiles(files, name);
            files["out.fmp"] = "old";
            const Conversion conversion = convert(files, name, c.options, "refusal");
            EXPECT_EQ(conversion.run.status, 1) << name;
            EXPECT_NE(conversion.run.err.find(c.message), std::string::npos) << name << ": " << conversion.run.err;
            EXPECT_EQ(std::count(conversion.run.err.begin(), conversion.run.err.end(), '\n'), 1) << conversion.run.err;
            EXPECT_EQ(readBytes(conversion.out), "old");
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(conversion.folder),
                                    std::filesystem::directory_iterator()),
                      std::ptrdiff_t(files.size()))
                << "a temporary file was left behind";
        }
    }
}

// Every input the import's fuzz target ever stopped on, and its seeds, as ordinary runs.
TEST_F(ImportTest, SavedFuzzFindingsAndSeedsRunCleanly)
{
    std::vector<std::string> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(TILED_CORPUS_DIR))
        if (entry.path().extension() != ".md")
            inputs.push_back(readBytes(entry.path()));
    for (const auto& [name, files] : tiledtest::seedMaps())
        inputs.push_back(tiledtest::bundle(files, name.substr(name.size() - 4) == ".tmx" ? "map.tmx" : "map.tmj"));
    for (const std::string& input : inputs)
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size()), 0);
}

} // namespace
