#include "detail/TriangleContact.h"

#include "detail/ExactPlane.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace TriangleContact {

namespace {

// Relative error bound of a triple product in doubles, against its
// permanent (the classic orientation filter's bound, 7.8e-16, with a
// margin).
constexpr double kOrientBound = 1e-15;

// The sign of `value` when its error bound settles it, 2 when not. Far
// below any model's scale, underflow could hide in the products.
int settledSign(double value, double bound) {
    if (bound > 1e-250) {
        if (value > bound)
            return 1;
        if (value < -bound)
            return -1;
    }
    return 2;
}

// The exact side of x against the plane through p, q and r: rarely needed,
// so kept out of the callers' code.
[[gnu::noinline]] int sideExactly(Point p, Point q, Point r, Point x) {
    return sideOfPoint(planeThroughPoints(p, q, r), x);
}

} // namespace

// Sign of ((q - p) x (r - p)) . (x - p): the side of the plane through p, q
// and r that x lies on, as sideOfPoint gives it. Doubles settle it nearly
// always; the exact plane decides the rest.
int orient(Point p, Point q, Point r, Point x) {
    double u[3], v[3], w[3];
    for (int k = 0; k < 3; ++k) {
        u[k] = q[k] - p[k];
        v[k] = r[k] - p[k];
        w[k] = x[k] - p[k];
    }
    const double value = w[0] * (u[1] * v[2] - u[2] * v[1]) + w[1] * (u[2] * v[0] - u[0] * v[2]) +
                         w[2] * (u[0] * v[1] - u[1] * v[0]);
    const double permanent = std::fabs(w[0]) * (std::fabs(u[1] * v[2]) + std::fabs(u[2] * v[1])) +
                             std::fabs(w[1]) * (std::fabs(u[2] * v[0]) + std::fabs(u[0] * v[2])) +
                             std::fabs(w[2]) * (std::fabs(u[0] * v[1]) + std::fabs(u[1] * v[0]));
    const int sign = settledSign(value, kOrientBound * permanent);
    return sign != 2 ? sign : sideExactly(p, q, r, x);
}

namespace {

using TriangleContact::orient; // the overload below would hide it

// Side of x against the plane of triangle t: orient(t.p[0], t.p[1],
// t.p[2], x) with the normal made once.
[[gnu::always_inline]] inline int orient(const Corners& t, Point x) {
    double value = 0.0, permanent = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double w = x[k] - t.p[0][k];
        value += t.normal[k] * w;
        permanent += t.magnitude[k] * std::fabs(w);
    }
    const int sign = settledSign(value, kOrientBound * permanent);
    return sign != 2 ? sign : sideExactly(t.p[0], t.p[1], t.p[2], x);
}

// Sign of x against the line p-q in the projection that drops `axis`.
int orient2d(Point p, Point q, Point x, int axis) {
    return sideOfPoint(planeThroughEdge(p, q, axis), x);
}

bool opposite(int a, int b) {
    return a * b < 0;
}

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

// The closed segment p-q against the closed triangle t, given the sides
// sp and sq of p and q against t's plane, not both zero.
bool segmentCrossesTriangle(Point p, Point q, const Corners& t, int sp, int sq) {
    if (sp == sq)
        return false; // both strictly on one side
    // The line p-q passes through t when the three volumes it spans with
    // t's edges have no two of opposite sign.
    const int a = orient(p, q, t.p[0], t.p[1]), b = orient(p, q, t.p[1], t.p[2]), c = orient(p, q, t.p[2], t.p[0]);
    return !(opposite(a, b) || opposite(b, c) || opposite(c, a));
}

int axisOfPlane(const ExactPlane& plane) {
    return dominantAxis(plane);
}

// The axis to drop to see triangle t without distortion.
int axisOfTriangle(const Corners& t) {
    return dominantAxis(planeThroughPoints(t.p[0], t.p[1], t.p[2]));
}

