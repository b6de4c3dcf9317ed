#include "files.h"

#include <sys/stat.h> // fstat: only regular files are read

#include <cstdio>
#include <filesystem>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h> // MultiByteToWideChar: UTF-8 paths for _wfopen
#endif

namespace tmapfiles {

namespace {

// Paths are UTF-8 on every system, as the library's are; Windows' fopen
// would take them in the ANSI code page.
std::FILE* openForReading(const std::string& path)
{
#if defined(_WIN32)
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return nullptr;
    std::wstring widePath(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, &widePath[0], units);
    return _wfopen(widePath.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

// Reads in pieces up to the end of the file rather than trusting the size
// seen when it was opened: a file being rewritten may grow or shrink.
template <typename Bytes>
bool readInto(const std::string& path, Bytes& bytes, std::string& error, uint64_t limit)
{
    bytes.clear();
    std::FILE* file = openForReading(path);
    if (file == nullptr) {
        error = "cannot open " + path;
        return false;
    }
    struct stat info;
    bool ok = fstat(fileno(file), &info) == 0;
    if (!ok)
        error = "cannot read " + path;
    else if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        ok = false;
    }
    if (ok && uint64_t(info.st_size) <= limit)
        bytes.reserve(size_t(info.st_size));
    char buffer[65536];
    while (ok) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got == 0)
            break;
        if (uint64_t(bytes.size()) + got > limit) {
            error = path + " is larger than " + std::to_string(limit) + " bytes";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (ok && std::ferror(file)) {
        error = "cannot read " + path;
        ok = false;
    }
    std::fclose(file);
    if (!ok)
        Bytes().swap(bytes);
    return ok;
}

} // namespace

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error, uint64_t limit)
{
    return readInto(path, bytes, error, limit);
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error, uint64_t limit)
{
    return readInto(path, bytes, error, limit);
}

std::string folderOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

std::string stemOf(const std::string& path)
{
    return std::filesystem::path(path).stem().string();
}

// ".." is taken back along the path as written, not through a link the
// folder may be: Tiled resolves a map's paths that way, and a map must show
// here the images it shows there.
std::string joinPath(const std::string& folder, const std::string& path)
{
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}

} // namespace tmapfiles
