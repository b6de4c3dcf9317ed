/* A 2D scroller: layer 0 of a map shown one texel per screen pixel in a
 * GLFW window, scrolled with the arrow keys; the map's animations and the
 * scrolling advance in fixed 10 ms ticks, whatever the frame rate.
 *
 *   scroller [MAP]     (default TEST2A.FMP)     arrow keys scroll, Esc quits
 *
 * The window's title shows the view's position in map pixels. */
#include <GLFW/glfw3.h> /* the window and its OpenGL context; includes GL/gl.h */
#include <stdio.h>
#include <tilvogl/tilvogl.h>

#define TICK_SECONDS 0.010
#define SCROLL_PIXELS_PER_TICK 2

/* Keeps a scroll position within 0 .. mapSize - viewSize (0 when the map is
 * the smaller). */
static int64_t clampScroll(int64_t position, int64_t mapSize, int viewSize)
{
    int64_t largest = mapSize - viewSize;
    if (position > largest)
        position = largest;
    return position < 0 ? 0 : position;
}

/* Esc quits. A callback sees every press, however short; the arrow keys are
 * read as held or not at each tick instead. */
static void onKey(GLFWwindow *window, int key, int scancode, int action, int mods)
{
    (void)scancode;
    (void)mods;
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS)
        glfwSetWindowShouldClose(window, 1);
}

int main(int argc, char **argv)
{
    const char *mapPath = argc > 1 ? argv[1] : "TEST2A.FMP";
    GLFWwindow *window;
    int64_t scrollX = 0, scrollY = 0, shownX = -1, shownY = -1;
    double lastTick;

    if (!glfwInit())
        return 1;
    /* GLFW's default context is a compatibility one, which the library's
     * fixed-function drawing needs. */
    window = glfwCreateWindow(320, 240, "TilvoGL scroller", NULL, NULL);
    if (window == NULL) {
        fprintf(stderr, "scroller: cannot open an OpenGL window\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, onKey);

    /* Crisp texels; the library makes the texture names and deletes them. */
    tmapTextureFilter = GL_NEAREST;
    if (tmapLoadFile(mapPath, TMAP_TEXTURES_GENERATED) != 0) {
        fprintf(stderr, "scroller: %s: %s\n", mapPath, tmapErrorString(tmapError));
        glfwTerminate();
        return 1;
    }
    tmapSelectLayer(0);
    tmapResetAnims();

    lastTick = glfwGetTime();
    while (!glfwWindowShouldClose(window)) {
        int width, height;
        double now = glfwGetTime();
        glfwPollEvents();
        glfwGetFramebufferSize(window, &width, &height);

        /* Catch up with the clock, one 10 ms tick at a time. */
        while (now - lastTick >= TICK_SECONDS) {
            lastTick += TICK_SECONDS;
            tmapStepAnims();
            scrollX += SCROLL_PIXELS_PER_TICK * ((glfwGetKey(window, GLFW_KEY_RIGHT) == GLFW_PRESS) -
                                                 (glfwGetKey(window, GLFW_KEY_LEFT) == GLFW_PRESS));
            scrollY += SCROLL_PIXELS_PER_TICK * ((glfwGetKey(window, GLFW_KEY_DOWN) == GLFW_PRESS) -
                                                 (glfwGetKey(window, GLFW_KEY_UP) == GLFW_PRESS));
        }
        scrollX = clampScroll(scrollX, tmapWidthInPixels(), width);
        scrollY = clampScroll(scrollY, tmapHeightInPixels(), height);

        /* The view is as large as the window: one texel per pixel. */
        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        tmapDrawView(scrollX, scrollY, width, height);
        glfwSwapBuffers(window);

        if (scrollX != shownX || scrollY != shownY) {
            char title[64];
            snprintf(title, sizeof title, "TilvoGL scroller %lld,%lld", (long long)scrollX, (long long)scrollY);
            glfwSetWindowTitle(window, title);
            shownX = scrollX;
            shownY = scrollY;
        }
    }

    /* The generated textures go while their context is still current. */
    tmapRelease();
    glfwTerminate();
    return 0;
}
