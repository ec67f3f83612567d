#include "mesh/MeshEditor.h"

#include "log/Exception.h"
#include "mesh/MeshGraph.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kiln;

namespace {

struct Expected {
    PrimitiveType type;
    std::size_t vertices;
    std::size_t faces;
    bool closed;
};

std::unique_ptr<DynamicMesh> make(PrimitiveType type) {
    return MeshEditor::createNewDynamicMesh(static_cast<int>(type), Ogre::ColourValue(0.5f, 0.25f, 1, 1));
}

Ogre::Vector3 normalOf(const DynamicMesh& mesh, const Face& f) {
    const auto& v = mesh.getVertices();
    return (v[f.i1].position - v[f.i0].position).crossProduct(v[f.i2].position - v[f.i0].position);
}

} // namespace

std::string primitiveName(const ::testing::TestParamInfo<Expected>& info) {
    static const char* const names[] = {"Plane", "Cube", "Sphere", "Cone", "Cylinder", "Torus"};
    return names[static_cast<int>(info.param.type)];
}

class PrimitiveTest : public ::testing::TestWithParam<Expected> {};

TEST_P(PrimitiveTest, CountsClosednessAndSanity) {
    const Expected expected = GetParam();
    const auto mesh = make(expected.type);
    EXPECT_EQ(expected.vertices, mesh->getVertexCount());
    EXPECT_EQ(expected.faces, mesh->getFaceCount());
    EXPECT_EQ(expected.closed, isClosed(*mesh));
    for (const Face& face : mesh->getFaces()) {
        ASSERT_LT(face.i0, mesh->getVertexCount());
        ASSERT_LT(face.i1, mesh->getVertexCount());
        ASSERT_LT(face.i2, mesh->getVertexCount());
        ASSERT_GT(normalOf(*mesh, face).length(), 1e-6f) << "degenerate face";
    }
    for (const Vertex& vertex : mesh->getVertices()) {
        ASSERT_EQ(Ogre::ColourValue(0.5f, 0.25f, 1, 1), vertex.colour);
        ASSERT_LE(vertex.position.length(), 3.0f * std::sqrt(3.0f) + 1e-4f);
    }
    // Every directed edge appears once: no face is duplicated or flipped
    // against its neighbour inside one grid or ring set.
    EXPECT_EQ(3 * expected.faces, mesh->getGraph().getEdgeCount());
}

INSTANTIATE_TEST_SUITE_P(MeshEditor, PrimitiveTest,
                         ::testing::Values(Expected{PrimitiveType::Plane, 1250, 2304, true},
                                           Expected{PrimitiveType::Cube, 3750, 6912, true},
                                           Expected{PrimitiveType::Sphere, 1538, 3072, true},
                                           Expected{PrimitiveType::Cone, 1634, 3072, true},
                                           Expected{PrimitiveType::Cylinder, 3266, 6144, true},
                                           Expected{PrimitiveType::Torus, 2560, 5120, true}),
                         primitiveName);

TEST(MeshEditor, SolidsAreWoundOutwards) {
    // Convex solids: every face normal points away from the centre.
    for (PrimitiveType type : {PrimitiveType::Cube, PrimitiveType::Sphere, PrimitiveType::Cone,
                               PrimitiveType::Cylinder}) {
        const auto mesh = make(type);
        const auto& v = mesh->getVertices();
        for (const Face& face : mesh->getFaces()) {
            const Ogre::Vector3 centre = (v[face.i0].position + v[face.i1].position + v[face.i2].position) / 3;
            ASSERT_GT(normalOf(*mesh, face).dotProduct(centre), 0.0f) << static_cast<int>(type);
        }
        EXPECT_GT(signedVolume(*mesh), 0.0) << static_cast<int>(type);
    }
    // The torus is not convex: compare against its tube's centre circle.
    const auto torus = make(PrimitiveType::Torus);
    const auto& v = torus->getVertices();
    for (const Face& face : torus->getFaces()) {
        const Ogre::Vector3 centre = (v[face.i0].position + v[face.i1].position + v[face.i2].position) / 3;
        Ogre::Vector3 ring(centre.x, centre.y, 0);
        ring = ring.normalisedCopy() * 2.0f;
        ASSERT_GT(normalOf(*torus, face).dotProduct(centre - ring), 0.0f);
    }
    EXPECT_NEAR(2 * Ogre::Math::PI * Ogre::Math::PI * 2.0 * 1.0, signedVolume(*torus), 1.0);
}

TEST(MeshEditor, VolumesApproachTheIdealSolids) {
    const double pi = Ogre::Math::PI;
    EXPECT_NEAR(216.0, signedVolume(*make(PrimitiveType::Cube)), 1e-3);
    EXPECT_NEAR(4.0 / 3.0 * pi * 27.0, signedVolume(*make(PrimitiveType::Sphere)), 2.0);
    EXPECT_NEAR(pi * 9.0 * 6.0 / 3.0, signedVolume(*make(PrimitiveType::Cone)), 1.0);
    EXPECT_NEAR(pi * 9.0 * 6.0, signedVolume(*make(PrimitiveType::Cylinder)), 1.0);
    const Ogre::AxisAlignedBox box = bounds(*make(PrimitiveType::Cylinder));
    EXPECT_EQ(Ogre::Vector3(-3, -3, -3), box.getMinimum());
    EXPECT_EQ(Ogre::Vector3(3, 3, 3), box.getMaximum());
}

TEST(MeshEditor, PlaneLayersFaceOppositeWays) {
    const auto plane = make(PrimitiveType::Plane);
    const auto& faces = plane->getFaces();
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const float z = normalOf(*plane, faces[f]).z;
        if (f < faces.size() / 2)
            ASSERT_LT(z, 0.0f) << f;
        else
            ASSERT_GT(z, 0.0f) << f;
    }
    EXPECT_NEAR(0.0, signedVolume(*plane), 1e-9);
    // Grid texture coordinates run from 0 to 1 with v downwards.
    EXPECT_EQ(0.0f, plane->getVertex(0).u);
    EXPECT_EQ(1.0f, plane->getVertex(0).v);
    EXPECT_EQ(Ogre::Vector3(-3, -3, 0), plane->getVertex(0).position);
    EXPECT_EQ(Ogre::Vector3(3, 3, 0), plane->getVertex(624).position);
}

TEST(MeshEditor, UnknownTypeThrows) {
    for (int type : {-1, 6}) {
        try {
            MeshEditor::createNewDynamicMesh(type, Ogre::ColourValue::White);
            FAIL() << "expected an exception";
        } catch (const Exception& e) {
            EXPECT_EQ(5, e.getCode());
            EXPECT_EQ("Unknown object type", e.getDescription());
        }
    }
}
