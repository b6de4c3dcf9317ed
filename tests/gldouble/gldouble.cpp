// Recording GL/GLU/GLUT double: every entry point appends one Call to the
// log (see gldouble.h). The entry points are grouped as GL, GLU and GLUT
// below; each records its arguments with a kind so the text form can print
// enums by name.
#include "gldouble.h"

#include <GL/glu.h>
#if !defined(_WIN32)
#include <GL/freeglut.h> // the Windows build makes no GLUT program
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace gldouble {
namespace {

struct Arg {
    double value;
    char kind;
};
Arg I(long v) { return {double(v), 'i'}; }
Arg U(unsigned long v) { return {double(v), 'u'}; }
Arg E(GLenum v) { return {double(v), 'e'}; }
Arg M(GLenum v) { return {double(v), 'm'}; }  // primitive mode of glBegin
Arg K(GLenum v) { return {double(v), 'k'}; }  // blend factor
Arg B(GLbitfield v) { return {double(v), 'b'}; }
Arg F(float v) { return {double(v), 'f'}; }
Arg D(double v) { return {v, 'd'}; }
Arg P(const void* p) { return {p ? 1.0 : 0.0, 'p'}; }

struct State {
    bool recording = true;
    std::vector<Call> log;
    GLint unpackAlignment = 4;
    std::set<GLenum> enabled;
    GLint viewport[4] = {0, 0, 0, 0};
    int elapsed = 0;
    std::map<GLenum, int> glutGets;
    std::map<GLenum, int> gameModeGets;
    GlutCallbacks callbacks;
    int windows = 0;
    int currentWindow = 0;
    GLuint lists = 0;
    GLuint textures = 0;
    std::string version = "1.2 gldouble";
    bool contextCurrent = true;
    // glPushAttrib: the enables saved by each push (empty when the push had
    // no GL_ENABLE_BIT).
    std::vector<std::pair<bool, std::set<GLenum>>> attribStack;
    std::map<GLenum, GLint> integers;
    // Client arrays as last pointed at: size, stride in bytes and data.
    struct Array {
        GLint size = 0;
        GLsizei stride = 0;
        const GLfloat* data = nullptr;
    } vertexArray, normalArray, texCoordArray;
};

State& state() {
    static State s;
    return s;
}

// Appends a call and returns it for blocks to be attached, or nullptr when
// recording is off.
Call* record(const char* name, std::initializer_list<Arg> args = {}) {
    State& s = state();
    if (!s.recording) return nullptr;
    s.log.emplace_back();
    Call& c = s.log.back();
    c.name = name;
    c.args.reserve(args.size());
    for (const Arg& a : args) {
        c.args.push_back(a.value);
        c.kinds.push_back(a.kind);
    }
    return &c;
}

void attachFloats(Call* c, const GLfloat* v, size_t n) {
    if (c && v) c->floats.assign(v, v + n);
}

void attachInts(Call* c, const GLint* v, size_t n) {
    if (c && v) c->ints.assign(v, v + n);
}

void attachText(Call* c, const char* text) {
    if (c) c->text = text ? text : "";
}

const std::map<GLenum, const char*>& enumTable() {
#define N(x) {x, #x}
    static const std::map<GLenum, const char*> table = {
        N(GL_TEXTURE_2D), N(GL_TEXTURE_1D), N(GL_UNPACK_ALIGNMENT), N(GL_PACK_ALIGNMENT),
        N(GL_UNPACK_ROW_LENGTH), N(GL_TEXTURE_WRAP_S), N(GL_TEXTURE_WRAP_T),
        N(GL_TEXTURE_MAG_FILTER), N(GL_TEXTURE_MIN_FILTER), N(GL_CLAMP_TO_EDGE), N(GL_CLAMP),
        N(GL_REPEAT), N(GL_NEAREST), N(GL_LINEAR), N(GL_LINEAR_MIPMAP_LINEAR),
        N(GL_TEXTURE_ENV), N(GL_TEXTURE_ENV_MODE), N(GL_MODULATE), N(GL_REPLACE), N(GL_DECAL),
        N(GL_RGBA), N(GL_RGB), N(GL_BGRA), N(GL_BGR), N(GL_ALPHA), N(GL_LUMINANCE),
        N(GL_LUMINANCE_ALPHA), N(GL_UNSIGNED_BYTE), N(GL_BYTE), N(GL_FLOAT),
        N(GL_UNSIGNED_SHORT), N(GL_UNSIGNED_INT), N(GL_RGBA8), N(GL_RGB8),
        N(GL_DEPTH_TEST), N(GL_CULL_FACE), N(GL_FOG), N(GL_LIGHTING), N(GL_BLEND),
        N(GL_COLOR_MATERIAL), N(GL_NORMALIZE), N(GL_ALPHA_TEST), N(GL_SCISSOR_TEST),
        N(GL_DITHER), N(GL_LINE_SMOOTH), N(GL_POLYGON_OFFSET_FILL),
        N(GL_LIGHT0), N(GL_LIGHT1), N(GL_LIGHT2), N(GL_LIGHT3), N(GL_LIGHT4), N(GL_LIGHT5),
        N(GL_LIGHT6), N(GL_LIGHT7), N(GL_AMBIENT), N(GL_DIFFUSE), N(GL_SPECULAR),
        N(GL_POSITION), N(GL_SPOT_DIRECTION), N(GL_SPOT_EXPONENT), N(GL_SPOT_CUTOFF),
        N(GL_CONSTANT_ATTENUATION), N(GL_LINEAR_ATTENUATION), N(GL_QUADRATIC_ATTENUATION),
        N(GL_EMISSION), N(GL_SHININESS), N(GL_AMBIENT_AND_DIFFUSE),
        N(GL_LIGHT_MODEL_AMBIENT), N(GL_LIGHT_MODEL_LOCAL_VIEWER), N(GL_LIGHT_MODEL_TWO_SIDE),
        N(GL_LIGHT_MODEL_COLOR_CONTROL), N(GL_SEPARATE_SPECULAR_COLOR), N(GL_SINGLE_COLOR),
        N(GL_FOG_MODE), N(GL_FOG_DENSITY), N(GL_FOG_START), N(GL_FOG_END), N(GL_FOG_COLOR),
        N(GL_FOG_HINT), N(GL_EXP), N(GL_EXP2), N(GL_FRONT), N(GL_BACK), N(GL_FRONT_AND_BACK),
        N(GL_CW), N(GL_CCW), N(GL_SRC_ALPHA), N(GL_ONE_MINUS_SRC_ALPHA), N(GL_SRC_COLOR),
        N(GL_ONE_MINUS_SRC_COLOR), N(GL_DST_ALPHA), N(GL_ONE_MINUS_DST_ALPHA), N(GL_DST_COLOR),
        N(GL_ONE_MINUS_DST_COLOR), N(GL_NEVER), N(GL_LESS), N(GL_EQUAL), N(GL_LEQUAL),
        N(GL_GREATER), N(GL_NOTEQUAL), N(GL_GEQUAL), N(GL_ALWAYS), N(GL_MODELVIEW),
        N(GL_PROJECTION), N(GL_TEXTURE), N(GL_COMPILE), N(GL_COMPILE_AND_EXECUTE),
        N(GL_SMOOTH), N(GL_FLAT), N(GL_PERSPECTIVE_CORRECTION_HINT), N(GL_NICEST),
        N(GL_FASTEST), N(GL_DONT_CARE), N(GL_FILL), N(GL_LINE), N(GL_POINT), N(GL_VIEWPORT),
        N(GL_MAX_TEXTURE_SIZE), N(GL_TEXTURE_BINDING_2D), N(GL_VENDOR), N(GL_RENDERER),
        N(GL_VERSION), N(GL_EXTENSIONS), N(GL_VERTEX_ARRAY), N(GL_NORMAL_ARRAY),
        N(GL_TEXTURE_COORD_ARRAY), N(GL_COLOR_ARRAY), N(GL_INDEX_ARRAY), N(GL_EDGE_FLAG_ARRAY),
    };
#undef N
    return table;
}

const char* primitiveName(GLenum mode) {
    static const char* names[] = {"GL_POINTS",         "GL_LINES",        "GL_LINE_LOOP",
                                  "GL_LINE_STRIP",     "GL_TRIANGLES",    "GL_TRIANGLE_STRIP",
                                  "GL_TRIANGLE_FAN",   "GL_QUADS",        "GL_QUAD_STRIP",
                                  "GL_POLYGON"};
    return mode < 10 ? names[mode] : nullptr;
}

std::string hex(unsigned long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lX", v);
    return buf;
}

// Shortest decimal form that reads back to the same float.
std::string floatText(float v) {
    char buf[64];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, double(v));
        if (std::strtof(buf, nullptr) == v) break;
    }
    return buf;
}

