// Operands checked before the exact kernel runs: self-crossing surfaces
// found exactly, overlapping pieces united, and the refusals that replace
// a wrong result.
#include "geometry/BooleanOperands.h"
#include "log/Exception.h"

#include "MeshFixtures.h"

#include <gtest/gtest.h>

#include <initializer_list>

using Kiln::BooleanOperand;
using Kiln::BooleanOperation;
using Kiln::BooleanRefused;
using Kiln::intersectsItself;
using Kiln::MeshArrays;
using namespace fixtures;

namespace {

// A tetrahedron with its apex at `apex` and its base triangle around
// apex + axis, wound outwards.
MeshArrays tetrahedron(const double apex[3], double ax, double ay, double az, double spread, double turn) {
    MeshArrays m;
    m.positions.assign(apex, apex + 3);
    // Two unit vectors across the axis.
    const double length = std::sqrt(ax * ax + ay * ay + az * az);
    const double n[3] = {ax / length, ay / length, az / length};
    double u[3] = {-n[1], n[0], 0.0};
    if (std::fabs(n[2]) > 0.9)
        u[0] = 1.0, u[1] = 0.0, u[2] = 0.0;
    const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u)
        c /= ul;
    const double v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    for (int k = 0; k < 3; ++k) {
        const double angle = turn + 2.0 * M_PI * k / 3.0;
        for (int c = 0; c < 3; ++c)
            m.positions.push_back(apex[c] + length * n[c] +
                                  spread * (std::cos(angle) * u[c] + std::sin(angle) * v[c]));
    }
    m.indices = {0, 2, 1, 0, 3, 2, 0, 1, 3, 1, 2, 3};
    if (signedVolume(m) < 0)
        for (std::size_t t = 0; t < 4; ++t)
            std::swap(m.indices[3 * t + 1], m.indices[3 * t + 2]);
    return m;
}

// Two triangles as one mesh; corners at equal positions count as shared.
MeshArrays trianglePair(std::initializer_list<double> first, std::initializer_list<double> second) {
    MeshArrays m;
    m.positions.assign(first);
    m.positions.insert(m.positions.end(), second);
    m.indices = {0, 1, 2, 3, 4, 5};
    return m;
}

} // namespace

TEST(SelfIntersection, TrianglesSharingACornerMeetOnlyThereUnlessTheyCross) {
    const std::initializer_list<double> base = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    // Standing on the shared corner, through the other's inside or beside it.
    EXPECT_TRUE(intersectsItself(trianglePair(base, {0, 0, 0, 0.3, 0.3, 1, 0.3, 0.3, -1})));
    EXPECT_FALSE(intersectsItself(trianglePair(base, {0, 0, 0, -0.3, -0.3, 1, -0.3, -0.3, -1})));
    // Leaving the plane from a corner of one, crossing it at another.
    EXPECT_TRUE(intersectsItself(trianglePair(base, {0, 0, 0, 0.2, 0.2, 0, 0.3, 0.3, -1})));
    EXPECT_FALSE(intersectsItself(trianglePair(base, {0, 0, 0, -0.2, -0.2, 0, 0.3, 0.3, -1})));
    // In one plane: overlapping wedges, wedges side by side, the same wedge.
    EXPECT_TRUE(intersectsItself(trianglePair(base, {0, 0, 0, 0.5, 0.1, 0, 0.1, 0.5, 0})));
    EXPECT_FALSE(intersectsItself(trianglePair(base, {0, 0, 0, -1, 0, 0, 0, -1, 0})));
    EXPECT_TRUE(intersectsItself(trianglePair(base, {0, 0, 0, 0.5, 0, 0, 0, 0.5, 0})));
    // Sharing an edge: folded onto each other, or a hinge.
    EXPECT_TRUE(intersectsItself(trianglePair(base, {1, 0, 0, 0, 0, 0, 0.5, 0.5, 0})));
    EXPECT_FALSE(intersectsItself(trianglePair(base, {1, 0, 0, 0, 0, 0, 0.5, -0.5, 0})));
    EXPECT_FALSE(intersectsItself(trianglePair(base, {1, 0, 0, 0, 0, 0, 0.5, 0.5, 1})));
}

