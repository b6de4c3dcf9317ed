// The shader renderer's programs: one GLSL source for both, compiled as
// GLSL 3.30 core on desktop GL and GLSL ES 3.00 on OpenGL ES and WebGL 2;
// the version line and precisions are put in front at run time.
//
// The flat program draws a whole window as one quad: each fragment finds
// its cell, resolves it (animation, block, graphic, mirror flags) from the
// tables and samples the graphic. The column program draws the faces the
// CPU laid out for the window (gpu_faces.cpp), in the order the
// fixed-function path draws them; only the faces of animated cells are
// resolved here, and those their animation's current block lacks collapse
// to a point.
#include <cstdio>  // std::snprintf of the shared constants and the log's heading
#include <cstring>

#include "columns.h"
#include "gpu_internal.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

const char *const desktopPrefix = "#version 330 core\n";
const char *const embeddedPrefix = "#version 300 es\n"
                                   "precision highp float;\n"
                                   "precision highp int;\n"
                                   "precision highp sampler2D;\n"
                                   "precision highp isampler2D;\n"
                                   "precision highp sampler2DArray;\n";

const char *const shaderSource = R"GLSL(
uniform mat4 modelviewProjection;
uniform mat4 modelview;
uniform mat3 normalMatrix;
uniform vec4 colour;
uniform int lightingEnabled;
uniform vec4 lightPosition;
uniform vec4 lightAmbient;
uniform vec4 lightDiffuse;
uniform vec4 modelAmbient;
uniform int twoSided;
uniform int fogEnabled;
uniform float fogDensity;
uniform vec4 fogColour;
uniform int alphaTest;

uniform sampler2DArray graphics;
uniform isampler2D layer;   // cell values
uniform isampler2D blocks;  // per block: (graphic 1, graphic 2, flags, stacked cubes), (graphic 3, graphic 4)
uniform isampler2D anims;   // per animation: the block it shows, -1 for none
uniform sampler2D rises;    // the bottom of each stacked cube above the ground

uniform ivec4 counts;       // blocks, animations, graphics
uniform ivec2 fold;         // every table is folded into rows of 1 << fold.x entries; fold.y is that minus 1
uniform ivec2 firstCell;    // map cell of the window's first drawn cell
uniform int mapWidth;
uniform ivec2 windowSize;   // drawn columns and rows
uniform float z;            // the flat quad's z, or the columns' ground
uniform ivec2 graphicGrid;  // graphics side by side in each layer of the graphics, across and down

ivec2 folded(int index)
{
    return ivec2(index & fold.y, index >> fold.x);
}

// The block an animation shows, or -1.
int blockOfAnim(int anim)
{
    return anim < counts.y ? texelFetch(anims, folded(anim), 0).r : -1;
}

// The block a cell shows, or -1. Only the program for layers with animated
// cells reads the animation table: a software GL runs both sides of a
// branch.
int blockOfCell(ivec2 cell)
{
    int value = texelFetch(layer, folded(cell.y * mapWidth + cell.x), 0).r;
    if (value >= 0)
        return value < counts.x ? value : -1;
#ifdef TMAP_ANIMATED
    return blockOfAnim(-(value + 1));
#else
    return -1;
#endif
}

// Graphics 1 and 2, the flags and the cubes of a column starting here.
ivec4 blockCaps(int block)
{
    return texelFetch(blocks, folded(blockTexels * block), 0);
}

bool graphicExists(int graphic)
{
    return graphic >= 0 && graphic < counts.z;
}

// An existing graphic's colour at (s, t), as a texture of its own samples
// it with GL_CLAMP_TO_EDGE.
vec4 graphicTexel(vec2 st, int graphic)
{
#ifdef TMAP_PACKED_GRAPHICS
    // Several graphics a layer: a sample stays within the centres of the
    // graphic's own edge texels, where a texture of its own clamps it.
    vec2 layerSize = vec2(textureSize(graphics, 0).xy);
    vec2 tile = layerSize / vec2(graphicGrid);
    int perLayer = graphicGrid.x * graphicGrid.y;
    int slot = graphic % perLayer;
    vec2 origin = vec2(float(slot % graphicGrid.x), float(slot / graphicGrid.x)) * tile;
    vec2 texel = clamp(st * tile, vec2(0.5), tile - 0.5);
    return texture(graphics, vec3((origin + texel) / layerSize, float(graphic / perLayer)));
#else
    return texture(graphics, vec3(st, float(graphic)));
#endif
}

