#include "geometry/BooleanOperands.h"

#include "detail/BspTree.h"
#include "detail/ExactPlane.h"
#include "detail/UniformGrid.h"
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
        skip.assign(count, 0);
        boxes.resize(count);
        for (std::uint32_t t = 0; t < count; ++t) {
            const Corners c = corners(t);
            skip[t] = isDegenerate(planeThroughPoints(c.p[0], c.p[1], c.p[2]));
            boxes[t] = BSP::triangleBox(mesh.positions.data(), mesh.indices.data(), t);
            ids.insert(ids.end(), c.id, c.id + 3);
        }
    }

    /// A triangle's plane, made when asked: kept for every triangle it
    /// would cost 144 bytes a triangle, more than the rest of the check.
    static ExactPlane planeOf(const Corners& c) { return planeThroughPoints(c.p[0], c.p[1], c.p[2]); }

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
            return disjointTrianglesMeet(cs, ct, planeOf(cs), planeOf(ct));
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
            return cornerSharingTrianglesMeet(pS(0), pS(1), pS(2), pT(1), pT(2), planeOf(cs), planeOf(ct));
        // The edge is wound one way in s: find s's corner that is not on it.
        const int otherS = 3 - inS[firstT] - inS[(firstT + 1) % 3];
        return edgeSharingTrianglesMeet(pT(0), pT(1), cs.p[otherS], pT(2), planeOf(cs));
    }

    const std::vector<Box>& triangleBoxes() const { return boxes; }
    bool skipped(std::uint32_t t) const { return skip[t] != 0; }
    const std::uint32_t* cornerIds(std::uint32_t t) const { return &ids[3 * t]; }
    bool shareCorner(std::uint32_t s, std::uint32_t t) const {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                if (ids[3 * s + i] == ids[3 * t + j])
                    return true;
        return false;
    }

    /// Whether triangle t may meet the box lo..hi: no separating axis among
    /// the box's, the triangle's normal and their edges' cross products,
    /// with a margin far above rounding.
    bool triangleTouches(std::uint32_t t, const double* lo, const double* hi) const {
        double v[3][3], h[3];
        for (int k = 0; k < 3; ++k) {
            const double centre = 0.5 * (lo[k] + hi[k]);
            h[k] = 0.5 * (hi[k] - lo[k]);
            for (int c = 0; c < 3; ++c)
                v[c][k] = mesh.positions[3 * mesh.indices[3 * t + c] + k] - centre;
        }
        auto separates = [&](const double a[3]) {
            double low = HUGE_VAL, high = -HUGE_VAL, size = 0.0;
            for (int c = 0; c < 3; ++c) {
                const double d = a[0] * v[c][0] + a[1] * v[c][1] + a[2] * v[c][2];
                low = std::min(low, d);
                high = std::max(high, d);
                size = std::max(size, std::fabs(d));
            }
            const double r = h[0] * std::fabs(a[0]) + h[1] * std::fabs(a[1]) + h[2] * std::fabs(a[2]);
            const double margin = 1e-9 * (r + size);
            return low > r + margin || high < -r - margin;
        };
        for (int k = 0; k < 3; ++k) {
            const double axis[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
            if (separates(axis))
                return false;
        }
        if (separates(planeOf(corners(t)).coefficient))
            return false;
        for (int e = 0; e < 3; ++e) {
            const double* p = v[e];
            const double* q = v[(e + 1) % 3];
            const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
            const double axes[3][3] = {{0.0, -d[2], d[1]}, {d[2], 0.0, -d[0]}, {-d[1], d[0], 0.0}};
            for (const auto& axis : axes)
                if (separates(axis))
                    return false;
        }
        return true;
    }

    /// A box around the arc that triangle t (with corner id v) draws on
    /// the unit sphere about that corner, grown by more than rounding.
    Box arcBox(std::uint32_t t, std::uint32_t v) const {
        const Corners c = corners(t);
        int at = 0;
        while (c.id[at] != v)
            ++at;
        const double* o = c.p[at];
        double ends[2][3];
        double error = 0.0;
        for (int e = 0; e < 2; ++e) {
            const double* q = c.p[(at + 1 + e) % 3];
            double length = 0.0, size = 0.0;
            for (int k = 0; k < 3; ++k) {
                ends[e][k] = q[k] - o[k];
                length += ends[e][k] * ends[e][k];
                size = std::max({size, std::fabs(q[k]), std::fabs(o[k])});
            }
            length = std::sqrt(length);
            for (double& x : ends[e])
                x /= length;
            error = std::max(error, 1e-12 + 1e-14 * size / length);
        }
        Box box{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
        double step = 0.0, previous[3] = {0, 0, 0};
        constexpr int kSamples = 8;
        for (int i = 0; i <= kSamples; ++i) {
            const double w = static_cast<double>(i) / kSamples;
            double x[3], length = 0.0;
            for (int k = 0; k < 3; ++k) {
                x[k] = (1.0 - w) * ends[0][k] + w * ends[1][k];
                length += x[k] * x[k];
            }
            length = std::sqrt(length);
            double gap = 0.0;
            for (int k = 0; k < 3; ++k) {
                x[k] = length > 0.0 ? x[k] / length : 0.0;
                box.lo[k] = std::min(box.lo[k], x[k]);
                box.hi[k] = std::max(box.hi[k], x[k]);
                gap += (x[k] - previous[k]) * (x[k] - previous[k]);
                previous[k] = x[k];
            }
            if (i > 0)
                step = std::max(step, std::sqrt(gap));
        }
        // Between samples the arc bows out by less than the step between them.
        for (int k = 0; k < 3; ++k) {
            box.lo[k] -= step + error;
            box.hi[k] += step + error;
        }
        return box;
    }

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
    std::vector<std::uint32_t> ids; ///< canonical corner ids, 3 a triangle
    std::vector<std::uint8_t> skip;
    std::vector<Box> boxes;
};

// Calls visit(s, t) once for each pair s < t of items (triangles, or arcs)
// that share a cell of a uniform grid over their boxes (about two cells an
// item, at most 256 a side); stops when visit returns true. An item enters
// only the cells of its box that touches(item, lo, hi) accepts. Where
// corners(item) gives corner ids (nullptr: none), a crowded cell puts the
// items around its most shared corner first, and those are not paired
// with each other there: the fan around one corner is left to the caller.
template <typename Touches, typename CornerIds, typename Visit>
bool forNearPairs(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip, Touches&& touches,
                  CornerIds&& corners, Visit&& visit) {
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
    const GridShape shape = gridShapeFor(bounds.lo, bounds.hi, used, 256);
    const int* dims = shape.dims;
    const double* scale = shape.scale;
    double size[3];
    for (int k = 0; k < 3; ++k)
        size[k] = (bounds.hi[k] - bounds.lo[k]) / dims[k];
    auto forCells = [&](std::uint32_t item, auto&& action) {
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            const auto cellOf = [&](double x) {
                return static_cast<int>(std::clamp((x - bounds.lo[k]) * scale[k], 0.0, dims[k] - 1.0));
            };
            lo[k] = cellOf(boxes[item].lo[k]);
            hi[k] = cellOf(boxes[item].hi[k]);
        }
        // Halve the block of cells until single cells, dropping blocks the
        // item does not touch: a long sliver visits the cells along it, not
        // every cell of its box.
        struct Block {
            int lo[3], hi[3];
        };
        Block stack[3 * 8 * 4 + 8];
        std::size_t top = 0;
        stack[top++] = {{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}};
        while (top > 0) {
            const Block block = stack[--top];
            const bool single = block.lo[0] == block.hi[0] && block.lo[1] == block.hi[1] && block.lo[2] == block.hi[2];
            double cellLo[3], cellHi[3];
            for (int k = 0; k < 3; ++k) {
                cellLo[k] = bounds.lo[k] + block.lo[k] * size[k];
                cellHi[k] = block.hi[k] == dims[k] - 1 ? bounds.hi[k] : bounds.lo[k] + (block.hi[k] + 1) * size[k];
            }
            if (!(block.lo[0] == lo[0] && block.hi[0] == hi[0] && block.lo[1] == lo[1] && block.hi[1] == hi[1] &&
                  block.lo[2] == lo[2] && block.hi[2] == hi[2]) &&
                !touches(item, cellLo, cellHi))
                continue;
            if (single) {
                if (action((static_cast<std::size_t>(block.lo[2]) * dims[1] + block.lo[1]) * dims[0] + block.lo[0]))
                    return true;
                continue;
            }
            int k = 0;
            for (int c = 1; c < 3; ++c)
                if (block.hi[c] - block.lo[c] > block.hi[k] - block.lo[k])
                    k = c;
            const int middle = (block.lo[k] + block.hi[k]) / 2;
            Block first = block, second = block;
            first.hi[k] = middle;
            second.lo[k] = middle + 1;
            stack[top++] = second;
            stack[top++] = first;
        }
        return false;
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(t, [&](std::size_t c) {
                ++start[c + 1];
                return false;
            });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1), entries(start[cellCount]);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(t, [&](std::size_t c) {
                entries[fill[c]++] = t;
                return false;
            });
    // Crowded cells: the items around the most shared corner first.
    constexpr std::uint32_t kCrowded = 16;
    std::vector<std::uint32_t> sharedCorner(cellCount, BSP::kNone), others(cellCount, 0);
    std::vector<std::uint32_t> ids;
    for (std::size_t c = 0; c < cellCount; ++c) {
        others[c] = start[c];
        if (start[c + 1] - start[c] <= kCrowded || !corners(entries[start[c]]))
            continue;
        ids.clear();
        for (std::uint32_t e = start[c]; e < start[c + 1]; ++e)
            ids.insert(ids.end(), corners(entries[e]), corners(entries[e]) + 3);
        std::sort(ids.begin(), ids.end());
        std::uint32_t best = ids[0];
        std::size_t bestRun = 0;
        for (std::size_t i = 0, j; i < ids.size(); i = j) {
            for (j = i; j < ids.size() && ids[j] == ids[i]; ++j) {
            }
            if (j - i > bestRun) {
                bestRun = j - i;
                best = ids[i];
            }
        }
        const auto incident = [&](std::uint32_t t) {
            const std::uint32_t* id = corners(t);
            return id[0] == best || id[1] == best || id[2] == best;
        };
        const auto split = std::stable_partition(entries.begin() + start[c], entries.begin() + start[c + 1], incident);
        sharedCorner[c] = best;
        others[c] = static_cast<std::uint32_t>(split - entries.begin());
    }
    std::vector<std::uint32_t> lastSeen(boxes.size(), BSP::kNone);
    for (std::uint32_t s = 0; s < boxes.size(); ++s) {
        if (skip[s])
            continue;
        const std::uint32_t* own = corners(s);
        const bool found = forCells(s, [&](std::size_t c) {
            const std::uint32_t shared = sharedCorner[c];
            const bool aroundShared = shared != BSP::kNone && (own[0] == shared || own[1] == shared || own[2] == shared);
            for (std::uint32_t e = aroundShared ? others[c] : start[c]; e < start[c + 1]; ++e) {
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

// Calls visit(i, j) once for each pair i < j of boxes that share a cell of
// a sparse grid whose cells are as large as the median box; stops when
// visit returns true. Suits boxes strung along a curve, as the arcs of a
// fan around one corner are, where a dense grid would be mostly empty.
template <typename Visit>
bool forNearBoxesAlongCurves(const std::vector<Box>& boxes, Visit&& visit) {
    std::vector<double> sizes;
    for (const Box& b : boxes)
        sizes.push_back(std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]}));
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2), sizes.end());
    const double cell = std::max(sizes[sizes.size() / 2], 1e-300);
    // Cell coordinates of unit-sphere boxes stay far inside 21 bits a side
    // unless the cells are tiny; clamp then (a coarser index, still exact
    // about which pairs it offers).
    const auto cellOf = [&](double x) {
        return static_cast<std::int64_t>(std::clamp(std::floor((x + 2.0) / cell), 0.0, 2097151.0));
    };
    const auto key = [](std::int64_t x, std::int64_t y, std::int64_t z) {
        return static_cast<std::uint64_t>((x << 42) | (y << 21) | z);
    };
    std::vector<std::pair<std::uint64_t, std::uint32_t>> entries;
    auto forCells = [&](std::uint32_t i, auto&& action) {
        const Box& b = boxes[i];
        const std::int64_t x0 = cellOf(b.lo[0]), x1 = cellOf(b.hi[0]), y0 = cellOf(b.lo[1]), y1 = cellOf(b.hi[1]),
                           z0 = cellOf(b.lo[2]), z1 = cellOf(b.hi[2]);
        for (std::int64_t x = x0; x <= x1; ++x)
            for (std::int64_t y = y0; y <= y1; ++y)
                for (std::int64_t z = z0; z <= z1; ++z)
                    if (action(key(x, y, z)))
                        return true;
        return false;
    };
    for (std::uint32_t i = 0; i < boxes.size(); ++i)
        forCells(i, [&](std::uint64_t k) {
            entries.emplace_back(k, i);
            return false;
        });
    std::sort(entries.begin(), entries.end());
    std::vector<std::uint32_t> lastSeen(boxes.size(), BSP::kNone);
    for (std::uint32_t i = 0; i < boxes.size(); ++i) {
        const bool found = forCells(i, [&](std::uint64_t k) {
            auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(k, std::uint32_t{0}));
            for (; it != entries.end() && it->first == k; ++it) {
                const std::uint32_t j = it->second;
                if (j <= i || lastSeen[j] == i)
                    continue;
                lastSeen[j] = i;
                if (BSP::overlaps(boxes[i], boxes[j]) && visit(i, j))
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
    const std::size_t count = mesh.triangleCount();
    // Cell tests and pairs offered before giving up: hostile fans of long
    // slivers offer them by the square of their count.
    std::size_t budget = 128 * count + 1000000;
    struct OutOfBudget {};
    const auto spend = [&] {
        if (budget-- == 0)
            throw OutOfBudget{};
    };
    const auto meet = [&](std::uint32_t s, std::uint32_t t) {
        spend();
        return finder.meet(s, t);
    };
    try {
    std::vector<std::uint8_t> skip(count);
    for (std::uint32_t t = 0; t < count; ++t)
        skip[t] = finder.skipped(t);
    // Triangles with a common corner: found around each corner, where a fan
    // of many is sorted by the directions it leaves the corner in.
    std::vector<std::uint32_t> fanStart(mesh.vertexCount() + 1, 0), fan;
    for (std::uint32_t t = 0; t < count; ++t)
        if (!skip[t])
            for (int k = 0; k < 3; ++k)
                ++fanStart[finder.cornerIds(t)[k] + 1];
    for (std::size_t v = 0; v < mesh.vertexCount(); ++v)
        fanStart[v + 1] += fanStart[v];
    fan.resize(fanStart.back());
    std::vector<std::uint32_t> fill(fanStart.begin(), fanStart.end() - 1);
    for (std::uint32_t t = 0; t < count; ++t)
        if (!skip[t])
            for (int k = 0; k < 3; ++k)
                fan[fill[finder.cornerIds(t)[k]]++] = t;
    std::vector<Box> arcs;
    for (std::uint32_t v = 0; v < mesh.vertexCount(); ++v) {
        const std::uint32_t* around = fan.data() + fanStart[v];
        const std::uint32_t n = fanStart[v + 1] - fanStart[v];
        if (n <= 16) {
            for (std::uint32_t i = 0; i < n; ++i)
                for (std::uint32_t j = i + 1; j < n; ++j)
                    if (meet(around[i], around[j]))
                        return true;
            continue;
        }
        arcs.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            arcs[i] = finder.arcBox(around[i], v);
        if (forNearBoxesAlongCurves(arcs, [&](std::uint32_t i, std::uint32_t j) {
                return meet(around[i], around[j]);
            }))
            return true;
    }
    // All other pairs, by the cells their planes pass through.
    return forNearPairs(
        finder.triangleBoxes(), skip,
        [&](std::uint32_t t, const double* lo, const double* hi) {
            spend();
            return finder.triangleTouches(t, lo, hi);
        },
        [&](std::uint32_t t) { return finder.cornerIds(t); },
        [&](std::uint32_t s, std::uint32_t t) {
            spend();
            return !finder.shareCorner(s, t) && meet(s, t);
        });
    } catch (const OutOfBudget&) {
        return false;
    }
}

} // namespace Kiln
