#include "detail/ExactPlane.h"
#include "detail/Expansion.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kiln;

namespace {

// z = 0.5 x + 0.25 y + 1, given by three points on it.
ExactPlane slope() {
    const double p[3] = {0, 0, 1}, q[3] = {1, 0, 1.5}, r[3] = {0, 1, 1.25};
    return planeThroughPoints(p, q, r);
}

// A plane through `through` and two more points, nudged by `dz` at `through`.
ExactPlane planeThrough(const double through[3], double dz) {
    const double p[3] = {through[0], through[1], through[2] + dz};
    const double q[3] = {through[0] + 3, through[1] - 1, through[2] + 0.5};
    const double r[3] = {through[0] - 2, through[1] + 5, through[2] - 1.75};
    return planeThroughPoints(p, q, r);
}

} // namespace

TEST(ExactPlane, PointSidesAreExactOneUlpFromThePlane) {
    // A plane through three points whose normal and offset do not round
    // exactly; points one ulp off it.
    const double p[3] = {0.1, 0.2, 0.3}, q[3] = {1.7, -0.3, 0.9}, r[3] = {-0.4, 1.1, 2.3};
    const ExactPlane plane = planeThroughPoints(p, q, r);
    EXPECT_EQ(sideOfPoint(plane, p), 0);
    EXPECT_EQ(sideOfPoint(plane, r), 0);
    const double above[3] = {p[0], p[1], std::nextafter(p[2], 1.0)};
    const double below[3] = {p[0], p[1], std::nextafter(p[2], 0.0)};
    // The normal's z component is positive for this winding.
    EXPECT_GT(plane.coefficient[2], 0.0);
    EXPECT_EQ(sideOfPoint(plane, above), 1);
    EXPECT_EQ(sideOfPoint(plane, below), -1);
    const ExactPlane axis = planeAtAxis(1, 0.2);
    EXPECT_EQ(sideOfPoint(axis, p), 0);
    EXPECT_EQ(sideOfPoint(axis, q), -1);
    EXPECT_FALSE(isDegenerate(plane));
    const double o[3] = {0, 0, 0}, d[3] = {1, 1, 1}, e[3] = {3, 3, 3};
    EXPECT_TRUE(isDegenerate(planeThroughPoints(o, d, e)));
}

TEST(ExactPlane, SidesOfIntersectionPointsOnAxisPlanes) {
    // S meets x = 0.75 and y = 0.5 at (0.75, 0.5, 1.5), exactly representable.
    const ExactPlane s = slope(), kx = planeAtAxis(0, 0.75), ky = planeAtAxis(1, 0.5);
    const double x[3] = {0.75, 0.5, 1.5};
    const int sign = normalsDeterminantSign(s, kx, ky);
    ASSERT_NE(sign, 0);
    const ExactPlane on = planeThrough(x, 0.0);
    EXPECT_EQ(sideOfIntersection(s, kx, ky, sign, on), 0);
    const double tiny = std::ldexp(1.0, -50);
    const ExactPlane up = planeThrough(x, tiny), down = planeThrough(x, -tiny);
    // Moving the plane up puts the point below it, and the other way round.
    const int belowUp = sideOfIntersection(s, kx, ky, sign, up);
    const int belowDown = sideOfIntersection(s, kx, ky, sign, down);
    EXPECT_NE(belowUp, 0);
    EXPECT_EQ(belowDown, -belowUp);
    EXPECT_EQ(belowUp, sideOfPoint(up, x));
    // One axis plane and one general plane through the same point.
    const double r1[3] = {2, 1, 0}, r2[3] = {-1, 3, 4};
    const ExactPlane r = planeThroughPoints(x, r1, r2);
    const int sign2 = normalsDeterminantSign(s, kx, r);
    ASSERT_NE(sign2, 0);
    EXPECT_EQ(sideOfIntersection(s, kx, r, sign2, up), belowUp);
    EXPECT_EQ(sideOfIntersection(s, r, kx, normalsDeterminantSign(s, r, kx), down), belowDown);
}

