// Sending a grouped draw to GL: each group's runs laid out together in
// drawing order, then one bind and one glMultiDrawArrays (or a glDrawArrays
// per sub-draw) per group.
#include <cstdint>
#include <cstring>

#include "bytexture_internal.h"
#include "glfunctions.h"

namespace {

// The vertices of the groups in drawing order, and the sub-draws of the
// group being sent.
struct EmitScratch {
    int64_t capacity;  // quads
    GLint *subDrawFirsts;
    GLsizei *subDrawCounts;
    float *drawPositions;
    float *drawNormals;
    float *drawTexCoords;
} scratch;

// Lays out one group's runs from vertex `at` on and fills subDrawFirsts and
// subDrawCounts; returns the number of sub-draws. The GL copies client arrays
// from the lowest to the highest vertex a draw uses, so each group's vertices
// are copied together. Runs that may be clipped stay whole; consecutive runs
// well inside become one sub-draw; runs wholly outside follow as one.
int32_t layOutGroup(int32_t first, int32_t end, bool placed, GLint &at)
{
    const TmapSchedule &s = tmapSchedule;
    const TmapQuadList &q = tmapCollected;
    EmitScratch &e = scratch;
    int32_t count = 0;
    bool extendable = false;  // the last sub-draw holds runs well inside
    auto append = [&](int32_t run, bool mergeable) {
        const size_t from = size_t(s.firsts[run]), to = size_t(at), vertices = size_t(s.counts[run]);
        std::memcpy(&e.drawPositions[to * 3], &q.positions[from * 3], vertices * 3 * sizeof(float));
        std::memcpy(&e.drawNormals[to * 3], &q.normals[from * 3], vertices * 3 * sizeof(float));
        std::memcpy(&e.drawTexCoords[to * 2], &q.texCoords[from * 2], vertices * 2 * sizeof(float));
        if (mergeable && extendable) {
            e.subDrawCounts[count - 1] += s.counts[run];
        } else {
            e.subDrawFirsts[count] = at;
            e.subDrawCounts[count] = s.counts[run];
            ++count;
        }
        extendable = mergeable;
        at += s.counts[run];
    };
    for (int32_t run = first; run < end; ++run) {
        const TmapPlacement placement = placed ? tmapPlaceRun(run) : tmapMayBeClipped;
        if (placement != tmapWhollyOutside)
            append(run, placement == tmapWellInside);
    }
    if (placed) {
        extendable = false;
        for (int32_t run = first; run < end; ++run)
            if (tmapPlaceRun(run) == tmapWhollyOutside)
                append(run, true);
    }
    return count;
}

} // namespace

// The GL version of the current context as major * 10 + minor; 0 for no
// context and for OpenGL ES, which has no fixed-function path.
int tmapContextVersion()
{
    TmapGlVersion version;
    if (!tmapReadGlVersion(reinterpret_cast<const char *>(glGetString(GL_VERSION)), version) ||
        version.embedded)
        return 0;
    return version.major * 10 + (version.minor < 9 ? version.minor : 9);
}

void tmapEmitSchedule(int version, bool placed)
{
    // Found for each call: on Windows the function belongs to the context.
    const TmapMultiDrawArrays multiDrawArrays = version >= 14 ? tmapFindMultiDrawArrays() : nullptr;
    const TmapSchedule &s = tmapSchedule;
    const TmapQuadList &q = tmapCollected;
    const EmitScratch &e = scratch;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, e.drawPositions);
    glNormalPointer(GL_FLOAT, 0, e.drawNormals);
    glTexCoordPointer(2, GL_FLOAT, 0, e.drawTexCoords);
    int32_t first = 0;
    GLint at = 0;
    for (int64_t g = 0; g < s.groups; ++g) {
        if (g == s.enableBeforeGroup)
            glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, s.groupTexture[g]);
        const int32_t subDraws = layOutGroup(first, s.groupEnd[g], placed, at);
        if (multiDrawArrays != nullptr) {
            multiDrawArrays(GL_QUADS, e.subDrawFirsts, e.subDrawCounts, subDraws);
        } else {
            for (int32_t k = 0; k < subDraws; ++k)
                glDrawArrays(GL_QUADS, e.subDrawFirsts[k], e.subDrawCounts[k]);
        }
        first = s.groupEnd[g];
    }
    if (s.enableBeforeGroup == s.groups)
        glEnable(GL_TEXTURE_2D);
    glPopClientAttrib();
    // Leave the current normal and texture coordinates as the cell order does.
    const int64_t last = q.count - 1;
    glNormal3f(q.normals[last * 12], q.normals[last * 12 + 1], q.normals[last * 12 + 2]);
    glTexCoord2f(q.texCoords[last * 8 + 6], q.texCoords[last * 8 + 7]);
}


bool tmapReserveEmitScratch()
{
    EmitScratch &e = scratch;
    const int64_t n = tmapCollected.capacity;
    if (e.capacity < n) {
        e.capacity = 0;
        if (!tmapAllocateArray(e.subDrawFirsts, n) || !tmapAllocateArray(e.subDrawCounts, n) ||
            !tmapAllocateArray(e.drawPositions, n * 12) || !tmapAllocateArray(e.drawNormals, n * 12) ||
            !tmapAllocateArray(e.drawTexCoords, n * 8))
            return false;
        e.capacity = n;
    }
    return true;
}

void tmapReleaseEmitScratch()
{
    EmitScratch &e = scratch;
    freeAndClear(e.subDrawFirsts);
    freeAndClear(e.subDrawCounts);
    freeAndClear(e.drawPositions);
    freeAndClear(e.drawNormals);
    freeAndClear(e.drawTexCoords);
    e = EmitScratch();
}
