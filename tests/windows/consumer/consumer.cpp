// A C++ program built against the installed Windows package: the header's C
// linkage and its variables' import must hold. Loads a map on a WGL
// context, checks its textures and draws it through the shader renderer's
// refusal path (no upload), which needs no OpenGL 3 context.
#include <tilvogl/tilvogl.h>
#include <tilvogl/tilvogl_gpu.h>

#include <cstdio>

#include "glwindow.h"

int main(int argc, char** argv)
{
    if (openGlWindow() != 0) {
        std::fprintf(stderr, "consumer: no OpenGL context\n");
        return 1;
    }
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
    // A map loaded with textures is not the shader renderer's: refused.
    if (tmapGpuUpload() != -1 || tmapGpuGetProcAddress != nullptr) {
        std::fprintf(stderr, "consumer: the shader renderer took a map loaded with textures\n");
        return 1;
    }
    tmapRelease();
    return 0;
}
