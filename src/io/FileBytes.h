#pragma once
// Whole-file input and crash-safe output shared by every reader and writer.
#include <cstdint>
#include <string>
#include <vector>

namespace Kiln {

/// The bytes of the file at `path`. Throws Kiln::Exception (code 7, from
/// "Kiln::readFileBytes()") when the path cannot be examined, is
/// empty or cannot be read.
std::vector<std::uint8_t> readFileBytes(const std::string& path);

/// The file a write to `path` should replace: `path` itself, or where the
/// chain of symbolic links starting at it ends (so the link survives and
/// its target gets the new contents). Throws Kiln::Exception (code 7) with
/// `location` when that is a folder, a device or another non-regular file,
/// or when the links loop.
std::string resolveOutputPath(const std::string& path, const std::string& location);

/// An empty temporary file with a unique short name (".mv-XXXXXX" then
/// `suffix`) in the folder of `target`, created with O_EXCL so no planted
/// file or link is followed. Removed on destruction unless kept.
class OutputTemporary {
public:
    /// Throws Kiln::Exception (code 7) with `location`, `message` and the
    /// system's reason when the file cannot be created.
    OutputTemporary(const std::string& target, const std::string& suffix, const std::string& location,
                    const std::string& message);
    ~OutputTemporary();
    OutputTemporary(const OutputTemporary&) = delete;
    OutputTemporary& operator=(const OutputTemporary&) = delete;

    const std::string& getPath() const { return path; }
    int getDescriptor() const { return fd; }
    /// Closes the descriptor; false (errno set) when the close failed.
    bool close();
    /// Renames the file over `target` and keeps it; false (errno set) on
    /// failure, the temporary then still being removed on destruction.
    bool commit(const std::string& target);

private:
    std::string path;
    int fd = -1;
    bool committed = false;
};

/// Writes `bytes` to a temporary file beside `path` (or beside the file a
/// symbolic link at `path` leads to), flushes it to disk and renames it
/// over the target, so that a failure never leaves a half-written or lost
/// file. Throws Kiln::Exception (code 7) with `location` and `message`
/// followed by the system's reason when the file cannot be created or
/// written, or when the target is a folder or a device.
void writeFileAtomically(const std::string& path, const std::string& bytes, const std::string& location,
                         const std::string& message);

/// The folder part of `path` including its last '/', or "" when none.
std::string directoryOf(const std::string& path);

/// The extension after the last '.' of the file name, lower-cased; "" when
/// the name has none.
std::string extensionOf(const std::string& path);

} // namespace Kiln
