// mapgen DIR            writes the demo maps "VORLA.FMP" and "TEST2A.FMP"
// mapgen --corpus DIR   writes small varied maps as fuzzing seeds
#include <cstdio>
#include <string>

#include "mapgen.h"
#include "options.h"

namespace {

bool save(const std::string& dir, const std::string& name, const tmapwriter::Bytes& image) {
    std::string path = dir + "/" + name;
    if (tmapwriter::saveFile(path, image)) return true;
    std::fprintf(stderr, "mapgen: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    bool corpus = false;
    const tmapoptions::CommandLine commandLine = {
        "mapgen",
        "Writes the demo maps \"VORLA.FMP\" and \"TEST2A.FMP\" into the folder DIR.\n",
        {"DIR"},
        {{"corpus", nullptr, "", "write small varied maps as fuzzing seeds instead",
          [&](const char*) { return corpus = true; }}},
    };
    const std::string dir = tmapoptions::parse(commandLine, argc, argv)[0];
    if (corpus) {
        for (const tmapgen::CorpusFile& file : tmapgen::makeCorpus())
            if (!save(dir, file.name, file.image)) return 1;
        return 0;
    }
    bool ok = save(dir, "VORLA.FMP", tmapwriter::buildImage(tmapgen::makeVorlaMap())) &&
              save(dir, "TEST2A.FMP", tmapwriter::buildImage(tmapgen::makeTest2aMap()));
    return ok ? 0 : 1;
}
