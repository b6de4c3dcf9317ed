// The demos' heap settings must reach glibc: a block of a few MiB then comes
// from the heap, not from a mapping of its own, and stays there when freed.
#include <cstdlib>

#include <gtest/gtest.h>

#include "heaptuning.h"

#ifdef __GLIBC__
#include <malloc.h>

TEST(HeapTuning, MiBBlocksStayInTheHeap)
{
    tuneHeapForSteadyFrames();
    const size_t before = mallinfo2().hblkhd;
    void *block = std::malloc(4 << 20);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(mallinfo2().hblkhd, before) << "a 4 MiB block was mapped on its own";
    const size_t heap = mallinfo2().arena;
    std::free(block);
    EXPECT_EQ(mallinfo2().arena, heap) << "freeing 4 MiB gave heap back to the kernel";
}
#endif
