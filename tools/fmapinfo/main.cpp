// fmapinfo: prints what a map file holds, as the library loads it.
#include <cstdio>
#include <string>
#include <vector>

#include "files.h"
#include "loadmessage.h"
#include "mapinfo.h"
#include "offscreen.h"
#include "tilvogl/tilvogl.h"

namespace {

const char usage[] =
    "usage: fmapinfo [--json] MAP\n"
    "Loads the map file MAP and prints its header values, its chunks (tag,\n"
    "offset, length, decoded or skipped), per-layer statistics, its animations\n"
    "and its block count. No display is needed.\n"
    "\n"
    "  --json   print the same as one JSON object\n"
    "  --help   show this text\n"
    "\n"
    "A map the library refuses gives one line on stderr naming the reason, and\n"
    "exit status 1.\n";

const int firstTextureName = 1;

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "fmapinfo: unknown option %s (try --help)\n", arg.c_str());
            return 2;
        } else if (path.empty()) {
            path = arg;
        } else {
            std::fputs("fmapinfo: give one map file (try --help)\n", stderr);
            return 2;
        }
    }
    if (path.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }

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
    std::string report = json ? tmapinfo::jsonReport(path, file) : tmapinfo::textReport(path, file);
    std::fputs(report.c_str(), stdout);
    tmapRelease();
    tmapoffscreen::closeContext();
    return std::fflush(stdout) == 0 ? 0 : 1;
}
