// The GPU copy of the current map: tmapGpuUpload makes it, tmapGpuRelease
// deletes it, and the model tells it what changed (a cell, a new map). The
// draws bring it up to date before they draw (tmapGpuPrepareDraw).
#include <cstddef> // offsetof
#include <cstring>

#include "columns.h"
#include "gpu_internal.h"
#include "internal.h"
#include "tilvogl/tilvogl_gpu.h"

TmapGpuCopy tmapGpuCopy;

namespace {

// Textures of tables read with texelFetch: no filtering, one level.
void setTableParameters(GLenum target)
{
    tmapGl.TexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    tmapGl.TexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    tmapGl.TexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
}

// A table of count entries of one or four 32-bit values, folded into rows
// of the fold width, the last row partly filled.
GLuint makeTable(GLint internalFormat, GLenum format, GLenum type, int64_t count, const void *entries,
                 size_t entryBytes)
{
    GLuint texture = 0;
    tmapGl.GenTextures(1, &texture);
    tmapGl.BindTexture(GL_TEXTURE_2D, texture);
    setTableParameters(GL_TEXTURE_2D);
    int width = tmapGpuTableWidth(count);
    int64_t fullRows = count / width;
    int64_t rest = count % width;
    GLsizei height = GLsizei(fullRows + (rest != 0 ? 1 : 0));
    tmapGl.TexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height > 0 ? height : 1, 0, format,
                      type, nullptr);
    if (entries != nullptr && fullRows > 0)
        tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, GLsizei(fullRows), format, type, entries);
    if (entries != nullptr && rest != 0)
        tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, GLsizei(fullRows), GLsizei(rest), 1, format, type,
                             static_cast<const unsigned char *>(entries) +
                                 size_t(fullRows) * size_t(width) * entryBytes);
    return texture;
}

int64_t cellCount() { return int64_t(tmapWidth) * int64_t(tmapHeight); }

// Returns false when out of memory.
bool uploadLayer(int layer)
{
    const int64_t cells = cellCount();
    for (int64_t k = 0; k < cells && !((tmapGpuCopy.layersAnimated >> layer) & 1u); ++k)
        if (tmapLayers[layer][k] < 0)
            tmapGpuCopy.layersAnimated |= 1u << layer;
    tmapGl.DeleteTextures(1, &tmapGpuCopy.layers[layer]);
    tmapGpuCopy.layers[layer] =
        makeTable(GL_R32I, GL_RED_INTEGER, GL_INT, cellCount(), tmapLayers[layer], sizeof(int32_t));
    return tmapGpuBuildOccupancy(layer);
}

// Two texels per block: what a flat cell and a cap need (graphics 1 and 2,
// the flags, the number of stacked cubes of a column that starts at it),
// then graphics 3 and 4. The cubes are also kept on the host. Returns false
// when out of memory.
bool uploadBlocks()
{
    int64_t count = tmapGpuBlockCount();
    const int64_t perBlock = 4 * tmapGpuBlockTexels;
    int32_t *texels = static_cast<int32_t *>(tmapAllocate(size_t(count * perBlock) * sizeof(int32_t)));
    tmapGpuCopy.blockCubes = static_cast<int32_t *>(tmapAllocate(size_t(count) * sizeof(int32_t)));
    if (texels == nullptr || tmapGpuCopy.blockCubes == nullptr) {
        tmapFree(texels);
        return false;
    }
    tmapGpuCopy.stackCount = tmapCubesFromEachRecord(tmapGpuCopy.blockCubes);
    for (int64_t b = 0; b < count; ++b) {
        const TmapBlock &block = tmapBlocks[b];
        int32_t *texel = texels + b * perBlock;
        texel[0] = block.graphic1;
        texel[1] = block.graphic2;
        texel[2] = block.flags;
        texel[3] = tmapGpuCopy.blockCubes[b];
        texel[4] = block.graphic3;
        texel[5] = block.graphic4;
        texel[6] = texel[7] = 0;
    }
    tmapGpuCopy.blocks = makeTable(GL_RGBA32I, GL_RGBA_INTEGER, GL_INT, count * tmapGpuBlockTexels, texels,
                                   4 * sizeof(int32_t));
    tmapFree(texels);
    return true;
}

