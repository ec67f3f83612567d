#include "detail/BooleanStages.h"

#include "mesh/DisjointSets.h"
#include "mesh/FlatIndexTable.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace BooleanStage {

using BSP::kNone;

namespace {

/// Welds nearly equal seam vertices this close, relative to the larger
/// scale of the two (see vertexScale): distinct exact points a few units in
/// the last place of their planes' points apart would otherwise leave
/// slivers that thin between them.
constexpr double kWeldTolerance = 1e-14;
/// How far off an unmatched seam edge a vertex may lie and still be put on
/// it, relative to the largest scale of the edge's ends and the vertex
/// (twice the weld tolerance, so a welded vertex still finds the edge it
/// came near).
constexpr double kOnEdgeTolerance = 2e-14;
/// Below this fraction of the best ear's area, the rest of a polygon counts
/// as a straight run of points.
constexpr double kFlatEarFraction = 1e-12;

// The largest coordinate of one point. Tolerances scale with the points
// they compare, not with the whole model: a far-away piece must not make
// the tolerance around a small one larger than that small piece.
double magnitude(const double* p) {
    return std::max(std::fabs(p[0]), std::max(std::fabs(p[1]), std::fabs(p[2])));
}

/// The corner after k of a loop of n: the loops here run over every
/// polygon of the result, where a division per corner adds up.
template <typename Index>
Index nextCorner(Index k, Index n) {
    return k + 1 == n ? 0 : k + 1;
}

// The size of the rounding noise a vertex can carry: the largest coordinate
// of the vertex and of the points its planes were made through. A cut
// point near the origin made from the planes of a unit box is as uncertain
// as those planes (their four corners are not exactly coplanar after a
// rotation), not as small as its own coordinates.
double vertexScale(const BSP::Operand& operand, std::uint32_t workVertex, const double* position) {
    const double cutScale = operand.isInputVertex(workVertex) ? 0.0 : operand.cut(workVertex).scale;
    return std::max(magnitude(position), cutScale);
}

/// A k-d tree over some points, built by reordering their ids in place:
/// the id in the middle of each range splits it along the axis of the
/// range's largest extent, so points on a plane or a line are still split
/// where they spread. Box queries visit about log n ranges plus the hits.
class PointTree {
public:
    PointTree(const std::vector<double>& positions, std::vector<std::uint32_t> ids)
        : positions(positions), ids(std::move(ids)), axis(this->ids.size()) {
        build(0, this->ids.size());
    }

    /// Calls visit(id) for every point inside the closed box lo..hi.
    template <typename Visit>
    void query(const double lo[3], const double hi[3], Visit&& visit) const {
        // An explicit stack: the depth is about log2 of the point count.
        std::pair<std::size_t, std::size_t> stack[128];
        std::size_t top = 0;
        stack[top++] = {0, ids.size()};
        while (top > 0) {
            const auto [first, last] = stack[--top];
            if (first >= last)
                continue;
            const std::size_t middle = first + (last - first) / 2;
            const double* p = &positions[3 * ids[middle]];
            if (lo[0] <= p[0] && p[0] <= hi[0] && lo[1] <= p[1] && p[1] <= hi[1] && lo[2] <= p[2] && p[2] <= hi[2])
                visit(ids[middle]);
            const int k = axis[middle];
            if (lo[k] <= p[k])
                stack[top++] = {first, middle};
            if (p[k] <= hi[k])
                stack[top++] = {middle + 1, last};
        }
    }

    /// Calls visit(id) for every point whose range box, grown by `reach`,
    /// meets the segment p-q (a superset of the points within `reach` of
    /// it): about the ranges the segment passes through.
    template <typename Visit>
    void querySegment(const double p[3], const double q[3], double reach, Visit&& visit) const {
        std::vector<Range>& stack = segmentStack;
        stack.clear();
        Range all{0, ids.size(), {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}, {HUGE_VAL, HUGE_VAL, HUGE_VAL}};
        stack.push_back(all);
        while (!stack.empty()) {
            const Range range = stack.back();
            stack.pop_back();
            if (range.first >= range.last || !segmentMeetsBox(p, q, range.lo, range.hi, reach))
                continue;
            const std::size_t middle = range.first + (range.last - range.first) / 2;
            const double* m = &positions[3 * ids[middle]];
            visit(ids[middle]);
            const int k = axis[middle];
            Range below = range, above = range;
            below.last = middle;
            below.hi[k] = m[k];
            above.first = middle + 1;
            above.lo[k] = m[k];
            stack.push_back(below);
            stack.push_back(above);
        }
    }

private:
    // Slab test of the segment against the box grown by `reach`.
    static bool segmentMeetsBox(const double p[3], const double q[3], const double lo[3], const double hi[3],
                                double reach) {
        double enter = 0.0, leave = 1.0;
        for (int k = 0; k < 3; ++k) {
            const double a = lo[k] - reach, b = hi[k] + reach, d = q[k] - p[k];
            if (d == 0.0) {
                if (p[k] < a || p[k] > b)
                    return false;
                continue;
            }
            double t0 = (a - p[k]) / d, t1 = (b - p[k]) / d;
            if (t0 > t1)
                std::swap(t0, t1);
            enter = std::max(enter, t0);
            leave = std::min(leave, t1);
            if (enter > leave)
                return false;
        }
        return true;
    }

