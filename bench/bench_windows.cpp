// The library's CPU time per frame against the size of the window drawn:
// flat and block windows of 16^2, 64^2, 256^2 and 1024^2 cells, with each
// renderer (cell order, grouped by texture, shader), over a GL that does
// nothing (the GL double with recording off), so the figures are the
// library's own work. A frame is one animation tick and one draw, as in the
// demos. scripts/bench divides every size by the same renderer's 16^2
// window, measured in the same run.
//
// The shader renderer gets its GL functions through tmapGpuGetProcAddress:
// here the few that must answer as a GL 3.3 context would, and any other as
// the double's definition, which this program exports (ENABLE_EXPORTS).
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glext.h>  // the GL 3 constants
#include <dlfcn.h>     // dlsym

#include <cstring>
#include <string>

#include "benchmaps.h"
#include "gldouble.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

// ---- The answers of a GL 3.3 context that does nothing ----

const GLubyte* APIENTRY versionString(GLenum name)
{
    return reinterpret_cast<const GLubyte*>(name == GL_VERSION ? "3.3 (a GL doing nothing)" : "");
}
GLenum APIENTRY noError(void) { return GL_NO_ERROR; }
void APIENTRY largeLimits(GLenum name, GLint* values)
{
    values[0] = name == GL_MAX_TEXTURE_SIZE ? 16384 : name == GL_MAX_ARRAY_TEXTURE_LAYERS ? 2048
              : name == GL_UNPACK_ALIGNMENT ? 4 : 0;
}
GLuint nextName()
{
    static GLuint last = 0;
    return ++last;
}
GLuint APIENTRY newShader(GLenum) { return nextName(); }
GLuint APIENTRY newProgram(void) { return nextName(); }
void APIENTRY succeeds(GLuint, GLenum, GLint* value) { *value = GL_TRUE; }
void APIENTRY newNames(GLsizei count, GLuint* names)
{
    for (GLsizei i = 0; i < count; ++i)
        names[i] = nextName();
}
GLint APIENTRY someLocation(GLuint, const GLchar*) { return 0; }
void APIENTRY ignoreNames(GLsizei, const GLuint*) {}
void APIENTRY ignoreName(GLuint) {}
void APIENTRY ignoreUnit(GLenum) {}
void APIENTRY ignoreImage3D(GLenum, GLint, GLint, GLsizei, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) {}
void APIENTRY ignoreSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) {}
void APIENTRY ignoreSubImage3D(GLenum, GLint, GLint, GLint, GLint, GLsizei, GLsizei, GLsizei, GLenum, GLenum,
                               const void*) {}
void APIENTRY ignoreInstances(GLenum, GLint, GLsizei, GLsizei) {}
void APIENTRY ignoreInt(GLint, GLint) {}
void APIENTRY ignoreInt2(GLint, GLint, GLint) {}
void APIENTRY ignoreInt4(GLint, GLint, GLint, GLint, GLint) {}
void APIENTRY ignoreFloats(GLint, GLsizei, const GLfloat*) {}
void APIENTRY ignoreMatrices(GLint, GLsizei, GLboolean, const GLfloat*) {}
void APIENTRY ignoreElements(GLenum, GLsizei, GLenum, const void*) {}
void APIENTRY ignoreBufferData(GLenum, GLsizeiptr, const void*, GLenum) {}
void APIENTRY ignoreIntegerAttribute(GLuint, GLint, GLenum, GLsizei, const void*) {}
void APIENTRY ignoreShaderSource(GLuint, GLsizei, const GLchar* const*, const GLint*) {}
void APIENTRY ignorePair(GLuint, GLuint) {}

