#include "geometry/Boolean.h"

#include "MeshFixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>

using Kiln::BooleanOperation;
using Kiln::computeBoolean;
using Kiln::MeshArrays;
using namespace fixtures;

namespace {

constexpr double kRelative = 1e-9;

void expectClosedWithVolume(const MeshArrays& m, double volume, const char* what) {
    EXPECT_TRUE(isClosed(m)) << what;
    EXPECT_NEAR(signedVolume(m), volume, kRelative * std::max(1.0, std::fabs(volume))) << what;
}

struct Expected {
    double unite, intersect, subtract;
};

/// Runs all three operations and checks closedness and volumes.
void expectAll(const MeshArrays& a, const MeshArrays& b, const Expected& v) {
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Union), v.unite, "union");
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Intersection), v.intersect, "intersection");
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Difference), v.subtract, "difference");
}

bool hasTriangleInPlaneX(const MeshArrays& m, double x) {
    for (std::size_t t = 0; t < m.triangleCount(); ++t) {
        bool all = true;
        for (int k = 0; k < 3; ++k)
            all &= m.positions[3 * m.indices[3 * t + k]] == x;
        if (all)
            return true;
    }
    return false;
}

} // namespace

TEST(Boolean, DisjointCubes) {
    const MeshArrays a = cube(0, 0, 0, 1), b = cube(3, 0, 0, 1);
    const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
    EXPECT_EQ(u.triangleCount(), 24u);
    expectClosedWithVolume(u, 2.0, "union");
    EXPECT_EQ(computeBoolean(a, b, BooleanOperation::Intersection).triangleCount(), 0u);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    EXPECT_EQ(d.triangleCount(), 12u);
    expectClosedWithVolume(d, 1.0, "difference");
}

TEST(Boolean, CubeMinusCubePokingOutOfOneFace) {
    const MeshArrays a = cube(0, 0, 0, 2), b = box(0.5, 0.5, 1.5, 1.5, 1.5, 3.0);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    expectClosedWithVolume(d, 8.0 - 0.5, "difference");
    // The pocket's floor is B's bottom face reversed: it faces up.
    bool floorFacesUp = false;
    for (std::size_t t = 0; t < d.triangleCount(); ++t) {
        const double* p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = &d.positions[3 * d.indices[3 * t + k]];
        if (p[0][2] == 1.5 && p[1][2] == 1.5 && p[2][2] == 1.5) {
            const double nz = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
            floorFacesUp = nz > 0;
        }
    }
    EXPECT_TRUE(floorFacesUp);
    expectAll(a, b, {8.0 + 0.5 * 1.0 * 1.0 * 1.0 + 0.0 * 1.0 + 1.0 * 1.0 * 1.0 - 0.5 - 0.0 + 0.0, 0.5, 7.5});
}

TEST(Boolean, CubesSharingAFace) {
    const MeshArrays a = cube(0, 0, 0, 1), b = cube(1, 0, 0, 1);
    const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
    expectClosedWithVolume(u, 2.0, "union");
    EXPECT_FALSE(hasTriangleInPlaneX(u, 1.0));
    EXPECT_EQ(computeBoolean(a, b, BooleanOperation::Intersection).triangleCount(), 0u);
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Difference), 1.0, "touching difference");
}

TEST(Boolean, CubesTouchingAlongAnEdgeOrAtAVertex) {
    const MeshArrays a = cube(0, 0, 0, 1);
    for (const MeshArrays& b : {cube(1, 1, 0, 1), cube(1, 1, 1, 1), box(1, 1, 0.25, 2, 2, 0.75)}) {
        const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
        EXPECT_TRUE(isClosed(u));
        EXPECT_NEAR(signedVolume(u), 1.0 + signedVolume(b), kRelative);
        EXPECT_EQ(computeBoolean(a, b, BooleanOperation::Intersection).triangleCount(), 0u);
        expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Difference), 1.0, "difference");
    }
}

TEST(Boolean, BoxesAlignedAlongSharedSidePlanes) {
    // Four faces of each box overlap coplanar faces of the other.
    const MeshArrays a = box(0, 0, 0, 2, 1, 1), b = box(1, 0, 0, 3, 1, 1);
    expectAll(a, b, {3.0, 1.0, 1.0});
    // Only the bottom faces coplanar, B taller.
    expectAll(a, box(1, 0, 0, 3, 1, 2), {2.0 + 4.0 - 1.0, 1.0, 1.0});
}

TEST(Boolean, IdenticalOperands) {
    const MeshArrays a = cube(0, 0, 0, 1);
    const MeshArrays u = computeBoolean(a, a, BooleanOperation::Union);
    expectClosedWithVolume(u, 1.0, "union");
    EXPECT_EQ(u.triangleCount(), 12u); // each face kept once
    expectClosedWithVolume(computeBoolean(a, a, BooleanOperation::Intersection), 1.0, "intersection");
    EXPECT_EQ(computeBoolean(a, a, BooleanOperation::Difference).triangleCount(), 0u);
}

