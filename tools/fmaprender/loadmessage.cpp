#include "loadmessage.h"

#include <cstdio> // snprintf

#include "tilvogl/tilvogl.h"

std::string printableTag(const std::string& tag, bool forJson)
{
    std::string out;
    for (unsigned char c : tag) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, forJson ? "\\u%04x" : "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string loadFailureMessage()
{
    std::string message = std::string(tmapErrorString(tmapError)) + " (error " + std::to_string(tmapError) + ")";
    if (tmapErrorChunk[0] != '\0')
        message += " in chunk \"" + printableTag(tmapErrorChunk) + "\"";
    if (tmapErrorOffset >= 0)
        message += " at offset " + std::to_string(tmapErrorOffset);
    return message;
}