#ifdef TMAP_VERTEX
out vec4 frontColour;
out vec4 backColour;
out float eyeDepth;      // signed: a quad may reach behind the eye

// GL's default material under light 0, per vertex.
vec4 litColour(vec3 normal, vec3 eyePosition)
{
    vec3 toLight = lightPosition.w == 0.0 ? lightPosition.xyz
                                          : lightPosition.xyz / lightPosition.w - eyePosition;
    float diffuse = max(dot(normal, normalize(toLight)), 0.0);
    vec3 lit = modelAmbient.rgb * 0.2 + lightAmbient.rgb * 0.2 + lightDiffuse.rgb * (0.8 * diffuse);
    return vec4(clamp(lit, 0.0, 1.0), 1.0);
}

void shade(vec3 position, vec3 normal)
{
    vec4 eye = modelview * vec4(position, 1.0);
    gl_Position = modelviewProjection * vec4(position, 1.0);
    eyeDepth = eye.z;
    if (lightingEnabled != 0) {
        vec3 eyeNormal = normalMatrix * normal;
        frontColour = litColour(eyeNormal, eye.xyz / eye.w);
        backColour = twoSided != 0 ? litColour(-eyeNormal, eye.xyz / eye.w) : frontColour;
    } else {
        frontColour = colour;
        backColour = colour;
    }
}
#endif

#ifdef TMAP_FRAGMENT
in vec4 frontColour;
in vec4 backColour;
in float eyeDepth;
layout(location = 0) out vec4 fragmentColour;

void finish(vec2 texCoord, int graphic)
{
    vec4 result = graphicTexel(texCoord, graphic);
    result *= gl_FrontFacing ? frontColour : backColour;
#ifndef TMAP_FOGLESS
    if (fogEnabled != 0) {
        float f = clamp(exp(-fogDensity * abs(eyeDepth)), 0.0, 1.0);
        result.rgb = mix(fogColour.rgb, result.rgb, f);
    }
#endif
    // A column program without the alpha test never discards, so that the
    // GL may test depth before shading (a software GL shades every
    // fragment of a program that may discard).
#if defined(TMAP_FLAT) || defined(TMAP_ALPHA_TEST)
    if (alphaTest != 0 && result.a <= 0.0)
        discard;
#endif
    fragmentColour = result;
}
#endif

#ifdef TMAP_FLAT
uniform vec4 rect;          // x and y of the first drawn cell's corner, then of the last's far corner
uniform int graphicField;   // 0: graphic1, 1: graphic2
uniform isampler2D occupancy; // per chunk of cells: what its cells may show (TMAP_GPU_SHOWS_* bits)
uniform ivec4 chunkWindow;  // the first chunk's corner in cells from the first drawn cell, chunks across, log2 of a chunk's cells across
uniform ivec2 chunkTable;   // the first chunk's entry in the occupancy table, the entries from one row of chunks to the next
uniform int showsMask;      // the chunk bits this draw shows; 0: every chunk shows

#ifdef TMAP_VERTEX
out vec2 cellPosition;      // in cells from the first drawn cell

