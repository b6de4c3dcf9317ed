// Program entry of every demo: answer --version and --help, find the map,
// start up, then hand over to GLUT for good.
#include "shell.h"

#include "heaptuning.h"       // tuneHeapForSteadyFrames
#include <GL/glut.h>          // glutMainLoop
#include "options.h"          // versionLine: the --version answer of every program

#include <limits.h>  // PATH_MAX
#include <stdio.h>   // printf, fputs
#include <string.h>  // strcmp
#include <unistd.h>  // access, chdir, readlink

#include <string>

// The folder the build installs the demo maps to, relative to the folder of
// the installed program ("" in the build, whose bin folder holds both).
#ifndef DEMO_MAP_FOLDER_FROM_PROGRAM
#define DEMO_MAP_FOLDER_FROM_PROGRAM ""
#endif

// Answered before GLUT sees the command line, so they work without a
// display. Returns 1 when the program has answered and should end.
static int answerInformationOptions(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--version") == 0) {
            fputs(tmapoptions::versionLine(demoScene.programName).c_str(), stdout);
            return 1;
        }
        if (strcmp(argv[i], "--help") == 0) {
            printf("Usage: %s [--batched] [--shader] [GLUT options]\n"
                   "Shows the map %s in a window; keys are listed in the manual page.\n"
                   "\n"
                   "  --batched   draw the map grouped by texture instead of in cell order\n"
                   "  --shader    draw through the shader renderer in an OpenGL 3.3 core context\n"
                   "  --help      print this help and exit\n"
                   "  --version   print the program's name and version and exit\n",
                   demoScene.programName, demoScene.scene->mapFile);
            return 1;
        }
    }
    return 0;
}

// A demo loads its map from the working directory. Started anywhere else (a
// menu, the shell's search path), an installed demo moves to the folder its
// maps were installed to, so a map of the same name in the working directory
// still comes first.
static void moveToMapFolder(void)
{
    if (access(demoScene.scene->mapFile, R_OK) == 0)
        return;
    char program[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0)
        return;
    program[length] = '\0';
    std::string folder(program);
    folder.erase(folder.find_last_of('/') + 1);
    folder += DEMO_MAP_FOLDER_FROM_PROGRAM;
    // When the map is in neither place, the load reports it missing from the
    // working directory, where it was looked for first.
    if (access((folder + "/" + demoScene.scene->mapFile).c_str(), R_OK) != 0)
        return;
    if (chdir(folder.c_str()) != 0)
        fprintf(stderr, "%s: cannot enter the map folder %s\n", demoScene.programName, folder.c_str());
}

int main(int argc, char **argv)
{
    if (answerInformationOptions(argc, argv))
        return 0;
    moveToMapFolder();
    tuneHeapForSteadyFrames();
    startProgram(&argc, argv);
    glutMainLoop();
    return 0;
}
