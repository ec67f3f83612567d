#pragma once
// Named diagnostic streams. A channel is switched on when the environment
// variable DEBUG is "*" or lists the channel's upper-case name among its
// blank-separated words; a disabled channel costs one flag test per write.
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace Kiln {

class DebugChannel {
public:
    /// Decides once, from DEBUG, whether the channel writes; announces the
    /// decision on `out`. Enabled channels take the next rotation colour.
    DebugChannel(const std::string& name, std::ostream& out);
    /// Same, with the value of DEBUG given instead of read (for tests).
    DebugChannel(const std::string& name, std::ostream& out, const char* debugValue);

    bool isEnabled() const { return !disabled; }
    const std::string& getName() const { return name; }
    const std::string& getColour() const { return colour; }

    template <typename T>
    DebugChannel& operator<<(const T& value) {
        if (!disabled) {
            if (atLineStart)
                writePrefix();
            out << value;
            atLineStart = false;
        }
        return *this;
    }

    /// Ends the current line and flushes (use like std::endl).
    DebugChannel& operator<<(DebugChannel& (*manipulator)(DebugChannel&)) {
        return manipulator(*this);
    }
    void endLine();

    /// Upper-case name match rules, shared with the constructor.
    static bool isEnabledBy(const char* debugValue, const std::string& upperName);
    /// Restarts the process-wide colour rotation (tests only).
    static void resetColourRotation();

private:
    void writePrefix();

    std::chrono::steady_clock::time_point lastTime;
    std::ostream& out;
    bool atLineStart = true;
    bool disabled = false;
    std::string name;
    std::string colour;
};

/// Line end for a DebugChannel: `channel << "x=" << x << Kiln::endl;`
DebugChannel& endl(DebugChannel& channel);

/// The program's channels, created on first use and living to the end.
DebugChannel& debugChannel(const std::string& name);

} // namespace Kiln
