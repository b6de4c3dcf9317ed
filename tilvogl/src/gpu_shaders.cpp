// The shader renderer's programs: one GLSL source for both, compiled as
// GLSL 3.30 core on desktop GL and GLSL ES 3.00 on OpenGL ES and WebGL 2;
// the version line and precisions are put in front at run time.
//
// The flat program draws a whole window as one quad: each fragment finds
// its cell, resolves it (animation, block, graphic, mirror flags) from the
// tables and samples the graphic. The column program draws one instance
// per face slot of every column, in the order the fixed-function path draws
// the faces, and collapses the slots that have no face to a point.
#include <cstring>

#include "gpu_internal.h"

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
uniform isampler2D blocks;  // per block: graphics 1 to 4, then (flags, stacked cubes)
uniform isampler2D anims;   // per animation: the block it shows, -1 for none
uniform sampler2D window;   // column x, row y, cube rise of the window

uniform ivec4 counts;       // blocks, animations, graphics
uniform ivec2 firstCell;    // map cell of the window's first drawn cell
uniform int mapWidth;
uniform ivec2 windowSize;   // drawn columns and rows
uniform float z;            // the flat quad's z, or the columns' ground

ivec2 fold(int index, int width)
{
    return ivec2(index % width, index / width);
}

int blockOfCell(ivec2 cell)
{
    int index = cell.y * mapWidth + cell.x;
    int value = texelFetch(layer, fold(index, textureSize(layer, 0).x), 0).r;
    if (value >= 0)
        return value < counts.x ? value : -1;
    int anim = -(value + 1);
    if (anim >= counts.y)
        return -1;
    return texelFetch(anims, fold(anim, textureSize(anims, 0).x), 0).r;
}

ivec4 blockGraphics(int block)
{
    return texelFetch(blocks, fold(2 * block, textureSize(blocks, 0).x), 0);
}

ivec4 blockDetails(int block)
{
    return texelFetch(blocks, fold(2 * block + 1, textureSize(blocks, 0).x), 0);
}

bool graphicExists(int graphic)
{
    return graphic >= 0 && graphic < counts.z;
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
    vec4 result = texture(graphics, vec3(texCoord, float(graphic)));
    result *= gl_FrontFacing ? frontColour : backColour;
    if (fogEnabled != 0) {
        float f = clamp(exp(-fogDensity * abs(eyeDepth)), 0.0, 1.0);
        result.rgb = mix(fogColour.rgb, result.rgb, f);
    }
    if (alphaTest != 0 && result.a <= 0.0)
        discard;
    fragmentColour = result;
}
#endif

#ifdef TMAP_FLAT
uniform vec4 rect;          // x and y of the first drawn cell's corner, then of the last's far corner
uniform int graphicField;   // 0: graphic1, 1: graphic2

#ifdef TMAP_VERTEX
out vec2 cellPosition;      // in cells from the first drawn cell

void main()
{
    bool right = (gl_VertexID & 1) != 0;
    bool farRow = gl_VertexID >= 2;
    cellPosition = vec2(right ? float(windowSize.x) : 0.0, farRow ? float(windowSize.y) : 0.0);
    shade(vec3(right ? rect.z : rect.x, farRow ? rect.w : rect.y, z), vec3(0.0, 0.0, -1.0));
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
    ivec4 graphicsOfBlock = blockGraphics(block);
    int graphic = graphicField == 0 ? graphicsOfBlock.x : graphicsOfBlock.y;
    if (!graphicExists(graphic))
        discard;
    int flags = blockDetails(block).x;
    vec2 texCoord = vec2((flags & 64) != 0 ? 1.0 - within.x : within.x,
                         (flags & 128) != 0 ? 1.0 - within.y : within.y);
    finish(texCoord, graphic);
}
#endif
#endif

#ifdef TMAP_COLUMNS
uniform int slots;          // face slots per column: 4 per cube of the tallest stack, 2 caps
uniform float cellWidth;    // the height of a cube

#ifdef TMAP_VERTEX
out vec2 texCoord;
flat out int graphic;

float windowEntry(int index)
{
    return texelFetch(window, fold(index, textureSize(window, 0).x), 0).r;
}

void noFace()
{
    gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
    frontColour = vec4(0.0);
    backColour = vec4(0.0);
    eyeDepth = 0.0;
    texCoord = vec2(0.0);
    graphic = 0;
}

