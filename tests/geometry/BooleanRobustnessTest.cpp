// Operands a careless or hostile file can produce: non-finite or collapsed
// coordinates, pieces far apart or of very different sizes. Results go
// through toDynamicMesh, as every caller's do, since its float rounding and
// clean-up are where far-apart pieces used to lose their small neighbours.
#include "geometry/Boolean.h"
#include "geometry/FastBooleanBuilder.h"
#include "log/Exception.h"
#include "mesh/DisjointSets.h"

#include "MeshFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using Kiln::BooleanOperation;
using Kiln::computeBoolean;
using Kiln::MeshArrays;
using namespace fixtures;

namespace {

// Signed volume of the faces whose corners all lie within `radius` of the
// origin: one piece of a result holding pieces of very different sizes.
double volumeNearOrigin(const Kiln::DynamicMesh& mesh, double radius) {
    double sixfold = 0.0;
    for (const Kiln::Face& f : mesh.getFaces()) {
        double p[3][3];
        bool near = true;
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c) {
                p[k][c] = mesh.getVertex(f[k]).position[c];
                near &= std::fabs(p[k][c]) <= radius;
            }
        if (near)
            sixfold += p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) +
                       p[0][1] * (p[1][2] * p[2][0] - p[1][0] * p[2][2]) +
                       p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
    }
    return sixfold / 6.0;
}

std::unique_ptr<Kiln::DynamicMesh> finished(const MeshArrays& a, const MeshArrays& b, BooleanOperation operation) {
    return Kiln::toDynamicMesh(computeBoolean(a, b, operation));
}

} // namespace

TEST(BooleanRobustness, NonFiniteOrBrokenOperandsAreRefusedNotCrashedOn) {
    const MeshArrays good = cube(0, 0, 0, 1);
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        MeshArrays poisoned = cube(0.5, 0.5, 0.5, 1);
        poisoned.positions[4] = bad;
        for (const auto operation :
             {BooleanOperation::Union, BooleanOperation::Intersection, BooleanOperation::Difference}) {
            EXPECT_THROW(computeBoolean(good, poisoned, operation), Kiln::Exception);
            EXPECT_THROW(computeBoolean(poisoned, good, operation), Kiln::Exception);
        }
    }
    MeshArrays dangling = cube(0.5, 0.5, 0.5, 1);
    dangling.indices[5] = 8;
    EXPECT_THROW(computeBoolean(good, dangling, BooleanOperation::Union), Kiln::Exception);
}

TEST(BooleanRobustness, CollapsedOperandCountsAsEmpty) {
    // Every corner at one point, as a cube far out gets when its float
    // coordinates round together, or a group scaled by 0.
    MeshArrays point = cube(0, 0, 0, 1);
    for (double& c : point.positions)
        c = 1e15;
    const MeshArrays a = box(-1, -1, -1, 1, 1, 1);
    const auto unite = finished(a, point, BooleanOperation::Union);
    ASSERT_TRUE(unite);
    EXPECT_TRUE(Kiln::isClosed(*unite));
    EXPECT_DOUBLE_EQ(Kiln::signedVolume(*unite), 8.0);
    EXPECT_FALSE(finished(a, point, BooleanOperation::Intersection));
    const auto subtract = finished(point, a, BooleanOperation::Difference);
    EXPECT_FALSE(subtract);
}

TEST(BooleanRobustness, FarApartPiecesKeepTheirSmallNeighbour) {
    // A piece 1e7 or 1e20 away used to set the snapping tolerance for all:
    // the half-unit cube then collapsed or lost corners.
    const MeshArrays small = box(0, 0, 0, 0.5, 0.5, 0.5);
    for (const double far : {1e7, 1e20}) {
        const double size = far / 1e4;
        const MeshArrays big = cube(far, 0, 0, size);
        const auto unite = finished(small, big, BooleanOperation::Union);
        ASSERT_TRUE(unite) << far;
        EXPECT_TRUE(Kiln::isClosed(*unite)) << far;
        EXPECT_EQ(unite->getFaceCount(), 24u) << far;
        EXPECT_NEAR(volumeNearOrigin(*unite, 1.0), 0.125, 1e-6) << far;
        // The same with both pieces in one operand.
        const auto together = finished(joined(small, big), box(0.25, 0.25, 0.25, 1, 1, 1), BooleanOperation::Union);
        ASSERT_TRUE(together) << far;
        EXPECT_TRUE(Kiln::isClosed(*together)) << far;
        EXPECT_NEAR(volumeNearOrigin(*together, 2.0), 0.125 + 0.75 * 0.75 * 0.75 - 0.25 * 0.25 * 0.25, 1e-6)
            << far;
    }
}

