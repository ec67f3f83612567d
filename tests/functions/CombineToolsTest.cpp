#include "ShapingTestSupport.h"

#include "functions/combine/BooleanFunction.h"
#include "functions/cut/MirrorFunction.h"
#include "functions/cut/SliceFunction.h"
#include "geometry/FastBooleanBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using fixtures::cube;

struct BooleanFixture : ShapingFixture {
    BooleanFixture() {
        boolean = install<BooleanFunction>();
        manager->activateFunction("Boolean");
        // Two 2-unit cubes overlapping in a 1 x 2 x 2 slab.
        a = addObject(cube(0, 0, 0, 2));
        b = addObject(cube(1, 0, 0, 2));
        a->setParameter("castShadows", true);
        b->setParameter("castShadows", true);
        select(a);
        select(b);
    }
    void releaseKey(OIS::KeyCode key) { manager->keyReleased(FunctionFixture::key(key)); }

    BooleanFunction* boolean = nullptr;
    Kiln::Object* a = nullptr;
    Kiln::Object* b = nullptr;
};

TEST(BooleanFunction, UnionAndIntersectionAreExactClosedAndUndoToTheOperands) {
    const struct {
        OIS::KeyCode key;
        double volume;
    } cases[] = {{OIS::KC_U, 12.0}, {OIS::KC_I, 4.0}};
    for (const auto& c : cases) {
        BooleanFixture f;
        f.releaseKey(c.key);
        const std::vector<Kiln::Object*> objects = f.sceneObjects();
        ASSERT_EQ(objects.size(), 1u) << "key " << c.key;
        EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*objects[0]), c.volume);
        EXPECT_TRUE(Kiln::isClosed(*objects[0]->getMesh()));
        EXPECT_EQ(objects[0]->getParameterValue<std::string>("material").value_or(""), "defaultMaterial");
        EXPECT_TRUE(f.selection.getSelected().empty());
        EXPECT_FALSE(f.manager->isBusy());

        f.manager->undo();
        ASSERT_EQ(f.sceneObjects().size(), 2u);
        EXPECT_TRUE(f.selection.isSelected(f.a->getHandle()));
        EXPECT_TRUE(f.selection.isSelected(f.b->getHandle()));
        EXPECT_EQ(f.a->getParameterValue<bool>("castShadows"), std::optional<bool>(true));
        f.manager->redo();
        ASSERT_EQ(f.sceneObjects().size(), 1u);
        EXPECT_TRUE(f.selection.getSelected().empty());
    }
}

TEST(BooleanFunction, SubtractionKeepsTheCutPieceBesideTheResultInOneEntry) {
    BooleanFixture f;
    f.boolean->setArgument("Subtraction");
    EXPECT_EQ(f.gui.selected.back(), "BooleanButton");
    // Second minus first: the part of b beyond x = 2, and the overlap moved
    // by half of (pos(a) - pos(b)) = 0 here, as both sit at the origin.
    std::vector<Kiln::Object*> objects = f.sceneObjects();
    ASSERT_EQ(objects.size(), 2u);
    double total = 0;
    for (Kiln::Object* o : objects) {
        EXPECT_TRUE(Kiln::isClosed(*o->getMesh()));
        EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*o), 4.0);
        total += ShapingFixture::volumeOf(*o);
    }
    EXPECT_DOUBLE_EQ(total, 8.0);
    ASSERT_EQ(f.manager->getUndoCount(), 1u);
    f.manager->undo();  // both results leave, the operands return
    objects = f.sceneObjects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_TRUE((objects[0] == f.a && objects[1] == f.b) || (objects[0] == f.b && objects[1] == f.a));
}

TEST(BooleanFunction, FirstMinusSecondAndThePieceOffsetFollowTheOperandOrder) {
    BooleanFixture f;
    f.b->setPosition(Ogre::Vector3(0, 4, 0));  // b now spans y 4..6 (local x 1..3)
    f.b->getMesh()->setVertices(Kiln::toDynamicMesh(cube(1, -4, 0, 2))->getVertices());
    f.b->getMesh()->setFaces(Kiln::toDynamicMesh(cube(1, -4, 0, 2))->getFaces());
    // Key 1 twice with the same pair swaps the order; the preview follows.
    f.manager->keyPressed(FunctionFixture::key(OIS::KC_1));
    Kiln::ObjectGroup* firstBefore = f.boolean->getFirst();
    EXPECT_EQ(f.boolean->getPreviewObject(), firstBefore);
    EXPECT_EQ(firstBefore->getParameterValue<std::string>("material").value_or(""), "wireframeMaterial");
    f.releaseKey(OIS::KC_1);
    f.manager->keyPressed(FunctionFixture::key(OIS::KC_1));
    EXPECT_NE(f.boolean->getFirst(), firstBefore);
    EXPECT_EQ(f.boolean->getPreviewObject(), f.boolean->getFirst());
    EXPECT_NE(firstBefore->getParameterValue<std::string>("material").value_or(""), "wireframeMaterial");
    f.releaseKey(OIS::KC_1);
    EXPECT_EQ(f.boolean->getPreviewObject(), nullptr);

    Kiln::ObjectGroup* first = f.boolean->getFirst();
    const Ogre::Vector3 firstCentre = first == f.a ? Ogre::Vector3(1, 1, 1) : Ogre::Vector3(2, 1, 1);
    f.releaseKey(OIS::KC_B);  // first minus second, no piece
    const std::vector<Kiln::Object*> objects = f.sceneObjects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*objects[0]), 4.0);
    const Ogre::AxisAlignedBox box = Kiln::bounds(*objects[0]->getMesh(), objects[0]->getWorldMatrix());
    EXPECT_TRUE(box.contains(firstCentre + (first == f.a ? Ogre::Vector3(-0.5f, 0, 0) : Ogre::Vector3(0.5f, 0, 0))));
}

