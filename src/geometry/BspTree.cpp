#include "detail/BspTree.h"

#include "detail/ParallelChunks.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace Kiln {
namespace BSP {
namespace {

// Edge k of the workspace's current triangle, before its plane is made.
constexpr std::uint32_t kPendingEdgeTable = 3;

PlaneRef pendingEdge(std::uint32_t k) {
    return (kPendingEdgeTable << 29) | k;
}

std::uint32_t tableOf(PlaneRef ref) {
    return (ref >> 29) & 3u;
}

std::uint32_t indexOf(PlaneRef ref) {
    return ref & 0x1fffffffu;
}

} // namespace

void Operand::prepare(std::uint32_t operandId, const double* pos, std::size_t vertices_,
                      const std::uint32_t* ind, std::size_t triangles) {
    id = operandId;
    positions = pos;
    vertexCount = vertices_;
    indices = ind;
    triangleCount = triangles;
    // Left uninitialised on purpose: see trianglePlanes.
    trianglePlanes.reset(new ExactPlane[triangles]);
    planeReady.assign(triangles, 0);
    degenerate.assign(triangles, 0);
    // Every triangle's exact plane is computed (and dropped) here: worth
    // the cores.
    Parallel::forChunks(triangles, Parallel::chunkCountFor(triangles),
                        [&](unsigned, std::size_t begin, std::size_t end) {
                            for (std::size_t t = begin; t < end; ++t)
                                degenerate[t] = isDegenerate(planeOfTriangle(t)) ? 1 : 0;
                        });
    edgePlaneOf.assign(3 * triangles, kNone);
}

void Operand::releaseTrees() {
    // swap with empties: clear() would keep the capacity.
    std::vector<ExactPlane>().swap(splitPlanes);
    std::vector<ExactPlane>().swap(edgePlanes);
    std::vector<std::uint32_t>().swap(edgePlaneOf);
    std::vector<Node>().swap(nodes);
    std::vector<std::int32_t>().swap(splitParent);
    std::vector<Cell>().swap(cells);
    std::vector<std::uint8_t>().swap(reachesNeededCell);
    root = kLeafOutside;
}

namespace {

// See WorkVertex::scale.
double scaleOfPlanes(const Operands& operands, const PlaneRef (&planes)[3]) {
    const auto magnitude = [](const double* p) {
        return std::max(std::fabs(p[0]), std::max(std::fabs(p[1]), std::fabs(p[2])));
    };
    double scale = 0.0;
    for (const PlaneRef ref : planes) {
        const ExactPlane& plane = operands.plane(ref);
        scale = std::max({scale, magnitude(plane.p), magnitude(plane.q), magnitude(plane.r)});
    }
    return scale;
}

} // namespace

const ExactPlane& Operands::plane(PlaneRef ref) const {
    const Operand& op = *operand[ref >> 31];
    switch (tableOf(ref)) {
    case TrianglePlanes:
        return op.trianglePlanes[indexOf(ref)];
    case SplitPlanes:
        return op.splitPlanes[indexOf(ref)];
    default:
        return op.edgePlanes[indexOf(ref)];
    }
}

namespace {

// Plane references differ mostly in their low bits; mixing spreads
// neighbouring pairs over the table.
std::uint64_t mixKey(std::uint64_t key) {
    const std::uint64_t h = key * 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 29);
}

} // namespace

const std::uint32_t* FlatKeyMap::find(std::uint64_t key) const {
    const std::uint32_t entry = table.find(mixKey(key), [&](std::uint32_t e) { return keys[e] == key; });
    return entry == FlatIndexTable::kNoEntry ? nullptr : &values[entry];
}

void FlatKeyMap::insert(std::uint64_t key, std::uint32_t value) {
    const std::uint32_t entry = static_cast<std::uint32_t>(keys.size());
    if (table.findOrAdd(mixKey(key), entry, [&](std::uint32_t e) { return keys[e] == key; }) != entry) {
        assert(!"FlatKeyMap::insert: the key is present already");
        return;
    }
    keys.push_back(key);
    values.push_back(value);
}

std::uint32_t FlatKeyMap::findOrInsert(std::uint64_t key, std::uint32_t value) {
    const std::uint32_t entry = static_cast<std::uint32_t>(keys.size());
    const std::uint32_t found =
        table.findOrAdd(mixKey(key), entry, [&](std::uint32_t e) { return keys[e] == key; });
    if (found == entry) {
        keys.push_back(key);
        values.push_back(value);
    }
    return values[found];
}

PieceWorkspace::PieceWorkspace(Operands ops, std::uint32_t ownId) : operands(ops), ownOperandId(ownId) {}

void PieceWorkspace::reset() {
    vertexIds.clear();
    edgePlanes.clear();
}

Piece PieceWorkspace::triangle(std::uint32_t t) {
    currentTriangle = t;
    const Operand& op = own();
    Piece p{static_cast<std::uint32_t>(vertexIds.size()), 3};
    for (std::uint32_t k = 0; k < 3; ++k) {
        vertexIds.push_back(op.indices[3 * t + k]);
        edgePlanes.push_back(pendingEdge(k));
    }
    return p;
}

