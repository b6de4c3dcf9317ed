// fmapconvert IN OUT: converts between map files (.fmp) and Tiled maps
// (.tmj/.json, .tmx); the extensions choose the direction.
#include <strings.h> // strcasecmp for the extensions

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert.h"
#include "options.h"

namespace {

const char about[] =
    "Converts a Tiled map into a map file, or a map file into a Tiled map.\n"
    "The extensions choose the direction (case does not matter):\n"
    "  .fmp          a map file, as the library loads it\n"
    "  .tmj, .json   a Tiled map in Tiled's JSON format\n"
    "  .tmx          a Tiled map in Tiled's XML format\n"
    "\n"
    "Tiled -> map file: orthogonal maps with up to 8 tile layers; tilesets\n"
    "embedded or external (.tsj, .tsx) with PNG images; flips, animations and\n"
    "the block properties userLong1, userLong2, userShort1, userShort2,\n"
    "userByte1..userByte3 and flags.\n"
    "Map file -> Tiled: OUT and one PNG tileset image beside it; what Tiled\n"
    "cannot show travels in custom properties, so converting back gives the\n"
    "same map.\n";

const char helpNotes[] =
    "A failure prints one line on stderr and exits with status 1; OUT is then\n"
    "left as it was. A wrong command line exits with status 2.\n";

enum class Kind { none, mapFile, tiled };

Kind kindOf(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return Kind::none;
    const char* extension = path.c_str() + dot;
    if (strcasecmp(extension, ".fmp") == 0)
        return Kind::mapFile;
    if (strcasecmp(extension, ".tmj") == 0 || strcasecmp(extension, ".json") == 0
        || strcasecmp(extension, ".tmx") == 0)
        return Kind::tiled;
    return Kind::none;
}

bool readDepth(const char* text, tmapconvert::Options& options)
{
    int depth = 0;
    if (!tmapoptions::readInteger(text, 8, 32, depth)
        || (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32))
        return false;
    options.depth = depth;
    return options.depthGiven = true;
}

} // namespace

int main(int argc, char** argv)
{
    tmapconvert::Options options;
    const tmapoptions::CommandLine commandLine = {
        "fmapconvert",
        about,
        {"IN", "OUT"},
        {
            {"depth", "N", "8, 15, 16, 24 or 32",
             "colour depth of the written map file: 8, 15, 16, 24 or 32\n"
             "(default 32, or the depth an exported map came from)",
             [&](const char* text) { return readDepth(text, options); }},
            {"big-endian", nullptr, "", "write the map file big-endian (default little-endian)",
             [&](const char*) { return options.bigEndian = true; }},
            {"quiet", nullptr, "", "print no notes, only errors",
             [&](const char*) {
                 options.notes = nullptr;
                 return true;
             }},
            {"trusted-paths", nullptr, "",
             "read the tilesets and images a Tiled map names outside its own\n"
             "folder without a note (Tiled's extension passes it: Tiled has read\n"
             "them already)",
             [&](const char*) { return options.trustedPaths = true; }},
        },
        helpNotes,
    };
    const std::vector<std::string> operands = tmapoptions::parse(commandLine, argc, argv);
    const std::string& in = operands[0];
    const std::string& out = operands[1];
    const Kind from = kindOf(in);
    const Kind to = kindOf(out);
    std::string error;
    bool converted;
    if (from == Kind::tiled && to == Kind::mapFile) {
        converted = tmapconvert::importTiled(in, out, options, error);
    } else if (from == Kind::mapFile && to == Kind::tiled) {
        converted = tmapconvert::exportTiled(in, out, options, error);
    } else {
        std::fprintf(stderr,
                     "fmapconvert: convert a .tmj, .json or .tmx into a .fmp, or a .fmp into a "
                     ".tmj, .json or .tmx (not %s into %s)\n",
                     in.c_str(), out.c_str());
        return 2;
    }
    if (!converted) {
        std::fprintf(stderr, "fmapconvert: %s: %s\n", in.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
