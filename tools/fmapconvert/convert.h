// fmapconvert: map files to Tiled maps and back.
//
// Import reads a Tiled map (JSON or TMX, with its tilesets and PNG images)
// and writes a map file; export reads a map file through the library and
// writes a Tiled map with one PNG tileset image beside it. Both treat their
// input as untrusted: every failure is one line of text, never a crash.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_CONVERT_H
#define TILVOGL_TOOLS_FMAPCONVERT_CONVERT_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tmapconvert {

// Bounds on what an import may allocate; every size read from the input is
// checked against these before memory is taken for it.
struct ImportLimits {
    uint64_t cellsPerLayer = 16u << 20; // one layer, or the bounding box of an infinite map
    uint64_t imagePixels = 64u << 20;   // one PNG
    uint64_t allImagePixels = 256u << 20; // every PNG of one map together
    uint64_t fileBytes = 256u << 20;    // one map, tileset or image file
    int groupDepth = 64;                // nested group layers
};

// Entries of the frame list an import may write: animations of very
// unequal frame durations repeat frames, and restored maps bring their own.
const size_t largestFrameList = size_t(1) << 20;

struct Options {
    int depth = 32;          // colour depth of a written map file
    bool depthGiven = false; // --depth was on the command line
    bool bigEndian = false;  // byte order of a written map file
    std::FILE* notes = stderr; // where notes go; nullptr with --quiet
    bool trustedPaths = false; // no note for files read outside the map's folder
    ImportLimits limits;
};

// Reads a whole file that a Tiled map names (tileset, image); path is
// already joined to the folder of the file that named it. Returns false with
// a reason.
using FileSource = std::function<bool(const std::string& path, std::string& bytes, std::string& error)>;

// Prints "fmapconvert: IN: text" as a note (nothing with --quiet).
void printNote(const Options& options, const std::string& inPath, const std::string& text);

// Tiled map (.tmj, .json or .tmx) -> map file. Returns true, or false with
// one line in error that names what is wrong and where.
bool importTiled(const std::string& inPath, const std::string& outPath, const Options& options,
                 std::string& error);

// The same import from memory: the map's text, the files it names served by
// files, the map file's bytes in image. Writes nothing.
bool importTiledText(const std::string& mapText, const std::string& folder, const FileSource& files,
                     const Options& options, std::vector<uint8_t>& image, std::string& error);

// Map file -> Tiled map (.tmj, .json or .tmx) plus its tileset image. A
// chunk that the library skips has no place in a Tiled map: each is left
// out with a note.
bool exportTiled(const std::string& inPath, const std::string& outPath, const Options& options,
                 std::string& error);

// The tileset image an export of a Tiled map to mapPath writes beside it:
// "<stem>-tiles.png" in the map's folder. The name alone, and the path.
std::string exportedImageName(const std::string& mapPath);
std::string exportedImagePath(const std::string& mapPath);

} // namespace tmapconvert

#endif