std::string doubleText(double v) {
    char buf[64];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

std::string argText(double value, char kind) {
    switch (kind) {
    case 'e': {
        // 0 and 1 mean too many things (GL_ZERO, GL_POINTS, GL_TRUE...) to name.
        if (value > 1) {
            std::string name = enumName(GLenum(value));
            return name.empty() ? hex((unsigned long)value) : name;
        }
        return doubleText(value);
    }
    case 'm': {
        const char* name = primitiveName(GLenum(value));
        return name ? name : hex((unsigned long)value);
    }
    case 'k':
        if (value == 0) return "GL_ZERO";
        if (value == 1) return "GL_ONE";
        return argText(value, 'e');
    case 'b': {
        unsigned long bits = (unsigned long)value;
        static const std::pair<unsigned long, const char*> names[] = {
            {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
            {GL_DEPTH_BUFFER_BIT, "GL_DEPTH_BUFFER_BIT"},
            {GL_STENCIL_BUFFER_BIT, "GL_STENCIL_BUFFER_BIT"},
            {GL_ACCUM_BUFFER_BIT, "GL_ACCUM_BUFFER_BIT"}};
        std::string out;
        for (const auto& n : names) {
            if (bits & n.first) {
                if (!out.empty()) out += '|';
                out += n.second;
                bits &= ~n.first;
            }
        }
        if (bits || out.empty()) {
            if (!out.empty()) out += '|';
            out += hex(bits);
        }
        return out;
    }
    case 'f':
        return floatText(float(value));
    case 'p':
        return value != 0 ? "fn" : "NULL";
    default:
        return doubleText(value);
    }
}

size_t pixelSize(GLenum format, GLenum type) {
    size_t components = 0;
    switch (format) {
    case GL_RGBA: case GL_BGRA: components = 4; break;
    case GL_RGB: case GL_BGR: components = 3; break;
    case GL_LUMINANCE_ALPHA: components = 2; break;
    case GL_ALPHA: case GL_LUMINANCE: case GL_RED: case GL_GREEN: case GL_BLUE: components = 1; break;
    default: return 0;
    }
    switch (type) {
    case GL_UNSIGNED_BYTE: case GL_BYTE: return components;
    case GL_UNSIGNED_SHORT: case GL_SHORT: return components * 2;
    case GL_UNSIGNED_INT: case GL_INT: case GL_FLOAT: return components * 4;
    default: return 0;
    }
}

// Number of floats a vector parameter of glLightfv/glMaterialfv/glFogfv holds.
size_t lightVectorSize(GLenum pname) {
    switch (pname) {
    case GL_AMBIENT: case GL_DIFFUSE: case GL_SPECULAR: case GL_POSITION: case GL_EMISSION:
    case GL_AMBIENT_AND_DIFFUSE: case GL_FOG_COLOR: case GL_LIGHT_MODEL_AMBIENT:
        return 4;
    case GL_SPOT_DIRECTION: case GL_COLOR_INDEXES:
        return 3;
    default:
        return 1;
    }
}

// Enum-valued parameters of glTexParameter/glTexEnv/glFog print by name.
char paramKind(GLenum pname) {
    switch (pname) {
    case GL_TEXTURE_WRAP_S: case GL_TEXTURE_WRAP_T: case GL_TEXTURE_MAG_FILTER:
    case GL_TEXTURE_MIN_FILTER: case GL_TEXTURE_ENV_MODE: case GL_FOG_MODE:
    case GL_LIGHT_MODEL_COLOR_CONTROL:
        return 'e';
    default:
        return 0;
    }
}

template <typename T>
Arg param(GLenum pname, T value, Arg (*plain)(T)) {
    return paramKind(pname) ? E(GLenum(value)) : plain(value);
}
Arg Fv(float v) { return F(v); }
Arg Iv(GLint v) { return I(v); }

} // namespace

std::string enumName(GLenum value) {
    const auto& table = enumTable();
    auto it = table.find(value);
    return it == table.end() ? std::string() : std::string(it->second);
}

std::string Call::str() const {
    std::string out = name + "(";
    bool first = true;
    auto sep = [&] {
        if (!first) out += ',';
        first = false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        // A pointer argument carrying a block prints as the block.
        if (kinds[i] == 'p' && (!floats.empty() || !ints.empty() || !bytes.empty() || !text.empty()))
            continue;
        sep();
        out += argText(args[i], kinds[i]);
    }
    if (!floats.empty()) {
        sep();
        out += '{';
        for (size_t i = 0; i < floats.size(); ++i) out += (i ? "," : "") + floatText(floats[i]);
        out += '}';
    }
    if (!ints.empty()) {
        sep();
        out += '{';
        for (size_t i = 0; i < ints.size(); ++i) out += (i ? "," : "") + std::to_string(ints[i]);
        out += '}';
    }
    if (!bytes.empty()) {
        sep();
        out += "<" + std::to_string(bytes.size()) + " bytes>";
    }
    if (!text.empty()) {
        sep();
        out += "\"" + text + "\"";
    }
    return out + ")";
}

void reset() {
    bool wasRecording = state().recording;
    state() = State();
    state().recording = wasRecording;
}

void setRecording(bool on) { state().recording = on; }
bool recording() { return state().recording; }

const std::vector<Call>& calls() { return state().log; }

std::vector<Call> callsNamed(std::initializer_list<std::string> names) {
    std::vector<Call> out;
    for (const Call& c : state().log)
        for (const std::string& n : names)
            if (c.name == n) {
                out.push_back(c);
                break;
            }
    return out;
}

std::vector<Call> callsNamed(const std::string& name) { return callsNamed({name}); }

size_t count(const std::string& name) {
    size_t n = 0;
    for (const Call& c : state().log) n += c.name == name;
    return n;
}

std::vector<std::string> trace() {
    std::vector<std::string> out;
    for (const Call& c : state().log) out.push_back(c.str());
    return out;
}

std::vector<std::string> trace(std::initializer_list<std::string> names) {
    std::vector<std::string> out;
    for (const Call& c : callsNamed(names)) out.push_back(c.str());
    return out;
}

static std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

std::string dump() { return joinLines(trace()); }
std::string dump(std::initializer_list<std::string> names) { return joinLines(trace(names)); }

GLint unpackAlignment() { return state().unpackAlignment; }
bool isEnabled(GLenum cap) { return state().enabled.count(cap) != 0; }
void setElapsedTime(int milliseconds) { state().elapsed = milliseconds; }
void setGlutGet(GLenum query, int value) { state().glutGets[query] = value; }
void setGameModeGet(GLenum query, int value) { state().gameModeGets[query] = value; }
void setVersion(const std::string& version) { state().version = version; }
void setContextCurrent(bool current) { state().contextCurrent = current; }
void setInteger(GLenum query, GLint value) { state().integers[query] = value; }
GlutCallbacks& glut() { return state().callbacks; }

} // namespace gldouble

