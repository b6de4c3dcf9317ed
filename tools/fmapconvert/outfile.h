// Output files that are never left half-written: the bytes go to a
// temporary file beside the target, which is renamed over it only when
// everything was written. Shared by the import and the export.
#ifndef TILVOGL_TOOLS_FMAPCONVERT_OUTFILE_H
#define TILVOGL_TOOLS_FMAPCONVERT_OUTFILE_H

#include <functional>
#include <string>

namespace tmapconvert {

// Calls write with the path of a fresh temporary file beside path (same
// folder, so the rename cannot cross file systems), then renames it to
// path. On any failure the temporary file is removed, path is left as it
// was, and error holds one line.
bool replaceFile(const std::string& path,
                 const std::function<bool(const std::string& temporaryPath, std::string& error)>& write,
                 std::string& error);

// replaceFile with bytes already in memory.
bool replaceFileWithBytes(const std::string& path, const void* bytes, size_t size, std::string& error);

} // namespace tmapconvert

#endif
