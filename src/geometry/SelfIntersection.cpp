#include "geometry/BooleanOperands.h"

#include "detail/BspTree.h"
#include "detail/ExactPlane.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Kiln {

namespace {

using BSP::Box;
using Point = const double*;

int orient(Point p, Point q, Point r, Point x) {
    return sideOfPoint(planeThroughPoints(p, q, r), x);
}

// Sign of x against the line p-q in the projection that drops `axis`.
int orient2d(Point p, Point q, Point x, int axis) {
    return sideOfPoint(planeThroughEdge(p, q, axis), x);
}

bool opposite(int a, int b) {
    return a * b < 0;
}

/// A triangle of the mesh by its corner positions, with its canonical
/// (position-welded) corner ids.
struct Corners {
    Point p[3];
    std::uint32_t id[3];
};

bool onSegment2d(Point p, Point q, Point x, int axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    return std::min(p[u], q[u]) <= x[u] && x[u] <= std::max(p[u], q[u]) && std::min(p[v], q[v]) <= x[v] &&
           x[v] <= std::max(p[v], q[v]);
}

// Closed segments p-q and r-s of one plane, seen along `axis`.
bool segmentsMeet2d(Point p, Point q, Point r, Point s, int axis) {
    const int o1 = orient2d(p, q, r, axis), o2 = orient2d(p, q, s, axis);
    const int o3 = orient2d(r, s, p, axis), o4 = orient2d(r, s, q, axis);
    if (opposite(o1, o2) && opposite(o3, o4))
        return true;
    return (o1 == 0 && onSegment2d(p, q, r, axis)) || (o2 == 0 && onSegment2d(p, q, s, axis)) ||
           (o3 == 0 && onSegment2d(r, s, p, axis)) || (o4 == 0 && onSegment2d(r, s, q, axis));
}

// x in the closed triangle t (not degenerate), seen along `axis`.
bool insideTriangle2d(const Corners& t, Point x, int axis) {
    const int a = orient2d(t.p[0], t.p[1], x, axis), b = orient2d(t.p[1], t.p[2], x, axis),
              c = orient2d(t.p[2], t.p[0], x, axis);
    return !(opposite(a, b) || opposite(b, c) || opposite(c, a));
}

// The closed segment p-q against the closed triangle t of its plane.
bool coplanarSegmentMeetsTriangle(Point p, Point q, const Corners& t, int axis) {
    if (insideTriangle2d(t, p, axis) || insideTriangle2d(t, q, axis))
        return true;
    for (int j = 0; j < 3; ++j)
        if (segmentsMeet2d(p, q, t.p[j], t.p[(j + 1) % 3], axis))
            return true;
    return false;
}

bool coplanarTrianglesMeet(const Corners& s, const Corners& t, int axis) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (segmentsMeet2d(s.p[i], s.p[(i + 1) % 3], t.p[j], t.p[(j + 1) % 3], axis))
                return true;
    return insideTriangle2d(s, t.p[0], axis) || insideTriangle2d(t, s.p[0], axis);
}

// The closed segment p-q against the closed triangle t, q or p off t's plane.
bool segmentCrossesTriangle(Point p, Point q, const Corners& t, const ExactPlane& plane) {
    const int sp = sideOfPoint(plane, p), sq = sideOfPoint(plane, q);
    if (sp == sq)
        return false; // both strictly on one side (both zero is the coplanar case)
    // The line p-q passes through t when the three volumes it spans with
    // t's edges have no two of opposite sign.
    const int a = orient(p, q, t.p[0], t.p[1]), b = orient(p, q, t.p[1], t.p[2]), c = orient(p, q, t.p[2], t.p[0]);
    return !(opposite(a, b) || opposite(b, c) || opposite(c, a));
}

int axisOfPlane(const ExactPlane& plane) {
    return dominantAxis(plane);
}

// Triangles with no common corner: any shared point is a fault.
bool disjointTrianglesMeet(const Corners& s, const Corners& t, const ExactPlane& planeS, const ExactPlane& planeT) {
    int side[3];
    for (int k = 0; k < 3; ++k)
        side[k] = sideOfPoint(planeT, s.p[k]);
    if (side[0] == side[1] && side[1] == side[2]) {
        if (side[0] != 0)
            return false;
        return coplanarTrianglesMeet(s, t, axisOfPlane(planeT));
    }
    // Off each other's plane the common part is a segment whose ends lie on
    // an edge of one of them: some edge meets the other triangle.
    for (int k = 0; k < 3; ++k) {
        Point p = s.p[k], q = s.p[(k + 1) % 3];
        if (side[k] == 0 && side[(k + 1) % 3] == 0) {
            if (coplanarSegmentMeetsTriangle(p, q, t, axisOfPlane(planeT)))
                return true;
        } else if (segmentCrossesTriangle(p, q, t, planeT)) {
            return true;
        }
    }
    for (int k = 0; k < 3; ++k) {
        Point p = t.p[k], q = t.p[(k + 1) % 3];
        if (sideOfPoint(planeS, p) == 0 && sideOfPoint(planeS, q) == 0) {
            if (coplanarSegmentMeetsTriangle(p, q, s, axisOfPlane(planeS)))
                return true;
        } else if (segmentCrossesTriangle(p, q, s, planeS)) {
            return true;
        }
    }
    return false;
}