    void build(std::size_t first, std::size_t last) {
        while (last - first > 1) {
            double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
            for (std::size_t i = first; i < last; ++i)
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], positions[3 * ids[i] + k]);
                    hi[k] = std::max(hi[k], positions[3 * ids[i] + k]);
                }
            int k = 0;
            for (int c = 1; c < 3; ++c)
                if (hi[c] - lo[c] > hi[k] - lo[k])
                    k = c;
            const std::size_t middle = first + (last - first) / 2;
            std::nth_element(ids.begin() + static_cast<std::ptrdiff_t>(first),
                             ids.begin() + static_cast<std::ptrdiff_t>(middle),
                             ids.begin() + static_cast<std::ptrdiff_t>(last),
                             [&](std::uint32_t a, std::uint32_t b) { return positions[3 * a + k] < positions[3 * b + k]; });
            axis[middle] = static_cast<std::uint8_t>(k);
            // Recurse into the smaller half, loop on the larger: the stack
            // stays within log2 of the count.
            if (middle - first < last - middle - 1) {
                build(first, middle);
                first = middle + 1;
            } else {
                build(middle + 1, last);
                last = middle;
            }
        }
    }

    const std::vector<double>& positions;
    std::vector<std::uint32_t> ids;
    std::vector<std::uint8_t> axis; ///< split axis of the range whose middle is here
    struct Range {
        std::size_t first, last;
        double lo[3], hi[3];
    };
    mutable std::vector<Range> segmentStack; ///< scratch for querySegment
};

/// Builds the result: shared vertices, seam T-junctions removed, the pieces
/// of each cut triangle joined, polygons triangulated.
class ResultAssembler {
public:
    ResultAssembler(const MeshArrays& a, const MeshArrays& b, BSP::Operands operands)
        : inputs{&a, &b}, operands(operands) {
        withColours = !a.colours.empty() || !b.colours.empty();
        for (int i = 0; i < 2; ++i)
            outputIdOf[i].assign(operands.operand[i]->workVertexCount(), kNone);
    }

    /// Room for the polygons of both operands at once: grown piecemeal,
    /// the lists would be copied into fresh memory again and again.
    void reserve(const KeptPolygons& keptA, const KeptPolygons& keptB);
    void addPolygons(int operandId, const KeptPolygons& kept);
    /// Merges seam vertices closer than kWeldTolerance of their own size.
    void weldNearVertices();
    /// Puts seam vertices that lie on an unmatched seam edge into it;
    /// returns how many were inserted.
    std::size_t removeTJunctions();
    /// Replaces the kept pieces of each source triangle by the loops that
    /// bound their union, and drops from the loops the points on a straight
    /// side that only one other loop, passing straight through them too,
    /// uses. A region with a hole or a pinch keeps its pieces (and all of
    /// their points). Call after removeTJunctions: pieces that meet must
    /// share their vertices for their common edges to cancel.
    void mergeTrianglePieces();
    /// The triangles, with the positions and colours moved out.
    MeshArrays triangulate();

private:
    struct Polygon {
        std::uint32_t first;
        std::uint32_t count;
        double normal[3];
        /// Operand, source triangle and orientation: the kept pieces of one
        /// triangle share it, and their union is triangulated as a whole.
        std::uint64_t group;
        /// A merged region, possibly not convex: needs ears checked for
        /// points inside them.
        bool merged;
    };
    /// Per undirected seam edge (lower id << 32 | upper id), the count of
    /// its lower-to-upper uses minus its upper-to-lower ones. Flat: a nearly
    /// coplanar pair makes hundreds of thousands of seam edges.
    struct EdgeBalance {
        BSP::FlatKeyMap slotOf;
        std::vector<std::uint64_t> edges;
        std::vector<std::int32_t> balance;

        static std::uint64_t key(std::uint32_t a, std::uint32_t b) {
            return (std::uint64_t{std::min(a, b)} << 32) | std::max(a, b);
        }
        void use(std::uint32_t a, std::uint32_t b) {
            const std::int32_t step = a < b ? 1 : -1;
            const std::uint64_t edge = key(a, b);
            const auto next = static_cast<std::uint32_t>(edges.size());
            const std::uint32_t slot = slotOf.findOrInsert(edge, next);
            if (slot != next) {
                balance[slot] += step;
                return;
            }
            edges.push_back(edge);
            balance.push_back(step);
        }
        bool unmatched(std::uint32_t a, std::uint32_t b) const {
            const std::uint32_t* slot = slotOf.find(key(a, b));
            return slot && balance[*slot] != 0;
        }
    };

    std::uint32_t outputVertex(int operandId, std::uint32_t triangle, std::uint32_t workVertex,
                               const double* computed);
    /// Requests the table slots of the polygon's vertices not yet output.
    void prefetchNewVertices(int operandId, const KeptPolygons& kept, const KeptPolygons::Polygon& polygon) const;
    void appendColour(int operandId, std::uint32_t triangle, std::uint32_t inputIndex, const double p[3]);

