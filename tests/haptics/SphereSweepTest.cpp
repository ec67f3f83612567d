#include "detail/SphereSweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace Kiln;

namespace {

const ShapeFrame identity = ShapeFrame::fromAffine(Mat3d{}, {});
// Triangle in the plane z = 0, front towards +z.
const HapticTriangle floorTriangle = makeHapticTriangle({0, 0, 0}, {4, 0, 0}, {0, 4, 0});

bool sweep(const Vec3d& start, const Vec3d& move, double radius, SweepHit& hit,
           const ShapeFrame& frame = identity, double minT = -1.0,
           const HapticTriangle& tri = floorTriangle) {
    return sweepSphereTriangle(tri, frame, makeSweptSphere(frame, start, move, radius), minT, hit);
}

} // namespace

TEST(HapticTriangle, RecordHoldsPlaneAndBarycentricMap) {
    const HapticTriangle tri = makeHapticTriangle({1, 0, 0}, {3, 0, 0}, {1, 2, 0});
    EXPECT_TRUE(tri.valid);
    EXPECT_DOUBLE_EQ(tri.n.z, 1.0);
    EXPECT_DOUBLE_EQ(tri.d, 0.0);
    const Vec3d b = barycentric(tri, {2, 0.5, 7}); // height does not matter
    EXPECT_NEAR(b.x, 0.25, 1e-12);
    EXPECT_NEAR(b.y, 0.5, 1e-12);
    EXPECT_NEAR(b.z, 0.25, 1e-12);
    const Vec3d corner = barycentric(tri, {1, 2, 0});
    EXPECT_NEAR(corner.z, 1.0, 1e-12);

    EXPECT_FALSE(makeHapticTriangle({0, 0, 0}, {1, 1, 1}, {2, 2, 2}).valid);
    EXPECT_FALSE(makeHapticTriangle({0, 0, 0}, {0, 0, 0}, {0, 0, 0}).valid);
}

TEST(SphereSweep, FaceHitFromEitherSideOnlyWhenMovingTowardsIt) {
    SweepHit hit;
    ASSERT_TRUE(sweep({1, 1, 3}, {0, 0, -4}, 1.0, hit));
    EXPECT_DOUBLE_EQ(hit.t, 0.5); // centre at z = 1 touches
    EXPECT_DOUBLE_EQ(hit.contact.x, 1.0);
    EXPECT_DOUBLE_EQ(hit.contact.z, 0.0);
    EXPECT_DOUBLE_EQ(hit.normal.z, 1.0);

    ASSERT_TRUE(sweep({1, 1, -3}, {0, 0, 4}, 1.0, hit));
    EXPECT_DOUBLE_EQ(hit.t, 0.5);
    EXPECT_DOUBLE_EQ(hit.normal.z, -1.0) << "normal points back to the sphere";

    EXPECT_FALSE(sweep({1, 1, 3}, {0, 0, 4}, 1.0, hit)) << "moving away";
    EXPECT_FALSE(sweep({1, 1, 3}, {0, 0, -1}, 1.0, hit)) << "stops short";
    EXPECT_FALSE(sweep({1, 1, 3}, {0, 0, 0}, 1.0, hit)) << "no move";
}

TEST(SphereSweep, PenetrationInThePastCountsWithinTheBackTolerance) {
    SweepHit hit;
    // Sphere already 0.5 deep, pushing further in.
    ASSERT_TRUE(sweep({1, 1, 0.5}, {0, 0, -1}, 1.0, hit, identity, -1.0));
    EXPECT_DOUBLE_EQ(hit.t, -0.5);
    EXPECT_FALSE(sweep({1, 1, 0.5}, {0, 0, -1}, 1.0, hit, identity, -0.4));
}

