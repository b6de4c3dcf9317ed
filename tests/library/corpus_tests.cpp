// Every file in tests/corpus (hand-made malformed maps and saved fuzz
// findings) and every fuzz seed, replayed through the same steps as the
// fuzz target.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../fuzz/exercise_map.h"
#include "test_support.h"

namespace {

class Corpus : public LibraryTest {};

TEST_F(Corpus, EveryFileLoadsOrIsRefused) {
    gldouble::setRecording(false);
    size_t files = 0;
    for (const char* folder : {TILVOGL_CORPUS_DIR, TILVOGL_SEED_DIR})
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
        if (entry.path().extension() == ".md") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int result = exerciseMap(bytes.data(), bytes.size());
        EXPECT_TRUE(result == 0 || result == -1) << entry.path();
        if (result == -1) {
            EXPECT_GE(tmapError, 1) << entry.path();
            EXPECT_LE(tmapError, 4) << entry.path();
        }
        EXPECT_TRUE(support::noMap()) << entry.path();
        ++files;
    }
    gldouble::setRecording(true);
    EXPECT_GE(files, 30u) << "the corpus folders lost their files";
}

} // namespace