using gldouble::B;
using gldouble::D;
using gldouble::E;
using gldouble::F;
using gldouble::I;
using gldouble::K;
using gldouble::M;
using gldouble::P;
using gldouble::U;
using gldouble::record;
using gldouble::state;

extern "C" {

/* ---------------- GL ---------------- */

void glBindTexture(GLenum target, GLuint texture) { record("glBindTexture", {E(target), U(texture)}); }

void glPixelStorei(GLenum pname, GLint param) {
    if (pname == GL_UNPACK_ALIGNMENT) state().unpackAlignment = param;
    record("glPixelStorei", {E(pname), I(param)});
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    record("glTexParameteri", {E(target), E(pname), gldouble::param(pname, param, gldouble::Iv)});
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    record("glTexParameterf", {E(target), E(pname), gldouble::param(pname, param, gldouble::Fv)});
}

void glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    record("glTexEnvf", {E(target), E(pname), gldouble::param(pname, param, gldouble::Fv)});
}

void glTexEnvi(GLenum target, GLenum pname, GLint param) {
    record("glTexEnvi", {E(target), E(pname), gldouble::param(pname, param, gldouble::Iv)});
}

void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    gldouble::Call* c = record("glTexImage2D", {E(target), I(level), E(GLenum(internalformat)), I(width),
                                                I(height), I(border), E(format), E(type), P(pixels)});
    size_t pixel = gldouble::pixelSize(format, type);
    if (!c || !pixels || pixel == 0 || width <= 0 || height <= 0) return;
    size_t row = pixel * size_t(width);
    size_t align = size_t(state().unpackAlignment > 0 ? state().unpackAlignment : 1);
    size_t stride = (row + align - 1) / align * align;
    const auto* src = static_cast<const uint8_t*>(pixels);
    c->bytes.reserve(row * size_t(height));
    for (GLsizei y = 0; y < height; ++y)
        c->bytes.insert(c->bytes.end(), src + size_t(y) * stride, src + size_t(y) * stride + row);
}

