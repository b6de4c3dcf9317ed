// Checks shared by the readers of a Tiled map: each failure throws a Failure
// holding one line of text, caught where the reading of the map began.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_INPUTCHECK_H
#define TILVOGL_TOOLS_FMAPCONVERT_INPUTCHECK_H

#include <cstdint>
#include <string>

namespace tmapconvert {

struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message);

std::string inQuotes(const std::string& text);

// The whole text as one whole number in base (0: decimal, 0x hex or 0 octal);
// fails naming what when it is not one or does not fit.
int64_t parseWhole(const std::string& text, const std::string& what, int base = 10);

// The whole text as one finite decimal number; fails naming what when it is
// not one.
double parseNumber(const std::string& text, const std::string& what);

// value, or a failure naming what and the range it must lie in.
int64_t inRange(int64_t value, int64_t low, int64_t high, const std::string& what);

} // namespace tmapconvert

#endif
