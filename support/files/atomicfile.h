// Writing output files so that a failure never leaves one half-written.
//
// Each file is written in full under a temporary name in OUT's own folder
// and only then renamed over OUT, which replaces it in one step.
#ifndef TILVOGL_SUPPORT_ATOMICFILE_H
#define TILVOGL_SUPPORT_ATOMICFILE_H

#include <string>

namespace tmapfiles {

// A new, empty file beside path (same folder, a name no other file has),
// with the permissions a new file at path would get. Returns false with a
// reason when the folder cannot take it.
bool createTemporaryBeside(const std::string& path, std::string& temporary, std::string& error);

// Writes bytes to the file at path, replacing what it held (a temporary file
// made above). Returns false with the system's reason.
bool writeBytes(const std::string& path, const std::string& bytes, std::string& error);

// Renames temporary over path; on failure removes temporary and gives a reason.
bool replaceWithTemporary(const std::string& temporary, const std::string& path, std::string& error);

// Removes a temporary file that is not wanted any more; empty: nothing.
void discardTemporary(const std::string& temporary);

// Writes bytes to path through a temporary file beside it.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& error);

} // namespace tmapfiles

#endif
