#include "hapticdevice/falcon/FalconProbe.h"

#include "hapticdevice/PeriodicThread.h"
#include "hapticdevice/falcon/FalconDriver.h"
#include "hapticdevice/falcon/FalconKinematics.h"
#include "log/Exception.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace Kiln {
namespace falcon {
namespace {

constexpr std::int64_t periodMicros = 1000;
constexpr std::int64_t replyWaitMicros = 800;

// What the haptic thread last read, for the printing thread.
struct Reading {
    Status status;
    Vec3d position;
    Vec3d force;
    bool positionValid = false;
    std::uint64_t ticks = 0;
    std::uint64_t replies = 0;
    bool lost = false;
};

std::string formatReading(double t, const Reading& r) {
    char line[256];
    const int used = std::snprintf(line, sizeof line, "t=%.1fs encoders=%d,%d,%d buttons=0x%X homed=%s", t,
                                   r.status.encoder[0], r.status.encoder[1], r.status.encoder[2],
                                   r.status.grip, r.status.isHomed() ? "yes" : "no");
    if (r.positionValid)
        std::snprintf(line + used, sizeof line - used, " position_mm=%.2f,%.2f,%.2f force_N=%.2f,%.2f,%.2f",
                      1000 * r.position.x, 1000 * r.position.y, 1000 * r.position.z, r.force.x, r.force.y,
                      r.force.z);
    return line;
}

void measureTiming(const std::vector<double>& periods, ProbeResult& result) {
    if (periods.size() < 2)
        return;
    double sum = 0.0;
    for (double p : periods)
        sum += p;
    result.meanPeriodMicros = sum / periods.size();
    double variance = 0.0;
    std::vector<double> deviation;
    deviation.reserve(periods.size());
    for (double p : periods) {
        variance += (p - result.meanPeriodMicros) * (p - result.meanPeriodMicros);
        deviation.push_back(std::fabs(p - periodMicros));
    }
    result.jitterMicros = std::sqrt(variance / periods.size());
    std::sort(deviation.begin(), deviation.end());
    result.p99DeviationMicros = deviation[deviation.size() * 99 / 100];
    result.maxPeriodMicros = *std::max_element(periods.begin(), periods.end());
    result.tickRateHz = 1e6 / result.meanPeriodMicros;
}

Vec3d centringForce(const Vec3d& position) {
    Vec3d force = (PositionTracker::centre - position) * ProbeOptions::centringStiffness;
    const double size = length(force);
    if (size > ProbeOptions::maxCentringForce)
        force *= ProbeOptions::maxCentringForce / size;
    return force;
}

} // namespace

std::string ProbeResult::summaryLine() const {
    char line[320];
    std::snprintf(line, sizeof line,
                  "ticks=%llu replies=%llu tick_rate_hz=%.1f reply_rate_hz=%.1f mean_period_us=%.1f "
                  "jitter_sd_us=%.1f p99_abs_dev_us=%.1f max_period_us=%.1f realtime=%s",
                  static_cast<unsigned long long>(ticks), static_cast<unsigned long long>(replies), tickRateHz,
                  replyRateHz, meanPeriodMicros, jitterMicros, p99DeviationMicros, maxPeriodMicros,
                  realtime ? "yes" : "no");
    return line;
}

ProbeResult runProbe(IPort& port, const ProbeOptions& options, std::ostream& out) {
    const std::vector<DeviceInfo> devices = port.list();
    if (devices.empty())
        throw Exception(ErrorCode::Haptics,
                        "no Falcon found (is it plugged in and switched on? Without root, install "
                        "the udev rule described in the README)",
                        "Kiln::falcon::runProbe()");
    for (std::size_t i = 0; i < devices.size(); ++i)
        out << "Falcon " << i << ": " << devices[i].description
            << (devices[i].serial.empty() ? "" : ", serial " + devices[i].serial) << ", "
            << devices[i].location << "\n";

    OpenOptions open;
    open.index = options.index;
    open.firmwarePath = options.firmwarePath;
    open.progress = [&out](const std::string& line) { out << line << "\n" << std::flush; };
    OpenedDevice opened = openDevice(port, open);
    ProbeResult result;
    result.firmwareLoaded = opened.firmwareLoaded;
    out << "Firmware: " << (opened.firmwareLoaded ? "loaded now" : "already running") << "\n";

    Driver& driver = *opened.driver;
    PositionTracker tracker;
    std::mutex readingMutex;
    Reading shared;
    std::vector<double> periods;
    periods.reserve(static_cast<std::size_t>(options.seconds * 1000 * 1.2) + 16);
    std::uint64_t ticks = 0, replies = 0;
    bool wasHomed = false;
    PeriodicThread thread;
    thread.start(
        [&](double dt) {
            if (dt > 0.0 && periods.size() < periods.capacity())
                periods.push_back(dt * 1e6);
            Command command;
            command.control = controlHoming | (wasHomed ? controlGreenLed : controlRedLed);
            Vec3d force;
            if (options.centringForce && wasHomed && tracker.isValid()) {
                force = centringForce(tracker.getPosition());
                forceToCommands(tracker.getPose(), force, command.motor);
            }
            Status status;
            const bool received = driver.exchange(command, status, replyWaitMicros);
            ++ticks;
            if (received) {
                ++replies;
                if (status.isHomed() != wasHomed)
                    tracker.reset();
                wasHomed = status.isHomed();
                if (wasHomed)
                    tracker.update(status.encoder);
            }
            const std::lock_guard<std::mutex> lock(readingMutex);
            if (received) {
                shared.status = status;
                shared.position = tracker.getPosition();
                shared.positionValid = wasHomed && tracker.isValid();
                shared.force = force;
            }
            shared.ticks = ticks;
            shared.replies = replies;
            shared.lost = driver.isLost();
            return !shared.lost;
        },
        periodMicros, true);

    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    bool toldHoming = false;
    while (elapsed() < options.seconds && thread.isRunning()) {
        std::this_thread::sleep_for(std::chrono::duration<double>(
            std::min(options.reportInterval, std::max(options.seconds - elapsed(), 0.0))));
        Reading now;
        {
            const std::lock_guard<std::mutex> lock(readingMutex);
            now = shared;
        }
        if (!now.status.isHomed() && !toldHoming) {
            out << "Not homed: move the grip all the way out, then push it straight in.\n";
            toldHoming = true;
        }
        out << formatReading(elapsed(), now) << "\n" << std::flush;
    }
    const double seconds = elapsed();
    result.realtime = thread.isRealtime();
    thread.stop();

    result.ticks = ticks;
    result.replies = replies;
    result.homed = wasHomed;
    result.lost = driver.isLost();
    result.replyRateHz = seconds > 0.0 ? replies / seconds : 0.0;
    measureTiming(periods, result);
    const ExchangeCounters counters = driver.getCounters();
    if (result.lost)
        out << "The Falcon was disconnected during the probe.\n";
    out << "Exchange: commands=" << counters.commandsSent << " replies=" << counters.statusesReceived
        << " resends=" << counters.resends << " dropped_bytes=" << counters.bytesDropped
        << " rejected_packets=" << counters.packetsRejected << "\n";
    out << result.summaryLine() << "\n";
    if (!result.realtime)
        out << "The haptic loop ran without real-time scheduling; the README says how to allow it.\n";
    return result;
}

} // namespace falcon
} // namespace Kiln
