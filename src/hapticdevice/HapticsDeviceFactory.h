#pragma once
// Chooses the device from the "Haptic.Device" setting of
// "Config/HapticSettings.xml".
#include "hapticdevice/IHapticsDevice.h"

#include <memory>
#include <string>

namespace Kiln {

namespace falcon {
class IPort;
}

/// What the application passes on from its settings.
struct HapticsDeviceOptions {
    /// The "Haptic.FalconFirmware" setting: the Falcon firmware image, read
    /// only when a connected Falcon needs it. Empty: falcon-firmware.bin in
    /// the user's data folder.
    std::string falconFirmware;
    /// Where Falcons are looked for; null: the USB bus (tests put a
    /// simulated device here).
    std::shared_ptr<falcon::IPort> falconPort;
};

struct HapticsDeviceChoice {
    std::unique_ptr<IHapticsDevice> device;
    /// A line for the status bar when the choice was not what was asked
    /// for (empty otherwise).
    std::string notice;
};

/// choice: "falcon", "simulated", "script:PATH" or "auto" (also for an empty
/// value). "auto" opens a Falcon when one is connected, and otherwise (or
/// when it cannot be opened) the simulated device, with a notice saying why.
/// Throws Kiln::Exception (code 6) for "falcon" when no Falcon can be opened
/// (the message says why), for an unknown choice and for a trajectory file
/// that cannot be read.
HapticsDeviceChoice createHapticsDevice(const std::string& choice,
                                        const HapticsDeviceOptions& options = {});

} // namespace Kiln
