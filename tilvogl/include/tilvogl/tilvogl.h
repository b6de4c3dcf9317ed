/*
 * TilvoGL: tile-map playback for OpenGL.
 *
 * The library holds one current map in process-wide variables. A map file
 * ("FORM"/"FMAP" chunked binary) is read whole by tmapLoadFile, decoded into
 * the variables below, and its tile graphics become OpenGL textures, so an
 * OpenGL context must be current while a map is loaded. Programs read the
 * variables directly and never free anything: the library owns every array
 * and frees it in tmapRelease or when the next load replaces the map.
 *
 * Everything runs on one thread; nothing here is reentrant, except decoding
 * into a handle (tmapLoadFileAside, tmapDecodeBufferAside: "Several maps"
 * below), which runs on any thread.
 *
 * Operations return 0 (or a non-negative result) on success and -1 on
 * failure; the loader leaves the reason in tmapError. Nothing is printed.
 *
 * The map file is treated as untrusted input: a malformed file is refused
 * with -1 and an error code, never read outside its bytes. Cells, frames and
 * block indices that do not name an existing record (a damaged map, or a bad
 * value passed to tmapSetCell) are never followed: tmapBlockAt returns NULL
 * for them and the draw operations skip such cells.
 */
#ifndef TILVOGL_TILVOGL_H
#define TILVOGL_TILVOGL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the library's variables. A program that links the Windows DLL
 * (tilvogl.dll) defines TILVOGL_DLL, as the CMake target tilvogl::tilvogl
 * and the pkg-config module tilvogl do for it, and reaches them through the
 * DLL's import table (MinGW's linker finds them without it too; Visual C++
 * does not). Empty with the static library and on other systems. */
#if defined(_WIN32) && defined(TILVOGL_DLL)
#define TMAP_DATA __declspec(dllimport)
#else
#define TMAP_DATA
#endif

/* The library's version, the one place the build takes it from: the one the
 * program was compiled against here, the one it runs against from
 * tmapVersion. */
#define TMAP_VERSION_MAJOR 1
#define TMAP_VERSION_MINOR 0
#define TMAP_VERSION_PATCH 0

/* MAJOR * 10000 + MINOR * 100 + PATCH of the library the program runs
 * against (compare with TMAP_VERSION_MAJOR etc. to detect a mismatch). */
int tmapVersion(void);

#define TMAP_LAYER_COUNT 8

/* Values of tmapError. */
#define TMAP_ERROR_NONE 0
#define TMAP_ERROR_OUT_OF_MEMORY 1
#define TMAP_ERROR_NOT_A_MAP 2
#define TMAP_ERROR_CANNOT_OPEN 3
#define TMAP_ERROR_UNSUPPORTED_HEADER 4
#define TMAP_ERROR_NO_GL_CONTEXT 5 /* "no usable OpenGL context" */
#define TMAP_ERROR_GL_LIMITS 6     /* the map does not fit the GL's limits */
#define TMAP_ERROR_INVALID_ARGUMENT 7 /* an unknown firstTexture or tmapTextureFilter, a NULL view */
#define TMAP_ERROR_BAD_HANDLE 8      /* a NULL or released map handle */
#define TMAP_ERROR_ALREADY_CURRENT 9 /* the map made current is current already */
#define TMAP_ERROR_NOT_UPLOADED 10   /* the current map is not uploaded to the GL */
#define TMAP_ERROR_NO_MAP 11         /* no current map, or no current layer */
#define TMAP_ERROR_TEXTURE_MODE 12   /* the map was not loaded with TMAP_TEXTURES_NONE */
#define TMAP_ERROR_SHADER 13         /* the GL refused a shader renderer's program (tmapGpuShaderLog) */

/* firstTexture values of tmapLoadFile and tmapDecode* that ask for something
 * other than caller-chosen texture names (any value >= 0 is the name of
 * graphic 0, as always):
 * TMAP_TEXTURES_NONE      defines no GL texture and makes no GL call at all;
 *                         the graphics' RGBA pixels are kept in
 *                         tmapGraphicPixels. Needs no GL context.
 * TMAP_TEXTURES_GENERATED the library makes the names with glGenTextures,
 *                         so no texture of the program's is touched, keeps
 *                         them in tmapTextureNames and deletes them
 *                         (glDeleteTextures) in tmapRelease and when the next
 *                         load replaces the map. The choice for new programs.
 * Any other negative value is refused: -1, TMAP_ERROR_INVALID_ARGUMENT. */
