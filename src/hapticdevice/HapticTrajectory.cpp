#include "hapticdevice/HapticTrajectory.h"

#include "log/Exception.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace Kiln {
namespace {

const char* const parseSource = "Kiln::HapticTrajectory::parse()";

[[noreturn]] void badLine(const std::string& name, int line, const std::string& why) {
    throw Exception(ErrorCode::Haptics,
                    "Bad line " + std::to_string(line) + " in haptic trajectory file " + name +
                        ": " + why,
                    parseSource, name, line);
}

bool parseNumber(const std::string& token, double& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && errno == 0 && std::isfinite(value);
}

bool parseButtons(const std::string& token, std::int32_t& value) {
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(token.c_str(), &end, 0);
    if (end != token.c_str() + token.size() || errno != 0 || parsed < 0 ||
        parsed > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(parsed);
    return true;
}

TrajectorySample parseSample(const std::string& text, const std::string& name, int line) {
    std::istringstream fields(text);
    std::string token[6];
    int count = 0;
    while (count < 6 && fields >> token[count])
        ++count;
    if (count != 5)
        badLine(name, line, "expected 'time x y z buttons', found " + std::to_string(count) +
                                (count == 6 ? " or more fields" : " fields"));
    TrajectorySample sample;
    double v[4];
    for (int i = 0; i < 4; ++i)
        if (!parseNumber(token[i], v[i]))
            badLine(name, line, "'" + token[i] + "' is not a finite number");
    if (!parseButtons(token[4], sample.buttons))
        badLine(name, line, "'" + token[4] + "' is not a button mask");
    if (v[0] < 0.0)
        badLine(name, line, "the time must not be negative");
    sample.time = v[0];
    sample.position = {v[1], v[2], v[3]};
    return sample;
}

} // namespace

HapticTrajectory HapticTrajectory::load(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw Exception(ErrorCode::Haptics, "Cannot open haptic trajectory file " + path + ".",
                        "Kiln::HapticTrajectory::load()");
    return parse(in, path);
}

HapticTrajectory HapticTrajectory::parse(std::istream& in, const std::string& name) {
    std::vector<TrajectorySample> samples;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        text.erase(std::min(text.find('#'), text.size()));
        if (text.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const TrajectorySample sample = parseSample(text, name, line);
        if (!samples.empty() && sample.time < samples.back().time)
            badLine(name, line, "the time goes backwards");
        samples.push_back(sample);
    }
    if (samples.empty())
        throw Exception(ErrorCode::Haptics, "The haptic trajectory file " + name + " has no samples.",
                        parseSource);
    return HapticTrajectory(std::move(samples));
}

HapticTrajectory::HapticTrajectory(std::vector<TrajectorySample> samples_)
    : samples(std::move(samples_)) {
    if (samples.empty())
        samples.push_back(TrajectorySample{});
}

std::size_t HapticTrajectory::segmentAt(double time) const {
    // Index of the last sample at or before `time` (0 before the first).
    const auto after = std::upper_bound(
        samples.begin(), samples.end(), time,
        [](double t, const TrajectorySample& s) { return t < s.time; });
    return after == samples.begin() ? 0 : static_cast<std::size_t>(after - samples.begin()) - 1;
}

Vec3d HapticTrajectory::positionAt(double time) const {
    const std::size_t i = segmentAt(time);
    if (i + 1 >= samples.size() || time <= samples[i].time)
        return samples[i].position;
    const TrajectorySample& a = samples[i];
    const TrajectorySample& b = samples[i + 1];
    const double f = (time - a.time) / (b.time - a.time);
    return a.position + (b.position - a.position) * f;
}

std::int32_t HapticTrajectory::buttonsAt(double time) const {
    return samples[segmentAt(time)].buttons;
}

} // namespace Kiln
