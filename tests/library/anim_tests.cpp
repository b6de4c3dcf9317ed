// Block animation: frame sequences of every mode, tick by tick, against
// sequences written out here.
#include <gmock/gmock.h>

#include "test_support.h"

using support::load;
using support::Map;
using ::testing::ElementsAreArray;

namespace {

class Anims : public LibraryTest {
protected:
    // A map whose frame list is {10, 11, 12, 20}: three-frame animations use
    // entries 0..2, one-frame ones entry 3.
    void loadAnims(const std::vector<tmapwriter::Anim>& anims) {
        Map m;
        m.width = m.height = 1;
        m.blocks.resize(21);
        m.frames = {10, 11, 12, 20};
        m.anims = anims;
        m.layers[0] = std::vector<int32_t>{-1};
        ASSERT_EQ(load(m), 0) << tmapErrorString(tmapError);
        ASSERT_EQ(tmapAnimCount, int(anims.size()));
    }
    // current of animation n after a reset and after each of ticks steps.
    std::vector<int> run(int n, int ticks, std::vector<int>* modes = nullptr) {
        std::vector<int> out = {tmapAnims[n].current};
        if (modes) *modes = {tmapAnims[n].mode};
        for (int i = 0; i < ticks; ++i) {
            tmapStepAnims();
            out.push_back(tmapAnims[n].current);
            if (modes) modes->push_back(tmapAnims[n].mode);
        }
        return out;
    }
};

tmapwriter::Anim anim(uint8_t mode, int start = 0, int end = 3, uint8_t delay = 0) {
    tmapwriter::Anim a;
    a.mode = mode;
    a.delay = delay;
    a.start = a.current = start;
    a.end = end;
    return a;
}

TEST_F(Anims, SequencesOfEveryModeWithThreeFrames) {
    const struct {
        int mode;
        std::vector<int> frames;
        std::vector<int> modes;
    } expected[] = {
        {1, {0, 1, 2, 0, 1, 2, 0, 1}, {1, 1, 1, 1, 1, 1, 1, 1}},
        {2, {2, 1, 0, 2, 1, 0, 2, 1}, {2, 2, 2, 2, 2, 2, 2, 2}},
        {3, {0, 1, 2, 0, 0, 0, 0, 0}, {3, 3, 3, 9, 9, 9, 9, 9}},
        {4, {0, 1, 2, 2, 2, 2, 2, 2}, {4, 4, 4, 4, 4, 4, 4, 4}},
        {5, {0, 1, 2, 1, 0, 1, 2, 1}, {5, 5, 5, 8, 8, 5, 5, 8}},
        {6, {2, 1, 0, 1, 2, 1, 0, 1}, {6, 6, 6, 7, 7, 6, 6, 7}},
        // Running states reset to the mode they arose from.
        {7, {2, 1, 0, 1, 2, 1, 0, 1}, {6, 6, 6, 7, 7, 6, 6, 7}},
        {8, {0, 1, 2, 1, 0, 1, 2, 1}, {5, 5, 5, 8, 8, 5, 5, 8}},
        {9, {0, 1, 2, 0, 0, 0, 0, 0}, {3, 3, 3, 9, 9, 9, 9, 9}},
    };
    std::vector<tmapwriter::Anim> anims;
    for (const auto& e : expected) anims.push_back(anim(uint8_t(e.mode)));
    loadAnims(anims);
    for (size_t n = 0; n < anims.size(); ++n) {
        SCOPED_TRACE("mode " + std::to_string(expected[n].mode));
        tmapResetAnims();
        std::vector<int> modes;
        EXPECT_THAT(run(int(n), 7, &modes), ElementsAreArray(expected[n].frames));
        EXPECT_THAT(modes, ElementsAreArray(expected[n].modes));
    }
}

TEST_F(Anims, PlayOnceRestartsOnReset) {
    loadAnims({anim(3)});
    tmapResetAnims();
    EXPECT_THAT(run(0, 5), ElementsAreArray({0, 1, 2, 0, 0, 0}));
    EXPECT_EQ(tmapAnims[0].mode, 9);
    tmapResetAnims();
    EXPECT_EQ(tmapAnims[0].mode, 3);
    EXPECT_THAT(run(0, 4), ElementsAreArray({0, 1, 2, 0, 0}));
}

TEST_F(Anims, DelayCountsTicksBetweenFrameChanges) {
    loadAnims({anim(1, 0, 3, 3), anim(2, 0, 3, 1)});
    tmapResetAnims();
    EXPECT_EQ(tmapAnims[0].countdown, 3);
    std::vector<int> countdowns;
    std::vector<int> frames = {tmapAnims[0].current};
    std::vector<int> backward = {tmapAnims[1].current};
    for (int i = 0; i < 12; ++i) {
        tmapStepAnims();
        frames.push_back(tmapAnims[0].current);
        backward.push_back(tmapAnims[1].current);
        countdowns.push_back(tmapAnims[0].countdown);
    }
    EXPECT_THAT(frames, ElementsAreArray({0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0}));
    EXPECT_THAT(countdowns, ElementsAreArray({2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0, 3}));
    EXPECT_THAT(backward, ElementsAreArray({2, 2, 1, 1, 0, 0, 2, 2, 1, 1, 0, 0, 2}));
}

TEST_F(Anims, OneFrameAndNoFrames) {
    loadAnims({anim(5, 3, 4), anim(6, 3, 4), anim(1, 3, 4), anim(2, 3, 4), anim(1, 2, 2, 1), anim(6, 1, 1)});
    tmapResetAnims();
    std::vector<int> modes;
    EXPECT_THAT(run(0, 4, &modes), ElementsAreArray({3, 3, 3, 3, 3}));
    EXPECT_THAT(modes, ElementsAreArray({5, 8, 5, 8, 5}));
    tmapResetAnims();
    EXPECT_THAT(run(1, 4, &modes), ElementsAreArray({3, 3, 3, 3, 3}));
    EXPECT_THAT(modes, ElementsAreArray({6, 7, 6, 7, 6}));
    tmapResetAnims();
    EXPECT_THAT(run(2, 3), ElementsAreArray({3, 3, 3, 3}));
    EXPECT_THAT(run(3, 3), ElementsAreArray({3, 3, 3, 3}));
    // No frames: current stays, the countdown still runs and reloads.
    tmapResetAnims();
    EXPECT_EQ(tmapAnims[4].current, 2);
    std::vector<int> countdowns;
    for (int i = 0; i < 4; ++i) {
        tmapStepAnims();
        EXPECT_EQ(tmapAnims[4].current, 2);
        countdowns.push_back(tmapAnims[4].countdown);
    }
    EXPECT_THAT(countdowns, ElementsAreArray({0, 1, 0, 1}));
    // Mode 6 without frames resets to start.
    EXPECT_EQ(tmapAnims[5].current, 1);
}

TEST_F(Anims, StillAndUnknownModes) {
    loadAnims({anim(0, 0, 3, 5), anim(10, 1, 3, 1), anim(254, 0, 3, 0)});
    tmapAnims[0].current = 2;
    tmapAnims[1].current = 2;
    tmapResetAnims();
    EXPECT_EQ(tmapAnims[0].current, 0);
    EXPECT_EQ(tmapAnims[0].countdown, 5);
    EXPECT_EQ(tmapAnims[1].current, 1);
    std::vector<int> countdowns;
    for (int i = 0; i < 4; ++i) {
        tmapStepAnims();
        // Mode 0 touches neither countdown nor current.
        EXPECT_EQ(tmapAnims[0].countdown, 5);
        EXPECT_EQ(tmapAnims[0].current, 0);
        EXPECT_EQ(tmapAnims[1].current, 1);
        EXPECT_EQ(tmapAnims[2].current, 0);
        countdowns.push_back(tmapAnims[1].countdown);
    }
    EXPECT_THAT(countdowns, ElementsAreArray({0, 1, 0, 1}));
    EXPECT_EQ(tmapAnims[1].mode, 10);
    EXPECT_EQ(tmapAnims[2].mode, 254);
}

TEST_F(Anims, WithoutResetTheStoredStateRuns) {
    tmapwriter::Anim stored = anim(1, 0, 3, 1);
    stored.current = 2;
    stored.countdown = 0;
    tmapwriter::Anim pingPong = anim(8, 0, 3, 0);
    pingPong.current = 1;
    loadAnims({stored, pingPong});
    std::vector<int> modes;
    EXPECT_THAT(run(0, 4), ElementsAreArray({2, 0, 0, 1, 1}));
    // A stored backward leg keeps going backward until it turns.
    gldouble::reset();
    loadAnims({stored, pingPong});
    EXPECT_THAT(run(1, 4, &modes), ElementsAreArray({1, 0, 1, 2, 1}));
    EXPECT_THAT(modes, ElementsAreArray({8, 8, 5, 5, 8}));
}

TEST_F(Anims, NothingHappensWithoutAMap) {
    tmapResetAnims();
    tmapStepAnims();
    EXPECT_EQ(tmapAnims, nullptr);
    EXPECT_EQ(tmapAnimCount, 0);
}

} // namespace