void glGenTextures(GLsizei n, GLuint* textures) {
    for (GLsizei i = 0; i < n; ++i) textures[i] = ++state().textures;
    record("glGenTextures", {I(n)});
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    gldouble::Call* c = record("glDeleteTextures", {I(n)});
    if (c && textures) c->ints.assign(textures, textures + n);
}

void glEnable(GLenum cap) {
    state().enabled.insert(cap);
    record("glEnable", {E(cap)});
}

void glDisable(GLenum cap) {
    state().enabled.erase(cap);
    record("glDisable", {E(cap)});
}

GLboolean glIsEnabled(GLenum cap) { return gldouble::isEnabled(cap) ? GL_TRUE : GL_FALSE; }

void glBegin(GLenum mode) { record("glBegin", {M(mode)}); }
void glEnd(void) { record("glEnd"); }

void glEnableClientState(GLenum array) { record("glEnableClientState", {E(array)}); }
void glDisableClientState(GLenum array) { record("glDisableClientState", {E(array)}); }
void glPushAttrib(GLbitfield mask) {
    state().attribStack.push_back({(mask & GL_ENABLE_BIT) != 0, state().enabled});
    record("glPushAttrib", {B(mask)});
}

void glPopAttrib(void) {
    if (!state().attribStack.empty()) {
        if (state().attribStack.back().first) state().enabled = state().attribStack.back().second;
        state().attribStack.pop_back();
    }
    record("glPopAttrib");
}

void glPushClientAttrib(GLbitfield mask) { record("glPushClientAttrib", {B(mask)}); }
void glPopClientAttrib(void) { record("glPopClientAttrib"); }

static void pointArray(const char* name, gldouble::State::Array& array, GLint size, GLenum type,
                       GLsizei stride, const GLvoid* data) {
    array = {size, stride ? stride : GLsizei(size * sizeof(GLfloat)),
             type == GL_FLOAT ? static_cast<const GLfloat*>(data) : nullptr};
    record(name, {I(size), E(type), I(stride), P(data)});
}

void glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* data) {
    pointArray("glVertexPointer", state().vertexArray, size, type, stride, data);
}
void glNormalPointer(GLenum type, GLsizei stride, const GLvoid* data) {
    pointArray("glNormalPointer", state().normalArray, 3, type, stride, data);
}
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* data) {
    pointArray("glTexCoordPointer", state().texCoordArray, size, type, stride, data);
}

// The drawn vertices are copied into the call's float block, per vertex its
// texture coordinates, normal and position (s, t, nx, ny, nz, x, y, z), as
// they stand in the arrays pointed at; arrays of other types give zeros.
static void copyVertices(gldouble::Call* c, GLint first, GLsizei count) {
    if (!c) return;
    const gldouble::State& s = state();
    for (GLsizei i = 0; i < count; ++i) {
        const gldouble::State::Array* arrays[3] = {&s.texCoordArray, &s.normalArray, &s.vertexArray};
        for (const gldouble::State::Array* a : arrays) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(a->data);
            for (GLint k = 0; k < (a == &s.texCoordArray ? 2 : 3); ++k) {
                GLfloat value = 0.0f;
                if (bytes && k < a->size)
                    std::memcpy(&value, bytes + size_t(first + i) * size_t(a->stride) + size_t(k) * sizeof(GLfloat),
                                sizeof value);
                c->floats.push_back(value);
            }
        }
    }
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    copyVertices(record("glDrawArrays", {M(mode), I(first), I(count)}), first, count);
}

