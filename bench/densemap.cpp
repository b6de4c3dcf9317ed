// Writes the dense benchmark map (benchmaps::denseMap) to the file named on
// the command line; the demo benchmarks run the demos on it.
#include <cstdio>

#include "benchmaps.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_densemap OUT.FMP\n");
        return 2;
    }
    if (!tmapwriter::saveFile(argv[1], tmapwriter::buildImage(benchmaps::denseMap()))) {
        std::fprintf(stderr, "bench_densemap: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