PlaneRef PieceWorkspace::supportingPlane() const {
    return makePlaneRef(ownOperandId, TrianglePlanes, currentTriangle);
}

PlaneRef PieceWorkspace::resolveEdgePlane(PlaneRef edge) {
    if (tableOf(edge) != kPendingEdgeTable)
        return edge;
    Operand& op = own();
    const std::uint32_t k = indexOf(edge);
    std::uint32_t& slot = op.edgePlaneOf[3 * currentTriangle + k];
    if (slot == kNone) {
        const double* p = op.positions + 3 * op.indices[3 * currentTriangle + k];
        const double* q = op.positions + 3 * op.indices[3 * currentTriangle + (k + 1) % 3];
        slot = static_cast<std::uint32_t>(op.edgePlanes.size());
        op.edgePlanes.push_back(planeThroughEdge(p, q, dominantAxis(op.trianglePlanes[currentTriangle])));
    }
    return makePlaneRef(ownOperandId, EdgePlanes, slot);
}

std::uint32_t PieceWorkspace::cutVertex(PlaneRef edge, PlaneRef cut) {
    const PlaneRef s = supportingPlane();
    const PlaneRef e = resolveEdgePlane(edge);
    const ExactPlane& ps = operands.plane(s);
    const ExactPlane& pe = operands.plane(e);
    const ExactPlane& pc = operands.plane(cut);
    WorkVertex v{{s, e, cut}, pe.kind == ExactPlane::Kind::EdgeAlongAxis, approximateIntersection(ps, pe, pc), 0.0};
    Operand& op = own();
    double a[3], b[3];
    if (sharedEdge(pe, pc, a, b)) {
        // Two neighbouring triangles' planes (often nearly parallel) meet
        // along their shared edge: the point is where that edge's line
        // meets s, far better conditioned as such.
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(b[k] - a[k]) < std::fabs(b[axis] - a[axis]))
                axis = k;
        const std::uint32_t index = static_cast<std::uint32_t>(op.edgePlanes.size());
        op.edgePlanes.push_back(planeThroughEdge(a, b, axis));
        v.planes[1] = makePlaneRef(ownOperandId, EdgePlanes, index);
        v.planes[2] = s;
        v.onSegment = false;
    }
    v.scale = scaleOfPlanes(operands, v.planes);
    op.cuts.push_back(v);
    return static_cast<std::uint32_t>(op.workVertexCount() - 1);
}

const ExactPlane* PieceWorkspace::hingeFor(PlaneRef onRef, PlaneRef otherRef, int& factor) const {
    const ExactPlane& on = operands.plane(onRef);
    if (on.kind != ExactPlane::Kind::ThroughPoints)
        return nullptr;
    // The factor costs an exact test of a point nearly on the other plane;
    // the same pair of planes comes back for every point cut on them.
    const std::uint64_t key = (static_cast<std::uint64_t>(onRef) << 32) | otherRef;
    if (const std::uint32_t* found = hingeIndex.find(key)) {
        if (*found == kNoHingeIndex)
            return nullptr;
        const Hinge& known = hinges[*found];
        factor = known.factor;
        return &known.plane;
    }
    ExactPlane hinge;
    if (!hingeOnSharedEdge(on, operands.plane(otherRef), hinge, factor)) {
        hingeIndex.insert(key, kNoHingeIndex);
        return nullptr;
    }
    hingeIndex.insert(key, static_cast<std::uint32_t>(hinges.size()));
    hinges.push_back({hinge, static_cast<std::int8_t>(factor)});
    return &hinges.back().plane;
}

int PieceWorkspace::side(std::uint32_t vertex, const ExactPlane& plane, PlaneRef planeRef) const {
    const Operand& op = own();
    if (op.isInputVertex(vertex)) {
        const double* x = op.positions + 3 * vertex;
        const int estimate = sideOfPointEstimate(plane, x);
        if (estimate != 2)
            return estimate;
        // A corner of the current triangle lies on its plane: the same
        // hinge as for cut points spares the deep test against a nearly
        // coplanar neighbour.
        int factor;
        const ExactPlane* hinge = planeRef != kNone && plane.kind == ExactPlane::Kind::ThroughPoints
                                      ? hingeFor(supportingPlane(), planeRef, factor)
                                      : nullptr;
        if (hinge)
            return factor == 0 ? 0 : factor * sideOfPoint(*hinge, x);
        return sideOfPoint(plane, x);
    }
    const WorkVertex& v = op.cut(vertex);
    const int estimate = sideOfApproximatePoint(plane, v.approximate);
    if (estimate != 2)
        return estimate;
    // The point lies on each of its planes; where one of them is a triangle
    // plane sharing an edge with `plane`, the side follows from a plane
    // across that edge, which filters well even when the two triangles are
    // nearly coplanar.
    if (planeRef != kNone && plane.kind == ExactPlane::Kind::ThroughPoints)
        for (const PlaneRef ref : {v.planes[0], v.planes[2], v.planes[1]}) {
            if (ref == planeRef)
                return 0;
            int factor;
            if (const ExactPlane* hinge = hingeFor(ref, planeRef, factor))
                return factor == 0 ? 0 : factor * side(vertex, *hinge);
        }
    const ExactPlane& line = operands.plane(v.planes[1]);
    if (line.kind == ExactPlane::Kind::EdgeAlongAxis) {
        const ExactPlane& cut = operands.plane(v.planes[2]);
        if (&plane == &cut || &plane == &line)
            return 0;
        return v.onSegment ? sideOfCutPoint(line, cut, plane) : sideOfLinePoint(line, cut, plane);
    }
    // Only this last resort needs the orientation of the three planes.
    const ExactPlane &s = operands.plane(v.planes[0]), &p = operands.plane(v.planes[1]),
                     &q = operands.plane(v.planes[2]);
    return sideOfIntersection(s, p, q, normalsDeterminantSign(s, p, q), plane);
}

