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

double percentile(std::vector<double>& sorted, double fraction) {
    if (sorted.empty())
        return 0.0;
    const std::size_t index =
        std::min(sorted.size() - 1, static_cast<std::size_t>(fraction * sorted.size()));
    return sorted[index];
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
    const Vec3d centre = (bounds.min + bounds.max) * 0.5;
    const Vec3d half = (bounds.max - bounds.min) * 0.5;
    const double diagonal = 2.0 * length(half);
    std::vector<TrajectorySample> samples;
    const std::size_t count = std::max<std::size_t>(ticks, 2);
    samples.reserve(count);
    const Vec3d above = centre + Vec3d(0, 0, half.z + 0.1 * diagonal);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) * tickSeconds;
        // One turn every two seconds; the depth below the surface breathes
        // so that the proxy is pressed in and eased off again.
        const double angle = 2.0 * M_PI * t / 2.0;
        const double depth = 0.55 + 0.25 * std::sin(2.0 * M_PI * t / 0.7);
        Vec3d inside = centre + Vec3d(half.x * depth * std::cos(angle),
                                      half.y * depth * std::sin(angle),
                                      half.z * depth * std::sin(3.0 * angle));
        // Dive in from above over the first 5 % of the run.
        const double dive = std::min(1.0, static_cast<double>(i) / (0.05 * count));
        samples.push_back({t, above + (inside - above) * dive, 0});
    }
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
    const HapticTrajectory fallback =
        options.trajectory ? HapticTrajectory(std::vector<TrajectorySample>{})
                           : defaultBenchTrajectory(bounds, ticks);
    const HapticTrajectory& path = options.trajectory ? *options.trajectory : fallback;

    shape->setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    RuspiniRenderer renderer(result.radius);
    renderer.enable();
    renderer.addShape(shape);

    std::vector<double> micros;
    micros.reserve(ticks);
    DeviceSample sample;
    Vec3d previous = path.positionAt(0.0);
    for (std::size_t i = 0; i < ticks; ++i) {
        const double time = static_cast<double>(i) * tickSeconds;
        sample.position = path.positionAt(time);
        sample.velocity = i == 0 ? Vec3d() : (sample.position - previous) * (1.0 / tickSeconds);
        previous = sample.position;
        const auto begin = std::chrono::steady_clock::now();
        renderer.tick(sample, 800.0);
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
        const RendererTickStats& stats = renderer.lastTickStats();
        if (stats.contacts > 0)
            ++result.contactTicks;
        result.meanCandidates += static_cast<double>(stats.candidates) / ticks;
        result.meanIterations += static_cast<double>(stats.iterations) / ticks;
        const double gap = shape->localDistance(renderer.getProxy(), result.radius);
        result.maxPenetration = std::max(result.maxPenetration, result.radius - gap);
    }
    result.ticks = ticks;
    std::sort(micros.begin(), micros.end());
    result.medianMicros = percentile(micros, 0.5);
    result.p99Micros = percentile(micros, 0.99);
    result.maxMicros = micros.empty() ? 0.0 : micros.back();
    return result;
}

} // namespace Kiln
