// Block animation: reset and one tick of every animation.
#include "internal.h"

namespace {

// The legs of the two ping-pong animations, and the one-shot's end state.
enum Mode {
    still = 0,
    loopForward = 1,
    loopBackward = 2,
    playOnce = 3,
    playOnceHold = 4,
    pingPongForward = 5,
    pingPongBackward = 6,
    pingPongBackwardReturn = 7, // forward leg of mode 6
    pingPongForwardReturn = 8,  // backward leg of mode 5
    playedOnce = 9,
};

void forwardLeg(TmapAnim &anim, int32_t backwardMode)
{
    int32_t old = anim.current;
    anim.current = old + 1;
    if (anim.current == anim.end) {
        anim.current = old - 1;
        anim.mode = backwardMode;
        if (anim.current < anim.start)
            anim.current = old;
    }
}

void backwardLeg(TmapAnim &anim, int32_t forwardMode)
{
    int32_t old = anim.current;
    anim.current = old - 1;
    if (anim.current == anim.start - 1) {
        anim.current = old + 1;
        anim.mode = forwardMode;
        if (anim.current > anim.end - 1)
            anim.current = old;
    }
}

void changeFrame(TmapAnim &anim)
{
    if (anim.start == anim.end)
        return;
    switch (anim.mode) {
    case loopForward:
        if (++anim.current == anim.end)
            anim.current = anim.start;
        break;
    case loopBackward:
        if (--anim.current == anim.start - 1)
            anim.current = anim.end - 1;
        break;
    case playOnce:
        if (++anim.current == anim.end) {
            anim.current = anim.start;
            anim.mode = playedOnce;
        }
        break;
    case playOnceHold:
        if (anim.current != anim.end - 1)
            ++anim.current;
        break;
    case pingPongForward: forwardLeg(anim, pingPongForwardReturn); break;
    case pingPongBackwardReturn: forwardLeg(anim, pingPongBackward); break;
    case pingPongForwardReturn: backwardLeg(anim, pingPongForward); break;
    case pingPongBackward: backwardLeg(anim, pingPongBackwardReturn); break;
    default: break;
    }
}

} // namespace

void tmapResetAnims(void)
{
    if (tmapAnimFrames == nullptr || tmapAnims == nullptr)
        return;
    for (int i = 0; i < tmapAnimCount; ++i) {
        TmapAnim &anim = tmapAnims[i];
        if (anim.mode == pingPongForwardReturn)
            anim.mode = pingPongForward;
        else if (anim.mode == pingPongBackwardReturn)
            anim.mode = pingPongBackward;
        else if (anim.mode == playedOnce)
            anim.mode = playOnce;
        bool startsAtEnd = anim.mode == loopBackward || anim.mode == pingPongBackward;
        anim.current = (startsAtEnd && anim.start != anim.end) ? anim.end - 1 : anim.start;
        anim.countdown = anim.delay;
    }
}

void tmapStepAnims(void)
{
    if (tmapAnims == nullptr)
        return;
    TmapAnim *anim = tmapAnims;
    TmapAnim *const end = tmapAnims + tmapAnimCount;
    for (; anim != end; ++anim) {
        if (anim->mode == still)
            continue;
        // Counting down is the common case; a frame change is rare.
        if (--anim->countdown >= 0)
            continue;
        anim->countdown = anim->delay;
        changeFrame(*anim);
    }
}