void glMultiDrawArrays(GLenum mode, const GLint* first, const GLsizei* count, GLsizei drawcount) {
    gldouble::Call* c = record("glMultiDrawArrays", {M(mode), I(drawcount)});
    for (GLsizei d = 0; d < drawcount; ++d) {
        if (c) {
            c->ints.push_back(first[d]);
            c->ints.push_back(count[d]);
        }
        copyVertices(c, first[d], count[d]);
    }
}
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { record("glNormal3f", {F(x), F(y), F(z)}); }
void glNormal3fv(const GLfloat* v) { record("glNormal3f", {F(v[0]), F(v[1]), F(v[2])}); }
void glTexCoord2f(GLfloat s, GLfloat t) { record("glTexCoord2f", {F(s), F(t)}); }
void glTexCoord2fv(const GLfloat* v) { record("glTexCoord2f", {F(v[0]), F(v[1])}); }
void glVertex2f(GLfloat x, GLfloat y) { record("glVertex2f", {F(x), F(y)}); }
void glVertex2i(GLint x, GLint y) { record("glVertex2i", {I(x), I(y)}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {F(x), F(y), F(z)}); }
void glVertex3fv(const GLfloat* v) { record("glVertex3f", {F(v[0]), F(v[1]), F(v[2])}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {F(r), F(g), F(b)}); }
void glColor3ub(GLubyte r, GLubyte g, GLubyte b) { record("glColor3ub", {I(r), I(g), I(b)}); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("glColor4f", {F(r), F(g), F(b), F(a)}); }
void glColor4fv(const GLfloat* v) { record("glColor4f", {F(v[0]), F(v[1]), F(v[2]), F(v[3])}); }
void glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) { record("glColor4ub", {I(r), I(g), I(b), I(a)}); }
void glRectf(GLfloat x1, GLfloat y1, GLfloat x2, GLfloat y2) { record("glRectf", {F(x1), F(y1), F(x2), F(y2)}); }
void glRecti(GLint x1, GLint y1, GLint x2, GLint y2) { record("glRecti", {I(x1), I(y1), I(x2), I(y2)}); }
void glRasterPos2i(GLint x, GLint y) { record("glRasterPos2i", {I(x), I(y)}); }
void glRasterPos2f(GLfloat x, GLfloat y) { record("glRasterPos2f", {F(x), F(y)}); }
void glLineWidth(GLfloat width) { record("glLineWidth", {F(width)}); }

void glClear(GLbitfield mask) { record("glClear", {B(mask)}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {F(r), F(g), F(b), F(a)}); }
void glClearDepth(GLclampd depth) { record("glClearDepth", {D(depth)}); }
void glDepthRange(GLclampd nearVal, GLclampd farVal) { record("glDepthRange", {D(nearVal), D(farVal)}); }
void glDepthFunc(GLenum func) { record("glDepthFunc", {E(func)}); }
void glDepthMask(GLboolean flag) { record("glDepthMask", {I(flag)}); }
void glAlphaFunc(GLenum func, GLclampf ref) { record("glAlphaFunc", {E(func), F(ref)}); }
void glShadeModel(GLenum mode) { record("glShadeModel", {E(mode)}); }
void glHint(GLenum target, GLenum mode) { record("glHint", {E(target), E(mode)}); }
void glPolygonMode(GLenum face, GLenum mode) { record("glPolygonMode", {E(face), E(mode)}); }
void glScissor(GLint x, GLint y, GLsizei w, GLsizei h) { record("glScissor", {I(x), I(y), I(w), I(h)}); }

void glFogi(GLenum pname, GLint param) { record("glFogi", {E(pname), gldouble::param(pname, param, gldouble::Iv)}); }
void glFogf(GLenum pname, GLfloat param) { record("glFogf", {E(pname), gldouble::param(pname, param, gldouble::Fv)}); }
void glFogfv(GLenum pname, const GLfloat* params) {
    gldouble::Call* c = record("glFogfv", {E(pname), P(params)});
    gldouble::attachFloats(c, params, gldouble::lightVectorSize(pname));
}
void glFogiv(GLenum pname, const GLint* params) {
    gldouble::Call* c = record("glFogiv", {E(pname), P(params)});
    gldouble::attachInts(c, params, gldouble::lightVectorSize(pname));
}

void glFrontFace(GLenum mode) { record("glFrontFace", {E(mode)}); }
void glCullFace(GLenum mode) { record("glCullFace", {E(mode)}); }
void glBlendFunc(GLenum sfactor, GLenum dfactor) { record("glBlendFunc", {K(sfactor), K(dfactor)}); }

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    GLint* v = state().viewport;
    v[0] = x, v[1] = y, v[2] = width, v[3] = height;
    record("glViewport", {I(x), I(y), I(width), I(height)});
}