// One instance a chunk of the window, clipped to the window; a chunk that
// shows nothing has no area and makes no fragment.
void main()
{
    ivec2 chunk = ivec2(gl_InstanceID % chunkWindow.z, gl_InstanceID / chunkWindow.z);
    ivec2 first = clamp(chunkWindow.xy + (chunk << chunkWindow.w), ivec2(0), windowSize);
    ivec2 end = clamp(chunkWindow.xy + ((chunk + 1) << chunkWindow.w), ivec2(0), windowSize);
    if (showsMask != 0 &&
        (texelFetch(occupancy, folded(chunkTable.x + chunk.y * chunkTable.y + chunk.x), 0).r & showsMask) == 0)
        end = first;
    bool right = (gl_VertexID & 1) != 0;
    bool farRow = gl_VertexID >= 2;
    ivec2 corner = ivec2(right ? end.x : first.x, farRow ? end.y : first.y);
    cellPosition = vec2(corner);
    // Neighbouring chunks compute their shared corners alike: no cracks.
    vec2 along = vec2(corner) / vec2(windowSize);
    shade(vec3(mix(rect.xy, rect.zw, along), z), vec3(0.0, 0.0, -1.0));
}
#endif

#ifdef TMAP_FRAGMENT
in vec2 cellPosition;

void main()
{
    ivec2 cell = clamp(ivec2(floor(cellPosition)), ivec2(0), windowSize - 1);
    vec2 within = clamp(cellPosition - vec2(cell), 0.0, 1.0);
    int block = blockOfCell(firstCell + cell);
    if (block < 0)
        discard;
    ivec4 caps = blockCaps(block);
    int graphic = graphicField == 0 ? caps.x : caps.y;
    if (!graphicExists(graphic))
        discard;
    int flags = caps.z;
    vec2 texCoord = vec2((flags & flagMirrorS) != 0 ? 1.0 - within.x : within.x,
                         (flags & flagMirrorT) != 0 ? 1.0 - within.y : within.y);
    finish(texCoord, graphic);
}
#endif
#endif

#ifdef TMAP_COLUMNS
#ifdef TMAP_VERTEX
layout(location = 0) in vec3 position;
layout(location = 1) in ivec2 face; // graphic or -(animation + 1), details (gpu_internal.h)
out vec2 texCoord;
flat out int graphic;

void noFace()
{
    gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
    frontColour = vec4(0.0);
    backColour = vec4(0.0);
    eyeDepth = 0.0;
    texCoord = vec2(0.0);
    graphic = 0;
}

#ifdef TMAP_ANIMATED
// A face of an animated cell, from the animation's current block: its
// slots hold the tallest column the animation has shown, and the current
// column may be lower.
void animatedFace(int kind)
{
    int block = blockOfAnim(-(face.x + 1));
    if (block < 0) {
        noFace();
        return;
    }
    int cubes = blockCaps(block).w;
    int cube = face.y >> cornerCubeShift;
    bool side = kind < sideKinds;
    if (side && cube >= cubes) {
        noFace();
        return;
    }
    // A side reads graphics 1 and 2 (the first texel of its cube's record)
    // or 3 and 4 (the second); a cap the first texel of the closing record.
    int record = block + (side ? cube : cubes);
    ivec4 texel = texelFetch(blocks, folded(blockTexels * record + (side ? kind >> 1 : 0)), 0);
    bool upper = kind == secondCap;
    graphic = side ? ((kind & 1) == 0 ? texel.x : texel.y) : upper ? texel.y : texel.x;
    if (((side || upper) && graphic == 0) || !graphicExists(graphic)) {
        noFace();
        return;
    }
    if (side) {
        shade(position, faceNormals[kind]);
        return;
    }
    // The upper cap, or the only one, tops the column; beneath an upper cap
    // the first graphic lies on the ground.
    float top = texelFetch(rises, folded(cubes), 0).r;
    float zc = z + (upper || texel.y == 0 ? top : 0.0);
    if ((texel.z & flagMirrorS) != 0)
        texCoord.x = 1.0 - texCoord.x;
    if ((texel.z & flagMirrorT) != 0)
        texCoord.y = 1.0 - texCoord.y;
    shade(vec3(position.xy, zc), faceNormals[kind]);
}
#endif

void main()
{
    int kind = (face.y >> cornerKindShift) & cornerKindMask;
    texCoord = vec2((face.y & cornerU) != 0 ? 1.0 : 0.0, (face.y & cornerV) != 0 ? 1.0 : 0.0);
#ifdef TMAP_ANIMATED
    // Only windows with animated cells pay for the table reads.
    if (face.x < 0) {
        animatedFace(kind);
        return;
    }
#endif
    graphic = face.x;
    shade(position, faceNormals[kind]);
}
#endif

