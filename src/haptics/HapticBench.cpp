#include "haptics/HapticBench.h"

#include "haptics/RuspiniRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Kiln {
namespace {

constexpr double tickSeconds = 0.001;
constexpr std::size_t defaultTicks = 10000;

// Tick times in logarithmic bins 1 % wide from 1 ns to 1000 s: percentiles
// within 1 % in a fixed few kilobytes, however many ticks run.
class TickTimes {
public:
    void add(double micros) {
        ++count;
        maximum = std::max(maximum, micros);
        const double position = std::log(std::max(micros, kLowest) / kLowest) / std::log(kRatio);
        const std::size_t bin = std::min(bins.size() - 1, static_cast<std::size_t>(position));
        ++bins[bin];
    }
    /// The time below which `fraction` of the ticks ran (the middle of its
    /// bin, never above the largest time seen).
    double percentile(double fraction) const {
        if (count == 0)
            return 0.0;
        const std::size_t rank = std::min(count - 1, static_cast<std::size_t>(fraction * count));
        std::size_t seen = 0;
        for (std::size_t bin = 0; bin < bins.size(); ++bin) {
            seen += bins[bin];
            if (seen > rank)
                return std::min(maximum, kLowest * std::pow(kRatio, bin + 0.5));
        }
        return maximum;
    }
    double max() const { return maximum; }

private:
    static constexpr double kLowest = 1e-3;  // microseconds
    static constexpr double kRatio = 1.01;
    std::vector<std::size_t> bins = std::vector<std::size_t>(2400, 0);  // 1.01^2400 > 1e10
    std::size_t count = 0;
    double maximum = 0.0;
};

// The default path at tick i of `count`: starts above the box, dives in
// over the first 5 % of the run and circles through it at a hand's pace.
// Computed per tick so that a long run needs no stored path.
Vec3d benchPathPosition(const Box3d& bounds, std::size_t i, std::size_t count) {
    const Vec3d centre = (bounds.min + bounds.max) * 0.5;
    const Vec3d half = (bounds.max - bounds.min) * 0.5;
    const double diagonal = 2.0 * length(half);
    const Vec3d above = centre + Vec3d(0, 0, half.z + 0.1 * diagonal);
    const double t = static_cast<double>(i) * tickSeconds;
    // One turn every two seconds; the depth below the surface breathes
    // so that the proxy is pressed in and eased off again.
    const double angle = 2.0 * M_PI * t / 2.0;
    const double depth = 0.55 + 0.25 * std::sin(2.0 * M_PI * t / 0.7);
    const Vec3d inside = centre + Vec3d(half.x * depth * std::cos(angle), half.y * depth * std::sin(angle),
                                        half.z * depth * std::sin(3.0 * angle));
    const double dive = std::min(1.0, static_cast<double>(i) / (0.05 * count));
    return above + (inside - above) * dive;
}

} // namespace

std::string HapticBenchResult::summaryLine() const {
    char line[256];
    std::snprintf(line, sizeof line,
                  "ticks=%zu contact_ticks=%zu median_us=%.2f p99_us=%.2f max_us=%.2f "
                  "max_penetration=%.6g",
                  ticks, contactTicks, medianMicros, p99Micros, maxMicros, maxPenetration);
    return line;
}

HapticTrajectory defaultBenchTrajectory(const Box3d& bounds, std::size_t ticks) {
    std::vector<TrajectorySample> samples;
    const std::size_t count = std::max<std::size_t>(ticks, 2);
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        samples.push_back({static_cast<double>(i) * tickSeconds, benchPathPosition(bounds, i, count), 0});
    return HapticTrajectory(std::move(samples));
}

HapticBenchResult runHapticBench(const std::shared_ptr<IndexedShape>& shape,
                                 const HapticBenchOptions& options) {
    const Box3d& bounds = shape->getBounds();
    const double diagonal = length(bounds.max - bounds.min);
    HapticBenchResult result;
    result.radius = options.radius > 0.0 ? options.radius : 0.01 * diagonal;
    std::size_t ticks = options.ticks;
    if (ticks == 0)
        ticks = options.trajectory
                    ? static_cast<std::size_t>(options.trajectory->duration() / tickSeconds) + 1
                    : defaultTicks;
    const std::size_t pathTicks = std::max<std::size_t>(ticks, 2);
    auto positionAt = [&](std::size_t i) {
        return options.trajectory ? options.trajectory->positionAt(static_cast<double>(i) * tickSeconds)
                                  : benchPathPosition(bounds, i, pathTicks);
    };

    shape->setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    RuspiniRenderer renderer(result.radius);
    renderer.enable();
    renderer.addShape(shape);

    TickTimes micros;
    DeviceSample sample;
    Vec3d previous = positionAt(0);
    for (std::size_t i = 0; i < ticks; ++i) {
        sample.position = positionAt(i);
        sample.velocity = i == 0 ? Vec3d() : (sample.position - previous) * (1.0 / tickSeconds);
        previous = sample.position;
        const auto begin = std::chrono::steady_clock::now();
        renderer.tick(sample, 800.0);
        const auto end = std::chrono::steady_clock::now();
        micros.add(std::chrono::duration<double, std::micro>(end - begin).count());
        const RendererTickStats& stats = renderer.lastTickStats();
        if (stats.contacts > 0)
            ++result.contactTicks;
        result.meanCandidates += static_cast<double>(stats.candidates) / ticks;
        result.meanIterations += static_cast<double>(stats.iterations) / ticks;
        const double gap = shape->localDistance(renderer.getProxy(), result.radius);
        result.maxPenetration = std::max(result.maxPenetration, result.radius - gap);
    }
    result.ticks = ticks;
    result.medianMicros = micros.percentile(0.5);
    result.p99Micros = micros.percentile(0.99);
    result.maxMicros = micros.max();
    return result;
}

} // namespace Kiln
