#pragma once
// Operands of a Boolean made ready and checked before the exact kernel
// runs, and the refusals that replace a wrong result. The command line and
// the Boolean tool share this, so both refuse the same inputs the same way.
#include "geometry/Boolean.h"
#include "mesh/DynamicMesh.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace Kiln {

/// True when two triangles of the mesh share a point other than a corner
/// or an edge they have in common (corners compared by position): the
/// surface crosses, folds onto or touches itself. Decided with exact
/// predicates; zero-area triangles are ignored, and a face present twice
/// counts as touching, not crossing. Coordinates must be finite. About
/// linear in the triangle count for meshes whose triangles are of similar
/// size; on hostile meshes (tens of thousands of slivers meeting along one
/// rim) it gives up after about 128 cell and pair tests per
/// triangle and answers false, so callers keep checking that closed
/// operands give a closed result. A caller that has found the mesh closed
/// (isClosed) says so with `closed`, sparing that test here; a mesh that
/// is not closed must not be passed as closed.
enum class KnownClosed { No, Yes };
bool intersectsItself(const MeshArrays& mesh, KnownClosed closed = KnownClosed::No);

/// One operand of a Boolean gathered from the meshes of several objects,
/// all in the operand's frame. Not thread-safe; any one thread may build it.
class BooleanOperand {
public:
    /// Adds one object's mesh. A closed mesh is checked for crossing
    /// itself; closed meshes whose bounds meet those of the closed meshes
    /// added before are united with them, since side by side their overlap
    /// would make the operand cross itself. Open meshes are laid beside the
    /// others as they are. Throws Kiln::Exception (InvalidValue) for a
    /// coordinate that is not finite or an index out of range. The first
    /// mesh is kept as given (pass a temporary to spare a copy).
    void add(MeshArrays piece);

    /// True while every mesh added was closed.
    bool isClosed() const { return closed; }
    /// True when a closed mesh added crosses itself.
    bool intersectsItself() const { return crossesItself; }
    const MeshArrays& arrays() const { return mesh; }

private:
    MeshArrays mesh;
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool closed = true;
    bool crossesItself = false;
};

/// A Boolean that would give a wrong or broken result, refused. what() is
/// a sentence for a status line: "Not combined: " and the reason.
class BooleanRefused : public std::runtime_error {
public:
    /// `operand` 0 or 1 names the operand at fault, -1 the result.
    BooleanRefused(int operand, const std::string& reason);
    int operand() const { return which; }
    /// The reason alone, to follow a file name ("the operand intersects itself").
    const std::string& reason() const { return text; }

private:
    int which;
    std::string text;
};

enum class OpenOperands {
    Allow,  ///< an open operand gives a result that may be open
    Refuse, ///< an open operand is refused ("the operand is not closed")
};

/// A op B on prepared operands (A first), as a cleaned-up mesh with float
/// positions (toDynamicMesh), null when nothing remains. Refuses with
/// BooleanRefused when an operand intersects itself, when an operand is open and `open` says to
/// refuse, and when closed operands still give an open result, which
/// happens only beyond the exactness limit of computeBoolean (sizes or
/// distances about 1e9 apart). Kiln::Exception as computeBoolean, and
/// BooleanCancelled when `cancel` becomes true, as computeBoolean.
std::unique_ptr<DynamicMesh> checkedBoolean(const BooleanOperand& a, const BooleanOperand& b, BooleanOperation operation,
                                            OpenOperands open = OpenOperands::Allow,
                                            const std::atomic<bool>* cancel = nullptr);

} // namespace Kiln
