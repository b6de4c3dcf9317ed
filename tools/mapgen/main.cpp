// mapgen OUTDIR            writes the demo maps "VORLA.FMP" and "TEST2A.FMP"
// mapgen --corpus DIR      writes small varied maps as fuzzing seeds
#include <cstdio>
#include <cstring>
#include <string>

#include "mapgen.h"

namespace {

bool save(const std::string& dir, const std::string& name, const tmapwriter::Bytes& image) {
    std::string path = dir + "/" + name;
    if (tmapwriter::saveFile(path, image)) return true;
    std::fprintf(stderr, "mapgen: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--corpus") == 0) {
        for (const tmapgen::CorpusFile& file : tmapgen::makeCorpus())
            if (!save(argv[2], file.name, file.image)) return 1;
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: mapgen OUTDIR | mapgen --corpus DIR\n");
        return 2;
    }
    bool ok = save(argv[1], "VORLA.FMP", tmapwriter::buildImage(tmapgen::makeVorlaMap())) &&
              save(argv[1], "TEST2A.FMP", tmapwriter::buildImage(tmapgen::makeTest2aMap()));
    return ok ? 0 : 1;
}