// Triangles s = (v, a, b) and t = (v, c, d) (corners in their cyclic
// order) with only the corner v in common: they may meet at v, nowhere else.
bool cornerSharingTrianglesMeet(const Corners& s, const Corners& t, Point v, Point a, Point b, Point c, Point d) {
    const int sc = orient(s, c), sd = orient(s, d);
    if (sc == 0 && sd == 0) {
        // One plane: the corners' wedges overlap when a ray of one lies
        // strictly inside the other, or both wedges are the same.
        const int axis = axisOfPlane(planeThroughPoints(v, a, b));
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
    const int sa = orient(t, a), sb = orient(t, b);
    if (sa == sb && sa != 0)
        return false;
    const ExactPlane planeS = planeThroughPoints(v, a, b);
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

// Triangles s (corners u, w and a) and t = (u, w, c) with the edge u-w in
// common: off each other's plane they meet along that edge only; in one
// plane they overlap when a and c lie on the same side of it.
bool edgeSharingTrianglesMeet(const Corners& s, Point u, Point w, Point a, Point c) {
    if (orient(s, c) != 0)
        return false;
    const int axis = axisOfPlane(planeThroughPoints(w, u, a));
    const int sa = orient2d(u, w, a, axis);
    return sa != 0 && sa == orient2d(u, w, c, axis);
}

} // namespace

bool strictlyOnOneSide(const Corners& t, Point a, Point b, Point c) {
    const int side = orient(t, a);
    return side != 0 && orient(t, b) == side && orient(t, c) == side;
}

bool disjointTrianglesMeet(const Corners& s, const Corners& t) {
    int sideS[3], sideT[3];
    for (int k = 0; k < 3; ++k)
        sideS[k] = orient(t, s.p[k]);
    if (sideS[0] == sideS[1] && sideS[1] == sideS[2]) {
        if (sideS[0] != 0)
            return false;
        return coplanarTrianglesMeet(s, t, axisOfTriangle(t));
    }
    for (int k = 0; k < 3; ++k)
        sideT[k] = orient(s, t.p[k]);
    if (sideT[0] == sideT[1] && sideT[1] == sideT[2] && sideT[0] != 0)
        return false;
    // Off each other's plane the common part is a segment whose ends lie on
    // an edge of one of them: some edge meets the other triangle.
    const auto someEdgeMeets = [](const Corners& edges, const int* side, const Corners& other) {
        for (int k = 0; k < 3; ++k) {
            Point p = edges.p[k], q = edges.p[(k + 1) % 3];
            const int sp = side[k], sq = side[(k + 1) % 3];
            if (sp == 0 && sq == 0) {
                if (coplanarSegmentMeetsTriangle(p, q, other, axisOfTriangle(other)))
                    return true;
            } else if (segmentCrossesTriangle(p, q, other, sp, sq)) {
                return true;
            }
        }
        return false;
    };
    return someEdgeMeets(s, sideS, t) || someEdgeMeets(t, sideT, s);
}

// Whether the triangle's corners are collinear (its exact normal is zero).
bool isDegenerate(const Corners& c) {
    for (int k = 0; k < 3; ++k)
        if (std::fabs(c.normal[k]) > 1e-13 * c.magnitude[k])
            return false;
    return isDegenerate(planeThroughPoints(c.p[0], c.p[1], c.p[2]));
}

bool meetBeyondSharedCorners(const Corners& cs, const Corners& ct) {
    int shared = 0, inS[3] = {-1, -1, -1};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (cs.id[i] == ct.id[j]) {
                ++shared;
                inS[j] = i;
            }
    if (shared == 0)
        return disjointTrianglesMeet(cs, ct);
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
        return cornerSharingTrianglesMeet(cs, ct, pS(0), pS(1), pS(2), pT(1), pT(2));
    // The edge is wound one way in s: find s's corner that is not on it.
    const int otherS = 3 - inS[firstT] - inS[(firstT + 1) % 3];
    return edgeSharingTrianglesMeet(cs, pT(0), pT(1), cs.p[otherS], pT(2));
}

std::uint32_t lowestSharedCorner(const Corners& s, const Corners& t) {
    std::uint32_t lowest = kNoCorner;
    for (const std::uint32_t i : s.id)
        for (const std::uint32_t j : t.id)
            if (i == j)
                lowest = std::min(lowest, i);
    return lowest;
}

} // namespace TriangleContact
} // namespace Kiln
