// Several maps: set aside, made current again and released; decoding into a
// handle. Against the recording double: what a switch costs (no allocation,
// no GL call), what travels with a map, and the refusals.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "test_support.h"
#include "tilvogl/tilvogl_gpu.h"

using support::load;
using support::sampleMap;
using tmapwriter::Bytes;
using tmapwriter::buildImage;

namespace {

class Maps : public LibraryTest {};

Bytes sample(int depth) { return buildImage(sampleMap(depth, depth % 2 == 0)); }

TmapMap *aside(const Bytes &image, int firstTexture = TMAP_TEXTURES_GENERATED, TmapLoadError *error = nullptr)
{
    return tmapDecodeBufferAside(image.data(), image.size(), firstTexture, error);
}

// What a program sees of the current map, including the addresses of its
// arrays: a map made current again must be the very same map.
struct Seen {
    support::Model model;
    const void *blocks, *layer, *rows, *names, *pixels;
    std::vector<TmapAnim> anims;
    bool operator==(const Seen &o) const
    {
        return model == o.model && blocks == o.blocks && layer == o.layer && rows == o.rows && names == o.names &&
               pixels == o.pixels && anims == o.anims;
    }
};

Seen seen()
{
    Seen s{support::snapshot(), tmapBlocks, tmapCurrentLayer, tmapCurrentRows, tmapTextureNames, tmapGraphicPixels,
           std::vector<TmapAnim>(tmapAnims, tmapAnims + tmapAnimCount)};
    s.model.textures.clear(); // what the GL log holds, not the map
    return s;
}

TEST_F(Maps, ASwitchMovesTheWholeMapAndCostsNoAllocationAndNoGlCall)
{
    // Map a: generated textures, layer 1 with row tables, animations
    // stepped, drawn grouped so that an order is kept. Map b: caller-chosen
    // names, another depth, stepped differently.
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    ASSERT_EQ(load(sample(8), TMAP_TEXTURES_GENERATED), 0);
    ASSERT_EQ(tmapSelectLayer(1), 1);
    ASSERT_EQ(tmapBuildRowTables(), 0);
    tmapResetAnims();
    for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
    tmapDrawLayer(0, 0, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    const Seen seenA = seen();
    TmapMap *a = tmapSetAside();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(support::noMap());
    EXPECT_EQ(tmapWidth, 0);
    EXPECT_EQ(tmapTextureNames, nullptr);

    TmapMap *b = aside(sample(16), 20);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(tmapMakeCurrent(b), 0);
    tmapResetAnims();
    tmapStepAnims();
    const Seen seenB = seen();
    // b's window lies elsewhere than a's, so the two kept orders differ.
    gldouble::reset();
    tmapDrawLayer(0, 0, 3, 2, 5.0f, 5.0f, 0.0f, 1.0f, 1.0f);
    const std::vector<std::string> drawnB = gldouble::trace({"glBindTexture", "glMultiDrawArrays", "glDrawArrays"});

    // The switches themselves.
    ASSERT_EQ(tmapMakeCurrent(a), 0);
    gldouble::reset();
    tmapAllocationCount = 0;
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(tmapMakeCurrent(b), 0);
        ASSERT_EQ(tmapMakeCurrent(a), 0);
    }
    EXPECT_EQ(gldouble::calls().size(), 0u) << gldouble::dump();
    EXPECT_EQ(tmapAllocationCount, 0);
    EXPECT_TRUE(seen() == seenA) << "map a came back changed";
    // Its kept order came back with it: its window drawn again is worked
    // out nowhere.
    tmapDrawLayer(0, 0, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(tmapGroupedCellsWorkedOut(), 0) << "map a's kept order";

    // A map set aside does not advance; the current one does.
    tmapStepAnims();
    const Seen stepped = seen();
    ASSERT_EQ(tmapMakeCurrent(b), 0);
    EXPECT_TRUE(seen() == seenB) << "map b came back changed";
    // So did b's: the same draw, worked out nowhere.
    gldouble::reset();
    tmapDrawLayer(0, 0, 3, 2, 5.0f, 5.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(gldouble::trace({"glBindTexture", "glMultiDrawArrays", "glDrawArrays"}), drawnB);
    EXPECT_EQ(tmapGroupedCellsWorkedOut(), 0) << "map b's kept order";
    ASSERT_EQ(tmapMakeCurrent(a), 0);
    EXPECT_TRUE(seen() == stepped);

    // Releasing b while a is current deletes nothing of a's; releasing a
    // deletes its generated names.
    const std::vector<unsigned> namesA(tmapTextureNames, tmapTextureNames + tmapGraphicCount);
    gldouble::reset();
    tmapReleaseMap(b);
    EXPECT_EQ(gldouble::count("glDeleteTextures"), 0u) << "b's names were the caller's";
    EXPECT_TRUE(seen() == stepped);
    tmapReleaseMap(a);
    ASSERT_EQ(gldouble::count("glDeleteTextures"), 1u);
    const gldouble::Call deleted = gldouble::callsNamed("glDeleteTextures")[0];
    EXPECT_EQ(std::vector<unsigned>(deleted.ints.begin(), deleted.ints.end()), namesA);
    EXPECT_TRUE(support::noMap());
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
}

TEST_F(Maps, DecodingIntoAHandleTouchesNothingSharedAndReportsAsALoadWould)
{
    // Every map of the corpus and the seeds, valid or not, decoded into a
    // handle while another map is current, against the same image loaded
    // the old way: one decoder, one failure path.
    std::vector<std::string> files = support::corpusFiles();
    ASSERT_GT(files.size(), 20u);
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::ifstream in(path, std::ios::binary);
        const Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(load(sample(24)), 0);
        const Seen before = seen();
        gldouble::reset();
        tmapError = 42;
        TmapLoadError error;
        TmapMap *map = aside(image, TMAP_TEXTURES_NONE, &error);
        EXPECT_EQ(gldouble::calls().size(), 0u);
        EXPECT_EQ(tmapError, 42);
        EXPECT_TRUE(seen() == before) << "the current map changed";
        tmapReleaseMap(map);

        // The old way, for comparison.
        const int result = tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE);
        EXPECT_EQ(map == nullptr, result != 0);
        EXPECT_EQ(error.code, tmapError);
        EXPECT_STREQ(error.chunk, tmapErrorChunk);
        EXPECT_EQ(error.offset, tmapErrorOffset);
    }

    // A file: the system's reason comes with the code.
    TmapLoadError error;
    EXPECT_EQ(tmapLoadFileAside("/no/such/map.fmp", 10, &error), nullptr);
    EXPECT_EQ(error.code, TMAP_ERROR_CANNOT_OPEN);
    EXPECT_EQ(error.system, ENOENT);
    EXPECT_EQ(tmapLoadFileAside("/no/such/map.fmp", 10, nullptr), nullptr) << "the reason is optional";
    std::string path = support::tempPath("aside.fmp");
    ASSERT_TRUE(tmapwriter::saveFile(path, sample(15)));
    TmapMap *map = tmapLoadFileAside(path.c_str(), -3, &error);
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(error.code, TMAP_ERROR_INVALID_ARGUMENT);
    map = tmapLoadFileAside(path.c_str(), TMAP_TEXTURES_NONE, &error);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(error.code, TMAP_ERROR_NONE);
    ASSERT_EQ(tmapMakeCurrent(map), 0);
    ASSERT_EQ(tmapLoadFile(path.c_str(), TMAP_TEXTURES_NONE), 0);
    const support::Model loaded = support::snapshot();
    ASSERT_EQ(tmapMakeCurrent(map), 0) << "the load set the handle's map aside";
    EXPECT_EQ(support::snapshot(), loaded);
    tmapReleaseMap(map);
    std::remove(path.c_str());
}

TEST_F(Maps, TexturesOfAMapDecodedAsideAreMadeAtItsFirstSwitch)
{
    const Bytes image = sample(24);
    ASSERT_EQ(load(image, 10), 0);
    const std::vector<std::string> loadCalls = gldouble::trace();
    tmapRelease();

    TmapMap *map = aside(image, 10);
    ASSERT_NE(map, nullptr);
    gldouble::setContextCurrent(false);
    tmapError = 0;
    EXPECT_EQ(tmapMakeCurrent(map), -1);
    EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
    EXPECT_TRUE(support::noMap()) << "nothing changed";
    gldouble::setContextCurrent(true);
    gldouble::reset();
    ASSERT_EQ(tmapMakeCurrent(map), 0);
    EXPECT_EQ(gldouble::trace(), loadCalls) << "the same textures as a load makes";
    EXPECT_EQ(tmapGraphicPixels, nullptr) << "the textures alone hold the pixels";
    TmapMap *again = tmapSetAside();
    EXPECT_EQ(again, map) << "a map goes back into its own handle";
    gldouble::reset();
    ASSERT_EQ(tmapMakeCurrent(map), 0);
    EXPECT_EQ(gldouble::calls().size(), 0u) << "made once";
    tmapReleaseMap(map);
}

TEST_F(Maps, BadHandlesAndImpossibleSwitchesAreRefusedWithTheirReason)
{
    TmapMap *released = aside(sample(8));
    ASSERT_NE(released, nullptr);
    tmapReleaseMap(released);
    TmapMap *current = aside(sample(8));
    ASSERT_EQ(tmapMakeCurrent(current), 0);
    const Seen before = seen();
    struct Refusal {
        const char *what;
        int (*attempt)(TmapMap *released, TmapMap *current);
        int error;
    };
    const Refusal refusals[] = {
        {"a NULL handle", [](TmapMap *, TmapMap *) { return tmapMakeCurrent(nullptr); }, TMAP_ERROR_BAD_HANDLE},
        {"a released handle", [](TmapMap *r, TmapMap *) { return tmapMakeCurrent(r); }, TMAP_ERROR_BAD_HANDLE},
        {"a made-up handle",
         [](TmapMap *, TmapMap *) {
             static int notAMap;
             return tmapMakeCurrent(reinterpret_cast<TmapMap *>(&notAMap));
         },
         TMAP_ERROR_BAD_HANDLE},
        {"the current map made current again", [](TmapMap *, TmapMap *c) { return tmapMakeCurrent(c); },
         TMAP_ERROR_ALREADY_CURRENT},
        {"an upload of a map with GL textures", [](TmapMap *, TmapMap *) { return tmapGpuUpload(); },
         TMAP_ERROR_TEXTURE_MODE},
    };
    for (const Refusal &r : refusals) {
        tmapError = 0;
        EXPECT_EQ(r.attempt(released, current), -1) << r.what;
        EXPECT_EQ(tmapError, r.error) << r.what;
        EXPECT_TRUE(seen() == before) << r.what;
    }
    tmapReleaseMap(released); // ignored, as is NULL
    tmapReleaseMap(nullptr);
    tmapRelease();
    EXPECT_EQ(tmapMakeCurrent(current), -1) << "tmapRelease released the handle with its map";
    EXPECT_EQ(tmapSetAside(), nullptr);
    EXPECT_EQ(tmapError, TMAP_ERROR_NO_MAP);
}

TEST_F(Maps, FixedFunctionDrawsRefuseAContextWithoutTheFixedPipeline)
{
    const char *const versions[] = {"OpenGL ES 3.2 Mesa", "3.3 (Core Profile) Mesa"};
    for (const char *version : versions) {
        SCOPED_TRACE(version);
        gldouble::setVersion(version);
        gldouble::setInteger(0x9126 /* GL_CONTEXT_PROFILE_MASK */, 1);
        ASSERT_EQ(load(sample(8), TMAP_TEXTURES_NONE), 0);
        gldouble::reset();
        gldouble::setVersion(version);
        gldouble::setInteger(0x9126, 1);
        tmapError = 0;
        EXPECT_EQ(tmapDrawView(0, 0, 6, 4), -1);
        EXPECT_EQ(tmapDrawLayer(0, 0, 3, 2, 0, 0, 0, 1, 1), -1);
        EXPECT_EQ(tmapDrawBlocks(0, 0, 3, 2, 0, 0, 0, 1, 1), -1);
        EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);
        EXPECT_EQ(gldouble::calls().size(), 0u) << gldouble::dump();
        tmapRelease();
    }
    gldouble::reset();
    ASSERT_EQ(load(sample(8), TMAP_TEXTURES_NONE), 0);
    EXPECT_EQ(tmapDrawView(0, 0, 6, 4), 0) << "a compatibility context takes them";
    EXPECT_GT(gldouble::count("glBegin"), 0u);
}

