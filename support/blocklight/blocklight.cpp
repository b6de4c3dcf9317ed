#include "blocklight.h"

namespace tmapblocklight {

const float lightAmbient[4] = {0.7f, 0.7f, 0.7f, 1.0f};
const float lightDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float modelAmbient[4] = {0.5f, 0.5f, 0.5f, 1.0f};

} // namespace tmapblocklight