PieceWorkspace::Side PieceWorkspace::split(const Piece& piece, PlaneRef planeRef, Piece& front, Piece& back) {
    const ExactPlane& plane = operands.plane(planeRef);
    sides.resize(piece.count);
    bool anyFront = false, anyBack = false;
    for (std::uint32_t k = 0; k < piece.count; ++k) {
        const int s = side(vertexIds[piece.first + k], plane, planeRef);
        sides[k] = static_cast<std::int8_t>(s);
        anyFront |= s > 0;
        anyBack |= s < 0;
    }
    if (!anyFront && !anyBack)
        return Side::Coplanar;
    if (!anyBack)
        return Side::Front;
    if (!anyFront)
        return Side::Back;

    // Convex polygon clipping; each new vertex is where the crossed edge's
    // line meets the plane, and every edge keeps the plane it lies on.
    const std::uint32_t frontFirst = static_cast<std::uint32_t>(vertexIds.size());
    std::vector<std::uint32_t>& backIds = backIdsScratch;
    std::vector<PlaneRef>& backEdges = backEdgesScratch;
    backIds.clear();
    backEdges.clear();
    for (std::uint32_t i = 0; i < piece.count; ++i) {
        const std::uint32_t j = (i + 1) % piece.count;
        const std::uint32_t vi = vertexIds[piece.first + i];
        const PlaneRef ei = edgePlanes[piece.first + i];
        const int si = sides[i], sj = sides[j];
        if (si >= 0) {
            vertexIds.push_back(vi);
            edgePlanes.push_back(si == 0 && sj < 0 ? planeRef : ei);
        }
        if (si <= 0) {
            backIds.push_back(vi);
            backEdges.push_back(si == 0 && sj > 0 ? planeRef : ei);
        }
        if (si * sj < 0) {
            const std::uint32_t x = cutVertex(ei, planeRef);
            vertexIds.push_back(x);
            edgePlanes.push_back(sj > 0 ? ei : planeRef);
            backIds.push_back(x);
            backEdges.push_back(sj < 0 ? ei : planeRef);
        }
    }
    front = {frontFirst, static_cast<std::uint32_t>(vertexIds.size()) - frontFirst};
    back = {static_cast<std::uint32_t>(vertexIds.size()), static_cast<std::uint32_t>(backIds.size())};
    vertexIds.insert(vertexIds.end(), backIds.begin(), backIds.end());
    edgePlanes.insert(edgePlanes.end(), backEdges.begin(), backEdges.end());
    return Side::Spanning;
}

int PieceWorkspace::turn(const Piece& piece, std::uint32_t k, PlaneRef outPlane, std::uint32_t outVertex) const {
    const std::uint32_t previous = (k + piece.count - 1) % piece.count;
    const PlaneRef in = edgePlanes[piece.first + previous];
    if (in == outPlane)
        return 0;
    // Every piece lies inside its triangle, so nothing turns outwards
    // across one of the triangle's own sides.
    if (tableOf(in) == kPendingEdgeTable)
        return 1;
    const ExactPlane& plane = operands.plane(in);
    const int s = side(outVertex, plane, in);
    if (s == 0)
        return 0;
    for (std::uint32_t j = 0; j < piece.count; ++j) {
        if (j == k || j == previous)
            continue;
        const int inner = side(vertexIds[piece.first + j], plane, in);
        if (inner != 0)
            return inner == s ? 1 : -1;
    }
    return -1;
}

bool PieceWorkspace::samePoint(std::uint32_t a, std::uint32_t b) const {
    if (a == b)
        return true;
    // Pieces cut apart on different branches make their own vertex where
    // the same two planes meet the triangle.
    const Operand& op = own();
    if (op.isInputVertex(a) || op.isInputVertex(b))
        return false;
    const WorkVertex& p = op.cut(a);
    const WorkVertex& q = op.cut(b);
    if (p.planes[0] != q.planes[0])
        return false;
    return (p.planes[1] == q.planes[1] && p.planes[2] == q.planes[2]) ||
           (p.planes[1] == q.planes[2] && p.planes[2] == q.planes[1]);
}