TEST(Boolean, SubtractingABoxThatOnlyTouchesAFace) {
    const MeshArrays a = cube(0, 0, 0, 2);
    // Outside, sharing part of the face x = 2.
    const MeshArrays d = computeBoolean(a, box(2, 0.5, 0.5, 3, 1.5, 1.5), BooleanOperation::Difference);
    expectClosedWithVolume(d, 8.0, "difference");
    // Inside, flush with the face x = 2: a notch open to that side.
    expectAll(a, box(1, 0.5, 0.5, 2, 1.5, 1.5), {8.0, 1.0, 7.0});
}

TEST(Boolean, NestedOperands) {
    const MeshArrays outer = cube(0, 0, 0, 3), inner = cube(1, 1, 1, 1);
    expectAll(outer, inner, {27.0, 1.0, 26.0});
    expectAll(inner, outer, {27.0, 1.0, 0.0});
}

TEST(Boolean, VerticesExactlyOnTheOtherOperandsFaces) {
    // B's corners lie on A's faces and edges, B rotated 45 degrees.
    MeshArrays b = box(0.5, 0.5, -1, 1.5, 1.5, 2);
    rotateZ(b, M_PI / 4, 1.0, 1.0);
    const MeshArrays a = cube(0, 0, 0, 2);
    const double ib = 1.0 * 2.0; // B's cross-section 1 over height 2 inside A
    expectAll(a, b, {8.0 + 3.0 - ib, ib, 8.0 - ib});
    // Vertex of B exactly on A's top face.
    MeshArrays c = box(0.5, 0.5, 2, 1.5, 1.5, 3);
    c.positions[3 * 0 + 2] = 1.0; // corner pulled down onto... inside A
    const MeshArrays u = computeBoolean(a, c, BooleanOperation::Union);
    EXPECT_TRUE(isClosed(u));
    EXPECT_NEAR(signedVolume(u), 8.0 + signedVolume(c) -
                                     signedVolume(computeBoolean(a, c, BooleanOperation::Intersection)),
                kRelative);
}

TEST(Boolean, OperandRotatedByASmallAngle) {
    const MeshArrays a = cube(0, 0, 0, 1);
    for (const double angle : {1e-3, 1e-7, 1e-12}) {
        MeshArrays b = cube(0, 0, 0, 1);
        rotateZ(b, angle, 0.5, 0.5);
        const double vb = signedVolume(b);
        const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
        const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
        const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
        EXPECT_TRUE(isClosed(u)) << angle;
        EXPECT_TRUE(isClosed(i)) << angle;
        EXPECT_TRUE(isClosed(d)) << angle;
        EXPECT_NEAR(signedVolume(u) + signedVolume(i), 1.0 + vb, kRelative) << angle;
        EXPECT_NEAR(signedVolume(d) + signedVolume(i), 1.0, kRelative) << angle;
    }
}

TEST(Boolean, ThinSlivers) {
    const MeshArrays a = cube(0, 0, 0, 1);
    for (const double offset : {1e-9, 1e-13}) {
        const MeshArrays b = box(offset, -0.5, -0.5, 2, 1.5, 1.5);
        expectAll(a, b, {offset + 2.0 * 2.0 * (2.0 - offset), 1.0 - offset, offset});
    }
}

TEST(Boolean, OverlappingSpheresSatisfyInclusionExclusion) {
    const MeshArrays a = sphere(0, 0, 0, 1.0, 16, 24), b = sphere(0.6, 0.3, 0.2, 0.8, 14, 20);
    const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
    const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    EXPECT_TRUE(isClosed(u));
    EXPECT_TRUE(isClosed(i));
    EXPECT_TRUE(isClosed(d));
    const double va = signedVolume(a), vb = signedVolume(b);
    EXPECT_GT(signedVolume(i), 0.0);
    EXPECT_NEAR(signedVolume(u) + signedVolume(i), va + vb, kRelative);
    EXPECT_NEAR(signedVolume(d) + signedVolume(i), va, kRelative);
}

