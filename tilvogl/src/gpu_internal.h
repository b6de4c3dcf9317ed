// Shared between the shader renderer's sources; not installed.
//   gpu_gl.cpp      the GL function table and the context check
//   gpu_shaders.cpp the one GLSL source of both programs, compiled for the
//                   context's language, and their uniform locations
//   gpu_upload.cpp  tmapGpuUpload, tmapGpuRelease, the GPU copy of the map
//                   and what the model tells it (changed cells, a new map)
//   gpu_draw.cpp    the draws and the view
#ifndef TILVOGL_GPU_INTERNAL_H
#define TILVOGL_GPU_INTERNAL_H

#include <cstdint>

#include "gpu_gl.h"
#include "tilvogl/tilvogl.h"

// Texture units, the same in both programs.
enum TmapGpuUnit {
    tmapGpuUnitGraphics, // 2D array texture, one layer per tile graphic
    tmapGpuUnitLayer,    // the current layer's cells, R32I
    tmapGpuUnitBlocks,   // two RGBA32I texels per block record
    tmapGpuUnitAnims,    // each animation's current block, R32I
    tmapGpuUnitWindow,   // column, row and cube positions of the window, R32F
    tmapGpuUnitCount
};

// Uniforms of both programs, by the name they have in the shader source.
#define TMAP_GPU_UNIFORMS(F)                                                                       \
    F(modelviewProjection) F(modelview) F(normalMatrix) F(colour) F(fogEnabled) F(fogDensity)              \
    F(fogColour) F(lightingEnabled) F(lightPosition) F(lightAmbient) F(lightDiffuse)              \
    F(modelAmbient) F(twoSided) F(alphaTest) F(graphics) F(layer) F(blocks) F(anims)              \
    F(window) F(counts) F(firstCell) F(mapWidth) F(graphicField) F(rect) F(z) F(windowSize)       \
    F(slots) F(cellWidth) F(stackCount)

struct TmapGpuProgram {
    GLuint name;
#define TMAP_GPU_UNIFORM_FIELD(uniform) GLint uniform;
    TMAP_GPU_UNIFORMS(TMAP_GPU_UNIFORM_FIELD)
#undef TMAP_GPU_UNIFORM_FIELD
};

enum TmapGpuProgramKind { tmapGpuFlat, tmapGpuColumns };

// Compiles and links one program for the context's shading language.
// Returns false (and makes nothing) when the GL refuses it.
bool tmapGpuBuildProgram(TmapGpuProgramKind kind, bool embedded, TmapGpuProgram &program);

// The GPU copy of the current map.
struct TmapGpuCopy {
    bool uploaded;       // objects exist (they may belong to an older map)
    bool current;        // and they hold the current map
    GLuint graphics;
    GLuint layers[TMAP_LAYER_COUNT];
    GLuint blocks;
    GLuint anims;
    GLuint window;
    GLuint vertexArray;
    TmapGpuProgram flat;
    TmapGpuProgram columns;
    int foldWidth;       // texel rows of every table texture are this wide
    int stackCount;      // most stacked cubes in any column of the map
    int32_t *animBlocks; // each animation's block as uploaded (-1: none)
    float *windowTable;  // the positions as uploaded
    size_t windowCapacity;
    bool windowValid;
    float windowKey[5];  // originX, originY, cellWidth, cellHeight, baseZ
    int64_t windowCells[4];
};

extern TmapGpuCopy tmapGpuCopy;

// Texel of entry index of a table folded to the fold width.
// The width of a table of count entries folded into rows.
inline int tmapGpuTableWidth(int64_t count)
{
    return count < 1 ? 1 : count < tmapGpuCopy.foldWidth ? int(count) : tmapGpuCopy.foldWidth;
}

// Brings the GPU copy up to date before a draw: changed cells and the
// animations' current blocks. Returns the current layer's texture, or 0
// when the current map is not uploaded or no layer is current.
GLuint tmapGpuPrepareDraw();

#endif
