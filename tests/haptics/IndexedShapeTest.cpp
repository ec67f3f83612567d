#include "haptics/IndexedShape.h"
#include "haptics/TriangleTree.h"
#include "log/Exception.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using namespace Kiln;

TEST(IndexedShape, BuildsOneTriangleRecordPerFaceInOrder) {
    const std::unique_ptr<DynamicMesh> cube =
        MeshEditor::createNewDynamicMesh(int(PrimitiveType::Cube), Ogre::ColourValue::White);
    const IndexedShape shape(cube->getFaces(), cube->getVertices());
    ASSERT_EQ(shape.getTriangles().size(), cube->getFaceCount());
    for (std::size_t i = 0; i < cube->getFaceCount(); i += 997) {
        const HapticTriangle& tri = shape.getTriangles()[i];
        const Ogre::Vector3& p1 = cube->getVertices()[cube->getFaces()[i].i1].position;
        EXPECT_EQ(tri.p1.x, p1.x);
        EXPECT_EQ(tri.p1.z, p1.z);
        EXPECT_TRUE(tri.valid);
        // Outward winding: the normal points away from the centre.
        EXPECT_GT(dot(tri.n, tri.p0), 0.0);
    }
    EXPECT_DOUBLE_EQ(shape.getBounds().max.x, 3.0);
    EXPECT_DOUBLE_EQ(shape.getBounds().min.z, -3.0);

    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 2, 2};
    const IndexedShape degenerate(positions, {0, 1, 2, 0, 0, 3});
    EXPECT_TRUE(degenerate.getTriangles()[0].valid);
    EXPECT_FALSE(degenerate.getTriangles()[1].valid);
    EXPECT_THROW(IndexedShape(positions, {0, 1, 4}), Exception);
}

TEST(IndexedShape, CloneSharesGeometryButKeepsItsOwnSettings) {
    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    auto shape = std::make_shared<IndexedShape>(positions, std::vector<std::uint32_t>{0, 1, 2});
    shape->setSide(HapticSideBoth);
    shape->setTransform({1, 2, 3}, Ogre::Quaternion::IDENTITY, {2, 2, 2});
    auto copy = std::dynamic_pointer_cast<IndexedShape>(shape->clone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(&copy->getTriangles(), &shape->getTriangles());
    EXPECT_EQ(copy->getSide(), HapticSideBoth);
    EXPECT_DOUBLE_EQ(copy->getFrame().linear.m[1][1], 2.0);
    copy->setSide(HapticSideInner);
    EXPECT_EQ(shape->getSide(), HapticSideBoth);

    const float matrix[12] = {0, -1, 0, 5, 1, 0, 0, 6, 0, 0, 1, 7};
    copy->setTransformMatrix(matrix);
    const ShapeFrame frame = copy->getFrame();
    EXPECT_DOUBLE_EQ(frame.translation.y, 6.0);
    EXPECT_TRUE(frame.rigid);
    const Vec3d back = frame.inverse * (frame.linear * Vec3d(1, 2, 3));
    EXPECT_NEAR(back.y, 2.0, 1e-12);
}

TEST(TriangleTree, ReturnsEveryTriangleWhoseBoxMeetsTheQuery) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::vector<Box3d> boxes(3000);
    for (Box3d& box : boxes) {
        const Vec3d c(coordinate(random), coordinate(random), coordinate(random));
        box.extend(c);
        box.extend(c + Vec3d(0.3, 0.1, 0.2));
    }
    const TriangleTree tree(boxes);
    for (int q = 0; q < 50; ++q) {
        Box3d query;
        const Vec3d c(coordinate(random), coordinate(random), coordinate(random));
        query.extend(c);
        query.extend(c + Vec3d(2, 1.5, 3));
        std::vector<std::uint32_t> found;
        tree.forEachOverlap(query, [&](std::uint32_t i) { found.push_back(i); });
        std::vector<std::uint32_t> expected;
        for (std::uint32_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].overlaps(query))
                expected.push_back(i);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected);
    }
    const TriangleTree empty(std::vector<Box3d>{});
    int visits = 0;
    empty.forEachOverlap(boxes[0], [&](std::uint32_t) { ++visits; });
    EXPECT_EQ(visits, 0);
}

