#include "geometry/Boolean.h"

#include "geometry/BspTree.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <unordered_map>

namespace Kiln {
namespace {

using BSP::kNone;

/// Union-find over 0..n-1; the smaller index represents a merged set.
struct DisjointSets {
    std::vector<std::uint32_t> parent;

    explicit DisjointSets(std::size_t n) : parent(n) {
        for (std::uint32_t i = 0; i < n; ++i)
            parent[i] = i;
    }
    std::uint32_t find(std::uint32_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    /// Joins the sets of a and b; false when they were one already.
    bool join(std::uint32_t a, std::uint32_t b) {
        const std::uint32_t x = find(a), y = find(b);
        if (x == y)
            return false;
        parent[std::max(x, y)] = std::min(x, y);
        return true;
    }
};

struct Box {
    double lo[3];
    double hi[3];
};

Box triangleBox(const MeshArrays& mesh, std::size_t t) {
    Box box;
    for (int k = 0; k < 3; ++k) {
        box.lo[k] = HUGE_VAL;
        box.hi[k] = -HUGE_VAL;
    }
    for (int c = 0; c < 3; ++c) {
        const double* p = &mesh.positions[3 * mesh.indices[3 * t + c]];
        for (int k = 0; k < 3; ++k) {
            box.lo[k] = std::min(box.lo[k], p[k]);
            box.hi[k] = std::max(box.hi[k], p[k]);
        }
    }
    return box;
}

bool overlaps(const Box& a, const Box& b) {
    for (int k = 0; k < 3; ++k)
        if (a.lo[k] > b.hi[k] || b.lo[k] > a.hi[k])
            return false;
    return true;
}

// Marks the triangles of each operand whose boxes overlap a box of the
// other operand's triangles; all others are far from the other surface.
void findNearTriangles(const MeshArrays& a, const MeshArrays& b, const std::vector<std::uint8_t>& skipA,
                       const std::vector<std::uint8_t>& skipB, std::vector<std::uint8_t>& nearA,
                       std::vector<std::uint8_t>& nearB) {
    nearA.assign(a.triangleCount(), 0);
    nearB.assign(b.triangleCount(), 0);
    std::vector<Box> boxesA(a.triangleCount()), boxesB(b.triangleCount());
    Box boundsA{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
    Box boundsB = boundsA;
    for (std::size_t t = 0; t < a.triangleCount(); ++t) {
        boxesA[t] = triangleBox(a, t);
        for (int k = 0; k < 3; ++k) {
            boundsA.lo[k] = std::min(boundsA.lo[k], boxesA[t].lo[k]);
            boundsA.hi[k] = std::max(boundsA.hi[k], boxesA[t].hi[k]);
        }
    }
    for (std::size_t t = 0; t < b.triangleCount(); ++t) {
        boxesB[t] = triangleBox(b, t);
        for (int k = 0; k < 3; ++k) {
            boundsB.lo[k] = std::min(boundsB.lo[k], boxesB[t].lo[k]);
            boundsB.hi[k] = std::max(boundsB.hi[k], boxesB[t].hi[k]);
        }
    }
    if (!overlaps(boundsA, boundsB))
        return;
    Box common;
    for (int k = 0; k < 3; ++k) {
        common.lo[k] = std::max(boundsA.lo[k], boundsB.lo[k]);
        common.hi[k] = std::min(boundsA.hi[k], boundsB.hi[k]);
    }
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t t = 0; t < boxesA.size(); ++t)
        if (!skipA[t] && overlaps(boxesA[t], common))
            candidates.push_back(t);
    if (candidates.empty())
        return;

    // A uniform grid over the common box with about two cells per candidate.
    double extent[3], largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        extent[k] = common.hi[k] - common.lo[k];
        largest = std::max(largest, extent[k]);
    }
    double volume = 1.0;
    for (int k = 0; k < 3; ++k)
        volume *= std::max(extent[k], largest * 1e-3);
    const double cell = std::cbrt(volume / (2.0 * static_cast<double>(candidates.size())));
    int dims[3];
    double scale[3];
    for (int k = 0; k < 3; ++k) {
        dims[k] = cell > 0.0 ? static_cast<int>(std::clamp(std::ceil(extent[k] / cell), 1.0, 512.0)) : 1;
        scale[k] = extent[k] > 0.0 ? dims[k] / extent[k] : 0.0;
    }
    auto cellRange = [&](const Box& box, int lo[3], int hi[3]) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::clamp(static_cast<int>((box.lo[k] - common.lo[k]) * scale[k]), 0, dims[k] - 1);
            hi[k] = std::clamp(static_cast<int>((box.hi[k] - common.lo[k]) * scale[k]), 0, dims[k] - 1);
        }
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    auto forCells = [&](const Box& box, auto&& visit) {
        int lo[3], hi[3];
        cellRange(box, lo, hi);
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    visit((static_cast<std::size_t>(z) * dims[1] + y) * dims[0] + x);
    };
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c) { ++start[c + 1]; });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    std::vector<std::uint32_t> entries(start[cellCount]);
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c) { entries[fill[c]++] = t; });

    std::vector<std::uint32_t> lastSeen(a.triangleCount(), kNone);
    for (std::uint32_t t = 0; t < boxesB.size(); ++t) {
        if (skipB[t] || !overlaps(boxesB[t], common))
            continue;
        forCells(boxesB[t], [&](std::size_t c) {
            for (std::uint32_t e = start[c]; e < start[c + 1]; ++e) {
                const std::uint32_t other = entries[e];
                if (lastSeen[other] == t)
                    continue;
                lastSeen[other] = t;
                if (overlaps(boxesA[other], boxesB[t])) {
                    nearA[other] = 1;
                    nearB[t] = 1;
                }
            }
        });
    }
}