// What the column from each block hides, from the graphics as uploaded,
// worked out from the last block back. False when out of memory.
bool coverBlocks()
{
    const int64_t count = tmapGpuBlockCount();
    const int graphics = tmapGpuGraphicCount();
    uint8_t *opaque = static_cast<uint8_t *>(tmapAllocate(size_t(graphics)));
    TmapColumnCover *covers = static_cast<TmapColumnCover *>(tmapAllocate(size_t(count) * sizeof(TmapColumnCover)));
    tmapGpuCopy.blockCovers = covers;
    if (opaque == nullptr || covers == nullptr) {
        tmapFree(opaque);
        return false;
    }
    const size_t pixels = size_t(tmapTileWidth) * size_t(tmapTileHeight);
    for (int g = 0; g < graphics; ++g)
        opaque[g] = tmapPixelsOpaque(tmapGraphicPixels + size_t(g) * pixels * 4, pixels);
    const TmapOpacity opacity{opaque, graphics};
    for (int64_t b = count - 1; b >= 0; --b)
        covers[b] = tmapStacksOnNext(b) ? tmapCoverWithCube(covers[b + 1], tmapBlocks[b], opacity)
                                        : tmapCoverOfClosing(tmapBlocks[b], opacity);
    tmapFree(opaque);
    return true;
}

// A frame's block, or -1 when it names none that was uploaded.
int32_t uploadedBlock(int32_t block) { return block >= 0 && block < tmapGpuBlockCount() ? block : -1; }

// The block each animation shows now, or -1 when its frame names none.
int32_t currentBlockOf(const TmapAnim &anim)
{
    if (anim.current < 0 || anim.current >= tmapAnimFrameCount || tmapAnimFrames == nullptr)
        return -1;
    return uploadedBlock(tmapAnimFrames[anim.current]);
}

int animCount() { return tmapAnims != nullptr ? tmapAnimCount : 0; }

int32_t cubesOf(int32_t block) { return block >= 0 ? tmapGpuCopy.blockCubes[block] : 0; }

TmapColumnCover coverOf(int32_t block) { return block >= 0 ? tmapGpuCopy.blockCovers[block] : TmapColumnCover{}; }

// The tallest column among an animation's frames, start to end: the slots
// its cells get in a block window; and the cover all of them have.
// Scanning stops after a bounded number of frames in all (then the cover
// is none); a taller column shown later grows the slots then.
int32_t tallestFrame(const TmapAnim &anim, int64_t &scanBudget, TmapColumnCover &cover)
{
    const int32_t current = currentBlockOf(anim);
    int32_t tallest = cubesOf(current);
    cover = coverOf(current);
    int64_t first = anim.start < 0 ? 0 : anim.start;
    int64_t end = anim.end < tmapAnimFrameCount ? anim.end : tmapAnimFrameCount;
    if (tmapAnimFrames == nullptr || end - first > scanBudget) {
        cover = TmapColumnCover{};
        return tallest;
    }
    for (int64_t frame = first; frame < end; ++frame) {
        const int32_t block = uploadedBlock(tmapAnimFrames[frame]);
        tallest = cubesOf(block) > tallest ? cubesOf(block) : tallest;
        cover = tmapCommonCover(cover, coverOf(block));
    }
    scanBudget -= end > first ? end - first : 0;
    return tallest;
}

bool uploadAnims()
{
    int count = animCount();
    tmapGpuCopy.animBlocks = static_cast<int32_t *>(tmapAllocate(size_t(count) * sizeof(int32_t)));
    tmapGpuCopy.animCubes = static_cast<int32_t *>(tmapAllocate(size_t(count) * sizeof(int32_t)));
    tmapGpuCopy.animCovers = static_cast<TmapColumnCover *>(tmapAllocate(size_t(count) * sizeof(TmapColumnCover)));
    if (tmapGpuCopy.animBlocks == nullptr || tmapGpuCopy.animCubes == nullptr || tmapGpuCopy.animCovers == nullptr)
        return false;
    int64_t scanBudget = int64_t(1) << 24;
    for (int n = 0; n < count; ++n) {
        tmapGpuCopy.animBlocks[n] = currentBlockOf(tmapAnims[n]);
        tmapGpuCopy.animCubes[n] = tallestFrame(tmapAnims[n], scanBudget, tmapGpuCopy.animCovers[n]);
    }
    tmapGpuCopy.anims = makeTable(GL_R32I, GL_RED_INTEGER, GL_INT, count, tmapGpuCopy.animBlocks, sizeof(int32_t));
    return true;
}