bool PieceWorkspace::join(const Piece& a, const Piece& b, Piece& joined) {
    const std::uint32_t* va = &vertexIds[a.first];
    const std::uint32_t* vb = &vertexIds[b.first];
    // a runs u -> v along one edge; b runs back from v to u, along one
    // edge or, where b was cut further than a, along several on one plane.
    std::uint32_t i = 0, j = 0, k = 0, steps = 0;
    bool shared = false;
    for (i = 0; i < a.count && !shared; ++i) {
        const PlaneRef plane = edgePlanes[a.first + i];
        const std::uint32_t u = va[i], v = va[(i + 1) % a.count];
        for (j = 0; j < b.count && !shared; ++j) {
            if (!samePoint(vb[j], v))
                continue;
            k = (j + 1) % b.count;
            steps = 1;
            while (!samePoint(vb[k], u) && steps + 1 < b.count && edgePlanes[b.first + k] == plane) {
                k = (k + 1) % b.count;
                ++steps;
            }
            shared = samePoint(vb[k], u) && (steps == 1 || edgePlanes[b.first + j] == plane);
        }
    }
    if (!shared)
        return false;
    --i;
    --j;
    const std::uint32_t afterU = (k + 1) % b.count, afterV = (i + 2) % a.count;
    const int atU = turn(a, i, edgePlanes[b.first + k], vb[afterU]);
    if (atU < 0)
        return false;
    const int atV = turn(b, j, edgePlanes[a.first + (i + 1) % a.count], va[afterV]);
    if (atV < 0)
        return false;
    const std::uint32_t count = a.count + b.count - steps - 1 - (atU == 0 ? 1 : 0) - (atV == 0 ? 1 : 0);
    if (count < 3)
        return false;
    // The joined outline: a from v round to u, then b from after u to
    // before v. A dropped corner leaves the edge before it to run on.
    joined = {static_cast<std::uint32_t>(vertexIds.size()), count};
    for (std::uint32_t m = 1; m <= a.count; ++m) {
        const std::uint32_t at = (i + m) % a.count;
        if ((m == 1 && atV == 0) || (m == a.count && atU == 0))
            continue;
        const std::uint32_t vertex = vertexIds[a.first + at];
        const PlaneRef edge = m == a.count ? edgePlanes[b.first + k] : edgePlanes[a.first + at];
        vertexIds.push_back(vertex);
        edgePlanes.push_back(edge);
    }
    for (std::uint32_t m = 1; m + steps < b.count; ++m) {
        const std::uint32_t at = (k + m) % b.count;
        const std::uint32_t vertex = vertexIds[b.first + at];
        const PlaneRef edge = edgePlanes[b.first + at];
        vertexIds.push_back(vertex);
        edgePlanes.push_back(edge);
    }
    return true;
}

void PieceWorkspace::joinPieces(std::vector<Piece>& pieces) {
    bool joinedAny = true;
    while (joinedAny) {
        joinedAny = false;
        for (std::size_t a = 0; a < pieces.size(); ++a)
            for (std::size_t b = a + 1; b < pieces.size(); ++b) {
                Piece joined;
                if (!join(pieces[a], pieces[b], joined) && !join(pieces[b], pieces[a], joined))
                    continue;
                pieces[a] = joined;
                pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(b));
                joinedAny = true;
                b = a;
            }
    }
}

namespace {

// The splits depend on the coordinates alone, so the builder reorders
// copies of the points themselves: selecting medians through vertex ids
// would miss the cache on every comparison.
struct KdPoint {
    double x[3];
};

struct KdBuilder {
    Operand& op;
    std::vector<KdPoint>& points;
    const std::vector<Box>& reach;
    /// Ids of the boxes of `reach` that touch the regions on the way down
    /// to the current one, each region's after its parent's.
    std::vector<std::uint32_t> touching;

    double coordinate(std::size_t i, int axis) const { return points[i].x[axis]; }

    std::int32_t makeCell(const double lo[3], const double hi[3], std::int32_t parent, bool front) {
        Cell cell;
        for (int k = 0; k < 3; ++k) {
            cell.lo[k] = lo[k];
            cell.hi[k] = hi[k];
        }
        cell.parent = parent;
        cell.front = front;
        op.cells.push_back(std::move(cell));
        return kFirstCell - static_cast<std::int32_t>(op.cells.size() - 1);
    }

    // Median splits halve the points, so a sound tree is about log2(n)
    // deep; past this depth something is wrong with the input (a split
    // that did not divide) and the rest stays one larger cell, which is
    // slower to fill but still exact.
    static constexpr int kMaxDepth = 96;
    // A cell keeps up to this many vertices. Cells of one vertex each cost
    // a split plane and a cell record per vertex, and every split plane
    // cuts the other operand's pieces that cross it, adding side points;
    // the cell's own partition tree separates a few vertices just as
    // exactly, at a fraction of the memory.
    static constexpr std::size_t kLeafVertices = 16;

