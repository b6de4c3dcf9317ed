// Scripted platform and test maps for the scene tests.
#include "demo_test_support.h"

#include "gldouble.h"
#include "mapwriter.h"
#include "platform.h"
#include <tilvogl/tilvogl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

uint32_t testTickCount = 100000;
int testQuestionAnswer = 0;
int testQuestionsAsked = 0;
std::string testQuestionCaption;
std::string testQuestionText;

uint32_t platformTickCount(void)
{
    return testTickCount;
}

int platformAskYesNo(const char *caption, const char *question)
{
    ++testQuestionsAsked;
    testQuestionCaption = caption;
    testQuestionText = question;
    return testQuestionAnswer;
}

namespace fs = std::filesystem;

static fs::path scratchFolder;

std::string enterScratchFolder()
{
    static int serial = 0;
    fs::path folder = fs::temp_directory_path() /
                      ("tilvogl-demo-tests-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    scratchFolder = folder;
    return folder.string();
}

void leaveScratchFolder()
{
    fs::current_path(fs::temp_directory_path());
    if (!scratchFolder.empty())
        fs::remove_all(scratchFolder);
    scratchFolder.clear();
}

void writeTestMap(const std::string& fileName, const TestMapShape& shape)
{
    tmapwriter::Map map;
    map.width = shape.width;
    map.height = shape.height;
    map.tileWidth = shape.tileWidth;
    map.tileHeight = shape.tileHeight;
    map.depth = 16;
    // At least two graphics, so first and second graphics differ.
    int graphicCount = shape.rowNumberedBlocks ? shape.height + 1 + shape.layerOneGraphicShift : 2;
    for (int graphic = 0; graphic < graphicCount; ++graphic) {
        tmapwriter::Bytes pixels;
        for (int i = 0; i < shape.tileWidth * shape.tileHeight; ++i)
            tmapwriter::putPixel(pixels, 16, graphic % 2 ? 200 : 40, 120, graphic % 2 ? 40 : 200);
        map.graphics.push_back(pixels);
    }
    tmapwriter::Block plain;
    plain.graphic[0] = 0;
    plain.graphic[1] = 1;
    tmapwriter::Block standing = plain;
    standing.flags = TMAP_FLAG_STACKED;
    tmapwriter::Block swapped = plain;
    swapped.graphic[0] = 1;
    swapped.graphic[1] = 0;
    map.blocks = {plain, standing, shape.alternatingFrames ? swapped : plain};
    if (shape.rowNumberedBlocks) {
        map.blocks.clear();
        for (int shift : {0, shape.layerOneGraphicShift}) {
            for (int row = 0; row < shape.height; ++row) {
                tmapwriter::Block block;
                block.graphic[0] = row + shift;
                block.graphic[1] = row + shift + 1;
                map.blocks.push_back(block);
            }
        }
    }
    map.frames.assign(shape.countedFrames, 0);
    for (int frame = 1; shape.alternatingFrames && frame < shape.countedFrames; frame += 2)
        map.frames[frame] = 2;
    tmapwriter::Anim counter;
    counter.mode = 1;
    counter.delay = 0;
    counter.start = 0;
    counter.end = shape.countedFrames;
    map.anims = {counter};
    for (int layer = 0; layer < 8; ++layer) {
        if (!(shape.layerMask & (1u << layer)))
            continue;
        std::vector<int32_t> cells(size_t(shape.width) * shape.height, 1);
        int firstBlock = layer == 1 ? shape.height : 0;
        for (int y = 0; shape.rowNumberedBlocks && y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x)
                cells[size_t(y) * shape.width + x] = firstBlock + y;
        cells[0] = -1;
        map.layers[layer] = cells;
    }
    ASSERT_TRUE(tmapwriter::saveFile(fileName, tmapwriter::buildImage(map))) << fileName;
}

int animationSteps()
{
    if (tmapAnimCount < 1 || tmapAnims == nullptr)
        return -1;
    return tmapAnims[0].current - tmapAnims[0].start;
}

VertexBounds vertexBounds(size_t first, size_t last)
{
    VertexBounds bounds;
    const auto &calls = gldouble::calls();
    for (size_t i = first; i < last && i < calls.size(); ++i) {
        if (calls[i].name != "glVertex3f")
            continue;
        float x = float(calls[i].arg(0)), y = float(calls[i].arg(1));
        if (bounds.vertices++ == 0) {
            bounds.minX = bounds.maxX = x;
            bounds.minY = bounds.maxY = y;
            continue;
        }
        bounds.minX = std::min(bounds.minX, x);
        bounds.maxX = std::max(bounds.maxX, x);
        bounds.minY = std::min(bounds.minY, y);
        bounds.maxY = std::max(bounds.maxY, y);
    }
    return bounds;
}
