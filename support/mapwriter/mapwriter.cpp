// Encodes a Map description into the bytes of a map file.
#include "mapwriter.h"

#include <algorithm> // std::find for the known tags
#include <cstdio>    // fopen, fwrite, fclose for saveFile
#include <cstring>   // memcmp for the form's first tag

namespace tmapwriter {

// ---- Numbers ----

void appendBE32(Bytes& out, uint32_t value) {
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void setBE32(Bytes& out, size_t offset, uint32_t value) {
    out.at(offset) = uint8_t(value >> 24);
    out.at(offset + 1) = uint8_t(value >> 16);
    out.at(offset + 2) = uint8_t(value >> 8);
    out.at(offset + 3) = uint8_t(value);
}

void set16(Bytes& out, size_t offset, uint16_t value, bool little) {
    uint8_t low = uint8_t(value), high = uint8_t(value >> 8);
    out.at(offset) = little ? low : high;
    out.at(offset + 1) = little ? high : low;
}

void set32(Bytes& out, size_t offset, uint32_t value, bool little) {
    set16(out, offset + (little ? 0 : 2), uint16_t(value), little);
    set16(out, offset + (little ? 2 : 0), uint16_t(value >> 16), little);
}

void append16(Bytes& out, uint16_t value, bool little) {
    out.resize(out.size() + 2);
    set16(out, out.size() - 2, value, little);
}

void append32(Bytes& out, uint32_t value, bool little) {
    out.resize(out.size() + 4);
    set32(out, out.size() - 4, value, little);
}

// ---- Pixels ----

void put8(Bytes& out, uint8_t index) { out.push_back(index); }

void put15(Bytes& out, uint8_t r, uint8_t g, uint8_t b) {
    unsigned r5 = r >> 3, g5 = g >> 3, b5 = b >> 3;
    out.push_back(uint8_t((r5 << 2) | (g5 >> 3)));
    out.push_back(uint8_t(((g5 & 7) << 5) | b5));
}

void put16(Bytes& out, uint8_t r, uint8_t g, uint8_t b) {
    unsigned r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
    out.push_back(uint8_t((r5 << 3) | (g6 >> 3)));
    out.push_back(uint8_t(((g6 & 7) << 5) | b5));
}

void put24(Bytes& out, uint8_t r, uint8_t g, uint8_t b) {
    out.push_back(r);
    out.push_back(g);
    out.push_back(b);
}

void put32(Bytes& out, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    out.push_back(a);
    put24(out, r, g, b);
}

void putPixel(Bytes& out, int depth, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (depth != 32 && a == 0) {
        r = 255;
        g = 0;
        b = 255;
    }
    switch (depth) {
    case 15: put15(out, r, g, b); break;
    case 16: put16(out, r, g, b); break;
    case 24: put24(out, r, g, b); break;
    case 32: put32(out, a, r, g, b); break;
    default: break;
    }
}

bool isColourKey(int depth, uint8_t r, uint8_t g, uint8_t b) {
    switch (depth) {
    case 15: return r >> 3 == 31 && g >> 3 == 0 && b >> 3 == 31;
    case 16: return r >> 3 == 31 && g >> 2 == 0 && b >> 3 == 31;
    case 24: return r == 255 && g == 0 && b == 255;
    default: return false;
    }
}

bool moveOffColourKey(int depth, uint8_t r, uint8_t& g, uint8_t b) {
    if (!isColourKey(depth, r, g, b)) return false;
    // One step of the stored green: 8 of 5 bits, 4 of 6 bits, 1 of 8 bits.
    g = depth == 15 ? 8 : depth == 16 ? 4 : 1;
    return true;
}

// ---- Chunks ----

int64_t graphicSize(const Map& map) {
    // Two 16-bit header values and a byte count: more than 32 bits.
    return int64_t(map.tileWidth) * map.tileHeight * ((map.depth + 1) / 8);
}

uint16_t storedCell(int32_t cellValue) {
    // Both forms are byte distances: 32-byte block records, 16-byte animation
    // records counted back from the end of "ANDT".
    return uint16_t(cellValue >= 0 ? uint32_t(cellValue) * 32u : uint32_t(cellValue) * 16u);
}

std::string layerTag(int layer) { return layer == 0 ? "BODY" : "LYR" + std::to_string(layer); }

Chunk makeChunk(const std::string& tag, const Bytes& data) { return Chunk{tag, data}; }

Chunk* findChunk(std::vector<Chunk>& chunks, const std::string& tag) {
    for (Chunk& chunk : chunks)
        if (chunk.tag == tag) return &chunk;
    return nullptr;
}

static int countOr(int declared, size_t actual) { return declared >= 0 ? declared : int(actual); }

Chunk buildHeaderChunk(const Map& map) {
    const bool little = map.littleEndian;
    Bytes data = {map.headerKind, 0, uint8_t(little ? 1 : 0), 0};
    append16(data, uint16_t(map.width), little);
    append16(data, uint16_t(map.height), little);
    append32(data, 0, little);  // not read by the loader
    for (int value : {map.tileWidth, map.tileHeight, map.depth, map.blockRecordSize,
                      countOr(map.blockCount, map.blocks.size()),
                      countOr(map.graphicCount, map.graphics.size())})
        append16(data, uint16_t(value), little);
    return makeChunk("MPHD", data);
}

Chunk buildBlockChunk(const Map& map) {
    const bool little = map.littleEndian;
    const int64_t size = graphicSize(map);
    Bytes data;
    for (const Block& block : map.blocks) {
        Bytes record;
        // The file holds 32 bits of each offset, whatever the product needs.
        for (int32_t graphic : block.graphic)
            append32(record, uint32_t(uint64_t(int64_t(graphic)) * uint64_t(size)), little);
        append32(record, block.userLong1, little);
        append32(record, block.userLong2, little);
        append16(record, block.userShort1, little);
        append16(record, block.userShort2, little);
        record.insert(record.end(), {block.userByte1, block.userByte2, block.userByte3, block.flags});
        // Records longer than 32 bytes carry zeros; shorter ones are cut.
        record.resize(size_t(map.blockRecordSize > 0 ? map.blockRecordSize : 0), 0);
        data.insert(data.end(), record.begin(), record.end());
    }
    return makeChunk("BKDT", data);
}

Chunk buildAnimChunk(const Map& map) {
    const bool little = map.littleEndian;
    const int32_t length = int32_t(map.frames.size() * 4 + 16 + map.anims.size() * 16);
    Bytes data;
    for (int32_t block : map.frames) append32(data, uint32_t(block) * 32u, little);
    data.push_back(0xFF);  // the list-end record
    data.resize(data.size() + 15, 0);
    // Records are stored backward: animation 0 takes the last 16 bytes.
    for (size_t n = map.anims.size(); n-- > 0;) {
        const Anim& anim = map.anims[n];
        data.insert(data.end(), {anim.mode, anim.delay, anim.countdown, anim.user});
        for (int32_t index : {anim.current, anim.start, anim.end})
            append32(data, uint32_t(4 * index - length), little);
    }
    return makeChunk("ANDT", data);
}

Chunk buildLayerChunk(const Map& map, int layer) {
    Bytes data;
    if (map.layers[layer])
        for (int32_t cell : *map.layers[layer]) append16(data, storedCell(cell), map.littleEndian);
    return makeChunk(layerTag(layer), data);
}

std::vector<Chunk> buildChunks(const Map& map) {
    std::vector<Chunk> chunks{buildHeaderChunk(map)};
    if (!map.colourMap.empty()) chunks.push_back(makeChunk("CMAP", map.colourMap));
    if (!map.blocks.empty() || map.writeEmptyBlocks) chunks.push_back(buildBlockChunk(map));
    if (!map.frames.empty() || !map.anims.empty()) chunks.push_back(buildAnimChunk(map));
    if (!map.graphics.empty()) {
        Bytes pixels;
        for (const Bytes& graphic : map.graphics) pixels.insert(pixels.end(), graphic.begin(), graphic.end());
        chunks.push_back(makeChunk("BGFX", pixels));
    }
    for (int layer = 0; layer < 8; ++layer)
        if (map.layers[layer]) chunks.push_back(buildLayerChunk(map, layer));
    chunks.insert(chunks.end(), map.extraChunks.begin(), map.extraChunks.end());
    return chunks;
}

Bytes buildForm(const std::vector<Chunk>& chunks) {
    Bytes form = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'F', 'M', 'A', 'P'};
    for (const Chunk& chunk : chunks) {
        Bytes tag(chunk.tag.begin(), chunk.tag.end());
        tag.resize(4, ' ');
        form.insert(form.end(), tag.begin(), tag.end());
        appendBE32(form, uint32_t(chunk.data.size()));
        form.insert(form.end(), chunk.data.begin(), chunk.data.end());
    }
    setBE32(form, 4, uint32_t(form.size() - 8));
    return form;
}

Bytes buildImage(const Map& map) { return buildForm(buildChunks(map)); }

bool saveFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::vector<ChunkEntry> listChunks(const Bytes& file) {
    static const char* const knownTags[] = {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR1",
                                            "LYR2", "LYR3", "LYR4", "LYR5", "LYR6", "LYR7"};
    const auto bigEndian32 = [&file](size_t at) {
        return (uint32_t(file[at]) << 24) | (uint32_t(file[at + 1]) << 16) | (uint32_t(file[at + 2]) << 8)
             | uint32_t(file[at + 3]);
    };
    std::vector<ChunkEntry> chunks;
    if (file.size() < 12 || std::memcmp(file.data(), "FORM", 4) != 0)
        return chunks;
    int64_t remaining = int32_t(bigEndian32(4) - 4u);
    size_t at = 12;
    while (remaining > 0 && at + 8 <= file.size()) {
        ChunkEntry chunk;
        chunk.tag.assign(reinterpret_cast<const char*>(&file[at]), 4);
        chunk.offset = int64_t(at);
        chunk.length = bigEndian32(at + 4);
        chunk.known = std::find(std::begin(knownTags), std::end(knownTags), chunk.tag) != std::end(knownTags);
        chunk.truncated = uint64_t(at) + 8 + chunk.length > file.size();
        chunks.push_back(chunk);
        if (chunk.truncated)
            break;
        remaining = int32_t(uint32_t(remaining) - 8u - chunk.length);
        at += 8 + size_t(chunk.length);
    }
    return chunks;
}

int64_t chunkOffset(const Bytes& image, const std::string& tag) {
    size_t at = 12;
    while (at + 8 <= image.size()) {
        if (std::string(reinterpret_cast<const char*>(&image[at]), 4) == tag)
            return int64_t(at);
        uint32_t length = (uint32_t(image[at + 4]) << 24) | (uint32_t(image[at + 5]) << 16)
                        | (uint32_t(image[at + 6]) << 8) | image[at + 7];
        at += 8 + size_t(length);
    }
    return -1;
}

}  // namespace tmapwriter
