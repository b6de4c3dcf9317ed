#include "viewtext.h"

#include <cstdio>
#include <iterator>

#include "tilvogl/tilvogl.h"

namespace fmapview {

namespace {

const char* const viewLines[] = {
    "drag, arrow keys   pan  (3D view: orbit)",
    "wheel, + and -     zoom about the cursor  (3D view: dolly)",
    "f                  fit the whole map",
    "0 .. 7             show that layer",
    "a                  all layers, each blended over the ones before",
    "g                  second graphics blended over the first",
    "b                  3D block view of the layer / back to flat",
    "space              pause or resume the animations",
    ".                  one animation tick while paused",
};
const char* const flagLine = "flags: A..E = 0x01..0x10, S = stacked 0x20, X = mirrored 0x40, Y = mirrored 0x80";

std::string flagLetters(unsigned flags)
{
    const char letters[] = "ABCDESXY";
    std::string text;
    for (int bit = 0; bit < 8; ++bit)
        if (flags & (1u << bit))
            text += letters[bit];
    return text.empty() ? "-" : text;
}

const char* animModeName(int mode)
{
    switch (mode) {
    case 0: return "still";
    case 1: return "loop forward";
    case 2: return "loop backward";
    case 3: return "play once";
    case 4: return "play once, hold";
    case 5: case 8: return "ping-pong";
    case 6: case 7: return "ping-pong backward";
    case 9: return "played once";
    default: return "no movement";
    }
}

} // namespace

std::string cellInfo(int cellX, int cellY)
{
    char text[512];
    int32_t value = tmapCurrentLayer[size_t(cellY) * size_t(tmapWidth) + size_t(cellX)];
    int n = std::snprintf(text, sizeof text, "cell (%d, %d)  value %d", cellX, cellY, int(value));
    const TmapBlock* block = tmapBlockAt(cellX, cellY);
    if (block == nullptr) {
        std::snprintf(text + n, sizeof text - size_t(n), "  names no block");
        return text;
    }
    n += std::snprintf(text + n, sizeof text - size_t(n),
                       "  block %d  graphics %d %d %d %d  flags %s  user %u %u %u %u %u %u %u",
                       int(block - tmapBlocks), int(block->graphic1), int(block->graphic2), int(block->graphic3),
                       int(block->graphic4), flagLetters(block->flags).c_str(), unsigned(block->userLong1),
                       unsigned(block->userLong2), unsigned(block->userShort1), unsigned(block->userShort2),
                       unsigned(block->userByte1), unsigned(block->userByte2), unsigned(block->userByte3));
    if (value < 0) {
        const TmapAnim& anim = tmapAnims[-(value + 1)];
        std::snprintf(text + n, sizeof text - size_t(n), "  anim %d: %s, frame %d of %d", int(-(value + 1)),
                      animModeName(anim.mode), int(anim.current - anim.start + 1), int(anim.end - anim.start));
    }
    return text;
}

std::string mapSummary(bool paused)
{
    return std::to_string(tmapWidth) + " x " + std::to_string(tmapHeight) + " cells, " + std::to_string(tmapTileWidth)
           + " x " + std::to_string(tmapTileHeight) + " pixels per tile; h for help" + (paused ? "; paused" : "");
}

std::vector<std::string> helpLines(bool inWindow)
{
    std::vector<std::string> lines(std::begin(viewLines), std::end(viewLines));
    if (inWindow) {
        lines.push_back("p                  save the window as MAP-N.png beside the map");
        lines.push_back("r                  reload the map now");
        lines.push_back("h                  show or hide this help");
        lines.push_back("q, Esc             quit");
    } else {
        lines.push_back("p                  save the picture as MAP-N.png");
        lines.push_back("r                  reload the map now");
        lines.push_back("h                  show or hide this help");
    }
    lines.push_back("");
    lines.push_back(flagLine);
    return lines;
}

std::string helpText()
{
    std::string text;
    for (const std::string& line : helpLines(false))
        text += line + "\n";
    return text;
}

} // namespace fmapview
