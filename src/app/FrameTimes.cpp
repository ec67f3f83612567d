#include "app/FrameTimes.h"

#include <algorithm>
#include <vector>

namespace Kiln {

void FrameTimes::addFrame(double frameMs, double interactionMs) {
    frame[next] = frameMs;
    interactionPart[next] = interactionMs;
    next = (next + 1) % window;
    count = std::min(count + 1, window);
}

FrameTimes::Summary FrameTimes::summarise(const Ring& ring) const {
    Summary s;
    s.frames = count;
    if (count == 0)
        return s;
    std::vector<double> values(ring.begin(), ring.begin() + std::ptrdiff_t(count));
    double sum = 0.0;
    for (const double v : values)
        sum += v;
    s.mean = sum / double(count);
    std::sort(values.begin(), values.end());
    s.p95 = values[std::min(count - 1, count * 95 / 100)];
    s.max = values.back();
    return s;
}

} // namespace Kiln
