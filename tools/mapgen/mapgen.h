// The demo maps and the fuzz seed corpus, built in memory.
#ifndef TILVOGL_TOOLS_MAPGEN_MAPGEN_H
#define TILVOGL_TOOLS_MAPGEN_MAPGEN_H

#include <string>
#include <vector>

#include "mapwriter.h"

namespace tmapgen {

// "VORLA.FMP": 24 x 200 cells of 16 x 16 tiles, depth 16, little-endian.
// Layer 0 is terrain seen from high above, layer 1 clouds and airships
// over a transparent block 0.
tmapwriter::Map makeVorlaMap();

// "TEST2A.FMP": 64 x 64 cells of 32 x 32 tiles, depth 24, big-endian.
// Layer 0 is a garden of ground tiles with overlays in graphic2, layer 1 a
// town of block columns, layer 2 hills and walls.
tmapwriter::Map makeTest2aMap();

struct CorpusFile {
    std::string name;
    tmapwriter::Bytes image;
};
// A few dozen small, varied map files for fuzzing.
std::vector<CorpusFile> makeCorpus();

}  // namespace tmapgen

#endif