struct PointKey {
    double x, y, z;
    bool operator==(const PointKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct PointKeyHash {
    std::size_t operator()(const PointKey& k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (const double d : {k.x, k.y, k.z}) {
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            h = (h ^ bits) * 1099511628211ull;
            h ^= h >> 29;
        }
        return static_cast<std::size_t>(h);
    }
};

// Groups the far triangles of an operand into sets joined across shared
// corners (vertices compared by position). A set never meets the other
// operand's surface, so one point decides the whole set. Returns the set of
// each far triangle (kNone for near and degenerate ones) and fills one
// representative triangle per set.
std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& near,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives) {
    const std::size_t triangles = mesh.triangleCount();
    std::vector<std::uint32_t> canonical(mesh.vertexCount());
    {
        std::unordered_map<PointKey, std::uint32_t, PointKeyHash> first;
        first.reserve(mesh.vertexCount());
        for (std::uint32_t v = 0; v < mesh.vertexCount(); ++v) {
            const double* p = &mesh.positions[3 * v];
            canonical[v] = first.emplace(PointKey{p[0] + 0.0, p[1] + 0.0, p[2] + 0.0}, v).first->second;
        }
    }
    // Far triangles meet no part of the other surface, so two that touch
    // anywhere, a corner being enough, are on the same side of it: joining
    // through shared corners needs no edge list.
    DisjointSets corners(mesh.vertexCount());
    for (std::uint32_t t = 0; t < triangles; ++t) {
        if (near[t] || degenerate[t])
            continue;
        const std::uint32_t first = canonical[mesh.indices[3 * t]];
        corners.join(first, canonical[mesh.indices[3 * t + 1]]);
        corners.join(first, canonical[mesh.indices[3 * t + 2]]);
    }
    std::vector<std::uint32_t> component(triangles, kNone);
    std::vector<std::uint32_t> idOfRoot(mesh.vertexCount(), kNone);
    representatives.clear();
    for (std::uint32_t t = 0; t < triangles; ++t) {
        if (near[t] || degenerate[t])
            continue;
        const std::uint32_t root = corners.find(canonical[mesh.indices[3 * t]]);
        if (idOfRoot[root] == kNone) {
            idOfRoot[root] = static_cast<std::uint32_t>(representatives.size());
            representatives.push_back(t);
        }
        component[t] = idOfRoot[root];
    }
    return component;
}

// Adds the time since the last call to a stage of the report, if any.
class StageClock {
public:
    explicit StageClock(BooleanReport* report) : report(report), last(std::chrono::steady_clock::now()) {}
    void next(BooleanReport::Stage stage) {
        const auto now = std::chrono::steady_clock::now();
        if (report)
            report->stageMilliseconds[stage] = std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
    }

private:
    BooleanReport* report;
    std::chrono::steady_clock::time_point last;
};

bool inResult(BooleanOperation operation, bool inA, bool inB) {
    switch (operation) {
    case BooleanOperation::Union:
        return inA || inB;
    case BooleanOperation::Intersection:
        return inA && inB;
    case BooleanOperation::Difference:
        return inA && !inB;
    }
    return false;
}

// +1 keeps a piece as it is, -1 keeps it reversed, 0 drops it. The piece
// bounds the result where the result differs on its two sides. Where both
// operands have a face in the same place, only A's copy decides.
int decide(BooleanOperation operation, bool isB, bool frontInOther, bool backInOther) {
    if (isB && frontInOther != backInOther)
        return 0;
    const bool outside = isB ? inResult(operation, frontInOther, false) : inResult(operation, false, frontInOther);
    const bool inside = isB ? inResult(operation, backInOther, true) : inResult(operation, true, backInOther);
    if (outside == inside)
        return 0;
    return inside ? 1 : -1;
}

/// The kept polygons of one operand, over its work vertices.
struct KeptPolygons {
    struct Polygon {
        std::uint32_t triangle;
        std::int32_t orientation;
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

// The position of a work vertex: an input vertex as it is, an intersection
// point rounded exactly (the same point always gives the same doubles).
void workVertexPosition(const BSP::Operands& operands, const BSP::Operand& op, std::uint32_t vertex, double p[3]) {
    const BSP::WorkVertex& w = op.vertices[vertex];
    if (w.inputIndex != kNone) {
        std::memcpy(p, op.positions + 3 * w.inputIndex, 3 * sizeof(double));
    } else {
        const ExactPlane& line = operands.plane(w.planes[1]);
        if (line.kind == ExactPlane::Kind::EdgeAlongAxis)
            cutPoint(line, operands.plane(w.planes[2]), p);
        else
            intersectionPoint(operands.plane(w.planes[0]), line, operands.plane(w.planes[2]), p);
    }
    for (int k = 0; k < 3; ++k)
        if (p[k] == 0.0)
            p[k] = 0.0; // one key for +0 and -0
}

constexpr std::int8_t kMixedFate = 2;

// The decision (see `decide`) for each fragment of a classified piece, or
// kMixedFate where its halves differ. Halves come after their piece, so one
// backward pass settles every piece from its halves.
void fateOfFragments(const std::vector<BSP::ClassifiedPiece>& fragments, BooleanOperation operation, bool isB,
                     std::vector<std::int8_t>& fate) {
    fate.resize(fragments.size());
    for (std::size_t f = fragments.size(); f-- > 0;) {
        const BSP::ClassifiedPiece& c = fragments[f];
        if (!c.isSplit())
            fate[f] = static_cast<std::int8_t>(decide(operation, isB, c.frontInside, c.backInside));
        else
            fate[f] = fate[c.front] == fate[c.back] ? fate[c.front] : kMixedFate;
    }
}

void clipOperand(BSP::Operand& own, const BSP::Operand& other, const std::vector<std::uint8_t>& near,
                 const std::vector<std::uint32_t>& component, const std::vector<std::uint32_t>& representatives,
                 BSP::Operands operands, BooleanOperation operation, KeptPolygons& kept) {
    std::vector<std::uint8_t> componentInside(representatives.size());
    for (std::size_t c = 0; c < representatives.size(); ++c)
        componentInside[c] =
            BSP::pointInside(other, operands, own.positions + 3 * own.indices[3 * representatives[c]]) ? 1 : 0;
    const bool isB = own.id == 1;
    BSP::PieceWorkspace workspace(operands, own.id);
    std::vector<BSP::ClassifiedPiece> classified;
    std::vector<std::int8_t> fate;
    std::vector<std::uint32_t> pending;
    std::vector<BSP::Piece> keptForward, keptReversed;
    auto keepWhole = [&](std::uint32_t t, int orientation) {
        kept.polygons.push_back({t, orientation, static_cast<std::uint32_t>(kept.vertices.size()), 3, near[t] != 0});
        for (int k = 0; k < 3; ++k)
            kept.vertices.push_back(own.indices[3 * t + k]);
    };
    for (std::uint32_t t = 0; t < own.triangleCount; ++t) {
        if (own.degenerate[t])
            continue;
        if (!near[t]) {
            const bool inside = componentInside[component[t]] != 0;
            const int orientation = decide(operation, isB, inside, inside);
            if (orientation != 0)
                keepWhole(t, orientation);
            continue;
        }
        workspace.reset();
        BSP::classifyPiece(other, workspace, workspace.triangle(t), classified);
        fateOfFragments(classified, operation, isB, fate);
        if (fate[0] != kMixedFate) {
            if (fate[0] != 0)
                keepWhole(t, fate[0]);
            continue;
        }
        // Halves with one fate go out as the piece they were cut from: the
        // cuts that made them changed nothing, and each one kept would add
        // triangles. Neighbours with one fate are joined where they stay
        // convex, for the same reason.
        keptForward.clear();
        keptReversed.clear();
        pending.assign(1, 0);
        while (!pending.empty()) {
            const std::uint32_t f = pending.back();
            pending.pop_back();
            const BSP::ClassifiedPiece& c = classified[f];
            if (fate[f] == kMixedFate) {
                pending.push_back(c.back);
                pending.push_back(c.front);
            } else if (fate[f] != 0) {
                (fate[f] > 0 ? keptForward : keptReversed).push_back(c.piece);
            }
        }
        for (const int orientation : {1, -1}) {
            std::vector<BSP::Piece>& pieces = orientation > 0 ? keptForward : keptReversed;
            workspace.joinPieces(pieces);
            for (const BSP::Piece& piece : pieces) {
                kept.polygons.push_back(
                    {t, orientation, static_cast<std::uint32_t>(kept.vertices.size()), piece.count, true});
                for (std::uint32_t k = 0; k < piece.count; ++k)
                    kept.vertices.push_back(workspace.vertex(piece, k));
            }
        }
    }
    // The exact rounding of cut points is the costly part of the output;
    // done here, it runs on both threads.
    kept.positions.assign(3 * own.vertices.size(), 0.0);
    std::vector<std::uint8_t> done(own.vertices.size(), 0);
    for (const std::uint32_t v : kept.vertices)
        if (!done[v]) {
            done[v] = 1;
            workVertexPosition(operands, own, v, &kept.positions[3 * v]);
        }
}

/// Builds the result: shared vertices, seam T-junctions removed, polygons
/// triangulated.
class ResultAssembler {
public:
    ResultAssembler(const MeshArrays& a, const MeshArrays& b, BSP::Operands operands)
        : inputs{&a, &b}, operands(operands) {
        withColours = !a.colours.empty() || !b.colours.empty();
        for (int i = 0; i < 2; ++i)
            outputIdOf[i].assign(operands.operand[i]->vertices.size(), kNone);
    }

