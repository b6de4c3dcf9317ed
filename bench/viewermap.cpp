// Writes the benchmarks' 2048 x 2048 map to a file, for timing fmapview.
#include <cstdio>

#include "benchmaps.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_viewermap OUT.FMP\n");
        return 2;
    }
    if (!tmapwriter::saveFile(argv[1], tmapwriter::buildImage(benchmaps::largeMap()))) {
        std::fprintf(stderr, "bench_viewermap: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