#define TMAP_TEXTURES_NONE (-1)
#define TMAP_TEXTURES_GENERATED (-2)

/* Block flags. */
#define TMAP_FLAG_STACKED 0x20u /* the next record of tmapBlocks stands on this one (3D) */
#define TMAP_FLAG_MIRROR_S 0x40u /* caps and flat quads mirrored left-right */
#define TMAP_FLAG_MIRROR_T 0x80u /* caps and flat quads mirrored top-bottom */

/* One block record of the map. A graphic index g names the texture
 * tmapFirstTexture + g. The user fields are carried unchanged for programs. */
typedef struct TmapBlock {
    int32_t graphic1;
    int32_t graphic2;
    int32_t graphic3;
    int32_t graphic4;
    uint32_t userLong1;
    uint32_t userLong2;
    uint16_t userShort1;
    uint16_t userShort2;
    uint8_t userByte1;
    uint8_t userByte2;
    uint8_t userByte3;
    uint8_t flags; /* bit for bit as stored, 0x01 to 0x80 */
} TmapBlock;

/* One block animation. current, start and end index tmapAnimFrames; the
 * frames are tmapAnimFrames[start] to tmapAnimFrames[end - 1].
 * Modes: 0 still, 1 loop forward, 2 loop backward, 3 play once (9 when
 * finished), 4 play once and hold the last frame, 5/8 ping-pong starting
 * forward, 6/7 ping-pong starting backward; any other value never moves. */
typedef struct TmapAnim {
    int32_t mode;
    int32_t delay;     /* a frame change happens every delay + 1 ticks */
    int32_t countdown; /* ticks left before the next frame change */
    int32_t user;      /* carried from the file, never read */
    int32_t current;
    int32_t start;
    int32_t end;
} TmapAnim;

/* ---- The current map. All start at zero or NULL. ---- */

extern TMAP_DATA int tmapError; /* last loader error, one of TMAP_ERROR_* */

/* Where a decode failed: the tag of the chunk being decoded ("" when the
 * failure was not inside a chunk) and the chunk's byte offset in the file
 * (-1 when none; 64 bits on every system, for offsets past 2 GiB where a
 * long has 32). Set together with tmapError. */
extern TMAP_DATA char tmapErrorChunk[5];
extern TMAP_DATA int64_t tmapErrorOffset;

/* Why the file could not be opened, when tmapError is 3: the system's error
 * number (errno: no such file, permission denied, is a directory, ...) at
 * the failed open or first read; 0 when the system gave none. Set by
 * tmapLoadFile; strerror turns it into text. On Windows it is the C
 * runtime's errno too (ENOENT, EACCES, ...), and EILSEQ for a path that is
 * not UTF-8. */
extern TMAP_DATA int tmapErrorSystem;

/* Header values ("MPHD"): 16-bit unsigned numbers held in ints. */
extern TMAP_DATA int tmapWidth;           /* map size in cells */
extern TMAP_DATA int tmapHeight;
extern TMAP_DATA int tmapTileWidth;       /* tile graphic size in pixels */
extern TMAP_DATA int tmapTileHeight;
extern TMAP_DATA int tmapDepth;           /* colour depth in bits: 8, 15, 16, 24 or 32 */
extern TMAP_DATA int tmapBlockRecordSize; /* bytes per block record in the file */
extern TMAP_DATA int tmapBlockCount;      /* number of block records */
extern TMAP_DATA int tmapGraphicCount;    /* number of tile graphics */
extern TMAP_DATA int tmapLittleEndian;    /* 1 if the map's numbers are little-endian */

extern TMAP_DATA unsigned char *tmapColourMap; /* "CMAP": red, green, blue per entry */
extern TMAP_DATA int tmapColourMapSize;        /* bytes in tmapColourMap */

extern TMAP_DATA TmapBlock *tmapBlocks; /* tmapBlockCount records, or NULL */

extern TMAP_DATA int tmapAnimCount;        /* records in tmapAnims */
extern TMAP_DATA TmapAnim *tmapAnims;
extern TMAP_DATA int32_t *tmapAnimFrames;  /* the frame list: block indices */
extern TMAP_DATA int tmapAnimFrameCount;   /* entries in tmapAnimFrames */

