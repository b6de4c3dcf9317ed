// The one-line reason the library gave for refusing a map, shared by the
// tools and the demo programs.
#ifndef TILVOGL_SUPPORT_LOADMESSAGE_H
#define TILVOGL_SUPPORT_LOADMESSAGE_H

#include <string>

// From tmapError, tmapErrorSystem, tmapErrorChunk and tmapErrorOffset after
// a failed load, e.g. "not a readable map file (error 2) in chunk "BKDT" at
// offset 48" or "file could not be opened (error 3): No such file or
// directory".
std::string loadFailureMessage();

// From tmapError after a failed tmapGpuUpload, on one line: the error's
// text, e.g. "map exceeds the OpenGL limits", and for a refused shader
// tmapGpuShaderLog after it, "a shader did not compile or link: the
// fragment shader of the program for block columns: 0:12(3): error: ...",
// the log's lines joined by " / ".
std::string uploadFailureMessage();

// A chunk tag read from a possibly damaged file: its four characters when
// they are all printable (and no quote or backslash), otherwise "0x" and its
// bytes in hex, such as "0xFFFF4247".
std::string tagText(const std::string& tag);
bool tagIsPrintable(const std::string& tag);

#endif
