#pragma once
// Times the renderer's tick on one mesh without the haptic thread: the
// figures behind `morvel-cli haptic-bench`.
#include "hapticdevice/HapticTrajectory.h"
#include "haptics/IndexedShape.h"

#include <cstddef>
#include <memory>
#include <string>

namespace Kiln {

struct HapticBenchOptions {
    std::size_t ticks = 0;  ///< 0: 10000, or the trajectory's length at 1 kHz
    double radius = 0.0;    ///< 0: 1 % of the bounding box diagonal
    /// World-frame device path; null: the default path, scaled to the
    /// mesh's bounding box, that presses into the surface and slides over it.
    const HapticTrajectory* trajectory = nullptr;
};

struct HapticBenchResult {
    std::size_t ticks = 0;
    std::size_t contactTicks = 0;
    double medianMicros = 0.0;
    double p99Micros = 0.0;
    double maxMicros = 0.0;
    double maxPenetration = 0.0; ///< deepest the proxy sphere got inside a surface
    double radius = 0.0;
    double meanCandidates = 0.0; ///< triangles swept exactly per tick
    double meanIterations = 0.0; ///< contact events resolved per tick

    /// "ticks=N contact_ticks=N median_us=X p99_us=X max_us=X max_penetration=X"
    std::string summaryLine() const;
};

/// The default path: starts above the box, dives in and circles through it
/// at a hand's pace, so the proxy rests on and slides over the surface.
HapticTrajectory defaultBenchTrajectory(const Box3d& bounds, std::size_t ticks);

/// Runs the ticks on `shape` (used with its current transform ignored: the
/// mesh stays in its own frame) in memory that does not grow with the
/// number of ticks; median and p99 are within 1 % (logarithmic bins).
HapticBenchResult runHapticBench(const std::shared_ptr<IndexedShape>& shape,
                                 const HapticBenchOptions& options);

} // namespace Kiln
