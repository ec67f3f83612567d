#include "app/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace Kiln {

std::string jsonQuote(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

void JsonWriter::separate() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!first.empty()) {
        if (!first.back())
            out += ", ";
        first.back() = false;
    }
}

JsonWriter& JsonWriter::beginObject() {
    separate();
    out += '{';
    first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    out += '}';
    first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    separate();
    out += '[';
    first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    out += ']';
    first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    separate();
    out += jsonQuote(name) + ": ";
    afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    separate();
    out += jsonQuote(text);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    separate();
    if (!std::isfinite(number)) {
        out += "null";
        return *this;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", number);
    out += buffer;
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    separate();
    out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
    separate();
    out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out += "null";
    return *this;
}

} // namespace Kiln
