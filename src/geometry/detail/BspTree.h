#pragma once
// Partition trees over one operand of a Boolean operation, and the exact
// convex pieces of triangles that are split and classified against them.
// Internal to the Boolean builder.
#include "detail/ExactPlane.h"
#include "mesh/FlatIndexTable.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Kiln {
namespace BSP {

constexpr std::uint32_t kNone = 0xffffffffu;

/// Names a plane of either operand: bit 31 the operand, bits 29-30 the
/// table (triangle planes, k-d split planes, triangle edge planes).
using PlaneRef = std::uint32_t;
enum PlaneTable : std::uint32_t { TrianglePlanes = 0, SplitPlanes = 1, EdgePlanes = 2 };

inline PlaneRef makePlaneRef(std::uint32_t operand, PlaneTable table, std::uint32_t index) {
    return (operand << 31) | (static_cast<std::uint32_t>(table) << 29) | index;
}

/// A vertex of a piece that is not an input vertex: the point where the
/// piece's supporting plane meets two other planes.
struct WorkVertex {
    /// The supporting plane and two more. When planes[1] is an edge plane
    /// (made through two points) the vertex is where that line meets
    /// planes[2], between the two points when `onSegment` is set.
    PlaneRef planes[3];
    bool onSegment;
    ApproximatePoint approximate; ///< filters side tests of intersection points
    /// The largest coordinate of the points the planes were made through:
    /// how much rounding noise the point can carry. Found when the point is
    /// cut, while its planes are at hand; the output sizes its tolerances
    /// with it after the planes are freed.
    double scale;
};

/// Leaf values of child slots: front leaves are outside, back leaves inside.
constexpr std::int32_t kLeafOutside = -1;
constexpr std::int32_t kLeafInside = -2;
/// An empty slot of a cell that received no piece.
constexpr std::int32_t kLeafEmptyCell = -3;
/// Child values from kFirstCell down name k-d cells: kFirstCell - index.
constexpr std::int32_t kFirstCell = -4;

inline bool isCell(std::int32_t child) {
    return child <= kFirstCell;
}
inline std::uint32_t cellIndex(std::int32_t child) {
    return static_cast<std::uint32_t>(kFirstCell - child);
}

struct Node {
    PlaneRef plane;
    std::int32_t front;
    std::int32_t back;
};

/// A leaf region of the k-d pre-partition. Its own partition tree is built
/// only when a piece or point of the other operand can reach it.
struct Cell {
    double lo[3];
    double hi[3];
    std::int32_t parent; ///< the k-d node above, -1 for a lone cell
    bool front;          ///< which side of the parent's plane
    bool needed = false;
    std::int32_t root = kLeafEmptyCell;
    std::vector<std::uint32_t> triangles; ///< candidates while filling
};

/// One operand's exact working data. Only the thread working on this
/// operand appends to it; the other thread reads its triangle and split
/// planes and its tree.
struct Operand {
    std::uint32_t id = 0; ///< 0 for A, 1 for B
    const double* positions = nullptr;
    std::size_t vertexCount = 0;
    const std::uint32_t* indices = nullptr;
    std::size_t triangleCount = 0;

    /// Per triangle, valid only where planeReady is set: far from the
    /// other operand most triangles never need their plane, and storage
    /// never written is never paged in (144 bytes a triangle otherwise).
    std::unique_ptr<ExactPlane[]> trianglePlanes;
    std::vector<std::uint8_t> planeReady;
    std::vector<std::uint8_t> degenerate;
    std::vector<ExactPlane> splitPlanes;
    std::vector<ExactPlane> edgePlanes;
    std::vector<std::uint32_t> edgePlaneOf; ///< 3 per triangle, kNone until needed
    /// Work vertices are numbered on from the input vertices: ids below
    /// vertexCount are input vertices, which need no record; cut(id) holds
    /// each point cut since.
    std::vector<WorkVertex> cuts;
    std::vector<Node> nodes;
    std::vector<std::int32_t> splitParent; ///< per k-d node: its parent node, -1 at the root
    std::vector<Cell> cells;
    std::vector<std::uint8_t> reachesNeededCell; ///< per k-d node, set by fillCells
    std::int32_t root = kLeafOutside;

