#include "FunctionTestSupport.h"
#include "../scene/FakePresenter.h"

#include "functions/sculpt/DeformFunction.h"
#include "functions/sculpt/DeformState.h"
#include "mesh/DynamicMesh.h"
#include "scene/Object.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

/// A flat n x n grid of vertices in the XY plane, unit spacing.
std::unique_ptr<Kiln::DynamicMesh> grid(int n) {
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            Kiln::Vertex v;
            v.position = Ogre::Vector3(float(x), float(y), 0.f);
            vertices.push_back(v);
        }
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            const std::uint32_t i = std::uint32_t(y * n + x);
            faces.push_back({i, i + 1, i + std::uint32_t(n)});
            faces.push_back({i + 1, i + std::uint32_t(n) + 1, i + std::uint32_t(n)});
        }
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

/// Pushes vertices within `radius` of `centre` along `push` with a smooth
/// fall-off, the way a live dent does.
class SphereDent : public Kiln::VertexListWorker {
public:
    SphereDent(const Ogre::Vector3& centre, float radius, const Ogre::Vector3& push)
        : centre(centre), radius(radius), push(push) {}
    void operator()(std::vector<Kiln::Vertex>& vertices) override {
        ++applied;
        for (Kiln::Vertex& v : vertices) {
            const float d2 = v.position.squaredDistance(centre) / (radius * radius);
            if (d2 < 1.f)
                v.position += push * (1.f - d2) * (1.f - d2) * (1.f - d2);
        }
    }
    Ogre::Vector3 centre;
    float radius;
    Ogre::Vector3 push;
    int applied = 0;
};

std::vector<Ogre::Vector3> positionsOf(const Kiln::DynamicMesh& mesh) {
    std::vector<Ogre::Vector3> out;
    for (const Kiln::Vertex& v : mesh.getVertices())
        out.push_back(v.position);
    return out;
}

bool bitwiseEqual(const std::vector<Ogre::Vector3>& a, const std::vector<Ogre::Vector3>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Ogre::Vector3)) == 0;
}

/// An object with a grid mesh and a recording presenter, under `root`.
Kiln::Object* addGridObject(Kiln::ObjectGroup& root, int n, PresenterLog& log) {
    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(grid(n));
    object->setPresenter("graphics", std::make_unique<FakePresenter>(log));
    return root.adoptChild(std::move(object));
}

// ------------------------------------------------------------------- state

TEST(DeformState, KeepsOnlyMovedVerticesAndRestoresThemExactly) {
    PresenterLog presenter;  // outlives the objects, which log their detaching
    Kiln::ObjectGroup root;
    Kiln::Object* object = addGridObject(root, 100, presenter);
    Kiln::DynamicMesh& mesh = *object->getMesh();
    const std::vector<Ogre::Vector3> original = positionsOf(mesh);

    SphereDent dent(Ogre::Vector3(50.3f, 40.7f, 0.f), 6.1f, Ogre::Vector3(0.1f, -0.3f, -0.77f));
    std::vector<Ogre::Vector3> scratch;
    DeformState state(nullptr);
    presenter.calls.clear();
    const std::size_t moved = state.commitDent(*object, dent, scratch);
    const std::vector<Ogre::Vector3> dented = positionsOf(mesh);

    std::size_t expected = 0;
    for (std::size_t i = 0; i < original.size(); ++i)
        expected += !(original[i] == dented[i]);
    EXPECT_GT(expected, 50u);
    EXPECT_EQ(moved, expected);
    EXPECT_EQ(state.getChangedVertexCount(), expected);
    EXPECT_EQ(presenter.count("mesh"), 1);
    // Indices and two positions per moved vertex, nothing per unmoved one.
    EXPECT_LE(state.getMemoryBytes(), expected * (4 + 2 * sizeof(Ogre::Vector3)));

    std::uint32_t revision = mesh.getPositionRevision();
    state.undo();
    EXPECT_TRUE(bitwiseEqual(positionsOf(mesh), original));
    EXPECT_GT(mesh.getPositionRevision(), revision);
    revision = mesh.getPositionRevision();
    state.redo();
    EXPECT_TRUE(bitwiseEqual(positionsOf(mesh), dented));
    EXPECT_GT(mesh.getPositionRevision(), revision);
    state.undo();
    EXPECT_TRUE(bitwiseEqual(positionsOf(mesh), original));
    EXPECT_EQ(presenter.count("mesh"), 4);
}

