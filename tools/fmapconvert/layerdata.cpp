#include "layerdata.h"

#include <zlib.h> // inflateInit2, inflate, inflateEnd for zlib and gzip data
#include <zstd.h> // ZSTD_createDCtx, ZSTD_decompressStream for zstd data

#include <algorithm>
#include <memory>

namespace tmapconvert {

namespace {

int base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// At most limit bytes are kept; more is refused as soon as it appears.
bool decodeBase64(const std::string& text, size_t limit, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    out.reserve(std::min(limit, text.size() / 4 * 3 + 3));
    uint32_t bits = 0;
    int held = 0;
    bool padding = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (isSpace(c))
            continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding) {
            error = "base64 data has a stray character at byte " + std::to_string(i);
            return false;
        }
        bits = (bits << 6) | uint32_t(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            if (out.size() == limit) {
                error = "base64 data holds more than the layer's " + std::to_string(limit) + " bytes";
                return false;
            }
            out.push_back(uint8_t(bits >> held));
        }
    }
    return true;
}

bool decodeCsv(const std::string& text, uint64_t count, std::vector<uint32_t>& gids, std::string& error)
{
    gids.clear();
    size_t i = 0;
    const size_t n = text.size();
    auto skipSpace = [&] {
        while (i < n && isSpace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    skipSpace();
    while (i < n) {
        if (gids.size() == count) {
            error = "csv data holds more than the layer's " + std::to_string(count) + " cells (byte "
                    + std::to_string(i) + ")";
            return false;
        }
        uint64_t value = 0;
        const size_t start = i;
        while (i < n && text[i] >= '0' && text[i] <= '9' && value <= 0xFFFFFFFFu) {
            value = value * 10 + uint64_t(text[i] - '0');
            ++i;
        }
        if (i == start || value > 0xFFFFFFFFu) {
            error = "csv data has no tile id from 0 to 4294967295 at byte " + std::to_string(start);
            return false;
        }
        gids.push_back(uint32_t(value));
        skipSpace();
        if (i < n && text[i] == ',') {
            ++i;
            skipSpace();
            if (i == n) {
                error = "csv data ends with a comma";
                return false;
            }
        } else if (i < n) {
            error = "csv data has a stray character at byte " + std::to_string(i);
            return false;
        }
    }
    return true;
}

bool zstdBounded(const std::vector<uint8_t>& in, size_t expected, std::vector<uint8_t>& out, std::string& error)
{
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!context) {
        error = "out of memory for zstd";
        return false;
    }
    // A frame may ask for a window of up to 2 GiB; a layer never needs more than 16 MiB.
    ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, 24);
    out.assign(expected + 1, 0);
    ZSTD_inBuffer input = {in.data(), in.size(), 0};
    ZSTD_outBuffer output = {out.data(), out.size(), 0};
    size_t result = 1;
    while (input.pos < input.size) {
        result = ZSTD_decompressStream(context.get(), &output, &input);
        if (ZSTD_isError(result)) {
            error = std::string("zstd data is damaged (") + ZSTD_getErrorName(result) + ")";
            return false;
        }
        if (output.pos > expected) {
            error = "zstd data inflates to more than the layer's " + std::to_string(expected) + " bytes";
            return false;
        }
        if (result == 0)
            break;
    }
    if (result != 0) {
        error = "zstd data ends early";
        return false;
    }
    out.resize(output.pos);
    return true;
}

} // namespace

bool inflateBounded(const uint8_t* data, size_t size, int windowBits, size_t expected,
                    std::vector<uint8_t>& out, std::string& error)
{
    const char* kind = windowBits > 15 ? "gzip" : "zlib";
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) {
        error = std::string("out of memory for ") + kind;
        return false;
    }
    // One byte more than expected tells "too much" from "exactly right".
    out.assign(expected + 1, 0);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = uInt(size);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const size_t produced = stream.total_out;
    const std::string reason = stream.msg ? stream.msg : "no end";
    const size_t consumed = stream.total_in;
    inflateEnd(&stream);
    if (produced > expected) {
        error = std::string(kind) + " data inflates to more than the layer's " + std::to_string(expected) + " bytes";
        return false;
    }
    if (result != Z_STREAM_END) {
        error = std::string(kind) + " data is damaged or cut short (" + reason + ", input byte "
                + std::to_string(consumed) + ")";
        return false;
    }
    out.resize(produced);
    return true;
}

bool decodeLayerData(const std::string& text, const std::string& encoding, const std::string& compression,
                     uint64_t count, std::vector<uint32_t>& gids, std::string& error)
{
    if (encoding == "csv") {
        if (!compression.empty()) {
            error = "csv data cannot be compressed (" + compression + ")";
            return false;
        }
        if (!decodeCsv(text, count, gids, error))
            return false;
    } else if (encoding == "base64") {
        const size_t expected = size_t(count) * 4;
        std::vector<uint8_t> packed, bytes;
        if (compression.empty()) {
            if (!decodeBase64(text, expected, bytes, error))
                return false;
        } else {
            // Compressed data is at most a little larger than what it holds.
            if (!decodeBase64(text, expected + expected / 2 + 1024, packed, error))
                return false;
            if (compression == "zlib" || compression == "gzip") {
                if (!inflateBounded(packed.data(), packed.size(), compression == "zlib" ? 15 : 31, expected,
                                    bytes, error))
                    return false;
            } else if (compression == "zstd") {
                if (!zstdBounded(packed, expected, bytes, error))
                    return false;
            } else {
                error = "unknown compression \"" + compression + "\"";
                return false;
            }
        }
        if (bytes.size() % 4 != 0) {
            error = "layer data holds " + std::to_string(bytes.size()) + " bytes, not a whole number of tile ids";
            return false;
        }
        gids.resize(bytes.size() / 4);
        for (size_t i = 0; i < gids.size(); ++i) {
            const uint8_t* p = bytes.data() + 4 * i;
            gids[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        }
    } else {
        error = "unknown encoding \"" + encoding + "\"";
        return false;
    }
    if (gids.size() != count) {
        error = "layer data holds " + std::to_string(gids.size()) + " cells, the layer has "
                + std::to_string(count);
        return false;
    }
    return true;
}

} // namespace tmapconvert
