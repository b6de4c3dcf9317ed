// A map file as the library loads it, copied out of the library's current
// map: header values, colour map, blocks, animations, frame list, layers,
// and the converted RGBA pixels of every graphic, read back from its texture.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_MAPMODEL_H
#define TILVOGL_TOOLS_FMAPCONVERT_MAPMODEL_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tilvogl/tilvogl.h"

namespace tmapconvert {

struct MapModel {
    int width = 0, height = 0;         // cells
    int tileWidth = 0, tileHeight = 0; // pixels
    int depth = 0;
    int blockRecordSize = 0;
    int graphicCount = 0;
    bool littleEndian = false;
    bool hasColourMap = false;          // a "CMAP" chunk was loaded
    std::vector<uint8_t> colourMap;     // its bytes
    std::vector<TmapBlock> blocks;
    std::vector<TmapAnim> anims;        // as loaded, before any reset
    std::vector<int32_t> frames;        // block indices
    std::optional<std::vector<int32_t>> layers[TMAP_LAYER_COUNT]; // cell values
    std::vector<std::vector<uint8_t>> graphics; // tileWidth x tileHeight RGBA each, first row first

    // The block a cell value shows before any animation step, or nullptr
    // when it names no block: for -(n + 1) the block of animation n's
    // current frame.
    const TmapBlock* blockShown(int32_t cellValue) const;
};

// Loads the map file at path in an offscreen GL context of its own and
// copies it out. Returns false with the library's one-line reason.
bool loadMapModel(const std::string& path, MapModel& model, std::string& error);

// Copies the library's current map (loaded with firstTexture, its context
// still current) into model.
void copyCurrentMap(MapModel& model);

} // namespace tmapconvert

#endif
