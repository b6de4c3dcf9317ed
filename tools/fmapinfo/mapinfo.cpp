#include "mapinfo.h"

#include <cinttypes> // PRId64: counts and offsets of 64 bits, also where a long has 32
#include <cstdio>

#include "jsonstream.h"
#include "loadmessage.h"
#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

namespace tmapinfo {

namespace {

const char* layerTag(int layer)
{
    static const char* const tags[TMAP_LAYER_COUNT] = {"BODY", "LYR1", "LYR2", "LYR3",
                                                       "LYR4", "LYR5", "LYR6", "LYR7"};
    return tags[layer];
}

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// Block records the map holds: the header may count records that no
// "BKDT" chunk brought.
int blockRecords() { return tmapBlocks != nullptr ? tmapBlockCount : 0; }

} // namespace

LayerStats layerStats(int layer)
{
    LayerStats stats;
    const int32_t* cells = tmapLayers[layer];
    if (cells == nullptr)
        return stats;
    stats.present = true;
    const size_t records = size_t(blockRecords());
    std::vector<bool> seen(records, false);
    size_t count = size_t(tmapWidth) * size_t(tmapHeight);
    for (size_t i = 0; i < count; ++i) {
        int32_t value = cells[i];
        if (value < 0) {
            if (-int64_t(value) - 1 < tmapAnimCount)
                ++stats.animatedCells;
            else
                ++stats.cellsNamingNothing;
        } else if (size_t(value) >= records) {
            ++stats.cellsNamingNothing;
        } else if (!seen[size_t(value)]) {
            seen[size_t(value)] = true;
            ++stats.distinctBlocks;
        }
    }
    return stats;
}

void writeTextReport(std::FILE* out, const std::string& path, const std::vector<uint8_t>& file)
{
    std::fprintf(out, "file: %s (%zu bytes)\n", path.c_str(), file.size());
    std::fputs("header:\n", out);
    std::fprintf(out, "  width: %d cells\n  height: %d cells\n", tmapWidth, tmapHeight);
    std::fprintf(out, "  tile width: %d pixels\n  tile height: %d pixels\n", tmapTileWidth, tmapTileHeight);
    std::fprintf(out, "  depth: %d bits\n", tmapDepth);
    std::fprintf(out, "  block record size: %d bytes\n", tmapBlockRecordSize);
    if (blockRecords() == tmapBlockCount)
        std::fprintf(out, "  block count: %d\n", tmapBlockCount);
    else
        std::fprintf(out, "  block count: %d in the header, %d records\n", tmapBlockCount, blockRecords());
    std::fprintf(out, "  graphic count: %d\n", tmapGraphicCount);
    std::fprintf(out, "  byte order: %s\n", tmapLittleEndian ? "little-endian" : "big-endian");
    std::fprintf(out, "colour map: %d bytes\n", tmapColourMapSize);

    std::vector<tmapwriter::ChunkEntry> chunks = tmapwriter::listChunks(file);
    std::fprintf(out, "chunks: %zu\n", chunks.size());
    std::fputs("  tag         offset      length  use\n", out);
    for (const tmapwriter::ChunkEntry& chunk : chunks)
        std::fprintf(out, "  %-10s %7" PRId64 " %11" PRIu32 "  %s%s\n", tagText(chunk.tag).c_str(), chunk.offset,
                     chunk.length, chunk.known ? "decoded" : "skipped",
                     chunk.truncated ? ", runs past the end of the file" : "");

    std::fputs("layers:\n", out);
    std::fputs("  layer  tag   present  distinct blocks  animated cells  cells naming nothing\n", out);
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        if (stats.present)
            std::fprintf(out, "  %-5d  %s  %-7s  %15" PRId64 "  %14" PRId64 "  %20" PRId64 "\n", layer,
                         layerTag(layer), yesNo(true), stats.distinctBlocks, stats.animatedCells,
                         stats.cellsNamingNothing);
        else
            std::fprintf(out, "  %-5d  %s  %-7s  %15s  %14s  %20s\n", layer, layerTag(layer), yesNo(false), "-",
                         "-", "-");
    }

    std::fprintf(out, "animations: %d\n", tmapAnimCount);
    std::fprintf(out, "frame list: %d entries\n", tmapAnimFrameCount);
    if (tmapAnimCount > 0)
        std::fputs("  anim  mode  delay  frames\n", out);
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        std::fprintf(out, "  %4d  %4d  %5d  %6d\n", n, anim.mode, anim.delay, anim.end - anim.start);
    }
    std::fprintf(out, "block records: %d\n", blockRecords());
}

void writeJsonReport(std::FILE* out, const std::string& path, const std::vector<uint8_t>& file, bool pretty)
{
    // Members in the text report's order; each record is small, and the
    // long lists (animations above all) go out one record at a time.
    using record = nlohmann::ordered_json;
    JsonStream json;
    json.out = out;
    json.pretty = pretty;
    openObject(json);
    put(json, "file", path);
    put(json, "size", file.size());
    put(json, "header",
        record{{"width", tmapWidth},
               {"height", tmapHeight},
               {"tileWidth", tmapTileWidth},
               {"tileHeight", tmapTileHeight},
               {"depth", tmapDepth},
               {"blockRecordSize", tmapBlockRecordSize},
               {"blockCount", tmapBlockCount},
               {"graphicCount", tmapGraphicCount},
               {"littleEndian", tmapLittleEndian != 0}});
    put(json, "colourMapBytes", tmapColourMapSize);

    openArray(json, "chunks");
    for (const tmapwriter::ChunkEntry& chunk : tmapwriter::listChunks(file))
        put(json, record{{"tag", tagText(chunk.tag)},
                         {"offset", chunk.offset},
                         {"length", chunk.length},
                         {"known", chunk.known},
                         {"truncated", chunk.truncated}});
    close(json);

    openArray(json, "layers");
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        record entry = {{"layer", layer}, {"tag", layerTag(layer)}, {"present", stats.present}};
        if (stats.present) {
            entry["distinctBlocks"] = stats.distinctBlocks;
            entry["animatedCells"] = stats.animatedCells;
            entry["cellsNamingNothing"] = stats.cellsNamingNothing;
        }
        put(json, entry);
    }
    close(json);

    openArray(json, "animations");
    // One record refilled for each animation: maps hold millions of them.
    record animation = {{"mode", 0}, {"delay", 0}, {"frames", 0}};
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        animation["mode"] = anim.mode;
        animation["delay"] = anim.delay;
        animation["frames"] = anim.end - anim.start;
        put(json, animation);
    }
    close(json);
    put(json, "frameListEntries", tmapAnimFrameCount);
    put(json, "blockRecords", blockRecords());
    close(json);
}

} // namespace tmapinfo
