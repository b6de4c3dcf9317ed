// Tiled's layer data encodings: csv, and base64 either plain or compressed
// with zlib, gzip or zstd. Decoding is bounded by the cell count the layer
// claims, which the caller checks before asking.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_LAYERDATA_H
#define TILVOGL_TOOLS_FMAPCONVERT_LAYERDATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace tmapconvert {

// Decodes count global tile ids from text. encoding is "csv" or "base64";
// compression "", "zlib", "gzip" or "zstd". Returns false with a reason that
// names the byte offset in text where it can.
bool decodeLayerData(const std::string& text, const std::string& encoding, const std::string& compression,
                     uint64_t count, std::vector<uint32_t>& gids, std::string& error);

// Inflates at most expected bytes (windowBits as zlib's inflateInit2: 15
// zlib, 31 gzip); more output than that is refused before it is stored.
bool inflateBounded(const uint8_t* data, size_t size, int windowBits, size_t expected,
                    std::vector<uint8_t>& out, std::string& error);

} // namespace tmapconvert

#endif
