#include "mesh/DynamicMesh.h"

#include "log/Exception.h"
#include "mesh/MeshGraph.h"

#include <gtest/gtest.h>

using namespace Kiln;

namespace {

Vertex vertexAt(float x, float y, float z) {
    Vertex v;
    v.position = Ogre::Vector3(x, y, z);
    return v;
}

DynamicMesh triangle() {
    return DynamicMesh({vertexAt(0, 0, 0), vertexAt(1, 0, 0), vertexAt(0, 1, 0)}, {Face{0, 1, 2}});
}

} // namespace

TEST(DynamicMesh, NewMeshesStartAtRevisionZero) {
    DynamicMesh empty;
    EXPECT_EQ(0u, empty.getPositionRevision());
    EXPECT_EQ(0u, empty.getColourRevision());
    EXPECT_EQ(0u, empty.getTopologyRevision());
    EXPECT_EQ(0u, empty.getGraphRevision());
    EXPECT_FALSE(empty.hasGraph());
    DynamicMesh built = triangle();
    EXPECT_EQ(3u, built.getVertexCount());
    EXPECT_EQ(0u, built.getTopologyRevision());
}

TEST(DynamicMesh, SetVertexAdvancesOnlyWhatChanged) {
    DynamicMesh mesh = triangle();
    Vertex moved = mesh.getVertex(1);
    moved.position.x = 5;
    mesh.setVertex(mesh.getVertex(1), moved);
    EXPECT_EQ(1u, mesh.getPositionRevision());
    EXPECT_EQ(0u, mesh.getColourRevision());
    EXPECT_EQ(5.0f, mesh.getVertex(1).position.x);

    Vertex painted = mesh.getVertex(2);
    painted.colour = Ogre::ColourValue::Red;
    mesh.setVertex(mesh.getVertex(2), painted);
    EXPECT_EQ(1u, mesh.getPositionRevision());
    EXPECT_EQ(1u, mesh.getColourRevision());

    // Only u and v differ: stored, but nothing a viewer shows has changed.
    Vertex retextured = mesh.getVertex(0);
    retextured.u = 0.25f;
    retextured.v = 0.75f;
    mesh.setVertex(mesh.getVertex(0), retextured);
    EXPECT_EQ(1u, mesh.getPositionRevision());
    EXPECT_EQ(1u, mesh.getColourRevision());
    EXPECT_EQ(0.25f, mesh.getVertex(0).u);
    EXPECT_EQ(0.75f, mesh.getVertex(0).v);
}

TEST(DynamicMesh, ForeignOrMissingVerticesAreRejected) {
    DynamicMesh mesh = triangle();
    Vertex outside;
    try {
        mesh.setVertex(outside, outside);
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(3, e.getCode());
        EXPECT_EQ("Vertex does not belong to this mesh.", e.getDescription());
    }
    try {
        mesh.getVertex(3);
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(3, e.getCode());
        EXPECT_EQ("Vertex index out of range.", e.getDescription());
        EXPECT_EQ("DynamicMesh::getVertex() const", e.getSource());
    }
    const DynamicMesh& constMesh = mesh;
    EXPECT_THROW(constMesh.getVertex(static_cast<std::size_t>(-1)), Exception);
}

TEST(DynamicMesh, ListReplacementAdvancesCounters) {
    DynamicMesh mesh = triangle();
    mesh.setVertices({vertexAt(0, 0, 0)});
    EXPECT_EQ(1u, mesh.getPositionRevision());
    EXPECT_EQ(1u, mesh.getColourRevision());
    std::vector<Face> faces{Face{0, 0, 0}, Face{0, 0, 0}};
    mesh.swapFaces(faces);
    EXPECT_EQ(1u, faces.size());  // the old list came back
    EXPECT_EQ(2u, mesh.getFaceCount());
    EXPECT_EQ(1u, mesh.getTopologyRevision());

    struct Lift : VertexListWorker {
        void operator()(std::vector<Vertex>& vertices) override {
            for (Vertex& v : vertices)
                v.position.z += 1;
        }
    } lift;
    mesh.applyVertexWorker(lift);
    EXPECT_EQ(1.0f, mesh.getVertex(0).position.z);
    EXPECT_EQ(2u, mesh.getPositionRevision());

    struct Reverse : FaceListWorker {
        void operator()(std::vector<Face>& faces) override { faces.pop_back(); }
    } reverse;
    mesh.applyFaceWorker(reverse);
    EXPECT_EQ(1u, mesh.getFaceCount());
    EXPECT_EQ(2u, mesh.getTopologyRevision());
}

TEST(DynamicMesh, CloneCopiesListsAndGraphWithFreshCounters) {
    DynamicMesh mesh = triangle();
    mesh.setFaces({Face{0, 1, 2}});
    mesh.setFaces({Face{0, 1, 2}});
    mesh.getGraph();
    const auto copy = mesh.clone();
    EXPECT_EQ(1u, copy->getPositionRevision());
    EXPECT_EQ(0u, copy->getColourRevision());
    EXPECT_EQ(1u, copy->getTopologyRevision());
    EXPECT_EQ(0u, copy->getGraphRevision());
    ASSERT_TRUE(copy->hasGraph());
    EXPECT_EQ(&copy->getGraph().getMesh(), copy.get());
    EXPECT_EQ(mesh.getFaces(), copy->getFaces());
    EXPECT_EQ(mesh.getVertex(1).position, copy->getVertex(1).position);
}

TEST(DynamicMesh, CloneServesItsCopiedGraphUntilTheFacesChange) {
    DynamicMesh mesh = triangle();
    mesh.setFaces({Face{0, 1, 2}});
    mesh.getGraph();
    const auto copy = mesh.clone();
    // A rebuild would stamp the graph revision with the topology revision.
    const MeshGraph& graph = copy->getGraph();
    EXPECT_EQ(0u, copy->getGraphRevision());
    EXPECT_EQ(&graph, &copy->getGraph());
    EXPECT_EQ(MeshGraph::noFace, graph.getNeighbour(0, 0));

    copy->setFaces({Face{0, 2, 1}});
    EXPECT_EQ(0u, copy->getGraph().getEdgeFace(0, 2));
    EXPECT_EQ(copy->getTopologyRevision(), copy->getGraphRevision());

    // A graph that no longer matched the source's faces is rebuilt.
    mesh.setFaces({Face{0, 2, 1}});
    const auto staleCopy = mesh.clone();
    EXPECT_EQ(0u, staleCopy->getGraph().getEdgeFace(0, 2));
    EXPECT_EQ(1u, staleCopy->getGraphRevision());
}
