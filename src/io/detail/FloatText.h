#pragma once
// Float coordinates as text that reads back to the same float.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Kiln {

/// Appends `value` in `preferred` printf format (e.g. "%f", "%g") when that
/// text reads back to the same float, so ordinary files keep their usual
/// look; otherwise in nine significant digits, which always do.
inline void appendRoundTripFloat(std::string& out, float value, const char* preferred) {
    char buffer[64];
    int length = std::snprintf(buffer, sizeof buffer, preferred, static_cast<double>(value));
    if (length <= 0 || length >= static_cast<int>(sizeof buffer) || std::strtof(buffer, nullptr) != value)
        length = std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    out.append(buffer, static_cast<std::size_t>(length));
}

/// x, y and z each as appendRoundTripFloat writes them, one space apart.
inline void appendRoundTripPoint(std::string& out, float x, float y, float z, const char* preferred) {
    appendRoundTripFloat(out, x, preferred);
    out += ' ';
    appendRoundTripFloat(out, y, preferred);
    out += ' ';
    appendRoundTripFloat(out, z, preferred);
}

} // namespace Kiln