TEST(DeformState, SkipsObjectsThatDiedOrChangedShapeAndRestoresTheRest) {
    PresenterLog presenter;  // outlives the objects, which log their detaching
    Kiln::ObjectGroup root;
    Kiln::Object* doomed = addGridObject(root, 20, presenter);
    Kiln::Object* resized = addGridObject(root, 20, presenter);
    Kiln::Object* kept = addGridObject(root, 20, presenter);
    const std::vector<Ogre::Vector3> original = positionsOf(*kept->getMesh());

    SphereDent dent(Ogre::Vector3(10.f, 10.f, 0.f), 4.f, Ogre::Vector3(0.f, 0.f, -1.f));
    std::vector<Ogre::Vector3> scratch;
    DeformState state(nullptr);
    for (Kiln::Object* object : {doomed, resized, kept})
        state.commitDent(*object, dent, scratch);
    EXPECT_EQ(state.getObjectCount(), 3u);

    std::unique_ptr<Kiln::ObjectGroup> removed;
    root.removeChild(removed, doomed);
    removed.reset();
    resized->setMesh(grid(5));
    const std::vector<Ogre::Vector3> small = positionsOf(*resized->getMesh());

    state.undo();
    EXPECT_TRUE(bitwiseEqual(positionsOf(*kept->getMesh()), original));
    EXPECT_TRUE(bitwiseEqual(positionsOf(*resized->getMesh()), small));
    state.redo();
    EXPECT_FALSE(bitwiseEqual(positionsOf(*kept->getMesh()), original));
}

// -------------------------------------------------------------------- tool

/// Outlives the fixture's scene, whose objects log their detaching.
struct PresenterLogHolder {
    PresenterLog presenter;
};

class DeformFunctionTest : public ::testing::Test, public PresenterLogHolder, public FunctionFixture {
protected:
    void SetUp() override {
        manager->registerFunction(std::make_unique<DeformFunction>(context));
        deform = static_cast<DeformFunction*>(manager->findFunction("DeformFunction"));
        manager->activateFunction("DeformFunction");
    }
    void click(Kiln::ButtonMask buttons = 1u) {
        manager->hapticButtonPressed(event, buttons);
        manager->hapticButtonReleased(event, buttons);
    }

    DeformFunction* deform = nullptr;
    Kiln::HapticState hapticState;
    Kiln::HapticEvent event{&hapticState, nullptr};
};

TEST_F(DeformFunctionTest, ActiveToolMakesSurfacesTouchableFromBothSidesUntilSwitchedAway) {
    EXPECT_EQ(haptics.colour, Ogre::ColourValue(1.0f, 0.8f, 0.8f, 1.0f));
    EXPECT_EQ(haptics.side, 3);
    EXPECT_EQ(haptics.sideRoots, (std::vector<Kiln::ObjectGroup*>{&root}));

    add("Other", FUNCTION_TOOL);
    manager->keyPressed(key(OIS::KC_X));  // held while switching away
    manager->activateFunction("Other");
    EXPECT_EQ(haptics.colour, Ogre::ColourValue::White);
    EXPECT_EQ(haptics.side, 1);
    EXPECT_EQ(haptics.direction, Ogre::Matrix3::IDENTITY);
    EXPECT_EQ(deform->getDirection(), Ogre::Matrix3::IDENTITY);
}

