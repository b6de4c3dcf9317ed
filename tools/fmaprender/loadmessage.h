// The one-line reason the library gave for refusing a map, shared by the tools.
#ifndef TILVOGL_TOOLS_LOADMESSAGE_H
#define TILVOGL_TOOLS_LOADMESSAGE_H

#include <string>

// From tmapError, tmapErrorChunk and tmapErrorOffset after a failed load, e.g.
// "not a readable map file (error 2) in chunk "BKDT" at offset 48".
std::string loadFailureMessage();

// A chunk tag from a possibly damaged file, any byte made readable: \xNN for
// text, or \u00NN inside a JSON string.
std::string printableTag(const std::string& tag, bool forJson = false);

#endif