TEST(BooleanFunction, NothingChangesWhenTheOperandsMissEachOtherOrTheSelectionIsWrong) {
    BooleanFixture f;
    f.b->setPosition(Ogre::Vector3(10, 0, 0));
    f.releaseKey(OIS::KC_I);
    EXPECT_TRUE(f.hasMessage("Objects not intersected."));
    EXPECT_EQ(f.sceneObjects().size(), 2u);
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_TRUE(f.gui.hitTesting);
    EXPECT_EQ(f.a->getParameterValue<bool>("castShadows"), std::optional<bool>(true));
    EXPECT_EQ(f.b->getParameterValue<bool>("castShadows"), std::optional<bool>(true));

    Kiln::Object* third = f.addObject(cube(0, 5, 0, 1));
    f.select(third);
    f.releaseKey(OIS::KC_U);
    EXPECT_TRUE(f.hasMessage("Make sure only 2 objects are selected."));
    EXPECT_EQ(f.sceneObjects().size(), 3u);
}

TEST(BooleanFunction, OpenOrSelfCrossingOperandsAreRefusedWithTheReason) {
    // b's corner at (3, 2, 2) pushed through its opposite faces; then b
    // with one face missing.
    Kiln::MeshArrays dented = cube(1, 0, 0, 2), open = cube(1, 0, 0, 2);
    dented.positions[21] = 0.0;
    dented.positions[22] = dented.positions[23] = -1.0;
    open.indices.resize(open.indices.size() - 3);
    const struct {
        Kiln::MeshArrays mesh;
        const char* message;
    } cases[] = {{dented, "Not combined: the operand intersects itself."},
                 {open, "Not combined: the operand is not closed."}};
    for (const auto& c : cases) {
        BooleanFixture f;
        f.b->getMesh()->setVertices(Kiln::toDynamicMesh(c.mesh)->getVertices());
        f.b->getMesh()->setFaces(Kiln::toDynamicMesh(c.mesh)->getFaces());
        f.releaseKey(OIS::KC_U);
        EXPECT_TRUE(f.hasMessage(c.message)) << c.message;
        EXPECT_EQ(f.sceneObjects().size(), 2u);
        EXPECT_EQ(f.manager->getUndoCount(), 0u);
        EXPECT_FALSE(f.manager->isBusy());
    }
}

TEST(BooleanFunction, BackgroundOperationLeavesTheSceneAloneUntilDoneAndCanBeCancelled) {
    BooleanFixture f;
    f.boolean->setBackgroundThreshold(0);
    f.releaseKey(OIS::KC_U);
    EXPECT_EQ(f.sceneObjects().size(), 2u);  // not yet
    EXPECT_TRUE(f.manager->isBusy());
    for (int frame = 0; frame < 2000 && f.boolean->isComputing(); ++frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        f.manager->frameStarted(Ogre::FrameEvent{});
    }
    ASSERT_FALSE(f.boolean->isComputing());
    EXPECT_EQ(f.sceneObjects().size(), 1u);
    EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*f.sceneObjects()[0]), 12.0);
    EXPECT_FALSE(f.manager->isBusy());

    f.manager->undo();
    f.releaseKey(OIS::KC_I);
    ASSERT_TRUE(f.boolean->isComputing());
    f.manager->keyPressed(FunctionFixture::key(OIS::KC_ESCAPE));
    EXPECT_FALSE(f.boolean->isComputing());
    EXPECT_FALSE(f.manager->isBusy());
    for (int frame = 0; frame < 20; ++frame)
        f.manager->frameStarted(Ogre::FrameEvent{});
    EXPECT_EQ(f.sceneObjects().size(), 2u);
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_EQ(f.a->getParameterValue<bool>("castShadows"), std::optional<bool>(true));
    EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*f.a), 8.0);
    EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*f.b), 8.0);
    // The abandoned worker holds nothing up: the next operation goes ahead.
    f.releaseKey(OIS::KC_I);
    for (int frame = 0; frame < 2000 && f.boolean->isComputing(); ++frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        f.manager->frameStarted(Ogre::FrameEvent{});
    }
    ASSERT_EQ(f.sceneObjects().size(), 1u);
    EXPECT_DOUBLE_EQ(ShapingFixture::volumeOf(*f.sceneObjects()[0]), 4.0);
    f.manager->undo();

    // Another tool taking over abandons the operation as well.
    f.install<SliceFunction>();
    f.releaseKey(OIS::KC_U);
    ASSERT_TRUE(f.boolean->isComputing());
    f.manager->activateFunction("SliceFunction");
    EXPECT_FALSE(f.boolean->isComputing());
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_EQ(f.sceneObjects().size(), 2u);
}

