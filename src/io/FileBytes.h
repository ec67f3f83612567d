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

/// Writes `bytes` to a temporary file beside `path`, flushes it to disk and
/// renames it over `path`, so that a failure never leaves a half-written or
/// lost file. Throws Kiln::Exception (code 7) with `location` and `message`
/// when the file cannot be created or written.
void writeFileAtomically(const std::string& path, const std::string& bytes, const std::string& location,
                         const std::string& message);

/// The folder part of `path` including its last '/', or "" when none.
std::string directoryOf(const std::string& path);

/// The extension after the last '.' of the file name, lower-cased; "" when
/// the name has none.
std::string extensionOf(const std::string& path);

} // namespace Kiln