/* Layers 0 ("BODY") to 7 ("LYR1".."LYR7"), each tmapWidth x tmapHeight cell
 * values, cell (x, y) at index x + y * tmapWidth; NULL where absent.
 * A cell value >= 0 is a block index; -(n + 1) shows animation n. */
extern TMAP_DATA int32_t *tmapLayers[TMAP_LAYER_COUNT];
/* Row tables built by tmapBuildRowTables: entry y points at cell (0, y). */
extern TMAP_DATA int32_t **tmapLayerRows[TMAP_LAYER_COUNT];
extern TMAP_DATA int32_t *tmapCurrentLayer;  /* borrowed from tmapLayers, or NULL */
extern TMAP_DATA int32_t **tmapCurrentRows;  /* borrowed from tmapLayerRows, or NULL */

extern TMAP_DATA int tmapFirstTexture;           /* texture name of graphic 0, or TMAP_TEXTURES_* */

/* With TMAP_TEXTURES_NONE: every tile graphic converted to RGBA, 8 bits a
 * channel (red, green, blue, alpha in that byte order), graphic after graphic:
 * graphic g starts at byte g * tmapTileWidth * tmapTileHeight * 4, its first
 * stored row first, rows tmapTileWidth * 4 bytes apart with no padding.
 * NULL in the other modes and when the map has no graphics. Owned by the
 * library: freed by tmapRelease and by the next load. */
extern TMAP_DATA unsigned char *tmapGraphicPixels;
extern TMAP_DATA unsigned int tmapTextureFormat; /* GL format of tile textures, GL_RGBA */

/* With TMAP_TEXTURES_GENERATED: the texture name of each graphic,
 * tmapGraphicCount entries (graphic g is tmapTextureNames[g]); NULL in the
 * other modes and when the map has no graphics. Owned by the library. */
extern TMAP_DATA unsigned int *tmapTextureNames;

/* Magnification and minification filter of the tile textures, read by each
 * load: GL_LINEAR (0x2601, the initial value) or GL_NEAREST (0x2600, crisp
 * pixel art when a texel covers several pixels). Any other value makes the
 * load fail with TMAP_ERROR_INVALID_ARGUMENT. Set it before loading. */
extern TMAP_DATA unsigned int tmapTextureFilter;

/* Texture coordinates (s, t) of the four corners of a cell quad, in the
 * order (x, y), (x + w, y), (x + w, y + h), (x, y + h); the set is chosen by
 * (flags >> 6) & 3: as stored, mirrored in s, mirrored in t, both. */
extern TMAP_DATA const float tmapTexCoordSets[4][4][2];

/* ---- Loading ---- */

/* Loads a map file and makes it the current map. The path is passed to the
 * system as it is; on Windows it is read as UTF-8 (any file name Windows
 * allows, whatever the ANSI code page), with "\" or "/" between folders.
 * The file is read as binary everywhere. firstTexture says where the tile
 * graphics go: with a value >= 0, into the textures firstTexture ..
 * firstTexture + tmapGraphicCount - 1, names the caller keeps free and that
 * the library neither generates nor deletes; or TMAP_TEXTURES_GENERATED or
 * TMAP_TEXTURES_NONE (above). Afterwards layer 0 is current when the map
 * has one ("BODY"); otherwise no layer is, until tmapSelectLayer.
 *
 * Returns 0, or -1 with tmapError set. Codes 2 (not readable) and 3 (cannot
 * open) for the file's first bytes, and 1 for its buffer, keep the previous
 * map; a failure while decoding leaves no map.
 *
 * A load that makes GL textures needs a current OpenGL context that keeps
 * the fixed-function texture state: a compatibility profile or a version
 * before 3.2 (not a core profile, a forward-compatible context or OpenGL ES).
 * Without one the load fails with TMAP_ERROR_NO_GL_CONTEXT before it defines
 * anything, leaving no GL error set. To find out, the load asks
 * glGetString(GL_VERSION) and, from version 3.0 on, glGetIntegerv
 * (GL_CONTEXT_FLAGS, and GL_CONTEXT_PROFILE_MASK from 3.2 on); it does so
 * before each load that makes textures, and these queries are its only GL
 * calls besides the ones listed under "What loading does to GL" below. */
int tmapLoadFile(const char *path, int firstTexture);

