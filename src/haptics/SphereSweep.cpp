#include "detail/SphereSweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Kiln {
namespace {

constexpr double machineEpsilon = 2.220446049250313e-16;
// A proxy resting on a surface sits at its radius up to rounding: touches
// this recent, or this close, still count as touching now.
constexpr double touchingNow = sweepTouchingNow;
constexpr double touchingSlack = 1.0 + 1e-9;

struct Candidate {
    double t = std::numeric_limits<double>::infinity();
    Vec3d contact;
    Vec3d barycentric;
};

Vec3d edgeBarycentric(int opposite, double u) {
    // Edge k runs between the corners after k, in order: (1,2), (2,0), (0,1).
    Vec3d b;
    double* c[3] = {&b.x, &b.y, &b.z};
    *c[(opposite + 1) % 3] = 1.0 - u;
    *c[(opposite + 2) % 3] = u;
    return b;
}

Vec3d vertexBarycentric(int corner) {
    Vec3d b;
    double* c[3] = {&b.x, &b.y, &b.z};
    *c[corner] = 1.0;
    return b;
}

// Earliest contact with the triangle's edges and corners, all in world
// orientation. A contact in the past (t < 0) counts only while the sphere
// still overlaps the feature and moves deeper into it: one it merely passed
// near, or is already leaving, must not hold it back.
bool sweepBoundary(const Vec3d corners[3], const SweptSphere& sphere, double minT,
                   Candidate& best) {
    for (int k = 0; k < 3; ++k) {
        const Vec3d& p = corners[(k + 1) % 3];
        const Vec3d& q = corners[(k + 2) % 3];
        double t = 0.0, u = 0.0;
        if (!sweepSphereEdge(sphere.start, sphere.move, sphere.radius, p, q, t, u))
            continue;
        if (t < minT || t > 1.0 || t >= best.t)
            continue;
        if (t < -touchingNow) {
            const Vec3d e = q - p;
            const double u0 = dot(sphere.start - p, e) / dot(e, e);
            const Vec3d foot = p + e * u0;
            if (u0 < 0.0 || u0 > 1.0 ||
                squaredLength(sphere.start - foot) >= sphere.radius2 * touchingSlack ||
                dot(sphere.move, sphere.start - foot) >= 0.0)
                continue;
        }
        best.t = t;
        best.contact = p + (q - p) * u;
        best.barycentric = edgeBarycentric(k, u);
    }
    for (int k = 0; k < 3; ++k) {
        double t = 0.0;
        if (!sweepSphereVertex(sphere.start, sphere.move, sphere.radius, corners[k], t))
            continue;
        if (t < minT || t > 1.0 || t >= best.t)
            continue;
        if (t < -touchingNow &&
            (squaredLength(corners[k] - sphere.start) >= sphere.radius2 * touchingSlack ||
                        dot(sphere.move, sphere.start - corners[k]) >= 0.0))
            continue;
        best.t = t;
        best.contact = corners[k];
        best.barycentric = vertexBarycentric(k);
    }
    return std::isfinite(best.t);
}

} // namespace

HapticTriangle makeHapticTriangle(const Vec3d& p0, const Vec3d& p1, const Vec3d& p2) {
    HapticTriangle tri;
    tri.p0 = p0;
    tri.p1 = p1;
    tri.p2 = p2;
    const Vec3d m = cross(p1 - p0, p2 - p0);
    const double m2 = squaredLength(m);
    tri.n = m * (1.0 / std::sqrt(m2));
    tri.d = dot(tri.n, p0);
    tri.valid = isFinite(tri.n) && std::isfinite(tri.d) && m2 > 0.0;
    const Vec3d ms = m * (1.0 / m2);
    const Vec3d q0 = cross(p0, ms), q1 = cross(p1, ms), q2 = cross(p2, ms);
    tri.e0 = q1 - q2;
    tri.e1 = q2 - q0;
    tri.e2 = q0 - q1;
    tri.centre = (p0 + p1 + p2) * (1.0 / 3.0);
    tri.bound = std::sqrt(std::max({squaredLength(p0 - tri.centre), squaredLength(p1 - tri.centre),
                                    squaredLength(p2 - tri.centre)}));
    return tri;
}

TriangleReach makeTriangleReach(const HapticTriangle& tri) {
    return {tri.n, tri.d, tri.centre, tri.bound};
}

Vec3d barycentric(const HapticTriangle& tri, const Vec3d& point) {
    const Vec3d rel = point - tri.p0;
    const double v = dot(rel, tri.e1);
    const double w = dot(rel, tri.e2);
    return {1.0 - v - w, v, w};
}

