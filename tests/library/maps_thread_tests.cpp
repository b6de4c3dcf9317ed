// Decoding into handles on worker threads while the drawing thread draws
// and switches maps. Built and run under ThreadSanitizer by scripts/test: a
// decode that wrote anything shared, or made a GL call (the recording
// double's log is shared), is reported there as a race. The results must
// also be those of the same decodes on one thread.
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "test_support.h"

namespace {

using tmapwriter::Bytes;

struct Outcome {
    bool decoded;
    TmapLoadError error;
};

Outcome decodeAside(const Bytes &image, int firstTexture, TmapMap **kept)
{
    Outcome outcome;
    TmapMap *map = tmapDecodeBufferAside(image.data(), image.size(), firstTexture, &outcome.error);
    outcome.decoded = map != nullptr;
    if (kept != nullptr && *kept == nullptr)
        *kept = map; // handed to the drawing thread after the join
    else
        tmapReleaseMap(map); // never current: released on this thread
    return outcome;
}

bool sameOutcome(const Outcome &a, const Outcome &b)
{
    return a.decoded == b.decoded && a.error.code == b.error.code && a.error.offset == b.error.offset &&
           std::string(a.error.chunk) == b.error.chunk;
}

class MapThreads : public LibraryTest {};

TEST_F(MapThreads, WorkersDecodeWhileTheDrawingThreadDrawsAndSwitches)
{
    std::vector<Bytes> images;
    for (const std::string &path : support::corpusFiles()) {
        std::ifstream in(path, std::ios::binary);
        images.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (int depth : {8, 15, 16, 24, 32})
        images.push_back(tmapwriter::buildImage(support::sampleMap(depth, depth % 2 == 0)));
    ASSERT_GT(images.size(), 30u);
    std::vector<Outcome> expected;
    for (const Bytes &image : images)
        expected.push_back(decodeAside(image, TMAP_TEXTURES_GENERATED, nullptr));

    // Two maps on the drawing thread, drawn grouped and switched.
    std::vector<TmapMap *> current;
    for (size_t fromEnd : {5, 3}) {
        const Bytes &image = images[images.size() - fromEnd];
        current.push_back(tmapDecodeBufferAside(image.data(), image.size(), TMAP_TEXTURES_GENERATED, nullptr));
        ASSERT_NE(current.back(), nullptr);
    }
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;

    const int workers = 3, passes = 4;
    std::atomic<int> running{workers};
    std::vector<std::vector<Outcome>> outcomes(workers);
    std::vector<TmapMap *> handedOver(workers, nullptr);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (int pass = 0; pass < passes; ++pass)
                for (const Bytes &image : images)
                    outcomes[size_t(w)].push_back(
                        decodeAside(image, w == 0 ? TMAP_TEXTURES_NONE : TMAP_TEXTURES_GENERATED,
                                    pass == passes - 1 ? &handedOver[size_t(w)] : nullptr));
            // This thread's own allocation failures leave the others alone.
            tmapFailAllocationAt = 3;
            tmapAllocationCount = 0;
            outcomes[size_t(w)].push_back(decodeAside(images.back(), TMAP_TEXTURES_NONE, nullptr));
            tmapFailAllocationAt = 0;
            --running;
        });
    }
    long frames = 0;
    while (running > 0 || frames < 20) {
        for (TmapMap *map : current) {
            EXPECT_EQ(tmapMakeCurrent(map), 0) << tmapErrorString(tmapError);
            tmapStepAnims();
            EXPECT_EQ(tmapDrawLayer(0, 0, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f), 0);
            EXPECT_EQ(tmapDrawBlocks(0, 0, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f), 0);
        }
        gldouble::reset();
        ++frames;
    }
    for (std::thread &thread : threads)
        thread.join();

    for (int w = 0; w < workers; ++w) {
        ASSERT_EQ(outcomes[size_t(w)].size(), images.size() * passes + 1);
        for (size_t k = 0; k < images.size() * passes; ++k)
            EXPECT_TRUE(sameOutcome(outcomes[size_t(w)][k], expected[k % images.size()]))
                << "worker " << w << ", map " << k % images.size();
        const Outcome &failed = outcomes[size_t(w)].back();
        EXPECT_FALSE(failed.decoded);
        EXPECT_EQ(failed.error.code, TMAP_ERROR_OUT_OF_MEMORY);
        // A map decoded on a worker is drawn here.
        ASSERT_NE(handedOver[size_t(w)], nullptr);
        ASSERT_EQ(tmapMakeCurrent(handedOver[size_t(w)]), 0) << tmapErrorString(tmapError);
        EXPECT_EQ(tmapDrawLayer(0, 0, 3, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f), 0);
        tmapReleaseMap(handedOver[size_t(w)]);
    }
    for (TmapMap *map : current)
        tmapReleaseMap(map);
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    EXPECT_TRUE(support::noMap());
}

} // namespace