TEST(SphereSweep, MovePassingBesideTheFaceTouchesTheEdgeOrCorner) {
    SweepHit hit;
    // Beyond the edge y = 0, moving down: the sphere meets the edge itself.
    ASSERT_TRUE(sweep({2, -0.6, 3}, {0, 0, -4}, 1.0, hit));
    EXPECT_NEAR(hit.t, (3.0 - 0.8) / 4.0, 1e-12); // centre height sqrt(1 - 0.36)
    EXPECT_NEAR(hit.contact.x, 2.0, 1e-12);
    EXPECT_NEAR(hit.contact.y, 0.0, 1e-12);
    EXPECT_NEAR(hit.barycentric.y + hit.barycentric.x, 1.0, 1e-12);
    EXPECT_EQ(hit.barycentric.z, 0.0) << "corner opposite the edge";
    EXPECT_NEAR(hit.normal.y, -0.6, 1e-12);

    // Beyond the corner at the origin.
    ASSERT_TRUE(sweep({-0.6, -0.6, 3}, {0, 0, -4}, 1.0, hit));
    EXPECT_NEAR(hit.t, (3.0 - std::sqrt(1.0 - 0.72)) / 4.0, 1e-12);
    EXPECT_NEAR(length(hit.contact), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(hit.barycentric.x, 1.0);

    EXPECT_FALSE(sweep({2, -1.2, 3}, {0, 0, -4}, 1.0, hit)) << "out of reach";
}

TEST(SphereSweep, MoveParallelToThePlaneTouchesOnlyThroughEdges) {
    SweepHit hit;
    // Sliding at height 0.5 towards the edge x = 0 from outside.
    ASSERT_TRUE(sweep({-3, 1, 0.5}, {4, 0, 0}, 1.0, hit));
    const double reach = std::sqrt(1.0 - 0.25);
    EXPECT_NEAR(hit.t, (3.0 - reach) / 4.0, 1e-12);
    EXPECT_NEAR(hit.contact.x, 0.0, 1e-12);
    EXPECT_NEAR(hit.contact.y, 1.0, 1e-12);
    // Resting on the face and sliding over it: nothing to hit.
    EXPECT_FALSE(sweep({1, 1, 1.0}, {1, 0, 0}, 1.0, hit));
    // Same slide above the plane's reach.
    EXPECT_FALSE(sweep({-3, 1, 1.5}, {4, 0, 0}, 1.0, hit));
}

TEST(SphereSweep, EdgeAndVertexSweepsAgreeWithGeometry) {
    double t = 0, u = 0;
    ASSERT_TRUE(sweepSphereEdge({0, 5, 0}, {0, -10, 0}, 1.0, {-1, 0, 0}, {3, 0, 0}, t, u));
    EXPECT_DOUBLE_EQ(t, 0.4);
    EXPECT_DOUBLE_EQ(u, 0.25);
    EXPECT_FALSE(sweepSphereEdge({5, 5, 0}, {0, -10, 0}, 1.0, {-1, 0, 0}, {3, 0, 0}, t, u))
        << "the cylinder is met beyond the segment's end";
    EXPECT_FALSE(sweepSphereEdge({0, 5, 0}, {1, 0, 0}, 1.0, {-1, 0, 0}, {3, 0, 0}, t, u));
    EXPECT_FALSE(sweepSphereEdge({-5, 0, 0}, {10, 0, 0}, 1.0, {-1, 0, 0}, {3, 0, 0}, t, u))
        << "moving along the edge meets only its ends";

    ASSERT_TRUE(sweepSphereVertex({0, 0, 5}, {0, 0, -10}, 1.0, {0, 0, 0}, t));
    EXPECT_DOUBLE_EQ(t, 0.4);
    ASSERT_TRUE(sweepSphereVertex({0.6, 0, 5}, {0, 0, -10}, 1.0, {0, 0, 0}, t));
    EXPECT_NEAR(t, (5.0 - 0.8) / 10.0, 1e-12);
    EXPECT_FALSE(sweepSphereVertex({1.5, 0, 5}, {0, 0, -10}, 1.0, {0, 0, 0}, t));
}

TEST(SphereSweep, ScaledShapeKeepsTheWorldRadius) {
    // Local geometry scaled by 0.2 along z and moved up by 1: the plane sits
    // at world z = 1 and the unit sphere must stop with its centre at z = 2.
    Mat3d squash;
    squash.m[2][2] = 0.2;
    const ShapeFrame frame = ShapeFrame::fromAffine(squash, {0, 0, 1});
    EXPECT_FALSE(frame.rigid);
    SweepHit hit;
    ASSERT_TRUE(sweep({1, 1, 5}, {0, 0, -4}, 1.0, hit, frame));
    EXPECT_NEAR(hit.t, 0.75, 1e-12);
    EXPECT_NEAR(hit.contact.z + 1.0, 1.0, 1e-12);

    Mat3d singular;
    singular.m[0][0] = 0.0;
    EXPECT_FALSE(ShapeFrame::fromAffine(singular, {}).valid);
}

// The bounds decide which triangles are never swept exactly, so a bound
// above a real contact would let the proxy through: every contact the full
// sweep reports must come at or after both bounds, and a triangle the bounds
// rule out must have none. Sweeps start on, near and inside the triangle,
// for rigid and stretched placements.
TEST(SphereSweep, ContactTimeBoundsNeverComeAfterTheContact) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto point = [&](double scale) {
        return Vec3d(unit(random), unit(random), unit(random)) * scale;
    };
    Mat3d stretch = rotationMatrix({0.9, 0.3, -0.2, 0.1});
    for (int i = 0; i < 3; ++i)
        stretch.m[i][0] *= 1.7;
    const ShapeFrame frames[] = {
        identity, ShapeFrame::fromAffine(rotationMatrix({0.8, 0.1, 0.5, -0.3}), {1, -2, 0.5}),
        ShapeFrame::fromAffine(stretch, {0.3, 0, 0})};
    int hits = 0, ruledOut = 0;
    for (const ShapeFrame& frame : frames)
        for (int i = 0; i < 4000; ++i) {
            const HapticTriangle tri = makeHapticTriangle(point(1.0), point(1.0), point(1.0));
            const double radius = 0.05 + 0.5 * std::fabs(unit(random));
            const Vec3d start = frame.linear * (tri.centre + point(1.5)) + frame.translation;
            // Half the moves head for the triangle.
            const Vec3d aim = frame.linear * tri.centre + frame.translation - start;
            const Vec3d move = point(i % 3 == 0 ? 0.05 : 1.5) + (i % 4 < 2 ? aim : Vec3d());
            const double minT = i % 2 ? -1.0 : -1e-7;
            const SweptSphere sphere = makeSweptSphere(frame, start, move, radius);
            double bound = earliestPossibleHit(makeTriangleReach(tri),
                                               makeSweepReach(frame, sphere, minT),
                                               dot(tri.n, sphere.localStart) - tri.d);
            if (frame.rigid && bound <= 1.0)
                bound = earliestHitByDistance(tri, sphere, bound);
            SweepHit hit;
            const bool touched = sweepSphereTriangle(tri, frame, sphere, minT, hit);
            if (!(bound <= 1.0)) {
                ++ruledOut;
                EXPECT_FALSE(touched) << "ruled out, yet touched at t = " << hit.t;
                continue;
            }
            if (!touched)
                continue;
            ++hits;
            EXPECT_LE(bound, hit.t + 1e-12) << "sweep " << i;
            if (frame.rigid) {
                EXPECT_GE(latestHitByDistance(tri, sphere), hit.t - 1e-12) << "sweep " << i;
            }
        }
    EXPECT_GT(hits, 1000) << "the sweeps must touch often enough to mean something";
    EXPECT_GT(ruledOut, 1000);
}
