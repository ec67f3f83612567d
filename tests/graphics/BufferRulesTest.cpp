// Buffer sizing and normals: the arithmetic behind every refill.
#include <gtest/gtest.h>

#include "detail/BufferCapacity.h"
#include "detail/VertexNormals.h"

using Kiln::bufferCapacityFor;

TEST(BufferCapacity, GrowsByDoublingAndShrinksOnlyBelowHalf) {
    EXPECT_EQ(bufferCapacityFor(5, 0), 8u);
    EXPECT_EQ(bufferCapacityFor(4, 8), 8u) << "half full keeps the buffer";
    EXPECT_EQ(bufferCapacityFor(3, 8), 4u);
    EXPECT_EQ(bufferCapacityFor(1, 4), 2u);
    EXPECT_EQ(bufferCapacityFor(0, 0), 1u) << "an empty mesh still gets a buffer";
    EXPECT_EQ(bufferCapacityFor(1, 1024), 2u) << "one step to the smallest fitting halving";
    EXPECT_EQ(bufferCapacityFor(9, 8), 16u);
    EXPECT_EQ(bufferCapacityFor(100000, 6), 196608u) << "grows from the current capacity";
    // A count that changes by one around a size never reallocates twice.
    std::size_t capacity = bufferCapacityFor(1000, 0);
    for (std::size_t n : {1000u, 1001u, 999u, 1000u, 600u})
        EXPECT_EQ(bufferCapacityFor(n, capacity), capacity) << n;
}

TEST(VertexNormals, AreaWeightedUnitNormalsAndSafeFallbacks) {
    using V = Ogre::Vector3;
    std::vector<Kiln::Vertex> vertices(6);
    // A large triangle facing +Z and a small one facing +X share vertex 0.
    vertices[0].position = V(0, 0, 0);
    vertices[1].position = V(10, 0, 0);
    vertices[2].position = V(0, 10, 0);
    vertices[3].position = V(0, 1, 0);
    vertices[4].position = V(0, 0, 1);
    vertices[5].position = V(5, 5, 5); // on no face
    const std::vector<Kiln::Face> faces = {{0, 1, 2}, {0, 3, 4}, {0, 1, 99}};
    std::vector<V> normals;
    Kiln::computeVertexNormals(vertices, faces, normals);
    ASSERT_EQ(normals.size(), 6u);
    EXPECT_TRUE(normals[1].positionEquals(V(0, 0, 1)));
    EXPECT_TRUE(normals[3].positionEquals(V(1, 0, 0)));
    // Areas 50 and 0.5: the shared normal leans 100:1 towards +Z.
    EXPECT_TRUE(normals[0].positionEquals(V(1, 0, 100).normalisedCopy(), 1e-5f)) << normals[0];
    EXPECT_TRUE(normals[5].positionEquals(V::UNIT_Y)) << "no faces: a defined normal anyway";
    for (const V& n : normals)
        EXPECT_NEAR(n.length(), 1.0f, 1e-5f);
}
