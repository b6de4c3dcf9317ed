// Shared between the shader renderer's sources; not installed.
//   gpu_gl.cpp      the GL function table and the context check
//   gpu_shaders.cpp the one GLSL source of both programs, compiled for the
//                   context's language, and their uniform locations
//   gpu_upload.cpp  tmapGpuUpload, tmapGpuRelease, the GPU copy of the map
//                   and what the model tells it (changed cells, a new map)
//   gpu_draw.cpp    the draws and the view
//   gpu_faces.cpp   the faces of a window of block columns
#ifndef TILVOGL_GPU_INTERNAL_H
#define TILVOGL_GPU_INTERNAL_H

#include <cstdint>

#include "gpu_gl.h"
#include "tilvogl/tilvogl.h"

// Texels per block record in the blocks table: graphics 1 and 2, the flags
// and the cubes of a column starting at it; then graphics 3 and 4.
const int tmapGpuBlockTexels = 2;

// Texture units, the same in both programs.
enum TmapGpuUnit {
    tmapGpuUnitGraphics, // 2D array texture, one layer per tile graphic
    tmapGpuUnitLayer,    // the current layer's cells, R32I
    tmapGpuUnitBlocks,   // two RGBA32I texels per block record
    tmapGpuUnitAnims,    // each animation's current block, R32I
    tmapGpuUnitRises,    // the bottom of each stacked cube above the ground, R32F
    tmapGpuUnitCount
};

// Uniforms of both programs, by the name they have in the shader source.
#define TMAP_GPU_UNIFORMS(F)                                                                       \
    F(modelviewProjection) F(modelview) F(normalMatrix) F(colour) F(fogEnabled) F(fogDensity)      \
    F(fogColour) F(lightingEnabled) F(lightPosition) F(lightAmbient) F(lightDiffuse)              \
    F(modelAmbient) F(twoSided) F(alphaTest) F(graphics) F(layer) F(blocks) F(anims) F(rises)     \
    F(counts) F(fold) F(firstCell) F(mapWidth) F(graphicField) F(rect) F(z) F(windowSize)

struct TmapGpuProgram {
    GLuint name;
#define TMAP_GPU_UNIFORM_FIELD(uniform) GLint uniform;
    TMAP_GPU_UNIFORMS(TMAP_GPU_UNIFORM_FIELD)
#undef TMAP_GPU_UNIFORM_FIELD
};

// The programs, one for each combination of these bits (the flat ones
// leave the alpha test to a uniform).
enum TmapGpuProgramKind {
    tmapGpuAnimated = 1,           // resolves animated cells through the animation table
    tmapGpuColumnsAlphaTested = 2, // discards fragments of alpha 0
    tmapGpuFlat = 4,               // the flat program, else the column program
    tmapGpuProgramKinds = 6
};

// Vertex attributes of the column program.
enum TmapGpuAttribute { tmapGpuAttributePosition, tmapGpuAttributeFace };

// Compiles and links one program for the context's shading language.
// Returns TMAP_ERROR_NONE, or (making nothing) TMAP_ERROR_SHADER with the
// GL's log kept for tmapGpuShaderLog when the GL refuses the source, or
// TMAP_ERROR_NO_GL_CONTEXT when it gives no shader or program at all.
int tmapGpuBuildProgram(int kind, bool embedded, TmapGpuProgram &program);

// Empties the log of the last refused shader (at every upload).
void tmapGpuForgetShaderLog();

// One corner of a face of the last block window, as the column program
// reads it. A face whose cell shows an animation is resolved by the shader
// at each draw, from the animation's current block; any other face is
// resolved here when the window's faces are built.
struct TmapGpuCorner {
    float x, y, z;   // z of an animated cell's cap is the shader's
    int32_t graphic; // the graphic, or -(animation + 1) for an animated cell
    int32_t details; // TMAP_GPU_CORNER_* bits; the cube, for animated cells
};
#define TMAP_GPU_CORNER_U 1          // texture coordinate s is 1 (caps: before mirroring)
#define TMAP_GPU_CORNER_V 2          // texture coordinate t is 1
#define TMAP_GPU_CORNER_KIND_SHIFT 2 // 0 to 3: sides (as graphics 1 to 4), 4: upper cap, 5: lower cap
#define TMAP_GPU_CORNER_CUBE_SHIFT 5

