// Runs one input through everything the library does with a map: decode,
// animation, row tables, cell lookup and the three draw operations. Shared
// by the fuzz target and the corpus replay test, so every saved finding is
// replayed exactly as it was found.
#ifndef TILVOGL_TESTS_FUZZ_EXERCISE_MAP_H
#define TILVOGL_TESTS_FUZZ_EXERCISE_MAP_H

#include <cstddef>
#include <cstdint>

// Returns what tmapDecodeBuffer returned (0 or -1). The map is released
// before returning.
int exerciseMap(const uint8_t* data, size_t size);

#endif
