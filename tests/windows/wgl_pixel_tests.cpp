// Both GL paths on Windows' own GL (opengl32.dll; under Wine, Mesa behind
// it): every demo scene drawn by the fixed-function path on a WGL
// compatibility context and by the shader renderer on a WGL 3.3 core
// context, the pixels compared; and the ways a Windows program hands the
// library its GL functions, including forgetting to.
#define WIN32_LEAN_AND_MEAN
#include <windows.h> // GetModuleHandleA, GetProcAddress
#include <GL/gl.h>   // wglGetProcAddress, the frame's state

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "offscreen.h"
#include "pixel_maps.h"
#include "pixel_scenes.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

using tmapoffscreen::Profile;
using tmapscenes::Pass;
using tmapscenes::Scene;

const int width = tmapscenes::windowWidth, height = tmapscenes::windowHeight;

// What the header tells a Windows program to set: the context's driver
// first, then opengl32.dll for the OpenGL 1.1 functions.
TmapGpuProc headersWay(const char *name)
{
    PROC address = wglGetProcAddress(name);
    if (address == nullptr)
        address = GetProcAddress(GetModuleHandleA("opengl32.dll"), name);
    return reinterpret_cast<TmapGpuProc>(address);
}
// The usual mistakes: opengl32.dll's exports alone, and a loader that has
// nothing at all.
TmapGpuProc openGl32Only(const char *name)
{
    return reinterpret_cast<TmapGpuProc>(GetProcAddress(GetModuleHandleA("opengl32.dll"), name));
}
TmapGpuProc findsNothing(const char *) { return nullptr; }

// The shader frame's state and clear, as the demo shell sets them and as
// startFixedFunctionFrame clears: opengl32.dll's own functions serve a core
// context too.
void startShaderFrame(const Scene &scene, int frame)
{
    if (frame == 0) {
        const float *fog = scene.fogColour;
        glViewport(0, 0, width, height);
        glClearColor(fog[0], fog[1], fog[2], fog[3]);
        glEnable(GL_DEPTH_TEST);
        glFrontFace(GL_CW);
        glCullFace(GL_BACK);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    const bool phases = scene.depthPhases, odd = frame % 2 != 0;
    glDepthRange(phases && odd ? 1.0 : 0.0, phases ? 0.5 : 1.0);
    glDepthFunc(phases && odd ? GL_GREATER : GL_LESS);
    glClear(GL_COLOR_BUFFER_BIT | (!phases || frame == 0 ? GL_DEPTH_BUFFER_BIT : 0));
}

// Two frames of the scene, animations stepped before and between them, on
// a fresh context of the profile's path; empty when a step failed.
std::vector<std::vector<uint8_t>> render(const Scene &scene, Profile profile, int angle)
{
    std::vector<std::vector<uint8_t>> frames;
    const bool fixedFunction = profile == Profile::compatibility;
    if (!tmapoffscreen::openContext(width, height, profile)) {
        ADD_FAILURE() << "no WGL context of this profile";
        return frames;
    }
    const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, scene.mapFile);
    bool ready = !image.empty() &&
                 tmapDecodeBuffer(image.data(), image.size(), fixedFunction ? 10 : TMAP_TEXTURES_NONE) == 0 &&
                 (fixedFunction || tmapGpuUpload() == 0);
    EXPECT_TRUE(ready) << scene.mapFile << ": " << tmapErrorString(tmapError);
    if (fixedFunction)
        setUpFixedFunctionScene(scene);
    tmapResetAnims();
    tmapStepAnims();
    for (int frame = 0; ready && frame < 2; ++frame) {
        const SceneFrame f = sceneFrame(scene, angle, frame, tmapTileHeight);
        if (fixedFunction) {
            startFixedFunctionFrame(scene, frame);
            drawFixedFunctionFrame(scene, f);
        } else {
            startShaderFrame(scene, frame);
            TmapGpuView view = tmapscenes::shaderView(scene, f.projection, f.modelview);
            for (const Pass &pass : f.passes) {
                pass.blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
                pass.culled ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
                view.colour[3] = pass.alpha;
                EXPECT_EQ(tmapscenes::drawPassShader(view, pass), 0);
            }
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        frames.push_back(tmapoffscreen::readColourBuffer().rgba);
        for (int tick = 0; tick < 3; ++tick) tmapStepAnims();
    }
    tmapGpuRelease();
    tmapRelease();
    tmapoffscreen::closeContext();
    return frames;
}

// The share of pixels whose channels differ by more than 2 levels.
double differingShare(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    if (a.size() != b.size() || a.empty())
        return 1.0;
    size_t count = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4) {
        bool differs = false;
        for (size_t k = 0; k < 4; ++k) differs = differs || std::abs(int(a[i + k]) - int(b[i + k])) > 2;
        count += differs;
    }
    return double(count) / double(a.size() / 4);
}

