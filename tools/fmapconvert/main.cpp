// fmapconvert IN OUT: converts between map files (.fmp) and Tiled maps
// (.tmj/.json, .tmx); the extensions choose the direction.
#include <getopt.h> // getopt_long for the options
#include <strings.h> // strcasecmp for the extensions

#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert.h"

namespace {

const char usage[] =
    "usage: fmapconvert [options] IN OUT\n"
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
    "same map.\n"
    "\n"
    "  --depth N      colour depth of the written map file: 8, 15, 16, 24 or 32\n"
    "                 (default 32, or the depth an exported map came from)\n"
    "  --big-endian   write the map file big-endian (default little-endian)\n"
    "  --quiet        print no notes, only errors\n"
    "  --help         show this text\n"
    "\n"
    "A failure prints one line on stderr and exits with status 1; OUT is then\n"
    "left as it was.\n";

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

} // namespace

int main(int argc, char** argv)
{
    enum { optionDepth = 1, optionBigEndian, optionQuiet, optionHelp };
    static const option longOptions[] = {
        {"depth", required_argument, nullptr, optionDepth},
        {"big-endian", no_argument, nullptr, optionBigEndian},
        {"quiet", no_argument, nullptr, optionQuiet},
        {"help", no_argument, nullptr, optionHelp},
        {nullptr, 0, nullptr, 0},
    };
    tmapconvert::Options options;
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1) {
        switch (option) {
        case optionDepth: {
            char* end = nullptr;
            const long depth = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0'
                || (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)) {
                std::fprintf(stderr, "fmapconvert: --depth takes 8, 15, 16, 24 or 32, not %s\n", optarg);
                return 2;
            }
            options.depth = int(depth);
            options.depthGiven = true;
            break;
        }
        case optionBigEndian:
            options.bigEndian = true;
            break;
        case optionQuiet:
            options.notes = nullptr;
            break;
        case optionHelp:
        case 'h':
            std::fputs(usage, stdout);
            return 0;
        default:
            std::fprintf(stderr, "fmapconvert: unknown option %s (try --help)\n", argv[optind - 1]);
            return 2;
        }
    }
    if (argc - optind != 2) {
        std::fputs("fmapconvert: give IN and OUT (try --help)\n", stderr);
        return 2;
    }
    const std::string in = argv[optind];
    const std::string out = argv[optind + 1];
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
