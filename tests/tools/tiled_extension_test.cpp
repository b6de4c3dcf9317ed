// Tiled's extension for map files, run by Tiled itself through its command
// line, each run in a HOME of its own where the extension is enabled by the
// command the docs give: saving writes what fmapconvert writes, opening shows what
// fmaprender draws and saves back the same bytes, refusals are fmapconvert's
// own line, and nothing temporary is left anywhere.
//
// The extension under test is the build's, or the file that
// TILVOGL_TILED_EXTENSION names (scripts/check-install passes the installed
// one); the command that enables it lies beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mapgen.h"
#include "mapwriter.h"
#include "tiledtest.h"
#include "tiledtestmaps.h"
#include "tilvogl/tilvogl.h"
#include "toolrun.h"

namespace fs = std::filesystem;

namespace {

std::string extensionUnderTest()
{
    const char* chosen = std::getenv("TILVOGL_TILED_EXTENSION");
    return chosen != nullptr && *chosen != '\0' ? chosen : TILED_EXTENSION_PATH;
}

// A user of Tiled: a HOME whose Tiled has the extension, enabled by the
// command beside it (or copied into its extensions folder by hand), and
// nothing in its cache.
struct TiledUser {
    std::string home;
    std::string cache() const { return home + "/.cache/tilvogl/tiled"; }
};

TiledUser newUser(const std::string& name, bool enabled = true)
{
    TiledUser user{scratchFolder("tiled-user-" + name)};
    fs::create_directories(user.home + "/run");
    fs::permissions(user.home + "/run", fs::perms::owner_all);
    if (enabled) {
        const std::string enable = (fs::path(extensionUnderTest()).parent_path() / "enable").string();
        const ToolResult run =
            runTool("env -u XDG_CONFIG_HOME HOME=" + shellQuoted(user.home) + " " + shellQuoted(enable));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("enabled TilvoGL map files in Tiled"), std::string::npos) << run.out;
    } else {
        const fs::path extensions = fs::path(user.home) / ".config/tiled/extensions";
        fs::create_directories(extensions);
        fs::copy_file(extensionUnderTest(), extensions / "tilvogl.js");
    }
    return user;
}

// tiled ARGUMENTS as the user, without a display; path replaces PATH and
// folder is the working folder, when given.
ToolResult runTiled(const TiledUser& user, const std::string& arguments, const std::string& path = "",
                    const std::string& folder = "")
{
    return runTool((folder.empty() ? "" : "cd " + shellQuoted(folder) + " && ") + "env -u XDG_CACHE_HOME HOME="
                   + shellQuoted(user.home) + " XDG_RUNTIME_DIR=" + shellQuoted(user.home + "/run")
                   + " QT_QPA_PLATFORM=offscreen" + (path.empty() ? "" : " PATH=" + shellQuoted(path))
                   + " \"$(command -v tiled)\" " + arguments);
}

ToolResult tiledExportMap(const TiledUser& user, const std::string& format, const std::string& in,
                          const std::string& out, const std::string& path = "")
{
    return runTiled(user, "--export-map " + format + " " + shellQuoted(in) + " " + shellQuoted(out), path);
}

// What a run left in the cache besides the tileset images of the maps it opened.
std::vector<std::string> leftovers(const TiledUser& user)
{
    std::vector<std::string> names;
    if (fs::exists(user.cache()))
        for (const auto& entry : fs::directory_iterator(user.cache())) {
            const std::string name = entry.path().filename().string();
            if (name.size() < 10 || name.compare(name.size() - 10, 10, "-tiles.png") != 0)
                names.push_back(name);
        }
    return names;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What fmapconvert said of in: its lines, each without "fmapconvert: IN: ".
std::vector<std::string> reasons(const std::string& errors, const std::string& in)
{
    const std::string prefix = "fmapconvert: " + in + ": ";
    std::vector<std::string> lines;
    std::istringstream text(errors);
    for (std::string line; std::getline(text, line);) {
        EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
        lines.push_back(line.substr(std::min(prefix.size(), line.size())));
    }
    return lines;
}

void expectSaid(const ToolResult& tiled, const std::string& fileName, const std::vector<std::string>& said)
{
    for (const std::string& reason : said)
        EXPECT_NE(tiled.err.find("fmapconvert: " + fileName + ": " + reason), std::string::npos)
            << "Tiled did not pass on \"" << reason << "\":\n"
            << tiled.err;
}

} // namespace

TEST(TiledExtension, TiledListsTheFormat)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const ToolResult formats = runTiled(newUser("formats"), "--export-formats");
    ASSERT_EQ(formats.status, 0) << formats.err;
    EXPECT_NE(formats.out.find("\n fmp\n"), std::string::npos) << formats.out;
}

