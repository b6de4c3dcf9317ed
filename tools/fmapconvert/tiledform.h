// The form a map file takes as a Tiled map, shared by export and import.
//
// Tiled shows each cell as the library draws it: tile id g is graphic g,
// tile id graphicCount + n is animation n; a cell's gid is 1 + tile id with
// the block's mirror flags as flip bits. What Tiled cannot show travels in
// typed custom properties named here, so an exported map converts back to
// the same map.
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

// Map properties.
extern const char propertyDepth[];           // int
extern const char propertyLittleEndian[];    // bool
extern const char propertyBlockRecordSize[]; // int
extern const char propertyGraphicCount[];    // int
extern const char propertyColourMap[];       // string: lowercase hex of the "CMAP" bytes
// string: one line per block, "graphic1 graphic2 graphic3 graphic4 userLong1
// userLong2 userShort1 userShort2 userByte1 userByte2 userByte3 flags" in
// decimal, lines joined by "\n".
extern const char propertyBlocks[];
// string: one line per animation, "mode delay countdown user current start end".
extern const char propertyAnims[];
extern const char propertyFrames[]; // string: the frame list's block indices, space-separated
// Tile properties of an animation's tile.
extern const char propertyAnim[]; // int: the animation's number n
extern const char propertyMode[]; // int: its mode
// Layer property: the layer's cell values, row after row, space-separated.
extern const char propertyCells[];

// "BODY", "LYR1" .. "LYR7".
std::string layerName(int layer);

// The Tiled tile id of a cell, without flip bits, and whether it has one:
// 1 + graphic1 of a block whose graphic1 names a graphic, 1 + graphicCount
// + n for animation n; 0 (an empty cell) for a cell naming no block or
// animation, or a block whose graphic1 names no graphic.
// With the flip bits of the block the cell shows (an animation: the block
// of its current frame).
uint32_t exportedGid(const MapModel& model, int32_t cellValue);

} // namespace tmapconvert

#endif
