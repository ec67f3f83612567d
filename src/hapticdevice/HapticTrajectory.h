#pragma once
// A recorded or hand-written path of the device point: one sample a line,
// "time x y z buttons" (seconds, device-frame units, button mask); '#'
// starts a comment. Positions are interpolated linearly between samples,
// buttons change at the sample that sets them.
#include "hapticdevice/HapticMath.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace Kiln {

struct TrajectorySample {
    double time = 0.0;
    Vec3d position;
    std::int32_t buttons = 0;
};

class HapticTrajectory {
public:
    /// Throws Kiln::Exception (code 6) naming the file and line for a line
    /// that is not five numbers, a non-finite or negative value, a time
    /// earlier than the line before, or a file without samples.
    static HapticTrajectory load(const std::string& path);
    /// As load, reading from a stream; `name` stands for the file in errors.
    static HapticTrajectory parse(std::istream& in, const std::string& name);
    /// From samples already in time order (not checked).
    explicit HapticTrajectory(std::vector<TrajectorySample> samples);

    /// Clamped to the first and last sample outside the recorded time.
    Vec3d positionAt(double time) const;
    std::int32_t buttonsAt(double time) const;
    double duration() const { return samples.back().time; }
    const std::vector<TrajectorySample>& getSamples() const { return samples; }

private:
    std::size_t segmentAt(double time) const;

    std::vector<TrajectorySample> samples;
};

} // namespace Kiln
