// Just enough JSON reading to check fmapinfo --json: a strict parser for
// objects, arrays, strings (escapes kept as \uXXXX text), numbers, true,
// false and null. Anything malformed throws std::runtime_error.
#ifndef TILVOGL_TESTS_MINIJSON_H
#define TILVOGL_TESTS_MINIJSON_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace minijson {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> members;

    // Member or item access; throws when absent or of another kind.
    const Value& operator[](const std::string& key) const;
    const Value& operator[](size_t index) const;
    bool has(const std::string& key) const { return kind == Object && members.count(key) != 0; }
    double num() const;
    bool flag() const;
    const std::string& str() const;
};

// Parses a whole document; trailing non-space text is an error.
Value parse(const std::string& document);

} // namespace minijson

#endif
