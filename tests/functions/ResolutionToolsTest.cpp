#include "ShapingTestSupport.h"

#include "functions/resolution/ReduceMeshFunction.h"
#include "functions/resolution/SubmeshFunction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

struct ResolutionFixture : ShapingFixture {
    template <typename T>
    T* activate(const std::string& name) {
        T* tool = install<T>();
        manager->activateFunction(name);
        return tool;
    }
    Kiln::Object* ball() {
        Kiln::Object* object = addObject(fixtures::sphere(0, 0, 0, 1, 16, 24));
        object->setParameter("material", "defaultMaterial");
        return object;
    }
    static std::size_t southernVertices(const Kiln::Object& object) {
        std::size_t count = 0;
        for (const Kiln::Vertex& v : object.getMesh()->getVertices())
            count += v.position.z < -0.2f;
        return count;
    }
};

struct MeshCopy {
    explicit MeshCopy(const Kiln::DynamicMesh& mesh) : vertices(mesh.getVertices()), faces(mesh.getFaces()) {}
    bool sameAs(const Kiln::DynamicMesh& mesh) const {
        if (mesh.getVertexCount() != vertices.size() || mesh.getFaces() != faces)
            return false;
        for (std::size_t i = 0; i < vertices.size(); ++i)
            if (mesh.getVertices()[i].position != vertices[i].position)
                return false;
        return true;
    }
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
};

TEST(ResolutionTools, XKeyDoesTheWholeObjectAsOneUndoableStroke) {
    for (const bool reduce : {true, false}) {
        ResolutionFixture f;
        if (reduce)
            f.activate<ReduceMeshFunction>("ReduceMeshFunction");
        else
            f.activate<SubmeshFunction>("SubmeshFunction");
        Kiln::Object* object = f.ball();
        f.select(object);
        const MeshCopy before(*object->getMesh());
        const double volume = ShapingFixture::volumeOf(*object);

        f.tap(OIS::KC_X);
        const Kiln::DynamicMesh& mesh = *object->getMesh();
        EXPECT_TRUE(isClosedManifold(mesh)) << (reduce ? "reduce" : "subdivide");
        if (reduce) {
            EXPECT_LT(mesh.getFaceCount(), before.faces.size());
            EXPECT_EQ(f.status.helpTexts.back(), "ReduceMeshing the Object ...");
        } else {
            EXPECT_EQ(mesh.getFaceCount(), 4 * before.faces.size());
            EXPECT_NEAR(ShapingFixture::volumeOf(*object), volume, 1e-5);  // midpoints lie on the old faces
            EXPECT_EQ(f.status.helpTexts.back(), "Submeshing the Object ...");
        }
        // The same stroke end as a brush stroke: material back, nothing busy.
        EXPECT_EQ(object->getParameterValue<std::string>("material").value_or(""), "defaultMaterial");
        EXPECT_FALSE(f.manager->isBusy());
        EXPECT_TRUE(f.gui.hitTesting);
        ASSERT_EQ(f.manager->getUndoCount(), 1u);

        const MeshCopy after(mesh);
        f.manager->undo();
        EXPECT_TRUE(before.sameAs(*object->getMesh()));
        f.manager->redo();
        EXPECT_TRUE(after.sameAs(*object->getMesh()));
    }
}

TEST(ResolutionTools, XKeyNeedsExactlyOneSelectedObject) {
    ResolutionFixture f;
    f.activate<ReduceMeshFunction>("ReduceMeshFunction");
    Kiln::Object* a = f.ball();
    Kiln::Object* b = f.addObject(fixtures::cube(3, 0, 0, 1));
    f.tap(OIS::KC_X);
    f.select(a);
    f.select(b);
    f.tap(OIS::KC_X);
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
}