    void addPolygons(int operandId, const KeptPolygons& kept) {
        for (const KeptPolygons::Polygon& p : kept.polygons) {
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
            const double* n = operands.operand[operandId]->trianglePlanes[p.triangle].coefficient;
            for (int k = 0; k < 3; ++k)
                out.normal[k] = p.orientation * n[k];
            if (p.near) {
                seamVertex.resize(positions.size() / 3, 0);
                for (std::uint32_t k = 0; k < out.count; ++k)
                    seamVertex[polygonVertices[out.first + k]] = 1;
            }
            polygons.push_back(out);
        }
    }

    /// Merges output vertices closer than 1e-14 of the model's size:
    /// distinct exact points a few units in the last place apart would
    /// otherwise leave slivers that thin between them.
    void weldNearVertices();
    std::size_t removeTJunctions();
    MeshArrays triangulate() const;

private:
    struct Polygon {
        std::uint32_t first;
        std::uint32_t count;
        double normal[3];
    };

    std::uint32_t outputVertex(int operandId, std::uint32_t triangle, std::uint32_t workVertex,
                               const double* computed) {
        std::uint32_t& id = outputIdOf[operandId][workVertex];
        if (id != kNone)
            return id;
        const double* p = computed + 3 * workVertex;
        const auto found = lookup.find({p[0], p[1], p[2]});
        if (found != lookup.end()) {
            id = found->second;
            return id;
        }
        id = static_cast<std::uint32_t>(positions.size() / 3);
        lookup.emplace(PointKey{p[0], p[1], p[2]}, id);
        positions.insert(positions.end(), p, p + 3);
        if (withColours)
            appendColour(operandId, triangle, operands.operand[operandId]->vertices[workVertex].inputIndex, p);
        return id;
    }