ShapeFrame ShapeFrame::fromAffine(const Mat3d& linear, const Vec3d& translation) {
    ShapeFrame frame;
    frame.linear = linear;
    frame.translation = translation;
    frame.inverse = linear.inverse();
    frame.valid = frame.inverse.isFinite() && isFinite(translation);
    frame.metric = frame.inverse * frame.inverse.transposed();
    double deviation = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            deviation = std::fmax(deviation, std::fabs(frame.metric.m[i][j] - (i == j ? 1.0 : 0.0)));
    frame.rigid = deviation < 1e-12;
    return frame;
}

SweptSphere makeSweptSphere(const ShapeFrame& frame, const Vec3d& worldStart,
                            const Vec3d& worldMove, double radius) {
    SweptSphere sphere;
    sphere.start = worldStart - frame.translation;
    sphere.move = worldMove;
    sphere.localStart = frame.inverse * sphere.start;
    sphere.localMove = frame.inverse * worldMove;
    sphere.radius = radius;
    sphere.radius2 = radius * radius;
    sphere.moveLength2 = squaredLength(worldMove);
    sphere.epsilon = length(sphere.localMove) * machineEpsilon;
    return sphere;
}

namespace {

// Whether the sphere, anywhere on its path for t in [minT, 1], can come
// within reach of the triangle's bounding sphere. Distances are the same in
// both frames only for a rigid placement; others skip the test.
bool mayReach(const HapticTriangle& tri, const ShapeFrame& frame, const SweptSphere& sphere,
              double minT) {
    if (!frame.rigid)
        return true;
    const Vec3d& m = sphere.localMove;
    const Vec3d from = sphere.localStart + m * minT;
    const double span = 1.0 - minT;
    const double along = std::clamp(dot(tri.centre - from, m) / (sphere.moveLength2 * span), 0.0, 1.0);
    const double reach = tri.bound + sphere.radius;
    return squaredLength(from + m * (span * along) - tri.centre) <= reach * reach;
}

} // namespace

bool sweepSphereTriangle(const HapticTriangle& tri, const ShapeFrame& frame,
                         const SweptSphere& sphere, double minT, SweepHit& hit) {
    if (sphere.moveLength2 <= 0.0 || !mayReach(tri, frame, sphere, minT))
        return false;
    const Vec3d& P0 = sphere.localStart;
    const Vec3d& m = sphere.localMove;
    const double s = tri.d - dot(tri.n, P0); // positive behind the plane
    const double q = dot(tri.n, m);
    const Vec3d nw = frame.rigid ? tri.n : frame.metric * tri.n;
    const double L = frame.rigid ? 1.0 : std::sqrt(dot(tri.n, nw));
    const double r = sphere.radius;
    const double eps2 = 2.0 * sphere.epsilon;

    bool boundaryPossible = false;
    if (std::fabs(q) >= eps2) {
        const bool behind = s >= 0.0;
        const bool towards = behind ? q > 0.0 : q < 0.0;
        if (towards) {
            const double t = behind ? (s - r * L) / q : (s + r * L) / q;
            if (t > 1.0)
                return false;
            const Vec3d touch = behind ? P0 + nw * (r / L) : P0 - nw * (r / L);
            const Vec3d Q = touch + m * t;
            const Vec3d b = barycentric(tri, Q);
            // As for edges and corners, a touch in the past counts only
            // while the sphere still overlaps the triangle (checked where
            // distances are the world's).
            const bool stillTouching =
                t >= -touchingNow || !frame.rigid ||
                squaredLength(closestPointOnTriangle(P0, tri.p0, tri.p1, tri.p2) - P0) <
                    sphere.radius2 * touchingSlack;
            if (b.x >= 0.0 && b.y >= 0.0 && b.z >= 0.0 && stillTouching) {
                if (t < minT)
                    return false;
                hit.t = t;
                hit.contact = frame.linear * Q;
                hit.barycentric = b;
                const Vec3d worldNormal = normalised(frame.inverse.transposed() * tri.n);
                hit.normal = behind ? -worldNormal : worldNormal;
                return true;
            }
            boundaryPossible = true;
        } else {
            // Leaving the plane: only an edge or corner the sphere still
            // overlaps can hold it.
            boundaryPossible = std::fabs(s) < r * L;
        }
    } else {
        boundaryPossible = s + r * L >= eps2 * L && s - r * L <= -eps2 * L;
    }
    if (!boundaryPossible)
        return false;

    const Vec3d corners[3] = {frame.linear * tri.p0, frame.linear * tri.p1, frame.linear * tri.p2};
    Candidate best;
    if (!sweepBoundary(corners, sphere, minT, best))
        return false;
    hit.t = best.t;
    hit.contact = best.contact;
    hit.barycentric = best.barycentric;
    const Vec3d away = sphere.start + sphere.move * best.t - best.contact;
    hit.normal = away * (1.0 / length(away));
    return true;
}

