// The scroller of examples/scroller on an OpenGL 3.3 core context: the map
// is loaded without GL textures and drawn through the shader renderer
// (tilvogl/tilvogl_gpu.h), one texel per screen pixel, scrolled with the
// arrow keys; animations and scrolling advance in fixed 10 ms ticks.
//
//   scroller-core [MAP]     (default TEST2A.FMP)     arrow keys scroll, Esc quits
//
// The window's title shows the view's position in map pixels.
#include <GLFW/glfw3.h> // the window, its core context, and the GL functions' addresses

#include <glm/gtc/matrix_transform.hpp> // glm::ortho
#include <glm/gtc/type_ptr.hpp>         // glm::value_ptr

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tilvogl/tilvogl_gpu.h>

namespace {

const double tickSeconds = 0.010;
const int scrollPixelsPerTick = 2;

// Keeps a scroll position within 0 .. mapSize - viewSize.
int64_t clampScroll(int64_t position, int64_t mapSize, int viewSize)
{
    return std::max<int64_t>(0, std::min<int64_t>(position, mapSize - viewSize));
}

// Draws the cells that cover the view's width x height map pixels from
// (scrollX, scrollY) on, one unit per pixel with y down.
void drawView(int64_t scrollX, int64_t scrollY, int width, int height)
{
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    const glm::mat4 projection = glm::ortho(0.0f, float(width), float(height), 0.0f, -1.0f, 1.0f);
    std::memcpy(view.projection, glm::value_ptr(projection), sizeof view.projection);
    const int64_t column = scrollX / tmapTileWidth, row = scrollY / tmapTileHeight;
    tmapGpuDrawLayer(&view, int(column), int(row), width / tmapTileWidth + 2, height / tmapTileHeight + 2,
                     float(column * tmapTileWidth - scrollX), float(row * tmapTileHeight - scrollY), 0.0f,
                     float(tmapTileWidth), float(tmapTileHeight));
}

// Esc quits. A callback sees every press, however short; the arrow keys are
// read as held or not at each tick instead.
void onKey(GLFWwindow* window, int key, int, int action, int)
{
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS)
        glfwSetWindowShouldClose(window, 1);
}

} // namespace

int main(int argc, char** argv)
{
    const char* mapPath = argc > 1 ? argv[1] : "TEST2A.FMP";
    if (!glfwInit())
        return 1;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    GLFWwindow* window = glfwCreateWindow(320, 240, "TilvoGL core scroller", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "scroller-core: cannot open an OpenGL 3.3 core window\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, onKey);
    tmapGpuGetProcAddress = glfwGetProcAddress;

    // A core context takes no fixed-function textures: keep the pixels, and
    // let the shader renderer make its own textures from them.
    tmapTextureFilter = GL_NEAREST;
    if (tmapLoadFile(mapPath, TMAP_TEXTURES_NONE) != 0 || tmapGpuUpload() != 0) {
        std::fprintf(stderr, "scroller-core: %s: %s\n", mapPath, tmapErrorString(tmapError));
        glfwTerminate();
        return 1;
    }
    tmapSelectLayer(0);
    tmapResetAnims();

    int64_t scrollX = 0, scrollY = 0, shownX = -1, shownY = -1;
    double lastTick = glfwGetTime();
    while (!glfwWindowShouldClose(window)) {
        const double now = glfwGetTime();
        glfwPollEvents();
        int width, height;
        glfwGetFramebufferSize(window, &width, &height);

        // Catch up with the clock, one 10 ms tick at a time.
        auto held = [&](int key) { return glfwGetKey(window, key) == GLFW_PRESS ? 1 : 0; };
        for (; now - lastTick >= tickSeconds; lastTick += tickSeconds) {
            tmapStepAnims();
            scrollX += scrollPixelsPerTick * (held(GLFW_KEY_RIGHT) - held(GLFW_KEY_LEFT));
            scrollY += scrollPixelsPerTick * (held(GLFW_KEY_DOWN) - held(GLFW_KEY_UP));
        }
        scrollX = clampScroll(scrollX, tmapWidthInPixels(), width);
        scrollY = clampScroll(scrollY, tmapHeightInPixels(), height);

        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        drawView(scrollX, scrollY, width, height);
        glfwSwapBuffers(window);

        if (scrollX != shownX || scrollY != shownY) {
            char title[64];
            std::snprintf(title, sizeof title, "TilvoGL core scroller %lld,%lld", (long long)scrollX,
                          (long long)scrollY);
            glfwSetWindowTitle(window, title);
            shownX = scrollX;
            shownY = scrollY;
        }
    }

    // The renderer's GL objects go while their context is still current.
    tmapGpuRelease();
    tmapRelease();
    glfwTerminate();
    return 0;
}