    /// Per undirected seam edge, the count of its a < b uses minus its
    /// b < a uses: not zero where the two sides have different vertices.
    EdgeBalance seamEdgeBalance() const;
    /// Unmatched seam edges as adjacency lists: the neighbours of vertex v
    /// are neighbours[start[v]] .. neighbours[start[v + 1] - 1].
    struct SeamGraph {
        std::vector<std::uint32_t> start;
        std::vector<std::uint32_t> neighbours;
    };
    /// The seam vertices that lie within kOnEdgeTolerance of edge a-b
    /// strictly between its ends, appended in order along it. Mostly they
    /// are the other side's chain of unmatched edges from a to b, walked
    /// at the cost of the chain; where no such chain joins a to b (the ends
    /// themselves lie inside the other side's edges) the tree of seam
    /// vertices is searched along the edge.
    void pointsOnEdge(std::uint32_t a, std::uint32_t b, const SeamGraph& graph, const PointTree& seamTree,
                      std::vector<std::uint32_t>& out) const;
    void triangulatePolygon(const Polygon& p, std::vector<std::uint32_t>& loop,
                            std::vector<std::uint32_t>& indices) const;
    /// Ear clipping of a simple loop that need not be convex: an ear is cut
    /// only when no other loop point lies in it or on it. Returns false,
    /// appending nothing, when no such ear is left (rounding made the loop
    /// touch itself).
    bool clipEars(const Polygon& p, std::vector<std::uint32_t>& loop, std::vector<std::uint32_t>& indices) const;
    /// The boundary loops of the union of polygons [first, last) of one
    /// group, appended to `loopVertices` with their sizes in `loopSizes`.
    /// False (nothing appended) when the union has a hole, a pinch point or
    /// overlapping pieces.
    bool unionLoops(std::size_t first, std::size_t last, std::vector<std::uint32_t>& loopVertices,
                    std::vector<std::uint32_t>& loopSizes);
    /// True when v lies on segment u-w within kOnEdgeTolerance of their size.
    bool straightThrough(std::uint32_t u, std::uint32_t v, std::uint32_t w) const;
    /// Twice the area of triangle a, b, c, signed along `n`.
    double earArea(const double n[3], std::uint32_t a, std::uint32_t b, std::uint32_t c) const;

    const MeshArrays* inputs[2];
    BSP::Operands operands;
    bool withColours = false;
    std::vector<std::uint32_t> outputIdOf[2];
    FlatIndexTable outputIdAt; ///< output vertices by position
    std::vector<double> positions;
    std::vector<double> scales; ///< vertexScale per output vertex
    std::vector<float> colours;
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> polygonVertices;
    /// Vertices of polygons from clipped triangles: only there can kept
    /// pieces meet with different vertices on the two sides of an edge.
    std::vector<std::uint8_t> seamVertex;
    mutable std::vector<std::pair<double, std::uint32_t>> onEdgeScratch; ///< for pointsOnEdge
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edgeScratch, boundaryScratch; ///< for unionLoops
    std::vector<std::uint8_t> walkedScratch;                                          ///< for unionLoops
    mutable std::vector<std::pair<double, std::uint32_t>> earScratch;                  ///< for clipEars
};

void ResultAssembler::reserve(const KeptPolygons& keptA, const KeptPolygons& keptB) {
    polygons.reserve(keptA.polygons.size() + keptB.polygons.size());
    const std::size_t corners = keptA.vertices.size() + keptB.vertices.size();
    polygonVertices.reserve(corners);
    // Roughly six polygon corners share a vertex on a closed surface.
    const std::size_t vertices = corners / 4;
    outputIdAt.reserve(vertices);
    positions.reserve(3 * vertices);
    scales.reserve(vertices);
    if (withColours)
        colours.reserve(4 * vertices);
}

void ResultAssembler::addPolygons(int operandId, const KeptPolygons& kept) {
    // The table of vertices by position is larger than the cache: the slots
    // of the new vertices of a polygon a few places ahead are requested
    // while this one is added.
    constexpr std::size_t ahead = 4;
    const std::vector<KeptPolygons::Polygon>& all = kept.polygons;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i + ahead < all.size())
            prefetchNewVertices(operandId, kept, all[i + ahead]);
        const KeptPolygons::Polygon& p = all[i];
        Polygon out;
        out.first = static_cast<std::uint32_t>(polygonVertices.size());
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t index = p.orientation > 0 ? k : p.count - 1 - k;
            const std::uint32_t v =
                outputVertex(operandId, p.triangle, kept.vertices[p.first + index], kept.positions.data());
            if (polygonVertices.size() > out.first && polygonVertices.back() == v)
                continue;
            polygonVertices.push_back(v);
        }
        while (polygonVertices.size() > out.first + 1 && polygonVertices.back() == polygonVertices[out.first])
            polygonVertices.pop_back();
        out.count = static_cast<std::uint32_t>(polygonVertices.size()) - out.first;
        if (out.count < 3) {
            polygonVertices.resize(out.first);
            continue;
        }
        // Triangles kept whole may have no plane ready (they were far from
        // the other operand); theirs is computed here, the same way.
        const BSP::Operand& op = *operands.operand[operandId];
        const ExactPlane plane =
            op.planeReady[p.triangle] ? op.trianglePlanes[p.triangle] : op.planeOfTriangle(p.triangle);
        for (int k = 0; k < 3; ++k)
            out.normal[k] = p.orientation * plane.coefficient[k];
        out.group = (std::uint64_t(operandId) << 33) | (std::uint64_t(p.triangle) << 1) | (p.orientation > 0 ? 1 : 0);
        out.merged = false;
        if (p.clipped) {
            seamVertex.resize(positions.size() / 3, 0);
            for (std::uint32_t k = 0; k < out.count; ++k)
                seamVertex[polygonVertices[out.first + k]] = 1;
        }
        polygons.push_back(out);
    }
}

void ResultAssembler::prefetchNewVertices(int operandId, const KeptPolygons& kept,
                                          const KeptPolygons::Polygon& polygon) const {
    for (std::uint32_t k = 0; k < polygon.count; ++k) {
        const std::uint32_t workVertex = kept.vertices[polygon.first + k];
        if (outputIdOf[operandId][workVertex] == kNone) {
            const double* p = &kept.positions[3 * workVertex];
            outputIdAt.prefetch(hashPosition(p[0], p[1], p[2]));
        }
    }
}

