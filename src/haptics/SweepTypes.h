#pragma once
// The geometry a haptic shape sweeps the proxy against: its triangles, its
// placement and the proxy's move in the shape's frame. The sweep itself is
// the renderer's own (detail/SphereSweep.h).
#include "hapticdevice/HapticMath.h"

namespace Kiln {

/// Axis-aligned box; a default box is empty (extending it by a point
/// gives that point).
struct Box3d {
    Vec3d min{1e300, 1e300, 1e300};
    Vec3d max{-1e300, -1e300, -1e300};

    void extend(const Vec3d& p);
    void extend(const Box3d& b);
    bool overlaps(const Box3d& b) const {
        return min.x <= b.max.x && b.min.x <= max.x && min.y <= b.max.y && b.min.y <= max.y &&
               min.z <= b.max.z && b.min.z <= max.z;
    }
    /// 0 for a point inside.
    double squaredDistanceTo(const Vec3d& p) const {
        const double dx = p.x < min.x ? min.x - p.x : (p.x > max.x ? p.x - max.x : 0.0);
        const double dy = p.y < min.y ? min.y - p.y : (p.y > max.y ? p.y - max.y : 0.0);
        const double dz = p.z < min.z ? min.z - p.z : (p.z > max.z ? p.z - max.z : 0.0);
        return dx * dx + dy * dy + dz * dz;
    }
};

/// One touchable triangle in its shape's local frame.
struct HapticTriangle {
    bool valid = false; ///< false for a degenerate triangle (no normal)
    Vec3d p0, p1, p2;
    Vec3d n;            ///< unit normal, (p1 - p0) x (p2 - p0) normalised
    double d = 0.0;     ///< plane offset n . p0
    Vec3d e0, e1, e2;   ///< barycentric gradients: v = (x - p0) . e1, w = (x - p0) . e2
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

} // namespace Kiln
