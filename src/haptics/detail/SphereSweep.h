#pragma once
// Time of first contact between a moving sphere and a triangle, its edges
// and corners. Times are fractions of the move; a negative time means the
// sphere already overlapped the feature that far back along the move.
#include "haptics/SweepTypes.h"

#include <cmath>
#include <limits>

namespace Kiln {

/// Contacts this recent (as a fraction of the move) count as touching now,
/// whether or not the sphere still overlaps the feature at its start. Any
/// earlier contact needs that overlap.
constexpr double sweepTouchingNow = 1e-9;

/// First contact for t in [minT, 1]. The face is hit only by a sphere moving
/// towards its plane from the side it starts on; otherwise, or when the touch
/// point falls outside the triangle, the earliest contact with any of the
/// three edges and three corners counts.
bool sweepSphereTriangle(const HapticTriangle& triangle, const ShapeFrame& frame,
                         const SweptSphere& sphere, double minT, SweepHit& hit);

/// A time no later than any contact sweepSphereTriangle(triangle, frame,
/// sphere, minT) can report (up to rounding of the order of 1e-12), or
/// +infinity when it can report none; `height` is n . start - d. Costs a
/// small fraction of the full sweep, so callers after the earliest contact
/// sweep only the triangles whose bound comes first.
inline double earliestPossibleHit(const TriangleReach& tri, const SweepReach& sweep,
                                  double height);

/// A tighter bound than earliestPossibleHit (passed in as `earliest`) for a
/// shape placed without scale or shear, from the triangle's distance to the
/// start and how fast the move closes it: +infinity when the sphere is clear
/// of the triangle and moving away from it.
double earliestHitByDistance(const HapticTriangle& triangle, const SweptSphere& sphere,
                             double earliest);

/// The other end of that bound: no contact comes after this time, judged
/// from the distance at the end of the move and how fast it changes there;
/// -infinity when the sphere ends clear of the triangle and still closing in
/// on it, as it was then clear all along. Also for rigid placements only.
double latestHitByDistance(const HapticTriangle& triangle, const SweptSphere& sphere);

/// The point of triangle abc nearest to p.
Vec3d closestPointOnTriangle(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c);

/// Sphere centred at start, moving by move, against the segment p-q (all in
/// one frame). On a hit gives the entry time t and the position u along the
/// segment (0 at p, 1 at q); false also when the entry lies beyond an end.
bool sweepSphereEdge(const Vec3d& start, const Vec3d& move, double radius, const Vec3d& p,
                     const Vec3d& q, double& t, double& u);
/// As above against the point x.
bool sweepSphereVertex(const Vec3d& start, const Vec3d& move, double radius, const Vec3d& x,
                       double& t);

// Mirrors the rejections of sweepSphereTriangle. Every contact it reports
// puts the sphere within its radius of the triangle, so no earlier than the
// sphere reaches the triangle's plane (when moving towards it) and no
// earlier than it enters the triangle's bounding sphere grown by the radius.
inline double earliestPossibleHit(const TriangleReach& tri, const SweepReach& sweep,
                                  double height) {
    constexpr double never = std::numeric_limits<double>::infinity();
    if (sweep.moveLength2 <= 0.0)
        return never;
    const double s = -height;
    const double q = dot(tri.n, sweep.move);
    const bool rigid = sweep.frame->rigid;
    const double L = rigid ? 1.0 : std::sqrt(dot(tri.n, sweep.frame->metric * tri.n));
    const double rL = sweep.radius * L;
    double earliest = sweep.minT;
    if (std::fabs(q) >= sweep.epsilon2) {
        const bool behind = s >= 0.0;
        if (behind ? q > 0.0 : q < 0.0) {
            const double t = behind ? (s - rL) / q : (s + rL) / q;
            if (t > 1.0)
                return never;
            earliest = t > earliest ? t : earliest;
        } else if (!(std::fabs(s) < rL)) {
            return never;
        }
    } else if (!(s + rL >= sweep.epsilon2 * L && s - rL <= -sweep.epsilon2 * L)) {
        return never;
    }
    if (!rigid)
        return earliest;
    // Entry into the grown bounding sphere, by the cancellation-free form of
    // the smaller root; the slack keeps grazing touches in.
    const double reach = (tri.bound + sweep.radius) * (1.0 + 1e-9);
    const Vec3d g = tri.centre - sweep.start;
    const double beta = dot(sweep.move, g);
    const double gamma = dot(g, g) - reach * reach;
    const double disc = beta * beta - gamma * sweep.moveLength2;
    if (disc < 0.0)
        return never;
    const double root = std::sqrt(disc);
    const double enter = beta > 0.0 ? gamma / (beta + root) : (beta - root) / sweep.moveLength2;
    if (enter > 1.0)
        return never;
    if (beta <= 0.0 && gamma / (beta - root) < sweep.minT) // leaves before minT
        return never;
    return enter > earliest ? enter : earliest;
}

} // namespace Kiln
