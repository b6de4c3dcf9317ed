#include "blocklight.h"

#include <cstring>

namespace tmapblocklight {

void useShaderLight(TmapGpuView& view, const float eyePosition[4])
{
    std::memcpy(view.lightPosition, eyePosition, sizeof view.lightPosition);
    std::memcpy(view.lightAmbient, lightAmbient, sizeof view.lightAmbient);
    std::memcpy(view.lightDiffuse, lightDiffuse, sizeof view.lightDiffuse);
    std::memcpy(view.modelAmbient, modelAmbient, sizeof view.modelAmbient);
    view.twoSided = 1;
    view.lightingEnabled = 1;
}

} // namespace tmapblocklight
