// The library's texture making for the fixed-function pipeline sets the
// texture environment, which WebGL 2 does not have. The page loads every
// map with TMAP_TEXTURES_NONE, so that code never runs; this definition
// only lets the program link, and stops it should the code ever be reached.
#include <cstdlib>

extern "C" void glTexEnvf(unsigned target, unsigned name, float value)
{
    (void)target;
    (void)name;
    (void)value;
    std::abort();
}