// Which animations show another block than uploaded: work per animation.
// Notes their new blocks; first > last when none changed. A block taller
// than the animation's slots grows them, and the block window is laid out
// again; one that hides less than the animation's blocks did weakens its
// cover, and the faces a view leaves out are worked out again.
void findAnimChanges(int &first, int &last)
{
    int count = animCount();
    first = count;
    last = -1;
    for (int n = 0; n < count; ++n) {
        int32_t block = currentBlockOf(tmapAnims[n]);
        if (block != tmapGpuCopy.animBlocks[n]) {
            tmapGpuCopy.animBlocks[n] = block;
            if (cubesOf(block) > tmapGpuCopy.animCubes[n]) {
                tmapGpuCopy.animCubes[n] = cubesOf(block);
                tmapGpuDropFaces(-1, -1);
            }
            const TmapColumnCover cover = tmapCommonCover(tmapGpuCopy.animCovers[n], coverOf(block));
            if (std::memcmp(&cover, &tmapGpuCopy.animCovers[n], sizeof cover) != 0) {
                tmapGpuCopy.animCovers[n] = cover;
                tmapGpuCopy.visibleValid = false;
            }
            first = n < first ? n : first;
            last = n;
        }
    }
}

// Sends the rows of the animation table from entry first to entry last.
void sendAnims(int first, int last)
{
    int count = animCount();
    int width = tmapGpuTableWidth(count);
    tmapGl.BindTexture(GL_TEXTURE_2D, tmapGpuCopy.anims);
    for (int row = first / width; row <= last / width; ++row) {
        int rowEntries = row * width + width <= count ? width : count - row * width;
        tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, row, rowEntries, 1, GL_RED_INTEGER, GL_INT,
                             tmapGpuCopy.animBlocks + size_t(row) * size_t(width));
    }
}

void refreshCells()
{
    TmapGpuCopy &copy = tmapGpuCopy;
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if ((copy.changedLayersWhole >> layer) & 1u)
            uploadLayer(layer); // out of memory, the layer is drawn without its chunks
    int width = tmapGpuTableWidth(cellCount());
    for (int k = 0; k < copy.changedCellCount; ++k) {
        const TmapGpuChangedCell &change = copy.changedCells[k];
        if ((copy.changedLayersWhole >> change.layer) & 1u)
            continue;
        tmapGl.BindTexture(GL_TEXTURE_2D, tmapGpuCopy.layers[change.layer]);
        tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, GLint(change.index % width), GLint(change.index / width),
                             1, 1, GL_RED_INTEGER, GL_INT, tmapLayers[change.layer] + change.index);
        tmapGpuOccupancyChanged(change.layer, change.index);
    }
    copy.changedCellCount = 0;
    copy.changedLayersWhole = 0;
}

// Texture uploads read client memory, whatever unpack state the program set.
struct UnpackState {
    GLint buffer;
    GLint alignment;
};

UnpackState plainUnpacking()
{
    UnpackState saved;
    tmapGl.GetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &saved.buffer);
    tmapGl.GetIntegerv(GL_UNPACK_ALIGNMENT, &saved.alignment);
    if (saved.buffer != 0)
        tmapGl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    tmapGl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return saved;
}

void restoreUnpacking(const UnpackState &saved)
{
    if (saved.buffer != 0)
        tmapGl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, GLuint(saved.buffer));
    tmapGl.PixelStorei(GL_UNPACK_ALIGNMENT, saved.alignment);
}

// The column program's vertex array: corners from the face buffer, their
// order from the index buffer (both filled by the first block draw).
void makeFaceArray()
{
    TmapGpuCopy &copy = tmapGpuCopy;
    GLint arrayBuffer = 0, vertexArray = 0;
    tmapGl.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    tmapGl.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    tmapGl.GenVertexArrays(1, &copy.faceArray);
    tmapGl.GenBuffers(1, &copy.faceBuffer);
    tmapGl.GenBuffers(1, &copy.faceIndices);
    tmapGl.GenBuffers(1, &copy.visibleIndices);
    tmapGl.BindVertexArray(copy.faceArray);
    tmapGl.BindBuffer(GL_ARRAY_BUFFER, copy.faceBuffer);
    tmapGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, copy.faceIndices);
    const GLsizei stride = sizeof(TmapGpuCorner);
    tmapGl.EnableVertexAttribArray(tmapGpuAttributePosition);
    tmapGl.VertexAttribPointer(tmapGpuAttributePosition, 3, GL_FLOAT, GL_FALSE, stride,
                               reinterpret_cast<const void *>(offsetof(TmapGpuCorner, x)));
    tmapGl.EnableVertexAttribArray(tmapGpuAttributeFace);
    tmapGl.VertexAttribIPointer(tmapGpuAttributeFace, 2, GL_INT, stride,
                                reinterpret_cast<const void *>(offsetof(TmapGpuCorner, graphic)));
    tmapGl.BindVertexArray(GLuint(vertexArray));
    tmapGl.BindBuffer(GL_ARRAY_BUFFER, GLuint(arrayBuffer));
}

