// Program entry of every demo: start up, then hand over to GLUT for good.
#include "shell.h"

#include "heaptuning.h"  // tuneHeapForSteadyFrames
#include <GL/glut.h>     // glutMainLoop

int main(int argc, char **argv)
{
    tuneHeapForSteadyFrames();
    startProgram(&argc, argv);
    glutMainLoop();
    return 0;
}
