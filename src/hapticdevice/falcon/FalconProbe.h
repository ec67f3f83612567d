#pragma once
// A check of a Falcon for a user setting one up: lists the devices, opens
// the first, and runs the 1 kHz exchange for a while, printing positions,
// buttons and homing as they change and the loop's achieved rate and period
// jitter at the end. The figures behind `morvel-cli falcon-probe`.
#include "hapticdevice/falcon/FalconTransport.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace Kiln {
namespace falcon {

struct ProbeOptions {
    double seconds = 3.0;
    int index = 0;
    std::string firmwarePath; ///< empty: defaultFirmwarePath()
    double reportInterval = 0.5; ///< seconds between reading lines
    /// Once homed, pull the grip gently towards the workspace centre (a
    /// spring of centringStiffness, at most maxCentringForce), so the user
    /// feels that the motors work.
    bool centringForce = false;
    static constexpr double centringStiffness = 100.0; ///< N/m
    static constexpr double maxCentringForce = 2.0;    ///< N
};

struct ProbeResult {
    std::uint64_t ticks = 0;
    std::uint64_t replies = 0;
    double tickRateHz = 0.0;
    double replyRateHz = 0.0;
    double meanPeriodMicros = 0.0;
    double jitterMicros = 0.0;  ///< standard deviation of the period
    double p99DeviationMicros = 0.0; ///< 99th percentile of |period - 1 ms|
    double maxPeriodMicros = 0.0;
    bool homed = false;
    bool firmwareLoaded = false;
    bool realtime = false;
    bool lost = false;

    /// "ticks=N replies=N tick_rate_hz=X reply_rate_hz=X mean_period_us=X
    /// jitter_sd_us=X p99_abs_dev_us=X max_period_us=X realtime=yes|no"
    std::string summaryLine() const;
};

/// Throws Kiln::Exception (code 6) with a one-line message when no Falcon
/// is found or it cannot be opened.
ProbeResult runProbe(IPort& port, const ProbeOptions& options, std::ostream& out);

} // namespace falcon
} // namespace Kiln
