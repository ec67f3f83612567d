// Edge lists for stencil shadow volumes, built from vertex and face lists.
#include <gtest/gtest.h>

#include "detail/ShadowEdges.h"
#include "mesh/MeshEditor.h"

namespace {

std::size_t openEdges(const Ogre::EdgeData& edges) {
    std::size_t open = 0;
    for (const auto& edge : edges.edgeGroups[0].edges)
        open += edge.degenerate ? 1 : 0;
    return open;
}

} // namespace

TEST(ShadowEdges, ClosedCubeAndTwoLayerPlanePairEveryEdge) {
    for (int type : {1, 0}) { // the cube, then the plane (two opposite layers)
        SCOPED_TRACE(type);
        const auto mesh = Kiln::MeshEditor::createNewDynamicMesh(type, Ogre::ColourValue::White);
        const auto edges = Kiln::buildShadowEdges(mesh->getVertices(), mesh->getFaces(), nullptr);
        ASSERT_NE(edges, nullptr);
        EXPECT_TRUE(edges->isClosed);
        EXPECT_EQ(openEdges(*edges), 0u);
        EXPECT_EQ(edges->triangles.size(), mesh->getFaceCount());
        EXPECT_EQ(edges->edgeGroups[0].edges.size() * 2, mesh->getFaceCount() * 3);
        EXPECT_EQ(edges->triangleFaceNormals.size(), mesh->getFaceCount());
    }
}

TEST(ShadowEdges, OpenAndBrokenFacesGiveASoundListOrNone) {
    std::vector<Kiln::Vertex> vertices(4);
    vertices[1].position = Ogre::Vector3(1, 0, 0);
    vertices[2].position = Ogre::Vector3(0, 1, 0);
    vertices[3].position = Ogre::Vector3(1, 0, 0); // same place as vertex 1
    // One triangle: three open edges, normal along +z with the plane's offset.
    auto edges = Kiln::buildShadowEdges(vertices, {{0, 1, 2}}, nullptr);
    ASSERT_NE(edges, nullptr);
    EXPECT_FALSE(edges->isClosed);
    EXPECT_EQ(openEdges(*edges), 3u);
    EXPECT_EQ(edges->triangleFaceNormals[0], Ogre::Vector4(0, 0, 1, 0));

    // A face past the list and one folded onto a welded pair are left out.
    EXPECT_EQ(Kiln::buildShadowEdges(vertices, {{0, 1, 9}, {0, 1, 3}}, nullptr), nullptr);
    EXPECT_EQ(Kiln::buildShadowEdges({}, {}, nullptr), nullptr);

    // Three faces on one edge (non-manifold): the first two pair, the
    // third stays open.
    std::vector<Kiln::Vertex> fan(5);
    fan[1].position = Ogre::Vector3(1, 0, 0);
    fan[2].position = Ogre::Vector3(0, 1, 0);
    fan[3].position = Ogre::Vector3(0, -1, 0);
    fan[4].position = Ogre::Vector3(0, 0, 1);
    edges = Kiln::buildShadowEdges(fan, {{0, 1, 2}, {1, 0, 3}, {1, 0, 4}}, nullptr);
    ASSERT_NE(edges, nullptr);
    EXPECT_EQ(edges->edgeGroups[0].edges.size(), 8u);
    EXPECT_EQ(openEdges(*edges), 7u);

    // Moved vertices move the face normals.
    vertices[2].position = Ogre::Vector3(0, 0, 1);
    edges = Kiln::buildShadowEdges(vertices, {{0, 1, 2}}, nullptr);
    vertices[2].position = Ogre::Vector3(0, 2, 0);
    Kiln::updateShadowFaceNormals(*edges, vertices);
    EXPECT_EQ(edges->triangleFaceNormals[0], Ogre::Vector4(0, 0, 2, 0));
}