// Saved in Tiled (its map through the extension), a Tiled map becomes the
// map file that fmapconvert makes of it, and Tiled passes fmapconvert's notes on.
TEST(TiledExtension, SavingInTiledWritesWhatFmapconvertWrites)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const TiledUser user = newUser("saving");
    const std::pair<const char*, tiledtest::Map> made[] = {{"flips", tiledtest::flipMap()},
                                                           {"animation", tiledtest::animationMap()},
                                                           {"infinite", tiledtest::infiniteMap()},
                                                           {"tilesets", tiledtest::severalTilesetsMap()},
                                                           {"properties", tiledtest::propertiesMap()}};
    std::vector<std::pair<std::string, std::string>> maps; // name, path
    for (const auto& [name, map] : made) {
        const std::string folder = scratchFolder(std::string("saving-") + name);
        for (const auto& [file, bytes] : tiledtest::writeMap(map, "map.tmx"))
            writeFile(folder, file, tmapwriter::Bytes(bytes.begin(), bytes.end()));
        maps.push_back({name, folder + "/map.tmx"});
    }
    const std::vector<std::vector<std::string>> tiledExamples = {
        {"desert.tmx", "desert.tsx", "tmw_desert_spacing.png"},
        {"rpg/island.tmx", "rpg/beach_tileset.tsx", "rpg/beach_tileset.png"},
        {"sewers.tmx", "sewer_tileset.png"}};
    for (const std::vector<std::string>& files : tiledExamples)
        maps.push_back({files[0], copyExample(scratchFolder("saving-" + fs::path(files[0]).stem().string()), files)});

    for (const auto& [name, map] : maps) {
        SCOPED_TRACE(name);
        const std::string out = fs::path(map).replace_extension(".fmp").string();
        const ToolResult direct = convert(map, out);
        ASSERT_EQ(direct.status, 0) << direct.err;
        const std::string expected = readBytes(out);
        fs::remove(out);
        const ToolResult tiled = tiledExportMap(user, "fmp", map, out);
        ASSERT_EQ(tiled.status, 0) << tiled.err;
        EXPECT_TRUE(readBytes(out) == expected) << "Tiled's save differs from fmapconvert's map file";
        expectSaid(tiled, out, reasons(direct.err, map));
    }
    EXPECT_EQ(leftovers(user), std::vector<std::string>());
}

// Map files opened in Tiled through the extension: the demo maps, the
// flips map and the fuzz seeds of every depth in both byte orders.
std::vector<std::string> mapFilesToOpen()
{
    std::vector<std::string> names = {"vorla", "test2a", "flips"};
    for (const char* depth : {"8", "15", "16", "24", "32"})
        for (const char* order : {"le", "be"})
            names.push_back(std::string("seed-d") + depth + "-" + order + ".fmp");
    return names;
}

// The map file with its animations where tmapResetAnims puts them, as
// fmaprender draws them; Tiled starts each at the frame the file stores.
tmapwriter::Bytes withAnimationsReset(tmapwriter::Bytes image)
{
    EXPECT_EQ(tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE), 0) << tmapErrorString(tmapError);
    tmapResetAnims();
    tmapwriter::Map reset;
    reset.littleEndian = tmapLittleEndian != 0;
    reset.frames.assign(tmapAnimFrames, tmapAnimFrames + tmapAnimFrameCount);
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& a = tmapAnims[n];
        reset.anims.push_back({uint8_t(a.mode), uint8_t(a.delay), uint8_t(a.countdown), uint8_t(a.user), a.current,
                               a.start, a.end});
    }
    tmapRelease();
    const long at = tmapwriter::chunkOffset(image, "ANDT");
    if (at >= 0) {
        const tmapwriter::Bytes data = tmapwriter::buildAnimChunk(reset).data;
        EXPECT_EQ(tmapwriter::Bytes(image.begin() + at + 4, image.begin() + at + 8),
                  tmapwriter::Bytes({uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                                     uint8_t(data.size())}));
        std::copy(data.begin(), data.end(), image.begin() + at + 8);
    }
    return image;
}

class TiledOpens : public ::testing::TestWithParam<std::string> {};

