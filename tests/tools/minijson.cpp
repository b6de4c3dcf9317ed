#include "minijson.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace minijson {

namespace {

struct Parser {
    const std::string& in;
    size_t at = 0;

    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(at));
    }
    void skipSpace()
    {
        while (at < in.size() && std::isspace(static_cast<unsigned char>(in[at])))
            ++at;
    }
    char peek()
    {
        skipSpace();
        if (at >= in.size())
            fail("unexpected end");
        return in[at];
    }
    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected '") + c + "'");
        ++at;
    }
    void word(const char* w)
    {
        for (const char* p = w; *p; ++p, ++at)
            if (at >= in.size() || in[at] != *p)
                fail(std::string("expected ") + w);
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (true) {
            if (at >= in.size())
                fail("unterminated string");
            char c = in[at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in string");
            if (c == '\\') {
                if (at >= in.size())
                    fail("unterminated escape");
                char e = in[at++];
                if (e == 'u') {
                    if (at + 4 > in.size())
                        fail("short \\u escape");
                    out += "\\u" + in.substr(at, 4);
                    at += 4;
                } else if (e == '"' || e == '\\' || e == '/') {
                    out += e;
                } else if (e == 'n') {
                    out += '\n';
                } else if (e == 't') {
                    out += '\t';
                } else {
                    fail("unknown escape");
                }
            } else {
                out += c;
            }
        }
    }
    Value value()
    {
        Value v;
        char c = peek();
        if (c == '{') {
            v.kind = Value::Object;
            ++at;
            if (peek() == '}') {
                ++at;
                return v;
            }
            while (true) {
                std::string key = string();
                expect(':');
                if (v.members.count(key))
                    fail("duplicate key " + key);
                v.members[key] = value();
                if (peek() == ',') {
                    ++at;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = Value::Array;
            ++at;
            if (peek() == ']') {
                ++at;
                return v;
            }
            while (true) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++at;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = Value::String;
            v.text = string();
            return v;
        }
        if (c == 't' || c == 'f') {
            v.kind = Value::Bool;
            v.boolean = c == 't';
            word(v.boolean ? "true" : "false");
            return v;
        }
        if (c == 'n') {
            word("null");
            return v;
        }
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            char* end = nullptr;
            v.kind = Value::Number;
            v.number = std::strtod(in.c_str() + at, &end);
            at = size_t(end - in.c_str());
            return v;
        }
        fail("unexpected character");
    }
};

} // namespace

const Value& Value::operator[](const std::string& key) const
{
    if (kind != Object)
        throw std::runtime_error("JSON: not an object, looking for " + key);
    auto it = members.find(key);
    if (it == members.end())
        throw std::runtime_error("JSON: no member " + key);
    return it->second;
}

const Value& Value::operator[](size_t index) const
{
    if (kind != Array || index >= items.size())
        throw std::runtime_error("JSON: no item " + std::to_string(index));
    return items[index];
}

double Value::num() const
{
    if (kind != Number)
        throw std::runtime_error("JSON: not a number");
    return number;
}

bool Value::flag() const
{
    if (kind != Bool)
        throw std::runtime_error("JSON: not true or false");
    return boolean;
}

const std::string& Value::str() const
{
    if (kind != String)
        throw std::runtime_error("JSON: not a string");
    return text;
}

Value parse(const std::string& document)
{
    Parser parser{document};
    Value v = parser.value();
    parser.skipSpace();
    if (parser.at != document.size())
        parser.fail("trailing text");
    return v;
}

} // namespace minijson