    // Appends the ids among touching[first, last) of the boxes that reach
    // across the plane at `offset` to its back (front) side, as
    // forCellsTouching would go down; returns where they start.
    std::size_t touchingSide(std::size_t first, std::size_t last, int axis, double offset, bool frontSide) {
        const std::size_t start = touching.size();
        for (std::size_t i = first; i < last; ++i) {
            const Box& box = reach[touching[i]];
            if (frontSide ? box.hi[axis] >= offset : box.lo[axis] <= offset)
                touching.push_back(touching[i]);
        }
        return start;
    }

    // The region of points [begin, end) whose bounds are boxLo..boxHi, with
    // the boxes touching[reachFirst, reachLast) of `reach` touching it.
    std::int32_t build(std::size_t begin, std::size_t end, const double boxLo[3], const double boxHi[3],
                       std::int32_t parent, bool front, std::size_t reachFirst, std::size_t reachLast,
                       int depth = 0) {
        // Nothing of the other operand comes here: the whole region is one
        // cell that is never needed, however many points it holds.
        if (reachFirst == reachLast || end - begin <= kLeafVertices || depth >= kMaxDepth)
            return makeCell(boxLo, boxHi, parent, front);
        double lo[3], hi[3];
        for (int k = 0; k < 3; ++k)
            lo[k] = hi[k] = coordinate(begin, k);
        for (std::size_t i = begin + 1; i < end; ++i)
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], coordinate(i, k));
                hi[k] = std::max(hi[k], coordinate(i, k));
            }
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (hi[k] - lo[k] > hi[axis] - lo[axis])
                axis = k;
        if (!(hi[axis] - lo[axis] > 0.0) || !std::isfinite(hi[axis] - lo[axis]))
            return makeCell(boxLo, boxHi, parent, front);
        // Split at the median: partition around it, then the plane goes
        // between the largest coordinate below the median value and the
        // median value (or, when nothing is below, between the median value
        // and the smallest coordinate above it).
        auto coordinateOf = [&](const KdPoint& p) { return p.x[axis]; };
        auto less = [&](const KdPoint& a, const KdPoint& b) { return coordinateOf(a) < coordinateOf(b); };
        const auto first = points.begin() + static_cast<std::ptrdiff_t>(begin);
        const auto last = points.begin() + static_cast<std::ptrdiff_t>(end);
        const auto median = first + static_cast<std::ptrdiff_t>((end - begin) / 2);
        std::nth_element(first, median, last, less);
        const double medianValue = coordinateOf(*median);
        auto middle = std::partition(first, last, [&](const KdPoint& p) { return coordinateOf(p) < medianValue; });
        double below, above;
        if (middle != first) {
            below = coordinateOf(*std::max_element(first, middle, less));
            above = medianValue;
        } else {
            middle = std::partition(first, last, [&](const KdPoint& p) { return coordinateOf(p) <= medianValue; });
            below = medianValue;
            above = coordinateOf(*std::min_element(middle, last, less));
        }
        const std::size_t k = static_cast<std::size_t>(middle - points.begin());
        if (k == begin || k == end)  // no division: recursing would not end
            return makeCell(boxLo, boxHi, parent, front);
        // Not the midpoint: a cut at the middle of an edge along one axis
        // would land exactly on a middle plane along another axis, a
        // near-coincidence that only exact arithmetic can settle.
        static const double kFraction[3] = {0.4142135623730951, 0.5773502691896258, 0.3660254037844386};
        const double offset = below + (above - below) * kFraction[axis];
        if (!std::isfinite(offset))  // coordinates near the double limit
            return makeCell(boxLo, boxHi, parent, front);
        const std::uint32_t planeIndex = static_cast<std::uint32_t>(op.splitPlanes.size());
        op.splitPlanes.push_back(planeAtAxis(axis, offset));
        const std::int32_t node = static_cast<std::int32_t>(op.nodes.size());
        op.nodes.push_back({makePlaneRef(op.id, SplitPlanes, planeIndex), kLeafEmptyCell, kLeafEmptyCell});
        op.splitParent.push_back(parent);
        double split[3];
        for (int j = 0; j < 3; ++j)
            split[j] = boxHi[j];
        split[axis] = offset;
        std::size_t sideFirst = touchingSide(reachFirst, reachLast, axis, offset, false);
        const std::int32_t back = build(begin, k, boxLo, split, node, false, sideFirst, touching.size(), depth + 1);
        touching.resize(sideFirst);
        for (int j = 0; j < 3; ++j)
            split[j] = boxLo[j];
        split[axis] = offset;
        sideFirst = touchingSide(reachFirst, reachLast, axis, offset, true);
        const std::int32_t frontChild =
            build(k, end, split, boxHi, node, true, sideFirst, touching.size(), depth + 1);
        touching.resize(sideFirst);
        op.nodes[node].front = frontChild;
        op.nodes[node].back = back;
        return node;
    }
};

// Where an inserted piece goes next: a child slot of a node or a cell's root.
struct Slot {
    std::int32_t index;
    enum Kind : std::uint8_t { Front, Back, CellRoot } kind;
};

