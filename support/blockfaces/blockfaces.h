// What tmapDrawBlocks would emit for a window of the current layer, counted
// without drawing. A small map can describe columns of a thousand cubes in
// every cell; programs measure a window first and refuse one too big to draw.
#ifndef TILVOGL_SUPPORT_BLOCKFACES_H
#define TILVOGL_SUPPORT_BLOCKFACES_H

#include <cstdint>

struct BlockWindowSize {
    uint64_t faces = 0;         // quads drawn now: side faces and caps
    uint64_t facesAnyFrame = 0; // the most any frames of the animations can draw
    uint64_t tallestColumn = 0; // cubes in the highest column drawn now
};

// The window of columns x rows cells from (cellX, cellY) of the current
// layer, as tmapDrawBlocks draws it: clipped to the layer, cells that name no
// block skipped, a stacked run ended by the last record. Animated cells count
// with their current frame, and for facesAnyFrame with their tallest frame.
BlockWindowSize measureBlockWindow(int cellX, int cellY, int columns, int rows);

#endif
