// The ray query over the scene model: exact triangles, nearest first.
#include <gtest/gtest.h>

#include "graphics/RayQuery.h"
#include "mesh/MeshEditor.h"
#include "scene/Object.h"

#include <cmath>

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

namespace {

/// A wavy closed sphere of about 2 * rings * segments faces: large enough
/// for the caster to keep a tree, uneven enough that rays meet it at every
/// angle.
std::unique_ptr<Kiln::DynamicMesh> bumpySphere(int rings, int segments) {
    std::vector<Kiln::Vertex> vertices;
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const float theta = float(M_PI) * i / rings, phi = 2.0f * float(M_PI) * j / segments;
            const float r = 5.0f + 0.4f * std::sin(7 * theta) * std::sin(5 * phi);
            Kiln::Vertex v;
            v.position = Ogre::Vector3(r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                                       r * std::cos(theta));
            vertices.push_back(v);
        }
    std::vector<Kiln::Face> faces;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            faces.push_back({a, a + segments, b});
            faces.push_back({b, a + std::uint32_t(segments), b + segments});
        }
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

/// Both queries agree on every ray: the same objects, faces and distances.
void expectSameHits(Kiln::RayCaster& caster, Kiln::ObjectGroup& root, std::uint32_t seed, int rays) {
    std::uint32_t state = seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24) * 2.0f - 1.0f;
    };
    int hitting = 0;
    for (int i = 0; i < rays; ++i) {
        const Ogre::Vector3 origin(next() * 12, next() * 12, 20 + next());
        const Ogre::Vector3 target(next() * 4, next() * 4, next() * 4);
        const Ogre::Ray ray(origin, target - origin);
        const auto plain = Kiln::raycastObjects(root, ray);
        const auto cached = caster.raycast(root, ray);
        ASSERT_EQ(plain.size(), cached.size()) << "ray " << i;
        for (std::size_t k = 0; k < plain.size(); ++k) {
            EXPECT_EQ(plain[k].object.get(), cached[k].object.get());
            EXPECT_EQ(plain[k].face, cached[k].face) << "ray " << i;
            EXPECT_EQ(plain[k].distance, cached[k].distance);
        }
        hitting += plain.empty() ? 0 : 1;
    }
    EXPECT_GT(hitting, rays / 4) << "the rays must mostly meet the sphere to test anything";
}

} // namespace

TEST(RayCaster, AnswersAsThePlainWalkThroughEditsOfTheMesh) {
    Kiln::ObjectGroup root;
    auto sphere = std::make_unique<Kiln::Object>();
    sphere->setMesh(bumpySphere(40, 64));
    sphere->setPosition(Ogre::Vector3(3, -2, 1));
    sphere->setOrientation(Ogre::Quaternion(Ogre::Degree(30), Ogre::Vector3(1, 1, 0).normalisedCopy()));
    Kiln::Object* object = root.adoptChild(std::move(sphere));
    Kiln::Object* cube = addCube(root, Ogre::Vector3(0, 0, 8)); // may hide the sphere
    const std::size_t large = cube->getMesh()->getFaceCount() >= Kiln::RayCaster::kTreeFaces ? 2 : 1;
    Kiln::DynamicMesh& mesh = *object->getMesh();

    Kiln::RayCaster caster;
    expectSameHits(caster, root, 1, 300);
    EXPECT_EQ(caster.treeCount(), large) << "a large mesh that held still gets its tree";

    // Positions that change before every query are walked; once they hold
    // still the tree is refitted and must follow them.
    for (int step = 0; step < 3; ++step) {
        std::vector<Kiln::Vertex> moved = mesh.getVertices();
        for (std::size_t v = 0; v < moved.size(); v += 3)
            moved[v].position *= 1.0f + 0.05f * float(step + 1);
        mesh.setVertices(std::move(moved));
        expectSameHits(caster, root, 10 + step, 60);
    }
    // New faces: a mesh with every other quad split the other way.
    std::vector<Kiln::Face> faces = mesh.getFaces();
    for (std::size_t f = 0; f + 1 < faces.size(); f += 4) {
        const Kiln::Face a = faces[f], b = faces[f + 1];
        faces[f] = {a.i0, a.i1, b.i2};
        faces[f + 1] = {a.i0, b.i2, a.i2};
    }
    faces.resize(faces.size() - 64); // and a hole
    mesh.setFaces(std::move(faces));
    expectSameHits(caster, root, 20, 200);

    // A replaced mesh is a new mesh, even at the old one's address.
    object->setMesh(bumpySphere(48, 48));
    expectSameHits(caster, root, 30, 200);
    object->setVisible(false);
    expectSameHits(caster, root, 40, 20);
}