void glMatrixMode(GLenum mode) { record("glMatrixMode", {E(mode)}); }
void glLoadIdentity(void) { record("glLoadIdentity"); }
void glPushMatrix(void) { record("glPushMatrix"); }
void glPopMatrix(void) { record("glPopMatrix"); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) { record("glRotatef", {F(angle), F(x), F(y), F(z)}); }
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) { record("glRotated", {D(angle), D(x), D(y), D(z)}); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { record("glScalef", {F(x), F(y), F(z)}); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {F(x), F(y), F(z)}); }
void glTranslated(GLdouble x, GLdouble y, GLdouble z) { record("glTranslated", {D(x), D(y), D(z)}); }
void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    record("glOrtho", {D(l), D(r), D(b), D(t), D(n), D(f)});
}
void glFrustum(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    record("glFrustum", {D(l), D(r), D(b), D(t), D(n), D(f)});
}
void glLoadMatrixf(const GLfloat* m) { gldouble::attachFloats(record("glLoadMatrixf", {P(m)}), m, 16); }
void glMultMatrixf(const GLfloat* m) { gldouble::attachFloats(record("glMultMatrixf", {P(m)}), m, 16); }

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    gldouble::Call* c = record("glLightfv", {E(light), E(pname), P(params)});
    gldouble::attachFloats(c, params, gldouble::lightVectorSize(pname));
}
void glLightf(GLenum light, GLenum pname, GLfloat param) { record("glLightf", {E(light), E(pname), F(param)}); }
void glLightModelfv(GLenum pname, const GLfloat* params) {
    gldouble::Call* c = record("glLightModelfv", {E(pname), P(params)});
    gldouble::attachFloats(c, params, gldouble::lightVectorSize(pname));
}
void glLightModelf(GLenum pname, GLfloat param) { record("glLightModelf", {E(pname), F(param)}); }
void glLightModeli(GLenum pname, GLint param) {
    record("glLightModeli", {E(pname), gldouble::param(pname, param, gldouble::Iv)});
}
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    gldouble::Call* c = record("glMaterialfv", {E(face), E(pname), P(params)});
    gldouble::attachFloats(c, params, gldouble::lightVectorSize(pname));
}
void glMaterialf(GLenum face, GLenum pname, GLfloat param) { record("glMaterialf", {E(face), E(pname), F(param)}); }
void glColorMaterial(GLenum face, GLenum mode) { record("glColorMaterial", {E(face), E(mode)}); }

GLuint glGenLists(GLsizei range) {
    GLuint first = state().lists + 1;
    state().lists += GLuint(range);
    record("glGenLists", {I(range)});
    return first;
}
void glDeleteLists(GLuint list, GLsizei range) { record("glDeleteLists", {U(list), I(range)}); }
GLboolean glIsList(GLuint list) { return list != 0 && list <= state().lists ? GL_TRUE : GL_FALSE; }
void glNewList(GLuint list, GLenum mode) { record("glNewList", {U(list), E(mode)}); }
void glEndList(void) { record("glEndList"); }
void glCallList(GLuint list) { record("glCallList", {U(list)}); }

void glFinish(void) { record("glFinish"); }
void glFlush(void) { record("glFlush"); }

GLenum glGetError(void) { return GL_NO_ERROR; }

void glGetIntegerv(GLenum pname, GLint* params) {
    switch (pname) {
    case GL_VIEWPORT: std::memcpy(params, state().viewport, sizeof state().viewport); break;
    case GL_UNPACK_ALIGNMENT: params[0] = state().unpackAlignment; break;
    case GL_MAX_TEXTURE_SIZE: params[0] = 4096; break;
    default: {
        auto set = state().integers.find(pname);
        params[0] = set != state().integers.end() ? set->second : 0;
        break;
    }
    }
}

// Matrices are not tracked: every matrix reads as the identity.
void glGetDoublev(GLenum pname, GLdouble* params) {
    switch (pname) {
    case GL_MODELVIEW_MATRIX: case GL_PROJECTION_MATRIX: case GL_TEXTURE_MATRIX:
        for (int i = 0; i < 16; ++i) params[i] = i % 5 == 0 ? 1.0 : 0.0;
        break;
    default: params[0] = 0.0; break;
    }
}

void glGetFloatv(GLenum pname, GLfloat* params) {
    switch (pname) {
    case GL_MODELVIEW_MATRIX: case GL_PROJECTION_MATRIX: case GL_TEXTURE_MATRIX:
        for (int i = 0; i < 16; ++i) params[i] = i % 5 == 0 ? 1.0f : 0.0f;
        break;
    default: params[0] = 0.0f; break;
    }
}

const GLubyte* glGetString(GLenum name) {
    if (!state().contextCurrent) return nullptr;
    static const GLubyte vendor[] = "gldouble";
    static const GLubyte empty[] = "";
    switch (name) {
    case GL_VENDOR: case GL_RENDERER: return vendor;
    case GL_VERSION: return reinterpret_cast<const GLubyte*>(state().version.c_str());
    default: return empty;
    }
}

/* ---------------- GLU ---------------- */

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record("gluPerspective", {D(fovy), D(aspect), D(zNear), D(zFar)});
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    record("gluLookAt", {D(eyeX), D(eyeY), D(eyeZ), D(centerX), D(centerY), D(centerZ), D(upX), D(upY), D(upZ)});
}

void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    record("gluOrtho2D", {D(left), D(right), D(bottom), D(top)});
}

/* ---------------- GLUT ---------------- */
#if !defined(_WIN32)

// Font handles are compared by address only.
void* glutStrokeRoman;
void* glutStrokeMonoRoman;
void* glutBitmap9By15;
void* glutBitmap8By13;
void* glutBitmapTimesRoman10;
void* glutBitmapTimesRoman24;
void* glutBitmapHelvetica10;
void* glutBitmapHelvetica12;
void* glutBitmapHelvetica18;

void glutInit(int* pargc, char** argv) {
    gldouble::Call* c = record("glutInit", {I(pargc ? *pargc : 0)});
    if (c && pargc && argv) {
        for (int i = 0; i < *pargc; ++i) c->text += (i ? " " : "") + std::string(argv[i] ? argv[i] : "");
    }
}
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {U(mode)}); }
void glutInitWindowPosition(int x, int y) { record("glutInitWindowPosition", {I(x), I(y)}); }
void glutInitWindowSize(int width, int height) { record("glutInitWindowSize", {I(width), I(height)}); }
void glutGameModeString(const char* string) { gldouble::attachText(record("glutGameModeString"), string); }

