#pragma once
// Growth and shrink rule shared by every hand-filled render buffer, so that
// a mesh that changes every frame keeps writing into the same buffers.
#include <cstddef>

namespace Kiln {

/// The capacity a buffer should have for `count` elements when it has
/// `capacity` now. Grows by doubling from the current capacity (1 when
/// empty); shrinks only when `count` falls below half, to the first halving
/// whose half no longer exceeds `count`. Otherwise keeps `capacity`.
inline std::size_t bufferCapacityFor(std::size_t count, std::size_t capacity) {
    if (count > capacity || capacity == 0) {
        std::size_t grown = capacity == 0 ? 1 : capacity;
        while (grown < count)
            grown *= 2;
        return grown;
    }
    if (count < capacity / 2) {
        std::size_t shrunk = capacity / 2;
        while (count < shrunk / 2)
            shrunk /= 2;
        return shrunk;
    }
    return capacity;
}

} // namespace Kiln
