// The order of a grouped draw: runs of the cell order (consecutive quads of
// one texture) gathered into groups, one texture bind each, so that every
// run is drawn after the runs holding quads it must follow.
//
// The groups are chosen greedily: of the textures with runs ready (all the
// runs they wait for drawn), the one with the most is drawn next, together
// with every run of it that becomes ready meanwhile.
#include <cstdint>
#include <cstring>

#include "bytexture_internal.h"

TmapSchedule tmapSchedule;

namespace {

// Dense index of a texture name, numbered in order of first use.
int32_t denseIndex(uint32_t texture, int32_t &textures)
{
    TmapSchedule &s = tmapSchedule;
    const uint64_t mask = uint64_t(s.hashCapacity) - 1;
    uint64_t slot = (uint64_t(texture) * 0x9E3779B1u) & mask;
    while (s.hashSlots[slot] != 0) {
        if (s.hashKeys[slot] == texture)
            return s.hashSlots[slot] - 1;
        slot = (slot + 1) & mask;
    }
    s.hashKeys[slot] = texture;
    s.hashSlots[slot] = ++textures;
    s.denseTexture[textures - 1] = texture;
    return textures - 1;
}

// Numbers the runs and their textures; returns the number of runs and sets
// splitRun to the first run drawn after texturing is enabled (or -1; the
// number of runs when it is enabled after the last quad). A
// display list merges a group's draws into one whatever their runs, so
// there (quadRuns) every quad is a run of its own and free to move on its own.
int32_t numberRuns(int64_t split, bool quadRuns, int32_t &splitRun, int32_t &textures)
{
    TmapSchedule &s = tmapSchedule;
    const TmapQuadList &q = tmapCollected;
    textures = 0;
    for (int64_t i = 0; i < s.hashCapacity; ++i)
        s.hashSlots[i] = 0;
    int32_t runs = 0;
    splitRun = -1;
    for (int64_t i = 0; i < q.count; ++i) {
        if (i == 0 || q.textures[i] != q.textures[i - 1] || i == split || quadRuns) {
            if (i == split)
                splitRun = runs;
            s.runStart[runs] = int32_t(i);
            s.runTexture[runs] = denseIndex(q.textures[i], textures);
            ++runs;
        }
        s.runOfQuad[i] = runs - 1;
    }
    s.runStart[runs] = int32_t(q.count);
    if (split == q.count)
        splitRun = runs;
    return runs;
}

// How many dependencies from other runs each run waits for.
void countWaiting(int32_t runs)
{
    TmapSchedule &s = tmapSchedule;
    const TmapDependencies &d = tmapDependencies;
    for (int32_t r = 0; r < runs; ++r)
        s.waitingFor[r] = 0;
    for (int64_t i = 0; i < tmapCollected.count; ++i)
        for (int32_t e = d.successorStart[i]; e < d.successorStart[i + 1]; ++e)
            if (s.runOfQuad[d.successors[e]] != s.runOfQuad[i])
                ++s.waitingFor[s.runOfQuad[d.successors[e]]];
}

void resetReadyLists(int32_t textures)
{
    TmapSchedule &s = tmapSchedule;
    for (int32_t t = 0; t < textures; ++t) {
        s.readyHead[t] = -1;
        s.readyCount[t] = 0;
        s.activePlace[t] = -1;
    }
    s.activeCount = 0;
    s.draining = -1;
}

void makeReady(int32_t run)
{
    TmapSchedule &s = tmapSchedule;
    const int32_t texture = s.runTexture[run];
    s.nextReady[run] = s.readyHead[texture];
    s.readyHead[texture] = run;
    if (s.readyCount[texture]++ == 0 && texture != s.draining) {
        s.activePlace[texture] = s.activeCount;
        s.active[s.activeCount++] = texture;
    }
}

void makeReadyFrom(int32_t first, int32_t end)
{
    for (int32_t r = first; r < end; ++r)
        if (tmapSchedule.waitingFor[r] == 0)
            makeReady(r);
}

// The texture with the most runs ready.
int32_t busiestTexture()
{
    const TmapSchedule &s = tmapSchedule;
    int32_t texture = s.active[0];
    for (int32_t a = 1; a < s.activeCount; ++a)
        if (s.readyCount[s.active[a]] > s.readyCount[texture])
            texture = s.active[a];
    return texture;
}

// Draws every ready run of the texture, also those that its own runs make
// ready, as the next group. Runs from phaseEnd on wait for a later phase.
void drawGroup(int32_t texture, int32_t phaseEnd)
{
    TmapSchedule &s = tmapSchedule;
    const TmapDependencies &d = tmapDependencies;
    s.draining = texture;
    while (s.readyHead[texture] >= 0) {
        const int32_t run = s.readyHead[texture];
        s.readyHead[texture] = s.nextReady[run];
        --s.readyCount[texture];
        s.firsts[s.runs] = GLint(s.runStart[run]) * 4;
        s.counts[s.runs] = GLsizei(s.runStart[run + 1] - s.runStart[run]) * 4;
        ++s.runs;
        for (int32_t i = s.runStart[run]; i < s.runStart[run + 1]; ++i) {
            for (int32_t e = d.successorStart[i]; e < d.successorStart[i + 1]; ++e) {
                const int32_t later = s.runOfQuad[d.successors[e]];
                if (later != run && --s.waitingFor[later] == 0 && later < phaseEnd)
                    makeReady(later);
            }
        }
    }
    s.draining = -1;
    s.groupTexture[s.groups] = s.denseTexture[texture];
    s.groupEnd[s.groups] = int32_t(s.runs);
    ++s.groups;
    const int32_t place = s.activePlace[texture];
    s.active[place] = s.active[--s.activeCount];
    s.activePlace[s.active[place]] = place;
    s.activePlace[texture] = -1;
}

} // namespace

