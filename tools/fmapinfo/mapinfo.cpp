#include "mapinfo.h"

#include <algorithm>
#include <cstdarg> // va_list for format
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "loadmessage.h"
#include "tilvogl/tilvogl.h"

namespace tmapinfo {

namespace {

const char* const knownTags[] = {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR1",
                                 "LYR2", "LYR3", "LYR4", "LYR5", "LYR6", "LYR7"};

const char* layerTag(int layer)
{
    static const char* const tags[TMAP_LAYER_COUNT] = {"BODY", "LYR1", "LYR2", "LYR3",
                                                       "LYR4", "LYR5", "LYR6", "LYR7"};
    return tags[layer];
}

uint32_t readBigEndian32(const std::vector<uint8_t>& file, size_t at)
{
    return (uint32_t(file[at]) << 24) | (uint32_t(file[at + 1]) << 16) | (uint32_t(file[at + 2]) << 8)
         | uint32_t(file[at + 3]);
}

// printf into a string of whatever length the text needs (paths can be long).
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    va_list args, measuring;
    va_start(args, pattern);
    va_copy(measuring, args);
    int length = std::vsnprintf(nullptr, 0, pattern, measuring);
    va_end(measuring);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(&text[0], text.size() + 1, pattern, args);
    va_end(args);
    return text;
}

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// Block records the map holds: the header may count records that no
// "BKDT" chunk brought.
int blockRecords() { return tmapBlocks != nullptr ? tmapBlockCount : 0; }

} // namespace

std::vector<ChunkEntry> listChunks(const std::vector<uint8_t>& file)
{
    std::vector<ChunkEntry> chunks;
    if (file.size() < 12 || std::memcmp(file.data(), "FORM", 4) != 0)
        return chunks;
    int64_t remaining = int32_t(readBigEndian32(file, 4) - 4u);
    size_t at = 12;
    while (remaining > 0 && at + 8 <= file.size()) {
        ChunkEntry chunk;
        chunk.tag.assign(reinterpret_cast<const char*>(&file[at]), 4);
        chunk.offset = long(at);
        chunk.length = readBigEndian32(file, at + 4);
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

std::string textReport(const std::string& path, const std::vector<uint8_t>& file)
{
    std::string out;
    out += "file: " + path + format(" (%zu bytes)\n", file.size());
    out += "header:\n";
    out += format("  width: %d cells\n  height: %d cells\n", tmapWidth, tmapHeight);
    out += format("  tile width: %d pixels\n  tile height: %d pixels\n", tmapTileWidth, tmapTileHeight);
    out += format("  depth: %d bits\n", tmapDepth);
    out += format("  block record size: %d bytes\n", tmapBlockRecordSize);
    if (blockRecords() == tmapBlockCount)
        out += format("  block count: %d\n", tmapBlockCount);
    else
        out += format("  block count: %d in the header, %d records\n", tmapBlockCount, blockRecords());
    out += format("  graphic count: %d\n", tmapGraphicCount);
    out += format("  byte order: %s\n", tmapLittleEndian ? "little-endian" : "big-endian");
    out += format("colour map: %d bytes\n", tmapColourMapSize);

    std::vector<ChunkEntry> chunks = listChunks(file);
    out += format("chunks: %zu\n", chunks.size());
    out += "  tag         offset      length  use\n";
    for (const ChunkEntry& chunk : chunks)
        out += format("  %-10s %7ld %11u  %s%s\n", tagText(chunk.tag).c_str(), chunk.offset, chunk.length,
                      chunk.known ? "decoded" : "skipped", chunk.truncated ? ", runs past the end of the file" : "");

    out += "layers:\n";
    out += "  layer  tag   present  distinct blocks  animated cells  cells naming nothing\n";
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        if (stats.present)
            out += format("  %-5d  %s  %-7s  %15ld  %14ld  %20ld\n", layer, layerTag(layer), yesNo(true),
                          stats.distinctBlocks, stats.animatedCells, stats.cellsNamingNothing);
        else
            out += format("  %-5d  %s  %-7s  %15s  %14s  %20s\n", layer, layerTag(layer), yesNo(false), "-", "-",
                          "-");
    }

    out += format("animations: %d\n", tmapAnimCount);
    out += format("frame list: %d entries\n", tmapAnimFrameCount);
    if (tmapAnimCount > 0)
        out += "  anim  mode  delay  frames\n";
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        out += format("  %4d  %4d  %5d  %6d\n", n, anim.mode, anim.delay, anim.end - anim.start);
    }
    out += format("block records: %d\n", blockRecords());
    return out;
}

std::string jsonReport(const std::string& path, const std::vector<uint8_t>& file)
{
    using nlohmann::json;
    json report;
    report["file"] = path;
    report["size"] = file.size();
    report["header"] = {{"width", tmapWidth},
                        {"height", tmapHeight},
                        {"tileWidth", tmapTileWidth},
                        {"tileHeight", tmapTileHeight},
                        {"depth", tmapDepth},
                        {"blockRecordSize", tmapBlockRecordSize},
                        {"blockCount", tmapBlockCount},
                        {"graphicCount", tmapGraphicCount},
                        {"littleEndian", tmapLittleEndian != 0}};
    report["colourMapBytes"] = tmapColourMapSize;

    json chunks = json::array();
    for (const ChunkEntry& chunk : listChunks(file))
        chunks.push_back({{"tag", tagText(chunk.tag)},
                          {"offset", chunk.offset},
                          {"length", chunk.length},
                          {"known", chunk.known},
                          {"truncated", chunk.truncated}});
    report["chunks"] = chunks;

    json layers = json::array();
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        json entry = {{"layer", layer}, {"tag", layerTag(layer)}, {"present", stats.present}};
        if (stats.present) {
            entry["distinctBlocks"] = stats.distinctBlocks;
            entry["animatedCells"] = stats.animatedCells;
            entry["cellsNamingNothing"] = stats.cellsNamingNothing;
        }
        layers.push_back(entry);
    }
    report["layers"] = layers;

    json anims = json::array();
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        anims.push_back({{"mode", anim.mode}, {"delay", anim.delay}, {"frames", anim.end - anim.start}});
    }
    report["animations"] = anims;
    report["frameListEntries"] = tmapAnimFrameCount;
    report["blockRecords"] = blockRecords();
    // A file name is bytes: any that are not UTF-8 become U+FFFD.
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace tmapinfo