std::uint32_t ResultAssembler::outputVertex(int operandId, std::uint32_t triangle, std::uint32_t workVertex,
                                            const double* computed) {
    std::uint32_t& id = outputIdOf[operandId][workVertex];
    if (id != kNone)
        return id;
    const double* p = computed + 3 * workVertex;
    const std::uint32_t next = static_cast<std::uint32_t>(positions.size() / 3);
    id = outputIdAt.findOrAdd(hashPosition(p[0], p[1], p[2]), next, [&](std::uint32_t other) {
        const double* q = &positions[3 * other];
        return q[0] == p[0] && q[1] == p[1] && q[2] == p[2];
    });
    if (id != next)
        return id;
    positions.insert(positions.end(), p, p + 3);
    scales.push_back(vertexScale(*operands.operand[operandId], workVertex, p));
    if (withColours)
        appendColour(operandId, triangle, operands.operand[operandId]->isInputVertex(workVertex) ? workVertex : kNone, p);
    return id;
}

void ResultAssembler::appendColour(int operandId, std::uint32_t triangle, std::uint32_t inputIndex,
                                   const double p[3]) {
    const MeshArrays& mesh = *inputs[operandId];
    auto colourOf = [&](std::uint32_t v, int c) {
        return mesh.colours.empty() ? 1.0f : mesh.colours[4 * v + c];
    };
    if (inputIndex != kNone) {
        for (int c = 0; c < 4; ++c)
            colours.push_back(colourOf(inputIndex, c));
        return;
    }
    // Barycentric weights of the cut point in its source triangle, taken in
    // the projection that drops the normal's largest axis.
    const std::uint32_t* corner = &mesh.indices[3 * triangle];
    const int drop = dominantAxis(operands.operand[operandId]->trianglePlanes[triangle]);
    const int u = (drop + 1) % 3, v = (drop + 2) % 3;
    auto at = [&](int c, int axis) { return mesh.positions[3 * corner[c] + axis]; };
    auto area = [&](double au, double av, double bu, double bv, double cu, double cv) {
        return (bu - au) * (cv - av) - (bv - av) * (cu - au);
    };
    const double total = area(at(0, u), at(0, v), at(1, u), at(1, v), at(2, u), at(2, v));
    double weight[3];
    weight[0] = area(p[u], p[v], at(1, u), at(1, v), at(2, u), at(2, v)) / total;
    weight[1] = area(at(0, u), at(0, v), p[u], p[v], at(2, u), at(2, v)) / total;
    weight[2] = 1.0 - weight[0] - weight[1];
    for (int c = 0; c < 4; ++c) {
        double value = 0.0;
        for (int k = 0; k < 3; ++k)
            value += weight[k] * colourOf(corner[k], c);
        colours.push_back(static_cast<float>(value));
    }
}

void ResultAssembler::weldNearVertices() {
    const std::size_t count = positions.size() / 3;
    seamVertex.resize(count, 0);
    std::vector<std::uint32_t> seam;
    for (std::uint32_t v = 0; v < count; ++v)
        if (seamVertex[v])
            seam.push_back(v);
    const PointTree tree(positions, seam);
    DisjointSets sets(count);
    bool merged = false;
    // A pair within the larger of its two tolerances is found from the
    // vertex with the larger scale.
    for (const std::uint32_t a : seam) {
        const double* pa = &positions[3 * a];
        const double reach = kWeldTolerance * scales[a];
        const double lo[3] = {pa[0] - reach, pa[1] - reach, pa[2] - reach};
        const double hi[3] = {pa[0] + reach, pa[1] + reach, pa[2] + reach};
        tree.query(lo, hi, [&](std::uint32_t b) {
            if (b != a)
                merged |= sets.join(a, b);
        });
    }
    if (!merged)
        return;
    // Compacted in place: a copy of the list would be fresh memory.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < polygons.size(); ++i) {
        Polygon p = polygons[i];
        std::uint32_t* v = &polygonVertices[p.first];
        std::uint32_t n = 0;
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t r = sets.find(v[k]);
            if (n > 0 && v[n - 1] == r)
                continue;
            v[n++] = r;
        }
        while (n > 1 && v[n - 1] == v[0])
            --n;
        if (n < 3)
            continue;
        p.count = n;
        polygons[kept++] = p;
    }
    polygons.resize(kept);
}

ResultAssembler::EdgeBalance ResultAssembler::seamEdgeBalance() const {
    // Only edges between two seam vertices can be unmatched.
    EdgeBalance balance;
    for (const Polygon& p : polygons)
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t a = polygonVertices[p.first + k];
            const std::uint32_t b = polygonVertices[p.first + nextCorner(k, p.count)];
            if (seamVertex[a] && seamVertex[b])
                balance.use(a, b);
        }
    return balance;
}

