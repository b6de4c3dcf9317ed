// The light that block columns are shown in, by the demos and fmapview, on
// the fixed-function path and through the shader renderer alike: one white
// light with strong ambient, both sides of a face lit, and no material, so
// the lit colour modulates the textures.
#ifndef TILVOGL_SUPPORT_BLOCKLIGHT_H
#define TILVOGL_SUPPORT_BLOCKLIGHT_H

#include "tilvogl/tilvogl_gpu.h"

namespace tmapblocklight {

// Light 0's ambient and diffuse parts, and the scene's ambient light.
extern const float lightAmbient[4];
extern const float lightDiffuse[4];
extern const float modelAmbient[4];

// Light 0 of the fixed-function GL, at position (given in the coordinates of
// the current modelview matrix, as glLightfv takes it); lighting and light 0
// enabled.
void useFixedFunctionLight(const float position[4]);

// The same light in a shader renderer view; eyePosition is already in eye
// coordinates (the modelview at the time applied).
void useShaderLight(TmapGpuView& view, const float eyePosition[4]);

} // namespace tmapblocklight

#endif
