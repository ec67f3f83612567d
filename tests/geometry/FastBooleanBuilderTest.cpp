#include "geometry/FastBooleanBuilder.h"
#include "geometry/MeshCleanup.h"

#include "mesh/MeshEditor.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace Kiln;

namespace {

std::unique_ptr<DynamicMesh> primitive(PrimitiveType type, const Ogre::ColourValue& colour) {
    return MeshEditor::createNewDynamicMesh(static_cast<int>(type), colour);
}

Ogre::Matrix4 translation(float x, float y, float z) {
    Ogre::Matrix4 m = Ogre::Matrix4::IDENTITY;
    m.setTrans(Ogre::Vector3(x, y, z));
    return m;
}

} // namespace

TEST(FastBooleanBuilder, StackBehaviour) {
    FastBooleanBuilder builder;
    EXPECT_EQ(builder.pop(), nullptr);
    auto cube = primitive(PrimitiveType::Cube, Ogre::ColourValue::White);
    builder.push(cube.get(), Ogre::Matrix4::IDENTITY);
    builder.unite(); // one operand: nothing to do
    EXPECT_EQ(builder.size(), 1u);
    EXPECT_EQ(builder.pop(), cube.get());
    EXPECT_EQ(builder.size(), 0u);
}

TEST(FastBooleanBuilder, ResultIsInTheFirstOperandsFrameWithItsTransform) {
    auto a = primitive(PrimitiveType::Cube, Ogre::ColourValue::Red);
    auto b = primitive(PrimitiveType::Cube, Ogre::ColourValue::Blue);
    const double volume = signedVolume(*a);
    const Ogre::AxisAlignedBox box = bounds(*a);
    const float half = box.getHalfSize().x;
    FastBooleanBuilder builder;
    const Ogre::Matrix4 frameA = translation(10, 0, 0);
    builder.push(a.get(), frameA).push(b.get(), translation(10 + half, 0, 0)).subtract();
    ASSERT_EQ(builder.size(), 1u);
    std::unique_ptr<DynamicMesh> result(builder.pop());
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(isClosed(*result));
    EXPECT_NEAR(signedVolume(*result), volume / 2, 1e-5 * volume);
    // Local frame of A: the kept half spans x from -half to 0.
    const Ogre::AxisAlignedBox resultBox = bounds(*result);
    EXPECT_FLOAT_EQ(resultBox.getMinimum().x, -half);
    EXPECT_NEAR(resultBox.getMaximum().x, 0.0f, 1e-6f);
    // Colours come from the operands: A's outside, B's reversed faces inside.
    bool red = false, blue = false;
    for (const Vertex& v : result->getVertices()) {
        red |= v.colour == Ogre::ColourValue::Red;
        blue |= v.colour == Ogre::ColourValue::Blue;
    }
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
}

TEST(FastBooleanBuilder, EmptyIntersectionGivesANullShape) {
    auto a = primitive(PrimitiveType::Cube, Ogre::ColourValue::White);
    auto b = primitive(PrimitiveType::Sphere, Ogre::ColourValue::White);
    FastBooleanBuilder builder;
    builder.push(a.get(), Ogre::Matrix4::IDENTITY).push(b.get(), translation(50, 0, 0)).intersect();
    EXPECT_EQ(builder.size(), 1u);
    EXPECT_EQ(builder.pop(), nullptr);
}

TEST(FastBooleanBuilder, ChainedOperationsOnPrimitives) {
    auto cube = primitive(PrimitiveType::Cube, Ogre::ColourValue::White);
    auto sphere = primitive(PrimitiveType::Sphere, Ogre::ColourValue::White);
    auto cylinder = primitive(PrimitiveType::Cylinder, Ogre::ColourValue::White);
    FastBooleanBuilder builder;
    builder.push(cube.get(), Ogre::Matrix4::IDENTITY).push(sphere.get(), translation(0.3f, 0.2f, 0.1f)).unite();
    builder.push(cylinder.get(), translation(-0.2f, 0, 0.25f)).subtract();
    std::unique_ptr<DynamicMesh> result(builder.pop());
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(isClosed(*result));
    EXPECT_GT(signedVolume(*result), 0.0);
    EXPECT_LT(signedVolume(*result), signedVolume(*cube) + signedVolume(*sphere));
}

TEST(MeshCleanup, SnapsNearVerticesAndDropsCollapsedAndDuplicateFaces) {
    std::vector<Vertex> vertices(5);
    vertices[0].position = {0, 0, 0};
    vertices[1].position = {1, 0, 0};
    vertices[2].position = {0, 1, 0};
    vertices[3].position = {1.00000001f, 0, 0}; // within 1e-7 of vertex 1
    vertices[4].position = {7, 7, 7};           // unused
    std::vector<Face> faces = {{0, 1, 2}, {0, 3, 2}, {1, 3, 2}, {2, 0, 1}};
    DynamicMesh mesh(vertices, faces);
    EXPECT_TRUE(cleanUpMesh(mesh));
    // (1, 3, 2) collapsed; (0, 3, 2) became (0, 1, 2); (2, 0, 1) is a rotation of it.
    ASSERT_EQ(mesh.getFaceCount(), 1u);
    EXPECT_EQ(mesh.getVertexCount(), 3u);
    EXPECT_FALSE(cleanUpMesh(mesh));
}

TEST(MeshCleanup, NoTwoVerticesLeftWithinSnappingReach) {
    // Scattered points, a tenth of them repeated a float step or two away
    // (within reach) and some on one x (a flat side), as Boolean results
    // have them. Afterwards points are apart or snapped to one position.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> steps(0, 2);
    std::vector<Vertex> vertices;
    for (int i = 0; i < 4000; ++i) {
        Vertex v;
        v.position = {unit(random), unit(random), unit(random)};
        if (i % 7 == 0)
            v.position.x = 0.5f;
        vertices.push_back(v);
        if (i % 10 == 0) {
            for (int k = 0; k < 3; ++k)
                for (int s = steps(random); s > 0; --s)
                    v.position[k] = std::nextafter(v.position[k], 2.0f);
            vertices.push_back(v);
        }
    }
    std::vector<Face> faces;
    std::uniform_int_distribution<std::uint32_t> pick(0, static_cast<std::uint32_t>(vertices.size() - 1));
    for (int f = 0; f < 6000; ++f)
        faces.push_back({pick(random), pick(random), pick(random)});
    DynamicMesh mesh(vertices, faces);
    EXPECT_TRUE(cleanUpMesh(mesh));
    const std::vector<Vertex>& left = mesh.getVertices();
    std::size_t close = 0;
    for (std::size_t i = 0; i < left.size(); ++i)
        for (std::size_t j = i + 1; j < left.size(); ++j)
            close += left[i].position != left[j].position && closeEnoughToSnap(left[i].position, left[j].position);
    EXPECT_EQ(close, 0u);
    EXPECT_GT(left.size(), 3000u);
    EXPECT_FALSE(cleanUpMesh(mesh));
}
