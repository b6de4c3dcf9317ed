// Runs one input through the shader renderer: decode, tmapGpuUpload and the
// three draws of every layer from views that let the visible-face rule leave
// faces out and views that must not (an eye below the ground, culling off
// or the other way round, a parallel projection), with animations stepping
// and cells changing between the views. Shared by the GPU fuzz target and
// the replay of its corpus, so a saved finding is replayed as it was found.
#ifndef TILVOGL_TESTS_FUZZ_EXERCISE_GPU_H
#define TILVOGL_TESTS_FUZZ_EXERCISE_GPU_H

#include <cstddef>
#include <cstdint>

// The side of the square colour buffer the context must have.
const int exerciseGpuSize = 48;

// Opens an offscreen OpenGL 3.3 core context of that size and makes it
// current; false when the GL refuses.
bool openExerciseGpuContext();

// Needs the context of openExerciseGpuContext current. Returns 0 when the
// map loaded and uploaded, -1 when either refused it with a reason in
// tmapError; aborts on a broken promise (a refusal without a reason, a draw
// that fails on an uploaded map, a GL error). Releases the map and the
// renderer's objects before returning.
int exerciseGpu(const uint8_t *data, size_t size);

#endif
