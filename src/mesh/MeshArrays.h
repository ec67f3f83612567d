#pragma once
// A triangle mesh over flat arrays, the form the geometry kernels work on.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kiln {

/// A triangle mesh over flat arrays: 3 doubles per vertex position, 3
/// vertex indices per triangle (counter-clockwise seen from outside), and
/// optionally 4 floats (r, g, b, a) per vertex colour.
struct MeshArrays {
    std::vector<double> positions;
    std::vector<std::uint32_t> indices;
    std::vector<float> colours;

    std::size_t vertexCount() const { return positions.size() / 3; }
    std::size_t triangleCount() const { return indices.size() / 3; }
};

} // namespace Kiln