void ResultAssembler::pointsOnEdge(std::uint32_t a, std::uint32_t b, const SeamGraph& graph,
                                   const PointTree& seamTree, std::vector<std::uint32_t>& out) const {
    const double* pa = &positions[3 * a];
    const double* pb = &positions[3 * b];
    double d[3], length2 = 0.0;
    for (int c = 0; c < 3; ++c) {
        d[c] = pb[c] - pa[c];
        length2 += d[c] * d[c];
    }
    if (length2 == 0.0)
        return;
    const double tolerance = kOnEdgeTolerance * std::max(scales[a], scales[b]);
    // Where v lies along a-b (0 at a, 1 at b), or -1 when it is off the
    // edge or not strictly between its ends.
    auto along = [&](std::uint32_t v) {
        if (v == a || v == b)
            return -1.0;
        const double* pv = &positions[3 * v];
        double t = 0.0;
        for (int c = 0; c < 3; ++c)
            t += (pv[c] - pa[c]) * d[c];
        t /= length2;
        if (t <= 0.0 || t >= 1.0)
            return -1.0;
        double distance2 = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double off = pa[c] + t * d[c] - pv[c];
            distance2 += off * off;
        }
        return distance2 <= tolerance * tolerance ? t : -1.0;
    };
    std::vector<std::pair<double, std::uint32_t>>& onEdge = onEdgeScratch;
    onEdge.clear();
    // From a, step to the nearest neighbour further along the edge until
    // none is left: the chain of the other side's shorter edges.
    std::uint32_t current = a;
    double reached = 0.0;
    for (;;) {
        std::uint32_t next = kNone;
        double nextT = 1.0;
        for (std::uint32_t e = graph.start[current]; e < graph.start[current + 1]; ++e) {
            const std::uint32_t v = graph.neighbours[e];
            const double t = along(v);
            if (t > reached && t < nextT) {
                next = v;
                nextT = t;
            }
        }
        if (next == kNone)
            break;
        onEdge.emplace_back(nextT, next);
        current = next;
        reached = nextT;
    }
    const auto* lastNeighbour = graph.neighbours.data() + graph.start[current + 1];
    const bool chainReachesB =
        current != a && std::find(graph.neighbours.data() + graph.start[current], lastNeighbour, b) != lastNeighbour;
    if (!chainReachesB) {
        onEdge.clear();
        seamTree.querySegment(pa, pb, tolerance, [&](std::uint32_t v) {
            const double t = along(v);
            if (t >= 0.0)
                onEdge.emplace_back(t, v);
        });
    }
    std::sort(onEdge.begin(), onEdge.end());
    for (std::size_t i = 0; i < onEdge.size(); ++i)
        if (i == 0 || onEdge[i].second != onEdge[i - 1].second)
            out.push_back(onEdge[i].second);
}

std::size_t ResultAssembler::removeTJunctions() {
    // Directed edges not matched by a reverse edge mark where pieces meet
    // with different vertices on the two sides.
    seamVertex.resize(positions.size() / 3, 0);
    const EdgeBalance balance = seamEdgeBalance();
    SeamGraph graph;
    graph.start.assign(positions.size() / 3 + 1, 0);
    for (std::size_t e = 0; e < balance.edges.size(); ++e)
        if (balance.balance[e] != 0) {
            ++graph.start[(balance.edges[e] >> 32) + 1];
            ++graph.start[(balance.edges[e] & 0xffffffffu) + 1];
        }
    for (std::size_t v = 1; v < graph.start.size(); ++v)
        graph.start[v] += graph.start[v - 1];
    if (graph.start.back() == 0)
        return 0;
    graph.neighbours.resize(graph.start.back());
    std::vector<std::uint32_t> fill(graph.start.begin(), graph.start.end() - 1);
    for (std::size_t e = 0; e < balance.edges.size(); ++e)
        if (balance.balance[e] != 0) {
            const auto a = static_cast<std::uint32_t>(balance.edges[e] >> 32);
            const auto b = static_cast<std::uint32_t>(balance.edges[e] & 0xffffffffu);
            graph.neighbours[fill[a]++] = b;
            graph.neighbours[fill[b]++] = a;
        }
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t v = 0; v + 1 < graph.start.size(); ++v)
        if (graph.start[v + 1] > graph.start[v])
            candidates.push_back(v);
    const PointTree seamTree(positions, std::move(candidates));

    auto unmatched = [&](std::uint32_t a, std::uint32_t b) {
        if (!seamVertex[a] || !seamVertex[b])
            return false;
        return balance.unmatched(a, b);
    };
    // Polygons are rebuilt in place: most keep their vertices, and a copy
    // of the whole list would be fresh memory to fault in.
    std::size_t inserted = 0;
    std::vector<std::uint32_t> rebuilt;
    for (Polygon& p : polygons) {
        bool anyUnmatched = false;
        for (std::uint32_t k = 0; k < p.count && !anyUnmatched; ++k)
            anyUnmatched = unmatched(polygonVertices[p.first + k], polygonVertices[p.first + nextCorner(k, p.count)]);
        if (!anyUnmatched)
            continue;
        rebuilt.clear();
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t a = polygonVertices[p.first + k];
            const std::uint32_t b = polygonVertices[p.first + nextCorner(k, p.count)];
            rebuilt.push_back(a);
            if (unmatched(a, b))
                pointsOnEdge(a, b, graph, seamTree, rebuilt);
        }
        if (rebuilt.size() == p.count)
            continue;
        inserted += rebuilt.size() - p.count;
        p.first = static_cast<std::uint32_t>(polygonVertices.size());
        p.count = static_cast<std::uint32_t>(rebuilt.size());
        polygonVertices.insert(polygonVertices.end(), rebuilt.begin(), rebuilt.end());
    }
    return inserted;
}

double ResultAssembler::earArea(const double n[3], std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
    const double* pa = &positions[3 * a];
    const double* pb = &positions[3 * b];
    const double* pc = &positions[3 * c];
    const double u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const double v[3] = {pc[0] - pb[0], pc[1] - pb[1], pc[2] - pb[2]};
    return n[0] * (u[1] * v[2] - u[2] * v[1]) + n[1] * (u[2] * v[0] - u[0] * v[2]) +
           n[2] * (u[0] * v[1] - u[1] * v[0]);
}