int glutGameModeGet(GLenum query) {
    record("glutGameModeGet", {U(query)});
    auto it = state().gameModeGets.find(query);
    return it == state().gameModeGets.end() ? 0 : it->second;
}

int glutEnterGameMode(void) {
    record("glutEnterGameMode");
    state().currentWindow = ++state().windows;
    return state().currentWindow;
}
void glutLeaveGameMode(void) { record("glutLeaveGameMode"); }

int glutCreateWindow(const char* title) {
    gldouble::attachText(record("glutCreateWindow"), title);
    state().currentWindow = ++state().windows;
    return state().currentWindow;
}
void glutDestroyWindow(int window) { record("glutDestroyWindow", {I(window)}); }
void glutSetWindow(int window) {
    state().currentWindow = window;
    record("glutSetWindow", {I(window)});
}
int glutGetWindow(void) { return state().currentWindow; }
void glutSetWindowTitle(const char* title) { gldouble::attachText(record("glutSetWindowTitle"), title); }
void glutReshapeWindow(int width, int height) { record("glutReshapeWindow", {I(width), I(height)}); }
void glutPositionWindow(int x, int y) { record("glutPositionWindow", {I(x), I(y)}); }
void glutShowWindow(void) { record("glutShowWindow"); }
void glutHideWindow(void) { record("glutHideWindow"); }
void glutFullScreen(void) { record("glutFullScreen"); }
void glutSetCursor(int cursor) { record("glutSetCursor", {I(cursor)}); }
void glutWarpPointer(int x, int y) { record("glutWarpPointer", {I(x), I(y)}); }

void glutDisplayFunc(void (*callback)(void)) {
    gldouble::glut().display = callback;
    record("glutDisplayFunc", {P((const void*)callback)});
}
void glutIdleFunc(void (*callback)(void)) {
    gldouble::glut().idle = callback;
    record("glutIdleFunc", {P((const void*)callback)});
}
void glutReshapeFunc(void (*callback)(int, int)) {
    gldouble::glut().reshape = callback;
    record("glutReshapeFunc", {P((const void*)callback)});
}
void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
    gldouble::glut().keyboard = callback;
    record("glutKeyboardFunc", {P((const void*)callback)});
}
void glutKeyboardUpFunc(void (*callback)(unsigned char, int, int)) {
    gldouble::glut().keyboardUp = callback;
    record("glutKeyboardUpFunc", {P((const void*)callback)});
}
void glutSpecialFunc(void (*callback)(int, int, int)) {
    gldouble::glut().special = callback;
    record("glutSpecialFunc", {P((const void*)callback)});
}
void glutSpecialUpFunc(void (*callback)(int, int, int)) {
    gldouble::glut().specialUp = callback;
    record("glutSpecialUpFunc", {P((const void*)callback)});
}
void glutMouseFunc(void (*callback)(int, int, int, int)) {
    gldouble::glut().mouse = callback;
    record("glutMouseFunc", {P((const void*)callback)});
}
void glutMotionFunc(void (*callback)(int, int)) {
    gldouble::glut().motion = callback;
    record("glutMotionFunc", {P((const void*)callback)});
}
void glutPassiveMotionFunc(void (*callback)(int, int)) {
    gldouble::glut().passiveMotion = callback;
    record("glutPassiveMotionFunc", {P((const void*)callback)});
}
void glutVisibilityFunc(void (*callback)(int)) {
    gldouble::glut().visibility = callback;
    record("glutVisibilityFunc", {P((const void*)callback)});
}
void glutEntryFunc(void (*callback)(int)) {
    gldouble::glut().entry = callback;
    record("glutEntryFunc", {P((const void*)callback)});
}
void glutCloseFunc(void (*callback)(void)) {
    gldouble::glut().close = callback;
    record("glutCloseFunc", {P((const void*)callback)});
}
void glutWMCloseFunc(void (*callback)(void)) {
    gldouble::glut().close = callback;
    record("glutWMCloseFunc", {P((const void*)callback)});
}
void glutTimerFunc(unsigned int time, void (*callback)(int), int value) {
    gldouble::GlutCallbacks& g = gldouble::glut();
    g.timer = callback;
    g.timerDelay = time;
    g.timerValue = value;
    record("glutTimerFunc", {U(time), P((const void*)callback), I(value)});
}

void glutIgnoreKeyRepeat(int ignore) { record("glutIgnoreKeyRepeat", {I(ignore)}); }
void glutSetKeyRepeat(int repeatMode) { record("glutSetKeyRepeat", {I(repeatMode)}); }
int glutGetModifiers(void) { return 0; }
void glutSetOption(GLenum option, int value) { record("glutSetOption", {U(option), I(value)}); }

// Returns at once, so a program's main can be run to its end in a test.
void glutMainLoop(void) { record("glutMainLoop"); }
void glutMainLoopEvent(void) { record("glutMainLoopEvent"); }
void glutLeaveMainLoop(void) { record("glutLeaveMainLoop"); }
void glutPostRedisplay(void) { record("glutPostRedisplay"); }
void glutSwapBuffers(void) { record("glutSwapBuffers"); }

