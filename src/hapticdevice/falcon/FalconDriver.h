#pragma once
// One Falcon on a transport: the open sequence (firmware check, firmware
// loading through the DSP's serial bootloader) and the 1 kHz packet
// exchange. Knows bytes and packets, not forces or positions.
#include "hapticdevice/falcon/FalconProtocol.h"
#include "hapticdevice/falcon/FalconTransport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {
namespace falcon {

/// The settings key that names the firmware image, and where it is looked
/// for when the key is not set.
constexpr const char* firmwareSettingKey = "Haptic.FalconFirmware";
std::string defaultFirmwarePath();

/// Outcome of one firmware loading attempt.
enum class LoadResult {
    Loaded,
    NoHandshake,  ///< the bootloader never answered
    NoAutobaud,   ///< the bootloader did not echo the rate byte
    EchoMismatch, ///< a chunk came back different or incomplete
    LinkFailed,   ///< the transport failed or the device went away
};
const char* describe(LoadResult result);

struct ExchangeCounters {
    std::uint64_t commandsSent = 0;
    std::uint64_t statusesReceived = 0;
    std::uint64_t resends = 0;         ///< commands re-sent after no reply came
    std::uint64_t bytesDropped = 0;    ///< noise and broken packets thrown away
    std::uint64_t packetsRejected = 0; ///< framed candidates that did not decode
};

class Driver {
public:
    /// Ticks without a reply after which the command is sent again.
    static constexpr int resendAfterTicks = 4;

    explicit Driver(std::unique_ptr<ITransport> transport);
    /// Sends zero forces with the LEDs off, so the arm goes limp and dark.
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    /// Purges the link and sets the 1 kHz mode; false if the device refused.
    bool startNormalMode();
    /// True when the firmware answers an idle command: it survives as long
    /// as the device stays powered, and then loading can be skipped.
    bool probeFirmware();
    /// One attempt at streaming `image` into the DSP; ends in normal mode.
    LoadResult loadFirmware(const std::vector<std::uint8_t>& image);

    /// One tick of the exchange. Collects the reply to the previous command
    /// (waiting at most waitMicros for it), then sends `next`, so at most one
    /// command is ever outstanding. Returns true and fills `status` when a
    /// reply arrived.
    bool exchange(const Command& next, Status& status, std::int64_t waitMicros);
    bool isLost() const { return transport->isLost(); }
    ExchangeCounters getCounters() const;

private:
    bool collectReply(Status& status, std::int64_t waitMicros);
    bool sendCommand(const Command& command);
    bool enterBootloader();
    bool handshake();
    bool readExactly(std::uint8_t* out, std::size_t size, std::int64_t timeoutMicros);
    bool streamImage(const std::vector<std::uint8_t>& image, LoadResult& result);

    std::unique_ptr<ITransport> transport;
    StatusReader reader;
    bool awaitingReply = false;
    int ticksWaiting = 0;
    ExchangeCounters counters;
};

struct OpenOptions {
    int index = 0;
    /// The firmware image; empty means defaultFirmwarePath(). Read only
    /// when the device needs it.
    std::string firmwarePath;
    /// Loading often fails at first on Linux; each failure closes and
    /// reopens the device before the next attempt.
    int firmwareAttempts = 10;
    /// Progress lines for a user watching (may be empty).
    std::function<void(const std::string&)> progress;
};

struct OpenedDevice {
    std::unique_ptr<Driver> driver;
    bool firmwareLoaded = false; ///< false: it was already running
};

/// Opens a Falcon and makes sure its firmware runs. Throws Kiln::Exception
/// (code 6) with a message for the user: no device, no access, a firmware
/// file that cannot be read (naming the settings key and the path), or a
/// firmware that would not load.
OpenedDevice openDevice(IPort& port, const OpenOptions& options);

/// Reads the whole file; throws Kiln::Exception (code 6) naming the key and
/// the path when it is missing, unreadable or empty.
std::vector<std::uint8_t> readFirmwareImage(const std::string& path);

} // namespace falcon
} // namespace Kiln