TEST_F(Maps, HandlesReleasedInEveryOrderLeaveNothingBehind)
{
    // Three maps, one current at release time or none, released in each of
    // the six orders: every generated name is deleted once, and the
    // sanitizers' leak check sees every array freed.
    int order[3] = {0, 1, 2};
    do {
        for (int currentOne = -1; currentOne < 3; ++currentOne) {
            gldouble::reset();
            TmapMap *maps[3];
            for (int k = 0; k < 3; ++k) {
                maps[k] = aside(sample(k == 1 ? 16 : 8));
                ASSERT_NE(maps[k], nullptr);
                ASSERT_EQ(tmapMakeCurrent(maps[k]), 0); // makes its names
                tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
                tmapDrawLayer(0, 0, 3, 2, 0, 0, 0, 1, 1);
                tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
            }
            ASSERT_EQ(tmapSetAside(), maps[2]);
            if (currentOne >= 0) {
                ASSERT_EQ(tmapMakeCurrent(maps[currentOne]), 0);
            }
            for (int k : order)
                tmapReleaseMap(maps[k]);
            EXPECT_TRUE(support::noMap());
            size_t made = 0, deleted = 0;
            for (const gldouble::Call &c : gldouble::callsNamed("glGenTextures")) made += size_t(c.arg(0));
            for (const gldouble::Call &c : gldouble::callsNamed("glDeleteTextures")) deleted += size_t(c.arg(0));
            EXPECT_EQ(deleted, made) << "current " << currentOne;
        }
    } while (std::next_permutation(order, order + 3));
}