/* Decodes a whole form image in memory. The image must hold the complete
 * form: the L + 8 bytes that its own length field L claims. Clears
 * tmapError first. Returns 0, or -1 with tmapError set and no map. */
int tmapDecode(const unsigned char *image, int firstTexture);

/* As tmapDecode, for an image of size bytes whose contents are not trusted:
 * nothing outside image[0 .. size - 1] is read, and a form that claims more
 * bytes than size is refused with code 2. */
int tmapDecodeBuffer(const unsigned char *image, size_t size, int firstTexture);

/* Frees the current map and the draw operations' scratch memory, and deletes
 * the textures of a TMAP_TEXTURES_GENERATED load (call it while that load's
 * context is current). Caller-chosen textures are left as they are. A
 * current map made current from a handle is freed with its handle
 * (tmapReleaseMap). Every variable above is then zero or NULL. Safe to call
 * at any time. */
void tmapRelease(void);

/* A short English text for an error code: "no error", "out of memory",
 * "not a readable map file", "file could not be opened",
 * "unsupported map header", "no usable OpenGL context",
 * "map exceeds the OpenGL limits", "invalid argument", "not a map handle",
 * "map is already current", "map not uploaded to the GL",
 * "no current map or layer", "map not loaded with TMAP_TEXTURES_NONE",
 * "a shader did not compile or link";
 * "unknown error" for any other value. */
const char *tmapErrorString(int code);

/* ---- Several maps ----
 *
 * A map can be set aside into a handle and made current again later, so a
 * program holds as many maps as it likes (levels, a menu backdrop, a
 * minimap, the next level loading) and switches between them. A switch
 * copies a fixed set of pointers and numbers between the variables above and
 * the handle: it decodes nothing, copies no cell or pixel, allocates nothing
 * and makes no GL call, whatever the maps' sizes. Everything that belongs to
 * a map travels with it: the header values and arrays, the animation state
 * (a map set aside does not advance: tmapStepAnims steps the current map
 * only, and a map made current again resumes where it stood), the current
 * layer and the row tables, the textures (caller-chosen or generated names,
 * or the kept pixels), the shader renderer's copy (tilvogl_gpu.h) and the
 * order grouped drawing keeps. Settings that are not a map's stay as they
 * are: tmapDrawOrder, tmapTextureFilter, tmapError, tmapGpuGetProcAddress.
 *
 * A map can also be decoded straight into a handle, on any thread, while
 * the drawing thread goes on with the current map (tmapLoadFileAside,
 * tmapDecodeBufferAside). Such a decode writes no process-wide variable and
 * makes no GL call; several can run at once. Its GL part happens on the
 * drawing thread, at the first tmapMakeCurrent of the handle: the textures
 * of a map decoded with firstTexture >= 0 or TMAP_TEXTURES_GENERATED are
 * defined there (the calls of "What loading does to GL" below, with
 * tmapTextureFilter as it is at that call), which needs a context that
 * takes them. For the shader renderer, decode with TMAP_TEXTURES_NONE and
 * call tmapGpuUpload once after the first tmapMakeCurrent; the GPU copy then
 * travels with the map.
 *
 * Every other operation of the library is for the drawing thread alone, as
 * before. A handle is used by one thread at a time: a worker hands it over
 * once its decode returned.
 *
 * The handle holds its map from the moment it is returned until
 * tmapReleaseMap (or tmapRelease while it is current). Loading with
 * tmapLoadFile or tmapDecode* never frees a map that has a handle: a
 * current map that has one is set aside into it first. */
typedef struct TmapMap TmapMap;

/* Where and why a decode into a handle failed: the values that tmapError,
 * tmapErrorChunk, tmapErrorOffset and tmapErrorSystem hold after a failed
 * tmapLoadFile, for the caller alone. */
typedef struct TmapLoadError {
    int code;      /* TMAP_ERROR_*, TMAP_ERROR_NONE after a success */
    char chunk[5]; /* tag of the chunk being decoded, "" when none */
    int64_t offset; /* that chunk's byte offset in the file, -1 when none */
    int system;    /* errno of a failed open or read, 0 when none */
} TmapLoadError;

/* Reads and decodes a map file into a new handle, as tmapLoadFile would,
 * without touching the current map or any other process-wide variable and
 * without a GL call: safe on any thread, several at once. Returns the
 * handle, or NULL with *error filled (error may be NULL when the reason is
 * not wanted): a malformed file is refused with its reason as tmapLoadFile
 * refuses it. firstTexture is as for tmapLoadFile; an unknown value is
 * refused (TMAP_ERROR_INVALID_ARGUMENT). The map is set aside: make it
 * current with tmapMakeCurrent. */
