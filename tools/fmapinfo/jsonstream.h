// One JSON document written as it goes, value by value, so that a report of
// millions of records never stands whole in memory. nlohmann-json encodes
// each value (and escapes every string); this only lays them out, compact
// on one line or indented by two spaces.
#ifndef TILVOGL_TOOLS_JSONSTREAM_H
#define TILVOGL_TOOLS_JSONSTREAM_H

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

namespace tmapinfo {

struct JsonStream {
    std::FILE* out = nullptr;
    bool pretty = false;
    struct Level {
        char closer;     // '}' or ']'
        bool holdsItems; // an item was written into it
    };
    std::vector<Level> open; // the objects and arrays open, outermost first
};

// An object or array: the document itself (no key), an element of an array
// (no key) or a member of an object (its key).
void openObject(JsonStream& stream, const char* key = nullptr);
void openArray(JsonStream& stream, const char* key = nullptr);
// Closes the innermost open object or array; the document's last ends the line.
void close(JsonStream& stream);

// A whole value, as a member (key) or as an element (no key). Bytes of a
// string that are not UTF-8 become U+FFFD.
void put(JsonStream& stream, const char* key, const nlohmann::ordered_json& value);
void put(JsonStream& stream, const nlohmann::ordered_json& value);

} // namespace tmapinfo

#endif
