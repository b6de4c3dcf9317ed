// A C++ program built against the installed library: the header's C
// linkage must hold. Loads a map in a GLUT window (on Windows a WGL one),
// checks its textures.
#ifdef _WIN32
#include "wglwindow.h"
#else
#include <GL/glut.h>
#endif
#include <tilvogl/tilvogl.h>

#include <cstdio>

int main(int argc, char** argv)
{
#ifdef _WIN32
    if (openWglWindow() != 0) {
        std::fprintf(stderr, "consumer: no OpenGL context\n");
        return 1;
    }
#else
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(64, 64);
    glutCreateWindow("tilvogl consumer (C++)");
#endif
    if (argc < 2 || tmapLoadFile(argv[1], 10) != 0) {
        std::fprintf(stderr, "consumer: cannot load map: %s\n", tmapErrorString(tmapError));
        return 1;
    }
    GLint textureWidth = 0;
    glBindTexture(GL_TEXTURE_2D, 10);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    std::printf("map %d x %d cells, tiles %d x %d, depth %d, %d graphics, texture 10 width %d\n", tmapWidth,
                tmapHeight, tmapTileWidth, tmapTileHeight, tmapDepth, tmapGraphicCount, textureWidth);
    if (tmapGraphicCount > 0 && textureWidth != tmapTileWidth) {
        std::fprintf(stderr, "consumer: texture 10 is not a tile texture\n");
        return 1;
    }
    tmapRelease();
    return 0;
}