TEST(BooleanJob, ACancelledJobEndsWithoutResultOrError) {
    const std::unique_ptr<Kiln::DynamicMesh> a = Kiln::toDynamicMesh(cube(0, 0, 0, 2));
    const std::unique_ptr<Kiln::DynamicMesh> b = Kiln::toDynamicMesh(cube(1, 0, 0, 2));
    BooleanJob job(*a, Ogre::Matrix4::IDENTITY, *b, Ogre::Matrix4::IDENTITY, BooleanJobKind::Difference, true);
    job.cancel();
    job.run();
    EXPECT_TRUE(job.isDone());
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_EQ(job.takeResult(), nullptr);
    EXPECT_EQ(job.takeCutPiece(), nullptr);
    EXPECT_EQ(job.getError(), "");

    // The kernel itself stops at a stage boundary once asked to.
    const std::atomic<bool> cancelled{true};
    EXPECT_THROW(Kiln::computeBoolean(Kiln::toMeshArrays(*a), Kiln::toMeshArrays(*b), Kiln::BooleanOperation::Union,
                                      nullptr, &cancelled),
                 Kiln::BooleanCancelled);
    const std::atomic<bool> goOn{false};
    EXPECT_EQ(Kiln::computeBoolean(Kiln::toMeshArrays(*a), Kiln::toMeshArrays(*b), Kiln::BooleanOperation::Union,
                                   nullptr, &goOn)
                  .triangleCount(),
              Kiln::computeBoolean(Kiln::toMeshArrays(*a), Kiln::toMeshArrays(*b), Kiln::BooleanOperation::Union)
                  .triangleCount());
}

// ------------------------------------------------------------------ slice

struct SliceFixture : ShapingFixture {
    SliceFixture() {
        install<SliceFunction>();
        manager->activateFunction("SliceFunction");
    }
    void drag(const Ogre::Vector3& from, const Ogre::Vector3& to) {
        press(from);
        move(to, 1);
        release(to);
    }
};

TEST(SliceFunction, HalvesAreClosedCappedInTheBoxColourAndAddUpToTheOriginal) {
    SliceFixture f;
    f.colour->getColourBox().setColour(Ogre::ColourValue::Red);
    Kiln::Object* box = f.addObject(cube(0, 0, 0, 2));
    Kiln::Object* ball = f.addObject(fixtures::sphere(0, 0, 0, 1, 16, 24), Ogre::Vector3(6, 0, 0));
    const double boxVolume = ShapingFixture::volumeOf(*box);
    const double ballVolume = ShapingFixture::volumeOf(*ball);
    f.select(box);
    f.select(ball);
    // One slightly tilted plane, nearly y = 0.3 at the cube and y = -0.2 at
    // the sphere, cuts both.
    f.drag(Ogre::Vector3(1.f, 0.3f, 0.2f), Ogre::Vector3(1.1f, 1.3f, 0.25f));
    const std::vector<Kiln::Object*> halves = f.sceneObjects();
    ASSERT_EQ(halves.size(), 4u);
    EXPECT_TRUE(f.hasMessage("Sliced the selected object(s)"));
    double total = 0;
    bool redCap = false;
    for (Kiln::Object* half : halves) {
        EXPECT_TRUE(Kiln::isClosed(*half->getMesh()));
        EXPECT_GT(ShapingFixture::volumeOf(*half), 0.0);
        total += ShapingFixture::volumeOf(*half);
        for (const Kiln::Vertex& v : half->getMesh()->getVertices())
            redCap = redCap || v.colour == Ogre::ColourValue::Red;
    }
    EXPECT_NEAR(total, boxVolume + ballVolume, 1e-5 * (boxVolume + ballVolume));
    EXPECT_TRUE(redCap);

    f.manager->undo();
    const std::vector<Kiln::Object*> back = f.sceneObjects();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(std::count(back.begin(), back.end(), box) == 1 && std::count(back.begin(), back.end(), ball) == 1);
    f.manager->redo();
    EXPECT_EQ(f.sceneObjects().size(), 4u);
}

