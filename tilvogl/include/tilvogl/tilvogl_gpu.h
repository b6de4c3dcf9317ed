/*
 * TilvoGL shader renderer: the current map drawn through OpenGL 3.3 core,
 * OpenGL ES 3.0 or WebGL 2, whole windows in one draw call.
 *
 * tmapGpuUpload copies the current map to the GL once: every tile graphic
 * into a 2D array texture, each present layer's cells into an integer
 * texture, the block records and the animations' current frames into small
 * tables. The draw operations then draw windows of the current layer with
 * the same window parameters and the same picture as tmapDrawLayer,
 * tmapDrawLayerSecondGraphic and tmapDrawBlocks (mirror flags, stacked
 * columns, caps, clipping at the layer's edges and skipped cells included):
 *   - a flat window is one draw whatever its size: a fragment shader reads
 *     the cell, its animation and block, and the graphic. The draw covers
 *     only the parts of the window that can show something: each layer is
 *     cut into chunks of 8 x 8 cells (and coarser chunks of 32, 128, ...
 *     cells), and a chunk none of whose cells shows a graphic is left out,
 *     at no cost per cell. A cell shows nothing when its value names no
 *     block or its block's graphic does not exist, and, with the view's
 *     alphaTest on, when its graphic has no texel of alpha above 0 (the
 *     empty cells of a layer drawn over others). A cell showing an
 *     animation counts as showing. A draw walks at most 64 chunks, at the
 *     finest size that allows, and covers its window whole where nearly
 *     every chunk shows;
 *   - a window of block columns is one draw of its faces, laid out on the
 *     CPU when the window is first drawn (or its cells change) and kept on
 *     the GPU: four corners a face, in the fixed-function path's order, so
 *     coplanar caps and equal depths resolve the same way. A cell showing an
 *     animation gets the faces of the tallest column its animation has
 *     shown; those its current frame lacks make no fragments.
 * A frame whose map did not change does no work per cell on the CPU: it
 * compares the animations' current frames with the uploaded ones (work per
 * animation). The faces of a block window are laid out again (work per cell
 * and face of the window) only when the window's position, size or scale
 * changes, a cell inside it is changed, or an animation shows a column
 * taller than any it showed before (at most once per height).
 *
 * The map must have been loaded with TMAP_TEXTURES_NONE: the renderer takes
 * the graphics from tmapGraphicPixels, so a map loads without any context
 * and with a core context (where the fixed-function path's texture names
 * cannot be used).
 *
 * Changes the program makes after the upload:
 *   - tmapStepAnims / tmapResetAnims: seen by the next draw, which uploads
 *     only the table of the animations' current blocks (4 bytes an
 *     animation) when it changed;
 *   - tmapSetCell: the next draw uploads that one cell (4 bytes) and the
 *     chunks holding it where they change (4 bytes each); after more than
 *     a few hundred changes between two draws, the changed layer whole;
 *     a cell inside the last block window also has that window's faces laid
 *     out again at its next draw;
 *   - tmapSelectLayer: the next draw uses that layer's texture;
 *   - a new map, or tmapRelease: the draws refuse until the next
 *     tmapGpuUpload, which deletes the old GL objects and makes new ones
 *     (so do tmapGpuRelease and the next tmapMakeCurrent);
 *   - tmapSetAside / tmapMakeCurrent (tilvogl.h, "Several maps"): the copy
 *     belongs to its map and travels with it, so a map made current again
 *     draws at once, without a new upload; tmapReleaseMap deletes it.
 *   - Direct writes into tmapLayers, tmapBlocks or tmapAnimFrames are not
 *     seen: call tmapGpuUpload again.
 *
 * GPU memory: 4 bytes per cell of each present layer (a 32-bit integer
 * texture) and 4 bytes per chunk of it (about 1/15 byte a cell, kept on the
 * host too); tmapTileWidth * tmapTileHeight * 4 bytes per graphic (RGBA, 8
 * bits a channel, no mipmaps); 32 bytes per block record; 4 bytes per
 * animation; 4 bytes per stacked cube of the tallest column; for the last
 * block window, 80 bytes per face (four corners of 20 bytes) and up to 48
 * bytes of indices per face (six of 4 bytes, the index buffer grown by
 * doubling); while the faces are laid out, 80 bytes per face of host
 * memory too.
 * The tables are folded into textures no wider than the GL's largest, so a
 * layer of up to GL_MAX_TEXTURE_SIZE squared cells fits.
 *
 * Limits: the graphics lie in one 2D array texture, a graphic a layer; a map
 * with more graphics than GL_MAX_ARRAY_TEXTURE_LAYERS (as few as 256 on
 * OpenGL 3.3, ES 3.0 and WebGL 2) has as many side by side in each layer as
 * it needs, up to GL_MAX_TEXTURE_SIZE texels across and down, and the
 * shaders keep each sample inside its own graphic, as a texture of its own
 * with GL_CLAMP_TO_EDGE does. Refused by tmapGpuUpload with -1 and
 * TMAP_ERROR_GL_LIMITS: tiles larger than GL_MAX_TEXTURE_SIZE, more graphics
 * than the layers hold side by side, or a table longer than
 * GL_MAX_TEXTURE_SIZE squared entries.
 *
 * GL functions: the renderer calls every GL function through a table it
 * fills at tmapGpuUpload, and calls no fixed-function entry point. The
 * functions are looked up with tmapGpuGetProcAddress when the program set
 * it (glfwGetProcAddress and eglGetProcAddress have its type; SDL2's
 * SDL_GL_GetProcAddress returns void * and takes a wrapper:
 *     static TmapGpuProc sdlProc(const char *name)
 *     {
 *         TmapGpuProc proc;
 *         void *address = SDL_GL_GetProcAddress(name);
 *         memcpy(&proc, &address, sizeof proc);
 *         return proc;
 *     }
 * ). Otherwise the library looks them up itself:
 * on Windows with wglGetProcAddress, which needs the context current, and
 * then among opengl32.dll's exports for the OpenGL 1.1 functions, so a WGL
 * context needs nothing set (a context of another API, such as EGL, does);
 * elsewhere among the process's loaded libraries by name (dlsym: on Linux,
 * Mesa's libGL, libGLESv2 and libOSMesa export every GL 3 function, and on
 * macOS the OpenGL framework exports the core profile's). A function that
 * cannot be found makes tmapGpuUpload fail with TMAP_ERROR_NO_GL_CONTEXT.
 * Under Emscripten the functions are WebGL 2's, linked directly. Grouped
 * drawing (tmapDrawOrder) finds glMultiDrawArrays the same way.
 *
 * GL state: blending, the depth test, range and function, culling, the
 * front-face winding and the viewport are the caller's and are not touched.
 * A draw leaves its own program, vertex array object and textures bound (on
 * texture units 0 to 4, with unit 0 active); a program that also draws with
 * its own GL code binds its own again. Drawing needs the context current at
 * the upload, or one sharing objects with it.
 *
 * No GL error is left set by any call: bad input is refused before the GL
 * is called. tmapGpuUpload reads (and so clears) the GL error state to
 * detect the GL running out of memory.
 *
 * Drawing-thread only, like the rest of the library but decoding into a
 * handle. Nothing is printed.
 */
