#include "hapticdevice/falcon/FalconProtocol.h"

#include <algorithm>
#include <cstring>

namespace Kiln {
namespace falcon {
namespace {

constexpr std::size_t controlByte = 13;
constexpr std::size_t spareByte = 14;

bool isNibble(std::uint8_t c) { return c >= nibbleBase && c < nibbleBase + 16; }

// The frame characters and the twelve field characters; bytes 13 and 14
// carry other things and may hold any value.
bool isWellFormed(const std::uint8_t* in) {
    if (in[0] != packetStart || in[packetSize - 1] != packetEnd)
        return false;
    for (std::size_t i = 1; i < controlByte; ++i)
        if (!isNibble(in[i]))
            return false;
    return true;
}

void encodeFields(const std::int16_t* values, std::uint8_t nibble13, std::uint8_t* out) {
    out[0] = packetStart;
    for (int i = 0; i < 3; ++i)
        encodeInt16(values[i], out + 1 + 4 * i);
    out[controlByte] = nibble13;
    out[spareByte] = nibbleBase;
    out[packetSize - 1] = packetEnd;
}

} // namespace

void encodeInt16(std::int16_t v, std::uint8_t* out) {
    const auto bits = static_cast<std::uint16_t>(v);
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<std::uint8_t>(nibbleBase + ((bits >> (4 * k)) & 0xF));
}

std::int16_t decodeInt16(const std::uint8_t* in) {
    std::uint16_t bits = 0;
    for (int k = 0; k < 4; ++k)
        bits |= static_cast<std::uint16_t>(((in[k] - nibbleBase) & 0xF) << (4 * k));
    return static_cast<std::int16_t>(bits);
}

void encodeCommand(const Command& command, std::uint8_t* out) {
    encodeFields(command.motor, static_cast<std::uint8_t>(nibbleBase + (command.control & 0xF)), out);
}

void encodeStatus(const Status& status, std::uint8_t* out) {
    // The device adds the homing bits above the grip nibble and lets the sum
    // run past 'P'; the byte wraps modulo 256.
    const unsigned s = (static_cast<unsigned>(status.homed & allAxesHomed) << 4) | (status.grip & 0xF);
    encodeFields(status.encoder, static_cast<std::uint8_t>(nibbleBase + s), out);
}

bool decodeStatus(const std::uint8_t* in, Status& out) {
    if (!isWellFormed(in))
        return false;
    for (int i = 0; i < 3; ++i)
        out.encoder[i] = decodeInt16(in + 1 + 4 * i);
    const auto s = static_cast<std::uint8_t>(in[controlByte] - nibbleBase);
    out.grip = s & 0xF;
    out.homed = (s >> 4) & allAxesHomed;
    return true;
}

bool decodeCommand(const std::uint8_t* in, Command& out) {
    if (!isWellFormed(in) || !isNibble(in[controlByte]))
        return false;
    for (int i = 0; i < 3; ++i)
        out.motor[i] = decodeInt16(in + 1 + 4 * i);
    out.control = static_cast<std::uint8_t>(in[controlByte] - nibbleBase);
    return true;
}

void StatusReader::commit(std::size_t count) {
    const std::size_t taken = std::min(count, space());
    used += taken;
    dropped += count - taken;
}

void StatusReader::append(const std::uint8_t* data, std::size_t count) {
    const std::size_t taken = std::min(count, space());
    std::memcpy(tail(), data, taken);
    used += taken;
    dropped += count - taken;
}

void StatusReader::discardFront(std::size_t count) {
    std::memmove(buffer, buffer + count, used - count);
    used -= count;
}

bool StatusReader::next(Status& out) {
    for (;;) {
        const auto* start = static_cast<const std::uint8_t*>(std::memchr(buffer, packetStart, used));
        const std::size_t skip = start ? static_cast<std::size_t>(start - buffer) : used;
        dropped += skip;
        discardFront(skip);
        if (used < packetSize)
            return false;
        if (decodeStatus(buffer, out)) {
            ++accepted;
            discardFront(packetSize);
            return true;
        }
        // Not a packet at this '<': the real start may lie inside it.
        ++rejected;
        ++dropped;
        discardFront(1);
    }
}

} // namespace falcon
} // namespace Kiln