TEST(SelfIntersection, ProperSolidsAndTouchingPiecesDoNotCount) {
    EXPECT_FALSE(intersectsItself(cube(0, 0, 0, 1)));
    EXPECT_FALSE(intersectsItself(sphere(0, 0, 0, 1, 24, 48)));
    EXPECT_FALSE(intersectsItself(noisySphere(40, 80, 0.08, 7)));
    EXPECT_FALSE(intersectsItself(thinShell(30, 60, 0.01, 11)));
    EXPECT_FALSE(intersectsItself(twoTori(60, 24, 0.1, 13)));
    // Pieces meeting at a common corner, edge or face only.
    EXPECT_FALSE(intersectsItself(joined(cube(0, 0, 0, 1), cube(1, 1, 1, 1))));
    EXPECT_FALSE(intersectsItself(joined(cube(0, 0, 0, 1), cube(1, 1, 0, 1))));
    EXPECT_FALSE(intersectsItself(joined(cube(0, 0, 0, 1), cube(1, 0, 0, 1))));
    const double origin[3] = {0, 0, 0};
    EXPECT_FALSE(intersectsItself(joined(tetrahedron(origin, 1, 0, 0, 0.5, 0), tetrahedron(origin, -1, 0, 0, 0.5, 0))));
}

// Two corners at one position are a degenerate triangle even where a
// coordinate near the double limit overflows the arithmetic that would
// show it: such a triangle is left out, never paired (the pair tests
// count on three distinct corners).
TEST(SelfIntersection, TrianglesWithTwoCornersAtOnePositionAreLeftOut) {
    MeshArrays m;
    m.positions = {1, 45, -4.62892e303, -2, 3, 5, -2, 3, 5, 0, 0, 0};
    m.indices = {0, 1, 2, 3, 0, 0};
    EXPECT_FALSE(intersectsItself(m));
}

TEST(SelfIntersection, CrossingFoldedOrOverlappingSurfacesAreFound) {
    // One corner of a cube pushed through the opposite faces.
    MeshArrays dented = cube(0, 0, 0, 1);
    for (int c = 0; c < 3; ++c)
        dented.positions[3 * 7 + c] = -0.5;
    EXPECT_TRUE(isClosed(dented));
    EXPECT_TRUE(intersectsItself(dented));
    // Two solids overlapping inside one mesh.
    EXPECT_TRUE(intersectsItself(joined(cube(0, 0, 0, 1), cube(0.5, 0.5, 0.5, 1))));
    // ... also when they share the corner their faces cross at.
    const double origin[3] = {0, 0, 0};
    EXPECT_TRUE(intersectsItself(joined(tetrahedron(origin, 1, 0, 0, 0.5, 0), tetrahedron(origin, 1, 0.2, 0, 0.5, 1.0))));
    // A flat pillow whose back is folded over its front.
    MeshArrays pillow;
    pillow.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    pillow.indices = {0, 1, 2, 0, 2, 3, 1, 0, 3, 1, 3, 2};
    EXPECT_TRUE(isClosed(pillow));
    EXPECT_TRUE(intersectsItself(pillow));
    // Pieces that only touch where neither has a corner.
    EXPECT_TRUE(intersectsItself(joined(cube(0, 0, 0, 1), cube(1, 0.25, 0.25, 0.5))));
}

