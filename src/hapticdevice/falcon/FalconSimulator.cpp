#include "hapticdevice/falcon/FalconSimulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace Kiln {
namespace falcon {
namespace {

constexpr std::uint8_t handshakeRequest[] = {0x0A, 0x43, 0x0D};
constexpr std::uint8_t handshakeReply[] = {0x0A, 0x44, 0x2C, 0x0D};
constexpr std::uint8_t autobaudByte = 0x41;

// The hand: light, springy and damped close to critical, like a relaxed
// grip on the handle.
constexpr double handMass = 0.1;        // kg
constexpr double handStiffness = 200.0; // N/m
constexpr double handDamping = 7.0;     // N s/m

// A read with nothing to return waits like the bridge would, in short naps
// so that a reply written meanwhile is seen soon.
constexpr std::int64_t idleReadNapMicros = 200;

double homingAngle() {
    static const double angle = [] {
        ArmPose pose;
        inverseKinematics({0.0, 0.0, Simulator::homingZ}, pose);
        return pose.leg[0].theta[0];
    }();
    return angle;
}

bool endsWith(const std::vector<std::uint8_t>& bytes, const std::uint8_t* tail, std::size_t size) {
    return bytes.size() >= size && std::equal(tail, tail + size, bytes.end() - size);
}

} // namespace

class SimulatedTransport final : public ITransport {
public:
    SimulatedTransport(std::shared_ptr<Simulator> device_, std::uint64_t connection_)
        : device(std::move(device_)), connection(connection_) {}

    bool setMode(LinkMode mode) override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (lostLocked())
            return false;
        device->changeMode(mode);
        return true;
    }
    bool purge() override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (lostLocked())
            return false;
        device->outbox.clear();
        device->inbox.clear();
        return true;
    }
    bool setDtr(bool high) override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (lostLocked())
            return false;
        device->changeLines(high, device->rts);
        return true;
    }
    bool setRts(bool high) override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (lostLocked())
            return false;
        device->changeLines(device->dtr, high);
        return true;
    }
    bool write(const std::uint8_t* data, std::size_t size) override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (lostLocked())
            return false;
        device->receive(data, size);
        return true;
    }
    int read(std::uint8_t* data, std::size_t capacity, std::int64_t timeoutMicros) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutMicros);
        for (;;) {
            {
                const std::lock_guard<std::mutex> lock(device->mutex);
                if (lostLocked())
                    return -1;
                std::size_t count = std::min(capacity, device->outbox.size());
                if (device->pieceSize > 0)
                    count = std::min(count, device->pieceSize);
                if (count > 0) {
                    std::copy_n(device->outbox.begin(), count, data);
                    device->outbox.erase(device->outbox.begin(), device->outbox.begin() + count);
                    return static_cast<int>(count);
                }
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return 0;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                              std::chrono::microseconds(idleReadNapMicros)));
        }
    }
    bool isLost() const override {
        const std::lock_guard<std::mutex> lock(device->mutex);
        return lostLocked();
    }

private:
    bool lostLocked() const { return !device->plugged || device->connection != connection; }

    std::shared_ptr<Simulator> device;
    const std::uint64_t connection;
};

class SimulatedPort final : public IPort {
public:
    explicit SimulatedPort(std::shared_ptr<Simulator> device_) : device(std::move(device_)) {}

    std::vector<DeviceInfo> list() override {
        if (!device->isPlugged())
            return {};
        return {DeviceInfo{"SIMULATED", usbDescription, "simulated"}};
    }

    std::unique_ptr<ITransport> open(int index, std::string& error) override;

private:
    std::shared_ptr<Simulator> device;
};

Simulator::Simulator(std::vector<std::uint8_t> firmware_) : firmware(std::move(firmware_)) {
    powerUpLocked();
}

std::shared_ptr<IPort> Simulator::makePort() { return std::make_shared<SimulatedPort>(shared_from_this()); }

std::unique_ptr<ITransport> SimulatedPort::open(int index, std::string& error) {
    if (index != 0 || !device->isPlugged()) {
        error = "no Falcon is connected";
        return nullptr;
    }
    const std::lock_guard<std::mutex> lock(device->mutex);
    // Opening resets the bridge: whatever was in flight is gone.
    device->outbox.clear();
    device->inbox.clear();
    return std::make_unique<SimulatedTransport>(device, device->connection);
}

