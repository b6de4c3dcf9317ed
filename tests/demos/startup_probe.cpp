// A demo program's start-up and first frames, run as its own process with the
// recording GL double in place of GL and GLUT: it loads the program's map
// from the working folder exactly as the program does, then draws three
// frames a second apart. The exit status and standard error are the
// program's own: 0 and nothing when it would run, the shell's one line and
// status 1 when it refuses the map.
#include "gldouble.h"
#include "platform.h"
#include "shell.h"
#include <tilvogl/tilvogl.h>

static uint32_t probeClock = 100000;

uint32_t platformTickCount(void)
{
    return probeClock;
}

int platformAskYesNo(const char *, const char *)
{
    return 0;
}

int main(int argc, char **argv)
{
    gldouble::setRecording(false);
    gldouble::setElapsedTime(int(probeClock));
    startProgram(&argc, argv);
    // A second between frames: each runs as many logic ticks as one may.
    for (int frame = 0; frame < 3; ++frame) {
        probeClock += 1000;
        gldouble::setElapsedTime(int(probeClock));
        display();
    }
    tmapRelease();
    return 0;
}