    std::size_t workVertexCount() const { return vertexCount + cuts.size(); }
    bool isInputVertex(std::uint32_t v) const { return v < vertexCount; }
    const WorkVertex& cut(std::uint32_t v) const { return cuts[v - vertexCount]; }

    /// Finds the degenerate triangles; no triangle plane is ready yet.
    void prepare(std::uint32_t operandId, const double* positions, std::size_t vertexCount,
                 const std::uint32_t* indices, std::size_t triangleCount);
    /// Makes triangle t's plane ready. Only the thread working on this
    /// operand calls it, and only before the other thread can reach t
    /// through this operand's trees (every triangle that goes into a tree
    /// or is clipped is made ready first).
    void readyPlane(std::size_t t) {
        if (!planeReady[t]) {
            trianglePlanes[t] = planeOfTriangle(t);
            planeReady[t] = 1;
        }
    }
    ExactPlane planeOfTriangle(std::size_t t) const {
        return planeThroughPoints(positions + 3 * indices[3 * t], positions + 3 * indices[3 * t + 1],
                                  positions + 3 * indices[3 * t + 2]);
    }
    /// Frees the trees, the k-d partition and the split and edge planes once
    /// no piece is classified any more; the triangle planes, the
    /// degenerate flags and the work vertices stay for the output.
    void releaseTrees();
};

/// Both operands, for resolving plane references.
struct Operands {
    Operand* operand[2];
    const ExactPlane& plane(PlaneRef ref) const;
};

/// Map from a 64-bit key to a 32-bit value over one flat table, for
/// lookups in the clip loops. Not thread-safe.
class FlatKeyMap {
public:
    /// The value stored for the key, or nullptr (valid until the next insert).
    const std::uint32_t* find(std::uint64_t key) const;
    /// Stores the value for a key not yet present.
    void insert(std::uint64_t key, std::uint32_t value);
    /// The value stored for the key; when the key is new, stores `value`
    /// first. One search either way.
    std::uint32_t findOrInsert(std::uint64_t key, std::uint32_t value);

private:
    FlatIndexTable table; ///< entries index `keys` and `values`
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> values;
};

/// Closed axis-aligned bounds.
struct Box {
    double lo[3];
    double hi[3];
};

/// Bounds of triangle t of a mesh given as flat positions (3 doubles a
/// vertex) and indices (3 a triangle).
inline Box triangleBox(const double* positions, const std::uint32_t* indices, std::size_t t) {
    Box box;
    for (int k = 0; k < 3; ++k) {
        box.lo[k] = HUGE_VAL;
        box.hi[k] = -HUGE_VAL;
    }
    for (int c = 0; c < 3; ++c) {
        const double* p = positions + 3 * indices[3 * t + c];
        for (int k = 0; k < 3; ++k) {
            box.lo[k] = std::min(box.lo[k], p[k]);
            box.hi[k] = std::max(box.hi[k], p[k]);
        }
    }
    return box;
}

inline bool overlaps(const Box& a, const Box& b) {
    for (int k = 0; k < 3; ++k)
        if (a.lo[k] > b.hi[k] || b.lo[k] > a.hi[k])
            return false;
    return true;
}

/// A convex polygon in a scratch buffer: its vertices (work vertex ids of
/// its operand) and, per vertex, the plane holding the edge to the next.
struct Piece {
    std::uint32_t first;
    std::uint32_t count;
};

/// A piece met on the way down the other operand's tree. Either the tree
/// split it in two (`front` and `back` name the halves' fragments) or it
/// reached leaves, and then it carries the other operand's status just in
/// front of it (outside its own solid) and just behind it. Keeping the
/// splits lets halves that end up with the same fate be joined again.
struct ClassifiedPiece {
    Piece piece;
    std::uint32_t front = kNone;
    std::uint32_t back = kNone;
    bool frontInside = false;
    bool backInside = false;

    bool isSplit() const { return front != kNone; }
};

/// Scratch space for the pieces of one triangle, reused between triangles.
class PieceWorkspace {
public:
    PieceWorkspace(Operands operands, std::uint32_t ownOperand);