TEST(BooleanRobustness, TinyCavitiesInLargeSolidsStayWhole) {
    // Sizes a factor 1e6 and 1e9 apart: the cavity keeps its twelve faces
    // and its volume, and the outer box is untouched.
    for (const double ratio : {1e6, 1e9}) {
        const double half = 1.0, tiny = half / ratio;
        const auto d = finished(box(-half, -half, -half, half, half, half), box(-tiny, -tiny, -tiny, tiny, tiny, tiny),
                                BooleanOperation::Difference);
        ASSERT_TRUE(d) << ratio;
        EXPECT_TRUE(Kiln::isClosed(*d)) << ratio;
        EXPECT_EQ(d->getFaceCount(), 24u) << ratio;
        const double cavity = 8.0 * tiny * tiny * tiny;
        EXPECT_NEAR(volumeNearOrigin(*d, 2.0 * tiny), -cavity, 1e-5 * cavity) << ratio;
    }
}

TEST(BooleanRobustness, OverlappingCubesAtHugeCoordinatesStayExact) {
    // Cut points at ±1e20: the exact predicates must not lose them.
    for (const double at : {1e20, -1e20}) {
        const double s = 1e19;
        const MeshArrays a = cube(at, at, at, 2 * s);
        const MeshArrays b = cube(at + s, at + s, at + s, 2 * s);
        const auto unite = finished(a, b, BooleanOperation::Union);
        ASSERT_TRUE(unite) << at;
        EXPECT_TRUE(Kiln::isClosed(*unite)) << at;
        // The volume in float corners is 15 s^3 to float precision.
        EXPECT_NEAR(Kiln::signedVolume(*unite) / (s * s * s), 15.0, 1e-5) << at;
    }
}

namespace {

// A op B for all three operations: every result closed, and the volumes
// consistent with each other (union + intersection = A + B, difference =
// A - intersection) to float rounding of the output.
// Pieces of a mesh joined across corners at equal positions.
std::size_t pieceCount(const MeshArrays& m) {
    const std::vector<std::uint32_t> canonical = Kiln::weldByPosition(m.positions.data(), m.vertexCount());
    Kiln::DisjointSets sets(m.vertexCount());
    for (std::size_t t = 0; t < m.triangleCount(); ++t)
        for (int k = 1; k < 3; ++k)
            sets.join(canonical[m.indices[3 * t]], canonical[m.indices[3 * t + k]]);
    std::vector<std::uint32_t> roots;
    for (const std::uint32_t v : m.indices)
        roots.push_back(sets.find(canonical[v]));
    std::sort(roots.begin(), roots.end());
    return static_cast<std::size_t>(std::unique(roots.begin(), roots.end()) - roots.begin());
}

std::size_t pieceCount(const Kiln::DynamicMesh& mesh) {
    return pieceCount(Kiln::toMeshArrays(mesh));
}

void expectConsistent(const MeshArrays& a, const MeshArrays& b, const char* what) {
    const auto u = finished(a, b, BooleanOperation::Union);
    const auto i = finished(a, b, BooleanOperation::Intersection);
    const auto d = finished(a, b, BooleanOperation::Difference);
    ASSERT_TRUE(u && i && d) << what;
    for (const Kiln::DynamicMesh* result : {u.get(), i.get(), d.get()})
        EXPECT_TRUE(Kiln::isClosed(*result)) << what;
    // Overlapping copies of each piece unite and meet in one piece each: a
    // stray open fragment beside the body would add pieces.
    EXPECT_EQ(pieceCount(*u), pieceCount(a)) << what;
    EXPECT_EQ(pieceCount(*i), pieceCount(a)) << what;
    const double va = Kiln::signedVolume(a), vb = Kiln::signedVolume(b);
    const double tolerance = 1e-5 * (va + vb);
    EXPECT_NEAR(Kiln::signedVolume(*u) + Kiln::signedVolume(*i), va + vb, tolerance) << what;
    EXPECT_NEAR(Kiln::signedVolume(*d) + Kiln::signedVolume(*i), va, tolerance) << what;
}

} // namespace