std::int32_t& slotValue(Operand& op, const Slot& slot) {
    switch (slot.kind) {
    case Slot::Front:
        return op.nodes[slot.index].front;
    case Slot::Back:
        return op.nodes[slot.index].back;
    default:
        return op.cells[slot.index].root;
    }
}

const ExactPlane& axisPlaneOf(const Operand& op, std::int32_t node) {
    return op.splitPlanes[op.nodes[node].plane & 0x1fffffffu];
}

double triangleSize(const Operand& op, std::uint32_t t) {
    double sum = 0;
    for (int k = 0; k < 3; ++k) {
        const double* p = op.positions + 3 * op.indices[3 * t + k];
        const double* q = op.positions + 3 * op.indices[3 * t + (k + 1) % 3];
        for (int c = 0; c < 3; ++c)
            sum += (q[c] - p[c]) * (q[c] - p[c]);
    }
    return sum;
}

Box boxOf(const Operand& op, std::uint32_t t) {
    return triangleBox(op.positions, op.indices, t);
}

// The k-d nodes still to visit, depth first. The first entries stay in
// place; a tree made deep by many equal coordinates spills onto the heap
// instead of dropping a branch.
class NodeStack {
public:
    bool empty() const { return top == 0; }
    void push(std::int32_t node) {
        if (top < kInPlace)
            inPlace[top] = node;
        else
            spilled.push_back(node);
        ++top;
    }
    std::int32_t pop() {
        assert(top > 0);
        --top;
        if (top < kInPlace)
            return inPlace[top];
        const std::int32_t node = spilled.back();
        spilled.pop_back();
        return node;
    }

private:
    static constexpr std::size_t kInPlace = 128;
    std::int32_t inPlace[kInPlace];
    std::vector<std::int32_t> spilled;
    std::size_t top = 0;
};

template <typename Visit>
void forCellsTouching(const Operand& op, const double lo[3], const double hi[3], bool onlyNeeded, Visit&& visit) {
    NodeStack stack;
    stack.push(op.root);
    while (!stack.empty()) {
        const std::int32_t value = stack.pop();
        if (isCell(value)) {
            visit(cellIndex(value));
            continue;
        }
        if (value < 0 || (onlyNeeded && !op.reachesNeededCell[value]))
            continue;
        const ExactPlane& plane = axisPlaneOf(op, value);
        const double offset = plane.p[plane.axis];
        if (hi[plane.axis] >= offset)
            stack.push(op.nodes[value].front);
        if (lo[plane.axis] <= offset)
            stack.push(op.nodes[value].back);
    }
}

// Inserts a piece at a slot: down through the nodes below it, splitting where
// it spans a plane, until it makes a new node at an empty slot.
void insertPiece(Operand& op, const Operands& operands, PieceWorkspace& workspace, PlaneRef own, Slot start,
                 Piece piece) {
    struct Pending {
        Slot slot;
        Piece piece;
    };
    // Kept per thread between pieces, as the classifier's stack is.
    thread_local std::vector<Pending> stack;
    stack.clear();
    stack.push_back({start, piece});
    while (!stack.empty()) {
        const Pending item = stack.back();
        stack.pop_back();
        const std::int32_t value = slotValue(op, item.slot);
        if (value < 0) {
            const std::int32_t node = static_cast<std::int32_t>(op.nodes.size());
            op.nodes.push_back({own, kLeafOutside, kLeafInside});
            slotValue(op, item.slot) = node;
            continue;
        }
        const Node node = op.nodes[value];
        Piece front, back;
        switch (workspace.split(item.piece, node.plane, front, back)) {
        case PieceWorkspace::Side::Front:
            stack.push_back({{value, Slot::Front}, item.piece});
            break;
        case PieceWorkspace::Side::Back:
            stack.push_back({{value, Slot::Back}, item.piece});
            break;
        case PieceWorkspace::Side::Spanning:
            stack.push_back({{value, Slot::Front}, front});
            stack.push_back({{value, Slot::Back}, back});
            break;
        case PieceWorkspace::Side::Coplanar: {
            const bool same = normalsAgree(operands.plane(own), operands.plane(node.plane)) > 0;
            stack.push_back({{value, same ? Slot::Front : Slot::Back}, item.piece});
            break;
        }
        }
    }
}

// The part of triangle t inside the cell, clipped by the k-d planes above
// it; false when nothing of it (with positive area) is inside.
bool clipToCell(const Operand& op, const Operands& operands, PieceWorkspace& workspace, const Cell& cell,
                std::uint32_t t, Piece& piece) {
    const Box box = boxOf(op, t);
    piece = workspace.triangle(t);
    const PlaneRef own = makePlaneRef(op.id, TrianglePlanes, t);
    std::int32_t node = cell.parent;
    bool front = cell.front;
    while (node >= 0) {
        const ExactPlane& plane = axisPlaneOf(op, node);
        const double offset = plane.p[plane.axis];
        const bool inside = front ? box.lo[plane.axis] > offset : box.hi[plane.axis] < offset;
        if (!inside) {
            Piece f, b;
            switch (workspace.split(piece, op.nodes[node].plane, f, b)) {
            case PieceWorkspace::Side::Front:
                if (!front)
                    return false;
                break;
            case PieceWorkspace::Side::Back:
                if (front)
                    return false;
                break;
            case PieceWorkspace::Side::Spanning:
                piece = front ? f : b;
                break;
            case PieceWorkspace::Side::Coplanar:
                // A piece in the plane itself goes where insertion into the
                // whole tree would send it.
                if ((normalsAgree(operands.plane(own), plane) > 0) != front)
                    return false;
                break;
            }
        }
        const std::int32_t child = node;
        node = op.splitParent[child];
        if (node >= 0)
            front = op.nodes[node].front == child;
    }
    return true;
}

} // namespace

