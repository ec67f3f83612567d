#pragma once
// The Falcon's runtime byte protocol: 16-byte ASCII packets in both
// directions, '<' + 14 nibble characters + '>'. The host writes one command
// and the device answers it with one status; nothing here does I/O.
#include <cstddef>
#include <cstdint>

namespace Kiln {
namespace falcon {

constexpr std::uint16_t usbVendorId = 0x0403;
constexpr std::uint16_t usbProductId = 0xCB48;
constexpr const char* usbDescription = "FALCON HAPTIC";

constexpr std::size_t packetSize = 16;
constexpr std::uint8_t packetStart = '<';
constexpr std::uint8_t packetEnd = '>';
constexpr std::uint8_t nibbleBase = 'A'; ///< nibble n travels as 'A' + n

/// Bits of the command's control nibble.
enum ControlBits : std::uint8_t {
    controlHoming = 0x1,   ///< must stay set in every command for the device to stay homed
    controlGreenLed = 0x2,
    controlBlueLed = 0x4,
    controlRedLed = 0x8,
};

/// Bits of the grip nibble in a status, as the firmware numbers them.
enum GripBits : std::uint8_t {
    gripPlus = 0x1,    ///< far right seen from the front
    gripForward = 0x2, ///< centre, towards the device
    gripCenter = 0x4,  ///< centre, the round one
    gripMinus = 0x8,   ///< far left
};

constexpr std::uint8_t allAxesHomed = 0x7;

struct Command {
    std::int16_t motor[3] = {0, 0, 0}; ///< motor commands, arms top, right, left
    std::uint8_t control = 0;          ///< ControlBits
};

struct Status {
    std::int16_t encoder[3] = {0, 0, 0}; ///< quadrature counts, arms top, right, left
    std::uint8_t grip = 0;               ///< GripBits
    std::uint8_t homed = 0;              ///< bit i set once arm i is homed
    bool isHomed() const { return (homed & allAxesHomed) == allAxesHomed; }
};

/// Writes exactly packetSize bytes.
void encodeCommand(const Command& command, std::uint8_t* out);
void encodeStatus(const Status& status, std::uint8_t* out);

/// Reads exactly packetSize bytes; false (and `out` untouched) unless the
/// bytes are a well-formed packet: the frame characters in place and every
/// nibble character of the three motor/encoder fields in 'A'..'P'.
bool decodeStatus(const std::uint8_t* in, Status& out);
bool decodeCommand(const std::uint8_t* in, Command& out);

/// Encodes v as 4 nibble characters, least significant first.
void encodeInt16(std::int16_t v, std::uint8_t* out);
/// The inverse of encodeInt16 for valid characters.
std::int16_t decodeInt16(const std::uint8_t* in);

/// Finds status packets in a byte stream that may arrive in pieces, with
/// noise, lost bytes or stray frame characters. A candidate is accepted only
/// when it decodes; otherwise one byte is dropped and the scan goes on from
/// the next '<'. Fixed storage: nothing is allocated.
class StatusReader {
public:
    static constexpr std::size_t capacity = 512;

    /// Room left for the next read; at least packetSize.
    std::size_t space() const { return capacity - used; }
    /// Where the next read should put its bytes (space() of them at most).
    std::uint8_t* tail() { return buffer + used; }
    /// Takes `count` bytes written at tail(). Bytes that do not fit are
    /// counted as dropped.
    void commit(std::size_t count);
    /// Copies bytes in (a convenience over tail/commit).
    void append(const std::uint8_t* data, std::size_t count);

    /// Takes the next complete packet out of the buffer into `out`.
    bool next(Status& out);
    /// Bytes waiting that may still become a packet.
    std::size_t pending() const { return used; }
    void clear() { used = 0; }
    void resetCounts() { accepted = dropped = rejected = 0; }

    std::uint64_t packetsAccepted() const { return accepted; }
    /// Bytes thrown away because they could not be part of a valid packet.
    std::uint64_t bytesDropped() const { return dropped; }
    /// Candidates that started with '<' but did not decode.
    std::uint64_t packetsRejected() const { return rejected; }

private:
    void discardFront(std::size_t count);

    std::uint8_t buffer[capacity];
    std::size_t used = 0;
    std::uint64_t accepted = 0;
    std::uint64_t dropped = 0;
    std::uint64_t rejected = 0;
};

} // namespace falcon
} // namespace Kiln
