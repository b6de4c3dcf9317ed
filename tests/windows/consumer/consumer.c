/* A C program built against the installed Windows package: loads a map on a
 * WGL context and checks that its first tile texture really exists, reading
 * the library's variables as a program of the DLL or the static library
 * does. */
#include <stdio.h>
#include <tilvogl/tilvogl.h>

#include "glwindow.h"

int main(int argc, char **argv)
{
    GLint textureWidth = 0;
    if (openGlWindow() != 0) {
        fprintf(stderr, "consumer: no OpenGL context\n");
        return 1;
    }
    if (argc < 2 || tmapLoadFile(argv[1], 10) != 0) {
        fprintf(stderr, "consumer: cannot load map: %s\n", tmapErrorString(tmapError));
        return 1;
    }
    glBindTexture(GL_TEXTURE_2D, 10);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    printf("map %d x %d cells, tiles %d x %d, depth %d, %d graphics, texture 10 width %d\n", tmapWidth,
           tmapHeight, tmapTileWidth, tmapTileHeight, tmapDepth, tmapGraphicCount, textureWidth);
    if (tmapGraphicCount > 0 && textureWidth != tmapTileWidth) {
        fprintf(stderr, "consumer: texture 10 is not a tile texture\n");
        return 1;
    }
    tmapRelease();
    return 0;
}
