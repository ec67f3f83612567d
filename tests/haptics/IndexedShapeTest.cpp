#include "haptics/IndexedShape.h"
#include "haptics/TriangleTree.h"
#include "log/Exception.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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