TmapMap *tmapLoadFileAside(const char *path, int firstTexture, TmapLoadError *error);

/* As tmapLoadFileAside, from an image of size bytes in memory (untrusted,
 * as for tmapDecodeBuffer). The caller keeps and frees the image. */
TmapMap *tmapDecodeBufferAside(const unsigned char *image, size_t size, int firstTexture,
                               TmapLoadError *error);

/* Sets the current map aside: returns its handle and leaves no current map
 * (every variable above as at the start: zero or NULL). A map that was made
 * current from a handle goes back into that handle, which is returned; a
 * map loaded with tmapLoadFile or tmapDecode* gets a new handle (the one
 * allocation of this API outside decoding). Returns NULL with tmapError set
 * when no map is current (TMAP_ERROR_NO_MAP) or the handle cannot be
 * allocated (TMAP_ERROR_OUT_OF_MEMORY); the current map then stays. */
TmapMap *tmapSetAside(void);

/* Makes a map current. The map current until then is set aside into its
 * handle when it has one, and otherwise released as a new load would
 * release it (set it aside first to keep it). Returns 0, or -1 with
 * tmapError set and nothing changed:
 *   - TMAP_ERROR_BAD_HANDLE for NULL or a released handle;
 *   - TMAP_ERROR_ALREADY_CURRENT when the map is the current one;
 *   - at the first tmapMakeCurrent of a map decoded with GL textures:
 *     TMAP_ERROR_NO_GL_CONTEXT when no current context takes them (as for
 *     tmapLoadFile), TMAP_ERROR_INVALID_ARGUMENT for an unknown
 *     tmapTextureFilter, TMAP_ERROR_OUT_OF_MEMORY.
 * Any later switch makes no GL call and cannot fail for a live handle. */
int tmapMakeCurrent(TmapMap *map);

/* Frees a map and its handle, wherever it is: set aside, or current (then as
 * tmapRelease). With its context current, its GL objects are deleted too:
 * the generated textures and the shader renderer's objects (without one,
 * they are left to the context; caller-chosen textures are never deleted).
 * A map that was never made current has no GL object, and may be released
 * on any thread. NULL and released handles are ignored. */
void tmapReleaseMap(TmapMap *map);

/* ---- Layers and cells ---- */

/* Makes layer 0..7 current. Returns the layer number, or -1 (and changes
 * nothing) for a number above 7 or a layer the map does not have. */
int tmapSelectLayer(unsigned int layer);

/* The block shown now at cell (x, y) of the current layer, animations
 * resolved to their current frame. The coordinates must lie inside the map
 * and a layer must be current. Returns NULL when the cell names no existing
 * block (a block, animation or frame index out of range). */
TmapBlock *tmapBlockAt(int x, int y);

/* Stores a cell value at (x, y) of the current layer, unchanged. The
 * coordinates must lie inside the map and a layer must be current. */
void tmapSetCell(int x, int y, int32_t value);

/* Builds (or rebuilds) a row table for every present layer. Returns 0, or
 * -1 when an allocation failed; if that failure hit the current layer,
 * tmapCurrentRows becomes NULL and cells are addressed by multiplication. */
int tmapBuildRowTables(void);

/* ---- Animation ---- */

/* Puts every animation back to its starting state. No map: nothing. */
void tmapResetAnims(void);

/* Advances every animation by one tick. No map: nothing. */
void tmapStepAnims(void);