// Forgets a copy without a GL call, freeing its host memory.
void forgetObjects(TmapGpuCopy &copy = tmapGpuCopy)
{
    tmapFree(copy.animBlocks);
    tmapFree(copy.animCubes);
    tmapFree(copy.blockCubes);
    tmapFree(copy.blockCovers);
    tmapFree(copy.animCovers);
    tmapFree(copy.changedCells);
    tmapFree(copy.graphicAlpha);
    tmapFree(copy.blockShows);
    for (int32_t *bits : copy.occupancyBits)
        tmapFree(bits);
    std::memset(&copy, 0, sizeof copy);
}

// Every object of a copy, deleted in the context current now.
void deleteObjects(TmapGpuCopy &copy = tmapGpuCopy)
{
    if (copy.uploaded) {
        tmapGl.DeleteTextures(1, &copy.graphics);
        tmapGl.DeleteTextures(TMAP_LAYER_COUNT, copy.layers);
        tmapGl.DeleteTextures(TMAP_LAYER_COUNT, copy.occupancy);
        tmapGl.DeleteTextures(1, &copy.blocks);
        tmapGl.DeleteTextures(1, &copy.anims);
        tmapGl.DeleteTextures(1, &copy.rises);
        tmapGl.DeleteVertexArrays(1, &copy.vertexArray);
        tmapGl.DeleteVertexArrays(1, &copy.faceArray);
        tmapGl.DeleteBuffers(1, &copy.faceBuffer);
        tmapGl.DeleteBuffers(1, &copy.faceIndices);
        tmapGl.DeleteBuffers(1, &copy.visibleIndices);
        for (const TmapGpuProgram &program : copy.programs)
            tmapGl.DeleteProgram(program.name);
    }
    forgetObjects(copy);
}

int refuse(int code)
{
    deleteObjects();
    tmapError = code;
    return -1;
}

bool fitsLimits()
{
    GLint maxSize = 0, maxLayers = 0;
    tmapGl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    tmapGl.GetIntegerv(GL_MAX_ARRAY_TEXTURE_LAYERS, &maxLayers);
    if (maxSize < 1 || maxLayers < 1)
        return false;
    // A power of two, so that the shaders fold with a shift and a mask.
    tmapGpuCopy.foldShift = 0;
    while (tmapGpuCopy.foldShift < 30 && (2 << tmapGpuCopy.foldShift) <= maxSize)
        ++tmapGpuCopy.foldShift;
    tmapGpuCopy.foldWidth = 1 << tmapGpuCopy.foldShift;
    maxSize = tmapGpuCopy.foldWidth;
    // Every table must fit maxSize rows of maxSize entries, and its
    // entries must be counted by the shaders' 32-bit integers.
    int64_t tableLimit = int64_t(maxSize) * int64_t(maxSize);
    if (tableLimit > INT32_MAX)
        tableLimit = INT32_MAX;
    // Cells count only where a layer holds them: a header alone may name
    // any size.
    bool hasLayer = false;
    for (const int32_t *cells : tmapLayers)
        hasLayer = hasLayer || cells != nullptr;
    return tmapGpuLayOutGraphics(maxSize, maxLayers) && (!hasLayer || cellCount() <= tableLimit) &&
           int64_t(tmapBlockCount) * tmapGpuBlockTexels <= tableLimit && animCount() <= tableLimit;
}

} // namespace

GLuint tmapGpuMakeTable(GLint internalFormat, GLenum format, GLenum type, int64_t count, const void *entries,
                        size_t entryBytes)
{
    return makeTable(internalFormat, format, type, count, entries, entryBytes);
}

