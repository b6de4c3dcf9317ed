/* Frame meter for the demo benchmarks, loaded with LD_PRELOAD into a GLUT
 * program. It wraps
 *   glXSwapBuffers  to count frames and keep the time of each. SIGUSR1 sets
 *                   a mark, taken at the next swap, so that start-up and the
 *                   fullscreen question stay out of the figures;
 *   glBindTexture   to count texture switches per frame; binds compiled into
 *                   a display list count each time the list is called;
 *   mallopt         to ignore the program's heap settings when
 *                   FPS_SHIM_DEFAULT_HEAP is set, so that frame times can be
 *                   measured with glibc's defaults without a switch in the
 *                   program itself.
 * With FPS_SHIM_ALL_FACES set it turns the visible-face rule off at every
 * swap (tmapDrawFaces and tmapGpuDrawFaces back to TMAP_FACES_ALL), so the
 * same program is measured drawing every block face; the first frame still
 * has the program's own setting, the measured ones do not. A display list
 * compiled before the first swap keeps what it was compiled with.
 * With FPS_SHIM_FLOOR set it also draws the floor: textured quads are held
 * back until the next state change and then drawn grouped by texture, one
 * bind and one glBegin/glEnd per texture, with bare GL calls. The program's
 * own per-quad calls then cost only their capture here, so the frame rate is
 * what the same quads in the same state cost when grouped.
 *
 * At exit it prints one line to $FPS_SHIM_OUT (or stderr):
 *   frames N seconds S median_ms M p95_ms P binds_per_frame B faces_per_frame F
 * over the frames between the mark and the last swap; F is the mean of
 * tmapBlockFacesDrawn() at those swaps (the faces of the frame's last block
 * draw, or of the display list that holds it), 0 for a program without the
 * library. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h> /* Display, GLXDrawable */
