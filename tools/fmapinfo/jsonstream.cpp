#include "jsonstream.h"

#include <string>

namespace tmapinfo {

namespace {

// The separator and line break before an item, and its key.
void startItem(JsonStream& stream, const char* key)
{
    if (!stream.open.empty()) {
        if (stream.open.back().holdsItems)
            std::fputc(',', stream.out);
        stream.open.back().holdsItems = true;
        if (stream.pretty)
            std::fprintf(stream.out, "\n%*s", int(2 * stream.open.size()), "");
    }
    if (key != nullptr) {
        std::fputs(nlohmann::ordered_json(key).dump().c_str(), stream.out);
        std::fputs(stream.pretty ? ": " : ":", stream.out);
    }
}

void open(JsonStream& stream, const char* key, char opener, char closer)
{
    startItem(stream, key);
    std::fputc(opener, stream.out);
    stream.open.push_back({closer, false});
}

} // namespace

void openObject(JsonStream& stream, const char* key) { open(stream, key, '{', '}'); }

void openArray(JsonStream& stream, const char* key) { open(stream, key, '[', ']'); }

void close(JsonStream& stream)
{
    const JsonStream::Level level = stream.open.back();
    stream.open.pop_back();
    // An empty one stays "{}" or "[]", as nlohmann-json writes it.
    if (stream.pretty && level.holdsItems)
        std::fprintf(stream.out, "\n%*s", int(2 * stream.open.size()), "");
    std::fputc(level.closer, stream.out);
    if (stream.open.empty())
        std::fputc('\n', stream.out);
}

void put(JsonStream& stream, const char* key, const nlohmann::ordered_json& value)
{
    startItem(stream, key);
    if (!stream.pretty) {
        std::fputs(value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str(), stream.out);
        return;
    }
    // An indented value continues at the depth it stands at; its strings
    // hold no line breaks (they are escaped), so every break is layout.
    const std::string text = value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    const std::string indent(2 * stream.open.size(), ' ');
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::fwrite(text.data() + start, 1, end + 1 - start, stream.out);
        std::fputs(indent.c_str(), stream.out);
    }
    std::fwrite(text.data() + start, 1, text.size() - start, stream.out);
}

void put(JsonStream& stream, const nlohmann::ordered_json& value) { put(stream, nullptr, value); }

} // namespace tmapinfo
