// Writes a benchmark map for the demos to the file named on the command line:
// the dense map (benchmaps::denseMap), or with "animated" the animated block
// map (benchmaps::animatedBlockMap).
#include <cstdio>
#include <cstring>

#include "benchmaps.h"

int main(int argc, char** argv)
{
    const bool animated = argc == 3 && std::strcmp(argv[2], "animated") == 0;
    if (argc != 2 && !animated) {
        std::fprintf(stderr, "usage: bench_densemap OUT.FMP [animated]\n");
        return 2;
    }
    const tmapwriter::Map map = animated ? benchmaps::animatedBlockMap() : benchmaps::denseMap();
    if (!tmapwriter::saveFile(argv[1], tmapwriter::buildImage(map))) {
        std::fprintf(stderr, "bench_densemap: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
