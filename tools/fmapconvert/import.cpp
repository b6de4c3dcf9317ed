#include "convert.h"

namespace tmapconvert {

bool importTiled(const std::string&, const std::string&, const Options&, std::string& error)
{
    error = "import is not built yet";
    return false;
}

} // namespace tmapconvert