#ifndef TILVOGL_TILVOGL_GPU_H
#define TILVOGL_TILVOGL_GPU_H

#include "tilvogl.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How a draw sees the scene: what the fixed-function program sets with
 * glLoadMatrix, glColor, glFog and glLight. Fill it with tmapGpuViewDefaults
 * (GL's initial state) and change what the scene sets. Read at each draw,
 * not kept. */
typedef struct TmapGpuView {
    /* Column-major 4 x 4 matrices, as glLoadMatrixf takes them (with glm:
     * glm::value_ptr(matrix)). Vertices are transformed by modelview, then
     * by projection. */
    float projection[16];
    float modelview[16];

    /* The colour that modulates the texels when lighting is off, as the
     * current glColor4f with GL_MODULATE: alpha included (a 0.7 here makes
     * a blended layer 70 % opaque). Ignored when lighting is on, as with
     * GL_COLOR_MATERIAL off. */
    float colour[4];

    /* Exponential fog (GL_FOG_MODE GL_EXP): the fragment's colour becomes
     * f * colour + (1 - f) * fogColour, f = exp(-fogDensity * |z|) with z
     * the fragment's eye-space depth, clamped to 0..1; alpha is not
     * fogged. */
    int fogEnabled;
    float fogDensity;
    float fogColour[4]; /* red, green, blue; alpha unused */

    /* One light (GL_LIGHT0) on GL's default material (ambient 0.2, diffuse
     * 0.8, no specular or emission), computed per vertex as the fixed
     * function does: colour = modelAmbient * 0.2 + lightAmbient * 0.2 +
     * max(N . L, 0) * lightDiffuse * 0.8, each channel clamped to 0..1,
     * alpha 1; the texels are multiplied by it. N is the face's normal (the
     * fixed-function path's normals) times the inverse transpose of the
     * modelview, not renormalised (as with GL_NORMALIZE off). */
    int lightingEnabled;
    /* In eye coordinates: what glLightfv(GL_LIGHT0, GL_POSITION, p) stores,
     * p times the modelview in force at that call (with glm:
     * modelviewAtThatCall * p). w 0: a directional light from direction
     * xyz; otherwise a point light at xyz / w, without attenuation. */
    float lightPosition[4];
    float lightAmbient[4];
    float lightDiffuse[4];
    float modelAmbient[4]; /* GL_LIGHT_MODEL_AMBIENT */
    /* GL_LIGHT_MODEL_TWO_SIDE: faces seen from the back (by the winding
     * glFrontFace selects) are lit with the normal reversed. */
    int twoSided;

    /* Discard fragments whose final alpha is 0, as glAlphaFunc(GL_GREATER,
     * 0) with GL_ALPHA_TEST enabled does (core profiles have no alpha
     * test). A layer blended with GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA
     * without depth writes looks the same with it on, and its flat draws
     * then leave out the chunks whose graphics are all clear. */
    int alphaTest;
} TmapGpuView;

/* Fills a view with GL's initial state: identity matrices, colour
 * (1, 1, 1, 1), fog off (density 1, colour 0, 0, 0, 0), lighting off with
 * light 0's initial values (position (0, 0, 1, 0), ambient (0, 0, 0, 1),
 * diffuse (1, 1, 1, 1)), model ambient (0.2, 0.2, 0.2, 1), one-sided, no
 * alpha test. */
void tmapGpuViewDefaults(TmapGpuView *view);

/* A GL function's address by name, or NULL; see "GL functions" above. NULL
 * (the initial value) looks the names up in the loaded libraries. */
typedef void (*TmapGpuProc)(void);
extern TMAP_DATA TmapGpuProc (*tmapGpuGetProcAddress)(const char *name);

/* Copies the current map to the GL of the current context, deleting what
 * an earlier upload made first. Needs a map loaded with TMAP_TEXTURES_NONE
 * and a context of OpenGL 3.3 or newer (core or compatibility), OpenGL ES
 * 3.0 or newer, or WebGL 2. The graphics sample with tmapTextureFilter
 * (as it is at this call) and GL_CLAMP_TO_EDGE, as the fixed-function
 * path's textures do.
 *
 * Returns 0, or -1 with nothing uploaded and, with no GL call:
 *   - TMAP_ERROR_NO_MAP when no map is current (a map without layers,
 *     blocks or graphics, such as an empty form or a header alone, uploads:
 *     a window of it shows nothing, and with no layer current the draws
 *     refuse as below);
 *   - TMAP_ERROR_TEXTURE_MODE when it was not loaded with
 *     TMAP_TEXTURES_NONE;
 *   - TMAP_ERROR_INVALID_ARGUMENT, with no GL call, when
 *     tmapTextureFilter is neither GL_LINEAR nor GL_NEAREST;
 *   - TMAP_ERROR_NO_GL_CONTEXT when no context is current, it is older
 *     than the versions above, or a GL function cannot be found;
 *   - TMAP_ERROR_SHADER when the GL refuses to compile or link one of the
 *     renderer's programs (a driver's fault, or a GL that lacks what
 *     GLSL 3.30 or GLSL ES 3.00 promises): tmapGpuShaderLog says which and
 *     why;
 *   - TMAP_ERROR_GL_LIMITS when the map exceeds the context's limits (see
 *     "Limits" above);
 *   - TMAP_ERROR_OUT_OF_MEMORY when the GL or the heap ran out of memory. */
int tmapGpuUpload(void);

/* Why the last tmapGpuUpload failed with TMAP_ERROR_SHADER: which shader
 * (vertex or fragment) or link of which of the renderer's programs, then
 * the GL's info log as the driver wrote it (it may run over several lines,
 * cut at 8 KiB). "" after any other upload. The text is the library's,
 * valid until the next tmapGpuUpload. */
const char *tmapGpuShaderLog(void);

/* The draws: the window of tmapDrawLayer, tmapDrawLayerSecondGraphic and
 * tmapDrawBlocks (same parameters, same meaning, same clipping to the layer
 * and skipping of cells that name no existing block or graphic), seen
 * through view. Each is one GL draw call, or none when the window holds no
 * cell of the layer.
 *
 * Return 0 (also when nothing was inside the layer), or -1 with nothing
 * drawn and no GL call made: TMAP_ERROR_INVALID_ARGUMENT when view is
 * NULL; TMAP_ERROR_NOT_UPLOADED when the current map was not uploaded
 * (nothing uploaded yet, tmapGpuRelease called, or a new map or tmapRelease
 * since the upload); TMAP_ERROR_NO_MAP when no layer is current.
 * tmapGpuDrawBlocks also refuses, with nothing drawn, a window of
 * more than 357 913 941 faces (six indices a face counted by a 32-bit
 * integer; TMAP_ERROR_GL_LIMITS) and one whose faces do not fit the host's
 * memory (TMAP_ERROR_OUT_OF_MEMORY). */
int tmapGpuDrawLayer(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
                     float originX, float originY, float z, float cellWidth, float cellHeight);

/* As tmapGpuDrawLayer, with each block's graphic2. */
int tmapGpuDrawLayerSecondGraphic(const TmapGpuView *view, int cellX, int cellY, int columns,
                                  int rows, float originX, float originY, float z,
                                  float cellWidth, float cellHeight);

/* Which faces tmapGpuDrawBlocks draws: TMAP_FACES_VISIBLE (the initial
 * value) leaves out the faces the view cannot show, as tmapDrawFaces does
 * for tmapDrawBlocks (tilvogl.h): faces the GL culls, and faces inside
 * solids while the view lets them be left out. The renderer reads the
 * culling, depth, blending, stencil, polygon mode and depth clamp state
 * from the GL at each block draw (glIsEnabled, glGetIntegerv,
 * glGetFloatv), the matrices and the alpha test from the view. It keeps the
 * faces' order, leaving some out of a second index buffer that it writes
 * again when the view leaves out other faces: when the eye moves into
 * another cell or cube of the window, or the state changes (up to 24 bytes
 * per face of GPU memory). TMAP_FACES_ALL draws every face. */
extern TMAP_DATA int tmapGpuDrawFaces;

/* Block columns standing on z = baseZ, as tmapDrawBlocks draws them. The
 * caps and side faces are always textured (fixed-function side faces enable
 * GL_TEXTURE_2D; here the caps need no glEnable before the call either). */
int tmapGpuDrawBlocks(const TmapGpuView *view, int cellX, int cellY, int columns, int rows,
                      float originX, float originY, float baseZ, float cellWidth,
                      float cellHeight);

/* Deletes every GL object the renderer made; they must belong to the
 * current context (or one sharing with it). Safe to call at any time, also
 * with nothing uploaded; tmapRelease does not call it, since it needs no
 * context. */
void tmapGpuRelease(void);

#ifdef __cplusplus
}
#endif

#endif /* TILVOGL_TILVOGL_GPU_H */
