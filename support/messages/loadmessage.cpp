#include "loadmessage.h"

#include <cstdio>  // snprintf
#include <cstring> // strerror

#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

bool tagIsPrintable(const std::string& tag)
{
    if (tag.size() != 4)
        return false;
    for (unsigned char c : tag)
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\')
            return false;
    return true;
}

std::string tagText(const std::string& tag)
{
    if (tagIsPrintable(tag))
        return tag;
    std::string hex = "0x";
    for (unsigned char c : tag) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", c);
        hex += digits;
    }
    return hex;
}

std::string loadFailureMessage()
{
    std::string message = std::string(tmapErrorString(tmapError)) + " (error " + std::to_string(tmapError) + ")";
    if (tmapError == TMAP_ERROR_CANNOT_OPEN && tmapErrorSystem != 0)
        message += std::string(": ") + std::strerror(tmapErrorSystem);
    if (tmapErrorOffset >= 0) {
        // The library fills a tag cut short by the end of the form with zeros.
        std::string tag(tmapErrorChunk, 4);
        message += " in chunk " + (tagIsPrintable(tag) ? "\"" + tag + "\"" : tagText(tag));
        message += " at offset " + std::to_string(tmapErrorOffset);
    }
    return message;
}

std::string uploadFailureMessage()
{
    std::string message = tmapErrorString(tmapError);
    if (tmapError != TMAP_ERROR_SHADER)
        return message;
    std::string log;
    for (const char* c = tmapGpuShaderLog(); *c != '\0'; ++c) {
        if (*c != '\n')
            log += *c;
        else if (c[1] != '\0')
            log += " / ";
    }
    return log.empty() ? message : message + ": " + log;
}
