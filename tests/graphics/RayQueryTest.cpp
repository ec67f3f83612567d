// The ray query over the scene model: exact triangles, nearest first.
#include <gtest/gtest.h>

#include "graphics/RayQuery.h"
#include "mesh/MeshEditor.h"
#include "scene/Object.h"

namespace {

Kiln::Object* addCube(Kiln::ObjectGroup& parent, const Ogre::Vector3& position) {
    auto cube = std::make_unique<Kiln::Object>();
    cube->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::Red));
    cube->setPosition(position);
    return parent.adoptChild(std::move(cube));
}

const Ogre::Ray kDownZ(Ogre::Vector3(0, 0, 100), Ogre::Vector3(0, 0, -3));

} // namespace

TEST(RayQuery, HitsComeNearestFirstWithWorldDistances) {
    Kiln::ObjectGroup root;
    root.setScale(Ogre::Vector3(0.2f)); // the user root's scale
    Kiln::Object* far = addCube(root, Ogre::Vector3(0, 0, -50));
    Kiln::Object* nearer = addCube(root, Ogre::Vector3(0, 0, 50));
    addCube(root, Ogre::Vector3(100, 0, 0)); // off the ray

    const auto hits = Kiln::raycastObjects(root, kDownZ);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].object.get(), nearer);
    EXPECT_EQ(hits[1].object.get(), far);
    // Cube half-size 3 at scale 0.2: front faces at z = 10.6 and -9.4.
    EXPECT_NEAR(hits[0].distance, 100 - 10.6f, 1e-3);
    EXPECT_NEAR(hits[1].distance, 100 + 9.4f, 1e-3);
    EXPECT_TRUE(hits[0].point.positionEquals(Ogre::Vector3(0, 0, 10.6f), 1e-3f));
    EXPECT_LT(hits[0].face, nearer->getMesh()->getFaceCount());

    nearer->setVisible(false);
    ASSERT_EQ(Kiln::raycastObjects(root, kDownZ).size(), 1u);
    root.setVisible(false);
    EXPECT_TRUE(Kiln::raycastObjects(root, kDownZ).empty()) << "a hidden group hides its members";
}

TEST(RayQuery, TrianglesDecideNotBoxesAndBackFacesCount) {
    Kiln::ObjectGroup root;
    Kiln::Object* cube = addCube(root, Ogre::Vector3::ZERO);
    cube->setOrientation(Ogre::Quaternion(Ogre::Degree(45), Ogre::Vector3::UNIT_Z));
    // Inside the turned cube's box corner, outside the cube itself.
    const Ogre::Ray corner(Ogre::Vector3(3.8f, 3.8f, 100), Ogre::Vector3::NEGATIVE_UNIT_Z);
    EXPECT_TRUE(Kiln::raycastObjects(root, corner).empty());

    // From inside, the far wall is hit from its back.
    const auto inside = Kiln::raycastObjects(root, Ogre::Ray(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_Z));
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_NEAR(inside[0].distance, 3.0f, 1e-4);

    // Behind the origin: nothing.
    EXPECT_TRUE(Kiln::raycastObjects(root, Ogre::Ray(Ogre::Vector3(0, 0, 10), Ogre::Vector3::UNIT_Z)).empty());
    // A mesh without faces is never hit.
    auto empty = std::make_unique<Kiln::Object>();
    empty->setMesh(std::make_unique<Kiln::DynamicMesh>(std::vector<Kiln::Vertex>(3), std::vector<Kiln::Face>{}));
    root.adoptChild(std::move(empty));
    EXPECT_EQ(Kiln::raycastObjects(root, kDownZ).size(), 1u);
}

TEST(RayQuery, TriangleDistanceEdgeCases) {
    const Ogre::Vector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    const Ogre::Ray down(Ogre::Vector3(0.25f, 0.25f, 2), Ogre::Vector3::NEGATIVE_UNIT_Z);
    EXPECT_NEAR(Kiln::rayTriangleDistance(down, a, b, c), 2.0f, 1e-6);
    EXPECT_NEAR(Kiln::rayTriangleDistance(down, a, c, b), 2.0f, 1e-6) << "either winding";
    EXPECT_LT(Kiln::rayTriangleDistance(Ogre::Ray(Ogre::Vector3(0.75f, 0.75f, 2), Ogre::Vector3::NEGATIVE_UNIT_Z), a, b, c), 0.0f);
    EXPECT_LT(Kiln::rayTriangleDistance(Ogre::Ray(Ogre::Vector3(0.2f, 0.2f, 2), Ogre::Vector3::UNIT_X), a, b, c), 0.0f)
        << "parallel";
    EXPECT_LT(Kiln::rayTriangleDistance(down, a, a, c), 0.0f) << "degenerate";
}
