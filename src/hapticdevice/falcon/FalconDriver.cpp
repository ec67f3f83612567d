#include "hapticdevice/falcon/FalconDriver.h"

#include "log/Exception.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

namespace Kiln {
namespace falcon {
namespace {

const char* const openSource = "Kiln::falcon::openDevice()";

constexpr std::int64_t bootloaderReplyMicros = 1000000;
constexpr int handshakeTries = 100;
// The bootloader echoes each chunk; larger chunks overrun its buffer.
constexpr std::size_t firmwareChunk = 62;
constexpr std::uint8_t handshakeRequest[] = {0x0A, 0x43, 0x0D};
constexpr std::uint8_t handshakeReply[] = {0x0A, 0x44, 0x2C, 0x0D};
constexpr std::uint8_t autobaudByte = 0x41;
// Idle commands sent while looking for a running firmware.
constexpr int probeRounds = 10;
constexpr int probeTicksPerRound = 20;
constexpr std::int64_t probeWaitMicros = 2000;

std::int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void tell(const OpenOptions& options, const std::string& line) {
    if (options.progress)
        options.progress(line);
}

std::unique_ptr<Driver> openTransport(IPort& port, int index) {
    std::string error;
    std::unique_ptr<ITransport> transport = port.open(index, error);
    if (!transport)
        throw Exception(ErrorCode::Haptics, "Cannot open the Falcon: " + error + ".", openSource);
    auto driver = std::make_unique<Driver>(std::move(transport));
    if (!driver->startNormalMode())
        throw Exception(ErrorCode::Haptics, "The Falcon does not accept its serial settings; unplug it and plug it in again.",
                        openSource);
    return driver;
}

} // namespace

std::string defaultFirmwarePath() { return userDataFolder() + "/falcon-firmware.bin"; }

const char* describe(LoadResult result) {
    switch (result) {
    case LoadResult::Loaded: return "loaded";
    case LoadResult::NoHandshake: return "the bootloader did not answer";
    case LoadResult::NoAutobaud: return "the bootloader did not take the transfer rate";
    case LoadResult::EchoMismatch: return "the device echoed the image wrongly";
    case LoadResult::LinkFailed: return "the USB link failed";
    }
    return "unknown";
}

Driver::Driver(std::unique_ptr<ITransport> transport_) : transport(std::move(transport_)) {}

Driver::~Driver() {
    if (transport->isLost())
        return;
    std::uint8_t idle[packetSize];
    encodeCommand(Command{}, idle);
    transport->write(idle, packetSize);
}

bool Driver::startNormalMode() {
    // What happened while looking for or loading the firmware is not the
    // exchange's doing: count afresh.
    reader.clear();
    reader.resetCounts();
    counters = ExchangeCounters{};
    awaitingReply = false;
    return transport->purge() && transport->setMode(LinkMode::Normal) && transport->purge();
}

bool Driver::probeFirmware() {
    Status status;
    for (int round = 0; round < probeRounds && !isLost(); ++round) {
        // A fresh command each round, in case the last one was lost.
        awaitingReply = false;
        for (int tick = 0; tick < probeTicksPerRound && !isLost(); ++tick)
            if (exchange(Command{}, status, probeWaitMicros))
                return true;
    }
    return false;
}

ExchangeCounters Driver::getCounters() const {
    ExchangeCounters out = counters;
    out.bytesDropped = reader.bytesDropped();
    out.packetsRejected = reader.packetsRejected();
    return out;
}

bool Driver::exchange(const Command& next, Status& status, std::int64_t waitMicros) {
    bool received = false;
    if (awaitingReply) {
        received = collectReply(status, waitMicros);
        if (received) {
            awaitingReply = false;
        } else if (++ticksWaiting >= resendAfterTicks) {
            awaitingReply = false;
            ++counters.resends;
        }
    }
    if (!awaitingReply && sendCommand(next)) {
        awaitingReply = true;
        ticksWaiting = 0;
    }
    return received;
}

bool Driver::collectReply(Status& status, std::int64_t waitMicros) {
    const std::int64_t deadline = nowMicros() + waitMicros;
    for (bool first = true;; first = false) {
        if (reader.next(status)) {
            // A late reply and the current one can both be waiting: the
            // newest reading wins.
            while (reader.next(status)) {
            }
            ++counters.statusesReceived;
            return true;
        }
        // Even without time to wait, what has already arrived is taken.
        const std::int64_t left = std::max<std::int64_t>(deadline - nowMicros(), 0);
        if (left == 0 && !first)
            return false;
        // Asking for just the missing bytes lets the bridge return as soon
        // as they are in, instead of at its next latency timeout.
        const std::size_t missing = packetSize - std::min(reader.pending(), packetSize - 1);
        const int got = transport->read(reader.tail(), std::min(missing, reader.space()), left);
        if (got < 0)
            return false;
        reader.commit(static_cast<std::size_t>(got));
    }
}

bool Driver::sendCommand(const Command& command) {
    std::uint8_t packet[packetSize];
    encodeCommand(command, packet);
    if (!transport->write(packet, packetSize))
        return false;
    ++counters.commandsSent;
    return true;
}

bool Driver::readExactly(std::uint8_t* out, std::size_t size, std::int64_t timeoutMicros) {
    const std::int64_t deadline = nowMicros() + timeoutMicros;
    std::size_t have = 0;
    while (have < size) {
        const std::int64_t left = deadline - nowMicros();
        if (left <= 0)
            return false;
        const int got = transport->read(out + have, size - have, left);
        if (got < 0)
            return false;
        have += static_cast<std::size_t>(got);
    }
    return true;
}

bool Driver::enterBootloader() {
    // RTS low, then a pulse on DTR resets the DSP into its bootloader.
    return transport->purge() && transport->setMode(LinkMode::BootloaderSlow) &&
           transport->setRts(false) && transport->setDtr(false) && transport->setDtr(true);
}

bool Driver::handshake() {
    for (int attempt = 0; attempt < handshakeTries && !isLost(); ++attempt) {
        transport->purge();
        if (!transport->write(handshakeRequest, sizeof handshakeRequest))
            continue;
        // Some hosts see a 0x00 before the reply; take it and read on.
        std::uint8_t reply[sizeof handshakeReply];
        if (!readExactly(reply, 1, bootloaderReplyMicros))
            continue;
        if (reply[0] == 0x00 && !readExactly(reply, 1, bootloaderReplyMicros))
            continue;
        if (readExactly(reply + 1, sizeof reply - 1, bootloaderReplyMicros) &&
            std::memcmp(reply, handshakeReply, sizeof reply) == 0)
            return true;
    }
    return false;
}

bool Driver::streamImage(const std::vector<std::uint8_t>& image, LoadResult& result) {
    std::uint8_t echo[firmwareChunk];
    for (std::size_t offset = 0; offset < image.size(); offset += firmwareChunk) {
        const std::size_t size = std::min(firmwareChunk, image.size() - offset);
        if (!transport->write(image.data() + offset, size)) {
            result = LoadResult::LinkFailed;
            return false;
        }
        if (!readExactly(echo, size, bootloaderReplyMicros) ||
            std::memcmp(echo, image.data() + offset, size) != 0) {
            result = isLost() ? LoadResult::LinkFailed : LoadResult::EchoMismatch;
            return false;
        }
    }
    return true;
}

LoadResult Driver::loadFirmware(const std::vector<std::uint8_t>& image) {
    awaitingReply = false;
    reader.clear();
    if (!enterBootloader())
        return LoadResult::LinkFailed;
    if (!handshake())
        return isLost() ? LoadResult::LinkFailed : LoadResult::NoHandshake;
    if (!transport->setDtr(false) || !transport->setMode(LinkMode::BootloaderFast))
        return LoadResult::LinkFailed;
    std::uint8_t echo = 0;
    if (!transport->write(&autobaudByte, 1))
        return LoadResult::LinkFailed;
    if (!readExactly(&echo, 1, bootloaderReplyMicros) || echo != autobaudByte)
        return isLost() ? LoadResult::LinkFailed : LoadResult::NoAutobaud;
    LoadResult result = LoadResult::Loaded;
    if (!streamImage(image, result))
        return result;
    return startNormalMode() ? LoadResult::Loaded : LoadResult::LinkFailed;
}

std::vector<std::uint8_t> readFirmwareImage(const std::string& path) {
    const std::string fix = std::string(" Copy the Falcon firmware image from the device maker's driver to "
                                        "that path, or set ") +
                            firmwareSettingKey + " in Config/HapticSettings.xml to where it is.";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Exception(ErrorCode::Haptics, "The Falcon needs its firmware, but the file \"" + path + "\" (named by " +
                               firmwareSettingKey + ") cannot be read." + fix,
                        openSource);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || image.empty())
        throw Exception(ErrorCode::Haptics, "The Falcon firmware file \"" + path + "\" (named by " + firmwareSettingKey +
                               ") is empty or unreadable." + fix,
                        openSource);
    return image;
}

OpenedDevice openDevice(IPort& port, const OpenOptions& options) {
    OpenedDevice opened;
    opened.driver = openTransport(port, options.index);
    if (opened.driver->probeFirmware())
        return opened;
    const std::string path = options.firmwarePath.empty() ? defaultFirmwarePath() : options.firmwarePath;
    const std::vector<std::uint8_t> image = readFirmwareImage(path);
    LoadResult last = LoadResult::LinkFailed;
    for (int attempt = 1; attempt <= std::max(options.firmwareAttempts, 1); ++attempt) {
        tell(options, "Loading firmware from " + path + " (attempt " + std::to_string(attempt) + ")...");
        last = opened.driver->loadFirmware(image);
        if (last == LoadResult::Loaded && opened.driver->probeFirmware()) {
            opened.firmwareLoaded = true;
            return opened;
        }
        if (last == LoadResult::Loaded)
            tell(options, "The firmware does not answer after loading; trying again.");
        else
            tell(options, std::string("Firmware loading failed: ") + describe(last) + ".");
        // Closing and reopening the bridge clears whatever state made the
        // attempt fail.
        opened.driver.reset();
        opened.driver = openTransport(port, options.index);
    }
    throw Exception(ErrorCode::Haptics,
                    "The Falcon's firmware did not load (" + std::string(describe(last)) +
                        "). Plug the Falcon directly into the computer rather than through a hub, "
                        "check that \"" + path + "\" is the Falcon firmware, and try again.",
                    openSource);
}

} // namespace falcon
} // namespace Kiln
