// The deform tool on the real haptic manager and presenters: a push into a
// cube and a centre click make the live dent permanent; undo puts the cube
// back exactly, and the touchable shape follows every step.
#include "../haptics/HapticSceneSupport.h"
#include "FunctionTestSupport.h"

#include "functions/sculpt/DeformFunction.h"
#include "mesh/DynamicMesh.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

/// What the program's adapter does: tools see the manager through IToolHaptics.
class ManagerHaptics : public IToolHaptics {
public:
    explicit ManagerHaptics(Kiln::HapticManager& manager) : manager(manager) {}
    std::vector<Kiln::ObjectHandle> getTouchedObjects() const override { return manager.getTouchedObjects(); }
    int getSideSetting() const override { return manager.getSideSetting(); }
    void setHapticSideRecursive(Kiln::ObjectGroup& group, int side) override {
        manager.setHapticSideRecursive(group, side);
    }
    void setStylusColour(const Ogre::ColourValue& colour) override { manager.getStylus().setColour(colour); }
    void setStylusDirection(const Ogre::Matrix3& m) override { manager.getStylus().setDirectionMatrix(m); }
    Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup& object) override {
        Kiln::HapticsPresenter* presenter = Kiln::HapticsPresenter::of(object);
        return presenter ? presenter->getDeformation() : nullptr;
    }
    void setHapticsWanted(bool on) override { manager.setHapticsEnabled(on); }

private:
    Kiln::HapticManager& manager;
};

std::vector<Kiln::Vertex> verticesOf(const Kiln::Object& object) {
    return object.getMesh()->getVertices();
}

bool sameBytes(const std::vector<Kiln::Vertex>& a, const std::vector<Kiln::Vertex>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Kiln::Vertex)) == 0;
}

TEST(DeformOnHapticManager, ACentreClickWhilePushingCommitsTheDentAndUndoRestoresTheCube) {
    HapticTest::CubeScene scene;
    FunctionFixture functions;
    ManagerHaptics haptics(scene.manager);
    functions.context.haptics = &haptics;
    functions.context.sceneRoot = scene.root.get();
    scene.manager.addListener(functions.manager.get());
    functions.manager->registerFunction(std::make_unique<DeformFunction>(functions.context));
    functions.add("Other", FUNCTION_TOOL);

    functions.manager->activateFunction("DeformFunction");
    EXPECT_EQ(scene.presenter().getSide(), 3);
    EXPECT_EQ(scene.manager.getStylus().getColour(), Ogre::ColourValue(1.0f, 0.8f, 0.8f, 1.0f));

    const std::vector<Kiln::Vertex> before = verticesOf(*scene.cube);
    scene.holdAt({0, 6, 0});
    scene.manager.update(16.f);
    scene.holdAt({0, 2, 0});
    scene.manager.update(16.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    ASSERT_NE(scene.presenter().getDeformation(), nullptr);
    EXPECT_TRUE(sameBytes(verticesOf(*scene.cube), before)) << "a live dent is only drawn";

    scene.device.buttons = 1;
    scene.manager.update(16.f);
    const std::vector<Kiln::Vertex> dented = verticesOf(*scene.cube);
    EXPECT_FALSE(sameBytes(dented, before));
    float lowestTop = 3.f;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i].position.y == 3.f)
            lowestTop = std::min(lowestTop, dented[i].position.y);
    EXPECT_LT(lowestTop, 3.f) << "the top face is pushed in";
    const auto shapeAfterCommit = scene.presenter().getShape();

    scene.device.buttons = 0;
    scene.manager.update(16.f);
    EXPECT_EQ(functions.manager->getUndoCount(), 1u);
    EXPECT_FALSE(functions.manager->isBusy());

    functions.manager->undo();
    EXPECT_TRUE(sameBytes(verticesOf(*scene.cube), before));
    EXPECT_NE(scene.presenter().getShape(), shapeAfterCommit) << "the touchable shape follows";
    functions.manager->redo();
    EXPECT_TRUE(sameBytes(verticesOf(*scene.cube), dented));

    functions.manager->activateFunction("Other");
    EXPECT_EQ(scene.presenter().getSide(), 1);
    EXPECT_EQ(scene.manager.getStylus().getDirectionMatrix(), Ogre::Matrix3::IDENTITY);
}

TEST(DeformOnHapticManager, AClickInTheAirChangesNothing) {
    HapticTest::CubeScene scene;
    FunctionFixture functions;
    ManagerHaptics haptics(scene.manager);
    functions.context.haptics = &haptics;
    functions.context.sceneRoot = scene.root.get();
    scene.manager.addListener(functions.manager.get());
    functions.manager->registerFunction(std::make_unique<DeformFunction>(functions.context));
    functions.manager->activateFunction("DeformFunction");

    const std::vector<Kiln::Vertex> before = verticesOf(*scene.cube);
    scene.holdAt({0, 8, 0});
    scene.manager.update(16.f);
    scene.device.buttons = 1;
    scene.manager.update(16.f);
    scene.device.buttons = 0;
    scene.manager.update(16.f);
    EXPECT_EQ(functions.manager->getUndoCount(), 0u);
    EXPECT_TRUE(sameBytes(verticesOf(*scene.cube), before));
    EXPECT_EQ(functions.flags, 2);
}

} // namespace