int glutGet(GLenum query) {
    record("glutGet", {U(query)});
    if (query == GLUT_ELAPSED_TIME) return state().elapsed;
    auto it = state().glutGets.find(query);
    return it == state().glutGets.end() ? 0 : it->second;
}

// Bitmap fonts: every glyph is 8 pixels wide and 13 high.
void glutBitmapCharacter(void* font, int character) { record("glutBitmapCharacter", {P(font), I(character)}); }
int glutBitmapWidth(void*, int) { return 8; }
void glutBitmapString(void* font, const unsigned char* string) {
    gldouble::attachText(record("glutBitmapString", {P(font)}), reinterpret_cast<const char*>(string));
}
int glutBitmapLength(void*, const unsigned char* string) {
    return string ? 8 * int(std::strlen(reinterpret_cast<const char*>(string))) : 0;
}
int glutBitmapHeight(void*) { return 13; }

// The context a program asks for before creating its window.
void glutInitContextVersion(int major, int minor) { record("glutInitContextVersion", {I(major), I(minor)}); }
void glutInitContextProfile(int profile) { record("glutInitContextProfile", {I(profile)}); }

#endif // GLUT

/* ---------------- shaders and buffers (GL 3) ----------------
 * Recorded only, for programs that draw a little with shaders of their own:
 * every shader compiles and links, and names count up from 1. */
static GLuint nextObjectName() {
    static GLuint last = 0;
    return ++last;
}
GLuint glCreateShader(GLenum type) {
    record("glCreateShader", {E(type)});
    return nextObjectName();
}
void glShaderSource(GLuint shader, GLsizei, const GLchar* const*, const GLint*) {
    record("glShaderSource", {U(shader)});
}
void glCompileShader(GLuint shader) { record("glCompileShader", {U(shader)}); }
void glDeleteShader(GLuint shader) { record("glDeleteShader", {U(shader)}); }
void glGetShaderiv(GLuint, GLenum, GLint* params) { *params = 1; }
void glGetShaderInfoLog(GLuint, GLsizei size, GLsizei* length, GLchar* log) {
    if (length) *length = 0;
    if (size > 0) log[0] = 0;
}
GLuint glCreateProgram(void) {
    record("glCreateProgram");
    return nextObjectName();
}
void glAttachShader(GLuint program, GLuint shader) { record("glAttachShader", {U(program), U(shader)}); }
void glLinkProgram(GLuint program) { record("glLinkProgram", {U(program)}); }
void glGetProgramiv(GLuint, GLenum, GLint* params) { *params = 1; }
void glGetProgramInfoLog(GLuint, GLsizei size, GLsizei* length, GLchar* log) {
    if (length) *length = 0;
    if (size > 0) log[0] = 0;
}
void glUseProgram(GLuint program) { record("glUseProgram", {U(program)}); }
GLint glGetUniformLocation(GLuint, const GLchar* name) {
    gldouble::attachText(record("glGetUniformLocation"), name);
    return 0;
}
void glUniform1f(GLint location, GLfloat v0) { record("glUniform1f", {I(location), F(v0)}); }
void glUniform3fv(GLint location, GLsizei count, const GLfloat* value) {
    gldouble::attachFloats(record("glUniform3fv", {I(location), I(count)}), value, 3 * size_t(count));
}
void glUniformMatrix4fv(GLint location, GLsizei count, GLboolean, const GLfloat* value) {
    gldouble::attachFloats(record("glUniformMatrix4fv", {I(location), I(count)}), value, 16 * size_t(count));
}
void glGenVertexArrays(GLsizei n, GLuint* arrays) {
    record("glGenVertexArrays", {I(n)});
    for (GLsizei i = 0; i < n; ++i) arrays[i] = nextObjectName();
}
void glBindVertexArray(GLuint array) { record("glBindVertexArray", {U(array)}); }
void glGenBuffers(GLsizei n, GLuint* buffers) {
    record("glGenBuffers", {I(n)});
    for (GLsizei i = 0; i < n; ++i) buffers[i] = nextObjectName();
}
void glBindBuffer(GLenum target, GLuint buffer) { record("glBindBuffer", {E(target), U(buffer)}); }
void glBufferData(GLenum target, GLsizeiptr size, const void*, GLenum usage) {
    record("glBufferData", {E(target), I(GLint(size)), E(usage)});
}
void glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                           const void* pointer) {
    record("glVertexAttribPointer", {U(index), I(size), E(type), I(normalized), I(stride), P(pointer)});
}
void glEnableVertexAttribArray(GLuint index) { record("glEnableVertexAttribArray", {U(index)}); }

#if defined(_WIN32)
/* ---------------- WGL ----------------
 * Windows programs find what opengl32.dll does not export through the
 * current context's driver; here that driver is the double, which answers
 * for its functions past OpenGL 1.1 (and, as a real driver does, for none
 * of opengl32.dll's). Not recorded: a query. */
PROC WINAPI wglGetProcAddress(LPCSTR name) {
    static const struct {
        const char* name;
        PROC function;
    } newer[] = {
        {"glMultiDrawArrays", reinterpret_cast<PROC>(reinterpret_cast<void (*)()>(glMultiDrawArrays))},
    };
    for (const auto& entry : newer)
        if (std::strcmp(entry.name, name) == 0) return entry.function;
    return nullptr;
}
#endif

} // extern "C"
