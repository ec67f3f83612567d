#include "hapticdevice/falcon/HapticsDeviceFalconSimulated.h"

#include "hapticdevice/falcon/FalconSimulator.h"

#include <chrono>

namespace Kiln {
namespace {

/// How long the hand holds the grip out past the homing switches.
constexpr double homingSeconds = 0.4;

std::shared_ptr<falcon::Simulator> runningSimulator() {
    auto simulator = std::make_shared<falcon::Simulator>(std::vector<std::uint8_t>{});
    simulator->setFirmwareRunning(true); // no firmware file is needed
    return simulator;
}

FalconDeviceOptions optionsFor(falcon::Simulator& simulator) {
    FalconDeviceOptions options;
    options.port = simulator.makePort();
    return options;
}

} // namespace

std::unique_ptr<HapticsDeviceFalconSimulated> HapticsDeviceFalconSimulated::create() {
    auto simulator = runningSimulator();
    FalconDeviceOptions options = optionsFor(*simulator);
    return std::unique_ptr<HapticsDeviceFalconSimulated>(
        new HapticsDeviceFalconSimulated(std::move(simulator), std::move(options)));
}

HapticsDeviceFalconSimulated::HapticsDeviceFalconSimulated(std::shared_ptr<falcon::Simulator> simulator_,
                                                           FalconDeviceOptions options)
    : HapticsDeviceFalcon(std::move(options)), simulator(std::move(simulator_)),
      hand([this] { moveHand(); }) {}

HapticsDeviceFalconSimulated::~HapticsDeviceFalconSimulated() {
    running.store(false);
    hand.join();
}

void HapticsDeviceFalconSimulated::moveHand() {
    const auto start = std::chrono::steady_clock::now();
    const Vec3d out{0.0, 0.0, falcon::Simulator::homingZ + 0.008};
    while (running.load()) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        simulator->setHandTarget(t < homingSeconds ? out : falcon::Simulator::restPosition);
        if (t >= homingSeconds)
            break; // the hand now just holds the grip at rest
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace Kiln
