#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace support {

int load(const Bytes& image, int firstTexture) {
    tmapError = 0;
    return tmapDecodeBuffer(image.data(), image.size(), firstTexture);
}

int load(const Map& map, int firstTexture) { return load(tmapwriter::buildImage(map), firstTexture); }

Bytes solidGraphic(int depth, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    Bytes out;
    for (int i = 0; i < w * h; ++i) {
        if (depth == 8)
            tmapwriter::put8(out, r);
        else
            tmapwriter::putPixel(out, depth, r, g, b);
    }
    return out;
}

Map sampleMap(int depth, bool littleEndian) {
    Map m;
    m.littleEndian = littleEndian;
    m.width = 3;
    m.height = 2;
    m.tileWidth = 2;
    m.tileHeight = 2;
    m.depth = depth;
    if (depth == 8) {
        for (int i = 0; i < 256; ++i) {
            m.colourMap.push_back(uint8_t(i));
            m.colourMap.push_back(uint8_t(255 - i));
            m.colourMap.push_back(uint8_t(i * 7));
        }
    }
    // At depth 8 the "red" value is the colour map index.
    m.graphics = {solidGraphic(depth, 2, 2, 10, 20, 30), solidGraphic(depth, 2, 2, 40, 50, 60),
                  solidGraphic(depth, 2, 2, 200, 100, 0)};
    tmapwriter::Block b0;
    tmapwriter::Block b1;
    b1.graphic[0] = 1;
    b1.graphic[1] = 2;
    b1.graphic[3] = 1;
    b1.userLong1 = 0x12345678u;
    b1.userLong2 = 0xFFFFFFFEu;
    b1.userShort1 = 0xABCD;
    b1.userShort2 = 7;
    b1.userByte1 = 1;
    b1.userByte2 = 2;
    b1.userByte3 = 0xFF;
    b1.flags = 0xA5;
    tmapwriter::Block b2;
    b2.graphic[0] = 2;
    b2.graphic[2] = 2;
    b2.flags = 0x40;
    tmapwriter::Block b3;
    b3.graphic[0] = 1;
    b3.graphic[1] = 1;
    b3.flags = 0x80;
    m.blocks = {b0, b1, b2, b3};
    m.frames = {1, 2, 3};
    tmapwriter::Anim a0;
    a0.mode = 1;
    a0.delay = 2;
    a0.countdown = 1;
    a0.user = 9;
    a0.current = 1;
    a0.start = 0;
    a0.end = 3;
    tmapwriter::Anim a1;
    a1.mode = 6;
    a1.delay = 0;
    a1.countdown = 0;
    a1.user = 200;
    a1.current = 2;
    a1.start = 1;
    a1.end = 3;
    m.anims = {a0, a1};
    m.layers[0] = std::vector<int32_t>{0, 1, 2, -1, -2, 3};
    m.layers[1] = std::vector<int32_t>{3, 2, 1, 0, 1, 2};
    m.layers[3] = std::vector<int32_t>{1023, 0, -1, 2, 2, 2};
    return m;
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const char* folder : {TILVOGL_CORPUS_DIR, TILVOGL_SEED_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            if (entry.path().extension() == ".md") continue;
            files.push_back(entry.path().string());
        }
    std::sort(files.begin(), files.end());
    return files;
}

std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "tilvogl_" + info->test_suite_name() + "_" + info->name() + "_" + name;
}

size_t chunkOffset(const std::vector<tmapwriter::Chunk>& chunks, size_t index) {
    size_t offset = 12;
    for (size_t i = 0; i < index; ++i) offset += 8 + chunks[i].data.size();
    return offset;
}

Model snapshot() {
    Model m;
    m.width = tmapWidth;
    m.height = tmapHeight;
    m.tileWidth = tmapTileWidth;
    m.tileHeight = tmapTileHeight;
    m.depth = tmapDepth;
    m.blockRecordSize = tmapBlockRecordSize;
    m.blockCount = tmapBlockCount;
    m.graphicCount = tmapGraphicCount;
    m.firstTexture = tmapFirstTexture;
    if (tmapColourMap) m.colourMap.assign(tmapColourMap, tmapColourMap + tmapColourMapSize);
    if (tmapBlocks) m.blocks.assign(tmapBlocks, tmapBlocks + tmapBlockCount);
    if (tmapAnims) m.anims.assign(tmapAnims, tmapAnims + tmapAnimCount);
    if (tmapAnimFrames) m.frames.assign(tmapAnimFrames, tmapAnimFrames + tmapAnimFrameCount);
    m.currentLayer = -1;
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k) {
        std::vector<int32_t> cells;
        if (tmapLayers[k]) cells.assign(tmapLayers[k], tmapLayers[k] + size_t(tmapWidth) * size_t(tmapHeight));
        m.layers.push_back(cells);
        if (tmapLayers[k] && tmapLayers[k] == tmapCurrentLayer) m.currentLayer = k;
    }
    for (const gldouble::Call& c : gldouble::callsNamed("glTexImage2D")) m.textures.push_back(c.bytes);
    return m;
}

bool noMap() {
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k)
        if (tmapLayers[k] || tmapLayerRows[k]) return false;
    return !tmapColourMap && !tmapBlocks && !tmapAnims && !tmapAnimFrames && !tmapCurrentLayer &&
           !tmapCurrentRows && tmapAnimCount == 0;
}

bool operator==(const Model& a, const Model& b) {
    return a.width == b.width && a.height == b.height && a.tileWidth == b.tileWidth &&
           a.tileHeight == b.tileHeight && a.depth == b.depth && a.blockRecordSize == b.blockRecordSize &&
           a.blockCount == b.blockCount && a.graphicCount == b.graphicCount &&
           a.firstTexture == b.firstTexture && a.colourMap == b.colourMap && a.blocks == b.blocks &&
           a.anims == b.anims && a.frames == b.frames && a.layers == b.layers &&
           a.currentLayer == b.currentLayer && a.textures == b.textures;
}

} // namespace support

bool operator==(const TmapBlock& a, const TmapBlock& b) {
    return a.graphic1 == b.graphic1 && a.graphic2 == b.graphic2 && a.graphic3 == b.graphic3 &&
           a.graphic4 == b.graphic4 && a.userLong1 == b.userLong1 && a.userLong2 == b.userLong2 &&
           a.userShort1 == b.userShort1 && a.userShort2 == b.userShort2 && a.userByte1 == b.userByte1 &&
           a.userByte2 == b.userByte2 && a.userByte3 == b.userByte3 && a.flags == b.flags;
}

bool operator==(const TmapAnim& a, const TmapAnim& b) {
    return a.mode == b.mode && a.delay == b.delay && a.countdown == b.countdown && a.user == b.user &&
           a.current == b.current && a.start == b.start && a.end == b.end;
}

std::ostream& operator<<(std::ostream& out, const TmapBlock& b) {
    return out << "{g " << b.graphic1 << "," << b.graphic2 << "," << b.graphic3 << "," << b.graphic4
               << " flags " << int(b.flags) << "}";
}

std::ostream& operator<<(std::ostream& out, const TmapAnim& a) {
    return out << "{mode " << a.mode << " delay " << a.delay << " countdown " << a.countdown << " current "
               << a.current << " start " << a.start << " end " << a.end << "}";
}

void LibraryTest::SetUp() {
    tmapFailAllocationAt = 0;
    tmapRelease();
    tmapError = 0;
    gldouble::setRecording(true);
    gldouble::reset();
}

void LibraryTest::TearDown() {
    tmapFailAllocationAt = 0;
    tmapRelease();
}