    void reset();
    Piece triangle(std::uint32_t triangle);
    std::uint32_t vertex(const Piece& p, std::uint32_t k) const { return vertexIds[p.first + k]; }
    PlaneRef edgePlane(const Piece& p, std::uint32_t k) const { return edgePlanes[p.first + k]; }

    enum class Side { Front, Back, Spanning, Coplanar };
    /// Exact position of the piece against a plane; for Spanning, splits
    /// it into `front` and `back`.
    Side split(const Piece& piece, PlaneRef plane, Piece& front, Piece& back);
    /// Exact side of one work vertex; naming the plane lets nearly
    /// coplanar neighbours be told apart across their shared edge.
    int side(std::uint32_t vertex, const ExactPlane& plane, PlaneRef planeRef = kNone) const;

    /// Joins pieces of the current triangle that share a whole edge while
    /// the union stays convex; a corner left on a straight side is dropped.
    /// All pieces must keep the same side of the result.
    void joinPieces(std::vector<Piece>& pieces);

    Operand& own() const { return *operands.operand[ownOperandId]; }
    /// The plane of the triangle whose pieces the workspace holds.
    PlaneRef supportingPlane() const;
    const Operands& planes() const { return operands; }

private:
    PlaneRef resolveEdgePlane(PlaneRef edge);
    /// The hinge of a pair of planes (stays valid until the next new pair),
    /// or nullptr when they share no edge.
    const ExactPlane* hingeFor(PlaneRef on, PlaneRef other, int& factor) const;
    static constexpr std::uint32_t kNoHingeIndex = kNone;
    std::uint32_t cutVertex(PlaneRef edge, PlaneRef cut);
    /// How the outline turns at corner k of `piece` when it goes on along
    /// `outPlane` towards `outVertex` instead of the piece's own next edge:
    /// 1 convex, 0 straight on, -1 reflex.
    int turn(const Piece& piece, std::uint32_t k, PlaneRef outPlane, std::uint32_t outVertex) const;
    /// Whether two work vertices are one point by construction.
    bool samePoint(std::uint32_t a, std::uint32_t b) const;
    bool join(const Piece& a, const Piece& b, Piece& joined);

    Operands operands;
    std::uint32_t ownOperandId;
    std::uint32_t currentTriangle = kNone;
    std::vector<std::uint32_t> vertexIds;
    std::vector<PlaneRef> edgePlanes;
    std::vector<std::int8_t> sides;
    std::vector<std::uint32_t> backIdsScratch; ///< the back piece while splitting
    std::vector<PlaneRef> backEdgesScratch;
    /// A hinge found for a pair of planes, kept whole: the same pair comes
    /// back for every point cut on it.
    struct Hinge {
        ExactPlane plane;
        std::int8_t factor;
    };
    /// Per pair of planes (on << 32 | other): the index of its hinge, or
    /// kNoHingeIndex.
    mutable FlatKeyMap hingeIndex;
    mutable std::vector<Hinge> hinges;
};

/// Builds the k-d pre-partition over the operand's used vertices, refined
/// only where one of the closed boxes of `reach` (what the other operand
/// can reach: its clipped triangles' boxes, its deciding points) touches a
/// region; a region none touches stays one cell, never needed. The cells
/// that are refined come out as the full partition has them.
void buildPartition(Operand& operand, const std::vector<Box>& reach);

/// Marks the cells a box touches (closed boxes) as needed.
void markCells(Operand& operand, const double lo[3], const double hi[3]);

/// Marks the cell a point descends to as needed.
void markCellOfPoint(Operand& operand, const double point[3]);

/// Builds the partition trees of the needed cells from the operand's
/// triangles clipped to each cell, largest triangles first.
void fillCells(Operand& operand, Operands operands);

/// Exact status of a piece of `workspace`'s operand against the other
/// operand's tree, splitting it where the tree's planes cross it. Fills
/// `out` with the fragments: the given piece first, each half after the
/// piece it came from.
void classifyPiece(const Operand& tree, PieceWorkspace& workspace, const Piece& piece,
                   std::vector<ClassifiedPiece>& out);

/// Status of a point that is known not to lie on the other operand's surface.
bool pointInside(const Operand& tree, const Operands& operands, const double point[3]);

} // namespace BSP
} // namespace Kiln
