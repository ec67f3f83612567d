#include "log/DebugChannel.h"

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

namespace Kiln {
namespace {

const char* const kColours[] = {"\x1b[31m", "\x1b[32m", "\x1b[33m",
                                "\x1b[34m", "\x1b[35m", "\x1b[36m"};
unsigned colourCounter = 0;

std::string toUpper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

} // namespace

bool DebugChannel::isEnabledBy(const char* debugValue, const std::string& upperName) {
    if (debugValue == nullptr || *debugValue == '\0')
        return false;
    const std::string value = debugValue;
    if (value == "*")
        return true;
    std::istringstream words(value);
    std::string word;
    while (words >> word)
        if (word == upperName)
            return true;
    return false;
}

void DebugChannel::resetColourRotation() { colourCounter = 0; }

DebugChannel::DebugChannel(const std::string& name_, std::ostream& out_)
    : DebugChannel(name_, out_, std::getenv("DEBUG")) {}

DebugChannel::DebugChannel(const std::string& name_, std::ostream& out_, const char* debugValue)
    : lastTime(std::chrono::steady_clock::now()), out(out_), name(name_) {
    const std::string upperName = toUpper(name);
    if (isEnabledBy(debugValue, upperName)) {
        out << "Enable debug messages from '" << upperName << "'" << std::endl;
        colour = kColours[colourCounter % 6];
        ++colourCounter;
    } else {
        // Only someone who set DEBUG asked to hear which channels stay off;
        // otherwise standard error is kept for warnings and errors.
        if (debugValue && *debugValue)
            out << "Disable debug messages from '" << upperName << "'" << std::endl;
        disabled = true;
    }
}

void DebugChannel::writePrefix() {
    const auto now = std::chrono::steady_clock::now();
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTime).count();
    out << colour << name << "\x1b[0m" << " (+" << elapsedMs << "ms): ";
    lastTime = now;
}

void DebugChannel::endLine() {
    if (disabled)
        return;
    out << std::endl;
    atLineStart = true;
}

DebugChannel& endl(DebugChannel& channel) {
    channel.endLine();
    return channel;
}

DebugChannel& debugChannel(const std::string& name) {
    // Channels live until exit: static destructors may still log.
    static auto* channels = new std::map<std::string, std::unique_ptr<DebugChannel>>();
    auto& slot = (*channels)[name];
    if (!slot)
        slot = std::make_unique<DebugChannel>(name, std::clog);
    return *slot;
}

} // namespace Kiln
