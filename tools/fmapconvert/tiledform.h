// The form a map file takes as a Tiled map, shared by export and import.
//
// Tiled shows each cell as the library draws it: tile id g is graphic g,
// tile id graphicCount + n is animation n; a cell's gid is 1 + tile id with
// the block's mirror flags as flip bits. What Tiled cannot show travels in
// typed custom properties (fmapproperties.h), so an exported map converts
// back to the same map.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_TILEDFORM_H
#define TILVOGL_TOOLS_FMAPCONVERT_TILEDFORM_H

#include <cstdint>
#include <string>

#include "mapmodel.h"

namespace tmapconvert {

// Global tile id bits. The block flag 0x40 (mirrored left-right) is
// Tiled's horizontal flip, 0x80 (mirrored top-bottom) its vertical flip.
const uint32_t gidFlipHorizontal = 0x80000000u;
const uint32_t gidFlipVertical = 0x40000000u;
const uint32_t gidFlipDiagonal = 0x20000000u;
const uint32_t gidRotateHexagonal = 0x10000000u;
const uint32_t gidFlipBits = 0xF0000000u;

// "BODY", "LYR1" .. "LYR7".
std::string layerName(int layer);

// The gid a cell value is exported as: 1 + graphic1 for a block whose
// first graphic is one of the map's, 1 + graphicCount + n for animation n,
// with the mirror flags of the block the cell shows (an animation: the
// block of its current frame) as flip bits; 0, an empty cell, for a value
// naming no block or animation, or a block whose first graphic is none of
// the map's.
uint32_t exportedGid(const MapModel& model, int32_t cellValue);

} // namespace tmapconvert

#endif
