#include "pixels.h"

#include <algorithm>
#include <map>

#include "inputcheck.h"

namespace tmapconvert {

namespace {

using tmapwriter::Bytes;

// Alpha of 128 and more is opaque: a map file's pixels are either.
bool opaque(uint8_t alpha) { return alpha >= 128; }

// Depth 8: colour map indices, 0 the transparent one.
struct Palette {
    std::map<uint32_t, int> indices; // colour -> index
    size_t next = 1;

    explicit Palette(const Bytes& start) : next(std::max<size_t>(1, start.size() / 3))
    {
        for (size_t i = 1; i * 3 + 2 < start.size(); ++i)
            indices.emplace(uint32_t(start[i * 3]) << 16 | uint32_t(start[i * 3 + 1]) << 8 | start[i * 3 + 2], int(i));
    }

    uint8_t indexOf(uint8_t r, uint8_t g, uint8_t b)
    {
        const uint32_t colour = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
        auto found = indices.find(colour);
        if (found == indices.end()) {
            if (next > 255)
                fail("the map uses more than 255 colours; depth 8 holds 255 besides the transparent one");
            found = indices.emplace(colour, int(next++)).first;
        }
        return uint8_t(found->second);
    }

    Bytes colourMap(const Bytes& start) const
    {
        Bytes entries = start;
        entries.resize(std::max(entries.size(), std::max<size_t>(768, next * 3)), 0);
        for (const auto& [colour, index] : indices) {
            entries[size_t(index) * 3] = uint8_t(colour >> 16);
            entries[size_t(index) * 3 + 1] = uint8_t(colour >> 8);
            entries[size_t(index) * 3 + 2] = uint8_t(colour);
        }
        return entries;
    }
};

Bytes indexedPixels(const std::string& rgba, Palette& palette)
{
    Bytes stored;
    stored.reserve(rgba.size() / 4);
    for (size_t i = 0; i < rgba.size(); i += 4)
        tmapwriter::put8(stored, opaque(uint8_t(rgba[i + 3]))
                                     ? palette.indexOf(uint8_t(rgba[i]), uint8_t(rgba[i + 1]), uint8_t(rgba[i + 2]))
                                     : 0);
    return stored;
}

// Depths 15, 16, 24 and 32; the first three have a colour key instead of alpha.
Bytes directPixels(const std::string& rgba, int depth, long& movedTexels)
{
    Bytes stored;
    stored.reserve(rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const uint8_t r = uint8_t(rgba[i]), b = uint8_t(rgba[i + 2]), a = uint8_t(rgba[i + 3]);
        uint8_t g = uint8_t(rgba[i + 1]);
        if (depth == 32) {
            tmapwriter::put32(stored, a, r, g, b);
            continue;
        }
        if (opaque(a) && tmapwriter::moveOffColourKey(depth, r, g, b))
            ++movedTexels;
        tmapwriter::putPixel(stored, depth, r, g, b, opaque(a) ? 255 : 0);
    }
    return stored;
}

} // namespace

int GraphicSet::add(std::string pixels)
{
    auto found = index.find(pixels);
    if (found != index.end())
        return found->second;
    append(std::move(pixels));
    return int(rgba.size() - 1);
}

void GraphicSet::append(std::string pixels)
{
    index.emplace(pixels, int(rgba.size()));
    rgba.push_back(std::move(pixels));
}

long storeGraphics(const GraphicSet& graphics, const Bytes& startColourMap, bool keepStartColourMap,
                   tmapwriter::Map& map)
{
    long movedTexels = 0;
    Palette palette(map.depth == 8 ? startColourMap : Bytes());
    map.graphics.clear();
    map.graphics.reserve(graphics.rgba.size());
    for (const std::string& rgba : graphics.rgba)
        map.graphics.push_back(map.depth == 8 ? indexedPixels(rgba, palette)
                                              : directPixels(rgba, map.depth, movedTexels));
    if (map.depth == 8) {
        // Nothing new: the exact bytes come back.
        if (keepStartColourMap && palette.next * 3 <= startColourMap.size())
            map.colourMap = startColourMap;
        else
            map.colourMap = palette.colourMap(startColourMap);
    }
    return movedTexels;
}

} // namespace tmapconvert
