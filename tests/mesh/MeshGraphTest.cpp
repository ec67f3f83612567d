#include "mesh/MeshGraph.h"

#include "mesh/DynamicMesh.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Kiln;

namespace {

// Two triangles sharing the edge 1-2, plus an unused vertex 4.
DynamicMesh quad() {
    std::vector<Vertex> vertices(5);
    vertices[1].position = Ogre::Vector3(1, 0, 0);
    vertices[2].position = Ogre::Vector3(0, 1, 0);
    vertices[3].position = Ogre::Vector3(1, 1, 0);
    return DynamicMesh(vertices, {Face{0, 1, 2}, Face{2, 1, 3}});
}

} // namespace

TEST(MeshGraph, EdgesAndNeighbours) {
    DynamicMesh mesh = quad();
    const MeshGraph& graph = mesh.getGraph();
    EXPECT_EQ(6u, graph.getEdgeCount());
    EXPECT_EQ(0u, graph.getEdgeFace(1, 2));
    EXPECT_EQ(1u, graph.getEdgeFace(2, 1));
    EXPECT_EQ(MeshGraph::noFace, graph.getEdgeFace(2, 0 + 3));
    EXPECT_EQ(1u, graph.getNeighbour(0, 1));  // across 1 -> 2
    EXPECT_EQ(0u, graph.getNeighbour(1, 0));  // across 2 -> 1
    EXPECT_EQ(MeshGraph::noFace, graph.getNeighbour(0, 0));
}

TEST(MeshGraph, VertexFacesListEveryCornerInFaceOrder) {
    std::vector<Vertex> vertices(3);
    // A degenerate face lists its vertex once per corner.
    DynamicMesh mesh(vertices, {Face{0, 1, 2}, Face{1, 1, 2}, Face{2, 0, 1}});
    const MeshGraph& graph = mesh.getGraph();
    const auto faces1 = graph.getVertexFaces(1);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 1, 2}),
              std::vector<std::uint32_t>(faces1.begin(), faces1.end()));
    EXPECT_EQ(3u, graph.getVertexFaces(2).size());
    EXPECT_TRUE(graph.getVertexFaces(99).empty());
}

TEST(MeshGraph, RebuiltOnlyAfterFaceChanges) {
    DynamicMesh mesh = quad();
    const MeshGraph* first = &mesh.getGraph();
    EXPECT_EQ(first, &mesh.getGraph());
    Vertex moved = mesh.getVertex(3);
    moved.position.z = 2;
    mesh.setVertex(mesh.getVertex(3), moved);
    EXPECT_EQ(first, &mesh.getGraph());
    EXPECT_TRUE(mesh.getGraph().getVertexFaces(4).empty());

    mesh.setFaces({Face{0, 1, 4}});
    const MeshGraph& rebuilt = mesh.getGraph();
    EXPECT_EQ(mesh.getTopologyRevision(), mesh.getGraphRevision());
    EXPECT_EQ(1u, rebuilt.getVertexFaces(4).size());
    EXPECT_EQ(MeshGraph::noFace, rebuilt.getEdgeFace(1, 2));
}

TEST(MeshGraph, EmptyMeshGivesEmptyTables) {
    DynamicMesh mesh;
    const MeshGraph& graph = mesh.getGraph();
    EXPECT_EQ(0u, graph.getEdgeCount());
    EXPECT_EQ(0u, graph.getVertexCount());
}
