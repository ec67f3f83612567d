// Operands a careless or hostile file can produce: non-finite or collapsed
// coordinates, pieces far apart or of very different sizes. Results go
// through toDynamicMesh, as every caller's do, since its float rounding and
// clean-up are where far-apart pieces used to lose their small neighbours.
#include "geometry/Boolean.h"
#include "geometry/FastBooleanBuilder.h"
#include "log/Exception.h"

#include "MeshFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using Kiln::BooleanOperation;
using Kiln::computeBoolean;
using Kiln::MeshArrays;
using namespace fixtures;

namespace {

MeshArrays join(MeshArrays a, const MeshArrays& b) {
    const auto offset = static_cast<std::uint32_t>(a.vertexCount());
    a.positions.insert(a.positions.end(), b.positions.begin(), b.positions.end());
    for (const std::uint32_t i : b.indices)
        a.indices.push_back(i + offset);
    return a;
}

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
        const auto together = finished(join(small, big), box(0.25, 0.25, 0.25, 1, 1, 1), BooleanOperation::Union);
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