// Convex with extra points along its sides: clip the ear of largest area
// each time, which never leaves an inverted triangle. When the rest would
// be a straight run of points (the chord lies along a side), fan from the
// ear's tip instead.
void ResultAssembler::triangulatePolygon(const Polygon& p, std::vector<std::uint32_t>& loop,
                                         std::vector<std::uint32_t>& indices) const {
    auto emit = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        if (a != b && b != c && c != a)
            indices.insert(indices.end(), {a, b, c});
    };
    loop.assign(polygonVertices.begin() + p.first, polygonVertices.begin() + p.first + p.count);
    while (loop.size() >= 3) {
        const std::size_t n = loop.size();
        std::size_t best = 0;
        double bestArea = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double area = earArea(p.normal, loop[k == 0 ? n - 1 : k - 1], loop[k], loop[nextCorner(k, n)]);
            if (area > bestArea) {
                bestArea = area;
                best = k;
            }
        }
        if (bestArea <= 0.0)
            return;
        if (n == 3) {
            emit(loop[0], loop[1], loop[2]);
            return;
        }
        const std::uint32_t tip = loop[best];
        std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(best), loop.end());
        // loop[0] is the tip now; check what remains without it.
        const double flatArea = bestArea * kFlatEarFraction;
        bool flat = true;
        for (std::size_t k = 2; k + 1 < n && flat; ++k)
            flat = earArea(p.normal, loop[k - 1], loop[k], loop[k + 1]) <= flatArea;
        flat = flat && earArea(p.normal, loop[n - 2], loop[n - 1], loop[1]) <= flatArea &&
               earArea(p.normal, loop[n - 1], loop[1], loop[2]) <= flatArea;
        if (flat) {
            for (std::size_t k = 1; k + 1 < n; ++k)
                emit(tip, loop[k], loop[k + 1]);
            return;
        }
        emit(loop[n - 1], tip, loop[1]);
        loop.erase(loop.begin());
    }
}

bool ResultAssembler::straightThrough(std::uint32_t u, std::uint32_t v, std::uint32_t w) const {
    const double* pu = &positions[3 * u];
    const double* pv = &positions[3 * v];
    const double* pw = &positions[3 * w];
    double d[3], length2 = 0.0, t = 0.0;
    for (int c = 0; c < 3; ++c) {
        d[c] = pw[c] - pu[c];
        length2 += d[c] * d[c];
        t += (pv[c] - pu[c]) * d[c];
    }
    if (length2 == 0.0)
        return false;
    t /= length2;
    if (t <= 0.0 || t >= 1.0)
        return false;
    double distance2 = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double off = pu[c] + t * d[c] - pv[c];
        distance2 += off * off;
    }
    const double tolerance = kOnEdgeTolerance * std::max(scales[v], std::max(scales[u], scales[w]));
    return distance2 <= tolerance * tolerance;
}

bool ResultAssembler::unionLoops(std::size_t first, std::size_t last, std::vector<std::uint32_t>& loopVertices,
                                 std::vector<std::uint32_t>& loopSizes) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>>& edges = edgeScratch;
    edges.clear();
    for (std::size_t i = first; i < last; ++i) {
        const std::uint32_t* v = &polygonVertices[polygons[i].first];
        const std::uint32_t n = polygons[i].count;
        for (std::uint32_t k = 0; k < n; ++k)
            edges.emplace_back(v[k], v[(k + 1) % n]);
    }
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end())
        return false; // two pieces overlap along an edge
    // Edges that no other piece runs the other way bound the union; they
    // stay sorted by their start.
    std::vector<std::pair<std::uint32_t, std::uint32_t>>& boundary = boundaryScratch;
    boundary.clear();
    for (const auto& e : edges)
        if (!std::binary_search(edges.begin(), edges.end(), std::make_pair(e.second, e.first)))
            boundary.push_back(e);
    for (std::size_t i = 1; i < boundary.size(); ++i)
        if (boundary[i].first == boundary[i - 1].first)
            return false; // a pinch: two boundary edges leave one point
    const std::size_t firstVertex = loopVertices.size(), firstSize = loopSizes.size();
    auto fail = [&] {
        loopVertices.resize(firstVertex);
        loopSizes.resize(firstSize);
        return false;
    };
    std::vector<std::uint8_t>& walked = walkedScratch;
    walked.assign(boundary.size(), 0);
    for (std::size_t start = 0; start < boundary.size(); ++start) {
        if (walked[start])
            continue;
        const std::size_t loopStart = loopVertices.size();
        std::size_t e = start;
        while (!walked[e]) {
            walked[e] = 1;
            loopVertices.push_back(boundary[e].first);
            const auto next = std::lower_bound(boundary.begin(), boundary.end(), std::make_pair(boundary[e].second, 0u));
            if (next == boundary.end() || next->first != boundary[e].second)
                return fail();
            e = static_cast<std::size_t>(next - boundary.begin());
        }
        const std::size_t count = loopVertices.size() - loopStart;
        if (e != start || count < 3)
            return fail();
        // A loop wound against the triangle is a hole's: left to the pieces.
        const std::uint32_t* v = &loopVertices[loopStart];
        double area = 0.0;
        for (std::size_t k = 1; k + 1 < count; ++k)
            area += earArea(polygons[first].normal, v[0], v[k], v[k + 1]);
        if (!(area > 0.0))
            return fail();
        loopSizes.push_back(static_cast<std::uint32_t>(count));
    }
    return true;
}