// Opened in Tiled, a map file shows as fmaprender draws it (tmxrasterizer
// draws what Tiled holds, saved as TMX), and saved again unedited it is the
// same file byte for byte.
TEST_P(TiledOpens, AsFmaprenderDrawsItAndSavesBackTheSameBytes)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::string folder = scratchFolder("opens-" + GetParam());
    tmapwriter::Bytes image;
    const std::pair<const char*, tmapwriter::Map (*)()> made[] = {
        {"vorla", tmapgen::makeVorlaMap}, {"test2a", tmapgen::makeTest2aMap}, {"flips", flipsMap}};
    for (const auto& [name, make] : made)
        if (GetParam() == name)
            image = tmapwriter::buildImage(make());
    if (image.empty()) {
        const std::string seed = readBytes(std::string(TILVOGL_SEED_DIR) + "/" + GetParam());
        ASSERT_FALSE(seed.empty()) << GetParam();
        image = withAnimationsReset(tmapwriter::Bytes(seed.begin(), seed.end()));
    }
    const std::string original = writeFile(folder, "map.fmp", image);
    const TiledUser user = newUser("opens-" + GetParam());

    const std::string drawn = folder + "/fmaprender.png";
    const ToolResult render = runTool(std::string(FMAPRENDER_PATH) + " --scale 1 --layers all --background none "
                                      + shellQuoted(original) + " " + shellQuoted(drawn));
    ASSERT_EQ(render.status, 0) << render.err;
    const ToolResult opened = tiledExportMap(user, "tmx", original, folder + "/opened.tmx");
    ASSERT_EQ(opened.status, 0) << opened.err;
    const ToolResult rasterized = runTool("QT_QPA_PLATFORM=offscreen tmxrasterizer --no-smoothing "
                                          + shellQuoted(folder + "/opened.tmx") + " "
                                          + shellQuoted(folder + "/tiled.png"));
    ASSERT_EQ(rasterized.status, 0) << rasterized.err;
    EXPECT_EQ(pictureDifference(readPicture(drawn), readPicture(folder + "/tiled.png")), "");

    const ToolResult saved = tiledExportMap(user, "fmp", original, folder + "/saved.fmp");
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(readBytes(folder + "/saved.fmp") == readBytes(original)) << "the map file changed on its way";
    EXPECT_EQ(leftovers(user), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Maps, TiledOpens, ::testing::ValuesIn(mapFilesToOpen()), mapTestName);

// What fmapconvert refuses fails in Tiled with fmapconvert's own line, and
// leaves no file: neither the one asked for (an existing map file stays as it
// was) nor anything temporary.
TEST(TiledExtension, RefusalsFailInTiledWithFmapconvertsLine)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    tiledtest::Map nineLayers = tiledtest::flipMap();
    for (int i = 0; i < 8; ++i)
        nineLayers.layers.push_back({"more" + std::to_string(i), nineLayers.layers[0].gids, {}, {}, false});
    tiledtest::Map outOfRange = tiledtest::flipMap();
    outOfRange.tilesets[0].tiles.push_back({1, {}, {{"userByte1", "int", "256"}}, ""});
    struct Case {
        const char* what;
        std::string in, out; // out ends in .fmp: a save; else an open
    };
    std::vector<Case> cases;
    for (const auto& [name, map] : {std::make_pair("nine layers", nineLayers), std::make_pair("out of range", outOfRange)}) {
        const std::string folder = scratchFolder(std::string("refused-") + name);
        for (const auto& [file, bytes] : tiledtest::writeMap(map, "map.tmx"))
            writeFile(folder, file, tmapwriter::Bytes(bytes.begin(), bytes.end()));
        cases.push_back({name, folder + "/map.tmx", folder + "/map.fmp"});
    }
    const std::string isometric = scratchFolder("refused-isometric");
    cases.push_back({"isometric", copyExample(isometric, {"isometric_grass_and_water.tmx"}), isometric + "/map.fmp"});
    const std::string malformed = scratchFolder("refused-malformed");
    cases.push_back({"malformed map file",
                     writeFile(malformed, "broken.fmp", {'F', 'O', 'R', 'M', 0, 0, 0, 16, 'F', 'M', 'A', 'P', 'M', 'P', 'H', 'D', 0, 0, 0, 2, 'a', 'b'}),
                     malformed + "/broken.tmx"});

    const TiledUser user = newUser("refusals");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool saving = fs::path(c.out).extension() == ".fmp";
        if (saving) {
            std::ofstream(c.out) << "an earlier map file";
        }
        const std::vector<std::string> before = filesIn(fs::path(c.out).parent_path().string());
        const ToolResult direct = convert(c.in, c.out);
        ASSERT_EQ(direct.status, 1) << direct.err;
        const ToolResult tiled = tiledExportMap(user, saving ? "fmp" : "tmx", c.in, c.out);
        EXPECT_EQ(tiled.status, 1) << tiled.err; // Tiled's failure, not a crash
        expectSaid(tiled, saving ? c.out : c.in, reasons(direct.err, c.in));
        EXPECT_EQ(filesIn(fs::path(c.out).parent_path().string()), before);
        if (saving) {
            EXPECT_EQ(readBytes(c.out), "an earlier map file");
        }
        EXPECT_EQ(leftovers(user), std::vector<std::string>());
        if (!saving && fs::exists(user.cache())) {
            EXPECT_EQ(filesIn(user.cache()), std::vector<std::string>());
        }
    }
}

