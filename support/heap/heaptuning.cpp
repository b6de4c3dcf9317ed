#include "heaptuning.h"

#include <cstdlib>  // defines __GLIBC__ where glibc is the C library

#ifdef __GLIBC__
#include <malloc.h>  // mallopt, M_TRIM_THRESHOLD, M_MMAP_THRESHOLD
#endif

void tuneHeapForSteadyFrames(void)
{
#ifdef __GLIBC__
    // Blocks up to 16 MiB (the largest threshold 32-bit glibc accepts) come
    // from the heap rather than from mmap, and up to 64 MiB of free space at
    // the top of the heap stays there. Setting both also stops glibc from
    // moving the thresholds by itself.
    mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}