void main()
{
    int slot = gl_InstanceID % slots;
    int cellIndex = gl_InstanceID / slots;
    ivec2 cell = ivec2(cellIndex % windowSize.x, cellIndex / windowSize.x);
    int block = blockOfCell(firstCell + cell);
    if (block < 0) {
        noFace();
        return;
    }
    int cubes = blockDetails(block).y;
    float x0 = windowEntry(cell.x);
    float x1 = windowEntry(cell.x + 1);
    int rowBase = windowSize.x + 1;
    float y0 = windowEntry(rowBase + cell.y);
    float y1 = windowEntry(rowBase + cell.y + 1);
    int riseBase = rowBase + windowSize.y + 1;
    // Corners 0 to 3 of the face, taken as a triangle strip.
    int corner = gl_VertexID == 2 ? 3 : gl_VertexID == 3 ? 2 : gl_VertexID;

    if (slot < 4 * cubes) {
        int cube = slot / 4;
        int face = slot % 4;
        ivec4 faceGraphics = blockGraphics(block + cube);
        graphic = face == 0 ? faceGraphics.x : face == 1 ? faceGraphics.y
                : face == 2 ? faceGraphics.z : faceGraphics.w;
        if (graphic == 0 || !graphicExists(graphic)) {
            noFace();
            return;
        }
        float z0 = z + windowEntry(riseBase + cube);
        float z1 = z0 + cellWidth;
        // The face's ground edge, from its first corner to its last.
        vec2 from = face == 0 ? vec2(x0, y0) : face == 1 ? vec2(x1, y0)
                  : face == 2 ? vec2(x1, y1) : vec2(x0, y1);
        vec2 to = face == 0 ? vec2(x0, y1) : face == 1 ? vec2(x0, y0)
                : face == 2 ? vec2(x1, y0) : vec2(x1, y1);
        vec3 normal = face == 0 ? vec3(-1.0, 0.0, 0.0) : face == 1 ? vec3(0.0, -1.0, 0.0)
                    : face == 2 ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 1.0, 0.0);
        bool second = corner >= 2;
        bool top = corner == 1 || corner == 2;
        texCoord = vec2(second ? 1.0 : 0.0, top ? 0.0 : 1.0);
        shade(vec3(second ? to : from, top ? z1 : z0), normal);
        return;
    }
    if (slot > 4 * cubes + 1) {
        noFace();
        return;
    }
    int closing = block + cubes;
    ivec4 capGraphics = blockGraphics(closing);
    bool upper = slot == 4 * cubes;
    graphic = upper ? capGraphics.y : capGraphics.x;
    if ((upper && graphic == 0) || !graphicExists(graphic)) {
        noFace();
        return;
    }
    // The upper cap, or the only one, tops the column; beneath an upper cap
    // the first graphic lies on the ground.
    float zc = z + (upper || capGraphics.y == 0 ? windowEntry(riseBase + cubes) : 0.0);
    int flags = blockDetails(closing).x;
    bool right = corner == 1 || corner == 2;
    bool farRow = corner >= 2;
    texCoord = vec2(right != ((flags & 64) != 0) ? 1.0 : 0.0, farRow != ((flags & 128) != 0) ? 1.0 : 0.0);
    shade(vec3(right ? x1 : x0, farRow ? y1 : y0, zc), vec3(0.0, 0.0, -1.0));
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

GLuint compile(GLenum stage, bool embedded, const char *kindDefine)
{
    GLuint shader = tmapGl.CreateShader(stage);
    if (shader == 0)
        return 0;
    const char *stageDefine = stage == GL_VERTEX_SHADER ? "#define TMAP_VERTEX\n" : "#define TMAP_FRAGMENT\n";
    const char *texts[4] = {embedded ? embeddedPrefix : desktopPrefix, stageDefine, kindDefine, shaderSource};
    tmapGl.ShaderSource(shader, 4, texts, nullptr);
    tmapGl.CompileShader(shader);
    GLint compiled = GL_FALSE;
    tmapGl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        tmapGl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

bool tmapGpuBuildProgram(TmapGpuProgramKind kind, bool embedded, TmapGpuProgram &program)
{
    const char *kindDefine = kind == tmapGpuFlat ? "#define TMAP_FLAT\n" : "#define TMAP_COLUMNS\n";
    GLuint vertex = compile(GL_VERTEX_SHADER, embedded, kindDefine);
    GLuint fragment = compile(GL_FRAGMENT_SHADER, embedded, kindDefine);
    GLuint name = vertex != 0 && fragment != 0 ? tmapGl.CreateProgram() : 0;
    GLint linked = GL_FALSE;
    if (name != 0) {
        tmapGl.AttachShader(name, vertex);
        tmapGl.AttachShader(name, fragment);
        tmapGl.LinkProgram(name);
        tmapGl.GetProgramiv(name, GL_LINK_STATUS, &linked);
    }
    // Deleting 0 is allowed; attached shaders go with their program.
    tmapGl.DeleteShader(vertex);
    tmapGl.DeleteShader(fragment);
    if (linked != GL_TRUE) {
        tmapGl.DeleteProgram(name);
        return false;
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
    tmapGl.Uniform1i(program.window, tmapGpuUnitWindow);
    tmapGl.UseProgram(0);
    return true;
}
