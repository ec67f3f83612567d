// The shape of the result's triangulation: where the pieces of a cut
// triangle are joined again, no point is left that neither operand's
// corners nor the seam explain, and joined regions that are not convex are
// covered once, without folds or slivers.
#include "geometry/Boolean.h"

#include "MeshFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

using Kiln::BooleanOperation;
using Kiln::computeBoolean;
using Kiln::MeshArrays;
using namespace fixtures;

namespace {

using Point = std::array<double, 3>;

Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Point cross(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Point pointOf(const MeshArrays& m, std::uint32_t v) {
    return {m.positions[3 * v], m.positions[3 * v + 1], m.positions[3 * v + 2]};
}

// Distance from p to triangle a, b, c: to its plane when p projects inside,
// else to the nearest side.
double distanceToTriangle(const Point& p, const Point& a, const Point& b, const Point& c) {
    const Point n = cross(sub(b, a), sub(c, a));
    const double n2 = dot(n, n);
    if (n2 > 0 && dot(cross(sub(b, a), sub(p, a)), n) >= 0 && dot(cross(sub(c, b), sub(p, b)), n) >= 0 &&
        dot(cross(sub(a, c), sub(p, c)), n) >= 0)
        return std::fabs(dot(sub(p, a), n)) / std::sqrt(n2);
    double best = HUGE_VAL;
    for (const auto& [s, e] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) {
        const Point d = sub(e, s);
        const double t = std::clamp(dot(sub(p, s), d) / std::max(dot(d, d), 1e-300), 0.0, 1.0);
        const Point q = sub(p, {s[0] + t * d[0], s[1] + t * d[1], s[2] + t * d[2]});
        best = std::min(best, std::sqrt(dot(q, q)));
    }
    return best;
}

double distanceToSurface(const Point& p, const MeshArrays& m) {
    double best = HUGE_VAL;
    for (std::size_t t = 0; t < m.triangleCount(); ++t)
        best = std::min(best, distanceToTriangle(p, pointOf(m, m.indices[3 * t]), pointOf(m, m.indices[3 * t + 1]),
                                                 pointOf(m, m.indices[3 * t + 2])));
    return best;
}

// Every result vertex is a corner of an operand or lies on both surfaces
// (a seam point). A point that splitting left inside one operand's
// triangle, away from the other surface, only adds triangles.
void expectOnlyCornersAndSeamPoints(const MeshArrays& a, const MeshArrays& b, const MeshArrays& result,
                                    const char* what) {
    std::set<Point> corners;
    for (const MeshArrays* m : {&a, &b})
        for (std::uint32_t v = 0; v < m->vertexCount(); ++v)
            corners.insert(pointOf(*m, v));
    int stray = 0;
    for (std::uint32_t v = 0; v < result.vertexCount(); ++v) {
        const Point p = pointOf(result, v);
        if (!corners.count(p) && (distanceToSurface(p, a) > 1e-9 || distanceToSurface(p, b) > 1e-9))
            ++stray;
    }
    EXPECT_EQ(stray, 0) << what << ": points neither corners nor on the seam";
}

// In each plane of an axis-aligned result, the triangles' areas add up to
// the area of their sum: no triangle overlaps or folds over another, and
// none is a sliver.
void expectPlanesCoveredOnce(const MeshArrays& m, const char* what) {
    std::map<std::pair<int, double>, std::pair<double, double>> planes; // (axis, offset) -> (|sum|, sum of |.|)
    for (std::size_t t = 0; t < m.triangleCount(); ++t) {
        const Point p0 = pointOf(m, m.indices[3 * t]);
        const Point n = cross(sub(pointOf(m, m.indices[3 * t + 1]), p0), sub(pointOf(m, m.indices[3 * t + 2]), p0));
        const double area = std::sqrt(dot(n, n));
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(n[k]) > std::fabs(n[axis]))
                axis = k;
        EXPECT_GT(area, 1e-9) << what << ": a sliver";
        auto& [sum, total] = planes[{axis, p0[axis]}];
        sum += n[axis];
        total += std::fabs(n[axis]);
    }
    for (const auto& [plane, areas] : planes)
        EXPECT_NEAR(std::fabs(areas.first), areas.second, 1e-9) << what << ": overlap in plane " << plane.second;
}

} // namespace

TEST(BooleanOutput, OverlappingSpheresKeepOnlyCornersAndSeamPoints) {
    const MeshArrays a = sphere(0, 0, 0, 1.0, 12, 18), b = sphere(0.5, 0.3, 0.2, 0.9, 10, 16);
    for (const auto& [operation, what] : {std::pair{BooleanOperation::Union, "union"},
                                          std::pair{BooleanOperation::Intersection, "intersection"},
                                          std::pair{BooleanOperation::Difference, "difference"}}) {
        const MeshArrays result = computeBoolean(a, b, operation);
        EXPECT_TRUE(isClosed(result)) << what;
        expectOnlyCornersAndSeamPoints(a, b, result, what);
    }
}

TEST(BooleanOutput, NotchedHoledAndCornerCutFacesAreCoveredOnce) {
    const MeshArrays block = box(0, 0, 0, 4, 4, 2);
    struct Cut {
        MeshArrays cutter;
        double removed;
        const char* what;
        bool holed; ///< a face with a hole keeps its pieces and their points

    };
    // A notch into one side of the top face, a shaft through it (a hole in
    // the face) and a corner taken off.
    const std::vector<Cut> cuts = {
        {box(1, -1, 1, 2, 1.5, 3), 1.0 * 1.5 * 1.0, "notch", false},
        {box(1, 1, 1, 2, 2, 3), 1.0, "shaft", true},
        {box(3, 3, 1, 5, 5, 3), 1.0, "corner", false},
    };
    for (const Cut& cut : cuts) {
        const MeshArrays result = computeBoolean(block, cut.cutter, BooleanOperation::Difference);
        EXPECT_TRUE(isClosed(result)) << cut.what;
        EXPECT_NEAR(signedVolume(result), 32.0 - cut.removed, 1e-9) << cut.what;
        expectPlanesCoveredOnce(result, cut.what);
        if (!cut.holed)
            expectOnlyCornersAndSeamPoints(block, cut.cutter, result, cut.what);
    }
    // A turned box crosses many triangles of the block at once.
    MeshArrays turned = box(-1, -1, -1, 1, 1, 1);
    rotateXYZ(turned, 0.3, 0.2, 0.7);
    const MeshArrays shifted = fixtures::shifted(turned, 2, 2, 2);
    const MeshArrays result = computeBoolean(block, shifted, BooleanOperation::Difference);
    EXPECT_TRUE(isClosed(result));
    expectOnlyCornersAndSeamPoints(block, shifted, result, "turned box");
}