TEST(ResolutionTools, BrushStrokeChangesOnlyTheRegionUnderIt) {
    for (const bool reduce : {true, false}) {
        ResolutionFixture f;
        if (reduce)
            f.activate<ReduceMeshFunction>("ReduceMeshFunction");
        else
            f.activate<SubmeshFunction>("SubmeshFunction");
        Kiln::Object* object = f.ball();
        const std::size_t faces = object->getMesh()->getFaceCount();
        const std::size_t south = ResolutionFixture::southernVertices(*object);
        const MeshCopy before(*object->getMesh());
        f.touch(object);

        // Brush of radius 0.5 sweeping over the north cap.
        f.move(Ogre::Vector3(0, 0, 1), 1, 0.5f);
        EXPECT_EQ(object->getParameterValue<std::string>("material").value_or(""), "wireframeMaterial");
        EXPECT_TRUE(f.manager->isBusy());
        f.move(Ogre::Vector3(0.3f, 0, 0.95f), 1, 0.5f);
        f.move(Ogre::Vector3(0.3f, 0, 0.95f), 1, 0.5f);  // the same spot again adds nothing
        f.release(Ogre::Vector3(0.3f, 0, 0.95f));

        const Kiln::DynamicMesh& mesh = *object->getMesh();
        EXPECT_TRUE(isClosedManifold(mesh));
        EXPECT_TRUE(Kiln::isClosed(mesh));
        if (reduce) {
            EXPECT_LT(mesh.getFaceCount(), faces);
        } else {
            EXPECT_GT(mesh.getFaceCount(), faces);
        }
        EXPECT_EQ(ResolutionFixture::southernVertices(*object), south) << "the brush never came near";
        EXPECT_EQ(object->getParameterValue<std::string>("material").value_or(""), "defaultMaterial");
        EXPECT_FALSE(f.manager->isBusy());
        ASSERT_EQ(f.manager->getUndoCount(), 1u);
        f.manager->undo();
        EXPECT_TRUE(before.sameAs(*object->getMesh()));
    }
}

TEST(ResolutionTools, SubdivisionBrushTakesEveryEdgeWhoseMidpointItCovers) {
    // A moved cube: its edges are long against the brush, so edges are taken
    // whose ends both lie outside it.
    for (const float radius : {0.05f, 0.3f, 0.75f}) {
        ResolutionFixture f;
        SubmeshFunction* tool = f.activate<SubmeshFunction>("SubmeshFunction");
        const Ogre::Vector3 offset(3, 1, 0);
        Kiln::Object* object = f.addObject(fixtures::cube(0, 0, 0, 1), offset);
        f.touch(object);
        const std::vector<Kiln::Vertex> vertices = object->getMesh()->getVertices();
        std::set<std::pair<std::uint32_t, std::uint32_t>> edges;
        for (const Kiln::Face& face : object->getMesh()->getFaces())
            for (int k = 0; k < 3; ++k)
                edges.insert(std::minmax(face[k], face[(k + 1) % 3]));
        const Ogre::Vector3 centres[] = {offset + Ogre::Vector3(0.5f, 0.5f, 0), offset + Ogre::Vector3(0.5f, 0, 0.5f)};
        std::set<std::pair<std::uint32_t, std::uint32_t>> expected;
        for (const Ogre::Vector3& centre : centres) {
            for (const auto& e : edges) {
                const Ogre::Vector3 mid = offset + (vertices[e.first].position + vertices[e.second].position) * 0.5f;
                if (mid.squaredDistance(centre) <= radius * radius)
                    expected.insert(e);
            }
            f.move(centre, 1, radius);
            EXPECT_EQ(tool->getCandidateCount(), expected.size()) << "radius " << radius;
        }
        f.release(centres[1]);
        EXPECT_EQ(object->getMesh()->getFaceCount(), 12 + 2 * expected.size());
        EXPECT_TRUE(isClosedManifold(*object->getMesh()));
    }
}

TEST(ResolutionTools, NoStrokeWithoutExactlyOneTouchedObject) {
    ResolutionFixture f;
    ReduceMeshFunction* tool = f.activate<ReduceMeshFunction>("ReduceMeshFunction");
    Kiln::Object* a = f.ball();
    Kiln::Object* b = f.ball();
    f.move(Ogre::Vector3(0, 0, 1), 1, 0.5f);
    EXPECT_FALSE(tool->isStroking());
    f.haptics.touched = {a->getHandle(), b->getHandle()};
    f.move(Ogre::Vector3(0, 0, 1), 1, 0.5f);
    EXPECT_FALSE(tool->isStroking());
    f.haptics.touched = {a->getHandle(), a->getHandle()};  // one object through two shapes
    f.move(Ogre::Vector3(0, 0, 1), 1, 0.5f);
    EXPECT_TRUE(tool->isStroking());
    f.move(Ogre::Vector3(0, 0, 1), 0, 0.5f);  // button up: the stroke ends
    EXPECT_FALSE(tool->isStroking());
    EXPECT_FALSE(f.manager->isBusy());
}

} // namespace
