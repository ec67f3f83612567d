#pragma once
// The Falcon as the program's haptic device: the packet exchange, homing,
// kinematics and force output run on the 1 kHz haptic thread.
#include "hapticdevice/HapticLoopDevice.h"
#include "hapticdevice/falcon/FalconDriver.h"
#include "hapticdevice/falcon/FalconKinematics.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Kiln {

struct FalconDeviceOptions {
    /// Where Falcons are found; null: the USB port (libftdi1).
    std::shared_ptr<falcon::IPort> port;
    falcon::OpenOptions open;
    HapticLoop loop = HapticLoop::Thread;
};

/// Button bits the program uses for the grip's buttons: the round centre
/// button is the main one (1), then minus (2), forward (4) and plus (8).
std::int32_t gripButtonsToMask(std::uint8_t gripBits);

class HapticsDeviceFalcon : public HapticLoopDevice {
public:
    /// The grip's z in the device frame is measured from here, the middle of
    /// the workspace (metres in the Falcon's own frame).
    static constexpr double workspaceCentreZ = 0.150;
    /// How long a tick waits for the device's reply to the last command.
    static constexpr std::int64_t replyWaitMicros = 800;

    /// Opens the device (loading its firmware if needed) and starts the
    /// haptic thread; throws Kiln::Exception (code 6) when it cannot.
    explicit HapticsDeviceFalcon(FalconDeviceOptions options = {});
    ~HapticsDeviceFalcon() override;

    /// False from the tick that found the device gone until activate
    /// reopens it.
    bool isConnected() override { return connected.load(std::memory_order_acquire); }
    /// Also reopens a device that was lost and has been plugged in again;
    /// false (with getLastError) when that fails.
    bool activate() override;

    /// All three arms have found their reference since the device opened.
    bool isHomed() const { return homed.load(std::memory_order_acquire); }
    bool wasFirmwareLoaded() const { return firmwareLoaded; }
    std::string getLastError();
    falcon::ExchangeCounters getCounters();

protected:
    bool pollDevice(double dt, const DeviceForce& pending, Vec3d& position,
                    std::int32_t& buttons) override;

private:
    falcon::Command nextCommand(const DeviceForce& pending) const;
    bool reopen();

    const std::shared_ptr<falcon::IPort> port;
    const falcon::OpenOptions openOptions;
    bool firmwareLoaded = false;

    // The haptic thread holds this for a tick; activate takes it to swap in
    // a reopened driver (the tick then skips, it never waits).
    std::mutex driverMutex;
    std::unique_ptr<falcon::Driver> driver;
    falcon::PositionTracker tracker;
    falcon::ExchangeCounters counters;

    std::atomic<bool> connected{false};
    std::atomic<bool> homed{false};
    std::mutex errorMutex;
    std::string lastError;
};

} // namespace Kiln
