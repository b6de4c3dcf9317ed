// Recording double of GL, GLU and GLUT for tests.
//
// Linked in place of libGL/libGLU/libglut, it defines the entry points that
// the library and the demo programs call, with the real prototypes and C
// linkage. Each call is appended to one in-order log with its arguments, so
// a test can assert exact call sequences. Nothing is drawn.
//
// Reading the log:
//   gldouble::calls()            every call so far
//   gldouble::trace()            the calls as text, e.g. "glVertex3f(1,2,0)"
//   gldouble::trace({"glBegin", "glEnd"})   only calls with those names
//   gldouble::count("glBegin")   how many calls of one name
//
// Text form: name(arg,arg,...). Enum arguments print as their GL_ name when
// known (GL_TEXTURE_2D, GL_QUADS, ...) and in hex otherwise; numbers print in
// the shortest form that reads back to the same float or double; float and
// int blocks print in braces, "glFogfv(GL_FOG_COLOR,{0.5,0.5,0.5,1})";
// strings print quoted; pixel data of glTexImage2D prints as its byte count,
// "<1024 bytes>" (the bytes themselves are in Call::bytes). glDrawArrays and
// glMultiDrawArrays keep the vertices they draw in Call::floats, eight per
// vertex (s, t, nx, ny, nz, x, y, z), and glMultiDrawArrays its firsts and
// counts, in pairs, in Call::ints.
#ifndef TILVOGL_TESTS_GLDOUBLE_H
#define TILVOGL_TESTS_GLDOUBLE_H

#include <GL/gl.h>
#include <GL/glext.h> // the newer constants, which Windows' gl.h leaves out

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace gldouble {

// One recorded call.
struct Call {
    std::string name;
    std::vector<double> args;   // every scalar argument, in order
    std::string kinds;          // per argument: 'i' int, 'u' unsigned, 'e' enum, 'b' bitfield, 'f' float, 'd' double, 'p' pointer
    std::vector<float> floats;  // a copied float block (glFogfv, glLightfv, glMaterialfv, ...)
    std::vector<int> ints;      // a copied int block (glGetIntegerv results are not recorded)
    std::vector<uint8_t> bytes; // glTexImage2D pixels, rows packed tightly (unpack alignment padding removed)
    std::string text;           // string argument (window titles, game mode string)

    std::string str() const;    // text form, see above
    double arg(size_t i) const { return args.at(i); }
};

// Clears the log, the registered GLUT callbacks and every settable value.
void reset();

// Recording on (default) or off. Off, calls cost next to nothing and leave
// the log as it is; return values and tracked state still work.
void setRecording(bool on);
bool recording();

const std::vector<Call>& calls();
std::vector<Call> callsNamed(const std::string& name);
std::vector<Call> callsNamed(std::initializer_list<std::string> names);
size_t count(const std::string& name);
std::vector<std::string> trace();
std::vector<std::string> trace(std::initializer_list<std::string> names);
// The whole log (or the filtered log) as one string, one call per line;
// handy in failure messages.
std::string dump();
std::string dump(std::initializer_list<std::string> names);

// Name of a GL enum ("GL_TEXTURE_2D"), or "" when the double does not know it.
std::string enumName(GLenum value);

// Tracked state.
GLint unpackAlignment(); // last glPixelStorei(GL_UNPACK_ALIGNMENT, ...), initially 4
bool isEnabled(GLenum cap); // glEnable/glDisable, answered by glIsEnabled too

// Settable answers. Queries (glGet*, glIsEnabled, glGetError) are answered
// but not recorded, so the log holds the calls that change GL state.
void setElapsedTime(int milliseconds);              // glutGet(GLUT_ELAPSED_TIME)
void setGlutGet(GLenum query, int value);            // any other glutGet query (default 0)
void setGameModeGet(GLenum query, int value);        // glutGameModeGet (default 0)
void setVersion(const std::string& version);         // glGetString(GL_VERSION), "1.2 gldouble"
void setContextCurrent(bool current);                // false: glGetString answers NULL, as with no context
void setInteger(GLenum query, GLint value);          // any other glGetIntegerv query (default 0)

// GLUT callbacks as last registered (nullptr when none).
struct GlutCallbacks {
    void (*display)() = nullptr;
    void (*idle)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*keyboardUp)(unsigned char, int, int) = nullptr;
    void (*special)(int, int, int) = nullptr;
    void (*specialUp)(int, int, int) = nullptr;
    void (*mouse)(int, int, int, int) = nullptr;
    void (*motion)(int, int) = nullptr;
    void (*passiveMotion)(int, int) = nullptr;
    void (*visibility)(int) = nullptr;
    void (*entry)(int) = nullptr;
    void (*close)() = nullptr;
    void (*timer)(int) = nullptr; // the last glutTimerFunc callback
    unsigned timerDelay = 0;
    int timerValue = 0;
};
GlutCallbacks& glut();

} // namespace gldouble

#endif