TEST_F(DeformFunctionTest, AxisKeysRestrictTheDentDirection) {
    manager->keyPressed(key(OIS::KC_X));
    EXPECT_EQ(haptics.direction, Ogre::Matrix3(1, 0, 0, 0, 0, 0, 0, 0, 0));
    manager->keyPressed(key(OIS::KC_Y));
    EXPECT_EQ(haptics.direction, Ogre::Matrix3::ZERO);
    manager->keyReleased(key(OIS::KC_X));
    EXPECT_EQ(haptics.direction, Ogre::Matrix3(0, 0, 0, 0, 1, 0, 0, 0, 0));
    manager->keyReleased(key(OIS::KC_Y));
    manager->keyPressed(key(OIS::KC_Z));
    EXPECT_EQ(haptics.direction, Ogre::Matrix3(0, 0, 0, 0, 0, 0, 0, 0, 1));
    manager->keyReleased(key(OIS::KC_Z));
    EXPECT_EQ(haptics.direction, Ogre::Matrix3::IDENTITY);
}

TEST_F(DeformFunctionTest, AClickTouchingNothingOrWithoutADentLeavesTheHistoryAlone) {
    click();
    EXPECT_EQ(manager->getUndoCount(), 0u);
    EXPECT_FALSE(manager->isBusy());

    Kiln::Object* object = addGridObject(root, 10, presenter);
    haptics.touched = {object->getHandle()};
    click();  // touching, but the presenter has no live dent
    EXPECT_EQ(manager->getUndoCount(), 0u);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_TRUE(gui.hitTesting);
    EXPECT_EQ(flags, 2);
}

TEST_F(DeformFunctionTest, OneClickCommitsEveryTouchedDentAsOneEntry) {
    Kiln::Object* first = addGridObject(root, 30, presenter);
    Kiln::Object* second = addGridObject(root, 30, presenter);
    const std::vector<Ogre::Vector3> before1 = positionsOf(*first->getMesh());
    const std::vector<Ogre::Vector3> before2 = positionsOf(*second->getMesh());
    SphereDent dent1(Ogre::Vector3(10.f, 10.f, 0.f), 3.f, Ogre::Vector3(0.f, 0.f, -0.5f));
    SphereDent dent2(Ogre::Vector3(20.f, 5.f, 0.f), 4.f, Ogre::Vector3(0.f, 0.f, 0.5f));
    haptics.dents = {{first, &dent1}, {second, &dent2}};
    // The first object touched through two shapes: it must be dented once.
    haptics.touched = {first->getHandle(), second->getHandle(), first->getHandle()};

    manager->hapticButtonPressed(event, 1u << 1);  // not the centre button
    EXPECT_EQ(dent1.applied, 0);

    manager->hapticButtonPressed(event, 1u);
    EXPECT_TRUE(manager->isBusy());
    EXPECT_FALSE(gui.hitTesting);
    EXPECT_EQ(dent1.applied, 1);
    EXPECT_EQ(dent2.applied, 1);
    EXPECT_EQ(manager->getUndoCount(), 0u) << "the entry is pushed on release";
    manager->hapticButtonReleased(event, 1u);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_EQ(manager->getUndoCount(), 1u);
    EXPECT_EQ(flags, 1);

    const std::vector<Ogre::Vector3> after1 = positionsOf(*first->getMesh());
    manager->undo();
    EXPECT_EQ(status.last().text, "Undo STRING NOT FOUND");  // no language table loaded
    EXPECT_TRUE(bitwiseEqual(positionsOf(*first->getMesh()), before1));
    EXPECT_TRUE(bitwiseEqual(positionsOf(*second->getMesh()), before2));
    manager->redo();
    EXPECT_TRUE(bitwiseEqual(positionsOf(*first->getMesh()), after1));
}

TEST_F(DeformFunctionTest, SwitchingToolsDuringAClickKeepsItsEntry) {
    Kiln::Object* object = addGridObject(root, 20, presenter);
    SphereDent dent(Ogre::Vector3(10.f, 10.f, 0.f), 3.f, Ogre::Vector3(0.f, 0.f, -0.5f));
    haptics.dents = {{object, &dent}};
    haptics.touched = {object->getHandle()};
    add("Other", FUNCTION_TOOL);

    manager->hapticButtonPressed(event, 1u);
    manager->activateFunction("Other");
    EXPECT_EQ(manager->getUndoCount(), 1u);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_FALSE(deform->isBusy());
}

} // namespace