#ifdef TMAP_FRAGMENT
in vec2 texCoord;
flat in int graphic;

void main()
{
    finish(texCoord, graphic);
}
#endif
#endif
)GLSL";

// The numbers the shaders share with the C++ side (the block flags, the
// corners' details, the face kinds and their normals, the block table's
// layout), declared as GLSL constants in front of the source, so that the
// shaders name them and never repeat them.
void writeSharedConstants(char *out, size_t size)
{
    int used = std::snprintf(out, size,
                             "const int flagMirrorS = %d;\n"
                             "const int flagMirrorT = %d;\n"
                             "const int cornerU = %d;\n"
                             "const int cornerV = %d;\n"
                             "const int cornerKindShift = %d;\n"
                             "const int cornerKindMask = %d;\n"
                             "const int cornerCubeShift = %d;\n"
                             "const int sideKinds = %d;\n"
                             "const int secondCap = %d;\n"
                             "const int blockTexels = %d;\n"
                             "const vec3 faceNormals[%d] = vec3[%d](",
                             int(TMAP_FLAG_MIRROR_S), int(TMAP_FLAG_MIRROR_T), TMAP_GPU_CORNER_U, TMAP_GPU_CORNER_V,
                             TMAP_GPU_CORNER_KIND_SHIFT,
                             (1 << (TMAP_GPU_CORNER_CUBE_SHIFT - TMAP_GPU_CORNER_KIND_SHIFT)) - 1,
                             TMAP_GPU_CORNER_CUBE_SHIFT, tmapSideKinds, int(tmapFaceSecondCap), tmapGpuBlockTexels,
                             int(tmapFaceKinds), int(tmapFaceKinds));
    for (int kind = 0; kind < tmapFaceKinds; ++kind) {
        // Caps carry (0, 0, -1) at every height.
        TmapSideEdge edge = kind < tmapSideKinds ? tmapSideEdge(kind, 0.0f, 1.0f, 0.0f, 1.0f) : TmapSideEdge();
        used += std::snprintf(out + used, size - size_t(used), "%svec3(%.1f, %.1f, %.1f)", kind > 0 ? ", " : "",
                              double(edge.normalX), double(edge.normalY), kind < tmapSideKinds ? 0.0 : -1.0);
    }
    std::snprintf(out + used, size - size_t(used), ");\n");
}

// What the last failed build said: the shader or program and the GL's log.
char failureLog[8192];

void keepFailureLog(const char *what, const char *program, GLuint object, bool linking)
{
    int heading = std::snprintf(failureLog, sizeof failureLog, "%s of the program for %s: ", what, program);
    if (heading < 0 || size_t(heading) >= sizeof failureLog)
        return;
    GLsizei length = 0;
    const GLsizei room = GLsizei(sizeof failureLog - size_t(heading));
    if (linking)
        tmapGl.GetProgramInfoLog(object, room, &length, failureLog + heading);
    else
        tmapGl.GetShaderInfoLog(object, room, &length, failureLog + heading);
    failureLog[heading + (length >= 0 && length < room ? length : 0)] = '\0';
}