TEST(BooleanRobustness, IrregularMeshesWithAShiftedCopyGiveClosedResultsWithoutStrayFragments) {
    // Shapes like scanned and modelled figures: bumpy, thin and of higher
    // genus, each against a copy moved by a few percent of its size.
    const MeshArrays noisy = noisySphere(40, 80, 0.08, 7);
    expectConsistent(noisy, shifted(noisy, 0.031, 0.047, 0.023), "noisy sphere");
    const MeshArrays thin = thinShell(30, 60, 0.01, 11);
    expectConsistent(thin, shifted(thin, 0.02, 0.013, 0.0031), "thin shell");
    const MeshArrays genus = twoTori(60, 24, 0.1, 13);
    ASSERT_TRUE(Kiln::isClosed(genus));
    expectConsistent(genus, shifted(genus, 0.05, 0.033, 0.021), "two tori");
}

TEST(BooleanRobustness, SmallPiecesOnACornerAtTheOriginStayClosed) {
    // The rotated box's faces are not exactly flat, so a cut point beside
    // its corner at the origin lies some 1e-23 off that corner: tolerances
    // scaled by the points' own coordinates (near zero there) left that
    // sliver as a seam.
    MeshArrays big = box(0, 0, 0, 1, 1, 1);
    rotateXYZ(big, 4.3, 0.8, 0.7);
    for (const double radius : {1e-3, 1e-6, 1e-8}) {
        const MeshArrays small = sphere(0, 0, 0, radius, 6, 8);
        const MeshArrays inside = computeBoolean(big, small, BooleanOperation::Intersection);
        const MeshArrays outside = computeBoolean(small, big, BooleanOperation::Difference);
        EXPECT_TRUE(Kiln::isClosed(inside)) << radius;
        EXPECT_TRUE(Kiln::isClosed(outside)) << radius;
        EXPECT_TRUE(Kiln::isClosed(computeBoolean(big, small, BooleanOperation::Union))) << radius;
        EXPECT_TRUE(Kiln::isClosed(computeBoolean(big, small, BooleanOperation::Difference))) << radius;
        const double whole = Kiln::signedVolume(small);
        EXPECT_NEAR(Kiln::signedVolume(inside) + Kiln::signedVolume(outside), whole, 1e-9 * whole) << radius;
        EXPECT_GT(Kiln::signedVolume(inside), 0.01 * whole) << radius;
    }
}

TEST(BooleanRobustness, ThinOverlapsBesideLargeTriangles) {
    // The operands overlap in a slab 1e-12 thick while their triangles reach
    // a whole unit beyond it: grid cell numbers in the broad phase exceeded
    // the range of int.
    const MeshArrays a = box(0, 0, 0, 1, 1, 1), b = box(1 - 1e-12, 0, 0, 2, 1, 1);
    const MeshArrays u = computeBoolean(a, b, BooleanOperation::Union);
    EXPECT_TRUE(Kiln::isClosed(u));
    EXPECT_NEAR(Kiln::signedVolume(u), 2.0, 1e-9);
    const MeshArrays i = computeBoolean(a, b, BooleanOperation::Intersection);
    EXPECT_TRUE(Kiln::isClosed(i));
    EXPECT_NEAR(Kiln::signedVolume(i), 1e-12, 1e-15);
}