int tmapGpuUpload(void)
{
    tmapGpuForgetShaderLog();
    // The map must be there, loaded to keep its graphics' pixels.
    if (!tmapMapPresent) {
        tmapError = TMAP_ERROR_NO_MAP;
        return -1;
    }
    if (tmapFirstTexture != TMAP_TEXTURES_NONE) {
        tmapError = TMAP_ERROR_TEXTURE_MODE;
        return -1;
    }
    // A map without layers, blocks or graphics (an empty form, a header
    // alone) uploads as any other: its draws find nothing to draw, as the
    // fixed-function path's do.
    if (tmapTextureFilter != GL_LINEAR && tmapTextureFilter != GL_NEAREST) {
        tmapError = TMAP_ERROR_INVALID_ARGUMENT;
        return -1;
    }

    if (!tmapGpuLoadFunctions()) {
        // Objects of an earlier upload cannot be reached without the GL.
        forgetObjects();
        std::memset(&tmapGl, 0, sizeof tmapGl);
        tmapError = TMAP_ERROR_NO_GL_CONTEXT;
        return -1;
    }
    TmapGpuContext context;
    if (!tmapGpuQueryContext(context)) {
        // Objects of an earlier upload cannot be reached without a context.
        forgetObjects();
        tmapError = TMAP_ERROR_NO_GL_CONTEXT;
        return -1;
    }
    deleteObjects();
    // Errors the program left set are not this upload's.
    while (tmapGl.GetError() != GL_NO_ERROR) {
    }
    if (!fitsLimits())
        return refuse(TMAP_ERROR_GL_LIMITS);

    TmapGpuCopy &copy = tmapGpuCopy;
    copy.uploaded = true;
    copy.context = context;
    int built = TMAP_ERROR_NONE;
    for (int kind = 0; kind < tmapGpuProgramKinds && built == TMAP_ERROR_NONE; ++kind)
        built = tmapGpuBuildProgram(kind, context.embedded, copy.programs[kind]);
    if (built != TMAP_ERROR_NONE)
        return refuse(built);
    tmapGl.GenVertexArrays(1, &copy.vertexArray);
    makeFaceArray();

    UnpackState unpacking = plainUnpacking();
    tmapGl.ActiveTexture(GL_TEXTURE0);
    bool allocated = tmapGpuUploadGraphics() && tmapGpuPlanOccupancy();
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (allocated && tmapLayers[layer] != nullptr)
            allocated = uploadLayer(layer);
    copy.changedCells = static_cast<TmapGpuChangedCell *>(
        tmapAllocate(size_t(tmapGpuChangedCellCapacity) * sizeof(TmapGpuChangedCell)));
    allocated = allocated && copy.changedCells != nullptr && uploadBlocks() && coverBlocks() && uploadAnims();
    tmapGl.GenTextures(1, &copy.rises);
    tmapGl.BindTexture(GL_TEXTURE_2D, copy.rises);
    setTableParameters(GL_TEXTURE_2D);
    restoreUnpacking(unpacking);

    GLenum error = tmapGl.GetError();
    while (tmapGl.GetError() != GL_NO_ERROR) {
    }
    if (!allocated || error == GL_OUT_OF_MEMORY)
        return refuse(TMAP_ERROR_OUT_OF_MEMORY);
    if (error != GL_NO_ERROR)
        return refuse(TMAP_ERROR_GL_LIMITS);
    copy.current = true;
    return 0;
}

void tmapGpuRelease(void)
{
    if (tmapGl.DeleteTextures == nullptr)
        forgetObjects();
    else
        deleteObjects();
}

void tmapGpuReleaseCopy(TmapGpuCopy &copy)
{
    if (copy.uploaded && tmapGl.GetString != nullptr && tmapGl.GetString(GL_VERSION) != nullptr)
        deleteObjects(copy);
    else
        forgetObjects(copy);
}

GLuint tmapGpuPrepareDraw(int &current)
{
    if (!tmapGpuCopy.current || tmapCurrentLayer == nullptr)
        return 0;
    current = -1;
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer)
        if (tmapLayers[layer] == tmapCurrentLayer)
            current = layer;
    if (current < 0)
        return 0;
    int firstAnim, lastAnim;
    findAnimChanges(firstAnim, lastAnim);
    if (tmapGpuCopy.changedCellCount > 0 || tmapGpuCopy.changedLayersWhole != 0 || lastAnim >= 0) {
        tmapGl.ActiveTexture(GL_TEXTURE0);
        UnpackState unpacking = plainUnpacking();
        refreshCells();
        if (lastAnim >= 0)
            sendAnims(firstAnim, lastAnim);
        restoreUnpacking(unpacking);
    }
    return tmapGpuCopy.layers[current];
}

void tmapGpuCellChanged(const int32_t *cell)
{
    if (!tmapGpuCopy.current)
        return;
    int64_t cells = cellCount();
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        const int32_t *first = tmapLayers[layer];
        if (first == nullptr || cell < first || cell >= first + cells)
            continue;
        TmapGpuCopy &copy = tmapGpuCopy;
        if (copy.changedCellCount < tmapGpuChangedCellCapacity)
            copy.changedCells[copy.changedCellCount++] = {layer, cell - first};
        else
            copy.changedLayersWhole |= 1u << layer;
        tmapGpuDropFaces(layer, cell - first);
        if (*cell < 0)
            tmapGpuCopy.layersAnimated |= 1u << layer;
    }
}

void tmapGpuMapReleased()
{
    tmapGpuCopy.current = false;
    tmapGpuCopy.changedCellCount = 0;
    tmapGpuCopy.changedLayersWhole = 0;
}
