// Where a load puts the tile graphics, recorded: names the library generates
// and deletes, the filter, and the contexts and arguments a load refuses
// before it makes any GL call.
#include <gmock/gmock.h>

#include <climits>
#include <functional>

#include "test_support.h"

using support::load;
using support::Map;

namespace {

class LoadModes : public LibraryTest {};

std::vector<unsigned> generatedNames() {
    return std::vector<unsigned>(tmapTextureNames, tmapTextureNames + tmapGraphicCount);
}

std::vector<unsigned> namesBound() {
    std::vector<unsigned> out;
    for (const gldouble::Call& c : gldouble::callsNamed("glBindTexture")) out.push_back(unsigned(c.arg(1)));
    return out;
}

// Every call but the binds, as text.
std::vector<std::string> callsBesideBinds() {
    std::vector<std::string> out;
    for (const gldouble::Call& c : gldouble::calls())
        if (c.name != "glBindTexture") out.push_back(c.str());
    return out;
}

TEST_F(LoadModes, GeneratedNamesServeEveryDrawAndAreDeletedWithTheMap) {
    const Map map = support::sampleMap(24, true);
    ASSERT_EQ(load(map, TMAP_TEXTURES_GENERATED), 0) << tmapErrorString(tmapError);
    ASSERT_NE(tmapTextureNames, nullptr);
    const std::vector<unsigned> names = generatedNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_THAT(names, ::testing::Not(::testing::Contains(0u)));
    // One glGenTextures for all graphics, then each graphic uploaded into its name.
    EXPECT_EQ(gldouble::trace().front(), "glGenTextures(3)");
    EXPECT_EQ(gldouble::count("glGenTextures"), 1u);
    EXPECT_EQ(namesBound(), names);

    // Each draw, in either order, makes the calls that caller-chosen names
    // make, binding the generated name of the graphic where those bind
    // 10 + graphic.
    const std::vector<std::function<void()>> draws = {
        [] { tmapDrawLayer(0, 0, 3, 2, 0, 0, 0, 1, -1); },
        [] { tmapDrawLayerSecondGraphic(0, 0, 3, 2, 0, 0, 0, 1, -1); },
        [] { tmapDrawBlocks(0, 0, 3, 2, 0, 0, 0, 1, -1); },
    };
    for (int order : {TMAP_DRAW_CELL_ORDER, TMAP_DRAW_BY_TEXTURE}) {
        tmapDrawOrder = order;
        for (size_t d = 0; d < draws.size(); ++d) {
            ASSERT_EQ(load(map, 10), 0);
            gldouble::reset();
            draws[d]();
            const std::vector<std::string> chosenCalls = callsBesideBinds();
            const std::vector<unsigned> chosenBinds = namesBound();

            ASSERT_EQ(load(map, TMAP_TEXTURES_GENERATED), 0);
            std::vector<unsigned> expectedBinds;
            for (unsigned name : chosenBinds) expectedBinds.push_back(generatedNames().at(name - 10));
            gldouble::reset();
            draws[d]();
            EXPECT_EQ(callsBesideBinds(), chosenCalls) << "order " << order << ", draw " << d;
            EXPECT_EQ(namesBound(), expectedBinds) << "order " << order << ", draw " << d;
        }
    }
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;

    // The next load deletes the names before it makes its own.
    const std::vector<unsigned> before = generatedNames();
    gldouble::reset();
    ASSERT_EQ(load(map, TMAP_TEXTURES_GENERATED), 0);
    ASSERT_GE(gldouble::calls().size(), 2u);
    EXPECT_EQ(gldouble::calls()[0].name, "glDeleteTextures");
    EXPECT_EQ(std::vector<unsigned>(gldouble::calls()[0].ints.begin(), gldouble::calls()[0].ints.end()), before);
    EXPECT_EQ(gldouble::calls()[1].name, "glGenTextures");

    // tmapRelease deletes them, once.
    const std::vector<unsigned> last = generatedNames();
    gldouble::reset();
    tmapRelease();
    tmapRelease();
    ASSERT_EQ(gldouble::calls().size(), 1u) << gldouble::dump();
    EXPECT_EQ(gldouble::calls()[0].name, "glDeleteTextures");
    EXPECT_EQ(std::vector<unsigned>(gldouble::calls()[0].ints.begin(), gldouble::calls()[0].ints.end()), last);
    EXPECT_EQ(tmapTextureNames, nullptr);

    // A decode that fails after its graphics makes no texture at all: the
    // textures are made once the whole map has decoded.
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(map);
    chunks.push_back(tmapwriter::makeChunk("BODY", {1, 2, 3}));
    gldouble::reset();
    EXPECT_EQ(load(tmapwriter::buildForm(chunks), TMAP_TEXTURES_GENERATED), -1);
    EXPECT_EQ(gldouble::count("glGenTextures"), 0u);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0u);
    EXPECT_EQ(gldouble::count("glDeleteTextures"), 0u);
    EXPECT_EQ(tmapTextureNames, nullptr);
}

