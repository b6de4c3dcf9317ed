#include "mapinfo.h"

#include <algorithm>
#include <cstdarg> // va_list for format
#include <cstdio>
#include <cstring>

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

std::string jsonString(const std::string& text)
{
    return "\"" + printableTag(text, true) + "\"";
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

const char* yesNo(bool value) { return value ? "yes" : "no"; }
const char* trueFalse(bool value) { return value ? "true" : "false"; }

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
    std::vector<bool> seen;
    size_t count = size_t(tmapWidth) * size_t(tmapHeight);
    for (size_t i = 0; i < count; ++i) {
        int32_t value = cells[i];
        if (value < 0) {
            ++stats.animatedCells;
            continue;
        }
        if (size_t(value) >= seen.size())
            seen.resize(size_t(value) + 1, false);
        if (!seen[size_t(value)]) {
            seen[size_t(value)] = true;
            ++stats.distinctBlocks;
        }
    }
    return stats;
}

std::string textReport(const std::string& path, const std::vector<uint8_t>& file)
{
    std::string out;
    out += format("file: %s (%zu bytes)\n", path.c_str(), file.size());
    out += "header:\n";
    out += format("  width: %d cells\n  height: %d cells\n", tmapWidth, tmapHeight);
    out += format("  tile width: %d pixels\n  tile height: %d pixels\n", tmapTileWidth, tmapTileHeight);
    out += format("  depth: %d bits\n", tmapDepth);
    out += format("  block record size: %d bytes\n", tmapBlockRecordSize);
    out += format("  block count: %d\n  graphic count: %d\n", tmapBlockCount, tmapGraphicCount);
    out += format("  byte order: %s\n", tmapLittleEndian ? "little-endian" : "big-endian");
    out += format("colour map: %d bytes\n", tmapColourMapSize);

    std::vector<ChunkEntry> chunks = listChunks(file);
    out += format("chunks: %zu\n", chunks.size());
    out += "  tag     offset      length  use\n";
    for (const ChunkEntry& chunk : chunks)
        out += format("  %-6s %7ld %11u  %s%s\n", printableTag(chunk.tag, false).c_str(), chunk.offset,
                      chunk.length, chunk.known ? "decoded" : "skipped",
                      chunk.truncated ? ", runs past the end of the file" : "");

    out += "layers:\n";
    out += "  layer  tag   present  distinct blocks  animated cells\n";
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        if (stats.present)
            out += format("  %-5d  %s  %-7s  %15ld  %14ld\n", layer, layerTag(layer), yesNo(true),
                          stats.distinctBlocks, stats.animatedCells);
        else
            out += format("  %-5d  %s  %-7s  %15s  %14s\n", layer, layerTag(layer), yesNo(false), "-", "-");
    }

    out += format("animations: %d\n", tmapAnimCount);
    out += format("frame list: %d entries\n", tmapAnimFrameCount);
    if (tmapAnimCount > 0)
        out += "  anim  mode  delay  frames\n";
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        out += format("  %4d  %4d  %5d  %6d\n", n, anim.mode, anim.delay, anim.end - anim.start);
    }
    out += format("blocks: %d\n", tmapBlockCount);
    return out;
}

std::string jsonReport(const std::string& path, const std::vector<uint8_t>& file)
{
    std::string out = "{\n";
    out += "  \"file\": " + jsonString(path) + format(",\n  \"size\": %zu,\n", file.size());
    out += "  \"header\": {";
    out += format("\"width\": %d, \"height\": %d, \"tileWidth\": %d, \"tileHeight\": %d, \"depth\": %d, ",
                  tmapWidth, tmapHeight, tmapTileWidth, tmapTileHeight, tmapDepth);
    out += format("\"blockRecordSize\": %d, \"blockCount\": %d, \"graphicCount\": %d, "
                  "\"littleEndian\": %s},\n",
                  tmapBlockRecordSize, tmapBlockCount, tmapGraphicCount, trueFalse(tmapLittleEndian != 0));
    out += format("  \"colourMapBytes\": %d,\n", tmapColourMapSize);

    out += "  \"chunks\": [";
    std::vector<ChunkEntry> chunks = listChunks(file);
    for (size_t i = 0; i < chunks.size(); ++i) {
        const ChunkEntry& chunk = chunks[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"tag\": " + jsonString(chunk.tag);
        out += format(", \"offset\": %ld, \"length\": %u, \"known\": %s, \"truncated\": %s}", chunk.offset,
                      chunk.length, trueFalse(chunk.known), trueFalse(chunk.truncated));
    }
    out += chunks.empty() ? "],\n" : "\n  ],\n";

    out += "  \"layers\": [";
    for (int layer = 0; layer < TMAP_LAYER_COUNT; ++layer) {
        LayerStats stats = layerStats(layer);
        out += layer == 0 ? "\n" : ",\n";
        out += format("    {\"layer\": %d, \"tag\": \"%s\", \"present\": %s", layer, layerTag(layer),
                      trueFalse(stats.present));
        if (stats.present)
            out += format(", \"distinctBlocks\": %ld, \"animatedCells\": %ld", stats.distinctBlocks,
                          stats.animatedCells);
        out += "}";
    }
    out += "\n  ],\n";

    out += "  \"animations\": [";
    for (int n = 0; n < tmapAnimCount; ++n) {
        const TmapAnim& anim = tmapAnims[n];
        out += n == 0 ? "\n" : ",\n";
        out += format("    {\"mode\": %d, \"delay\": %d, \"frames\": %d}", anim.mode, anim.delay,
                      anim.end - anim.start);
    }
    out += tmapAnimCount == 0 ? "],\n" : "\n  ],\n";
    out += format("  \"frameListEntries\": %d,\n", tmapAnimFrameCount);
    out += format("  \"blockCount\": %d\n}\n", tmapBlockCount);
    return out;
}

} // namespace tmapinfo
