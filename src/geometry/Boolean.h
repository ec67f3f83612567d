#pragma once
// Exact Boolean operations on closed triangle meshes held in flat arrays.
#include "mesh/MeshArrays.h"

#include <atomic>
#include <cstddef>
#include <stdexcept>

namespace Kiln {

enum class BooleanOperation {
    Union,        ///< A ∪ B
    Intersection, ///< A ∩ B
    Difference,   ///< A − B
};

/// Figures from one Boolean run, for diagnostics and benchmarks.
struct BooleanReport {
    std::size_t degenerateTriangles[2] = {0, 0}; ///< zero-area input triangles left out, per operand
    std::size_t nearTriangles[2] = {0, 0};       ///< triangles that meet the other operand: clipped exactly
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
/// a result that may not be closed. Throws Kiln::Exception (InvalidValue)
/// when a coordinate is not finite or an index is out of range; operands
/// whose triangles all have zero area count as empty. Closed results are
/// promised for closed, non-self-intersecting operands whose sizes and
/// distances lie within about 1e9 of each other; far beyond that (a tiny
/// piece on a huge one's long edge) a seam can stay open, so callers that
/// must not pass on a wrong result check isClosed().
/// When `cancel` is given and becomes true (from any thread), the operation
/// stops at the next stage boundary by throwing BooleanCancelled.
MeshArrays computeBoolean(const MeshArrays& a, const MeshArrays& b, BooleanOperation operation,
                          BooleanReport* report = nullptr, const std::atomic<bool>* cancel = nullptr);

struct BooleanCancelled : std::runtime_error {
    BooleanCancelled() : std::runtime_error("Boolean operation cancelled.") {}
};

} // namespace Kiln
