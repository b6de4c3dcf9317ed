// fmapinfo: prints what a map file holds, as the library loads it.
#include <cstdio>
#include <string>
#include <vector>

#include "files.h"
#include "loadmessage.h"
#include "mapinfo.h"
#include "offscreen.h"
#include "options.h"
#include "tilvogl/tilvogl.h"

namespace {

const int firstTextureName = 1;

} // namespace

int main(int argc, char** argv)
{
    bool json = false, pretty = false;
    const tmapoptions::CommandLine commandLine = {
        "fmapinfo",
        "Loads the map file MAP and prints its header values, its chunks (tag,\n"
        "offset, length, decoded or skipped), per-layer statistics, its animations\n"
        "and its block count. No display is needed.\n",
        {"MAP"},
        {
            {"json", nullptr, "", "print the same as one JSON object, on one line",
             [&](const char*) { return json = true; }},
            {"pretty", nullptr, "", "with --json: indent the JSON by two spaces, one value a line",
             [&](const char*) { return pretty = true; }},
        },
        "A map the library refuses gives one line on stderr naming the reason, and\n"
        "exit status 1.\n",
    };
    const std::string path = tmapoptions::parse(commandLine, argc, argv)[0];
    if (pretty && !json)
        tmapoptions::refuse("--pretty indents the JSON of --json");

    // Loading defines the tile textures, so it needs a context.
    if (!tmapoffscreen::openContext(1, 1)) {
        std::fputs("fmapinfo: cannot create an offscreen OpenGL context\n", stderr);
        return 1;
    }
    if (tmapLoadFile(path.c_str(), firstTextureName) != 0) {
        std::fprintf(stderr, "fmapinfo: %s: %s\n", path.c_str(), loadFailureMessage().c_str());
        return 1;
    }
    // The chunk list is not part of the model; read it from the bytes.
    std::vector<uint8_t> file;
    std::string reason;
    if (!tmapfiles::readWholeFile(path, file, reason)) {
        std::fprintf(stderr, "fmapinfo: %s\n", reason.c_str());
        tmapRelease();
        tmapoffscreen::closeContext();
        return 1;
    }
    if (json)
        tmapinfo::writeJsonReport(stdout, path, file, pretty);
    else
        tmapinfo::writeTextReport(stdout, path, file);
    tmapRelease();
    tmapoffscreen::closeContext();
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