// Every test starts and ends with no map, no context, no loader of the
// program's and the cell order.
class Wgl : public ::testing::Test {
protected:
    void TearDown() override
    {
        tmapGpuRelease();
        tmapRelease();
        tmapoffscreen::closeContext();
        tmapGpuGetProcAddress = nullptr;
        tmapDrawOrder = TMAP_DRAW_CELL_ORDER;
    }
};

TEST_F(Wgl, BothPathsDrawEveryDemoScene)
{
    const Scene *scenes[] = {&tmapscenes::shipdemo, &tmapscenes::spinblend, &tmapscenes::spinlit,
                             &tmapscenes::isoview};
    const char *names[] = {"shipdemo", "spinblend", "spinlit", "isoview"};
    for (int s = 0; s < 4; ++s) {
        SCOPED_TRACE(names[s]);
        const auto fixed = render(*scenes[s], Profile::compatibility, 1);
        const auto shader = render(*scenes[s], Profile::core, 1);
        ASSERT_EQ(fixed.size(), 2u);
        ASSERT_EQ(shader.size(), 2u);
        for (size_t frame = 0; frame < 2; ++frame) {
            // Not an empty picture that matches another empty one.
            EXPECT_NE(fixed[frame], std::vector<uint8_t>(fixed[frame].size(), fixed[frame][0])) << "frame " << frame;
            EXPECT_LE(differingShare(fixed[frame], shader[frame]), 0.005) << "frame " << frame;
        }
    }
}

// ---- How the library finds its GL functions on Windows ----

// Uploads the map and draws one flat window; the upload's result, with its
// reason in uploadError.
int uploadAndDraw(std::vector<uint8_t> &pixels, int &uploadError)
{
    const int uploaded = tmapGpuUpload();
    uploadError = tmapError;
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    const float scale[16] = {0.05f, 0, 0, 0, 0, 0.05f, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
    for (int k = 0; k < 16; ++k) view.modelview[k] = scale[k];
    const int drawn = tmapGpuDrawLayer(&view, 0, 0, 40, 40, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f);
    EXPECT_EQ(drawn, uploaded);
    pixels = tmapoffscreen::readColourBuffer().rgba;
    return uploaded;
}

TEST_F(Wgl, TheShaderRendererFindsItsFunctionsOrRefusesClearly)
{
    const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, "TEST2A.FMP");
    ASSERT_FALSE(image.empty());
    ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_NONE), 0);

    // No context current: nothing to ask.
    tmapGpuGetProcAddress = nullptr;
    EXPECT_EQ(tmapGpuUpload(), -1);
    EXPECT_EQ(tmapError, TMAP_ERROR_NO_GL_CONTEXT);

    ASSERT_TRUE(tmapoffscreen::openContext(width, height, Profile::core));
    struct Loader {
        const char *what;
        TmapGpuProc (*find)(const char *);
        int result;
    };
    const Loader loaders[] = {
        {"the header's way", headersWay, 0},
        {"none set: the library's own lookup", nullptr, 0},
        {"opengl32.dll's exports only", openGl32Only, -1},
        {"a loader that finds nothing", findsNothing, -1},
    };
    std::vector<uint8_t> expected;
    for (const Loader &loader : loaders) {
        SCOPED_TRACE(loader.what);
        tmapGpuGetProcAddress = loader.find;
        tmapError = 0;
        std::vector<uint8_t> pixels;
        int uploadError = 0;
        EXPECT_EQ(uploadAndDraw(pixels, uploadError), loader.result);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        if (loader.result != 0) {
            EXPECT_EQ(uploadError, TMAP_ERROR_NO_GL_CONTEXT);
        } else if (expected.empty()) {
            expected = pixels;
            EXPECT_NE(expected, std::vector<uint8_t>(expected.size(), expected[0])) << "nothing drawn";
        } else {
            EXPECT_TRUE(pixels == expected) << "another picture";
        }
        tmapGpuRelease();
    }
}

// Grouped drawing's glMultiDrawArrays, which opengl32.dll does not export,
// comes from the same lookup: the program's loader when it set one.
std::vector<std::string> asked;
TmapGpuProc recordingLoader(const char *name)
{
    TmapGpuProc found = headersWay(name);
    asked.push_back(std::string(name) + (found != nullptr ? " found" : " missing"));
    return found;
}

TEST_F(Wgl, GroupedDrawingFindsMultiDrawThroughTheSameLookup)
{
    ASSERT_TRUE(tmapoffscreen::openContext(64, 64, Profile::compatibility));
    const tmapwriter::Bytes image = pixelTestMap(TILVOGL_DEMO_MAP_DIR, "TEST2A.FMP");
    ASSERT_EQ(tmapDecodeBuffer(image.data(), image.size(), TMAP_TEXTURES_GENERATED), 0);
    tmapGpuGetProcAddress = recordingLoader;
    tmapDrawOrder = TMAP_DRAW_BY_TEXTURE;
    glEnable(GL_TEXTURE_2D);
    tmapDrawLayer(0, 0, 8, 8, -1.0f, 1.0f, 0.0f, 0.25f, -0.25f);
    EXPECT_EQ(asked, std::vector<std::string>{"glMultiDrawArrays found"});
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
