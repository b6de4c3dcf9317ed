// The shader renderer's access to the GL: the headers that give the types
// and constants of OpenGL 3.3 / OpenGL ES 3.0, and one table of the functions
// it calls, filled by tmapGpuLoadFunctions at each upload. The renderer calls
// the GL only through this table, so the library needs no GL 3 symbols at
// link time (programs linking a GL 1 library, or the tests' recording GL,
// still link) and a program can hand over its own loader.
#ifndef TILVOGL_GPU_GL_H
#define TILVOGL_GPU_GL_H

#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h> // WebGL 2: the functions are linked directly
#elif defined(__APPLE__)
#include <OpenGL/gl3.h> // the core profile's types and constants
#else
#include <GL/gl.h>    // GLenum, GLuint, ... and the OpenGL 1 constants
#include <GL/glext.h> // the OpenGL 3 constants (GL_TEXTURE_2D_ARRAY, GL_R32I, ...)
#endif

// Every GL function the renderer calls: result, name without "gl", parameters.
#define TMAP_GPU_GL_FUNCTIONS(F)                                                                   \
    F(const GLubyte *, GetString, (GLenum name))                                                   \
    F(GLenum, GetError, (void))                                                                    \
    F(void, GetIntegerv, (GLenum name, GLint * values))                                            \
    F(void, GetFloatv, (GLenum name, GLfloat * values))                                            \
    F(GLboolean, IsEnabled, (GLenum capability))                                                   \
    F(void, GenTextures, (GLsizei count, GLuint * names))                                          \
    F(void, DeleteTextures, (GLsizei count, const GLuint *names))                                  \
    F(void, BindTexture, (GLenum target, GLuint name))                                             \
    F(void, ActiveTexture, (GLenum unit))                                                          \
    F(void, TexParameteri, (GLenum target, GLenum name, GLint value))                              \
    F(void, PixelStorei, (GLenum name, GLint value))                                               \
    F(void, BindBuffer, (GLenum target, GLuint name))                                              \
    F(void, TexImage2D, (GLenum target, GLint level, GLint internalFormat, GLsizei width,          \
                         GLsizei height, GLint border, GLenum format, GLenum type,                 \
                         const void *pixels))                                                      \
    F(void, TexSubImage2D, (GLenum target, GLint level, GLint x, GLint y, GLsizei width,           \
                            GLsizei height, GLenum format, GLenum type, const void *pixels))       \
    F(void, TexSubImage3D, (GLenum target, GLint level, GLint x, GLint y, GLint z, GLsizei width,     \
                            GLsizei height, GLsizei depth, GLenum format, GLenum type,             \
                            const void *pixels))                                                   \
    F(void, TexImage3D, (GLenum target, GLint level, GLint internalFormat, GLsizei width,          \
                         GLsizei height, GLsizei depth, GLint border, GLenum format, GLenum type,  \
                         const void *pixels))                                                      \
    F(GLuint, CreateShader, (GLenum type))                                                         \
    F(void, ShaderSource, (GLuint shader, GLsizei count, const GLchar *const *texts,              \
                           const GLint *lengths))                                                  \
    F(void, CompileShader, (GLuint shader))                                                        \
    F(void, GetShaderiv, (GLuint shader, GLenum name, GLint * value))                              \
    F(void, GetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei * length, GLchar * log))       \
    F(void, DeleteShader, (GLuint shader))                                                         \
    F(GLuint, CreateProgram, (void))                                                               \
    F(void, AttachShader, (GLuint program, GLuint shader))                                         \
    F(void, LinkProgram, (GLuint program))                                                         \
    F(void, GetProgramiv, (GLuint program, GLenum name, GLint * value))                            \
    F(void, GetProgramInfoLog, (GLuint program, GLsizei size, GLsizei * length, GLchar * log))     \
    F(void, DeleteProgram, (GLuint program))                                                       \
    F(void, UseProgram, (GLuint program))                                                          \
    F(GLint, GetUniformLocation, (GLuint program, const GLchar *name))                             \
    F(void, Uniform1i, (GLint location, GLint value))                                              \
    F(void, Uniform2i, (GLint location, GLint x, GLint y))                                         \
    F(void, Uniform4i, (GLint location, GLint x, GLint y, GLint z, GLint w))                       \
    F(void, Uniform1f, (GLint location, GLfloat value))                                            \
    F(void, Uniform4fv, (GLint location, GLsizei count, const GLfloat *values))                    \
    F(void, UniformMatrix3fv, (GLint location, GLsizei count, GLboolean transpose,                 \
                               const GLfloat *values))                                             \
    F(void, UniformMatrix4fv, (GLint location, GLsizei count, GLboolean transpose,                 \
                               const GLfloat *values))                                             \
    F(void, GenVertexArrays, (GLsizei count, GLuint * names))                                      \
    F(void, DeleteVertexArrays, (GLsizei count, const GLuint *names))                              \
    F(void, BindVertexArray, (GLuint name))                                                        \
    F(void, DrawArrays, (GLenum mode, GLint first, GLsizei count))                                 \
    F(void, DrawArraysInstanced, (GLenum mode, GLint first, GLsizei count, GLsizei instances))     \
    F(void, GenBuffers, (GLsizei count, GLuint * names))                                           \
    F(void, DeleteBuffers, (GLsizei count, const GLuint *names))                                   \
    F(void, BufferData, (GLenum target, GLsizeiptr size, const void *data, GLenum usage))          \
    F(void, EnableVertexAttribArray, (GLuint index))                                               \
    F(void, VertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized,      \
                                  GLsizei stride, const void *offset))                             \
    F(void, VertexAttribIPointer, (GLuint index, GLint size, GLenum type, GLsizei stride,          \
                                   const void *offset))                                            \
    F(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const void *offset))

#define TMAP_GPU_DECLARE_POINTER(result, name, parameters) result(*name) parameters;
struct TmapGpuFunctions {
    TMAP_GPU_GL_FUNCTIONS(TMAP_GPU_DECLARE_POINTER)
};
#undef TMAP_GPU_DECLARE_POINTER

extern TmapGpuFunctions tmapGl;

// Fills tmapGl through tmapFindGlFunction (glfunctions.h). Returns
// false when a function is missing.
bool tmapGpuLoadFunctions();

// What the current context offers the renderer.
struct TmapGpuContext {
    bool embedded; // OpenGL ES or WebGL: the shaders are GLSL ES 3.00
    int version;   // major * 10 + minor
};

// Whether a context of OpenGL 3.3, OpenGL ES 3.0 or newer is current.
bool tmapGpuQueryContext(TmapGpuContext &context);

#endif