    void appendColour(int operandId, std::uint32_t triangle, std::uint32_t inputIndex, const double p[3]);

    const MeshArrays* inputs[2];
    BSP::Operands operands;
    bool withColours = false;
    std::vector<std::uint32_t> outputIdOf[2];
    std::unordered_map<PointKey, std::uint32_t, PointKeyHash> lookup;
    std::vector<double> positions;
    std::vector<float> colours;
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> polygonVertices;
    /// Vertices of polygons from near triangles: only there can kept pieces
    /// meet with different vertices on the two sides of an edge.
    std::vector<std::uint8_t> seamVertex;
};

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
    const double* n = operands.operand[operandId]->trianglePlanes[triangle].coefficient;
    int drop = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(n[k]) > std::fabs(n[drop]))
            drop = k;
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
    double scale = 0.0;
    for (const double c : positions)
        scale = std::max(scale, std::fabs(c));
    const double tolerance = 1e-14 * scale;
    seamVertex.resize(count, 0);
    std::vector<std::uint32_t> order;
    for (std::uint32_t v = 0; v < count; ++v)
        if (seamVertex[v])
            order.push_back(v);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return positions[3 * a] < positions[3 * b]; });
    DisjointSets sets(count);
    bool merged = false;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const double* a = &positions[3 * order[i]];
        for (std::size_t j = i + 1; j < order.size() && positions[3 * order[j]] - a[0] <= tolerance; ++j) {
            const double* b = &positions[3 * order[j]];
            if (std::fabs(b[1] - a[1]) > tolerance || std::fabs(b[2] - a[2]) > tolerance)
                continue;
            merged |= sets.join(order[i], order[j]);
        }
    }
    if (!merged)
        return;
    std::vector<Polygon> kept;
    kept.reserve(polygons.size());
    for (Polygon p : polygons) {
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
        kept.push_back(p);
    }
    polygons.swap(kept);
}