TEST_F(LoadModes, CallerChosenNamesAreNeverDeleted) {
    ASSERT_EQ(load(support::sampleMap(16, false), 10), 0);
    EXPECT_EQ(tmapTextureNames, nullptr);
    gldouble::reset();
    ASSERT_EQ(load(support::sampleMap(16, false), 10), 0);
    tmapRelease();
    EXPECT_EQ(gldouble::count("glDeleteTextures"), 0u);
    EXPECT_EQ(gldouble::count("glGenTextures"), 0u);
}

TEST_F(LoadModes, FilterIsReadAtLoad) {
    const Map map = support::sampleMap(24, false);
    for (unsigned filter : {unsigned(GL_NEAREST), unsigned(GL_LINEAR)}) {
        tmapTextureFilter = filter;
        gldouble::reset();
        ASSERT_EQ(load(map, 10), 0);
        const std::string name = gldouble::enumName(filter);
        EXPECT_EQ(gldouble::trace({"glTexParameteri"})[2], "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_MAG_FILTER," + name + ")");
        EXPECT_EQ(gldouble::trace({"glTexParameteri"})[3], "glTexParameteri(GL_TEXTURE_2D,GL_TEXTURE_MIN_FILTER," + name + ")");
    }
    tmapTextureFilter = GL_LINEAR;
}

// A refused load makes no GL call, keeps no map and names its reason.
void expectRefused(int firstTexture, int code, const std::string& what,
                   const std::function<void()>& setUp = gldouble::reset) {
    setUp();
    EXPECT_EQ(load(support::sampleMap(24, false), firstTexture), -1) << what;
    EXPECT_EQ(tmapError, code) << what;
    EXPECT_TRUE(gldouble::calls().empty()) << what << "\n" << gldouble::dump();
    EXPECT_TRUE(support::noMap()) << what;
}

TEST_F(LoadModes, TexturesNeedAContextThatTakesThem) {
    struct Context {
        const char* what;
        bool current;
        const char* version;
        GLint flags;
        GLint profile;
        bool takesTextures;
    };
    const Context contexts[] = {
        {"OpenGL 1.2", true, "1.2 gldouble", 0, 0, true},
        {"3.0, not forward-compatible", true, "3.0 Mesa 22", 0, 0, true},
        {"4.5 compatibility profile", true, "4.5 (Compatibility Profile) Mesa 22", 0, 2, true},
        {"no context current", false, "", 0, 0, false},
        {"3.3 core profile", true, "3.3 (Core Profile) Mesa 22", 0, 1, false},
        {"3.0 forward-compatible", true, "3.0 Mesa 22", 1, 0, false},
        {"OpenGL ES 3.2", true, "OpenGL ES 3.2 Mesa 22", 0, 0, false},
    };
    for (const Context& c : contexts) {
        for (int firstTexture : {10, TMAP_TEXTURES_GENERATED}) {
            const std::string what = std::string(c.what) + ", firstTexture " + std::to_string(firstTexture);
            auto setUp = [&] {
                gldouble::reset();
                gldouble::setContextCurrent(c.current);
                gldouble::setVersion(c.version);
                gldouble::setInteger(GL_CONTEXT_FLAGS, c.flags);
                gldouble::setInteger(GL_CONTEXT_PROFILE_MASK, c.profile);
            };
            setUp();
            if (c.takesTextures) {
                EXPECT_EQ(load(support::sampleMap(24, false), firstTexture), 0) << what;
                EXPECT_EQ(gldouble::count("glTexImage2D"), 3u) << what;
            } else {
                expectRefused(firstTexture, TMAP_ERROR_NO_GL_CONTEXT, what, setUp);
            }
            // Kept pixels need no context at all.
            tmapRelease();
            setUp();
            EXPECT_EQ(load(support::sampleMap(24, false), TMAP_TEXTURES_NONE), 0) << what;
            EXPECT_TRUE(gldouble::calls().empty()) << what;
            tmapRelease();
        }
    }
}

TEST_F(LoadModes, UnknownModesAndFiltersAreRefused) {
    for (int firstTexture : {-3, -1000, INT_MIN})
        expectRefused(firstTexture, TMAP_ERROR_INVALID_ARGUMENT, "firstTexture " + std::to_string(firstTexture));
    for (unsigned filter : {0u, unsigned(GL_LINEAR_MIPMAP_LINEAR), 0xFFFFFFFFu}) {
        tmapTextureFilter = filter;
        for (int firstTexture : {10, TMAP_TEXTURES_GENERATED, TMAP_TEXTURES_NONE})
            expectRefused(firstTexture, TMAP_ERROR_INVALID_ARGUMENT, "filter " + std::to_string(filter));
    }
    tmapTextureFilter = GL_LINEAR;
    // The previous map goes with the refused load, like any failed decode.
    ASSERT_EQ(load(support::sampleMap(24, false), 10), 0);
    expectRefused(-3, TMAP_ERROR_INVALID_ARGUMENT, "after a map");
}

} // namespace
