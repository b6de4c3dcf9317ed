#include "benchfile.h"

#include <unistd.h> // getpid

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace benchmaps {

namespace {
std::vector<std::string> madeFiles;
void removeMadeFiles()
{
    for (const std::string& path : madeFiles)
        std::remove(path.c_str());
}
} // namespace

MapFile makeMapFile(const tmapwriter::Map& map, const std::string& name)
{
    MapFile file;
    file.image = tmapwriter::buildImage(map);
    file.path = (std::filesystem::temp_directory_path() / ("tilvogl-bench-" + std::to_string(getpid()) + "-" + name))
                    .string();
    if (!tmapwriter::saveFile(file.path, file.image)) {
        std::fprintf(stderr, "cannot write %s\n", file.path.c_str());
        std::exit(1);
    }
    if (madeFiles.empty())
        std::atexit(removeMadeFiles);
    madeFiles.push_back(file.path);
    return file;
}

} // namespace benchmaps
