#pragma once
// A small streaming JSON writer: objects, arrays, strings, numbers and
// literals, with commas placed for the caller. Non-finite numbers are
// written as null (JSON has no NaN).
#include <cstdint>
#include <string>
#include <vector>

namespace Kiln {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    /// The next value's name; only inside an object.
    JsonWriter& key(const std::string& name);

    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(double number);
    JsonWriter& value(float number) { return value(static_cast<double>(number)); }
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(unsigned number) { return value(static_cast<std::uint64_t>(number)); }
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out; }

private:
    void separate();

    std::string out;
    std::vector<bool> first; ///< per open container: nothing written yet
    bool afterKey = false;
};

/// `text` as a JSON string literal, quotes included.
std::string jsonQuote(const std::string& text);

} // namespace Kiln
