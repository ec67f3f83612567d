#pragma once
// Word and line scanning over a text file held in memory, for the text
// readers (STL, OBJ, MTL). Never reads past the buffer.
#include <charconv>
#include <cstddef>
#include <string_view>

namespace Kiln {

class TextScanner {
public:
    explicit TextScanner(std::string_view text) : text(text) {}

    bool atEnd() const { return offset >= text.size(); }
    std::size_t getLine() const { return line; }

    /// The next blank-separated word, or an empty view at the end.
    std::string_view word() {
        skipBlanks(true);
        const std::size_t start = offset;
        while (offset < text.size() && !isBlank(text[offset]))
            ++offset;
        return text.substr(start, offset - start);
    }
    /// The rest of the current line (without the line end) and moves past
    /// it. A line ends at "\n", "\r\n" or a lone "\r" (old Mac files).
    std::string_view restOfLine() {
        const std::size_t start = offset;
        while (offset < text.size() && text[offset] != '\n' && text[offset] != '\r')
            ++offset;
        const std::string_view rest = text.substr(start, offset - start);
        if (offset < text.size()) {
            if (text[offset] == '\r' && offset + 1 < text.size() && text[offset + 1] == '\n')
                ++offset;
            ++offset;
            ++line;
        }
        return rest;
    }

    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

    /// Parses a whole word as a float ("+1.5e3", "nan" and "inf" included).
    static bool parseFloat(std::string_view word, float& value) {
        if (!word.empty() && word.front() == '+')
            word.remove_prefix(1);
        const char* end = word.data() + word.size();
        const auto result = std::from_chars(word.data(), end, value);
        return result.ec == std::errc() && result.ptr == end;
    }

private:
    // True at the last character of a line end, so "\r\n" counts once.
    bool endsLine(std::size_t at) const {
        return text[at] == '\n' || (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'));
    }

    void skipBlanks(bool acrossLines) {
        while (offset < text.size() && isBlank(text[offset])) {
            if (endsLine(offset)) {
                if (!acrossLines)
                    return;
                ++line;
            }
            ++offset;
        }
    }

    std::string_view text;
    std::size_t offset = 0;
    std::size_t line = 1;
};

} // namespace Kiln