// Triangles s = (v, a, b) and t = (v, c, d) with only the corner v in
// common: they may meet at v, nowhere else.
bool cornerSharingTrianglesMeet(Point v, Point a, Point b, Point c, Point d, const ExactPlane& planeS,
                                const ExactPlane& planeT) {
    const int sc = sideOfPoint(planeS, c), sd = sideOfPoint(planeS, d);
    if (sc == 0 && sd == 0) {
        // One plane: the corners' wedges overlap when a ray of one lies
        // strictly inside the other, or both wedges are the same.
        const int axis = axisOfPlane(planeS);
        auto strictlyInside = [&](Point x, Point wa, Point wb) {
            const int oa = orient2d(v, wa, x, axis), ob = orient2d(v, wb, x, axis);
            return oa != 0 && oa == orient2d(v, wa, wb, axis) && ob != 0 && ob == orient2d(v, wb, wa, axis);
        };
        auto sameRay = [&](Point x, Point y, Point other) {
            return orient2d(v, y, x, axis) == 0 && orient2d(v, other, x, axis) == orient2d(v, other, y, axis);
        };
        if (strictlyInside(c, a, b) || strictlyInside(d, a, b) || strictlyInside(a, c, d) || strictlyInside(b, c, d))
            return true;
        return (sameRay(c, a, b) && sameRay(d, b, a)) || (sameRay(c, b, a) && sameRay(d, a, b));
    }
    if (sc == sd)
        return false; // t leaves s's plane at v only
    const int sa = sideOfPoint(planeT, a), sb = sideOfPoint(planeT, b);
    if (sa == sb && sa != 0)
        return false;
    // Both meet the line L where their planes cross in a segment from v; t's
    // segment ends at w, a corner on s's plane or where c-d crosses it. They
    // overlap beyond v when w lies in s's wedge at v.
    Point off = sc != 0 ? c : d;
    const ExactPlane alongA = planeThroughPoints(v, a, off), alongB = planeThroughPoints(v, b, off);
    auto sideOfW = [&](const ExactPlane& plane) {
        if (sc == 0)
            return sideOfPoint(plane, c);
        if (sd == 0)
            return sideOfPoint(plane, d);
        double span[3];
        for (int k = 0; k < 3; ++k)
            span[k] = std::fabs(d[k] - c[k]);
        const int axis = static_cast<int>(std::min_element(span, span + 3) - span);
        return sideOfCutPoint(planeThroughEdge(c, d, axis), planeS, plane);
    };
    const int wa = sideOfW(alongA), wb = sideOfW(alongB);
    return (wa == 0 || wa == sideOfPoint(alongA, b)) && (wb == 0 || wb == sideOfPoint(alongB, a));
}

// Triangles s = (u, w, a) and t = (u, w, c) with the edge u-w in common:
// off each other's plane they meet along that edge only; in one plane they
// overlap when a and c lie on the same side of it.
bool edgeSharingTrianglesMeet(Point u, Point w, Point a, Point c, const ExactPlane& planeS) {
    if (sideOfPoint(planeS, c) != 0)
        return false;
    const int axis = axisOfPlane(planeS);
    const int sa = orient2d(u, w, a, axis);
    return sa != 0 && sa == orient2d(u, w, c, axis);
}

class SelfIntersectionFinder {
public:
    explicit SelfIntersectionFinder(const MeshArrays& mesh) : mesh(mesh) {
        canonical = weldByPosition(mesh.positions.data(), mesh.vertexCount());
        const std::size_t count = mesh.triangleCount();
        planes.resize(count);
        skip.assign(count, 0);
        boxes.resize(count);
        for (std::uint32_t t = 0; t < count; ++t) {
            const Corners c = corners(t);
            planes[t] = planeThroughPoints(c.p[0], c.p[1], c.p[2]);
            skip[t] = isDegenerate(planes[t]);
            boxes[t] = BSP::triangleBox(mesh.positions.data(), mesh.indices.data(), t);
        }
    }