void Simulator::powerUpLocked() {
    stage = Stage::Idle;
    homed = 0;
    lastCommand = Command{};
    motorForce = {};
    inbox.clear();
    outbox.clear();
    // The encoders count from wherever the arms are at power-up.
    ArmPose pose;
    if (inverseKinematics(gripPosition, pose))
        for (int i = 0; i < 3; ++i)
            encoderOffset[i] = std::round(angleToEncoder(pose.leg[i].theta[0]));
}

void Simulator::setHandTarget(const Vec3d& position) {
    const std::lock_guard<std::mutex> lock(mutex);
    target = position;
}

void Simulator::placeGrip(const Vec3d& position) {
    const std::lock_guard<std::mutex> lock(mutex);
    ArmPose pose;
    if (!inverseKinematics(position, pose))
        return;
    target = gripPosition = position;
    velocity = {};
    updateHoming(pose);
}

void Simulator::setGrip(std::uint8_t gripBits) {
    const std::lock_guard<std::mutex> lock(mutex);
    grip = gripBits & 0xF;
}

void Simulator::unplug() {
    const std::lock_guard<std::mutex> lock(mutex);
    plugged = false;
    stage = Stage::Off;
    ++connection;
}

void Simulator::plug() {
    const std::lock_guard<std::mutex> lock(mutex);
    if (plugged)
        return;
    plugged = true;
    powerUpLocked();
}

void Simulator::setFirmwareRunning(bool running) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (plugged)
        stage = running ? Stage::Running : Stage::Idle;
}

void Simulator::injectNoise(const std::vector<std::uint8_t>& bytes) {
    const std::lock_guard<std::mutex> lock(mutex);
    noise.insert(noise.end(), bytes.begin(), bytes.end());
}

void Simulator::dropReplies(int count) {
    const std::lock_guard<std::mutex> lock(mutex);
    repliesToDrop = count;
}

void Simulator::setReadPieceSize(std::size_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex);
    pieceSize = bytes;
}

void Simulator::corruptNextLoads(int count) {
    const std::lock_guard<std::mutex> lock(mutex);
    loadsToCorrupt = count;
}

void Simulator::setHandshakePrefix(bool prefix) {
    const std::lock_guard<std::mutex> lock(mutex);
    handshakePrefix = prefix;
}

Vec3d Simulator::getGripPosition() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return gripPosition;
}

void Simulator::getEncoders(std::int16_t out[3]) const {
    const std::lock_guard<std::mutex> lock(mutex);
    encodersLocked(out);
}

std::uint8_t Simulator::getLastControl() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return lastCommand.control;
}

Command Simulator::getLastCommand() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return lastCommand;
}

bool Simulator::isFirmwareRunning() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return stage == Stage::Running;
}

bool Simulator::isHomed() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return homed == allAxesHomed;
}

bool Simulator::isPlugged() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return plugged;
}

int Simulator::getFirmwareLoads() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return firmwareLoads;
}

std::uint64_t Simulator::getCommandsAnswered() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return answered;
}

Vec3d Simulator::getMotorForce() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return motorForce;
}

void Simulator::encodersLocked(std::int16_t out[3]) const {
    ArmPose pose;
    inverseKinematics(gripPosition, pose); // the grip never leaves the reach of the arms
    for (int i = 0; i < 3; ++i) {
        const double count = std::round(angleToEncoder(pose.leg[i].theta[0])) - encoderOffset[i];
        out[i] = static_cast<std::int16_t>(count);
    }
}

void Simulator::changeMode(LinkMode newMode) {
    mode = newMode;
    if (newMode == LinkMode::Normal && stage == Stage::Streaming) {
        // The bootloader jumps to what it received: it runs only when that
        // was the whole, right image.
        const bool good = received == firmware;
        stage = good ? Stage::Running : Stage::Idle;
        if (good)
            ++firmwareLoads;
    }
}

