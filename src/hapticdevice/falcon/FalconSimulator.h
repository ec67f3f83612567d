#pragma once
// A Falcon in software that speaks the device's byte protocol on the far
// side of the transport: the DSP's bootloader (reset lines, handshake,
// autobaud, echoed image), the firmware's packet exchange, homing, encoders
// computed from a simulated hand moving the grip, motor forces acting on that
// hand, the grip buttons and the LEDs. It also misbehaves on request (noise,
// split and lost replies, failed loads, unplugging), so that the driver's
// handling of each can be tested without hardware.
#include "hapticdevice/falcon/FalconKinematics.h"
#include "hapticdevice/falcon/FalconProtocol.h"
#include "hapticdevice/falcon/FalconTransport.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace Kiln {
namespace falcon {

class Simulator : public std::enable_shared_from_this<Simulator> {
public:
    /// `firmware`: the image the device accepts as its firmware (the one in
    /// the test's firmware file).
    explicit Simulator(std::vector<std::uint8_t> firmware);

    // --- What a person or the environment does (any thread) ---

    /// Where the hand pulls the grip, metres in the device's fixed frame.
    void setHandTarget(const Vec3d& position);
    /// Moves the grip there at once (and the hand's target with it).
    void placeGrip(const Vec3d& position);
    void setGrip(std::uint8_t gripBits);
    /// Power cycle off: open transports fail and report the device lost.
    void unplug();
    /// Powers up again; the firmware and the homing are gone.
    void plug();
    /// Starts with the firmware already running (as after an earlier run).
    void setFirmwareRunning(bool running);

    // --- Faults ---

    /// Bytes sent ahead of the next status reply.
    void injectNoise(const std::vector<std::uint8_t>& bytes);
    /// The next `count` commands get no reply.
    void dropReplies(int count);
    /// Replies come out in pieces of `bytes` per read (0: whole).
    void setReadPieceSize(std::size_t bytes);
    /// The next `count` firmware loads echo one byte wrongly.
    void corruptNextLoads(int count);
    /// The bootloader prefixes its handshake reply with 0x00 (as some hosts see).
    void setHandshakePrefix(bool prefix);

    // --- What can be observed ---

    Vec3d getGripPosition() const;
    /// Encoder counts the device reports now.
    void getEncoders(std::int16_t out[3]) const;
    std::uint8_t getLastControl() const;
    Command getLastCommand() const;
    bool isFirmwareRunning() const;
    bool isHomed() const;
    bool isPlugged() const;
    int getFirmwareLoads() const;
    std::uint64_t getCommandsAnswered() const;
    /// The force the motors push the grip with (N, device frame).
    Vec3d getMotorForce() const;

    /// A port on which this device is plugged in (or not, see unplug).
    std::shared_ptr<IPort> makePort();

    /// The physics step per command: the firmware exchange runs at 1 kHz.
    static constexpr double stepSeconds = 0.001;
    /// Where the arms are when the device powers up.
    static constexpr Vec3d restPosition{0.0, 0.0, 0.120};
    /// z beyond which every arm passes its homing switch.
    static constexpr double homingZ = 0.170;

private:
    friend class SimulatedTransport;
    friend class SimulatedPort;
    enum class Stage { Off, Idle, Handshake, Autobaud, Streaming, Running };

    // Transport side, called with the lock held.
    void receive(const std::uint8_t* data, std::size_t size);
    void receiveBootloader(std::uint8_t byte);
    void receiveCommandByte(std::uint8_t byte);
    void answer(const Command& command);
    void changeMode(LinkMode mode);
    void changeLines(bool dtr, bool rts);
    void step(double seconds);
    void updateHoming(const ArmPose& pose);
    void encodersLocked(std::int16_t out[3]) const;
    void powerUpLocked();

    mutable std::mutex mutex;
    const std::vector<std::uint8_t> firmware;
    std::uint64_t connection = 1; ///< changes on every unplug
    Stage stage = Stage::Off;
    bool plugged = true;
    LinkMode mode = LinkMode::Normal;
    bool dtr = true;
    bool rts = true;
    std::vector<std::uint8_t> inbox;     ///< bytes of an incomplete request
    std::vector<std::uint8_t> received;  ///< image bytes streamed so far
    std::deque<std::uint8_t> outbox;
    std::vector<std::uint8_t> noise;
    std::size_t pieceSize = 0;
    int repliesToDrop = 0;
    int loadsToCorrupt = 0;
    bool corruptThisLoad = false;
    bool handshakePrefix = false;
    int firmwareLoads = 0;
    std::uint64_t answered = 0;

    // The firmware's state.
    Command lastCommand;
    std::uint8_t homed = 0;
    double encoderOffset[3] = {0, 0, 0}; ///< counts at power-up, until homed
    std::uint8_t grip = 0;

    // The hand holding the grip: a mass on a spring towards the target.
    Vec3d target = restPosition;
    Vec3d gripPosition = restPosition;
    Vec3d velocity;
    Vec3d motorForce;
};

} // namespace falcon
} // namespace Kiln
