#pragma once
// Working directory and opening files with the desktop's default program.
#include <string>

namespace Kiln {

/// Makes `path` the working directory; throws Kiln::Exception when it is
/// not an existing directory.
void SetCurrentWorkingDirectory(const std::string& path);

/// Opens directory + "/" + file with the desktop's associated program
/// (xdg-open). Throws Kiln::Exception code 7 when the file or directory
/// does not exist, cannot be read, or no program could be started.
void LaunchFile(const std::string& directory, const std::string& file);

/// Writes `contents` to `path` through a temporary file in the same folder
/// and a rename, so readers never see a half-written file and a failed
/// write leaves the old file intact. Returns false on failure.
bool writeFileAtomically(const std::string& path, const std::string& contents);

} // namespace Kiln