    bool meet(std::uint32_t s, std::uint32_t t) const {
        if (skip[s] || skip[t] || !BSP::overlaps(boxes[s], boxes[t]))
            return false;
        const Corners cs = corners(s), ct = corners(t);
        int shared = 0, inS[3] = {-1, -1, -1};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                if (cs.id[i] == ct.id[j]) {
                    ++shared;
                    inS[j] = i;
                }
        if (shared == 0)
            return disjointTrianglesMeet(cs, ct, planes[s], planes[t]);
        if (shared >= 3)
            return false; // the same face twice: touching, not crossing
        // Rotate both so the common corners come first.
        int firstT = 0;
        while (inS[firstT] < 0 || (shared == 2 && inS[(firstT + 1) % 3] < 0))
            ++firstT;
        const int firstS = inS[firstT];
        auto pS = [&](int k) { return cs.p[(firstS + k) % 3]; };
        auto pT = [&](int k) { return ct.p[(firstT + k) % 3]; };
        if (shared == 1)
            return cornerSharingTrianglesMeet(pS(0), pS(1), pS(2), pT(1), pT(2), planes[s], planes[t]);
        // The edge is wound one way in s: find s's corner that is not on it.
        const int otherS = 3 - inS[firstT] - inS[(firstT + 1) % 3];
        return edgeSharingTrianglesMeet(pT(0), pT(1), cs.p[otherS], pT(2), planes[s]);
    }

    const std::vector<Box>& triangleBoxes() const { return boxes; }
    bool skipped(std::uint32_t t) const { return skip[t] != 0; }

private:
    Corners corners(std::uint32_t t) const {
        Corners c;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = mesh.indices[3 * t + k];
            c.p[k] = &mesh.positions[3 * v];
            c.id[k] = canonical[v];
        }
        return c;
    }

    const MeshArrays& mesh;
    std::vector<std::uint32_t> canonical;
    std::vector<ExactPlane> planes;
    std::vector<std::uint8_t> skip;
    std::vector<Box> boxes;
};

// Calls visit(s, t) once for each pair s < t of triangles whose boxes share
// a cell of a uniform grid over the mesh (about two cells a triangle, at
// most 256 a side); stops when visit returns true.
template <typename Visit>
bool forNearPairs(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip, Visit&& visit) {
    Box bounds{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
    std::size_t used = 0;
    for (std::size_t t = 0; t < boxes.size(); ++t) {
        if (skip[t])
            continue;
        ++used;
        for (int k = 0; k < 3; ++k) {
            bounds.lo[k] = std::min(bounds.lo[k], boxes[t].lo[k]);
            bounds.hi[k] = std::max(bounds.hi[k], boxes[t].hi[k]);
        }
    }
    if (used < 2)
        return false;
    double extent[3], largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        extent[k] = bounds.hi[k] - bounds.lo[k];
        largest = std::max(largest, extent[k]);
    }
    double volume = 1.0;
    for (int k = 0; k < 3; ++k)
        volume *= std::max(extent[k], largest * 1e-3);
    const double cell = std::cbrt(volume / (2.0 * static_cast<double>(used)));
    int dims[3];
    double scale[3];
    for (int k = 0; k < 3; ++k) {
        dims[k] = cell > 0.0 ? static_cast<int>(std::clamp(std::ceil(extent[k] / cell), 1.0, 256.0)) : 1;
        scale[k] = extent[k] > 0.0 ? dims[k] / extent[k] : 0.0;
    }
    auto forCells = [&](const Box& box, auto&& action) {
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            const auto cellOf = [&](double x) {
                return static_cast<int>(std::clamp((x - bounds.lo[k]) * scale[k], 0.0, dims[k] - 1.0));
            };
            lo[k] = cellOf(box.lo[k]);
            hi[k] = cellOf(box.hi[k]);
        }
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    if (action((static_cast<std::size_t>(z) * dims[1] + y) * dims[0] + x))
                        return true;
        return false;
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(boxes[t], [&](std::size_t c) {
                ++start[c + 1];
                return false;
            });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1), entries(start[cellCount]);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(boxes[t], [&](std::size_t c) {
                entries[fill[c]++] = t;
                return false;
            });
    std::vector<std::uint32_t> lastSeen(boxes.size(), BSP::kNone);
    for (std::uint32_t s = 0; s < boxes.size(); ++s) {
        if (skip[s])
            continue;
        const bool found = forCells(boxes[s], [&](std::size_t c) {
            for (std::uint32_t e = start[c]; e < start[c + 1]; ++e) {
                const std::uint32_t t = entries[e];
                if (t <= s || lastSeen[t] == s)
                    continue;
                lastSeen[t] = s;
                if (visit(s, t))
                    return true;
            }
            return false;
        });
        if (found)
            return true;
    }
    return false;
}

} // namespace

bool intersectsItself(const MeshArrays& mesh) {
    const SelfIntersectionFinder finder(mesh);
    std::vector<std::uint8_t> skip(mesh.triangleCount());
    for (std::uint32_t t = 0; t < skip.size(); ++t)
        skip[t] = finder.skipped(t);
    return forNearPairs(finder.triangleBoxes(), skip, [&](std::uint32_t s, std::uint32_t t) { return finder.meet(s, t); });
}

} // namespace Kiln
