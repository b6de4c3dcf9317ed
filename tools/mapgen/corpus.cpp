// Seed files for fuzzing the loader: small maps that between them reach
// every chunk decoder, every depth and byte order, every animation mode,
// stacked columns, and the odd corners of the container (unknown and
// odd-length chunks, repeated chunks, short or lying lengths).
#include <string>

#include "art.h"
#include "mapgen.h"

namespace tmapgen {
namespace {

using tmapwriter::Bytes;
using tmapwriter::Map;

constexpr uint32_t kSeed = 0xC0FFEE00u;

// A small map with a bit of everything; variant picks sizes and contents.
Map smallMap(int depth, bool little, int variant) {
    Map map;
    map.littleEndian = little;
    map.depth = depth;
    map.width = 2 + variant % 4;
    map.height = 1 + variant % 3;
    map.tileWidth = 1 + variant % 5;
    map.tileHeight = 1 + (variant + 2) % 4;
    map.blockRecordSize = variant % 3 == 2 ? 36 : 32;
    if (depth == 8)
        for (int i = 0; i < 256; ++i)
            map.colourMap.insert(map.colourMap.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    MapBuilder build(map);
    const int graphics = 2 + variant % 3;
    for (int g = 0; g < graphics; ++g) {
        Image image(map.tileWidth, map.tileHeight);
        for (int y = 0; y < map.tileHeight; ++y)
            for (int x = 0; x < map.tileWidth; ++x) {
                uint32_t h = hash(x + g * 16, y, kSeed + uint32_t(variant));
                image.at(x, y) = {float(h & 255) / 255, float((h >> 8) & 255) / 255, float((h >> 16) & 255) / 255,
                                  (h >> 24) % 4 == 0 ? 0.0f : float((h >> 24) | 128) / 255};
            }
        map.graphics.push_back(build.encode(image));  // no sharing: keep the count
    }
    // Block 0 stacks on block 1, which closes its column.
    for (int k = 0; k < 4; ++k) {
        tmapwriter::Block block;
        for (int i = 0; i < 4; ++i) block.graphic[i] = (k + i + variant) % graphics;
        block.flags = uint8_t(k == 0 ? 0x20 : (k * 0x40) & 0xC0);
        block.userLong1 = hash(k, 0, kSeed);
        block.userByte2 = uint8_t(k);
        map.blocks.push_back(block);
    }
    map.frames = {0, 1, 2, 3, 2};
    uint8_t mode = uint8_t(variant % 11);
    map.anims.push_back({mode == 10 ? uint8_t(200) : mode, uint8_t(variant % 4), 1, 0, 1, 0, 4});
    map.anims.push_back({5, 0, 0, 0, 2, 2, 3});
    const int cells = map.width * map.height;
    for (int layer : {0, variant % 7 + 1}) {
        std::vector<int32_t> values(static_cast<size_t>(cells));
        for (int i = 0; i < cells; ++i) values[size_t(i)] = int32_t(hash(i, layer, kSeed + 1) % 6) - 2;
        map.layers[layer] = values;
    }
    return map;
}

}  // namespace

std::vector<CorpusFile> makeCorpus() {
    std::vector<CorpusFile> corpus;
    auto add = [&](const std::string& name, const Bytes& image) { corpus.push_back({name + ".fmp", image}); };

    int variant = 0;
    for (int depth : {8, 15, 16, 24, 32})
        for (bool little : {true, false})
            for (int i = 0; i < 2; ++i, ++variant)
                add("map-d" + std::to_string(depth) + (little ? "-le-" : "-be-") + std::to_string(i),
                    tmapwriter::buildImage(smallMap(depth, little, variant)));
    // Every animation mode, each in its own map.
    for (int mode = 0; mode <= 10; ++mode) {
        Map map = smallMap(16, mode % 2 == 0, 3);
        map.anims[0].mode = uint8_t(mode == 10 ? 254 : mode);
        add("anim-mode-" + std::to_string(mode), tmapwriter::buildImage(map));
    }

    Map base = smallMap(16, true, 5);
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(base);
    {
        auto odd = chunks;
        odd.insert(odd.begin() + 1, tmapwriter::makeChunk("EDIT", Bytes{1, 2, 3}));
        odd.push_back(tmapwriter::makeChunk("ATRB", Bytes(5, 0xFF)));
        add("odd-unknown-chunks", tmapwriter::buildForm(odd));
    }
    {
        auto repeated = chunks;
        repeated.push_back(chunks[0]);
        repeated.insert(repeated.end(), chunks.begin() + 1, chunks.end());
        add("repeated-chunks", tmapwriter::buildForm(repeated));
    }
    {
        std::vector<tmapwriter::Chunk> reversed(chunks.rbegin(), chunks.rend());
        add("reversed-chunks", tmapwriter::buildForm(reversed));
    }
    Bytes whole = tmapwriter::buildImage(base);
    add("truncated-half", Bytes(whole.begin(), whole.begin() + long(whole.size() / 2)));
    {
        Bytes lying = whole;
        tmapwriter::setBE32(lying, 4, uint32_t(whole.size()) * 2);
        add("form-length-too-long", lying);
        tmapwriter::setBE32(lying, 4, 4);
        add("form-length-four", lying);
    }
    {
        Bytes longChunk = whole;
        tmapwriter::setBE32(longChunk, 16, 0x7FFFFFF0u);  // the header chunk's length
        add("chunk-length-huge", longChunk);
    }
    {
        Map empty;
        add("header-only", tmapwriter::buildImage(empty));
        Map noAnims = base;
        noAnims.anims.clear();
        add("anim-end-record-only", tmapwriter::buildImage(noAnims));
        Map deep = base;
        deep.depth = 12;  // no pixel layout
        add("depth-unknown", tmapwriter::buildImage(deep));
    }
    return corpus;
}

}  // namespace tmapgen
