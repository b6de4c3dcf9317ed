// Shows the fullscreen question on its own and prints the answer, "yes" or
// "no", then stays a moment so a test can see that the box is gone.
#include "platform.h"

#include <GL/glut.h>  // glutInit, glutInitDisplayMode
#include <stdio.h>    // printf, fflush
#include <unistd.h>   // sleep

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    int yes = platformAskYesNo("TilvoGL", "Go fullscreen?");
    printf("%s\n", yes ? "yes" : "no");
    fflush(stdout);
    sleep(2);
    return 0;
}
