// What fmapinfo reports about a map: the chunk list read from the file's
// bytes, everything else from the library's current map.
#ifndef TILVOGL_TOOLS_MAPINFO_H
#define TILVOGL_TOOLS_MAPINFO_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tmapinfo {

struct LayerStats {
    bool present = false;
    // Counts of up to 65535 x 65535 cells: 64 bits, where a long may have 32.
    int64_t distinctBlocks = 0;     // distinct block records that cells name
    int64_t animatedCells = 0;      // cells that show an existing animation
    int64_t cellsNamingNothing = 0; // cells naming no block record or animation
};

// Statistics of layer 0..7 of the current map.
LayerStats layerStats(int layer);

// The report on the current map, which was loaded from a file of these
// bytes, written to out as it goes: as text, or as one JSON object (compact
// on one line, or indented by two spaces when pretty).
void writeTextReport(std::FILE* out, const std::string& path, const std::vector<uint8_t>& file);
void writeJsonReport(std::FILE* out, const std::string& path, const std::vector<uint8_t>& file, bool pretty);

} // namespace tmapinfo

#endif
