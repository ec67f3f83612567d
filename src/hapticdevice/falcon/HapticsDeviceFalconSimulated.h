#pragma once
// The Falcon driver on a simulated Falcon: the real driver code path (open,
// firmware check, homing, the 1 kHz exchange, kinematics, forces, buttons)
// against a device that speaks the byte protocol, held by a simulated hand.
// The hand homes the grip at start (out past the homing switches, then back
// to the rest position) and then holds it there, so the program can be tried
// and tested on the Falcon's path without the hardware.
#include "hapticdevice/falcon/HapticsDeviceFalcon.h"

#include <atomic>
#include <memory>
#include <thread>

namespace Kiln {
namespace falcon {
class Simulator;
}

class HapticsDeviceFalconSimulated : public HapticsDeviceFalcon {
public:
    /// Opens the driver on a fresh simulated Falcon whose firmware runs.
    static std::unique_ptr<HapticsDeviceFalconSimulated> create();
    /// Stops the hand before the driver's own loop stops.
    ~HapticsDeviceFalconSimulated() override;

    falcon::Simulator& getSimulator() { return *simulator; }

private:
    HapticsDeviceFalconSimulated(std::shared_ptr<falcon::Simulator> simulator,
                                 FalconDeviceOptions options);
    void moveHand();

    std::shared_ptr<falcon::Simulator> simulator;
    std::atomic<bool> running{true};
    std::thread hand;
};

} // namespace Kiln
