// An OpenGL context without a display, for the tools, tests and benchmarks.
//
// The library defines textures while it loads a map, so even a program that
// only inspects maps needs a current context. This one renders into memory
// (Mesa's offscreen renderer), so nothing here needs an X server.
#ifndef TILVOGL_SUPPORT_OFFSCREEN_H
#define TILVOGL_SUPPORT_OFFSCREEN_H

#include "image.h"

namespace tmapoffscreen {

// Creates a context with an RGBA colour buffer of width x height and a
// 24-bit depth buffer, and makes it current. Returns false when Mesa refuses.
bool openContext(int width, int height);

// Gives the current context a new colour buffer of width x height. The
// context keeps its textures, so a map loaded before stays usable.
bool resizeContext(int width, int height);

// Destroys the context made by openContext; safe to call when none is open.
void closeContext();

// Waits for drawing to finish and returns the colour buffer, top row first.
tmapimage::Image readColourBuffer();

} // namespace tmapoffscreen

#endif
