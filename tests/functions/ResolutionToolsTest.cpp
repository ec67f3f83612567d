#include "ShapingTestSupport.h"

#include "functions/resolution/ReduceMeshFunction.h"
#include "functions/resolution/SubmeshFunction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>

namespace {

struct ResolutionFixture : ShapingFixture {
    template <typename T>
    T* activate(const std::string& name) {
        T* tool = install<T>();
        manager->activateFunction(name);
        return tool;
    }
    /// The reduce tool or the subdivide tool, as the loops over both ask.
    void activateBrush(bool reduce) {
        if (reduce)
            activate<ReduceMeshFunction>("ReduceMeshFunction");
        else
            activate<SubmeshFunction>("SubmeshFunction");
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
        f.activateBrush(reduce);
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

// Every vertex attribute and every face, so that an undo that restores
// positions but shuffles, drops or recolours anything is caught.
bool identical(const MeshCopy& copy, const Kiln::DynamicMesh& mesh) {
    if (mesh.getVertexCount() != copy.vertices.size() || mesh.getFaces() != copy.faces)
        return false;
    for (std::size_t i = 0; i < copy.vertices.size(); ++i) {
        const Kiln::Vertex& a = copy.vertices[i];
        const Kiln::Vertex& b = mesh.getVertices()[i];
        if (a.position != b.position || a.colour != b.colour || a.u != b.u || a.v != b.v)
            return false;
    }
    return true;
}

// Distinct colours and texture coordinates, so that vertices cannot stand in
// for one another.
void markVertices(Kiln::DynamicMesh& mesh) {
    for (std::size_t i = 0; i < mesh.getVertexCount(); ++i) {
        Kiln::Vertex v = mesh.getVertices()[i];
        v.colour = Ogre::ColourValue(float(i % 7) / 7.f, float(i % 11) / 11.f, float(i % 13) / 13.f, 1.f);
        v.u = float(i);
        v.v = -float(i);
        mesh.setVertex(mesh.getVertex(i), v);
    }
}

TEST(ResolutionTools, UndoAndRedoRestoreEveryStrokeExactly) {
    ResolutionFixture f;
    f.activate<ReduceMeshFunction>("ReduceMeshFunction");
    f.install<SubmeshFunction>();
    Kiln::Object* object = f.ball();
    markVertices(*object->getMesh());
    f.touch(object);

    // Overlapping strokes of both tools, so that later strokes reduce
    // vertices an earlier one added and split faces an earlier one merged.
    struct Stroke {
        const char* tool;
        Ogre::Vector3 at;
    };
    const Stroke strokes[] = {{"SubmeshFunction", Ogre::Vector3(0, 0, 1)},
                              {"ReduceMeshFunction", Ogre::Vector3(0.3f, 0, 0.95f)},
                              {"SubmeshFunction", Ogre::Vector3(0.5f, 0.2f, 0.84f)},
                              {"ReduceMeshFunction", Ogre::Vector3(0, 0, 1)},
                              {"ReduceMeshFunction", Ogre::Vector3(0, 0, -1)}};
    std::vector<MeshCopy> states{MeshCopy(*object->getMesh())};
    for (const Stroke& stroke : strokes) {
        f.manager->activateFunction(stroke.tool);
        f.move(stroke.at, 1, 0.5f);
        f.release(stroke.at);
        states.emplace_back(*object->getMesh());
        ASSERT_FALSE(identical(states[states.size() - 2], *object->getMesh())) << stroke.tool << " changed nothing";
        EXPECT_TRUE(isClosedManifold(*object->getMesh())) << stroke.tool;
    }
    ASSERT_EQ(f.manager->getUndoCount(), std::size(strokes));

    for (std::size_t i = states.size() - 1; i-- > 0;) {
        f.manager->undo();
        EXPECT_TRUE(identical(states[i], *object->getMesh())) << "undo back to state " << i;
    }
    for (std::size_t i = 1; i < states.size(); ++i) {
        f.manager->redo();
        EXPECT_TRUE(identical(states[i], *object->getMesh())) << "redo to state " << i;
    }
}

TEST(ResolutionTools, UndoRestoresTheMeshAfterTheWholeMeshCleanUp) {
    ResolutionFixture f;
    f.activate<SubmeshFunction>("SubmeshFunction");
    Kiln::Object* object = f.ball();
    markVertices(*object->getMesh());
    // A neighbour of the north pole a hair's breadth from it: splitting that
    // edge leaves corners the clean-up snaps together, which may renumber
    // any vertex.
    Kiln::DynamicMesh& mesh = *object->getMesh();
    const Kiln::Face& cap = mesh.getFaces().front();
    const std::uint32_t pole = cap.i0, near = cap.i1 == pole ? cap.i2 : cap.i1;
    Kiln::Vertex moved = mesh.getVertices()[near];
    moved.position = mesh.getVertices()[pole].position + Ogre::Vector3(1e-9f, 0, 0);
    mesh.setVertex(mesh.getVertex(near), moved);
    const Ogre::Vector3 polePosition = mesh.getVertices()[pole].position;
    const auto atPole = [&](const Kiln::DynamicMesh& m) {
        return std::count_if(m.getVertices().begin(), m.getVertices().end(),
                             [&](const Kiln::Vertex& v) { return v.position.distance(polePosition) < 1e-6f; });
    };
    ASSERT_EQ(atPole(mesh), 2);
    const MeshCopy before(mesh);
    f.touch(object);

    f.move(polePosition, 1, 0.5f);
    f.release(polePosition);
    ASSERT_EQ(f.manager->getUndoCount(), 1u);
    // The split alone leaves both ends and the midpoint there.
    EXPECT_LT(atPole(*object->getMesh()), 3) << "the clean-up did not run";
    const MeshCopy after(*object->getMesh());
    f.manager->undo();
    EXPECT_TRUE(identical(before, *object->getMesh()));
    f.manager->redo();
    EXPECT_TRUE(identical(after, *object->getMesh()));
}

// A stroke that changes nothing keeps what it built of the mesh for the
// next stroke; a change made any other way must not let that be reused.
TEST(ResolutionTools, StrokeAfterAnUnchangedStrokeSeesChangesMadeMeanwhile) {
    for (const bool reduce : {true, false}) {
        ResolutionFixture f;
        f.activateBrush(reduce);
        Kiln::Object* object = f.ball();
        f.touch(object);
        const auto emptyStroke = [&] {
            // A brush too small to hold a vertex or an edge's midpoint.
            const Ogre::Vector3 between = Ogre::Vector3(0.31f, 0.17f, 0.9f).normalisedCopy();
            f.move(between, 1, 1e-6f);
            f.release(between);
        };
        const auto strokeChanges = [&](const Ogre::Vector3& at) {
            const MeshCopy before(*object->getMesh());
            const std::size_t entries = f.manager->getUndoCount();
            f.move(at, 1, 0.5f);
            f.release(at);
            EXPECT_TRUE(isClosedManifold(*object->getMesh()));
            const bool changed = f.manager->getUndoCount() == entries + 1;
            if (changed) {
                f.manager->undo();
                EXPECT_TRUE(identical(before, *object->getMesh())) << "undo after a change made meanwhile";
                f.manager->redo();
            }
            return changed;
        };
        emptyStroke();
        ASSERT_EQ(f.manager->getUndoCount(), 0u) << (reduce ? "reduce" : "subdivide");

        // A deform: the same faces, every vertex twice as far out. Searching
        // the vertices where they were would find none under the brush.
        Kiln::DynamicMesh& mesh = *object->getMesh();
        for (std::size_t i = 0; i < mesh.getVertexCount(); ++i) {
            Kiln::Vertex v = mesh.getVertices()[i];
            v.position *= 2.f;
            mesh.setVertex(mesh.getVertex(i), v);
        }
        EXPECT_TRUE(strokeChanges(Ogre::Vector3(0, 0, 2))) << (reduce ? "reduce" : "subdivide");

        // Another tool: new faces and vertices, numbered differently.
        emptyStroke();
        const std::size_t faces = object->getMesh()->getFaceCount();
        object->getMesh()->setFaces(std::vector<Kiln::Face>(object->getMesh()->getFaces().rbegin(),
                                                            object->getMesh()->getFaces().rend()));
        EXPECT_TRUE(strokeChanges(Ogre::Vector3(0, 0, 2))) << (reduce ? "reduce" : "subdivide");
        if (reduce) {
            EXPECT_LT(object->getMesh()->getFaceCount(), faces);
        } else {
            EXPECT_GT(object->getMesh()->getFaceCount(), faces);
        }
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
        f.activateBrush(reduce);
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