TEST_F(Maps, EveryAllocationOfADecodeIntoAHandleCanFail)
{
    const Bytes image = sample(8);
    // The handles' table is made once per process, by the first decode.
    tmapReleaseMap(aside(image));
    tmapAllocationCount = 0;
    TmapMap *map = aside(image);
    ASSERT_NE(map, nullptr);
    const long count = tmapAllocationCount;
    tmapReleaseMap(map);
    ASSERT_EQ(load(sample(24)), 0);
    const Seen before = seen();
    for (long n = 1; n <= count; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        tmapAllocationCount = 0;
        tmapFailAllocationAt = n;
        TmapLoadError error;
        EXPECT_EQ(aside(image, TMAP_TEXTURES_GENERATED, &error), nullptr);
        tmapFailAllocationAt = 0;
        EXPECT_EQ(error.code, TMAP_ERROR_OUT_OF_MEMORY);
        EXPECT_TRUE(seen() == before);
    }
    // The first switch allocates the generated names; its failure changes nothing.
    map = aside(image);
    tmapAllocationCount = 0;
    tmapFailAllocationAt = 1;
    EXPECT_EQ(tmapMakeCurrent(map), -1);
    tmapFailAllocationAt = 0;
    EXPECT_EQ(tmapError, TMAP_ERROR_OUT_OF_MEMORY);
    EXPECT_TRUE(seen() == before);
    EXPECT_EQ(tmapMakeCurrent(map), 0);
    tmapReleaseMap(map);
}

} // namespace
