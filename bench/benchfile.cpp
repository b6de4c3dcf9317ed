#include "benchfile.h"

#include <unistd.h> // getpid

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace benchmaps {

namespace {
std::filesystem::path runFolder;
void removeRunFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(runFolder, ignored);
}
} // namespace

std::string scratchPath(const std::string& name)
{
    if (runFolder.empty()) {
        runFolder = std::filesystem::temp_directory_path() / ("tilvogl-bench-" + std::to_string(getpid()));
        std::error_code error;
        std::filesystem::create_directories(runFolder, error);
        if (error) {
            std::fprintf(stderr, "cannot make %s: %s\n", runFolder.c_str(), error.message().c_str());
            std::exit(1);
        }
        std::atexit(removeRunFolder);
    }
    return (runFolder / name).string();
}

MapFile makeMapFile(const tmapwriter::Map& map, const std::string& name)
{
    MapFile file;
    file.image = tmapwriter::buildImage(map);
    file.path = scratchPath(name);
    if (!tmapwriter::saveFile(file.path, file.image)) {
        std::fprintf(stderr, "cannot write %s\n", file.path.c_str());
        std::exit(1);
    }
    return file;
}

} // namespace benchmaps