void buildPartition(Operand& op, const std::vector<Box>& reach) {
    op.nodes.clear();
    op.cells.clear();
    op.splitParent.clear();
    std::vector<std::uint8_t> used(op.vertexCount, 0);
    for (std::uint32_t t = 0; t < op.triangleCount; ++t)
        if (!op.degenerate[t])
            for (int k = 0; k < 3; ++k)
                used[op.indices[3 * t + k]] = 1;
    std::vector<KdPoint> points;
    points.reserve(op.vertexCount);
    for (std::uint32_t v = 0; v < op.vertexCount; ++v)
        if (used[v])
            points.push_back({{op.positions[3 * v], op.positions[3 * v + 1], op.positions[3 * v + 2]}});
    const double lo[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}, hi[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    KdBuilder kd{op, points, reach, {}};
    kd.touching.resize(reach.size());
    for (std::uint32_t i = 0; i < reach.size(); ++i)
        kd.touching[i] = i;
    op.root = points.empty() ? kLeafOutside : kd.build(0, points.size(), lo, hi, -1, true, 0, reach.size());
}

void markCells(Operand& op, const double lo[3], const double hi[3]) {
    forCellsTouching(op, lo, hi, false, [&](std::uint32_t cell) { op.cells[cell].needed = true; });
}

void markCellOfPoint(Operand& op, const double point[3]) {
    std::int32_t value = op.root;
    while (value >= 0)
        value = sideOfPoint(axisPlaneOf(op, value), point) >= 0 ? op.nodes[value].front : op.nodes[value].back;
    if (isCell(value))
        op.cells[cellIndex(value)].needed = true;
}

void fillCells(Operand& op, Operands operands) {
    bool any = false;
    for (const Cell& cell : op.cells)
        any |= cell.needed;
    if (!any)
        return;
    // Children come after their parents, so one backward sweep tells each
    // k-d node whether a needed cell lies below it.
    const std::size_t splitNodes = op.splitParent.size();
    op.reachesNeededCell.assign(splitNodes, 0);
    auto reaches = [&](std::int32_t child) {
        if (isCell(child))
            return op.cells[cellIndex(child)].needed;
        return child >= 0 && op.reachesNeededCell[child] != 0;
    };
    for (std::size_t n = splitNodes; n-- > 0;)
        op.reachesNeededCell[n] = reaches(op.nodes[n].front) || reaches(op.nodes[n].back);
    // Finding the cells of every triangle is split over the cores; each
    // chunk lists its (cell, triangle) pairs, and joined in chunk order they
    // give each cell its triangles in ascending order, as one pass would.
    // Sizes are needed only for the triangles that go into a cell (left
    // unwritten elsewhere, so never paged in).
    const std::unique_ptr<double[]> sizes(new double[op.triangleCount]);
    const unsigned chunks = Parallel::chunkCountFor(op.triangleCount);
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> found(chunks);
    Parallel::forChunks(op.triangleCount, chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
        for (std::uint32_t t = static_cast<std::uint32_t>(begin); t < end; ++t) {
            if (op.degenerate[t])
                continue;
            const Box box = boxOf(op, t);
            forCellsTouching(op, box.lo, box.hi, true, [&](std::uint32_t cell) {
                if (op.cells[cell].needed) {
                    op.readyPlane(t);
                    sizes[t] = triangleSize(op, t);
                    found[chunk].emplace_back(cell, t);
                }
            });
        }
    });
    for (const auto& pairs : found)
        for (const auto& [cell, t] : pairs)
            op.cells[cell].triangles.push_back(t);
    found.clear();
    PieceWorkspace workspace(operands, op.id);
    const std::size_t cutsBefore = op.cuts.size();
    for (std::uint32_t c = 0; c < op.cells.size(); ++c) {
        std::vector<std::uint32_t> triangles = std::move(op.cells[c].triangles);
        std::stable_sort(triangles.begin(), triangles.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return sizes[a] > sizes[b]; });
        for (const std::uint32_t t : triangles) {
            workspace.reset();
            Piece piece;
            if (clipToCell(op, operands, workspace, op.cells[c], t, piece))
                insertPiece(op, operands, workspace, makePlaneRef(op.id, TrianglePlanes, t),
                            {static_cast<std::int32_t>(c), Slot::CellRoot}, piece);
            // The tree keeps planes only: the points cut while the piece
            // went down are not needed once it has its node.
            op.cuts.resize(cutsBefore);
        }
    }
}

