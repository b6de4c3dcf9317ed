// Writes the Tiled import's fuzz seeds: every map of tiledtest::seedMaps as
// one bundle file each (see fuzz_tiled.cpp), into the folder given.
#include <cstdio>
#include <fstream>
#include <string>

#include "tiledtestmaps.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: tmap_make_tiled_seeds FOLDER\n", stderr);
        return 2;
    }
    for (const auto& [name, files] : tiledtest::seedMaps()) {
        const std::string mapName = name.substr(name.size() - 4) == ".tmx" ? "map.tmx" : "map.tmj";
        std::ofstream out(std::string(argv[1]) + "/tiled-" + name, std::ios::binary);
        out << tiledtest::bundle(files, mapName);
        if (!out) {
            std::fprintf(stderr, "tmap_make_tiled_seeds: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