struct NamedProc {
    const char* name;
    TmapGpuProc proc;
};
#define PROC(name, function) {name, reinterpret_cast<TmapGpuProc>(function)}
const NamedProc doNothingGl[] = {
    PROC("glGetString", versionString), PROC("glGetError", noError), PROC("glGetIntegerv", largeLimits),
    PROC("glCreateShader", newShader), PROC("glCreateProgram", newProgram), PROC("glGetShaderiv", succeeds),
    PROC("glGetProgramiv", succeeds), PROC("glGenTextures", newNames), PROC("glGenVertexArrays", newNames),
    PROC("glGenBuffers", newNames), PROC("glGetUniformLocation", someLocation),
    PROC("glDeleteTextures", ignoreNames), PROC("glDeleteVertexArrays", ignoreNames),
    PROC("glDeleteBuffers", ignoreNames), PROC("glDeleteProgram", ignoreName), PROC("glDeleteShader", ignoreName),
    PROC("glUseProgram", ignoreName), PROC("glBindVertexArray", ignoreName), PROC("glCompileShader", ignoreName),
    PROC("glLinkProgram", ignoreName), PROC("glActiveTexture", ignoreUnit), PROC("glTexImage3D", ignoreImage3D), PROC("glTexSubImage2D", ignoreSubImage2D),
    PROC("glTexSubImage3D", ignoreSubImage3D), PROC("glDrawArraysInstanced", ignoreInstances),
    PROC("glUniform1i", ignoreInt), PROC("glUniform2i", ignoreInt2), PROC("glUniform4i", ignoreInt4),
    PROC("glUniform4fv", ignoreFloats), PROC("glUniformMatrix3fv", ignoreMatrices),
    PROC("glUniformMatrix4fv", ignoreMatrices), PROC("glDrawElements", ignoreElements),
    PROC("glBufferData", ignoreBufferData), PROC("glVertexAttribIPointer", ignoreIntegerAttribute),
    PROC("glShaderSource", ignoreShaderSource), PROC("glAttachShader", ignorePair),
};
#undef PROC

TmapGpuProc doNothingProc(const char* name)
{
    for (const NamedProc& entry : doNothingGl)
        if (std::strcmp(entry.name, name) == 0)
            return entry.proc;
    return reinterpret_cast<TmapGpuProc>(dlsym(RTLD_DEFAULT, name));
}

// ---- Windows ----

const int largestSide = 1024;
const int sides[] = {16, 64, 256, 1024};

enum Renderer { cellOrder, grouped, shader };
enum Kind { flat, blocks };

const char* const rendererNames[] = {"Cell", "Grouped", "Shader"};
const char* const kindNames[] = {"Layer", "Blocks"};

// The map is loaded once per renderer kind of load: with texture names for
// the fixed-function paths, with kept pixels and an upload for the shader.
bool loadWindowMap(Renderer renderer, benchmark::State& state)
{
    static const tmapwriter::Bytes image = tmapwriter::buildImage(benchmaps::drawMap(largestSide));
    gldouble::setRecording(false);
    int firstTexture = renderer == shader ? TMAP_TEXTURES_NONE : 1;
    tmapError = 0;
    if (tmapDecodeBuffer(image.data(), image.size(), firstTexture) != 0) {
        state.SkipWithError(tmapErrorString(tmapError));
        return false;
    }
    tmapResetAnims();
    if (renderer == shader && tmapGpuUpload() != 0) {
        state.SkipWithError((std::string("upload: ") + tmapErrorString(tmapError)).c_str());
        tmapRelease();
        return false;
    }
    return true;
}

void drawWindow(benchmark::State& state, Renderer renderer, Kind kind, int side)
{
    if (!loadWindowMap(renderer, state))
        return;
    tmapDrawOrder = renderer == grouped ? TMAP_DRAW_BY_TEXTURE : TMAP_DRAW_CELL_ORDER;
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    view.fogEnabled = 1;
    view.lightingEnabled = kind == blocks;
    // Culling on, as in the demos (the grouped path orders faces by it).
    glEnable(GL_CULL_FACE);
    // The shader renderer lays out a block window's faces at its first
    // draw; the frames measured are the ones after it.
    if (renderer == shader && kind == blocks)
        tmapGpuDrawBlocks(&view, 0, 0, side, side, -0.25f * float(side), 0.25f * float(side), 0.0f, 0.5f, -0.5f);
    for (auto _ : state) {
        tmapStepAnims();
        const float origin = -0.25f * float(side);
        int result;
        if (renderer == shader && kind == flat)
            result = tmapGpuDrawLayer(&view, 0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else if (renderer == shader)
            result = tmapGpuDrawBlocks(&view, 0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else if (kind == flat)
            result = tmapDrawLayer(0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        else
            result = tmapDrawBlocks(0, 0, side, side, origin, -origin, 0.0f, 0.5f, -0.5f);
        if (result != 0) {
            state.SkipWithError("the draw refused the window");
            break;
        }
    }
    glDisable(GL_CULL_FACE);
    state.counters["cells"] = double(side) * side;
    tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    if (renderer == shader)
        tmapGpuRelease();
    tmapRelease();
}

} // namespace

int main(int argc, char** argv)
{
    tmapGpuGetProcAddress = doNothingProc;
    for (int renderer : {cellOrder, grouped, shader})
        for (int kind : {flat, blocks})
            for (int side : sides) {
                std::string name = std::string("BM_Window") + kindNames[kind] + rendererNames[renderer]
                                   + std::to_string(side);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                    drawWindow(state, Renderer(renderer), Kind(kind), side);
                })->Unit(benchmark::kMicrosecond);
            }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