bool tmapSameSchedule(int64_t split, bool quadRuns)
{
    const TmapSchedule &s = tmapSchedule;
    const TmapQuadList &q = tmapCollected;
    return s.valid && s.split == split && s.quadRuns == quadRuns &&
           std::memcmp(s.textures, q.textures, size_t(q.count) * sizeof(uint32_t)) == 0;
}

bool tmapReserveSchedule()
{
    TmapSchedule &s = tmapSchedule;
    const int64_t n = tmapCollected.capacity;
    if (s.capacity < n) {
        s.capacity = 0;
        if (!tmapAllocateArray(s.textures, n) || !tmapAllocateArray(s.runOfQuad, n) ||
            !tmapAllocateArray(s.runStart, n + 1) || !tmapAllocateArray(s.runTexture, n) ||
            !tmapAllocateArray(s.waitingFor, n) || !tmapAllocateArray(s.nextReady, n) ||
            !tmapAllocateArray(s.denseTexture, n) || !tmapAllocateArray(s.readyHead, n) ||
            !tmapAllocateArray(s.readyCount, n) || !tmapAllocateArray(s.active, n) ||
            !tmapAllocateArray(s.activePlace, n) || !tmapAllocateArray(s.firsts, n) ||
            !tmapAllocateArray(s.counts, n) || !tmapAllocateArray(s.groupTexture, n) ||
            !tmapAllocateArray(s.groupEnd, n))
            return false;
        s.capacity = n;
    }
    int64_t slots = 16;
    while (slots < 2 * n)
        slots *= 2;
    if (s.hashCapacity < slots) {
        s.hashCapacity = 0;
        if (!tmapAllocateArray(s.hashKeys, slots) || !tmapAllocateArray(s.hashSlots, slots))
            return false;
        s.hashCapacity = slots;
    }
    return true;
}

void tmapBuildSchedule(int64_t split, bool quadRuns)
{
    TmapSchedule &s = tmapSchedule;
    const TmapQuadList &q = tmapCollected;
    int32_t splitRun, textures;
    const int32_t runs = numberRuns(split, quadRuns, splitRun, textures);
    countWaiting(runs);
    resetReadyLists(textures);
    // Runs after the split wait until every run before it is drawn.
    int32_t phaseEnd = splitRun >= 0 ? splitRun : runs;
    makeReadyFrom(0, phaseEnd);
    s.runs = 0;
    s.groups = 0;
    s.enableBeforeGroup = -1;
    for (;;) {
        if (s.activeCount > 0) {
            drawGroup(busiestTexture(), phaseEnd);
        } else if (phaseEnd < runs) {
            s.enableBeforeGroup = s.groups;
            makeReadyFrom(phaseEnd, runs);
            phaseEnd = runs;
        } else {
            break;
        }
    }
    // Enabled after the last quad, or already on (the cell order's glEnable
    // then changes nothing).
    if (splitRun == runs)
        s.enableBeforeGroup = s.groups;
    if (split < 0 && q.firstSideFace >= 0)
        s.enableBeforeGroup = 0;

    std::memcpy(s.textures, q.textures, size_t(q.count) * sizeof(uint32_t));
    s.split = split;
    s.quadRuns = quadRuns;
    s.valid = true;
}

void tmapReleaseSchedule()
{
    TmapSchedule &s = tmapSchedule;
    freeAndClear(s.textures);
    freeAndClear(s.runOfQuad);
    freeAndClear(s.runStart);
    freeAndClear(s.runTexture);
    freeAndClear(s.waitingFor);
    freeAndClear(s.nextReady);
    freeAndClear(s.hashKeys);
    freeAndClear(s.hashSlots);
    freeAndClear(s.denseTexture);
    freeAndClear(s.readyHead);
    freeAndClear(s.readyCount);
    freeAndClear(s.active);
    freeAndClear(s.activePlace);
    freeAndClear(s.firsts);
    freeAndClear(s.counts);
    freeAndClear(s.groupTexture);
    freeAndClear(s.groupEnd);
    s = TmapSchedule();
}
