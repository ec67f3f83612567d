#include "log/Exception.h"

#include <utility>

namespace Kiln {

Exception::Exception(std::int32_t code_, std::string description_, std::string source_)
    : code(code_), description(std::move(description_)), source(std::move(source_)) {}

Exception::Exception(std::int32_t code_, std::string description_, std::string source_,
                     std::string file_, std::int32_t line_)
    : line(line_), code(code_), description(std::move(description_)),
      source(std::move(source_)), file(std::move(file_)) {}

const char* Exception::what() const noexcept {
    if (fullDescription.empty()) {
        std::string text = "KILN EXCEPTION(" + std::to_string(code) + ":" + typeName +
                           "): " + description + " in " + source;
        if (line > 0)
            text += " at " + file + " (line " + std::to_string(line) + ")";
        fullDescription = std::move(text);
    }
    return fullDescription.c_str();
}

} // namespace Kiln