/* ---- What the library does to GL ----
 *
 * Loading (tmapLoadFile, tmapDecode*) with GL textures, for each graphic g
 * in turn: glBindTexture(GL_TEXTURE_2D, name of g); glPixelStorei
 * (GL_UNPACK_ALIGNMENT, 1); wrap GL_CLAMP_TO_EDGE in s and t; magnification
 * and minification filter tmapTextureFilter; glTexEnvf(GL_TEXTURE_ENV,
 * GL_TEXTURE_ENV_MODE, GL_MODULATE); glTexImage2D, level 0 only (no
 * mipmaps), RGBA. TMAP_TEXTURES_GENERATED first calls glGenTextures once.
 * Left behind: the last graphic's texture bound to GL_TEXTURE_2D of the
 * active texture unit, GL_UNPACK_ALIGNMENT 1, and that unit's texture
 * environment GL_MODULATE, so the current colour (glColor) multiplies every
 * texel: keep it white, 1, 1, 1, 1, for the graphics' own colours.
 * Transparent pixels (colour key, colour map index 0) have alpha 0 and
 * still carry a colour: blend (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA) or use
 * the alpha test to let what lies beneath show through.
 *
 * Texture rows: a graphic's first stored row (its top row as drawn in a
 * tile editor) is the texture's t = 0 row. A flat quad, and a cap, takes
 * t = 0 along its edge at the cell's y (the row's starting edge) and s = 0
 * along its edge at the cell's x, as tmapTexCoordSets[0] says (the mirror
 * flags swap them). So when map rows run down the screen, every graphic
 * appears upright, first stored row on top. On a side face of a block
 * column the first stored row runs along the edge away from the ground.
 *
 * Which way quads face. A quad is a front face when its corners, in the
 * order they are sent, run counter-clockwise on the screen (GL's default,
 * glFrontFace(GL_CCW)). Seen from +z with x to the right and y up (for
 * instance glOrtho(left, right, bottom, top, ...) with bottom < top, or a
 * camera on the +z side looking toward -z):
 *
 *   cellWidth  cellHeight   flat quads and caps   side faces of columns,
 *                                                 seen from outside
 *   > 0        > 0          counter-clockwise     counter-clockwise
 *   > 0        < 0          clockwise             clockwise
 *   < 0        > 0          clockwise             counter-clockwise
 *   < 0        < 0          counter-clockwise     clockwise
 *
 * A projection that turns y down (glOrtho with bottom > top) mirrors the
 * screen: every answer of the table is then the other way round. A flat layer drawn the right way
 * up, row 0 at the top and column 0 at the left, therefore always shows its
 * back faces, whatever the set-up: with GL_CULL_FACE on, cull GL_FRONT while
 * drawing it, or turn culling off. Block columns are closed solids exactly
 * when cellHeight > 0: every side face and top cap then faces out, and the
 * usual back-face culling works. With a negative cellHeight (as in a y-up
 * set-up with rows running toward -y) they are inside out: cull GL_FRONT
 * instead. The normals do not follow the winding: flat quads and caps
 * always carry (0, 0, -1); the side faces at x, y, x + cellWidth and
 * y + cellHeight carry (-1, 0, 0), (0, -1, 0), (1, 0, 0) and (0, 1, 0),
 * whatever the signs. Columns rise toward +z when cellWidth is positive
 * (each cube is cellWidth high).
 *
 * The draw operations below (tmapDrawLayer, tmapDrawLayerSecondGraphic,
 * tmapDrawBlocks) use the matrices, blending, depth test, culling, lighting,
 * fog, current colour and texture environment as the program set them,
 * and change none of them. They bind textures (the last quad's, or in the
 * grouped order the last group's, stays bound) and send quads with a normal
 * and texture coordinates for each corner; the current normal and texture
 * coordinates are left as the last quad set them. tmapDrawLayer and
 * tmapDrawLayerSecondGraphic do not enable texturing: with GL_TEXTURE_2D
 * off they draw plain quads in the current colour (white by default).
 * tmapDrawBlocks calls glEnable(GL_TEXTURE_2D) before each side face and
 * leaves it on when it drew one; the caps before the first side face are
 * drawn with texturing as the program left it. Enable GL_TEXTURE_2D before
 * any of them. tmapDrawView, for 2D, sets up what it needs and puts it back.
 *
 * ---- Drawing ----
 * The three draw operations draw the cells (cellX .. cellX + columns - 1,
 * cellY .. cellY + rows - 1) of the current layer, the first at (originX,
 * originY), stepping cellWidth per column and cellHeight per row (either may
 * be negative). They bind textures and emit immediate-mode quads; matrices,
 * blending, depth and culling are the caller's (see above). They return 0,
 * or -1 with tmapError TMAP_ERROR_NO_GL_CONTEXT and no GL call when the
 * current context has no fixed-function pipeline (a core profile, a
 * forward-compatible context, OpenGL ES: use tilvogl_gpu.h there). A map
 * whose load made textures has passed that test; for a map loaded with
 * TMAP_TEXTURES_NONE the first draw asks the GL (queries only) and the
 * answer is kept with the map.
 *
 * Zero or negative counts, no map, or no current layer: nothing is drawn.
 * A window reaching past the layer's edges is clipped to the layer: cells
 * outside it are not drawn, and the cells inside keep the positions they
 * would have had. Cells that name no existing block are skipped. */