std::size_t ResultAssembler::removeTJunctions() {
    // Directed edges not matched by a reverse edge mark where pieces meet
    // with different vertices on the two sides.
    // Only edges between two seam vertices can be unmatched.
    seamVertex.resize(positions.size() / 3, 0);
    auto onSeam = [&](std::uint32_t a, std::uint32_t b) { return seamVertex[a] && seamVertex[b]; };
    std::unordered_map<std::uint64_t, std::int32_t> balance;
    auto key = [](std::uint32_t a, std::uint32_t b) { return (static_cast<std::uint64_t>(a) << 32) | b; };
    for (const Polygon& p : polygons)
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t a = polygonVertices[p.first + k];
            const std::uint32_t b = polygonVertices[p.first + (k + 1) % p.count];
            if (onSeam(a, b))
                balance[key(std::min(a, b), std::max(a, b))] += a < b ? 1 : -1;
        }
    auto unmatched = [&](std::uint32_t a, std::uint32_t b) {
        if (!onSeam(a, b))
            return false;
        const auto found = balance.find(key(std::min(a, b), std::max(a, b)));
        return found != balance.end() && found->second != 0;
    };
    std::vector<std::uint32_t> candidates;
    double scale = 0.0;
    for (const double c : positions)
        scale = std::max(scale, std::fabs(c));
    const double tolerance = 2e-14 * scale;
    for (const auto& entry : balance) {
        if (entry.second == 0)
            continue;
        candidates.push_back(static_cast<std::uint32_t>(entry.first >> 32));
        candidates.push_back(static_cast<std::uint32_t>(entry.first & 0xffffffffu));
    }
    if (candidates.empty())
        return 0;
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::sort(candidates.begin(), candidates.end(),
              [&](std::uint32_t a, std::uint32_t b) { return positions[3 * a] < positions[3 * b]; });

    std::size_t inserted = 0;
    std::vector<std::uint32_t> rebuilt;
    std::vector<std::pair<double, std::uint32_t>> onEdge;
    std::vector<Polygon> newPolygons;
    newPolygons.reserve(polygons.size());
    for (const Polygon& p : polygons) {
        bool changed = false;
        rebuilt.clear();
        for (std::uint32_t k = 0; k < p.count; ++k) {
            const std::uint32_t a = polygonVertices[p.first + k];
            const std::uint32_t b = polygonVertices[p.first + (k + 1) % p.count];
            rebuilt.push_back(a);
            if (!unmatched(a, b))
                continue;
            const double* pa = &positions[3 * a];
            const double* pb = &positions[3 * b];
            double d[3], length2 = 0.0;
            for (int c = 0; c < 3; ++c) {
                d[c] = pb[c] - pa[c];
                length2 += d[c] * d[c];
            }
            if (length2 == 0.0)
                continue;
            const double xLo = std::min(pa[0], pb[0]) - tolerance, xHi = std::max(pa[0], pb[0]) + tolerance;
            auto it = std::lower_bound(candidates.begin(), candidates.end(), xLo,
                                       [&](std::uint32_t v, double x) { return positions[3 * v] < x; });
            onEdge.clear();
            for (; it != candidates.end() && positions[3 * *it] <= xHi; ++it) {
                const std::uint32_t v = *it;
                if (v == a || v == b)
                    continue;
                const double* pv = &positions[3 * v];
                double t = 0.0;
                for (int c = 0; c < 3; ++c)
                    t += (pv[c] - pa[c]) * d[c];
                t /= length2;
                if (t <= 0.0 || t >= 1.0)
                    continue;
                double distance2 = 0.0;
                for (int c = 0; c < 3; ++c) {
                    const double off = pa[c] + t * d[c] - pv[c];
                    distance2 += off * off;
                }
                if (distance2 <= tolerance * tolerance)
                    onEdge.emplace_back(t, v);
            }
            if (onEdge.empty())
                continue;
            std::sort(onEdge.begin(), onEdge.end());
            for (const auto& e : onEdge)
                rebuilt.push_back(e.second);
            inserted += onEdge.size();
            changed = true;
        }
        if (!changed) {
            newPolygons.push_back(p);
            continue;
        }
        Polygon q = p;
        q.first = static_cast<std::uint32_t>(polygonVertices.size());
        q.count = static_cast<std::uint32_t>(rebuilt.size());
        polygonVertices.insert(polygonVertices.end(), rebuilt.begin(), rebuilt.end());
        newPolygons.push_back(q);
    }
    polygons.swap(newPolygons);
    return inserted;
}

