#pragma once
// Main-thread time of recent frames, for the dump and the benchmarks: the
// whole frame and the interaction part of it (input, haptic events, touch
// and live dent, the functions). Milliseconds.
#include <array>
#include <cstddef>

namespace Kiln {

class FrameTimes {
public:
    static constexpr std::size_t window = 240; ///< frames kept

    struct Summary {
        double mean = 0.0;
        double p95 = 0.0;
        double max = 0.0;
        std::size_t frames = 0;
    };

    void addFrame(double frameMs, double interactionMs);
    void clear() { count = next = 0; }
    Summary frames() const { return summarise(frame); }
    Summary interaction() const { return summarise(interactionPart); }

private:
    using Ring = std::array<double, window>;
    Summary summarise(const Ring& ring) const;

    Ring frame{};
    Ring interactionPart{};
    std::size_t count = 0;
    std::size_t next = 0;
};

} // namespace Kiln
