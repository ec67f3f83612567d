#pragma once
// Chooses the device from the "Haptic.Device" setting of
// "Config/HapticSettings.xml".
#include "hapticdevice/IHapticsDevice.h"

#include <memory>
#include <string>

namespace Kiln {

struct HapticsDeviceChoice {
    std::unique_ptr<IHapticsDevice> device;
    /// A line for the status bar when the choice was not what was asked
    /// for (empty otherwise).
    std::string notice;
};

/// choice: "falcon", "simulated", "script:PATH" or "auto" (also for an empty
/// value). "auto" opens a Falcon when this build has its driver and one is
/// found, and otherwise the simulated device. Throws Kiln::Exception (code 6)
/// for "falcon" in a build without the driver, for an unknown choice and for
/// a trajectory file that cannot be read.
HapticsDeviceChoice createHapticsDevice(const std::string& choice);

} // namespace Kiln
