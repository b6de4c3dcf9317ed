// Levels: several maps in one program on an OpenGL 3.3 core context. One map
// plays (scrolled with the arrow keys, animated in 10 ms ticks) while a
// worker thread decodes the next level's file into a map set aside; Space
// switches to the next level at no cost once it is ready, and the level
// that is not playing is shown as a minimap in the bottom right corner.
//
//   levels [MAP...]     (default TEST2A.FMP VORLA.FMP)
//   arrow keys scroll, Space plays the next level, Esc quits
//
// The window's title shows the level playing, the view's position in map
// pixels and whether the next level is ready.
#include <GLFW/glfw3.h> // the window, its core context, and the GL functions' addresses

#include <glm/gtc/matrix_transform.hpp> // glm::ortho
#include <glm/gtc/type_ptr.hpp>         // glm::value_ptr

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h> // the worker runs at idle priority
#include <sched.h>

#include <tilvogl/tilvogl_gpu.h>

namespace {

const double tickSeconds = 0.010;
const int scrollPixelsPerTick = 2;
const int minimapWidth = 80, minimapHeight = 60;

// One level: its file, and its map once the worker has decoded it.
struct Level {
    std::string path;
    TmapMap *map = nullptr;
    bool uploaded = false;
    int64_t scrollX = 0, scrollY = 0; // where its view stood when it last played
};

// The worker's one job at a time: decode a file into a map set aside. It
// touches nothing of the current map, so the drawing thread goes on.
struct Decoding {
    std::thread worker;
    std::atomic<bool> done{false};
    TmapMap *map = nullptr;
    TmapLoadError error{};
    size_t level = 0;
    bool busy = false;
};

void startDecoding(Decoding &decoding, const std::vector<Level> &levels, size_t level)
{
    decoding.level = level;
    decoding.done = false;
    decoding.busy = true;
    const std::string path = levels[level].path;
    decoding.worker = std::thread([&decoding, path] {
        // Run only where a core would otherwise idle: on a machine with few
        // cores, a worker of the drawing thread's own priority takes time
        // slices from it (and from a software GL's rasterizer threads), and
        // those frames come late. The decode then takes longer, which no one
        // sees.
        const sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        decoding.map = tmapLoadFileAside(path.c_str(), TMAP_TEXTURES_NONE, &decoding.error);
        decoding.done = true;
    });
}

int64_t clampScroll(int64_t position, int64_t mapSize, int viewSize)
{
    return std::max<int64_t>(0, std::min<int64_t>(position, mapSize - viewSize));
}

// The current map's pixels (x0, y0) .. (x0 + w, y0 + h) drawn to fill the
// viewport: layer 0, one draw whatever the size.
void drawPixels(double x0, double y0, double w, double h)
{
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    const glm::mat4 projection = glm::ortho(float(x0), float(x0 + w), float(y0 + h), float(y0), -1.0f, 1.0f);
    std::memcpy(view.projection, glm::value_ptr(projection), sizeof view.projection);
    tmapSelectLayer(0);
    tmapGpuDrawLayer(&view, 0, 0, tmapWidth, tmapHeight, 0.0f, 0.0f, 0.0f, float(tmapTileWidth),
                     float(tmapTileHeight));
}

// The map made current (the playing one set aside into its handle), uploaded
// the first time. Returns false with the reason printed.
bool makeCurrent(Level &level)
{
    if (tmapMakeCurrent(level.map) != 0 && tmapError != TMAP_ERROR_ALREADY_CURRENT) {
        std::fprintf(stderr, "levels: %s: %s\n", level.path.c_str(), tmapErrorString(tmapError));
        return false;
    }
    if (!level.uploaded) {
        if (tmapGpuUpload() != 0) {
            std::fprintf(stderr, "levels: %s: %s\n", level.path.c_str(), tmapErrorString(tmapError));
            return false;
        }
        level.uploaded = true;
    }
    return true;
}

bool spacePressed = false;

void onKey(GLFWwindow *window, int key, int, int action, int)
{
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS)
        glfwSetWindowShouldClose(window, 1);
    if (key == GLFW_KEY_SPACE && action == GLFW_PRESS)
        spacePressed = true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<Level> levels;
    for (int i = 1; i < argc; ++i)
        levels.push_back(Level{argv[i]});
    if (levels.empty())
        levels = {Level{"TEST2A.FMP"}, Level{"VORLA.FMP"}};
    if (!glfwInit())
        return 1;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    GLFWwindow *window = glfwCreateWindow(320, 240, "TilvoGL levels", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "levels: cannot open an OpenGL 3.3 core window\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, onKey);
    tmapGpuGetProcAddress = glfwGetProcAddress;
    tmapTextureFilter = GL_NEAREST;

    // The first level is decoded here, the others by the worker in turn.
    TmapLoadError error;
    levels[0].map = tmapLoadFileAside(levels[0].path.c_str(), TMAP_TEXTURES_NONE, &error);
    if (levels[0].map == nullptr) {
        std::fprintf(stderr, "levels: %s: %s\n", levels[0].path.c_str(), tmapErrorString(error.code));
        glfwTerminate();
        return 1;
    }
    size_t playing = 0;
    bool running = makeCurrent(levels[0]);
    tmapResetAnims();
    Decoding decoding;
    if (levels.size() > 1)
        startDecoding(decoding, levels, 1);

    std::string shownTitle;
    double lastTick = glfwGetTime();
    while (running && !glfwWindowShouldClose(window)) {
        const double now = glfwGetTime();
        glfwPollEvents();
        int width, height;
        glfwGetFramebufferSize(window, &width, &height);

        // A level the worker finished: uploaded here, on the drawing thread,
        // then the playing level is current again.
        if (decoding.busy && decoding.done) {
            decoding.worker.join();
            decoding.busy = false;
            Level &ready = levels[decoding.level];
            ready.map = decoding.map;
            if (ready.map == nullptr) {
                std::fprintf(stderr, "levels: %s: %s\n", ready.path.c_str(), tmapErrorString(decoding.error.code));
                running = false;
                break;
            }
            running = makeCurrent(ready);
            if (running) {
                tmapResetAnims();
                running = makeCurrent(levels[playing]);
            }
            const size_t following = decoding.level + 1;
            if (running && following < levels.size())
                startDecoding(decoding, levels, following);
        }
        const size_t next = (playing + 1) % levels.size();
        const bool nextReady = next != playing && levels[next].map != nullptr && levels[next].uploaded;

        // Space: the next level plays, from where its view last stood.
        if (spacePressed && nextReady) {
            running = makeCurrent(levels[next]);
            playing = next;
        }
        spacePressed = false;
        Level &level = levels[playing];

        auto held = [&](int key) { return glfwGetKey(window, key) == GLFW_PRESS ? 1 : 0; };
        for (; now - lastTick >= tickSeconds; lastTick += tickSeconds) {
            tmapStepAnims();
            level.scrollX += scrollPixelsPerTick * (held(GLFW_KEY_RIGHT) - held(GLFW_KEY_LEFT));
            level.scrollY += scrollPixelsPerTick * (held(GLFW_KEY_DOWN) - held(GLFW_KEY_UP));
        }
        level.scrollX = clampScroll(level.scrollX, tmapWidthInPixels(), width);
        level.scrollY = clampScroll(level.scrollY, tmapHeightInPixels(), height);

        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        drawPixels(double(level.scrollX), double(level.scrollY), width, height);

        // The minimap: the next level whole, on a grey frame. Switching to it
        // and back costs next to nothing, so it is drawn every frame.
        if (nextReady && makeCurrent(levels[next])) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(width - minimapWidth - 2, 0, minimapWidth + 2, minimapHeight + 2);
            glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glDisable(GL_SCISSOR_TEST);
            glViewport(width - minimapWidth, 0, minimapWidth, minimapHeight);
            drawPixels(0.0, 0.0, double(tmapWidthInPixels()), double(tmapHeightInPixels()));
            running = makeCurrent(levels[playing]);
        }
        glfwSwapBuffers(window);

        char title[160];
        const char *name = std::strrchr(level.path.c_str(), '/');
        std::snprintf(title, sizeof title, "TilvoGL levels %s %lld,%lld%s", name ? name + 1 : level.path.c_str(),
                      (long long)level.scrollX, (long long)level.scrollY,
                      nextReady ? " next ready" : levels.size() > 1 ? " loading" : "");
        if (shownTitle != title) {
            glfwSetWindowTitle(window, title);
            shownTitle = title;
        }
    }

    if (decoding.busy) {
        decoding.worker.join();
        tmapReleaseMap(decoding.map); // never current: no GL object
    }
    // The maps' GL objects go while their context is still current.
    for (Level &level : levels)
        tmapReleaseMap(level.map);
    glfwTerminate();
    return running ? 0 : 1;
}
