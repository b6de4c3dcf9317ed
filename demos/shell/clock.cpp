// Millisecond tick counter on a monotonic clock.
#include "platform.h"

#include <time.h>  // clock_gettime, CLOCK_MONOTONIC

uint32_t platformTickCount(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncating to 32 bits gives the same wrap as a 32-bit counter.
    uint64_t milliseconds = (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
    return (uint32_t)milliseconds;
}
