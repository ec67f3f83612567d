#pragma once
// Time of first contact between a moving sphere and a triangle, its edges
// and corners. Times are fractions of the move; a negative time means the
// sphere already overlapped the feature that far back along the move.
#include "haptics/HapticMath.h"

#include <limits>

namespace Kiln {

/// Contacts this recent (as a fraction of the move) count as touching now,
/// whether or not the sphere still overlaps the feature at its start. Any
/// earlier contact needs that overlap.
constexpr double sweepTouchingNow = 1e-9;

/// One touchable triangle in its shape's local frame.
struct HapticTriangle {
    bool valid = false; ///< false for a degenerate triangle (no normal)
    Vec3d p0, p1, p2;
    Vec3d n;            ///< unit normal, (p1 - p0) x (p2 - p0) normalised
    double d = 0.0;     ///< plane offset n . p0
    Vec3d e0, e1, e2;   ///< barycentric gradients: v = (x - p0) . e1, w = (x - p0) . e2
    Vec3d scratch;      ///< spare point for the contact code
    Vec3d centre;       ///< centre of a sphere around the corners
    double bound = 0.0; ///< its radius
};

HapticTriangle makeHapticTriangle(const Vec3d& p0, const Vec3d& p1, const Vec3d& p2);

/// What it takes to rule a triangle out of a sweep, or to bound its time of
/// contact from below, in one cache line: its plane and a sphere around it.
struct TriangleReach {
    Vec3d n;            ///< unit normal
    double d = 0.0;     ///< plane offset
    Vec3d centre;       ///< centre of a sphere around the corners
    double bound = 0.0; ///< its radius
};

TriangleReach makeTriangleReach(const HapticTriangle& triangle);

/// (u, v, w) of a point of the triangle's plane.
Vec3d barycentric(const HapticTriangle& triangle, const Vec3d& point);

/// Affine placement of a shape: world = linear * local + translation.
struct ShapeFrame {
    Mat3d linear;
    Mat3d inverse;
    Vec3d translation;
    Mat3d metric;       ///< inverse * inverse^T, the local image of a world sphere
    bool rigid = true;  ///< metric is the identity (no scale or shear)
    bool valid = true;  ///< the linear part can be inverted

    static ShapeFrame fromAffine(const Mat3d& linear, const Vec3d& translation);
};

/// The proxy's move for one sweep, in world and shape-local terms.
struct SweptSphere {
    Vec3d start;        ///< world, relative to the shape's translation
    Vec3d move;         ///< world
    Vec3d localStart;
    Vec3d localMove;
    double radius = 0.0;
    double radius2 = 0.0;
    double moveLength2 = 0.0;
    double epsilon = 0.0; ///< |localMove| * machine epsilon: "parallel" threshold
};

SweptSphere makeSweptSphere(const ShapeFrame& frame, const Vec3d& worldStart,
                            const Vec3d& worldMove, double radius);

struct SweepHit {
    double t = 0.0;
    Vec3d contact;      ///< world orientation, relative to the shape's translation
    Vec3d barycentric;  ///< of the contact; 0 for the corner opposite a touched edge
    Vec3d normal;       ///< world unit normal of the touched feature, towards the sphere
};

/// First contact for t in [minT, 1]. The face is hit only by a sphere moving
/// towards its plane from the side it starts on; otherwise, or when the touch
/// point falls outside the triangle, the earliest contact with any of the
/// three edges and three corners counts.
bool sweepSphereTriangle(const HapticTriangle& triangle, const ShapeFrame& frame,
                         const SweptSphere& sphere, double minT, SweepHit& hit);

/// What earliestPossibleHit needs of one sweep, worked out once for all
/// the triangles it is asked about.
struct SweepReach {
    Vec3d start;              ///< local
    Vec3d move;               ///< local
    double moveLength2 = 0.0; ///< local
    double radius = 0.0;
    double epsilon2 = 0.0;    ///< twice the sweep's epsilon
    double minT = 0.0;
    const ShapeFrame* frame = nullptr;
};

SweepReach makeSweepReach(const ShapeFrame& frame, const SweptSphere& sphere, double minT);

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
