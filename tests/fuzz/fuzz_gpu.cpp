// libFuzzer entry: any bytes as a map image, uploaded to the shader
// renderer on an offscreen OpenGL 3.3 core context and drawn from views
// that let faces be left out and views that must not (see exercise_gpu.h).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "exercise_gpu.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!openExerciseGpuContext()) {
        std::fprintf(stderr, "tilvogl_fuzz_gpu: no OpenGL 3.3 core context from the offscreen renderer\n");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    exerciseGpu(data, size);
    return 0;
}