void ResultAssembler::mergeTrianglePieces() {
    const std::size_t vertexCount = positions.size() / 3;
    // Per vertex: how many loops use it (3 = kept whatever happens) and its
    // previous and next points in the first two of them.
    constexpr std::uint8_t kPinned = 3;
    std::vector<std::uint8_t> users(vertexCount, 0);
    std::vector<std::uint32_t> around(4 * vertexCount, kNone);
    // The groups with more than one piece or a point on a side, in order;
    // lone triangles (most of the result) stay as they are.
    struct Group {
        std::size_t first, last;
        bool merged;
        std::size_t firstLoop, firstLoopVertex;
    };
    std::vector<Group> groups;
    std::vector<std::uint32_t> loopVertices, loopSizes;
    auto pin = [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
            for (std::uint32_t k = 0; k < polygons[i].count; ++k)
                users[polygonVertices[polygons[i].first + k]] = kPinned;
    };
    for (std::size_t first = 0; first < polygons.size();) {
        std::size_t last = first + 1;
        while (last < polygons.size() && polygons[last].group == polygons[first].group)
            ++last;
        if (last == first + 1 && polygons[first].count == 3) {
            pin(first, last);
            first = last;
            continue;
        }
        Group g{first, last, false, loopSizes.size(), loopVertices.size()};
        g.merged = unionLoops(first, last, loopVertices, loopSizes);
        if (g.merged) {
            std::size_t at = g.firstLoopVertex;
            for (std::size_t l = g.firstLoop; l < loopSizes.size(); ++l) {
                const std::uint32_t* v = &loopVertices[at];
                const std::uint32_t n = loopSizes[l];
                for (std::uint32_t k = 0; k < n; ++k) {
                    std::uint8_t& u = users[v[k]];
                    if (u < 2) {
                        around[4 * v[k] + 2 * u] = v[(k + n - 1) % n];
                        around[4 * v[k] + 2 * u + 1] = v[(k + 1) % n];
                    }
                    u = std::min<std::uint8_t>(u + 1, kPinned);
                }
                at += n;
            }
        } else {
            pin(first, last);
        }
        groups.push_back(g);
        first = last;
    }
    // A point two loops pass straight through, one each way between the
    // same neighbours, is a corner of neither region: both drop it, so the
    // surface stays closed.
    std::vector<std::uint8_t> dropped(vertexCount, 0);
    for (std::size_t l = 0, at = 0; l < loopSizes.size(); at += loopSizes[l++])
        for (std::uint32_t k = 0; k < loopSizes[l]; ++k) {
            const std::uint32_t v = loopVertices[at + k];
            const std::uint32_t* n = &around[4 * v];
            dropped[v] = users[v] == 2 && n[0] == n[3] && n[1] == n[2] && straightThrough(n[0], v, n[1]);
        }
    // Rewrite the polygon list in place: a group never yields more loops
    // than it had pieces.
    polygonVertices.reserve(polygonVertices.size() + loopVertices.size()); // one move at most
    std::size_t write = 0, read = 0;
    auto keep = [&](std::size_t until) {
        if (write != read)
            std::copy(polygons.begin() + static_cast<std::ptrdiff_t>(read),
                      polygons.begin() + static_cast<std::ptrdiff_t>(until),
                      polygons.begin() + static_cast<std::ptrdiff_t>(write));
        write += until - read;
        read = until;
    };
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const Group& g = groups[gi];
        keep(g.first);
        if (!g.merged) {
            keep(g.last);
            continue;
        }
        const Polygon base = polygons[g.first];
        const bool onePiece = g.last == g.first + 1;
        const std::size_t lastLoop = gi + 1 < groups.size() ? groups[gi + 1].firstLoop : loopSizes.size();
        std::size_t at = g.firstLoopVertex;
        for (std::size_t l = g.firstLoop; l < lastLoop; ++l) {
            Polygon q = base;
            q.first = static_cast<std::uint32_t>(polygonVertices.size());
            for (std::uint32_t k = 0; k < loopSizes[l]; ++k)
                if (!dropped[loopVertices[at + k]])
                    polygonVertices.push_back(loopVertices[at + k]);
            at += loopSizes[l];
            q.count = static_cast<std::uint32_t>(polygonVertices.size()) - q.first;
            if (onePiece && q.count == base.count) {
                polygonVertices.resize(q.first); // one piece, unchanged
                polygons[write++] = base;
                continue;
            }
            if (q.count < 3) {
                polygonVertices.resize(q.first); // nothing but a straight run
                continue;
            }
            q.merged = true;
            polygons[write++] = q;
        }
        read = g.last;
    }
    keep(polygons.size());
    polygons.resize(write);
}

// Whether the loop without its point k has no turn larger than flatArea
// (either way): a straight run of points.
template <typename Orient>
bool restIsStraight(const std::vector<std::uint32_t>& loop, std::size_t k, double flatArea, const Orient& orient) {
    const std::size_t n = loop.size(), m = n - 1;
    auto rest = [&](std::size_t i) { return loop[(k + 1 + i % m) % n]; };
    for (std::size_t i = 0; i < m; ++i)
        if (std::fabs(orient(rest(i), rest(i + 1), rest(i + 2))) > flatArea)
            return false;
    return true;
}

