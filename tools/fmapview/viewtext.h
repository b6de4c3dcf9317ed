// The texts of fmapview that do not depend on how it draws: the info line's
// description of a cell and of the map, and the help.
#ifndef TILVOGL_TOOLS_FMAPVIEW_VIEWTEXT_H
#define TILVOGL_TOOLS_FMAPVIEW_VIEWTEXT_H

#include <string>
#include <vector>

namespace fmapview {

// The cell (cellX, cellY) of the current layer: coordinates, stored value,
// block, its graphics, flags as letters, user fields, and for an animated
// cell the animation's mode and frame.
std::string cellInfo(int cellX, int cellY);

// The map's size and tile size, and a pointer to the help.
std::string mapSummary(bool paused);

// The help overlay's lines: of the window viewer (which also saves beside
// the map and quits), or of the page.
std::vector<std::string> helpLines(bool inWindow);

// The page's help lines, joined by newlines.
std::string helpText();

} // namespace fmapview

#endif
