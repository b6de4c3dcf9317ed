// Every file in tests/corpus (hand-made malformed maps and saved fuzz
// findings) and every fuzz seed, replayed through the same steps as the
// fuzz target.
#include <fstream>
#include <iterator>

#include "../fuzz/exercise_map.h"
#include "test_support.h"

namespace {

class Corpus : public LibraryTest {};

TEST_F(Corpus, EveryFileLoadsOrIsRefused) {
    gldouble::setRecording(false);
    size_t files = 0;
    for (const std::string& path : support::corpusFiles()) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int result = exerciseMap(bytes.data(), bytes.size());
        EXPECT_TRUE(result == 0 || result == -1) << path;
        if (result == -1) {
            EXPECT_GE(tmapError, 1) << path;
            EXPECT_LE(tmapError, 4) << path;
        }
        EXPECT_TRUE(support::noMap()) << path;
        ++files;
    }
    gldouble::setRecording(true);
    EXPECT_GE(files, 30u) << "the corpus folders lost their files";
}

} // namespace
