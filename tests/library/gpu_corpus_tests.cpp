// Every file the GPU fuzz target keeps (tests/corpus-gpu), the decoder's
// corpus and the fuzz seeds, replayed through the shader renderer as the
// target runs them: each is refused with a reason or uploads and draws
// without a GL error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../fuzz/exercise_gpu.h"
#include "tilvogl/tilvogl.h"
#include "tilvogl/tilvogl_gpu.h"

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(GpuCorpus, EveryFileUploadsAndDrawsOrIsRefused)
{
    ASSERT_TRUE(openExerciseGpuContext());
    size_t files = 0;
    for (const char *folder : {TILVOGL_GPU_CORPUS_DIR, TILVOGL_CORPUS_DIR, TILVOGL_SEED_DIR}) {
        // The seeds are valid maps: they must get as far as the draws.
        const bool valid = std::string(folder) == TILVOGL_SEED_DIR;
        for (const auto &entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().extension() == ".md")
                continue;
            SCOPED_TRACE(entry.path().string());
            const std::vector<uint8_t> bytes = readFile(entry.path());
            const int result = exerciseGpu(bytes.data(), bytes.size());
            EXPECT_TRUE(result == 0 || tmapError != 0);
            if (valid) {
                EXPECT_EQ(result, 0) << tmapErrorString(tmapError);
            }
            EXPECT_EQ(tmapCurrentLayer, nullptr);
            ++files;
        }
    }
    EXPECT_GE(files, 30u) << "the corpus folders lost their files";
}

} // namespace
