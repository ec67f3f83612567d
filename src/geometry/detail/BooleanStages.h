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

/// How a triangle meets the other operand.
enum Contact : std::uint8_t {
    kApart = 0,   ///< shares no point with it: decided with its connected set
    kClipped = 1, ///< crosses or touches it: clipped exactly
    /// The same face as one of its triangles, wound alike, and nothing else
    /// of it reaches past the face's sides and corners: decided by that face.
    kCoincides = 2,
    kCoincidesReversed = 3, ///< the same, wound the other way
};

/// Sets meetsA[t] / meetsB[t] (sized to the operands' triangle counts) to
/// each triangle's Contact with the other operand's triangles (exact tests,
/// after a grid of boxes). Triangles flagged in skipA / skipB (degenerate
/// ones) are apart.
void findMeetingTriangles(const MeshArrays& a, const MeshArrays& b, const std::vector<std::uint8_t>& skipA,
                          const std::vector<std::uint8_t>& skipB, std::vector<std::uint8_t>& meetsA,
                          std::vector<std::uint8_t>& meetsB);

/// Groups the triangles that meet nothing of the other operand (kApart in
/// `meets`) into sets joined across shared corners (vertices
/// compared by position). Such a set never meets the other operand's
/// surface, so one point decides the whole set. Returns the set of each
/// such triangle (BSP::kNone for the others and degenerate ones) and fills
/// one representative triangle per set.
std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& meets,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives);

/// The kept polygons of one operand, over its work vertices.
struct KeptPolygons {
    struct Polygon {
        std::uint32_t triangle;
        std::int32_t orientation; ///< +1 as the triangle is wound, -1 reversed
        std::uint32_t first;
        std::uint32_t count;
        bool clipped; ///< from a triangle that meets the other operand
    };
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> vertices;
    /// Rounded positions of the work vertices the polygons use (3 each,
    /// indexed by work vertex; unused entries are not filled).
    std::vector<double> positions;
};

/// Keeps the parts of `own`'s triangles that bound the result: the sets of
/// farComponents whole, as their representative point decides, coincident
/// faces as the face of `other` they coincide with decides, the other
/// triangles that meet `other` clipped exactly by its tree. Appends work vertices to `own` only.
void clipOperand(BSP::Operand& own, const BSP::Operand& other, const std::vector<std::uint8_t>& meets,
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
