// An OpenGL context without a display, for the tools, tests and benchmarks.
//
// The library defines textures while it loads a map, so even a program that
// only inspects maps needs a current context. On Linux this one renders into
// memory (Mesa's offscreen renderer), so nothing here needs an X server; on
// Windows it is a WGL context of a hidden window, drawing into a
// framebuffer object of its own where the GL has them (offscreen_wgl.cpp).
#ifndef TILVOGL_SUPPORT_OFFSCREEN_H
#define TILVOGL_SUPPORT_OFFSCREEN_H

#include "image.h"

namespace tmapoffscreen {

// What a context offers: the fixed-function state that loading textures
// needs, or only OpenGL 3.3's core profile (the shader renderer's).
enum class Profile { compatibility, core };

// Creates a context with an RGBA colour buffer of width x height and a
// 24-bit depth buffer, and makes it current. Returns false when the GL
// refuses.
bool openContext(int width, int height, Profile profile = Profile::compatibility);

// Gives the current context a new colour buffer of width x height. The
// context keeps its textures, so a map loaded before stays usable.
bool resizeContext(int width, int height);

// Destroys the context made by openContext; safe to call when none is open.
void closeContext();

// Waits for drawing to finish and returns the colour buffer, top row first.
tmapimage::Image readColourBuffer();

} // namespace tmapoffscreen

#endif
