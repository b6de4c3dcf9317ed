// The maps the benchmarks load, animate and draw, made with the map writer.
#ifndef TILVOGL_BENCH_BENCHMAPS_H
#define TILVOGL_BENCH_BENCHMAPS_H

#include "mapwriter.h"

namespace benchmaps {

// 2048 x 2048 cells, all 8 layers, depth 16, 16 x 16 tiles, 300 graphics,
// 1024 blocks and 64 animations; about 64 MiB of cells in the file.
tmapwriter::Map largeMap();

// 1024 x 1024 cells, 4 layers, depth 32, 16 x 16 tiles: 1 000 distinct
// graphics, one block each (mirrored every way in turn), for fmapconvert.
tmapwriter::Map convertMap();

// Header and graphics only (the "BGFX" part of largeMap), for timing the
// texture upload apart from the rest of the load.
tmapwriter::Map graphicsOnlyMap();

// `count` animations over a shared 16-entry frame list, modes 1 to 6 in
// turn, delays 0 to 3; no layers.
tmapwriter::Map manyAnimsMap(int count);

// side x side cells (64 unless said): blocks with four side graphics, every
// fifth cell a column of three stacked blocks, every seventh an animated
// cell; 32 graphics.
tmapwriter::Map drawMap(int side = 64);

// The dense benchmark map for the demos: 50 x 50 cells, every cell a
// column of 3 to 6 stacked cubes with two side faces each, capped, over 48
// distinct graphics. Layers 0, 1 and 2 (what the four demos draw) hold
// the same cells.
tmapwriter::Map denseMap();

// The dense map with about one cell in eleven animated: three looping
// animations, a frame change every 0.25 to 0.37 s, each frame a column of a
// different height (1 to 6 cubes).
tmapwriter::Map animatedBlockMap();

} // namespace benchmaps

#endif
