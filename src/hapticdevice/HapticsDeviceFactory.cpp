#include "hapticdevice/HapticsDeviceFactory.h"

#include "hapticdevice/HapticsDeviceScripted.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "log/Exception.h"

namespace Kiln {
namespace {

const char* const factorySource = "Kiln::createHapticsDevice()";
const std::string scriptPrefix = "script:";

} // namespace

HapticsDeviceChoice createHapticsDevice(const std::string& choice) {
    HapticsDeviceChoice result;
    if (choice == "simulated") {
        result.device = std::make_unique<HapticsDeviceSimulated>();
    } else if (choice == "auto" || choice.empty()) {
        result.device = std::make_unique<HapticsDeviceSimulated>();
        result.notice = "No Falcon driver in this build: using the simulated device.";
    } else if (choice == "falcon") {
        throw Exception(ErrorCode::Haptics,
                        "The Falcon driver is not available in this build. Set Haptic.Device "
                        "to \"simulated\" or \"auto\" in Config/HapticSettings.xml.",
                        factorySource);
    } else if (choice.compare(0, scriptPrefix.size(), scriptPrefix) == 0) {
        const std::string path = choice.substr(scriptPrefix.size());
        if (path.empty())
            throw Exception(ErrorCode::Haptics, "Haptic.Device \"script:\" needs a trajectory file after the colon.",
                            factorySource);
        result.device = std::make_unique<HapticsDeviceScripted>(path);
    } else {
        throw Exception(ErrorCode::Haptics,
                        "Unknown haptic device \"" + choice +
                            "\": use \"auto\", \"falcon\", \"simulated\" or \"script:PATH\".",
                        factorySource);
    }
    return result;
}

} // namespace Kiln
