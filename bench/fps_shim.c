/* Frame counter for the demo frame-rate benchmark, loaded with LD_PRELOAD:
 * wraps glXSwapBuffers and counts the calls. SIGUSR1 sets a mark (taken at
 * the next swap), so start-up and the fullscreen question stay out of the
 * rate. At exit it prints one line to $FPS_SHIM_OUT (or stderr):
 *   swaps TOTAL counted N seconds S
 * N swaps counted in S seconds between the mark and the last swap. */
#define _GNU_SOURCE
#include <GL/glx.h> /* Display, GLXDrawable */
#include <dlfcn.h>  /* dlsym(RTLD_NEXT) for the real glXSwapBuffers */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static void (*realSwapBuffers)(Display *, GLXDrawable);
static volatile sig_atomic_t markRequested;
static long swapCount;
static long swapsAtMark = -1;
static double markSeconds;
static double lastSwapSeconds;

static double monotonicSeconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

void glXSwapBuffers(Display *display, GLXDrawable drawable)
{
    if (realSwapBuffers == NULL)
        *(void **)&realSwapBuffers = dlsym(RTLD_NEXT, "glXSwapBuffers");
    realSwapBuffers(display, drawable);
    ++swapCount;
    lastSwapSeconds = monotonicSeconds();
    if (markRequested && swapsAtMark < 0) {
        swapsAtMark = swapCount;
        markSeconds = lastSwapSeconds;
    }
}

static void requestMark(int signalNumber)
{
    (void)signalNumber;
    markRequested = 1;
}

__attribute__((constructor)) static void installMarkSignal(void)
{
    signal(SIGUSR1, requestMark);
}

__attribute__((destructor)) static void reportSwaps(void)
{
    const char *path = getenv("FPS_SHIM_OUT");
    FILE *out = path != NULL ? fopen(path, "w") : NULL;
    long counted = swapsAtMark < 0 ? 0 : swapCount - swapsAtMark;
    double seconds = swapsAtMark < 0 ? 0.0 : lastSwapSeconds - markSeconds;
    fprintf(out != NULL ? out : stderr, "swaps %ld counted %ld seconds %.6f\n", swapCount, counted, seconds);
    if (out != NULL)
        fclose(out);
}