// A compiled shader, 0 when the GL gives none, or 0 with the log kept
// when it refuses the source.
GLuint compile(GLenum stage, bool embedded, const char *kindDefine, const char *layoutDefine, const char *program,
               bool &refused)
{
    GLuint shader = tmapGl.CreateShader(stage);
    if (shader == 0)
        return 0;
    char constants[1024];
    writeSharedConstants(constants, sizeof constants);
    const bool vertex = stage == GL_VERTEX_SHADER;
    const char *stageDefine = vertex ? "#define TMAP_VERTEX\n" : "#define TMAP_FRAGMENT\n";
    const char *texts[6] = {embedded ? embeddedPrefix : desktopPrefix, stageDefine, kindDefine, constants, layoutDefine,
                            shaderSource};
    tmapGl.ShaderSource(shader, 6, texts, nullptr);
    tmapGl.CompileShader(shader);
    GLint compiled = GL_FALSE;
    tmapGl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        keepFailureLog(vertex ? "the vertex shader" : "the fragment shader", program, shader, false);
        refused = true;
        tmapGl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

int tmapGpuBuildProgram(int kind, bool embedded, TmapGpuProgram &program)
{
    struct Kind {
        const char *defines;
        const char *name; // for the log
    };
    static const Kind kinds[] = {
        {"#define TMAP_COLUMNS\n", "block columns"},
        {"#define TMAP_COLUMNS\n#define TMAP_ANIMATED\n", "animated block columns"},
        {"#define TMAP_COLUMNS\n#define TMAP_ALPHA_TEST\n", "alpha-tested block columns"},
        {"#define TMAP_COLUMNS\n#define TMAP_ANIMATED\n#define TMAP_ALPHA_TEST\n", "animated alpha-tested block columns"},
        {"#define TMAP_FLAT\n", "flat layers"},
        {"#define TMAP_FLAT\n#define TMAP_ANIMATED\n", "animated flat layers"},
        {"#define TMAP_FLAT\n#define TMAP_FOGLESS\n", "flat layers without fog"},
        {"#define TMAP_FLAT\n#define TMAP_ANIMATED\n#define TMAP_FOGLESS\n", "animated flat layers without fog"},
    };
    const Kind &of = kinds[kind];
    const char *layoutDefine = tmapGpuCopy.graphicsAcross * tmapGpuCopy.graphicsDown > 1
                                   ? "#define TMAP_PACKED_GRAPHICS\n"
                                   : "";
    bool refused = false;
    GLuint vertex = compile(GL_VERTEX_SHADER, embedded, of.defines, layoutDefine, of.name, refused);
    GLuint fragment =
        vertex != 0 ? compile(GL_FRAGMENT_SHADER, embedded, of.defines, layoutDefine, of.name, refused) : 0;
    GLuint name = vertex != 0 && fragment != 0 ? tmapGl.CreateProgram() : 0;
    GLint linked = GL_FALSE;
    if (name != 0) {
        tmapGl.AttachShader(name, vertex);
        tmapGl.AttachShader(name, fragment);
        tmapGl.LinkProgram(name);
        tmapGl.GetProgramiv(name, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            keepFailureLog("linking", of.name, name, true);
            refused = true;
        }
    }
    // Deleting 0 is allowed; attached shaders go with their program.
    tmapGl.DeleteShader(vertex);
    tmapGl.DeleteShader(fragment);
    if (linked != GL_TRUE) {
        tmapGl.DeleteProgram(name);
        return refused ? TMAP_ERROR_SHADER : TMAP_ERROR_NO_GL_CONTEXT;
    }
    program.name = name;
#define TMAP_GPU_FIND_UNIFORM(uniform) program.uniform = tmapGl.GetUniformLocation(name, #uniform);
    TMAP_GPU_UNIFORMS(TMAP_GPU_FIND_UNIFORM)
#undef TMAP_GPU_FIND_UNIFORM
    // The samplers' units never change.
    tmapGl.UseProgram(name);
    tmapGl.Uniform1i(program.graphics, tmapGpuUnitGraphics);
    tmapGl.Uniform1i(program.layer, tmapGpuUnitLayer);
    tmapGl.Uniform1i(program.blocks, tmapGpuUnitBlocks);
    tmapGl.Uniform1i(program.anims, tmapGpuUnitAnims);
    tmapGl.Uniform1i(program.rises, tmapGpuUnitRises);
    tmapGl.Uniform1i(program.occupancy, tmapGpuUnitOccupancy);
    tmapGl.UseProgram(0);
    return TMAP_ERROR_NONE;
}

void tmapGpuForgetShaderLog() { failureLog[0] = '\0'; }

const char *tmapGpuShaderLog(void) { return failureLog; }
