#include "layerlook.h"

#include <cstdio>
#include <functional>

#include "inputcheck.h"

namespace tmapconvert {

namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A tint as 8-bit alpha, red, green, blue; "" is no tint, opaque white.
std::vector<unsigned> tintChannels(const std::string& tint)
{
    std::string hex = !tint.empty() && tint[0] == '#' ? tint.substr(1) : tint;
    if (hex.size() == 6)
        hex = "ff" + hex;
    std::vector<unsigned> argb(4, 255);
    if (hex.size() == 8) // the reader has checked the digits
        for (size_t i = 0; i < 4; ++i)
            argb[i] = unsigned(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return argb;
}

// Tiled multiplies the tints of a layer and its groups channel by channel.
std::string composedTint(const std::vector<TiledLayerLook>& looks)
{
    std::vector<unsigned> argb(4, 255);
    for (const TiledLayerLook& look : looks) {
        const std::vector<unsigned> own = tintChannels(look.tint);
        for (size_t i = 0; i < 4; ++i)
            argb[i] = (argb[i] * own[i] + 127) / 255;
    }
    if (argb == std::vector<unsigned>(4, 255))
        return "";
    char text[16];
    if (argb[0] == 255)
        std::snprintf(text, sizeof text, "#%02x%02x%02x", argb[1], argb[2], argb[3]);
    else
        std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", argb[0], argb[1], argb[2], argb[3]);
    return text;
}

// " (from group "a")" when only groups set it, " (with group "a")" when the
// layer sets it too, "" when the layer alone does.
std::string setBy(const std::vector<TiledLayerLook>& looks, const std::function<bool(const TiledLayerLook&)>& sets)
{
    std::string groups;
    bool layerSets = false;
    for (const TiledLayerLook& look : looks) {
        if (!sets(look))
            continue;
        if (!look.isGroup) {
            layerSets = true;
            continue;
        }
        groups += (groups.empty() ? "group " : ", group ") + inQuotes(look.name);
    }
    if (groups.empty())
        return "";
    return (layerSets ? " (with " : " (from ") + groups + ")";
}

} // namespace

bool isHidden(const TiledLayer& layer)
{
    for (const TiledLayerLook& look : layer.looks)
        if (!look.visible)
            return true;
    return false;
}

std::vector<std::string> droppedLookNotes(const TiledLayer& layer)
{
    const std::string where = "layer " + inQuotes(layer.name) + ": ";
    const std::vector<TiledLayerLook>& looks = layer.looks;
    if (isHidden(layer))
        return {where + "hidden" + setBy(looks, [](const TiledLayerLook& l) { return !l.visible; })
                + ", left out"};

    double opacity = 1, offsetX = 0, offsetY = 0, parallaxX = 1, parallaxY = 1;
    for (const TiledLayerLook& look : looks) {
        opacity *= look.opacity;
        offsetX += look.offsetX;
        offsetY += look.offsetY;
        parallaxX *= look.parallaxX;
        parallaxY *= look.parallaxY;
    }
    std::vector<std::string> notes;
    if (opacity != 1)
        notes.push_back(where + "opacity " + number(opacity)
                        + setBy(looks, [](const TiledLayerLook& l) { return l.opacity != 1; })
                        + " dropped; a map file draws every layer opaque");
    const std::string tint = composedTint(looks);
    if (!tint.empty())
        notes.push_back(where + "tint colour " + tint
                        + setBy(looks, [](const TiledLayerLook& l) { return !composedTint({l}).empty(); })
                        + " dropped; a map file has no tint");
    if (offsetX != 0 || offsetY != 0)
        notes.push_back(where + "offset " + number(offsetX) + "," + number(offsetY) + " pixels"
                        + setBy(looks, [](const TiledLayerLook& l) { return l.offsetX != 0 || l.offsetY != 0; })
                        + " dropped; a map file draws every layer in the same place");
    if (parallaxX != 1 || parallaxY != 1)
        notes.push_back(where + "parallax factor " + number(parallaxX) + "," + number(parallaxY)
                        + setBy(looks, [](const TiledLayerLook& l) { return l.parallaxX != 1 || l.parallaxY != 1; })
                        + " dropped; a map file scrolls every layer together");
    return notes;
}

} // namespace tmapconvert
