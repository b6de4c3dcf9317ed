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
uniform isampler2D blocks;  // per block: (graphic 1, graphic 2, flags, stacked cubes), (graphic 3, graphic 4)
uniform isampler2D anims;   // per animation: the block it shows, -1 for none
uniform sampler2D rises;    // the bottom of each stacked cube above the ground

uniform ivec4 counts;       // blocks, animations, graphics
uniform ivec2 fold;         // every table is folded into rows of 1 << fold.x entries; fold.y is that minus 1
uniform ivec2 firstCell;    // map cell of the window's first drawn cell
uniform int mapWidth;
uniform ivec2 windowSize;   // drawn columns and rows
uniform float z;            // the flat quad's z, or the columns' ground

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
    return texelFetch(blocks, folded(2 * block), 0);
}

// Graphics 3 and 4.
ivec2 blockSides(int block)
{
    return texelFetch(blocks, folded(2 * block + 1), 0).xy;
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
    ivec4 caps = blockCaps(block);
    int graphic = graphicField == 0 ? caps.x : caps.y;
    if (!graphicExists(graphic))
        discard;
    int flags = caps.z;
    vec2 texCoord = vec2((flags & 64) != 0 ? 1.0 - within.x : within.x,
                         (flags & 128) != 0 ? 1.0 - within.y : within.y);
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

const vec3 normals[6] = vec3[6](vec3(-1.0, 0.0, 0.0), vec3(0.0, -1.0, 0.0), vec3(1.0, 0.0, 0.0),
                                vec3(0.0, 1.0, 0.0), vec3(0.0, 0.0, -1.0), vec3(0.0, 0.0, -1.0));

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
    int cube = face.y >> 5;
    bool side = kind < 4;
    if (side && cube >= cubes) {
        noFace();
        return;
    }
    // A side reads graphics 1 and 2 or 3 and 4 of its cube's record; a cap
    // the first texel of the closing record.
    int record = block + (side ? cube : cubes);
    ivec4 texel = texelFetch(blocks, folded(2 * record + (side ? kind >> 1 : 0)), 0);
    bool upper = kind == 4;
    graphic = side ? ((kind & 1) == 0 ? texel.x : texel.y) : upper ? texel.y : texel.x;
    if (((side || upper) && graphic == 0) || !graphicExists(graphic)) {
        noFace();
        return;
    }
    if (side) {
        shade(position, normals[kind]);
        return;
    }
    // The upper cap, or the only one, tops the column; beneath an upper cap
    // the first graphic lies on the ground.
    float top = texelFetch(rises, folded(cubes), 0).r;
    float zc = z + (upper || texel.y == 0 ? top : 0.0);
    if ((texel.z & 64) != 0)
        texCoord.x = 1.0 - texCoord.x;
    if ((texel.z & 128) != 0)
        texCoord.y = 1.0 - texCoord.y;
    shade(vec3(position.xy, zc), normals[kind]);
}
#endif

void main()
{
    int kind = (face.y >> 2) & 7;
    texCoord = vec2(float(face.y & 1), float((face.y >> 1) & 1));
#ifdef TMAP_ANIMATED
    // Only windows with animated cells pay for the table reads.
    if (face.x < 0) {
        animatedFace(kind);
        return;
    }
#endif
    graphic = face.x;
    shade(position, normals[kind]);
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

bool tmapGpuBuildProgram(int kind, bool embedded, TmapGpuProgram &program)
{
    static const char *const kindDefines[] = {
        "#define TMAP_COLUMNS\n",
        "#define TMAP_COLUMNS\n#define TMAP_ANIMATED\n",
        "#define TMAP_COLUMNS\n#define TMAP_ALPHA_TEST\n",
        "#define TMAP_COLUMNS\n#define TMAP_ANIMATED\n#define TMAP_ALPHA_TEST\n",
        "#define TMAP_FLAT\n",
        "#define TMAP_FLAT\n#define TMAP_ANIMATED\n",
    };
    const char *kindDefine = kindDefines[kind];
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
    tmapGl.Uniform1i(program.rises, tmapGpuUnitRises);
    tmapGl.UseProgram(0);
    return true;
}
