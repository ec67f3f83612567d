#include "hapticdevice/HapticsDeviceFactory.h"

#include "hapticdevice/HapticsDeviceScripted.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "hapticdevice/falcon/HapticsDeviceFalcon.h"
#include "hapticdevice/falcon/HapticsDeviceFalconSimulated.h"
#include "log/Exception.h"

namespace Kiln {
namespace {

const char* const factorySource = "Kiln::createHapticsDevice()";
const std::string scriptPrefix = "script:";

FalconDeviceOptions falconOptions(const HapticsDeviceOptions& options) {
    FalconDeviceOptions falcon;
    falcon.port = options.falconPort ? options.falconPort : falcon::makeFtdiPort();
    falcon.open.firmwarePath = options.falconFirmware;
    return falcon;
}

std::unique_ptr<IHapticsDevice> openFalcon(const HapticsDeviceOptions& options) {
    FalconDeviceOptions falcon = falconOptions(options);
    if (falcon.port->list().empty())
        throw Exception(ErrorCode::Haptics,
                        "No Falcon is connected. Plug it in and switch it on, or set Haptic.Device "
                        "to \"auto\" or \"simulated\" in Config/HapticSettings.xml.",
                        factorySource);
    return std::make_unique<HapticsDeviceFalcon>(std::move(falcon));
}

HapticsDeviceChoice automaticChoice(const HapticsDeviceOptions& options) {
    HapticsDeviceChoice result;
    const FalconDeviceOptions falcon = falconOptions(options);
    if (!falcon.port->list().empty()) {
        try {
            result.device = std::make_unique<HapticsDeviceFalcon>(falcon);
            return result;
        } catch (const Exception& error) {
            result.notice = "The Falcon could not be used, so the mouse drives the stylus: " +
                            error.getDescription();
        }
    } else {
        result.notice = "No haptic device found: the mouse drives the stylus.";
    }
    result.device = std::make_unique<HapticsDeviceSimulated>();
    return result;
}

} // namespace

HapticsDeviceChoice createHapticsDevice(const std::string& choice, const HapticsDeviceOptions& options) {
    HapticsDeviceChoice result;
    if (choice == "simulated") {
        result.device = std::make_unique<HapticsDeviceSimulated>();
    } else if (choice == "auto" || choice.empty()) {
        result = automaticChoice(options);
    } else if (choice == "falcon") {
        result.device = openFalcon(options);
    } else if (choice == "falcon-simulated") {
        result.device = HapticsDeviceFalconSimulated::create();
    } else if (choice.compare(0, scriptPrefix.size(), scriptPrefix) == 0) {
        const std::string path = choice.substr(scriptPrefix.size());
        if (path.empty())
            throw Exception(ErrorCode::Haptics, "Haptic.Device \"script:\" needs a trajectory file after the colon.",
                            factorySource);
        result.device = std::make_unique<HapticsDeviceScripted>(path);
    } else {
        throw Exception(ErrorCode::Haptics,
                        "Unknown haptic device \"" + choice +
                            "\": use \"auto\", \"falcon\", \"falcon-simulated\", \"simulated\" or \"script:PATH\".",
                        factorySource);
    }
    return result;
}

} // namespace Kiln
