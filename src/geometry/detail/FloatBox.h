#pragma once
// Boxes in floats rounded outwards: half the bytes of double boxes for the
// broad phases' tight loops, and never smaller than the exact box, so no
// pair of boxes that overlap is missed. Internal to the geometry library.
#include "detail/BspTree.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Kiln {

/// The largest float not above x, and the smallest not below it (x not
/// NaN; below the float range, minus infinity, and above it, plus
/// infinity for floatAtLeast).
inline float floatAtMost(double x) {
    if (x < -static_cast<double>(FLT_MAX))
        return -std::numeric_limits<float>::infinity();
    const float f = static_cast<float>(std::min(x, static_cast<double>(FLT_MAX)));
    if (static_cast<double>(f) <= x)
        return f;
    if (f == 0.0f)
        return -std::numeric_limits<float>::denorm_min();
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits += f > 0.0f ? -1 : 1; // one step towards minus infinity
    float below;
    std::memcpy(&below, &bits, sizeof below);
    return below;
}

inline float floatAtLeast(double x) {
    return -floatAtMost(-x);
}

/// A closed box in floats.
struct FloatBox {
    float lo[3];
    float hi[3];
};

/// The smallest float box holding `box`.
inline FloatBox floatBoxAround(const BSP::Box& box) {
    FloatBox out;
    for (int k = 0; k < 3; ++k) {
        out.lo[k] = floatAtMost(box.lo[k]);
        out.hi[k] = floatAtLeast(box.hi[k]);
    }
    return out;
}

inline bool overlaps(const FloatBox& a, const FloatBox& b) {
    return a.lo[0] <= b.hi[0] && b.lo[0] <= a.hi[0] && a.lo[1] <= b.hi[1] && b.lo[1] <= a.hi[1] &&
           a.lo[2] <= b.hi[2] && b.lo[2] <= a.hi[2];
}

} // namespace Kiln
