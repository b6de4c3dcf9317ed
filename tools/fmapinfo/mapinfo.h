// What fmapinfo reports about a map: the chunk list read from the file's
// bytes, everything else from the library's current map.
#ifndef TILVOGL_TOOLS_MAPINFO_H
#define TILVOGL_TOOLS_MAPINFO_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tmapinfo {

struct ChunkEntry {
    std::string tag;      // the four tag bytes as stored
    long offset = 0;      // of the tag, from the start of the file
    uint32_t length = 0;  // data bytes
    bool known = false;   // a tag the library decodes; others are skipped
    bool truncated = false; // the data runs past the end of the file
};

// The chunks in the order the library walks them: from offset 12 while the
// form's remaining byte count (signed) is above 0. Stops at the end of the
// file; a file that is no form yields none.
std::vector<ChunkEntry> listChunks(const std::vector<uint8_t>& file);

struct LayerStats {
    bool present = false;
    long distinctBlocks = 0;     // distinct block records that cells name
    long animatedCells = 0;      // cells that show an existing animation
    long cellsNamingNothing = 0; // cells naming no block record or animation
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
