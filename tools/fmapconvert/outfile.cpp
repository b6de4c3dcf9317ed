#include "outfile.h"

#include <sys/stat.h> // umask, fchmod
#include <unistd.h>   // mkstemp, close, unlink

#include <cerrno>
#include <cstdio> // std::rename
#include <cstring>
#include <vector>

namespace tmapconvert {

bool replaceFile(const std::string& path,
                 const std::function<bool(const std::string& temporaryPath, std::string& error)>& write,
                 std::string& error)
{
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".partial-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        error = "cannot write beside " + path + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; give it the mode any new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    const std::string temporary(name.data());
    if (!write(temporary, error)) {
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool replaceFileWithBytes(const std::string& path, const void* bytes, size_t size, std::string& error)
{
    return replaceFile(
        path,
        [&](const std::string& temporary, std::string& writeError) {
            std::FILE* file = std::fopen(temporary.c_str(), "wb");
            bool written = file != nullptr && std::fwrite(bytes, 1, size, file) == size;
            if (file != nullptr && std::fclose(file) != 0)
                written = false;
            if (!written)
                writeError = "cannot write " + path + ": " + std::strerror(errno);
            return written;
        },
        error);
}

} // namespace tmapconvert
