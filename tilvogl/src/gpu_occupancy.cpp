// Which parts of each layer can show anything, so that a flat draw covers
// only those and an empty part of a window costs nothing. A layer is cut
// into square chunks of cells; a chunk's TMAP_GPU_SHOWS_* bits say whether
// one of its cells may show an existing graphic1, one with a texel of alpha
// above 0, and the same for graphic2. Coarser levels, each chunk the union
// of 4 x 4 chunks below, keep the chunks a draw walks few whatever the
// window's size: a draw takes the finest level at which its window has at
// most tmapGpuMostChunksPerDraw chunks.
//
// A cell that shows an animation counts as showing everything, so that an
// animation step changes no chunk; tmapSetCell brings the chunks of its
// cell up to date at the next draw (work per chunk, not per layer).
#include "gpu_internal.h"
#include "internal.h"

namespace {

const int finestChunkShift = 3; // chunks of 8 x 8 cells
const int levelStep = 2;        // each level's chunks are 4 x 4 of the level below

inline uint32_t cellShows(int32_t value)
{
    if (value < 0)
        return TMAP_GPU_SHOWS_ALL;
    return value < tmapBlockCount && tmapBlocks != nullptr ? tmapGpuCopy.blockShows[value] : 0u;
}

uint32_t graphicShows(int32_t graphic, uint32_t exists, uint32_t texels)
{
    if (graphic < 0 || graphic >= tmapGpuGraphicCount())
        return 0;
    return exists | ((tmapGpuCopy.graphicAlpha[graphic] & TMAP_GPU_GRAPHIC_VISIBLE) != 0 ? texels : 0u);
}

// The union of a chunk's cells (level 0) or of its chunks below.
uint32_t chunkBits(const int32_t *bits, const int32_t *cells, int level, int64_t cx, int64_t cy)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    uint32_t shows = 0;
    if (level == 0) {
        const int size = 1 << finestChunkShift;
        const int64_t x0 = cx * size, y0 = cy * size;
        const int64_t x1 = x0 + size < tmapWidth ? x0 + size : tmapWidth;
        const int64_t y1 = y0 + size < tmapHeight ? y0 + size : tmapHeight;
        for (int64_t y = y0; y < y1; ++y)
            for (int64_t x = x0; x < x1; ++x)
                shows |= cellShows(cells[y * tmapWidth + x]);
        return shows;
    }
    const TmapGpuChunkLevel &below = copy.chunkLevels[level - 1];
    const int64_t x0 = cx << levelStep, y0 = cy << levelStep;
    const int64_t x1 = x0 + (1 << levelStep) < below.across ? x0 + (1 << levelStep) : below.across;
    const int64_t y1 = y0 + (1 << levelStep) < below.down ? y0 + (1 << levelStep) : below.down;
    for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x)
            shows |= uint32_t(bits[below.start + y * below.across + x]);
    return shows;
}

} // namespace

bool tmapGpuPlanOccupancy()
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const int64_t blocks = tmapBlocks != nullptr ? tmapBlockCount : 0;
    copy.blockShows = static_cast<uint8_t *>(tmapAllocate(size_t(blocks)));
    if (copy.blockShows == nullptr)
        return false;
    for (int64_t b = 0; b < blocks; ++b)
        copy.blockShows[b] = uint8_t(
            graphicShows(tmapBlocks[b].graphic1, TMAP_GPU_SHOWS_GRAPHIC1, TMAP_GPU_SHOWS_GRAPHIC1_TEXELS) |
            graphicShows(tmapBlocks[b].graphic2, TMAP_GPU_SHOWS_GRAPHIC2, TMAP_GPU_SHOWS_GRAPHIC2_TEXELS));

    // Levels up to one chunk for the whole layer.
    int64_t start = 0;
    copy.chunkLevelCount = 0;
    for (int level = 0; level < tmapGpuMostChunkLevels; ++level) {
        TmapGpuChunkLevel &chunks = copy.chunkLevels[level];
        chunks.shift = finestChunkShift + level * levelStep;
        const int64_t size = int64_t(1) << chunks.shift;
        chunks.across = (int64_t(tmapWidth) + size - 1) / size;
        chunks.down = (int64_t(tmapHeight) + size - 1) / size;
        chunks.start = start;
        start += chunks.across * chunks.down;
        copy.chunkLevelCount = level + 1;
        if (chunks.across * chunks.down <= 1)
            break;
    }
    return true;
}

