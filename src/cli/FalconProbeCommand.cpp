// falcon-probe: checks a connected Falcon (firmware, homing, readings and
// the exchange's rate) for a user setting one up.
#include "cli/Command.h"

#include "hapticdevice/falcon/FalconProbe.h"
#include "hapticdevice/falcon/FalconSimulator.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace cli {

namespace {

struct ProbeArguments {
    Kiln::falcon::ProbeOptions options;
    bool simulated = false;
};

ProbeArguments parse(const Arguments& args) {
    ProbeArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--simulated") {
            parsed.simulated = true;
            continue;
        }
        if (arg == "--force") {
            parsed.options.centringForce = true;
            continue;
        }
        if (arg != "--seconds" && arg != "--firmware")
            throw UsageError(arg.rfind("--", 0) == 0 ? "unknown option " + arg : "unexpected argument " + arg);
        if (i + 1 >= args.size())
            throw UsageError(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--firmware") {
            parsed.options.firmwarePath = value;
            continue;
        }
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 || seconds > 3600.0)
            throw UsageError("--seconds needs a number of seconds up to 3600, not '" + value + "'");
        parsed.options.seconds = seconds;
    }
    return parsed;
}

// A hand on the simulated grip that homes it (all the way out, then in)
// and then draws circles, so every part of the probe has something to show.
void moveSimulatedHand(Kiln::falcon::Simulator& device, const std::atomic<bool>& running) {
    const auto start = std::chrono::steady_clock::now();
    while (running.load()) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t < 0.4)
            device.setHandTarget({0.0, 0.0, 0.178});
        else
            device.setHandTarget({0.02 * std::cos(3 * t), 0.02 * std::sin(3 * t), 0.12});
        // The centre button is held once homed, so that every report
        // shows it however late a loaded machine starts the exchange.
        device.setGrip(t >= 0.4 ? Kiln::falcon::gripCenter : 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int runFalconProbe(const Arguments& args) {
    const ProbeArguments parsed = parse(args);
    if (!parsed.simulated) {
        const auto port = Kiln::falcon::makeFtdiPort();
        return Kiln::falcon::runProbe(*port, parsed.options, std::cout).lost ? 1 : 0;
    }
    auto device = std::make_shared<Kiln::falcon::Simulator>(std::vector<std::uint8_t>{});
    device->setFirmwareRunning(true);
    std::atomic<bool> running{true};
    std::thread hand(moveSimulatedHand, std::ref(*device), std::cref(running));
    struct Stop {
        std::atomic<bool>& flag;
        std::thread& thread;
        ~Stop() {
            flag.store(false);
            thread.join();
        }
    } stop{running, hand};
    std::cout << "Simulated Falcon\n";
    return Kiln::falcon::runProbe(*device->makePort(), parsed.options, std::cout).lost ? 1 : 0;
}

const CommandRegistration falconProbe{
    {"falcon-probe", "falcon-probe [--seconds S] [--firmware FILE] [--force] [--simulated]",
     "List connected Falcons, load their firmware if needed, and read positions and buttons for a few "
     "seconds, reporting the exchange's rate and jitter (--force: a gentle pull to the centre once "
     "homed; --simulated: a simulated Falcon)",
     runFalconProbe}};

} // namespace

} // namespace cli