namespace {

// Walks one piece down the other operand's tree. A piece lying in a node's
// plane has different regions just in front of it and just behind it: it
// goes down the front side first (FrontOnly), remembering where to resume
// for the back side (BackOnly).
class PieceClassifier {
public:
    PieceClassifier(const Operand& tree, PieceWorkspace& workspace, std::vector<ClassifiedPiece>& out)
        : tree(tree), workspace(workspace), out(out), stack(scratchStack()) {}

    void run(const Piece& piece) {
        out.clear();
        stack.clear();
        out.push_back({piece});
        stack.push_back({tree.root, piece, Both, false, 0, 0});
        while (!stack.empty()) {
            const Item item = stack.back();
            stack.pop_back();
            if (isCell(item.node))
                stack.push_back(item.at(tree.cells[cellIndex(item.node)].root));
            else if (item.node < 0)
                reachLeaf(item);
            else
                splitAt(item, tree.nodes[item.node]);
        }
    }

private:
    enum Mode : std::uint8_t { Both, FrontOnly, BackOnly };
    struct Item {
        std::int32_t node;
        Piece piece;
        Mode mode;
        bool frontInside; ///< the front side's status, once FrontOnly has found it
        std::int32_t resume; ///< where BackOnly starts after FrontOnly
        std::uint32_t fragment;

        Item at(std::int32_t child) const { return {child, piece, mode, frontInside, resume, fragment}; }
    };

    void reachLeaf(const Item& item) {
        const bool inside = item.node == kLeafInside;
        switch (item.mode) {
        case Both:
            settle(item.fragment, inside, inside);
            break;
        case FrontOnly:
            stack.push_back({item.resume, item.piece, BackOnly, inside, 0, item.fragment});
            break;
        case BackOnly:
            settle(item.fragment, item.frontInside, inside);
            break;
        }
    }

    void settle(std::uint32_t fragment, bool frontInside, bool backInside) {
        out[fragment].frontInside = frontInside;
        out[fragment].backInside = backInside;
    }

    void splitAt(const Item& item, const Node& node) {
        Piece front, back;
        switch (workspace.split(item.piece, node.plane, front, back)) {
        case PieceWorkspace::Side::Front:
            stack.push_back(item.at(node.front));
            break;
        case PieceWorkspace::Side::Back:
            stack.push_back(item.at(node.back));
            break;
        case PieceWorkspace::Side::Spanning: {
            const std::uint32_t halves = static_cast<std::uint32_t>(out.size());
            out[item.fragment].front = halves;
            out[item.fragment].back = halves + 1;
            out.push_back({front});
            out.push_back({back});
            stack.push_back({node.front, front, item.mode, item.frontInside, item.resume, halves});
            stack.push_back({node.back, back, item.mode, item.frontInside, item.resume, halves + 1});
            break;
        }
        case PieceWorkspace::Side::Coplanar:
            passCoplanar(item, node);
            break;
        }
    }

    // The region just in front of the piece lies on one side of the node's
    // plane and the region just behind it on the other.
    void passCoplanar(const Item& item, const Node& node) {
        const Operands& planes = workspace.planes();
        const bool same = normalsAgree(planes.plane(workspace.supportingPlane()), planes.plane(node.plane)) > 0;
        const std::int32_t frontChild = same ? node.front : node.back;
        const std::int32_t backChild = same ? node.back : node.front;
        switch (item.mode) {
        case Both:
            stack.push_back({frontChild, item.piece, FrontOnly, false, backChild, item.fragment});
            break;
        case FrontOnly:
            stack.push_back({frontChild, item.piece, FrontOnly, false, item.resume, item.fragment});
            break;
        case BackOnly:
            stack.push_back({backChild, item.piece, BackOnly, item.frontInside, 0, item.fragment});
            break;
        }
    }

    // One stack per thread, kept between pieces: a piece is classified for
    // every near triangle, and growing a new stack each time cost more than
    // many of the walks themselves.
    static std::vector<Item>& scratchStack() {
        thread_local std::vector<Item> kept;
        return kept;
    }

    const Operand& tree;
    PieceWorkspace& workspace;
    std::vector<ClassifiedPiece>& out;
    std::vector<Item>& stack;
};

} // namespace

void classifyPiece(const Operand& tree, PieceWorkspace& workspace, const Piece& piece,
                   std::vector<ClassifiedPiece>& out) {
    PieceClassifier(tree, workspace, out).run(piece);
}

bool pointInside(const Operand& tree, const Operands& operands, const double point[3]) {
    std::int32_t node = tree.root;
    while (node >= 0 || isCell(node)) {
        if (isCell(node)) {
            node = tree.cells[cellIndex(node)].root;
            continue;
        }
        const Node& n = tree.nodes[node];
        node = sideOfPoint(operands.plane(n.plane), point) >= 0 ? n.front : n.back;
    }
    return node == kLeafInside;
}

} // namespace BSP
} // namespace Kiln
