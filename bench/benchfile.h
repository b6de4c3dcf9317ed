// A map image kept in memory and in a file for the length of a benchmark
// run, and the run's temporary folder.
#ifndef TILVOGL_BENCH_BENCHFILE_H
#define TILVOGL_BENCH_BENCHFILE_H

#include <string>

#include "mapwriter.h"

namespace benchmaps {

struct MapFile {
    tmapwriter::Bytes image;
    std::string path; // removed at exit
};

// A path for a file named name in this run's own temporary folder, which is
// removed with everything in it when the program exits, so no benchmark
// leaves a file behind whatever it writes beside its maps.
std::string scratchPath(const std::string& name);

// Builds the image and writes it to a temporary file; aborts on failure.
MapFile makeMapFile(const tmapwriter::Map& map, const std::string& name);

} // namespace benchmaps

#endif