TEST(SliceFunction, AClickWithoutMovingOrAMissingPlaneCutsNothing) {
    SliceFixture f;
    Kiln::Object* box = f.addObject(cube(0, 0, 0, 2));
    f.select(box);
    f.drag(Ogre::Vector3(1, 1, 1), Ogre::Vector3(2, 1, 1));  // a real cut first
    ASSERT_EQ(f.sceneObjects().size(), 2u);
    f.manager->undo();
    f.select(box);
    f.status.messages.clear();

    f.press(Ogre::Vector3(1, 1, 1));  // the last drag's plane must not come back
    f.release(Ogre::Vector3(1, 1, 1));
    EXPECT_EQ(f.sceneObjects().size(), 1u);
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_TRUE(f.haptics.isWanted() || f.manager->isHapticsWanted());

    f.drag(Ogre::Vector3(5, 1, 1), Ogre::Vector3(6, 1, 1));  // plane x = 5 misses
    EXPECT_TRUE(f.hasMessage("Slice plane intersect no object"));
    EXPECT_EQ(f.sceneObjects().size(), 1u);
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_TRUE(f.manager->isHapticsWanted());

    f.selection.clearSelection();
    f.press(Ogre::Vector3(1, 1, 1));
    EXPECT_TRUE(f.hasMessage("No object selected to slice"));

    auto group = std::make_unique<Kiln::ObjectGroup>();
    group->adoptChild(std::make_unique<Kiln::Object>())->setMesh(Kiln::toDynamicMesh(cube(5, 0, 0, 1)));
    f.select(f.root.adoptChild(std::move(group)));
    f.press(Ogre::Vector3(1, 1, 1));
    EXPECT_TRUE(f.hasMessage("Please UnGroup the ObjectGroup"));
    EXPECT_FALSE(f.manager->isBusy());
}

// ----------------------------------------------------------------- mirror

TEST(MirrorFunction, CopiesFaceOutwardsAcrossThePlaneAndUndoRemovesThem) {
    ShapingFixture f;
    MirrorFunction* mirror = f.install<MirrorFunction>();
    f.manager->activateFunction("MirrorFunction");
    Kiln::Object* box = f.addObject(cube(0, 0, 0, 1), Ogre::Vector3(1, 0, 0));  // x 1..2
    f.select(box);

    // Above the colour box, which would take a press on its face x = 3.
    f.press(Ogre::Vector3(3, 2, 0));
    EXPECT_EQ(mirror->getCopyCount(), 0u);  // no plane yet
    EXPECT_FALSE(mirror->getToolPlane().shown);
    f.move(Ogre::Vector3(4, 2, 0), 1);      // plane x = 3
    EXPECT_TRUE(mirror->getToolPlane().shown);
    EXPECT_EQ(mirror->getToolPlane().point, Ogre::Vector3(3, 2, 0));
    EXPECT_EQ(mirror->getToolPlane().normal, Ogre::Vector3::UNIT_X);
    f.move(Ogre::Vector3(4, 2, 0), 1);
    f.release(Ogre::Vector3(4, 2, 0));
    EXPECT_FALSE(mirror->getToolPlane().shown);
    std::vector<Kiln::Object*> objects = f.sceneObjects();
    ASSERT_EQ(objects.size(), 2u);
    Kiln::Object* copy = objects[1];
    const Ogre::AxisAlignedBox bounds = Kiln::bounds(*copy->getMesh(), copy->getWorldMatrix());
    EXPECT_NEAR(bounds.getMinimum().x, 4.f, 1e-5f);
    EXPECT_NEAR(bounds.getMaximum().x, 5.f, 1e-5f);
    EXPECT_NEAR(bounds.getMaximum().y, 1.f, 1e-5f);
    EXPECT_NEAR(ShapingFixture::volumeOf(*copy), 1.0, 1e-5);  // positive: outward winding
    EXPECT_TRUE(Kiln::isClosed(*copy->getMesh()));
    EXPECT_EQ(f.manager->getUndoCount(), 1u);

    f.manager->undo();
    EXPECT_EQ(f.sceneObjects().size(), 1u);
    f.manager->redo();
    EXPECT_EQ(f.sceneObjects().size(), 2u);

    f.press(Ogre::Vector3(3, 2, 0));  // a click alone mirrors nothing
    f.release(Ogre::Vector3(3, 2, 0));
    EXPECT_EQ(f.sceneObjects().size(), 2u);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_FALSE(f.manager->isBusy());
}

} // namespace
