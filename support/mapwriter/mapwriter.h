// tmapwriter: builds map file images ("FORM"/"FMAP") in memory, and lists
// the chunks of one as the library walks them.
//
// The library only ever reads maps; this writer exists for the tests, the
// fuzz corpus and the demo map generator. A Map describes the model the
// loader should end up with (graphic and frame INDICES, cell values as the
// library holds them) and buildImage encodes it in the file's own units.
// Broken files are made by editing the chunk list or the bytes afterwards.
#ifndef TILVOGL_TOOLS_MAPWRITER_H
#define TILVOGL_TOOLS_MAPWRITER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tmapwriter {

using Bytes = std::vector<uint8_t>;

// One block record. Graphics are indices; they are written as
// index * graphicSize byte offsets.
struct Block {
    int32_t graphic[4] = {0, 0, 0, 0};
    uint32_t userLong1 = 0, userLong2 = 0;
    uint16_t userShort1 = 0, userShort2 = 0;
    uint8_t userByte1 = 0, userByte2 = 0, userByte3 = 0, flags = 0;
};

// One animation record. current, start and end are frame-list indices;
// they are written as positions 4 * index - N (N: "ANDT" data length).
struct Anim {
    uint8_t mode = 1, delay = 0, countdown = 0, user = 0;
    int32_t current = 0, start = 0, end = 0;
};

struct Chunk {
    std::string tag;  // four characters
    Bytes data;
};

struct Map {
    bool littleEndian = true;  // byte-order flag 1, else 0
    uint8_t headerKind = 0;    // "MPHD" byte 0; the loader accepts only 0
    int width = 0, height = 0, tileWidth = 16, tileHeight = 16, depth = 16, blockRecordSize = 32;
    int blockCount = -1, graphicCount = -1;  // -1: blocks.size() / graphics.size()
    Bytes colourMap;                         // "CMAP" written when non-empty
    std::vector<Block> blocks;               // "BKDT" written when non-empty (or writeEmptyBlocks)
    bool writeEmptyBlocks = false;
    std::vector<int32_t> frames;             // frame list, block indices (written as 32 * index)
    std::vector<Anim> anims;                 // "ANDT" written when frames or anims non-empty
    std::vector<Bytes> graphics;             // stored pixel bytes of each graphic, file layout
    std::optional<std::vector<int32_t>> layers[8];  // cell values (>= 0 block, -(n + 1) anim n)
    std::vector<Chunk> extraChunks;          // appended after the known chunks
};

// ---- Whole maps ----

// "MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR1".."LYR7" (those that
// apply, in that order), then map.extraChunks.
std::vector<Chunk> buildChunks(const Map& map);
// "FORM", big-endian length, "FMAP", the chunks back to back (no padding).
Bytes buildForm(const std::vector<Chunk>& chunks);
// buildForm(buildChunks(map)).
Bytes buildImage(const Map& map);
// Writes the bytes to path; false when the file cannot be written.
bool saveFile(const std::string& path, const Bytes& bytes);

// Bytes of one tile graphic of the map: tileWidth * tileHeight * ((depth + 1) / 8).
int64_t graphicSize(const Map& map);
// The stored 16-bit form of a cell value: 32 * block or 16 * value for animations.
uint16_t storedCell(int32_t cellValue);
// The cell values a stored cell can hold: blocks 0 to 1023 (32 x 1023 is
// 0x7FE0) and animations 0 to 2047 (-16 x 2048 is -0x8000).
const int largestCellBlock = 1023;
const int cellAnimationCount = 2048;

// ---- Single chunks ----

Chunk makeChunk(const std::string& tag, const Bytes& data);
Chunk buildHeaderChunk(const Map& map);  // "MPHD", 24 bytes
Chunk buildBlockChunk(const Map& map);   // "BKDT"
Chunk buildAnimChunk(const Map& map);    // "ANDT"
Chunk buildLayerChunk(const Map& map, int layer);  // "BODY" or "LYRn" from map.layers[layer]
// Tag of layer 0..7: "BODY", "LYR1".."LYR7".
std::string layerTag(int layer);
// First chunk with this tag, or nullptr.
Chunk* findChunk(std::vector<Chunk>& chunks, const std::string& tag);
// Byte offset in a form image of the first chunk with this tag, or -1
// (64 bits, as tmapErrorOffset).
int64_t chunkOffset(const Bytes& image, const std::string& tag);

// One chunk of a form image as the library's chunk walk meets it.
struct ChunkEntry {
    std::string tag;        // the four tag bytes as stored
    int64_t offset = 0;     // of the tag, from the start of the file
    uint32_t length = 0;    // data bytes
    bool known = false;     // a tag the library decodes; others are skipped
    bool truncated = false; // the data runs past the end of the file
};

// The chunks of a map file's bytes in the order the library walks them: from
// offset 12 while the form's remaining byte count (signed) is above 0. Stops
// at the end of the bytes; bytes that are no form yield none.
std::vector<ChunkEntry> listChunks(const Bytes& file);

// ---- Numbers ----
// "little" selects the map's byte order; lengths use the BE forms.

void appendBE32(Bytes& out, uint32_t value);
void setBE32(Bytes& out, size_t offset, uint32_t value);
void append16(Bytes& out, uint16_t value, bool little);
void append32(Bytes& out, uint32_t value, bool little);
void set16(Bytes& out, size_t offset, uint16_t value, bool little);
void set32(Bytes& out, size_t offset, uint32_t value, bool little);

// ---- Pixels, in stored byte order ----

void put8(Bytes& out, uint8_t index);                          // colour map index, 0 transparent
void put15(Bytes& out, uint8_t r, uint8_t g, uint8_t b);       // 0rrrrrgg gggbbbbb
void put16(Bytes& out, uint8_t r, uint8_t g, uint8_t b);       // rrrrrggg gggbbbbb
void put24(Bytes& out, uint8_t r, uint8_t g, uint8_t b);
void put32(Bytes& out, uint8_t a, uint8_t r, uint8_t g, uint8_t b);
// Depth 15, 16, 24 or 32. Those without alpha have a colour key instead:
// a pixel with a == 0 is written as magenta (255, 0, 255), which loads as
// transparent. Other depths write nothing.
void putPixel(Bytes& out, int depth, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);

// True when a colour written at depth 15, 16 or 24 is stored as the colour
// key, so that it loads transparent: magenta once the loader has widened
// the stored channels back to 8 bits.
bool isColourKey(int depth, uint8_t r, uint8_t g, uint8_t b);
// Keeps an opaque colour from loading as the colour key: one that would be
// stored as the key gets the smallest green that is stored differently
// (the nearest colour that is not the key); any other colour, and every
// colour at depths without a key, is left as it is. Returns true when the
// colour moved.
bool moveOffColourKey(int depth, uint8_t r, uint8_t& g, uint8_t b);

}  // namespace tmapwriter

#endif
