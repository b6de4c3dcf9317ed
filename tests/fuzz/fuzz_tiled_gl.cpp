// The Tiled import's fuzzer loads each map it writes through the library,
// whose GL calls go to the recording double with recording off.
#include "gldouble.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gldouble::setRecording(false);
    return 0;
}
