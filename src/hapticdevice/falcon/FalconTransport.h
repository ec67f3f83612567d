#pragma once
// The byte link to one Falcon: what the driver needs from the USB-serial
// bridge, so that the same driver code runs over libftdi1 and over the
// simulated device in tests.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {
namespace falcon {

/// Serial settings of the bridge; every mode is 8N1 without flow control.
enum class LinkMode {
    Normal,         ///< 1.5 MBd, latency timer 1 ms: the 1 kHz packet exchange
    BootloaderSlow, ///< 9600 Bd, latency 16 ms: the bootloader handshake
    BootloaderFast, ///< about 140 kBd, latency 16 ms: streaming the firmware image
};

/// An open device. Used by one thread at a time.
class ITransport {
public:
    virtual ~ITransport() = default;

    /// Each of these returns false when the device refused or is gone.
    virtual bool setMode(LinkMode mode) = 0;
    /// Drops whatever waits in either direction.
    virtual bool purge() = 0;
    /// DTR and RTS: the DSP's reset and bootloader-entry lines.
    virtual bool setDtr(bool high) = 0;
    virtual bool setRts(bool high) = 0;

    /// Sends all `size` bytes; false on failure.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    /// Waits at most timeoutMicros for data and returns the bytes read (0 on
    /// timeout; never more than `capacity`), or -1 when the link failed.
    virtual int read(std::uint8_t* data, std::size_t capacity, std::int64_t timeoutMicros) = 0;

    /// True once a failure showed the device is gone (unplugged, powered
    /// off); such a transport stays lost and must be reopened.
    virtual bool isLost() const = 0;
};

struct DeviceInfo {
    std::string serial;      ///< may be empty
    std::string description; ///< the USB product string
    std::string location;    ///< bus and port, for the user to tell devices apart
};

/// Finds and opens Falcons.
class IPort {
public:
    virtual ~IPort() = default;
    /// Devices present now; empty also when the bus cannot be read.
    virtual std::vector<DeviceInfo> list() = 0;
    /// Opens the index-th device, or returns null with a reason in `error`.
    virtual std::unique_ptr<ITransport> open(int index, std::string& error) = 0;
};

/// The USB port over libftdi1.
std::shared_ptr<IPort> makeFtdiPort();

} // namespace falcon
} // namespace Kiln