TEST(ExactPlane, IntersectionPointsRoundTheSameWhateverPlanesGiveThem) {
    // z = x/3 + 2y/7 meets x = 1 and y = 1 at z = 13/21, not a double.
    const double a[3] = {0, 0, 0}, b[3] = {3, 0, 1}, c[3] = {0, 7, 2};
    const ExactPlane s = planeThroughPoints(a, b, c);
    const double x1[3] = {1, 0, 0}, x2[3] = {1, 0, 1}, x3[3] = {1, 1, 0};
    const double y1[3] = {0, 1, 0}, y2[3] = {0, 1, 1}, y3[3] = {1, 1, 0};
    const ExactPlane px = planeThroughPoints(x1, x2, x3), py = planeThroughPoints(y1, y2, y3);
    double first[3], second[3], third[3];
    intersectionPoint(s, px, py, first);
    intersectionPoint(py, s, px, second);
    EXPECT_EQ(first[0], 1.0);
    EXPECT_EQ(first[1], 1.0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(first[k], second[k]);
    // Rounded down: 21 z <= 13 < 21 next(z), decided exactly.
    EXPECT_LE((Expansion::product(21.0, first[2]) - Expansion(13.0)).sign(), 0);
    EXPECT_GT((Expansion::product(21.0, std::nextafter(first[2], 1.0)) - Expansion(13.0)).sign(), 0);
    // The same point as where the vertical edge through (1, 1) crosses s.
    const double p[3] = {1, 1, 0}, q[3] = {1, 1, 2};
    cutPoint(planeThroughEdge(p, q, 0), s, third);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(first[k], third[k]);
}

TEST(ExactPlane, HingeAcrossASharedEdgeGivesTheSidesOfNearlyCoplanarNeighbours) {
    // A skew quad split along a-c: the two halves are within an ulp or so of
    // one plane, so every point of one is nearly on the other.
    const double a[3] = {0.1, 0.2, 0.3}, b[3] = {1.7, -0.3, 0.9}, c[3] = {1.1, 1.4, 1.3};
    // d = a + c - b, then nudged off the plane of a, b, c by one ulp in z.
    double d[3];
    for (int k = 0; k < 3; ++k)
        d[k] = a[k] + c[k] - b[k];
    for (const double nudge : {-1.0, 0.0, 1.0}) {
        double dn[3] = {d[0], d[1], d[2]};
        if (nudge != 0.0)
            dn[2] = std::nextafter(d[2], nudge * HUGE_VAL);
        const ExactPlane on = planeThroughPoints(a, b, c), other = planeThroughPoints(a, c, dn);
        ExactPlane hinge, hingeOnly;
        int factor = 7;
        ASSERT_TRUE(hingeOnSharedEdge(on, other, hinge, factor));
        ASSERT_TRUE(hingePlaneOnSharedEdge(on, other, hingeOnly));
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(hinge.coefficient[k], hingeOnly.coefficient[k]);
        EXPECT_EQ(factor, sideOfPoint(other, b) * sideOfPoint(hinge, b));
        // Exact points of `on` where it meets two axis planes, on both
        // sides of the edge, against the direct (deep) exact test.
        for (const double x : {0.3, 0.9, 1.5})
            for (const double y : {-0.2, 0.4, 1.2}) {
                const ExactPlane kx = planeAtAxis(0, x), ky = planeAtAxis(1, y);
                const int sign = normalsDeterminantSign(on, kx, ky);
                ASSERT_NE(sign, 0);
                EXPECT_EQ(factor * sideOfIntersection(on, kx, ky, sign, hinge),
                          sideOfIntersection(on, kx, ky, sign, other));
            }
    }
    // Planes that share only one corner have no hinge.
    const double e[3] = {3, 1, 2}, f[3] = {2, 4, -1};
    ExactPlane hinge;
    int factor = 0;
    EXPECT_FALSE(hingeOnSharedEdge(planeThroughPoints(a, b, c), planeThroughPoints(a, e, f), hinge, factor));
}