#include <dlfcn.h>  /* dlsym(RTLD_NEXT) for the wrapped functions */
#include <malloc.h> /* mallopt's prototype */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* The next definition of fn after this one, looked up on first use. */
#define REAL(fn)                                                                                  \
    static __typeof__(fn) *real_##fn;                                                             \
    if (real_##fn == NULL)                                                                        \
    *(void **)&real_##fn = dlsym(RTLD_NEXT, #fn)

/* ---------------------------------------------------------------- frames */

enum { maxFrames = 1 << 20, maxLists = 4096 };

static volatile sig_atomic_t markRequested;
static double *frameTimes; /* end of each frame from the mark on */
static long framesKept;
static long bindCount;     /* texture binds that reached the GL */
static long bindsAtMark, bindsAtLastSwap;
static long listBinds[maxLists]; /* binds compiled into each display list */
static double facesCounted;      /* tmapBlockFacesDrawn() summed over the kept frames */
static int allFaces;             /* FPS_SHIM_ALL_FACES */
static GLuint compilingList;     /* 0 when no list is being compiled */

static double monotonicSeconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static void countBind(void)
{
    if (compilingList != 0) {
        if (compilingList < maxLists)
            ++listBinds[compilingList];
    } else {
        ++bindCount;
    }
}

/* ---------------------------------------------------------------- floor */

typedef struct {
    GLfloat normal[3], texCoord[2], position[3];
} Corner;

typedef struct {
    GLuint texture;
    int next; /* next quad of the same texture, or -1 */
    Corner corners[4];
} Quad;

enum { textureSlots = 8192 }; /* open addressing, a power of two */

static int floorMode;
static Quad *quads;
static int quadCount, quadCapacity;
static int capturing, cornerCount;
static GLuint boundTexture;                /* what the program bound last */
static GLuint glBoundTexture = ~0u;        /* what the GL has bound, ~0 unknown */
static GLfloat currentNormal[3] = {0.0f, 0.0f, 1.0f}, currentTexCoord[2];
/* GL_TEXTURE_2D as the program left it: -1 unknown, 0 off, 1 on. */
static int texturing = 0, texturingOutsideList;

static void drawQuadsByTexture(void)
{
    static GLuint slotTexture[textureSlots];
    static int slotUsed[textureSlots], slotFirst[textureSlots], slotLast[textureSlots];
    static int order[textureSlots];
    REAL(glBindTexture);
    REAL(glBegin);
    REAL(glEnd);
    REAL(glNormal3fv);
    REAL(glTexCoord2fv);
    REAL(glVertex3fv);
    int textures = 0;
    for (int i = 0; i < quadCount; ++i) {
        GLuint texture = quads[i].texture;
        unsigned slot = (texture * 2654435761u) & (textureSlots - 1);
        while (slotUsed[slot] && slotTexture[slot] != texture)
            slot = (slot + 1) & (textureSlots - 1);
        quads[i].next = -1;
        if (!slotUsed[slot]) {
            slotUsed[slot] = 1;
            slotTexture[slot] = texture;
            slotFirst[slot] = i;
            order[textures++] = (int)slot;
        } else {
            quads[slotLast[slot]].next = i;
        }
        slotLast[slot] = i;
        if (textures == textureSlots - 1)
            break; /* cannot happen with tile maps; draw what fits */
    }
    for (int k = 0; k < textures; ++k) {
        int slot = order[k];
        real_glBindTexture(GL_TEXTURE_2D, slotTexture[slot]);
        glBoundTexture = slotTexture[slot];
        countBind();
        real_glBegin(GL_QUADS);
        for (int i = slotFirst[slot]; i >= 0; i = quads[i].next) {
            for (int c = 0; c < 4; ++c) {
                real_glNormal3fv(quads[i].corners[c].normal);
                real_glTexCoord2fv(quads[i].corners[c].texCoord);
                real_glVertex3fv(quads[i].corners[c].position);
            }
        }
        real_glEnd();
        slotUsed[slot] = 0;
    }
    quadCount = 0;
}

/* Draws the held quads, then binds what the program bound last, for
 * whatever comes next (texture uploads, other primitives). */
static void flushQuads(void)
{
    if (!floorMode)
        return;
    if (quadCount > 0)
        drawQuadsByTexture();
    if (glBoundTexture != boundTexture) {
        REAL(glBindTexture);
        real_glBindTexture(GL_TEXTURE_2D, boundTexture);
        glBoundTexture = boundTexture;
        countBind();
    }
}

static void captureCorner(GLfloat x, GLfloat y, GLfloat z)
{
    if (cornerCount == 0 && quadCount == quadCapacity) {
        int capacity = quadCapacity > 0 ? 2 * quadCapacity : 65536;
        Quad *grown = realloc(quads, (size_t)capacity * sizeof *grown);
        if (grown == NULL) {
            fprintf(stderr, "fps_shim: out of memory\n");
            exit(1);
        }
        quads = grown;
        quadCapacity = capacity;
    }
    Corner *corner = &quads[quadCount].corners[cornerCount];
    memcpy(corner->normal, currentNormal, sizeof currentNormal);
    memcpy(corner->texCoord, currentTexCoord, sizeof currentTexCoord);
    corner->position[0] = x;
    corner->position[1] = y;
    corner->position[2] = z;
    if (++cornerCount == 4) {
        quads[quadCount].texture = boundTexture;
        ++quadCount;
        cornerCount = 0;
    }
}

/* ---------------------------------------------------------------- wrappers */

void glBindTexture(GLenum target, GLuint texture)
{
    REAL(glBindTexture);
    if (floorMode && target == GL_TEXTURE_2D) {
        boundTexture = texture;
        return;
    }
    real_glBindTexture(target, texture);
    countBind();
}

void glBegin(GLenum mode)
{
    REAL(glBegin);
    if (floorMode && mode == GL_QUADS && texturing == 1) {
        capturing = 1;
        cornerCount = 0;
        return;
    }
    flushQuads();
    real_glBegin(mode);
}

void glEnd(void)
{
    REAL(glEnd);
    if (capturing) {
        capturing = 0;
        return;
    }
    real_glEnd();
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    REAL(glNormal3f);
    currentNormal[0] = x, currentNormal[1] = y, currentNormal[2] = z;
    if (!capturing)
        real_glNormal3f(x, y, z);
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    REAL(glTexCoord2f);
    currentTexCoord[0] = s, currentTexCoord[1] = t;
    if (!capturing)
        real_glTexCoord2f(s, t);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    REAL(glVertex3f);
    if (capturing)
        captureCorner(x, y, z);
    else
        real_glVertex3f(x, y, z);
}

/* Texturing switched on again while it is on changes nothing: the block
 * drawing does so before every side face. */
void glEnable(GLenum cap)
{
    REAL(glEnable);
    if (floorMode && cap == GL_TEXTURE_2D && texturing == 1)
        return;
    flushQuads();
    real_glEnable(cap);
    if (cap == GL_TEXTURE_2D)
        texturing = 1;
}

void glDisable(GLenum cap)
{
    REAL(glDisable);
    flushQuads();
    real_glDisable(cap);
    if (cap == GL_TEXTURE_2D)
        texturing = 0;
}

void glNewList(GLuint list, GLenum mode)
{
    REAL(glNewList);
    flushQuads();
    real_glNewList(list, mode);
    compilingList = list;
    if (list < maxLists)
        listBinds[list] = 0;
    /* Compiling changes no state: the list starts from an unknown one. */
    texturingOutsideList = texturing;
    texturing = -1;
}

void glEndList(void)
{
    REAL(glEndList);
    flushQuads();
    real_glEndList();
    compilingList = 0;
    texturing = texturingOutsideList;
    glBoundTexture = ~0u; /* the binds went into the list */
}

void glCallList(GLuint list)
{
    REAL(glCallList);
    flushQuads();
    real_glCallList(list);
    if (list < maxLists)
        bindCount += listBinds[list];
}

/* Every other state change the demos make between draws: the held quads are
 * drawn first, in the state they were given in. */
#define FLUSHING(fn, params, args)                                                                \
    void fn params                                                                                \
    {                                                                                             \
        REAL(fn);                                                                                 \
        flushQuads();                                                                             \
        real_##fn args;                                                                           \
    }

FLUSHING(glFinish, (void), ())
FLUSHING(glFlush, (void), ())
FLUSHING(glClear, (GLbitfield mask), (mask))
FLUSHING(glPushMatrix, (void), ())
FLUSHING(glPopMatrix, (void), ())
FLUSHING(glLoadIdentity, (void), ())
FLUSHING(glMatrixMode, (GLenum mode), (mode))
FLUSHING(glRotatef, (GLfloat a, GLfloat x, GLfloat y, GLfloat z), (a, x, y, z))
FLUSHING(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
FLUSHING(glTranslated, (GLdouble x, GLdouble y, GLdouble z), (x, y, z))
FLUSHING(glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
FLUSHING(glMultMatrixf, (const GLfloat *m), (m))
FLUSHING(glMultMatrixd, (const GLdouble *m), (m))
FLUSHING(glLightfv, (GLenum light, GLenum name, const GLfloat *values), (light, name, values))
FLUSHING(glBlendFunc, (GLenum source, GLenum destination), (source, destination))
FLUSHING(glDepthFunc, (GLenum function), (function))
FLUSHING(glDepthRange, (GLclampd nearValue, GLclampd farValue), (nearValue, farValue))
FLUSHING(glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
FLUSHING(glTexParameteri, (GLenum target, GLenum name, GLint value), (target, name, value))
FLUSHING(glTexImage2D,
         (GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
          GLenum format, GLenum type, const GLvoid *pixels),
         (target, level, internalFormat, width, height, border, format, type, pixels))

void glXSwapBuffers(Display *display, GLXDrawable drawable)
{
    REAL(glXSwapBuffers);
    flushQuads();
    real_glXSwapBuffers(display, drawable);
    /* The library's own names, when the program has it. */
    static int *drawFaces, *gpuDrawFaces;
    static long long (*facesDrawn)(void);
    static int looked;
    if (!looked) {
        looked = 1;
        drawFaces = (int *)dlsym(RTLD_DEFAULT, "tmapDrawFaces");
        gpuDrawFaces = (int *)dlsym(RTLD_DEFAULT, "tmapGpuDrawFaces");
        *(void **)&facesDrawn = dlsym(RTLD_DEFAULT, "tmapBlockFacesDrawn");
    }
    if (allFaces) {
        if (drawFaces != NULL)
            *drawFaces = 0; /* TMAP_FACES_ALL */
        if (gpuDrawFaces != NULL)
            *gpuDrawFaces = 0;
    }
    if (!markRequested)
        return;
    if (framesKept > 0 && facesDrawn != NULL)
        facesCounted += (double)facesDrawn();
    if (framesKept == 0)
        bindsAtMark = bindCount;
    if (framesKept < maxFrames)
        frameTimes[framesKept++] = monotonicSeconds();
    bindsAtLastSwap = bindCount;
}

int mallopt(int parameter, int value)
{
    if (getenv("FPS_SHIM_DEFAULT_HEAP") != NULL)
        return 1;
    REAL(mallopt);
    return real_mallopt(parameter, value);
}

/* ---------------------------------------------------------------- start and report */

static void requestMark(int signalNumber)
{
    (void)signalNumber;
    markRequested = 1;
}

__attribute__((constructor)) static void startMeter(void)
{
    frameTimes = malloc(maxFrames * sizeof *frameTimes);
    floorMode = getenv("FPS_SHIM_FLOOR") != NULL;
    allFaces = getenv("FPS_SHIM_ALL_FACES") != NULL;
    signal(SIGUSR1, requestMark);
}

static int compareDoubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

__attribute__((destructor)) static void reportFrames(void)
{
    const char *path = getenv("FPS_SHIM_OUT");
    FILE *out = path != NULL ? fopen(path, "w") : NULL;
    long frames = framesKept > 1 ? framesKept - 1 : 0;
    double seconds = frames > 0 ? frameTimes[framesKept - 1] - frameTimes[0] : 0.0;
    double median = 0.0, p95 = 0.0, binds = 0.0, faces = 0.0;
    if (frames > 0) {
        /* Frame times are the gaps between consecutive swaps. */
        for (long i = 0; i < frames; ++i)
            frameTimes[i] = frameTimes[i + 1] - frameTimes[i];
        qsort(frameTimes, (size_t)frames, sizeof *frameTimes, compareDoubles);
        median = frameTimes[frames / 2] * 1e3;
        p95 = frameTimes[(frames * 95) / 100] * 1e3;
        binds = (double)(bindsAtLastSwap - bindsAtMark) / (double)frames;
        faces = facesCounted / (double)frames;
    }
    fprintf(out != NULL ? out : stderr,
            "frames %ld seconds %.6f median_ms %.3f p95_ms %.3f binds_per_frame %.1f faces_per_frame %.0f\n", frames,
            seconds, median, p95, binds, faces);
    if (out != NULL)
        fclose(out);
}
