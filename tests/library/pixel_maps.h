// Maps shared by the picture tests: the demo maps made by mapgen, and a
// random map that exercises every way a cell can be drawn.
#ifndef TILVOGL_TESTS_PIXEL_MAPS_H
#define TILVOGL_TESTS_PIXEL_MAPS_H

#include "mapwriter.h"

// A 50 x 130 map of 8 x 8 tiles, three layers, whose columns stand up to
// tallestStack cubes tall, with upper caps at rise 0 and on top, mirrored
// caps, faces without a graphic, transparent texels, and animations that
// change both textures and column heights.
tmapwriter::Bytes randomPixelMap(unsigned seed, int tallestStack);

// The bytes of a demo map file ("VORLA.FMP", "TEST2A.FMP") in dir, or of
// randomPixelMap(2026, 6) for the name "random"; empty when unreadable.
tmapwriter::Bytes pixelTestMap(const char *dir, const char *name);

#endif