SweepReach makeSweepReach(const ShapeFrame& frame, const SweptSphere& sphere, double minT) {
    SweepReach reach;
    reach.start = sphere.localStart;
    reach.move = sphere.localMove;
    reach.moveLength2 = frame.rigid ? sphere.moveLength2 : squaredLength(sphere.localMove);
    reach.radius = sphere.radius;
    reach.epsilon2 = 2.0 * sphere.epsilon;
    reach.minT = minT;
    reach.frame = &frame;
    return reach;
}

// The distance from the moving centre to the triangle (a convex set) is a
// convex function of time, so it stays above its tangent at the start: a
// sphere clear of the triangle that is not closing in on it never touches,
// and one closing in needs at least gap / closing speed. "Clear" leaves out
// the touches sweepSphereTriangle still counts: overlaps within rounding,
// and contacts up to touchingNow in the past.
double earliestHitByDistance(const HapticTriangle& tri, const SweptSphere& sphere,
                             double earliest) {
    const Vec3d& P0 = sphere.localStart;
    const Vec3d away = P0 - closestPointOnTriangle(P0, tri.p0, tri.p1, tri.p2);
    const double gap2 = squaredLength(away);
    const double moveLength = std::sqrt(sphere.moveLength2);
    const double touching = sphere.radius * touchingSlack + 2.0 * moveLength * touchingNow;
    if (gap2 <= touching * touching)
        return earliest;
    const double gap = std::sqrt(gap2);
    const double closing = -dot(sphere.localMove, away) / gap;
    if (closing <= 0.0)
        return std::numeric_limits<double>::infinity();
    return std::max(earliest, (gap - sphere.radius) / closing);
}

// The same convexity from the other end: the distance stays above its
// tangent at the end of the move, which rises backwards in time when the
// sphere is still closing in.
double latestHitByDistance(const HapticTriangle& tri, const SweptSphere& sphere) {
    const Vec3d end = sphere.localStart + sphere.localMove;
    const Vec3d away = end - closestPointOnTriangle(end, tri.p0, tri.p1, tri.p2);
    const double gap2 = squaredLength(away);
    const double touching = sphere.radius * touchingSlack;
    if (gap2 <= touching * touching)
        return 1.0;
    const double gap = std::sqrt(gap2);
    const double opening = dot(sphere.localMove, away) / gap;
    if (opening <= 0.0)
        return -std::numeric_limits<double>::infinity();
    return 1.0 - (gap - sphere.radius) / opening;
}

// Region tests on the corners, edges and face (Ericson, Real-Time Collision
// Detection, 5.1.5).
Vec3d closestPointOnTriangle(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    const Vec3d bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    const Vec3d cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const double denom = 1.0 / (va + vb + vc);
    return a + ab * (vb * denom) + ac * (vc * denom);
}

bool sweepSphereEdge(const Vec3d& start, const Vec3d& move, double radius, const Vec3d& p,
                     const Vec3d& q, double& t, double& u) {
    const Vec3d e = q - p;
    const Vec3d s = p - start;
    const double E = dot(e, e);
    const double mm = dot(move, move);
    if (E <= 0.0 || mm <= 0.0)
        return false;
    const double me = dot(move, e);
    const double se = dot(s, e);
    const double a = mm * E - me * me;
    // Moving along the edge: only its end spheres can be entered.
    if (a <= 1e-12 * mm * E)
        return false;
    const double b = dot(move, s) * E - se * me;
    const double c = (dot(s, s) - radius * radius) * E - se * se;
    const double disc = b * b - a * c;
    if (disc <= 0.0)
        return false;
    t = (b - std::sqrt(disc)) / a;
    u = (t * me - se) / E;
    return u >= 0.0 && u <= 1.0;
}

bool sweepSphereVertex(const Vec3d& start, const Vec3d& move, double radius, const Vec3d& x,
                       double& t) {
    const double mm = dot(move, move);
    if (mm <= 0.0)
        return false;
    const Vec3d g = x - start;
    const double beta = dot(move, g);
    const double gamma = dot(g, g) - radius * radius;
    const double disc = beta * beta - gamma * mm;
    if (disc <= 0.0)
        return false;
    t = (beta - std::sqrt(disc)) / mm;
    return true;
}

} // namespace Kiln