// What fmapconvert notes on opening reaches the map maker too.
TEST(TiledExtension, OpeningPassesFmapconvertsNotesOn)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::string odd = std::string(TILVOGL_SEED_DIR) + "/seed-odd-chunks.fmp";
    const std::string folder = scratchFolder("opening-notes");
    const ToolResult direct = convert(odd, folder + "/direct.tmx");
    ASSERT_EQ(direct.status, 0) << direct.err;
    ASSERT_NE(direct.err, "");
    const ToolResult tiled = tiledExportMap(newUser("opening-notes"), "tmx", odd, folder + "/opened.tmx");
    ASSERT_EQ(tiled.status, 0) << tiled.err;
    expectSaid(tiled, odd, reasons(direct.err, odd));
}

TEST(TiledExtension, PathsWithSpacesQuotesAndOtherLettersWorkBothWays)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::string folder = scratchFolder("names") + "/Grüße \"aus\" 'Köln' & $HOME";
    fs::create_directories(folder);
    tiledtest::Map map = tiledtest::animationMap();
    map.tilesets[0].image = "Blätter 'und' Äste.png";
    for (const auto& [file, bytes] : tiledtest::writeMap(map, "Karte 1 'ä' \"ö\".tmx"))
        writeFile(folder, file, tmapwriter::Bytes(bytes.begin(), bytes.end()));
    const std::string tmx = folder + "/Karte 1 'ä' \"ö\".tmx";
    const std::string direct = folder + "/Karte 1 'ä' \"ö\" direct.fmp";
    const std::string saved = folder + "/Karte 1 'ä' \"ö\".fmp";
    ASSERT_EQ(convert(tmx, direct).status, 0);

    const TiledUser user = newUser("names");
    const ToolResult save = tiledExportMap(user, "fmp", tmx, saved);
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_TRUE(readBytes(saved) == readBytes(direct));
    const std::string again = folder + "/Zurück \"ö\".fmp";
    const ToolResult reopen = tiledExportMap(user, "fmp", saved, again);
    ASSERT_EQ(reopen.status, 0) << reopen.err;
    EXPECT_TRUE(readBytes(again) == readBytes(saved));
    EXPECT_EQ(leftovers(user), std::vector<std::string>());

    // Named from the map's own folder, as in a terminal there: Tiled then
    // holds a JSON map's paths relative to that folder.
    for (const auto& [file, bytes] : tiledtest::writeMap(map, "Karte 2.tmj"))
        writeFile(folder, file, tmapwriter::Bytes(bytes.begin(), bytes.end()));
    const std::vector<std::string> before = filesIn(folder);
    for (const std::string& name : {fs::path(tmx).filename().string(), std::string("Karte 2.tmj")}) {
        SCOPED_TRACE(name);
        const ToolResult relative = runTiled(user, "--export-map fmp " + shellQuoted(name) + " here.fmp", "", folder);
        ASSERT_EQ(relative.status, 0) << relative.err;
        EXPECT_TRUE(readBytes(folder + "/here.fmp") == readBytes(direct));
        fs::remove(folder + "/here.fmp");
        EXPECT_EQ(filesIn(folder), before);
    }
}

// A copied extension has no fmapconvert beside it and looks on PATH: none
// there, or one older than the extension, is said plainly; a current one works.
TEST(TiledExtension, WithoutASuitableFmapconvertTheReasonIsPlain)
{
    ASSERT_TRUE(tiledInstalled()) << tiledMissing;
    const std::string folder = scratchFolder("finding");
    const std::string map = writeFile(folder, "flips.fmp", tmapwriter::buildImage(flipsMap()));
    fs::create_directories(folder + "/old");
    std::ofstream(folder + "/old/fmapconvert") << "#!/bin/sh\necho 'fmapconvert 0.9.0'\n";
    fs::permissions(folder + "/old/fmapconvert", fs::perms::owner_all);
    fs::create_directories(folder + "/none");
    const std::string current = fs::path(FMAPCONVERT_PATH).parent_path().string();
    struct Case {
        const char* what;
        std::string path;
        const char* said; // "" when the map opens
    };
    const Case cases[] = {
        {"none", folder + "/none", "TilvoGL map files need fmapconvert, which is neither beside this extension"},
        {"too old", folder + "/old", "fmapconvert on PATH is version 0.9.0; TilvoGL map files need fmapconvert"},
        {"current", current, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TiledUser user = newUser(std::string("finding-") + c.what, false);
        const ToolResult opened = tiledExportMap(user, "tmx", map, folder + "/opened.tmx", c.path);
        EXPECT_EQ(opened.status, *c.said == '\0' ? 0 : 1) << opened.err;
        EXPECT_NE(opened.err.find(c.said), std::string::npos) << opened.err;
        fs::remove(folder + "/opened.tmx");
    }
}
