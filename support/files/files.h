// Whole files and the parts of their paths, for every program that reads
// maps, images and Tiled files.
#ifndef TILVOGL_SUPPORT_FILES_H
#define TILVOGL_SUPPORT_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace tmapfiles {

// Reads the whole regular file at path into bytes. A file that grows past
// limit bytes, or is not a regular file, is refused before more memory is
// taken for it. Returns false with one line in error ("cannot open PATH",
// "PATH is not a regular file", "PATH is larger than N bytes", "cannot read
// PATH").
bool readWholeFile(const std::string& path, std::string& bytes, std::string& error,
                   uint64_t limit = UINT64_MAX);
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   uint64_t limit = UINT64_MAX);

// The folder that holds path, without a trailing slash: "" for a bare file
// name, "/" for a file in the root folder.
std::string folderOf(const std::string& path);

// The file name of path without its folder and its last extension.
std::string stemOf(const std::string& path);

// path as seen from folder (path itself when it is absolute or folder is
// empty), with "." and ".." worked out on the names alone.
std::string joinPath(const std::string& folder, const std::string& path);

} // namespace tmapfiles

#endif