MeshArrays ResultAssembler::triangulate() const {
    MeshArrays result;
    std::vector<std::uint32_t> loop;
    auto ear = [&](const double n[3], std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        const double* pa = &positions[3 * a];
        const double* pb = &positions[3 * b];
        const double* pc = &positions[3 * c];
        const double u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const double v[3] = {pc[0] - pb[0], pc[1] - pb[1], pc[2] - pb[2]};
        return n[0] * (u[1] * v[2] - u[2] * v[1]) + n[1] * (u[2] * v[0] - u[0] * v[2]) +
               n[2] * (u[0] * v[1] - u[1] * v[0]);
    };
    for (const Polygon& p : polygons) {
        if (p.count == 3) {
            const std::uint32_t* v = &polygonVertices[p.first];
            if (v[0] != v[1] && v[1] != v[2] && v[2] != v[0])
                result.indices.insert(result.indices.end(), v, v + 3);
            continue;
        }
        // Convex with extra points along its sides: clip the ear of largest
        // area each time, which never leaves an inverted triangle. When the
        // rest would be a straight run of points (the chord lies along a
        // side), fan from the ear's tip instead.
        loop.assign(polygonVertices.begin() + p.first, polygonVertices.begin() + p.first + p.count);
        auto earArea = [&](std::size_t k) {
            const std::size_t n = loop.size();
            return ear(p.normal, loop[(k + n - 1) % n], loop[k], loop[(k + 1) % n]);
        };
        auto emit = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
            if (a != b && b != c && c != a)
                {
                    result.indices.push_back(a);
                    result.indices.push_back(b);
                    result.indices.push_back(c);
                }
        };
        while (loop.size() >= 3) {
            std::size_t best = 0;
            double bestArea = 0.0;
            for (std::size_t k = 0; k < loop.size(); ++k) {
                const double area = earArea(k);
                if (area > bestArea) {
                    bestArea = area;
                    best = k;
                }
            }
            if (bestArea <= 0.0)
                break;
            const std::size_t n = loop.size();
            const std::uint32_t tip = loop[best];
            if (n == 3) {
                emit(loop[0], loop[1], loop[2]);
                break;
            }
            std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(best), loop.end());
            // loop[0] is the tip now; check what remains without it.
            bool flat = true;
            for (std::size_t k = 2; k + 1 < n && flat; ++k)
                flat = ear(p.normal, loop[k - 1], loop[k], loop[k + 1]) <= bestArea * 1e-12;
            flat = flat && ear(p.normal, loop[n - 2], loop[n - 1], loop[1]) <= bestArea * 1e-12 &&
                   ear(p.normal, loop[n - 1], loop[1], loop[2]) <= bestArea * 1e-12;
            if (flat) {
                for (std::size_t k = 1; k + 1 < n; ++k)
                    emit(tip, loop[k], loop[k + 1]);
                break;
            }
            emit(loop[n - 1], tip, loop[1]);
            loop.erase(loop.begin());
        }
    }
    result.positions = positions;
    result.colours = colours;
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