TEST(SelfIntersection, CrossingsAreFoundWhateverTheTrianglesSizes) {
    // Fine triangles crossing fine ones. A ball, inside out or not, is
    // star-shaped from its centre; two nested ones wrap it twice and need
    // the whole search.
    const MeshArrays ball = sphere(0, 0, 0, 1, 48, 96);
    EXPECT_FALSE(intersectsItself(ball));
    MeshArrays insideOut = ball;
    for (std::size_t t = 0; t < insideOut.triangleCount(); ++t)
        std::swap(insideOut.indices[3 * t + 1], insideOut.indices[3 * t + 2]);
    EXPECT_FALSE(intersectsItself(insideOut));
    EXPECT_FALSE(intersectsItself(joined(ball, sphere(0.1, 0, 0, 0.5, 48, 96))));
    EXPECT_TRUE(intersectsItself(joined(ball, sphere(0.5, 0.1, 0, 1, 48, 96))));
    EXPECT_FALSE(intersectsItself(joined(ball, sphere(2.5, 0.1, 0, 1, 48, 96))));
    // A few faces thousands of times larger than the rest: around the ball,
    // through it, or crossing each other beside it.
    EXPECT_FALSE(intersectsItself(joined(ball, cube(-2, -2, -2, 4))));
    EXPECT_TRUE(intersectsItself(joined(ball, cube(0.5, -2, -2, 4))));
    EXPECT_TRUE(intersectsItself(joined(joined(ball, cube(3, 0, 0, 2)), cube(4, 1, 1, 2))));
    EXPECT_FALSE(intersectsItself(joined(joined(ball, cube(3, 0, 0, 2)), cube(5.5, 0, 0, 2))));
    // Hundreds of slivers meeting near one point, touched or pierced by a
    // small solid.
    const MeshArrays cone = sliverCone(3000);
    EXPECT_FALSE(intersectsItself(cone));
    EXPECT_FALSE(intersectsItself(joined(cone, cube(1.2, 0, 0, 0.1))));
    EXPECT_TRUE(intersectsItself(joined(cone, cube(0.95, 0, -0.05, 0.1))));
    EXPECT_TRUE(intersectsItself(joined(cone, cube(-0.05, -0.05, 0.9, 0.2))));
}

TEST(BooleanOperands, OverlappingPiecesAreUnitedAndFaultsRefused) {
    BooleanOperand pair;
    pair.add(cube(0, 0, 0, 2));
    pair.add(cube(1, 1, 1, 2));
    pair.add(cube(10, 0, 0, 1)); // apart: laid beside
    EXPECT_TRUE(pair.isClosed());
    EXPECT_FALSE(pair.intersectsItself());
    EXPECT_FALSE(intersectsItself(pair.arrays()));
    EXPECT_DOUBLE_EQ(signedVolume(pair.arrays()), 8.0 + 8.0 - 1.0 + 1.0);

    BooleanOperand other;
    other.add(cube(0.5, 0.5, 0.5, 1));
    const auto union_ = Kiln::checkedBoolean(pair, other, BooleanOperation::Union);
    ASSERT_TRUE(union_);
    EXPECT_TRUE(isClosed(*union_));
    EXPECT_NEAR(signedVolume(*union_), 16.0, 1e-9);

    MeshArrays dented = cube(0, 0, 0, 1);
    for (int c = 0; c < 3; ++c)
        dented.positions[3 * 7 + c] = -0.5;
    BooleanOperand crossed;
    crossed.add(dented);
    EXPECT_TRUE(crossed.intersectsItself());
    try {
        Kiln::checkedBoolean(other, crossed, BooleanOperation::Difference);
        ADD_FAILURE() << "a self-crossing operand was used";
    } catch (const BooleanRefused& refused) {
        EXPECT_EQ(refused.operand(), 1);
        EXPECT_EQ(refused.reason(), "the operand intersects itself");
    }

    MeshArrays open = cube(0.5, 0.5, 0.5, 1);
    open.indices.resize(open.indices.size() - 3);
    BooleanOperand opened;
    opened.add(open);
    EXPECT_FALSE(opened.isClosed());
    EXPECT_NO_THROW(Kiln::checkedBoolean(opened, other, BooleanOperation::Union));
    EXPECT_THROW(Kiln::checkedBoolean(opened, other, BooleanOperation::Union, Kiln::OpenOperands::Refuse),
                 BooleanRefused);

    MeshArrays poisoned = cube(0, 0, 0, 1);
    poisoned.positions[2] = std::nan("");
    EXPECT_THROW(BooleanOperand().add(poisoned), Kiln::Exception);
}
