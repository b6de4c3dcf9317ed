// Writes the fuzz seeds (small valid maps of every kind) and the hand-made
// malformed maps replayed by the corpus test:
//   tmap_make_corpus SEED_DIR MALFORMED_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "mapwriter.h"

using namespace tmapwriter;

namespace {

Bytes solid(int depth, int pixels, uint8_t value) {
    Bytes out;
    for (int i = 0; i < pixels; ++i) {
        if (depth == 8)
            put8(out, value);
        else
            putPixel(out, depth, value, uint8_t(255 - value), uint8_t(value * 3), value < 128 ? 255 : 0);
    }
    return out;
}

// A 4 x 3 map with a column of two stacked blocks, mirrored caps, one
// animation of the given mode and two layers.
Map smallMap(int depth, bool little, uint8_t mode) {
    Map m;
    m.littleEndian = little;
    m.width = 4;
    m.height = 3;
    m.tileWidth = 2;
    m.tileHeight = 2;
    m.depth = depth;
    if (depth == 8)
        for (int i = 0; i < 256; ++i) m.colourMap.insert(m.colourMap.end(), {uint8_t(i), uint8_t(i / 2), 7});
    for (int g = 0; g < 4; ++g) m.graphics.push_back(solid(depth, 4, uint8_t(40 * g)));
    Block ground;
    ground.graphic[0] = 1;
    Block stacked;
    stacked.graphic[0] = stacked.graphic[1] = stacked.graphic[2] = stacked.graphic[3] = 2;
    stacked.flags = 0x20;
    Block cap;
    cap.graphic[0] = 3;
    cap.graphic[1] = 1;
    cap.flags = 0xC0;
    Block mirrored;
    mirrored.graphic[0] = 2;
    mirrored.flags = 0x40;
    m.blocks = {ground, stacked, stacked, cap, mirrored};
    m.frames = {0, 4, 1};
    Anim a;
    a.mode = mode;
    a.delay = 1;
    a.start = 0;
    a.current = 1;
    a.end = 3;
    m.anims = {a};
    m.layers[0] = std::vector<int32_t>{0, 1, 4, -1, 0, 0, 3, 0, 4, 1, 0, -1};
    m.layers[2] = std::vector<int32_t>{1, 1, 0, 0, 4, 3, 0, -1, 0, 0, 0, 1};
    return m;
}

bool save(const std::string& dir, const std::string& name, const Bytes& bytes) {
    std::string path = dir + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

size_t indexOf(const std::vector<Chunk>& chunks, const std::string& tag) {
    for (size_t i = 0; i < chunks.size(); ++i)
        if (chunks[i].tag == tag) return i;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SEED_DIR MALFORMED_DIR\n", argv[0]);
        return 2;
    }
    const std::string seeds = argv[1];
    const std::string malformed = argv[2];
    bool ok = true;

    const int depths[] = {8, 15, 16, 24, 32};
    for (int d = 0; d < 5; ++d) {
        for (bool little : {true, false}) {
            uint8_t mode = uint8_t(1 + (2 * d + (little ? 0 : 1)) % 9); // modes 1..9 over the ten seeds
            ok &= save(seeds, "seed-d" + std::to_string(depths[d]) + (little ? "-le" : "-be") + ".fmp",
                       buildImage(smallMap(depths[d], little, mode)));
        }
    }
    {
        auto chunks = buildChunks(smallMap(16, true, 5));
        chunks.insert(chunks.begin() + 1, makeChunk("EDIT", Bytes{1, 2, 3}));
        chunks.push_back(makeChunk("LYR7", Bytes(24, 0)));
        ok &= save(seeds, "seed-odd-chunks.fmp", buildForm(chunks));
    }

    // Each malformed map breaks one rule of the format.
    auto base = [] { return buildChunks(smallMap(16, true, 1)); };
    auto put = [&](const std::string& name, const Bytes& bytes) { ok &= save(malformed, "malformed-" + name, bytes); };
    {
        auto chunks = base();
        Bytes image = buildForm(chunks);
        size_t last = 12;
        for (size_t i = 0; i + 1 < chunks.size(); ++i) last += 8 + chunks[i].data.size();
        setBE32(image, last + 4, 0x7FFFFFF0u);
        put("chunk-past-form", image);
    }
    {
        auto chunks = base();
        chunks[0].data.resize(10);
        put("short-header", buildForm(chunks));
    }
    {
        auto chunks = base();
        chunks[indexOf(chunks, "BKDT")].data.resize(40);
        put("short-blocks", buildForm(chunks));
    }
    {
        auto chunks = base();
        chunks[indexOf(chunks, "BGFX")].data.resize(7);
        put("short-graphics", buildForm(chunks));
    }
    {
        auto chunks = base();
        chunks[indexOf(chunks, "LYR2")].data.resize(5);
        put("short-layer", buildForm(chunks));
    }
    {
        auto chunks = base();
        chunks[indexOf(chunks, "ANDT")].data.assign(48, 0x11);
        put("anims-without-list-end", buildForm(chunks));
        chunks[indexOf(chunks, "ANDT")].data.assign(7, 0xFF);
        put("anims-shorter-than-a-slot", buildForm(chunks));
    }
    put("form-claims-4gib", Bytes{'F', 'O', 'R', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 'F', 'M', 'A', 'P'});
    put("form-negative-length", Bytes{'F', 'O', 'R', 'M', 0x80, 0, 0, 4, 'F', 'M', 'A', 'P'});
    put("empty-form", buildForm({}));
    put("seven-bytes", Bytes{'F', 'O', 'R', 'M', 0, 0, 0});
    {
        auto chunks = base();
        std::swap(chunks[0], chunks[indexOf(chunks, "BODY")]);
        put("layer-before-header", buildForm(chunks));
    }
    {
        Map m = smallMap(8, false, 2);
        auto chunks = buildChunks(m);
        chunks.erase(chunks.begin() + long(indexOf(chunks, "CMAP")));
        put("8bit-without-colour-map", buildForm(chunks));
    }
    {
        auto chunks = base();
        for (const char* tag : {"BKDT", "ANDT", "BGFX", "BODY"}) chunks.push_back(chunks[indexOf(chunks, tag)]);
        put("repeated-chunks", buildForm(chunks));
        chunks.push_back(chunks[0]);
        put("second-header", buildForm(chunks));
    }
    {
        Map m = smallMap(24, true, 4);
        m.anims[0].end = 9;
        put("anim-past-frames", buildImage(m));
    }
    {
        Map m = smallMap(16, true, 1);
        m.tileWidth = 0;
        put("tile-width-zero", buildImage(m));
        m = smallMap(16, true, 1);
        m.depth = 4;
        put("depth-4", buildImage(m));
        m = smallMap(16, true, 1);
        m.blockRecordSize = 16;
        put("block-records-of-16", buildImage(m));
    }
    {
        // A header claiming a huge map over layers holding a few cells.
        auto chunks = base();
        set16(chunks[0].data, 4, 0xFFFF, true);
        set16(chunks[0].data, 6, 0xFFFF, true);
        put("huge-header-small-layers", buildForm(chunks));
    }
    {
        Bytes image = buildForm(base());
        image.resize(image.size() - 3); // form cut inside its last chunk
        put("cut-short", image);
        Bytes trailing = buildForm(base());
        trailing.insert(trailing.end(), 100, 0xEE);
        put("bytes-after-form", trailing);
    }
    {
        // Cells naming blocks, animations and frames that do not exist.
        Map m = smallMap(32, true, 1);
        m.layers[0] = std::vector<int32_t>{1023, -2, -1000, 5, 0, 0, 0, 0, 0, 0, 0, 0};
        m.frames = {0, 60, -3};
        put("cells-naming-nothing", buildImage(m));
        // A column whose last record claims another on top of it.
        m = smallMap(32, true, 1);
        m.blocks.back().flags = 0x20;
        put("last-record-stacked", buildImage(m));
    }
    if (!ok) {
        std::fprintf(stderr, "could not write every file\n");
        return 1;
    }
    return 0;
}
