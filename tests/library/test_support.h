// Shared helpers of the library tests: maps made with the writer, loading
// them the way tmapLoadFile would, and a fixture that starts every test
// from no map and an empty GL log.
#ifndef TILVOGL_TESTS_LIBRARY_SUPPORT_H
#define TILVOGL_TESTS_LIBRARY_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gldouble.h"
#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

extern "C" {
extern thread_local long tmapFailAllocationAt;
extern thread_local long tmapAllocationCount;
// The cells whose dependencies the last draw grouped by texture worked out.
long tmapGroupedCellsWorkedOut(void);
}
// Forgets everything grouped drawing kept, so that the next draw works its
// order out afresh (the library's own, run when a map is released).
void tmapReleaseDrawScratch(void);

namespace support {

using tmapwriter::Bytes;
using tmapwriter::Map;

// Decodes an image as a load would: tmapError cleared, then the decoder.
int load(const Bytes& image, int firstTexture = 10);
int load(const Map& map, int firstTexture = 10);

// A 3 x 2 map of 2 x 2 tiles at the given depth using every kind of chunk:
// colour map (depth 8), four blocks with distinct fields, a frame list of
// three entries and two animations, three graphics, layers 0, 1 and 3.
Map sampleMap(int depth, bool littleEndian);

// One graphic of w x h pixels of one colour at the given depth.
Bytes solidGraphic(int depth, int w, int h, uint8_t r, uint8_t g, uint8_t b);

// Every kept map of tests/corpus (malformed maps, fuzz findings) and every
// fuzz seed, by path.
std::vector<std::string> corpusFiles();

// A path for a scratch file under the test's temporary folder.
std::string tempPath(const std::string& name);

// Byte offset of chunk index in buildForm(chunks).
size_t chunkOffset(const std::vector<tmapwriter::Chunk>& chunks, size_t index);

// Every variable of the current map, copied, so two loads can be compared.
struct Model {
    int width, height, tileWidth, tileHeight, depth, blockRecordSize, blockCount, graphicCount;
    int firstTexture;
    std::vector<uint8_t> colourMap;
    std::vector<TmapBlock> blocks;
    std::vector<TmapAnim> anims;
    std::vector<int32_t> frames;
    std::vector<std::vector<int32_t>> layers; // empty vector for an absent layer
    int currentLayer;                         // index of tmapCurrentLayer in tmapLayers, -1 none
    std::vector<std::vector<uint8_t>> textures; // pixels of each glTexImage2D
};
Model snapshot();

// True when no array of a map exists and no layer is current.
bool noMap();

bool operator==(const Model& a, const Model& b);

} // namespace support

bool operator==(const TmapBlock& a, const TmapBlock& b);
bool operator==(const TmapAnim& a, const TmapAnim& b);
std::ostream& operator<<(std::ostream& out, const TmapBlock& b);
std::ostream& operator<<(std::ostream& out, const TmapAnim& a);

// Every test starts with no map, no allocation failure and an empty GL log,
// and releases what it loaded.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