bool tmapGpuBuildOccupancy(int layer)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    const TmapGpuChunkLevel &last = copy.chunkLevels[copy.chunkLevelCount - 1];
    const int64_t entries = last.start + last.across * last.down;
    tmapFree(copy.occupancyBits[layer]);
    tmapGl.DeleteTextures(1, &copy.occupancy[layer]);
    copy.occupancy[layer] = 0;
    int32_t *bits = static_cast<int32_t *>(tmapAllocate(size_t(entries) * sizeof(int32_t)));
    copy.occupancyBits[layer] = bits;
    if (bits == nullptr)
        return false; // without a table the layer's draws cover their whole window
    // The finest level in one pass over the cells, row by row.
    const TmapGpuChunkLevel &finest = copy.chunkLevels[0];
    for (int64_t k = 0; k < finest.across * finest.down; ++k)
        bits[k] = 0;
    const int32_t *cells = tmapLayers[layer];
    for (int64_t y = 0; y < tmapHeight; ++y) {
        int32_t *row = bits + (y >> finest.shift) * finest.across;
        const int32_t *cell = cells + y * tmapWidth;
        for (int64_t x = 0; x < tmapWidth; ++x)
            row[x >> finest.shift] |= int32_t(cellShows(cell[x]));
    }
    for (int level = 1; level < copy.chunkLevelCount; ++level) {
        const TmapGpuChunkLevel &chunks = copy.chunkLevels[level];
        for (int64_t cy = 0; cy < chunks.down; ++cy)
            for (int64_t cx = 0; cx < chunks.across; ++cx)
                bits[chunks.start + cy * chunks.across + cx] = int32_t(chunkBits(bits, cells, level, cx, cy));
    }
    copy.occupancy[layer] = tmapGpuMakeTable(GL_R32I, GL_RED_INTEGER, GL_INT, entries, bits, sizeof(int32_t));
    return true;
}

void tmapGpuOccupancyChanged(int layer, int64_t index)
{
    TmapGpuCopy &copy = tmapGpuCopy;
    int32_t *bits = copy.occupancyBits[layer];
    if (bits == nullptr || copy.occupancy[layer] == 0)
        return;
    int64_t cx = (index % tmapWidth) >> finestChunkShift, cy = (index / tmapWidth) >> finestChunkShift;
    const int width = tmapGpuTableWidth(copy.chunkLevels[copy.chunkLevelCount - 1].start +
                                        copy.chunkLevels[copy.chunkLevelCount - 1].across *
                                            copy.chunkLevels[copy.chunkLevelCount - 1].down);
    tmapGl.BindTexture(GL_TEXTURE_2D, copy.occupancy[layer]);
    for (int level = 0; level < copy.chunkLevelCount; ++level, cx >>= levelStep, cy >>= levelStep) {
        const TmapGpuChunkLevel &chunks = copy.chunkLevels[level];
        const int64_t entry = chunks.start + cy * chunks.across + cx;
        const int32_t shows = int32_t(chunkBits(bits, tmapLayers[layer], level, cx, cy));
        // The levels above hold the union: they change only if this did.
        if (shows == bits[entry])
            break;
        bits[entry] = shows;
        tmapGl.TexSubImage2D(GL_TEXTURE_2D, 0, GLint(entry % width), GLint(entry / width), 1, 1, GL_RED_INTEGER,
                             GL_INT, bits + entry);
    }
}

namespace {

TmapGpuChunkWindow chunksAt(int level, const TmapSpan &across, const TmapSpan &down)
{
    const TmapGpuChunkLevel &chunks = tmapGpuCopy.chunkLevels[level];
    const int64_t x0 = across.begin >> chunks.shift, x1 = ((across.end - 1) >> chunks.shift) + 1;
    const int64_t y0 = down.begin >> chunks.shift, y1 = ((down.end - 1) >> chunks.shift) + 1;
    TmapGpuChunkWindow window;
    window.level = level;
    window.cornerX = int((x0 << chunks.shift) - across.begin);
    window.cornerY = int((y0 << chunks.shift) - down.begin);
    window.across = int(x1 - x0);
    window.down = int(y1 - y0);
    window.shift = chunks.shift;
    window.firstEntry = int(chunks.start + y0 * chunks.across + x0);
    window.rowEntries = int(chunks.across);
    return window;
}

} // namespace

TmapGpuChunkWindow tmapGpuChunksOfWindow(int layer, unsigned shows, const TmapSpan &across, const TmapSpan &down)
{
    const TmapGpuCopy &copy = tmapGpuCopy;
    const int coarsest = copy.chunkLevelCount - 1;
    TmapGpuChunkWindow window = chunksAt(coarsest, across, down);
    for (int level = 0; level < coarsest; ++level) {
        window = chunksAt(level, across, down);
        if (int64_t(window.across) * window.down <= tmapGpuMostChunksPerDraw)
            break;
    }
    const int32_t *bits = copy.occupancyBits[layer];
    if (window.level == coarsest || bits == nullptr)
        return window;
    // Where nearly every chunk shows, edges between chunks cost a software
    // GL more than the few it skips: one quad covers the window.
    int64_t showing = 0;
    for (int y = 0; y < window.down; ++y)
        for (int x = 0; x < window.across; ++x)
            showing += (uint32_t(bits[window.firstEntry + int64_t(y) * window.rowEntries + x]) & shows) != 0;
    const int64_t chunks = int64_t(window.across) * window.down;
    return showing * 8 >= chunks * 7 ? chunksAt(coarsest, across, down) : window;
}