/* Order of the quads that the draw operations emit: TMAP_DRAW_CELL_ORDER
 * (the initial value) binds and draws cell by cell; TMAP_DRAW_BY_TEXTURE
 * emits the same quads (the same corners, normals and texture coordinates)
 * grouped by texture, with far fewer binds, and the same picture: each quad
 * still follows every quad of its own and the neighbouring cells that it
 * touches and that the cell order draws first.
 *
 * Grouped, each call binds every texture it uses once and draws its quads
 * from client arrays with glMultiDrawArrays (OpenGL 1.4), or with one
 * glDrawArrays per sub-draw where the context is older or the function
 * cannot be found (it is looked up at each call, as tilvogl_gpu.h says under
 * "GL functions": opengl32.dll does not export it). Quads that the
 * current matrices put well inside the view volume share sub-draws; a run of
 * same-texture quads that the GL may clip stays one sub-draw of its own, as
 * in the cell order (inside glNewList, with user clip planes enabled, every
 * run does). Afterwards the bound texture is the last group's, not
 * necessarily the last cell's; GL_TEXTURE_2D is enabled exactly when the
 * cell order leaves it enabled (tmapDrawBlocks enables it before the first
 * group of side faces, having drawn the caps that come before any side face
 * first); the current normal and texture coordinates are those the cell
 * order leaves; the client array state is restored (glPushClientAttrib).
 * Inside glNewList the grouped draws are compiled into the list. The order
 * takes GL_CULL_FACE as it is at the call (with culling, faces hidden by it
 * need no order among themselves), so a list should be replayed with the
 * culling it was compiled with. The library keeps scratch memory between
 * calls (freed by tmapRelease) and the order it worked out, which it reuses
 * while the window's quads stay the same. When that memory cannot be had, or
 * a buffer object is bound to GL_ARRAY_BUFFER, the call draws in cell order. */
#define TMAP_DRAW_CELL_ORDER 0
#define TMAP_DRAW_BY_TEXTURE 1
extern TMAP_DATA int tmapDrawOrder;

/* Which faces tmapDrawBlocks draws, in either order: TMAP_FACES_ALL (the
 * initial value) every face, as above; TMAP_FACES_VISIBLE leaves out faces
 * the view cannot show, for the same picture, pixel for pixel:
 *   - faces the GL culls: with GL_CULL_FACE on, a face whose winding on the
 *     screen is a culled one (glCullFace, glFrontFace, the matrices'
 *     mirroring included), when the eye lies a whole cell (for a cap, a
 *     cube) beyond its plane, or for a parallel projection on its far side;
 *   - faces inside solids: a side face of a column whose neighbour there
 *     (a cell of the window) stands at least as high and shows opaque
 *     graphics on its top cap and on every face of its other three sides,
 *     and the graphic1 cap on the ground beneath the graphic2 cap of a
 *     column opaque all round. A graphic is opaque when every pixel has
 *     alpha 255 as loaded; one that does not exist is not. These are left
 *     out only while the eye is on the columns' side of the plane z = baseZ,
 *     the culling removes the faces seen from inside the columns, the depth
 *     test keeps the nearer fragment (GL_LESS or GL_LEQUAL, or GL_GREATER or
 *     GL_GEQUAL with the depth range reversed) and writes depth, blending,
 *     the stencil test, depth clamping and user clip planes are off,
 *     polygons are filled, and the near plane cuts no column that hides a
 *     face. Otherwise (an eye below the ground, culling off or the other
 *     way round, transparent texels, ...) those faces are drawn.
 * The draw reads the matrices (glGetFloatv of GL_MODELVIEW_MATRIX and
 * GL_PROJECTION_MATRIX) and that state at every call; it sends the calls of
 * the faces it draws, with glEnable(GL_TEXTURE_2D) where the first side
 * face would have had it. While faces inside solids may be left out, a call
 * walks the window's columns once more and keeps 8 bytes a cell of scratch
 * memory (freed by tmapRelease). Inside glNewList the matrices and state
 * are those of the compilation: the list is right only for the views it
 * was compiled for, so compile with TMAP_FACES_ALL a list that is replayed
 * under other matrices (the eye may go below the ground) or other culling.
 * Flat layers are not affected. */