// A cell changed by tmapSetCell since the last draw.
struct TmapGpuChangedCell {
    int layer;
    int64_t index;
};
// Changed cells sent one by one; more than this, and their layers are sent whole.
const int tmapGpuChangedCellCapacity = 256;

// The GPU copy of the current map. It belongs to the map: a map set aside
// takes it along by value (maps.cpp), so whatever a field holds travels.
struct TmapGpuCopy {
    bool uploaded;       // objects exist (they may belong to an older map)
    bool current;        // and they hold the current map
    GLuint graphics;
    GLuint layers[TMAP_LAYER_COUNT];
    GLuint blocks;
    GLuint anims;
    GLuint rises;
    GLuint vertexArray;  // the flat program's: no attributes
    GLuint faceArray;    // the column program's: the faces below
    GLuint faceBuffer;   // four corners per face of the last block window
    GLuint faceIndices;  // two triangles per face
    TmapGpuProgram programs[tmapGpuProgramKinds]; // by TmapGpuProgramKind bits
    unsigned layersAnimated; // bit k: layer k has animated cells
    int foldWidth;       // texel rows of every table texture are this wide (a power of two)
    int foldShift;       // its base-2 logarithm
    int stackCount;      // most stacked cubes in any column of the map
    int32_t *blockCubes; // stacked cubes of a column starting at each block
    int32_t *animBlocks; // each animation's block as uploaded (-1: none)
    int32_t *animCubes;  // most cubes of any block each animation has shown
    float risesCellWidth; // the cube height of the uploaded rises (0: none yet)
    // The faces of the last block window, rebuilt when the window, its
    // cells or an animation's tallest column change.
    bool facesValid;
    int facesLayer;
    int64_t facesCells[4]; // across.begin, across.end, down.begin, down.end
    float facesKey[5];     // originX, originY, cellWidth, cellHeight, baseZ
    int64_t faceCount;
    bool facesAnimated;    // some of them are animated cells' 
    int64_t indexedFaces;  // faces the index buffer covers
    // Cells changed since the last draw (tmapGpuChangedCellCapacity entries,
    // allocated by the upload), and bit k: layer k is sent whole.
    TmapGpuChangedCell *changedCells;
    int changedCellCount;
    unsigned changedLayersWhole;
};

extern TmapGpuCopy tmapGpuCopy;

// Deletes a copy's GL objects when a context is current (else only forgets
// them) and frees its host memory, leaving it empty. For copies of maps set
// aside and left behind by a released map.
void tmapGpuReleaseCopy(TmapGpuCopy &copy);

// The width of a table of count entries folded into rows.
inline int tmapGpuTableWidth(int64_t count)
{
    return count < 1 ? 1 : count < tmapGpuCopy.foldWidth ? int(count) : tmapGpuCopy.foldWidth;
}

// Brings the GPU copy up to date before a draw: changed cells and the
// animations' current blocks. Returns the current layer's texture and sets
// layer to its number, or returns 0 when the current map is not uploaded or
// no layer is current.
GLuint tmapGpuPrepareDraw(int &layer);

// The faces of a window of block columns (gpu_faces.cpp): built into the
// face buffer when the window differs from the last one drawn or its faces
// were dropped. Returns false, with tmapError set, when they cannot be.
struct TmapSpan;
bool tmapGpuBuildFaces(int layer, const TmapSpan &across, const TmapSpan &down, float baseZ, float cellWidth,
                       float cellHeight);

// Drops the faces of the last block window when they show the cell (index
// into layer), or whatever they show when index is -1.
void tmapGpuDropFaces(int layer, int64_t index);

#endif
