#pragma once
// The shape of a uniform grid of about two cells an item over a box: the
// broad phases bin triangles into it to find the pairs worth an exact test.
#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Kiln {

struct GridShape {
    int dims[3];     ///< cells along each axis, 1 to the limit given
    double scale[3]; ///< cells per unit along each axis (0 for a flat axis)
};

/// A grid over lo..hi for `items` items (at least 1), at most `maxCells`
/// along an axis. A flat or thin box still gets cells: each side counts as
/// at least a thousandth of the longest, so the cell size stays finite.
inline GridShape gridShapeFor(const double lo[3], const double hi[3], std::size_t items, int maxCells) {
    double extent[3], largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        extent[k] = hi[k] - lo[k];
        largest = std::max(largest, extent[k]);
    }
    double volume = 1.0;
    for (int k = 0; k < 3; ++k)
        volume *= std::max(extent[k], largest * 1e-3);
    const double cell = std::cbrt(volume / (2.0 * static_cast<double>(std::max<std::size_t>(items, 1))));
    GridShape shape;
    for (int k = 0; k < 3; ++k) {
        shape.dims[k] =
            cell > 0.0 ? static_cast<int>(std::clamp(std::ceil(extent[k] / cell), 1.0, double(maxCells))) : 1;
        shape.scale[k] = extent[k] > 0.0 ? shape.dims[k] / extent[k] : 0.0;
    }
    return shape;
}

} // namespace Kiln
