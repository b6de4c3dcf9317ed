// Support for the scene tests: a scripted platform (clock and fullscreen
// answer), test maps written into a scratch folder, and a tick counter.
#ifndef TILVOGL_TESTS_DEMO_TEST_SUPPORT_H
#define TILVOGL_TESTS_DEMO_TEST_SUPPORT_H

#include <stdint.h>
#include <string>

// The platform clock as the shell reads it.
extern uint32_t testTickCount;
// What the fullscreen question answers, and how often it was asked.
extern int testQuestionAnswer;
extern int testQuestionsAsked;
extern std::string testQuestionCaption;
extern std::string testQuestionText;

// Shape of a generated test map. Every present layer holds animation 0 in
// cell (0, 0) and block 1 elsewhere; animation 0 loops forward over
// countedFrames frames with delay 0, so its current frame counts the
// logic steps taken since the last reset (modulo countedFrames).
struct TestMapShape {
    int width = 50;
    int height = 50;
    int tileWidth = 16;
    int tileHeight = 16;
    unsigned layerMask = 0x07;  // bit n: layer n present
    int countedFrames = 4000;
    // Instead: cell (x, y) holds a block whose first graphic is y and
    // second graphic y + 1, so a bound texture name 10 + y tells the row
    // (block y; in layer 1, block height + y).
    bool rowNumberedBlocks = false;
    // With rowNumberedBlocks: the graphics of layer 1's blocks are this
    // much higher, so the two layers can be told apart.
    int layerOneGraphicShift = 0;
    // Animation 0 alternates between block 0 and block 2, whose graphics
    // are block 0's swapped: cell (0, 0) shows first graphic 0 after an
    // even number of steps and first graphic 1 after an odd number.
    bool alternatingFrames = false;
};

// Makes a fresh empty scratch folder and makes it the working directory.
// Returns its path.
std::string enterScratchFolder();

// Goes back to the temporary folder and removes the scratch folder.
void leaveScratchFolder();

// Writes a test map of that shape under the given name into the working
// directory.
void writeTestMap(const std::string& fileName, const TestMapShape& shape = TestMapShape());

// Logic steps counted by animation 0 since the map was loaded.
int animationSteps();

// Extent in x and y of the glVertex3f calls among calls [first, last) of
// the recording double's log.
struct VertexBounds {
    int vertices = 0;
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
};
VertexBounds vertexBounds(size_t first, size_t last);

#endif