void Simulator::changeLines(bool newDtr, bool newRts) {
    // A rising DTR with RTS low resets the DSP into its bootloader.
    if (!newRts && !dtr && newDtr) {
        stage = Stage::Handshake;
        homed = 0;
        inbox.clear();
        received.clear();
    }
    dtr = newDtr;
    rts = newRts;
}

void Simulator::receive(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (stage == Stage::Running) {
            if (mode == LinkMode::Normal)
                receiveCommandByte(data[i]);
        } else {
            receiveBootloader(data[i]);
        }
    }
}

void Simulator::receiveBootloader(std::uint8_t byte) {
    switch (stage) {
    case Stage::Handshake:
        if (mode != LinkMode::BootloaderSlow)
            return; // at another rate the bootloader sees only noise
        inbox.push_back(byte);
        if (endsWith(inbox, handshakeRequest, sizeof handshakeRequest)) {
            if (handshakePrefix)
                outbox.push_back(0x00);
            outbox.insert(outbox.end(), std::begin(handshakeReply), std::end(handshakeReply));
            inbox.clear();
            stage = Stage::Autobaud;
        }
        return;
    case Stage::Autobaud:
        if (mode != LinkMode::BootloaderFast || dtr || byte != autobaudByte)
            return;
        outbox.push_back(byte);
        received.clear();
        corruptThisLoad = loadsToCorrupt > 0;
        if (corruptThisLoad)
            --loadsToCorrupt;
        stage = Stage::Streaming;
        return;
    case Stage::Streaming:
        if (mode != LinkMode::BootloaderFast)
            return;
        received.push_back(byte);
        outbox.push_back(corruptThisLoad ? static_cast<std::uint8_t>(byte ^ 0x5A) : byte);
        corruptThisLoad = false;
        return;
    default:
        return; // no firmware and no bootloader: the DSP ignores the line
    }
}

void Simulator::receiveCommandByte(std::uint8_t byte) {
    if (inbox.empty() && byte != packetStart)
        return;
    inbox.push_back(byte);
    if (inbox.size() < packetSize)
        return;
    Command command;
    if (decodeCommand(inbox.data(), command)) {
        inbox.clear();
        answer(command);
        return;
    }
    // Resynchronise on the next '<' inside what was taken.
    const auto next = std::find(inbox.begin() + 1, inbox.end(), packetStart);
    inbox.erase(inbox.begin(), next);
}

void Simulator::answer(const Command& command) {
    lastCommand = command;
    if ((command.control & controlHoming) == 0)
        homed = 0; // the device stays homed only while it is asked to
    step(stepSeconds);
    if (repliesToDrop > 0) {
        --repliesToDrop;
        return;
    }
    Status status;
    encodersLocked(status.encoder);
    status.grip = grip;
    status.homed = homed;
    std::uint8_t packet[packetSize];
    encodeStatus(status, packet);
    outbox.insert(outbox.end(), noise.begin(), noise.end());
    noise.clear();
    outbox.insert(outbox.end(), packet, packet + packetSize);
    ++answered;
}

void Simulator::step(double seconds) {
    ArmPose pose;
    if (!inverseKinematics(gripPosition, pose))
        return;
    motorForce = commandsToForce(pose, lastCommand.motor);
    const Vec3d force = motorForce + (target - gripPosition) * handStiffness - velocity * handDamping;
    velocity += force * (seconds / handMass);
    const Vec3d next = gripPosition + velocity * seconds;
    ArmPose nextPose;
    if (inverseKinematics(next, nextPose)) {
        gripPosition = next;
        pose = nextPose;
    } else {
        velocity = {}; // against the mechanical stop
    }
    if (lastCommand.control & controlHoming)
        updateHoming(pose);
}

void Simulator::updateHoming(const ArmPose& pose) {
    if ((lastCommand.control & controlHoming) == 0 || stage != Stage::Running)
        return;
    // An arm passing its index mark learns its absolute position: the
    // counts jump to the true angle.
    for (int i = 0; i < 3; ++i)
        if (pose.leg[i].theta[0] >= homingAngle() && !(homed & (1u << i))) {
            homed |= static_cast<std::uint8_t>(1u << i);
            encoderOffset[i] = 0.0;
        }
}

} // namespace falcon
} // namespace Kiln
