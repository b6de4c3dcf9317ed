// A map image kept in memory and in a file for the length of a benchmark run.
#ifndef TILVOGL_BENCH_BENCHFILE_H
#define TILVOGL_BENCH_BENCHFILE_H

#include <string>

#include "mapwriter.h"

namespace benchmaps {

struct MapFile {
    tmapwriter::Bytes image;
    std::string path; // removed at exit
};

// Builds the image and writes it to a temporary file; aborts on failure.
MapFile makeMapFile(const tmapwriter::Map& map, const std::string& name);

} // namespace benchmaps

#endif
