// Shared by the tests of fmapconvert: running it and Tiled's programs, and a
// small map that shows every mirror flag, animation kind and alpha.
#ifndef TILVOGL_TESTS_TILEDTEST_H
#define TILVOGL_TESTS_TILEDTEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapwriter.h"
#include "image.h"
#include "toolrun.h"

// A PNG as RGBA; the test fails if it cannot be read.
tmapimage::Image readPicture(const std::string& path);

// Ours against Tiled's: where our texel is opaque or fully transparent the
// pixels are the same (any colour under alpha 0); where it is partly
// transparent alpha and each colour channel times alpha are within 1.
// Returns the first difference, or "".
std::string pictureDifference(const tmapimage::Image& ours, const tmapimage::Image& tiled);

// True when Tiled's tiled and tmxrasterizer programs are on the PATH and
// its example maps installed. A test that needs them fails without them:
// ASSERT_TRUE(tiledInstalled()) << tiledMissing.
bool tiledInstalled();
extern const char tiledMissing[];

// Where Tiled's example maps are installed.
extern const std::string tiledExamples;

// Copies the files of one of Tiled's examples (paths under tiledExamples,
// the map first) into folder, a .gz map decompressed; returns the map's path.
std::string copyExample(const std::string& folder, const std::vector<std::string>& files);

// A parameterised test's name for a map file name: "seed-d8-le.fmp" -> "seed_d8_le".
std::string mapTestName(const ::testing::TestParamInfo<std::string>& info);

// fmapconvert IN OUT.
ToolResult convert(const std::string& in, const std::string& out);

// tiled --export-map IN OUT, without a display.
ToolResult tiledExport(const std::string& in, const std::string& out);

// Depth 32, big-endian, 5 x 3 tiles that look different mirrored either
// way, some texels partly transparent. Layer 0 shows the four mirror
// combinations of two graphics (one block also with every other flag bit),
// animations of modes 1, 2, 6 and 0, a cell naming no block and an empty
// block; layers 3 and 7 lay translucent and mirrored tiles over it. Every
// animation is stored as a reset leaves it, so it shows the same frame
// before and after one.
tmapwriter::Map flipsMap();

#endif