namespace {

struct Hit {
    double t;
    Vec3d contact;
    bool operator==(const Hit& o) const {
        return t == o.t && contact.x == o.contact.x && contact.y == o.contact.y &&
               contact.z == o.contact.z;
    }
};

// What sweeping every triangle of the shape, one by one, finds.
std::vector<Hit> hitsOfEveryTriangle(const IndexedShape& shape, const Vec3d& proxy,
                                     const Vec3d& move, double radius, double minT) {
    const ShapeFrame& frame = shape.tickState().frame;
    const SweptSphere sphere = makeSweptSphere(frame, proxy, move, radius);
    std::vector<Hit> hits;
    for (std::size_t f = 0; f < shape.getTriangles().size(); ++f) {
        const HapticTriangle& tri = shape.getTriangles()[f];
        const double height = dot(tri.n, sphere.localStart) - tri.d;
        const int side = shape.getSide();
        if (!tri.valid || (side == HapticSideOuter && height < 0.0) ||
            (side == HapticSideInner && height >= 0.0))
            continue;
        SweepHit hit;
        if (sweepSphereTriangle(tri, frame, sphere, minT, hit))
            hits.push_back({hit.t, hit.contact + frame.translation});
    }
    return hits;
}

// The shape may leave later hits out, but must report every hit within
// simultaneousHit of the earliest, exactly, and nothing that is no hit.
void expectEarliestHits(const std::vector<ConstraintRecord>& records,
                        const std::vector<Hit>& expected) {
    std::vector<Hit> reported;
    for (const ConstraintRecord& record : records)
        if (record.active)
            reported.push_back({record.t, record.contact});
    double earliest = 1e300;
    for (const Hit& hit : expected)
        earliest = std::min(earliest, hit.t);
    for (const Hit& hit : reported)
        EXPECT_NE(std::find(expected.begin(), expected.end(), hit), expected.end())
            << "reported a hit at t = " << hit.t << " that is none";
    for (const Hit& hit : expected) {
        if (hit.t <= earliest + simultaneousHit) {
            EXPECT_NE(std::find(reported.begin(), reported.end(), hit), reported.end())
                << "missed the hit at t = " << hit.t;
        }
    }
}

} // namespace

// The shape sweeps exactly only the triangles that may come first; checked
// against sweeping every triangle of a torus (convex and saddle-shaped
// parts) from on, near and inside its surface, placed as given, rotated, and
// stretched, for each side setting, and again for a second move of the tick.
TEST(IndexedShape, SweepsFindTheEarliestHitsOfSweepingEveryTriangle) {
    const std::unique_ptr<DynamicMesh> torus =
        MeshEditor::createNewDynamicMesh(int(PrimitiveType::Torus), Ogre::ColourValue::White);
    IndexedShape shape(torus->getFaces(), torus->getVertices());
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto direction = [&] {
        return normalised(Vec3d(unit(random), unit(random), unit(random)));
    };
    const Ogre::Quaternion tilt(Ogre::Degree(50), Ogre::Vector3(1, 2, 0).normalisedCopy());
    const Ogre::Vector3 scales[] = {Ogre::Vector3::UNIT_SCALE, Ogre::Vector3::UNIT_SCALE,
                                    {1.6f, 0.7f, 1.0f}};
    const Ogre::Vector3 positions[] = {Ogre::Vector3::ZERO, {2, -1, 3}, {0, 1, 0}};
    const double radius = 0.2;
    int hitSweeps = 0;
    for (int placement = 0; placement < 3; ++placement)
        for (const int side : {HapticSideOuter, HapticSideBoth, HapticSideInner}) {
            shape.setTransform(positions[placement], placement ? tilt : Ogre::Quaternion::IDENTITY,
                               scales[placement]);
            shape.setSide(side);
            shape.beginTick();
            const ShapeFrame& frame = shape.tickState().frame;
            for (int i = 0; i < 60; ++i) {
                SCOPED_TRACE("placement " + std::to_string(placement) + ", side " +
                             std::to_string(side) + ", sweep " + std::to_string(i));
                const auto& tri = shape.getTriangles()[random() % shape.getTriangles().size()];
                const Vec3d surface = frame.linear * tri.centre + frame.translation;
                const Vec3d normal = normalised(frame.inverse.transposed() * tri.n);
                const Vec3d proxy = surface + normal * (radius * (1.0 + unit(random))) +
                                    direction() * (0.05 * radius);
                const Vec3d move = (i % 2 ? -normal : direction()) * (radius * 2.0 * (1.1 + unit(random)));
                const double backTolerance = std::min(1.0, radius / length(move));
                std::vector<ConstraintRecord> records;
                shape.collectConstraints(records, proxy, move, radius, backTolerance);
                const std::vector<Hit> first =
                    hitsOfEveryTriangle(shape, proxy, move, radius, -backTolerance);
                expectEarliestHits(records, first);

                const Vec3d next = proxy + move * 0.3;
                const Vec3d slide = direction() * (radius * 0.8);
                shape.updateConstraints(records, next, slide, radius, 1e-7);
                const std::vector<Hit> second = hitsOfEveryTriangle(shape, next, slide, radius, -1e-7);
                expectEarliestHits(records, second);
                hitSweeps += !first.empty() + !second.empty();
            }
        }
    EXPECT_GT(hitSweeps, 300) << "most sweeps must touch the torus";
}
