#include "inputcheck.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tmapconvert {

void fail(const std::string& message) { throw Failure{message}; }

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

int64_t parseWhole(const std::string& text, const std::string& what, int base)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, base);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        fail(what + " is not a whole number: " + inQuotes(text.substr(0, 40)));
    return value;
}

double parseNumber(const std::string& text, const std::string& what)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        fail(what + " is not a number: " + inQuotes(text.substr(0, 40)));
    return value;
}

int64_t inRange(int64_t value, int64_t low, int64_t high, const std::string& what)
{
    if (value < low || value > high)
        fail(what + " is " + std::to_string(value) + ", out of its range " + std::to_string(low) + " to "
             + std::to_string(high));
    return value;
}

} // namespace tmapconvert