// Surfaces a hair apart, where every triangle's box overlaps some box of
// the other operand: only the triangles that really meet are clipped, and
// the rest are decided a connected set at a time.
TEST(Boolean, NearlyCoincidentSurfacesAreClippedOnlyWhereTheyMeet) {
    const MeshArrays a = sphere(0, 0, 0, 1.0, 24, 32);
    const double va = signedVolume(a);
    {
        // Concentric and a hair smaller: nothing meets.
        const MeshArrays b = sphere(0, 0, 0, 1.0 - 1e-7, 24, 32);
        const double vb = signedVolume(b);
        Kiln::BooleanReport report;
        expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Difference, &report), va - vb, "shell");
        EXPECT_EQ(report.nearTriangles[0] + report.nearTriangles[1], 0u);
        expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Union), va, "nested union");
        expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Intersection), vb, "nested intersection");
    }
    {
        // Shifted by a hair: the surfaces cross along a band.
        const MeshArrays b = shifted(a, 1e-4, 0.5e-4, 0.0);
        Kiln::BooleanReport report;
        const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union, &report);
        const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
        const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
        EXPECT_TRUE(isClosed(u));
        EXPECT_TRUE(isClosed(i));
        EXPECT_TRUE(isClosed(d));
        EXPECT_NEAR(signedVolume(u) + signedVolume(i), 2.0 * va, kRelative);
        EXPECT_NEAR(signedVolume(d) + signedVolume(i), va, kRelative);
        EXPECT_GT(report.nearTriangles[0], 0u);
        EXPECT_LT(report.nearTriangles[0], a.triangleCount() / 2);
    }
}

// A copy of a surface with a dent and a bump: its other faces coincide with
// the original's and are decided by them; only the triangles around the
// moved vertices are clipped.
TEST(Boolean, FacesThatCoincideAreDecidedByTheirTwins) {
    const MeshArrays a = sphere(0, 0, 0, 1.0, 24, 32);
    MeshArrays b = a;
    const auto moveRadially = [&](std::size_t vertex, double factor) {
        for (int k = 0; k < 3; ++k)
            b.positions[3 * vertex + k] *= factor;
    };
    moveRadially(200, 0.9);
    moveRadially(420, 1.1);
    const double va = signedVolume(a), vb = signedVolume(b);
    Kiln::BooleanReport report;
    const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union, &report);
    const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    const MeshArrays r = computeBoolean(b, a, BooleanOperation::Difference);
    for (const MeshArrays* result : {&u, &i, &d, &r})
        EXPECT_TRUE(isClosed(*result));
    EXPECT_NEAR(signedVolume(u) + signedVolume(i), va + vb, kRelative);
    EXPECT_NEAR(signedVolume(d) + signedVolume(i), va, kRelative);
    EXPECT_NEAR(signedVolume(r) + signedVolume(i), vb, kRelative);
    // The dent and the bump are both there: neither result is empty.
    EXPECT_GT(signedVolume(d), 0.0);
    EXPECT_GT(signedVolume(r), 0.0);
    EXPECT_GT(report.nearTriangles[0], 0u);
    EXPECT_LT(report.nearTriangles[0], a.triangleCount() / 20);
}

TEST(Boolean, RandomlyPlacedOperandsGiveClosedResults) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int run = 0; run < 24; ++run) {
        MeshArrays a, b;
        switch (run % 3) {
        case 0: // a sphere and a rotated cube
            a = sphere(0, 0, 0, 1, 8, 10);
            b = cube(0, 0, 0, 1);
            break;
        case 1: // two spheres
            a = sphere(0, 0, 0, 1, 10, 12);
            b = sphere(0.5 * uniform(random), 0.5 * uniform(random), 0.5 * uniform(random), 0.8, 9, 11);
            break;
        default: // a cube and a box through it, sharing two side planes
            a = cube(0, 0, 0, 2);
            b = box(0.5 * (1 + uniform(random)), 0, 0.5, 1.5, 2, 1.5 + uniform(random));
            break;
        }
        if (run % 3 != 2)
            rotateXYZ(b, uniform(random), uniform(random), uniform(random));
        const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
        const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
        const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
        EXPECT_TRUE(isClosed(u) && isClosed(i) && isClosed(d)) << "run " << run;
        const double va = signedVolume(a), vb = signedVolume(b);
        EXPECT_NEAR(signedVolume(u) + signedVolume(i), va + vb, kRelative * (va + vb)) << "run " << run;
        EXPECT_NEAR(signedVolume(d) + signedVolume(i), va, kRelative * (va + vb)) << "run " << run;
    }
}

TEST(Boolean, ColoursComeFromTheOperands) {
    MeshArrays a = cube(0, 0, 0, 2), b = box(0.5, 0.5, 1.5, 1.5, 1.5, 3.0);
    a.colours.assign(4 * a.vertexCount(), 0.25f);
    b.colours.assign(4 * b.vertexCount(), 0.75f);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    ASSERT_EQ(d.colours.size(), 4 * d.vertexCount());
    bool sawA = false, sawB = false;
    for (std::size_t v = 0; v < d.vertexCount(); ++v) {
        const float c = d.colours[4 * v];
        EXPECT_TRUE(c == 0.25f || c == 0.75f) << c;
        sawA |= c == 0.25f;
        sawB |= c == 0.75f;
    }
    EXPECT_TRUE(sawA);
    EXPECT_TRUE(sawB);
}

