#pragma once
// The stages of computeBoolean, in the order BooleanReport times them:
// broad phase and far sets (BooleanBroadPhase.cpp), partition trees
// (BspTree.cpp), exact clipping (BooleanClip.cpp) and the output mesh
// (BooleanOutput.cpp). Each stage runs once per operand, one operand on a
// worker thread and the other on the caller's, and only reads the other
// operand's data.
#include "detail/BspTree.h"
#include "geometry/Boolean.h"

#include <cstdint>
#include <vector>

namespace Kiln {
namespace BooleanStage {

/// Marks the triangles of each operand whose boxes overlap a box of the
/// other operand's triangles (1 in nearA / nearB, sized to the operands'
/// triangle counts); all others are far from the other surface. Triangles
/// flagged in skipA / skipB (degenerate ones) are never near.
void findNearTriangles(const MeshArrays& a, const MeshArrays& b, const std::vector<std::uint8_t>& skipA,
                       const std::vector<std::uint8_t>& skipB, std::vector<std::uint8_t>& nearA,
                       std::vector<std::uint8_t>& nearB);

/// Groups the far triangles of an operand into sets joined across shared
/// corners (vertices compared by position). A set never meets the other
/// operand's surface, so one point decides the whole set. Returns the set of
/// each far triangle (BSP::kNone for near and degenerate ones) and fills one
/// representative triangle per set.
std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& near,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives);

/// The kept polygons of one operand, over its work vertices.
struct KeptPolygons {
    struct Polygon {
        std::uint32_t triangle;
        std::int32_t orientation; ///< +1 as the triangle is wound, -1 reversed
        std::uint32_t first;
        std::uint32_t count;
        bool near; ///< from a triangle near the other operand
    };
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> vertices;
    /// Rounded positions of the work vertices the polygons use (3 each,
    /// indexed by work vertex; unused entries are not filled).
    std::vector<double> positions;
};

/// Keeps the parts of `own`'s triangles that bound the result: far sets
/// whole, as their representative point decides, near triangles clipped
/// exactly by `other`'s tree. Appends work vertices to `own` only.
void clipOperand(BSP::Operand& own, const BSP::Operand& other, const std::vector<std::uint8_t>& near,
                 const std::vector<std::uint32_t>& component, const std::vector<std::uint32_t>& representatives,
                 BSP::Operands operands, BooleanOperation operation, KeptPolygons& kept);

/// The result mesh from both operands' kept polygons: vertices shared by
/// position, nearly equal seam vertices welded, T-junctions on seams
/// removed, the kept pieces of each triangle joined into the regions they
/// cover (side points no other region needs dropped), those triangulated
/// and unused vertices dropped. Adds the
/// number of points inserted into seam edges to `seamVerticesInserted`.
MeshArrays assembleResult(const MeshArrays& a, const MeshArrays& b, BSP::Operands operands,
                          const KeptPolygons& keptA, const KeptPolygons& keptB, std::size_t& seamVerticesInserted);

} // namespace BooleanStage
} // namespace Kiln