MeshArrays computeBoolean(const MeshArrays& a, const MeshArrays& b, BooleanOperation operation,
                          BooleanReport* report) {
    StageClock clock(report);
    BSP::Operand operandA, operandB;
    auto prepareA = std::async(std::launch::async, [&] {
        operandA.prepare(0, a.positions.data(), a.vertexCount(), a.indices.data(), a.triangleCount());
    });
    operandB.prepare(1, b.positions.data(), b.vertexCount(), b.indices.data(), b.triangleCount());
    prepareA.get();
    const BSP::Operands operands{{&operandA, &operandB}};

    std::vector<std::uint8_t> nearA, nearB;
    findNearTriangles(a, b, operandA.degenerate, operandB.degenerate, nearA, nearB);
    clock.next(BooleanReport::Prepare);

    // Each stage runs one operand on a worker task and the other here; the
    // two only read each other's planes, boxes and trees.
    std::vector<std::uint32_t> representativesA, representativesB;
    std::vector<std::uint32_t> componentA, componentB;
    auto partitionA = std::async(std::launch::async, [&] {
        BSP::buildPartition(operandA);
        componentA = farComponents(a, nearA, operandA.degenerate, representativesA);
    });
    BSP::buildPartition(operandB);
    componentB = farComponents(b, nearB, operandB.degenerate, representativesB);
    partitionA.get();
    clock.next(BooleanReport::Partition);

    // A tree is needed only where the other operand's near triangles and the
    // points that decide its far sets can reach.
    auto markAndFill = [&](BSP::Operand& tree, const MeshArrays& other, const std::vector<std::uint8_t>& otherNear,
                           const std::vector<std::uint32_t>& otherRepresentatives) {
        for (std::uint32_t t = 0; t < other.triangleCount(); ++t)
            if (otherNear[t]) {
                const Box box = triangleBox(other, t);
                BSP::markCells(tree, box.lo, box.hi);
            }
        for (const std::uint32_t t : otherRepresentatives)
            BSP::markCellOfPoint(tree, &other.positions[3 * other.indices[3 * t]]);
        BSP::fillCells(tree, operands);
    };
    auto treeA = std::async(std::launch::async, [&] { markAndFill(operandA, b, nearB, representativesB); });
    markAndFill(operandB, a, nearA, representativesA);
    treeA.get();
    clock.next(BooleanReport::Trees);

    KeptPolygons keptA, keptB;
    auto clipB = std::async(std::launch::async, [&] {
        clipOperand(operandB, operandA, nearB, componentB, representativesB, operands, operation, keptB);
    });
    clipOperand(operandA, operandB, nearA, componentA, representativesA, operands, operation, keptA);
    clipB.get();
    clock.next(BooleanReport::Clip);

    ResultAssembler assembler(a, b, operands);
    assembler.addPolygons(0, keptA);
    assembler.addPolygons(1, keptB);
    assembler.weldNearVertices();
    const std::size_t inserted = assembler.removeTJunctions();
    MeshArrays result = assembler.triangulate();
    removeUnusedVertices(result);
    clock.next(BooleanReport::Output);

    if (report) {
        for (int i = 0; i < 2; ++i) {
            const BSP::Operand& op = *operands.operand[i];
            report->degenerateTriangles[i] =
                static_cast<std::size_t>(std::count(op.degenerate.begin(), op.degenerate.end(), 1));
            report->treeNodes[i] = op.nodes.size();
        }
        report->nearTriangles[0] = static_cast<std::size_t>(std::count(nearA.begin(), nearA.end(), 1));
        report->nearTriangles[1] = static_cast<std::size_t>(std::count(nearB.begin(), nearB.end(), 1));
        report->seamVerticesInserted = inserted;
    }
    return result;
}

} // namespace Kiln
