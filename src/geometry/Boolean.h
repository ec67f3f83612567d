#pragma once
// Exact Boolean operations on closed triangle meshes held in flat arrays.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kiln {

enum class BooleanOperation {
    Union,        ///< A ∪ B
    Intersection, ///< A ∩ B
    Difference,   ///< A − B
};

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

/// Figures from one Boolean run, for diagnostics and benchmarks.
struct BooleanReport {
    std::size_t degenerateTriangles[2] = {0, 0}; ///< zero-area input triangles left out, per operand
    std::size_t nearTriangles[2] = {0, 0};       ///< triangles that went through exact clipping
    std::size_t treeNodes[2] = {0, 0};           ///< nodes of each operand's partition tree
    std::size_t seamVerticesInserted = 0;        ///< points added to edges to remove T-junctions

    enum Stage {
        Prepare,   ///< exact planes of all triangles, broad phase
        Partition, ///< k-d pre-partitions, connected sets of far triangles
        Trees,     ///< partition trees of the cells the other operand reaches
        Clip,      ///< exact clipping and classification, rounding of cut points
        Output,    ///< shared vertices, seam T-junctions, triangulation
        StageCount
    };
    double stageMilliseconds[StageCount] = {0, 0, 0, 0, 0};
};

/// Computes A op B. Both operands are expected to be closed, consistently
/// oriented meshes in the same frame; every inside/outside decision is made
/// with exact predicates, so coplanar and touching faces give the true
/// result. Cut points are rounded to the nearest double not above the exact
/// value. The result carries colours when either operand does (operands
/// without colours count as white). Open or self-intersecting operands give
/// a result that may not be closed; the call does not fail on them.
MeshArrays computeBoolean(const MeshArrays& a, const MeshArrays& b, BooleanOperation operation,
                          BooleanReport* report = nullptr);

} // namespace Kiln