#define TMAP_FACES_ALL 0
#define TMAP_FACES_VISIBLE 1
extern TMAP_DATA int tmapDrawFaces;

/* Flat quads at z textured with each block's graphic1. */
int tmapDrawLayer(int cellX, int cellY, int columns, int rows, float originX, float originY,
                  float z, float cellWidth, float cellHeight);

/* As tmapDrawLayer, with each block's graphic2. */
int tmapDrawLayerSecondGraphic(int cellX, int cellY, int columns, int rows, float originX,
                               float originY, float z, float cellWidth, float cellHeight);

/* The size of the map in pixels: tmapWidth * tmapTileWidth and
 * tmapHeight * tmapTileHeight, without overflow. */
int64_t tmapWidthInPixels(void);
int64_t tmapHeightInPixels(void);

/* The common 2D case in one call: draws the map pixels pixelX .. pixelX +
 * widthPx - 1 and pixelY .. pixelY + heightPx - 1 of the current layer
 * (x to the right, y down, pixel (0, 0) the top left pixel of cell (0, 0))
 * so that they fill the viewport, map pixel (pixelX, pixelY) in its top
 * left corner, graphics upright. With a viewport of widthPx x heightPx
 * pixels every texel lands on exactly one pixel; a viewport n times as
 * large shows each texel as n x n pixels (sharp with tmapTextureFilter
 * GL_NEAREST). Scroll by changing pixelX and pixelY; parts of the view off
 * the layer are not drawn (the cleared background shows).
 *
 * Draws each cell's graphic1 with tmapDrawLayer (in tmapDrawOrder) at
 * depth 0 of its own orthographic projection, with GL_TEXTURE_2D on and
 * the depth test, culling, lighting and fog off, and then puts back the
 * program's matrices (both stacks, pushed and popped), matrix mode and
 * enables. The viewport, blending, current colour and texture environment
 * are the program's: to draw a layer over another, select it and call again
 * with GL_BLEND on (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA). Needs room for
 * one more matrix on the projection and modelview stacks and one on the
 * attribute stack. Nothing happens without a map, a current layer, or with
 * a zero or negative size. Returns 0, or -1 as the draws above for a
 * context without the fixed-function pipeline. */
int tmapDrawView(int64_t pixelX, int64_t pixelY, int widthPx, int heightPx);

/* Block columns standing on the plane z = baseZ: blocks with flag 0x20 are
 * cubes of height cellWidth stacked from the cell's block on through the
 * following records, closed by caps. Enables GL_TEXTURE_2D before each side
 * face. A stacked run ends at the last record of tmapBlocks. */
int tmapDrawBlocks(int cellX, int cellY, int columns, int rows, float originX, float originY,
                   float baseZ, float cellWidth, float cellHeight);

/* The faces the last tmapDrawBlocks or tmapGpuDrawBlocks call drew (of a
 * list compiled by glNewList, those it holds; for the shader renderer,
 * animated cells' slots included), 0 before any. */
int64_t tmapBlockFacesDrawn(void);

/* What tmapDrawBlocks draws for a window of the current layer (the same
 * cells: clipped to the layer, those that name no block skipped), counted
 * without drawing and without visiting the cubes: in time proportional to
 * the window's cells and the map's block records (and, for animated cells,
 * their animations' frames). A small map can stack a thousand cubes in
 * every cell; a program can measure a window first and refuse one too big
 * to draw. */
typedef struct TmapBlockFaces {
    uint64_t faces;         /* quads drawn now: side faces and caps */
    uint64_t facesAnyFrame; /* the most that any frames of the animations can draw */
    uint64_t tallestColumn; /* cubes in the highest column drawn now */
} TmapBlockFaces;

/* Fills count (all 0 without a map, a current layer or cells). Returns 0,
 * or -1 with count all 0: NULL count, or TMAP_ERROR_OUT_OF_MEMORY (it
 * needs 12 bytes per block record and 8 per animation for a moment). */
int tmapCountBlockFaces(int cellX, int cellY, int columns, int rows, TmapBlockFaces *count);

#ifdef __cplusplus
}
#endif

#endif /* TILVOGL_TILVOGL_H */
