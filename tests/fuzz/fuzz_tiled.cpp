// libFuzzer entry for the Tiled import, from memory. One input is a bundle:
// the map's text (JSON or TMX), then any number of files it may name, each
// introduced by "\n#file NAME\n" (tilesets, PNG images). The colour depth
// follows the input's length, so every depth is reached. Whatever the
// bytes, the import must give one line of error or a map that the library
// loads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "convert.h"
#include "tiledtestmaps.h"
#include "tilvogl/tilvogl.h"

// The GL that the library draws into is the caller's: the fuzzer links the
// recording double (fuzz_tiled_gl.cpp), the replay test a real offscreen one.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string separator = tiledtest::bundleSeparator;
    size_t at = input.find(separator);
    const std::string mapText = input.substr(0, at);
    std::map<std::string, std::string> files;
    while (at != std::string::npos) {
        const size_t nameStart = at + separator.size();
        const size_t nameEnd = input.find('\n', nameStart);
        if (nameEnd == std::string::npos)
            break;
        at = input.find(separator, nameEnd + 1);
        files[input.substr(nameStart, nameEnd - nameStart)] =
            input.substr(nameEnd + 1, at == std::string::npos ? std::string::npos : at - nameEnd - 1);
    }
    const tmapconvert::FileSource source = [&files](const std::string& path, std::string& bytes, std::string& error) {
        const auto found = files.find(path);
        if (found == files.end()) {
            error = "no file " + path;
            return false;
        }
        bytes = found->second;
        return true;
    };
    static const int depths[] = {32, 8, 15, 16, 24};
    tmapconvert::Options options;
    options.depth = depths[size % 5];
    options.notes = nullptr;
    options.limits.cellsPerLayer = 1u << 16;
    options.limits.imagePixels = 1u << 18;
    options.limits.allImagePixels = 1u << 20;
    options.limits.fileBytes = 1u << 20;
    std::vector<uint8_t> image;
    std::string error;
    if (tmapconvert::importTiledText(mapText, "", source, options, image, error)) {
        if (tmapDecodeBuffer(image.data(), image.size(), 1) != 0)
            std::abort(); // the import wrote a map the library refuses
        tmapRelease();
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        std::abort(); // a failure is always one line
    }
    return 0;
}
