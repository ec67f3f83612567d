#pragma once
// The one exception type the program throws. Callers catch it at the top
// (entry point, guarded run) and show what() to the user.
#include <cstdint>
#include <exception>
#include <string>

namespace Kiln {

/// The numbers `Exception` carries. They are part of the text shown to the
/// user and of saved error reports, so a value never changes meaning.
namespace ErrorCode {
enum : std::int32_t {
    General = 0,           ///< object groups, graphics, functions and text parsing without a code of their own
    Selection = 2,         ///< selection manager, grip colours
    InvalidValue = 3,      ///< missing settings key, bad value or argument, index out of range, unknown file version
    SceneFile = 4,         ///< malformed scene or exchange file
    UnknownObjectType = 5, ///< an object kind the mesh editor cannot make
    Haptics = 6,           ///< haptic device set-up, connection and trajectory files
    FileAccess = 7,        ///< a file or folder that cannot be found, read, written or launched
    OperationFailed = 9,   ///< a polygon, haptic shape or function that cannot be made or found
};
} // namespace ErrorCode

class Exception : public std::exception {
public:
    /// code: the error number shown to the user (an ErrorCode); source: the failing
    /// operation, written like "SelectionManager::_getAbsoluteParent()".
    Exception(std::int32_t code, std::string description, std::string source);
    /// As above, naming the source file and line (line > 0 adds " at ...").
    Exception(std::int32_t code, std::string description, std::string source,
              std::string file, std::int32_t line);

    /// "KILN EXCEPTION(code:type): description in source[ at file (line n)]",
    /// built once on first use.
    const char* what() const noexcept override;

    std::int32_t getLine() const { return line; }
    std::int32_t getCode() const { return code; }
    const std::string& getTypeName() const { return typeName; }
    const std::string& getDescription() const { return description; }
    const std::string& getSource() const { return source; }
    const std::string& getFile() const { return file; }

private:
    std::int32_t line = 0;
    std::int32_t code = 0;
    std::string typeName;
    std::string description;
    std::string source;
    std::string file;
    mutable std::string fullDescription;
};

} // namespace Kiln
