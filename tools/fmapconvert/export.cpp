#include "convert.h"

namespace tmapconvert {

bool exportTiled(const std::string&, const std::string&, const Options&, std::string& error)
{
    error = "export is not built yet";
    return false;
}

} // namespace tmapconvert
