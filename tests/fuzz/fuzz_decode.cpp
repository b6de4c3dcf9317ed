// libFuzzer entry: any bytes as a map image, then everything the library
// does with a map that loads (see exercise_map.h). GL calls go to the
// recording double with recording off.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "exercise_map.h"
#include "gldouble.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gldouble::setRecording(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int result = exerciseMap(data, size);
    if (result != 0 && result != -1) std::abort();
    return 0;
}
