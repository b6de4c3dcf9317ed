// fmapconvert: map files to Tiled maps and back.
//
// Import reads a Tiled map (JSON or TMX, with its tilesets and PNG images)
// and writes a map file; export reads a map file through the library and
// writes a Tiled map with one PNG tileset image beside it. Both treat their
// input as untrusted: every failure is one line of text, never a crash.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_CONVERT_H
#define TILVOGL_TOOLS_FMAPCONVERT_CONVERT_H

#include <cstdio>
#include <string>

namespace tmapconvert {

struct Options {
    int depth = 32;          // colour depth of a written map file
    bool depthGiven = false; // --depth was on the command line
    bool bigEndian = false;  // byte order of a written map file
    std::FILE* notes = stderr; // where notes go; nullptr with --quiet
};

// Tiled map (.tmj, .json or .tmx) -> map file. Returns true, or false with
// one line in error that names what is wrong and where.
bool importTiled(const std::string& inPath, const std::string& outPath, const Options& options,
                 std::string& error);

// Map file -> Tiled map (.tmj, .json or .tmx) plus its tileset image.
bool exportTiled(const std::string& inPath, const std::string& outPath, const Options& options,
                 std::string& error);

} // namespace tmapconvert

#endif
