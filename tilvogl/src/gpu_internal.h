// Shared between the shader renderer's sources; not installed.
//   gpu_gl.cpp      the GL function table and the context check
//   gpu_shaders.cpp the one GLSL source of both programs, compiled for the
//                   context's language, and their uniform locations
//   gpu_upload.cpp  tmapGpuUpload, tmapGpuRelease, the GPU copy of the map
//                   and what the model tells it (changed cells, a new map)
//   gpu_graphics.cpp the tile graphics in an array texture, and what their
//                   texels' alpha says
//   gpu_occupancy.cpp which chunks of each layer can show anything
//   gpu_draw.cpp    the draws and the view
//   gpu_faces.cpp   the faces of a window of block columns
#ifndef TILVOGL_GPU_INTERNAL_H
#define TILVOGL_GPU_INTERNAL_H

#include <cstdint>

#include "columns.h"  // TmapColumnCover
#include "facerule.h" // TmapFaceView
#include "gpu_gl.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h" // TmapGpuView

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
    tmapGpuUnitOccupancy, // the current layer's chunks: what their cells may show, R32I
    tmapGpuUnitCount
};

// Uniforms of both programs, by the name they have in the shader source.
#define TMAP_GPU_UNIFORMS(F)                                                                       \
    F(modelviewProjection) F(modelview) F(normalMatrix) F(colour) F(fogEnabled) F(fogDensity)      \
    F(fogColour) F(lightingEnabled) F(lightPosition) F(lightAmbient) F(lightDiffuse)              \
    F(modelAmbient) F(twoSided) F(alphaTest) F(graphics) F(layer) F(blocks) F(anims) F(rises)     \
    F(counts) F(fold) F(firstCell) F(mapWidth) F(graphicField) F(rect) F(z) F(windowSize)        \
    F(occupancy) F(chunkWindow) F(chunkTable) F(showsMask) F(graphicGrid)

struct TmapGpuProgram {
    GLuint name;
#define TMAP_GPU_UNIFORM_FIELD(uniform) GLint uniform;
    TMAP_GPU_UNIFORMS(TMAP_GPU_UNIFORM_FIELD)
#undef TMAP_GPU_UNIFORM_FIELD
    // The view its uniforms hold (a program keeps them while others are
    // used), so that draws under the same view send none of them again.
    bool viewHeld;
    TmapGpuView heldView;
};