TEST(Boolean, DegenerateTrianglesAreLeftOutAndReported) {
    MeshArrays a = cube(0, 0, 0, 1);
    for (const std::uint32_t v : {0u, 0u, 1u}) // two equal corners
        a.indices.push_back(v);
    Kiln::BooleanReport report;
    const MeshArrays u = computeBoolean(a, cube(0.5, 0.5, 0.5, 1), BooleanOperation::Union, &report);
    EXPECT_EQ(report.degenerateTriangles[0], 1u);
    expectClosedWithVolume(u, 2.0 - 0.125, "union");
}

TEST(Boolean, OpenOrSelfIntersectingOperandsDoNotFail) {
    MeshArrays open = cube(0, 0, 0, 1);
    open.indices.resize(open.indices.size() - 6); // drop one side
    const MeshArrays b = cube(0.5, 0.5, 0.5, 1);
    for (auto op : {BooleanOperation::Union, BooleanOperation::Intersection, BooleanOperation::Difference}) {
        EXPECT_NO_THROW(computeBoolean(open, b, op));
        EXPECT_NO_THROW(computeBoolean(b, open, op));
    }
    MeshArrays crossing = cube(0, 0, 0, 1);
    const MeshArrays second = cube(0.3, 0.3, 0.3, 1);
    const std::uint32_t offset = static_cast<std::uint32_t>(crossing.vertexCount());
    crossing.positions.insert(crossing.positions.end(), second.positions.begin(), second.positions.end());
    for (const std::uint32_t v : second.indices)
        crossing.indices.push_back(v + offset);
    EXPECT_NO_THROW(computeBoolean(crossing, b, BooleanOperation::Union));
    EXPECT_NO_THROW(computeBoolean(MeshArrays{}, b, BooleanOperation::Union));
}

namespace {

/// A box whose faces are grids of n x n quads (two triangles each): many
/// vertices, so its pre-partition cuts the other operand into many cells.
MeshArrays gridBox(const double lo[3], const double hi[3], int n) {
    MeshArrays m;
    std::map<std::array<double, 3>, std::uint32_t> index;
    auto vertex = [&](const std::array<double, 3>& p) {
        const auto found = index.emplace(p, static_cast<std::uint32_t>(m.vertexCount()));
        if (found.second)
            m.positions.insert(m.positions.end(), p.begin(), p.end());
        return found.first->second;
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int high = 0; high < 2; ++high) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            auto at = [&](int i, int j) {
                std::array<double, 3> p;
                p[axis] = high ? hi[axis] : lo[axis];
                p[u] = lo[u] + (hi[u] - lo[u]) * i / n;
                p[v] = lo[v] + (hi[v] - lo[v]) * j / n;
                return vertex(p);
            };
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const std::uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
                    // (u, v, axis) is right-handed: counter-clockwise in (u, v) faces +axis.
                    if (high)
                        m.indices.insert(m.indices.end(), {a, b, c, a, c, d});
                    else
                        m.indices.insert(m.indices.end(), {a, c, b, a, d, c});
                }
        }
    return m;
}


} // namespace

TEST(Boolean, PiecesJoinedAcrossPrePartitionCutsStayClosed) {
    // The finely gridded box cuts the cube at x = 2; its pre-partition
    // slices the cube's faces everywhere, so most kept pieces are joined
    // back across straight cuts, dropping the corners those cuts left.
    const MeshArrays a = cube(0, 0, 0, 4);
    const double lo[3] = {2, -1, -1}, hi[3] = {6, 5, 5};
    const MeshArrays b = gridBox(lo, hi, 9);
    ASSERT_TRUE(isClosed(b));
    ASSERT_NEAR(signedVolume(b), 4.0 * 6.0 * 6.0, 1e-9);
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Difference), 2.0 * 4.0 * 4.0, "difference");
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Intersection), 2.0 * 4.0 * 4.0, "intersection");
    expectClosedWithVolume(computeBoolean(a, b, BooleanOperation::Union), 64.0 + 4.0 * 6.0 * 6.0 - 32.0, "union");
}

TEST(Boolean, SphereBreakingThroughAFaceGivesClosedResults) {
    // The sphere breaks through the top face's lower-left triangle only;
    // the other top triangle shares its cells but never meets it.
    const MeshArrays a = cube(0, 0, 0, 4), b = sphere(1, 1, 3.9, 0.8, 23, 32);
    const MeshArrays d = computeBoolean(a, b, BooleanOperation::Difference);
    const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
    EXPECT_TRUE(isClosed(d) && isClosed(i));
    EXPECT_NEAR(signedVolume(d) + signedVolume(i), 64.0, 64.0 * kRelative);
}