bool ResultAssembler::clipEars(const Polygon& p, std::vector<std::uint32_t>& loop,
                               std::vector<std::uint32_t>& indices) const {
    loop.assign(polygonVertices.begin() + p.first, polygonVertices.begin() + p.first + p.count);
    // Orientation in the projection that drops the normal's largest axis,
    // positive for a turn the polygon's own way.
    int drop = 0;
    for (int c = 1; c < 3; ++c)
        if (std::fabs(p.normal[c]) > std::fabs(p.normal[drop]))
            drop = c;
    const int x = (drop + 1) % 3, y = (drop + 2) % 3;
    const double sign = p.normal[drop] > 0.0 ? 1.0 : -1.0;
    auto orient = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        const double* pa = &positions[3 * a];
        const double* pb = &positions[3 * b];
        const double* pc = &positions[3 * c];
        return sign * ((pb[x] - pa[x]) * (pc[y] - pa[y]) - (pb[y] - pa[y]) * (pc[x] - pa[x]));
    };
    auto squaredDistance = [&](std::uint32_t a, std::uint32_t b) {
        const double* pa = &positions[3 * a];
        const double* pb = &positions[3 * b];
        return (pb[x] - pa[x]) * (pb[x] - pa[x]) + (pb[y] - pa[y]) * (pb[y] - pa[y]);
    };
    // Twice the area over the summed squared sides: 0 for a sliver.
    auto shape = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        return orient(a, b, c) / (squaredDistance(a, b) + squaredDistance(b, c) + squaredDistance(c, a));
    };
    const std::size_t firstIndex = indices.size();
    std::vector<std::pair<double, std::uint32_t>>& ears = earScratch;
    while (loop.size() > 3) {
        const std::size_t n = loop.size();
        ears.clear();
        double largest = 0.0;
        for (std::size_t k = 0; k < n; ++k)
            largest = std::max(largest, orient(loop[(k + n - 1) % n], loop[k], loop[(k + 1) % n]));
        // An ear too thin to count is never cut: rounded to floats it could
        // collapse and open the surface.
        const double flatArea = largest * kFlatEarFraction;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint32_t a = loop[(k + n - 1) % n], b = loop[k], c = loop[(k + 1) % n];
            const double area = orient(a, b, c);
            if (!(area > flatArea))
                continue;
            double quality = shape(a, b, c);
            // Of four points, the ear decides the last triangle too.
            if (n == 4)
                quality = std::min(quality, shape(c, loop[(k + 2) % n], a));
            ears.emplace_back(-quality, static_cast<std::uint32_t>(k));
        }
        // The best shaped ears first: thin ones are left for last.
        std::sort(ears.begin(), ears.end());
        bool cut = false;
        for (const auto& ear : ears) {
            const std::size_t k = ear.second;
            const std::uint32_t a = loop[(k + n - 1) % n], b = loop[k], c = loop[(k + 1) % n];
            bool empty = true;
            for (std::size_t j = 0; j < n && empty; ++j) {
                const std::uint32_t v = loop[j];
                // Within rounding of a side counts as on it: cutting such an
                // ear would leave a sliver between the point and the chord.
                if (v != a && v != b && v != c)
                    empty = !(orient(a, b, v) >= -flatArea && orient(b, c, v) >= -flatArea &&
                               orient(c, a, v) >= -flatArea);
            }
            if (!empty)
                continue;
            if (restIsStraight(loop, k, flatArea, orient)) {
                // Cutting the ear would leave a straight run of points:
                // fan from its tip over the run instead.
                for (std::size_t j = 1; j + 1 < n; ++j)
                    indices.insert(indices.end(), {b, loop[(k + j) % n], loop[(k + j + 1) % n]});
                return true;
            }
            indices.insert(indices.end(), {a, b, c});
            loop.erase(loop.begin() + static_cast<std::ptrdiff_t>(k));
            cut = true;
            break;
        }
        if (!cut) {
            indices.resize(firstIndex);
            return false;
        }
    }
    indices.insert(indices.end(), loop.begin(), loop.end());
    return true;
}

MeshArrays ResultAssembler::triangulate() {
    MeshArrays result;
    std::vector<std::uint32_t> loop;
    for (const Polygon& p : polygons) {
        if (p.count == 3) {
            const std::uint32_t* v = &polygonVertices[p.first];
            if (v[0] != v[1] && v[1] != v[2] && v[2] != v[0])
                result.indices.insert(result.indices.end(), v, v + 3);
            continue;
        }
        if (!p.merged || !clipEars(p, loop, result.indices))
            triangulatePolygon(p, loop, result.indices);
    }
    result.positions = std::move(positions);
    result.colours = std::move(colours);
    return result;
}

// Drops vertices no triangle uses, keeping the order of the others.
void removeUnusedVertices(MeshArrays& mesh) {
    std::vector<std::uint32_t> remap(mesh.vertexCount(), kNone);
    for (const std::uint32_t v : mesh.indices)
        remap[v] = 0;
    std::uint32_t next = 0;
    const bool withColours = !mesh.colours.empty();
    for (std::size_t v = 0; v < remap.size(); ++v) {
        if (remap[v] == kNone)
            continue;
        remap[v] = next;
        for (int c = 0; c < 3; ++c)
            mesh.positions[3 * next + c] = mesh.positions[3 * v + c];
        if (withColours)
            for (int c = 0; c < 4; ++c)
                mesh.colours[4 * next + c] = mesh.colours[4 * v + c];
        ++next;
    }
    mesh.positions.resize(3 * next);
    if (withColours)
        mesh.colours.resize(4 * next);
    for (std::uint32_t& v : mesh.indices)
        v = remap[v];
}

} // namespace

MeshArrays assembleResult(const MeshArrays& a, const MeshArrays& b, BSP::Operands operands,
                          const KeptPolygons& keptA, const KeptPolygons& keptB, std::size_t& seamVerticesInserted) {
    ResultAssembler assembler(a, b, operands);
    assembler.reserve(keptA, keptB);
    assembler.addPolygons(0, keptA);
    assembler.addPolygons(1, keptB);
    assembler.weldNearVertices();
    seamVerticesInserted += assembler.removeTJunctions();
    assembler.mergeTrianglePieces();
    MeshArrays result = assembler.triangulate();
    removeUnusedVertices(result);
    return result;
}

} // namespace BooleanStage
} // namespace Kiln
