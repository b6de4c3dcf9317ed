#include "atomicfile.h"

#include <sys/stat.h> // umask, fchmod: a temporary file gets a new file's permissions
#include <unistd.h>   // mkstemp, write, close, unlink

#include <cerrno>
#include <cstdio>  // std::rename
#include <cstring> // std::strerror

namespace tmapfiles {

bool createTemporaryBeside(const std::string& path, std::string& temporary, std::string& error)
{
    std::string pattern = path + ".tmp-XXXXXX";
    int descriptor = mkstemp(&pattern[0]);
    if (descriptor < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file readable by its owner only; OUT should look
    // like any file the user creates.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    temporary = pattern;
    return true;
}

bool replaceWithTemporary(const std::string& temporary, const std::string& path, std::string& error)
{
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        discardTemporary(temporary);
        return false;
    }
    return true;
}

void discardTemporary(const std::string& temporary)
{
    if (!temporary.empty())
        unlink(temporary.c_str());
}

bool writeBytes(const std::string& path, const std::string& bytes, std::string& error)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int reason = errno;
    if (file != nullptr && std::fclose(file) != 0) {
        written = false;
        reason = errno;
    }
    if (!written)
        error = std::strerror(reason != 0 ? reason : EIO);
    return written;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& error)
{
    std::string temporary;
    if (!createTemporaryBeside(path, temporary, error))
        return false;
    if (!writeBytes(temporary, bytes, error)) {
        error = "cannot write " + path + ": " + error;
        discardTemporary(temporary);
        return false;
    }
    return replaceWithTemporary(temporary, path, error);
}

} // namespace tmapfiles