// The programs, one for each combination of these bits (the flat ones
// leave the alpha test to a uniform). A software GL runs the code of both
// sides of a branch, so what a draw does not need is left out of its
// program rather than skipped by a uniform.
enum TmapGpuProgramKind {
    tmapGpuAnimated = 1,           // resolves animated cells through the animation table
    tmapGpuColumnsAlphaTested = 2, // columns: discards fragments of alpha 0
    tmapGpuFlatFogless = 2,        // flat: without fog (a fifth of a flat fragment's work)
    tmapGpuFlat = 4,               // the flat program, else the column program
    tmapGpuProgramKinds = 8
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

// What a cell may show, as bits of a chunk of the occupancy tables.
#define TMAP_GPU_SHOWS_GRAPHIC1 1u       // an existing graphic1
#define TMAP_GPU_SHOWS_GRAPHIC1_TEXELS 2u // a graphic1 with a texel of alpha above 0
#define TMAP_GPU_SHOWS_GRAPHIC2 4u
#define TMAP_GPU_SHOWS_GRAPHIC2_TEXELS 8u
#define TMAP_GPU_SHOWS_ALL 15u

// What the alpha of a graphic's texels says.
#define TMAP_GPU_GRAPHIC_VISIBLE 1u // some texel has alpha above 0
#define TMAP_GPU_GRAPHIC_OPAQUE 2u  // every texel has alpha 255

// The chunks of one level of the occupancy tables: square, 1 << shift
// cells wide, row after row, from entry start of the layer's table on.
struct TmapGpuChunkLevel {
    int shift;
    int64_t across, down;
    int64_t start;
};
const int tmapGpuMostChunkLevels = 16;
// A flat draw walks at most this many chunks (one instance each): on
// screen a chunk stays large beside the edges between chunks, which cost a
// software GL time along their length.
const int64_t tmapGpuMostChunksPerDraw = 64;

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
    TmapGpuContext context; // what the context of the upload offers
    GLuint graphics;
    GLuint layers[TMAP_LAYER_COUNT];
    GLuint blocks;
    GLuint anims;
    GLuint rises;
    GLuint vertexArray;  // the flat program's: no attributes
    GLuint faceArray;    // the column program's: the faces below
    GLuint faceBuffer;   // four corners per face of the last block window
    GLuint faceIndices;  // two triangles per face
    GLuint visibleIndices; // those of the faces the last view left in
    TmapGpuProgram programs[tmapGpuProgramKinds]; // by TmapGpuProgramKind bits
    unsigned layersAnimated; // bit k: layer k has animated cells
    int foldWidth;       // texel rows of every table texture are this wide (a power of two)
    int foldShift;       // its base-2 logarithm
    int stackCount;      // most stacked cubes in any column of the map
    int32_t *blockCubes; // stacked cubes of a column starting at each block
    int32_t *animBlocks; // each animation's block as uploaded (-1: none)
    int32_t *animCubes;  // most cubes of any block each animation has shown
    // What hides what (facerule.h): the cover of the column starting at each
    // block, worked out from the graphics as uploaded, and for each
    // animation the cover all the blocks it has shown have.
    TmapColumnCover *blockCovers;
    TmapColumnCover *animCovers;
    float risesCellWidth; // the cube height of the uploaded rises (0: none yet)
    // The graphics: graphicsAcross x graphicsDown of them side by side in
    // each layer of the array texture (1 x 1 unless the GL has fewer array
    // layers than the map has graphics).
    int graphicsAcross;
    int graphicsDown;
    uint8_t *graphicAlpha;  // TMAP_GPU_GRAPHIC_* bits of each graphic
    uint8_t *blockShows;    // TMAP_GPU_SHOWS_* bits of a cell showing each block
    // The occupancy tables: per present layer, the chunks of every level.
    GLuint occupancy[TMAP_LAYER_COUNT];
    int32_t *occupancyBits[TMAP_LAYER_COUNT]; // the same on the host
    int chunkLevelCount;
    TmapGpuChunkLevel chunkLevels[tmapGpuMostChunkLevels];
    // The faces of the last block window, rebuilt when the window, its
    // cells or an animation's tallest column change.
    bool facesValid;
    int facesLayer;
    int64_t facesCells[4]; // across.begin, across.end, down.begin, down.end
    float facesKey[5];     // originX, originY, cellWidth, cellHeight, baseZ
    int64_t faceCount;
    bool facesAnimated;    // some of them are animated cells' 
    int64_t indexedFaces;  // faces the index buffer covers
    // The faces the last view left in, valid while the faces are and the
    // view leaves out the same.
    bool visibleValid;
    TmapFaceView visibleView;
    int64_t visibleFaces;
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

// A table texture of count entries of one or four 32-bit values, folded into
// rows of the fold width, the last row partly filled (gpu_upload.cpp).
GLuint tmapGpuMakeTable(GLint internalFormat, GLenum format, GLenum type, int64_t count, const void *entries,
                        size_t entryBytes);

// The graphics of the current map into copy.graphics, laid out by
// copy.graphicsAcross and graphicsDown, and copy.graphicAlpha
// (gpu_graphics.cpp). Returns false when out of memory.
bool tmapGpuUploadGraphics();

// The graphics the renderer has: those whose pixels the load kept (none
// when the map has no "BGFX" chunk, whatever its header counts).
inline int tmapGpuGraphicCount() { return tmapGraphicPixels != nullptr ? tmapGraphicCount : 0; }

// The block records the renderer uploads: none when the map has no block
// records, whatever count its header gives.
inline int32_t tmapGpuBlockCount() { return tmapBlocks != nullptr ? tmapBlockCount : 0; }

// How graphics of the current map's tile size go into array layers of at
// most maxSize x maxSize texels, maxLayers of them: sets graphicsAcross and
// graphicsDown, or returns false when they do not fit.
bool tmapGpuLayOutGraphics(int maxSize, int maxLayers);

// The occupancy tables (gpu_occupancy.cpp). tmapGpuPlanOccupancy works out
// copy.blockShows (after copy.graphicAlpha) and the levels for the current
// map's size; tmapGpuBuildOccupancy makes a layer's table from its cells,
// and tmapGpuOccupancyChanged brings the chunks of one changed cell up to
// date. The first two return false when out of memory; a layer left
// without a table is drawn as if every chunk showed.
bool tmapGpuPlanOccupancy();
bool tmapGpuBuildOccupancy(int layer);
void tmapGpuOccupancyChanged(int layer, int64_t index);

// The chunks a flat draw of a window of a layer covers, for a draw showing
// the TMAP_GPU_SHOWS_* bits shows: the level, the first chunk's corner in
// cells from the window's first cell, the chunks across and down the
// window, the level's shift, the first chunk's entry in the table and the
// entries from one row of chunks to the next. Work per chunk of the window
// (tmapGpuMostChunksPerDraw at most), none per cell.
struct TmapGpuChunkWindow {
    int level;
    int cornerX, cornerY;
    int across, down;
    int shift;
    int firstEntry;
    int rowEntries;
};
struct TmapSpan;
TmapGpuChunkWindow tmapGpuChunksOfWindow(int layer, unsigned shows, const TmapSpan &across, const TmapSpan &down);

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

// The indices of the faces of the last block window that view leaves in
// (visibleIndices, visibleFaces), worked out again when it leaves out other
// faces than the last view. False when out of memory.
bool tmapGpuSelectFaces(const TmapFaceView &view, const TmapSpan &across, const TmapSpan &down, float baseZ,
                        float cellWidth, float cellHeight);

// Drops the faces of the last block window when they show the cell (index
// into layer), or whatever they show when index is -1.
void tmapGpuDropFaces(int layer, int64_t index);

#endif
