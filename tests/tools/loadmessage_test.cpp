// The refusal message shared by fmapinfo and fmaprender, in-process with the
// GL double, where an allocation failure can be forced.
#include <gtest/gtest.h>
#include <sys/stat.h> // mkdir, chmod
#include <unistd.h>   // getpid, geteuid

#include <filesystem>

#include "gldouble.h"
#include "loadmessage.h"
#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

// The library's allocation failure injection (not in the public header).
extern "C" thread_local long tmapFailAllocationAt;
extern "C" thread_local long tmapAllocationCount;

using tmapwriter::chunkOffset;

namespace {

tmapwriter::Map smallMap()
{
    tmapwriter::Map map;
    map.width = 3;
    map.height = 2;
    map.tileWidth = 4;
    map.tileHeight = 4;
    map.depth = 32;
    map.graphics.push_back(tmapwriter::Bytes(4 * 4 * 4, 0xFF));
    map.blocks.resize(2);
    map.layers[0] = std::vector<int32_t>{0, 1, 0, 1, 0, 1};
    return map;
}


int decode(const tmapwriter::Bytes& image)
{
    tmapError = 0;
    return tmapDecodeBuffer(image.data(), image.size(), 1);
}

} // namespace

TEST(LoadMessage, NamesTheReasonTheChunkAndItsOffset)
{
    gldouble::setRecording(false);
    tmapwriter::Bytes image = tmapwriter::buildImage(smallMap());

    // Every allocation of a decode in turn fails: each is reported as out of
    // memory in the chunk that asked for it.
    int failures = 0;
    for (long n = 1;; ++n) {
        tmapFailAllocationAt = tmapAllocationCount + n;
        int result = decode(image);
        tmapFailAllocationAt = 0;
        if (result == 0)
            break;
        ++failures;
        std::string message = loadFailureMessage();
        std::string tag(tmapErrorChunk);
        ASSERT_EQ(tag.size(), 4u) << message;
        EXPECT_EQ(message, "out of memory (error 1) in chunk \"" + tag + "\" at offset "
                               + std::to_string(chunkOffset(image, tag)));
    }
    EXPECT_GE(failures, 3); // "BKDT", "BGFX" and "BODY" each allocate
    tmapRelease();

    tmapwriter::Bytes wrongKind = image;
    wrongKind[12 + 8] = 1; // "MPHD" data byte 0
    ASSERT_EQ(decode(wrongKind), -1);
    EXPECT_EQ(loadFailureMessage(), "unsupported map header (error 4) in chunk \"MPHD\" at offset 12");

    tmapwriter::Bytes notAForm = image;
    notAForm[0] = 'X';
    ASSERT_EQ(decode(notAForm), -1);
    EXPECT_EQ(loadFailureMessage(), "not a readable map file (error 2)");

}

TEST(LoadMessage, AFileThatCannotBeOpenedGivesTheSystemsReason)
{
    gldouble::setRecording(false);
    std::string folder = ::testing::TempDir() + "loadmessage-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string locked = folder + "/locked.fmp";
    ASSERT_TRUE(tmapwriter::saveFile(locked, tmapwriter::buildImage(smallMap())));
    chmod(locked.c_str(), 0);
    // Permission is never denied to root.
    bool rootReadsAnything = geteuid() == 0;

    struct Case {
        std::string path;
        std::string expected;
    } cases[] = {
        {folder + "/absent.fmp", "file could not be opened (error 3): No such file or directory"},
        {folder, "file could not be opened (error 3): Is a directory"},
        {locked, "file could not be opened (error 3): Permission denied"},
    };
    for (const Case& c : cases) {
        if (c.path == locked && rootReadsAnything)
            continue;
        ASSERT_EQ(tmapLoadFile(c.path.c_str(), 1), -1) << c.path;
        EXPECT_EQ(tmapError, TMAP_ERROR_CANNOT_OPEN) << c.path;
        EXPECT_EQ(loadFailureMessage(), c.expected) << c.path;
    }
    // A readable file that is no map keeps code 2 and has no system reason.
    chmod(locked.c_str(), 0600);
    std::string junk = folder + "/junk.fmp";
    ASSERT_TRUE(tmapwriter::saveFile(junk, tmapwriter::Bytes{'J', 'U', 'N', 'K'}));
    ASSERT_EQ(tmapLoadFile(junk.c_str(), 1), -1);
    EXPECT_EQ(loadFailureMessage(), "not a readable map file (error 2)");
    std::filesystem::remove_all(folder);
}

TEST(LoadMessage, DamagedTagsAreShownReadably)
{
    EXPECT_EQ(tagText("BODY"), "BODY");
    EXPECT_EQ(tagText("a 1~"), "a 1~");
    EXPECT_EQ(tagText(std::string("\xFF\xFF" "BG", 4)), "0xFFFF4247");
    EXPECT_EQ(tagText(std::string("A\0\"\\", 4)), "0x4100225C");

    // A chunk with an unprintable tag whose length runs past the form.
    tmapwriter::Bytes image = tmapwriter::buildImage(smallMap());
    image.insert(image.end(), {0x01, 'B', 'A', 'D', 0, 0, 0x10, 0});
    tmapwriter::setBE32(image, 4, uint32_t(image.size() - 8));
    ASSERT_EQ(decode(image), -1);
    EXPECT_EQ(loadFailureMessage(), "not a readable map file (error 2) in chunk 0x01424144 at offset "
                                         + std::to_string(image.size() - 8));
}
