#include "ToolTestSupport.h"

#include "functions/tools/MoveObjectFunction.h"
#include "functions/tools/RotateObjectFunction.h"
#include "functions/tools/ScaleObjectFunction.h"
#include "functions/tools/SelectObjectFunction.h"
#include "functions/tools/SnapFunction.h"

namespace {

using V = Ogre::Vector3;

// -------------------------------------------------------------------- move

TEST(MoveObject, DragsEverySelectedItemByTheStylusStepInTheRootFrame) {
    ToolFixture f;
    f.addTool<MoveObjectFunction>();
    f.manager->activateFunction("MoveObject");
    Kiln::Object* a = f.addCube(V(1, 2, 3));
    Kiln::Object* b = f.addCube(V(-4, 0, 0));
    Kiln::Object* untouched = f.addCube(V(9, 9, 9));
    f.selectOnly({a, b});
    const Ogre::AxisAlignedBox before = f.box(*a);

    f.drag(V(0, 0, 0), {V(1, 0, 0), V(2.5f, -1, 0.5f)});
    expectNear(a->getPosition(), V(3.5f, 1, 3.5f));
    expectNear(b->getPosition(), V(-1.5f, -1, 0.5f));
    expectNear(f.box(*a).getMinimum() - before.getMinimum(), V(2.5f, -1, 0.5f));
    expectNear(untouched->getPosition(), V(9, 9, 9));
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_TRUE(f.haptics.isWanted()) << "haptics come back after the drag";

    f.manager->undo();
    expectNear(a->getPosition(), V(1, 2, 3));
    expectNear(b->getPosition(), V(-4, 0, 0));
    f.manager->redo();
    expectNear(a->getPosition(), V(3.5f, 1, 3.5f));
}

TEST(MoveObject, AxisKeysKeepOnlyTheirComponentsAndAStillClickLeavesNoEntry) {
    ToolFixture f;
    f.addTool<MoveObjectFunction>();
    f.manager->activateFunction("MoveObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    f.selectOnly({a});

    f.keyDown(OIS::KC_X);
    f.drag(V(0, 0, 0), {V(2, 3, 4)});
    f.keyUp(OIS::KC_X);
    expectNear(a->getPosition(), V(2, 0, 0));
    f.keyDown(OIS::KC_Y);
    f.keyDown(OIS::KC_Z);
    f.drag(V(0, 0, 0), {V(2, 3, 4)});
    expectNear(a->getPosition(), V(2, 3, 4));
    f.keyUp(OIS::KC_Y);
    f.keyUp(OIS::KC_Z);
    EXPECT_EQ(f.manager->getUndoCount(), 2u);

    f.drag(V(5, 5, 5), {});
    EXPECT_EQ(f.manager->getUndoCount(), 2u);
    EXPECT_EQ(f.status.last().text, "Move the grip while middle button is pressed down.");
    EXPECT_FALSE(f.manager->isBusy());

    // A release that never arrives (taken by the GUI, say): the next press
    // closes the lost drag with its entry before starting its own.
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(1, 0, 0));
    f.device.buttons = 0;
    f.press();
    EXPECT_EQ(f.manager->getUndoCount(), 3u);
    f.stylus(V(1, 1, 0));
    f.release();
    EXPECT_EQ(f.manager->getUndoCount(), 4u);
    expectNear(a->getPosition(), V(3, 4, 4));
    EXPECT_TRUE(f.haptics.isWanted());

    f.selection.clearSelection();
    f.drag(V(0, 0, 0), {V(1, 1, 1)});
    EXPECT_EQ(f.manager->getUndoCount(), 4u) << "nothing selected, nothing moves";
    expectNear(a->getPosition(), V(3, 4, 4));
}

// ------------------------------------------------------------------ rotate

TEST(RotateObject, StepRotationIsTheAngleSweptAroundThePivot) {
    const Ogre::Quaternion quarter = RotateObjectFunction::stepRotation(V(0, 0, 0), V(1, 0, 0), V(1, 0.01f, 0), V::ZERO);
    Ogre::Radian angle;
    V axis;
    quarter.ToAngleAxis(angle, axis);
    EXPECT_NEAR(angle.valueRadians(), std::atan(0.01f), 1e-4);
    expectNear(axis, V::UNIT_Z);
    // With an axis fixed, the step's component along it does nothing.
    const Ogre::Quaternion locked = RotateObjectFunction::stepRotation(V(0, 0, 0), V(1, 0, 0), V(1, 5, 0), V::UNIT_Y);
    EXPECT_EQ(locked, Ogre::Quaternion::IDENTITY);
}

TEST(RotateObject, TurnsFromThePressPointAndRestoresMaterials) {
    ToolFixture f;
    f.addTool<RotateObjectFunction>();
    f.manager->activateFunction("RotateObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    a->setParameter("material", "stone");
    f.selectOnly({a});

    // A quarter turn about Z in small steps around the pivot at the origin.
    auto* rotate = dynamic_cast<RotateObjectFunction*>(f.manager->findFunction("RotateObject"));
    f.stylus(V(10, 0, 0));
    f.press();
    EXPECT_EQ(*a->getParameterValue<std::string>("material"), "wireframeMaterial");
    for (int i = 1; i <= 90; ++i) {
        const float t = Ogre::Math::HALF_PI * float(i) / 90.f;
        f.stylus(V(10 * std::cos(t), 10 * std::sin(t), 0));
    }
    // The reference line runs from the centre of the turn to the stylus.
    const IToolMarks::Marks marks = rotate->getToolMarks();
    ASSERT_EQ(marks.lines.size(), 1u);
    EXPECT_EQ(marks.lines[0].node, "RotationRefLineNode");
    expectNear(marks.lines[0].from, a->getWorldTransform().position);
    expectNear(marks.lines[0].to, f.root.getWorldMatrix() * V(0, 10, 0));
    f.release();
    EXPECT_TRUE(rotate->getToolMarks().lines.empty());
    EXPECT_EQ(*a->getParameterValue<std::string>("material"), "stone");
    const V turnedX = a->getOrientation() * V::UNIT_X;
    expectNear(turnedX, V::UNIT_Y, 0.02f);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);

    // The next drag starts where it is pressed, not where the last one ended.
    const Ogre::Quaternion before = a->getOrientation();
    f.stylus(V(-10, 0, 0));
    f.press();
    f.stylus(V(-10, 0.01f, 0));
    f.release();
    Ogre::Radian moved;
    V axis;
    (before.Inverse() * a->getOrientation()).ToAngleAxis(moved, axis);
    EXPECT_LT(std::abs(moved.valueRadians()), 0.01f);

    // A press without movement adds nothing to the history.
    const std::size_t entries = f.manager->getUndoCount();
    f.drag(V(3, 3, 0), {});
    EXPECT_EQ(f.manager->getUndoCount(), entries);

    f.manager->undo();
    f.manager->undo();
    EXPECT_TRUE(a->getOrientation().equals(Ogre::Quaternion::IDENTITY, Ogre::Radian(1e-4f)));
}

// ------------------------------------------------------------------- scale

TEST(ScaleObject, SidewaysTravelScalesExponentiallyAndUndoRestores) {
    ToolFixture f;
    auto* scale = f.addTool<ScaleObjectFunction>();
    f.manager->activateFunction("ScaleObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    Kiln::Object* b = f.addCube(V(10, 0, 0));
    b->setScale(V(2, 1, 1));
    f.selectOnly({a, b});

    // 10 world units to the right: 50 root units at the root's scale of 0.2.
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(50, 30, 0));
    expectNear(scale->getFactor(), V(std::exp(1.f)), 1e-4f);
    EXPECT_FALSE(f.haptics.stylusVisible);
    f.release();
    EXPECT_TRUE(f.haptics.stylusVisible);
    expectNear(a->getScale(), V(std::exp(1.f)), 1e-4f);
    expectNear(b->getScale(), V(2 * std::exp(1.f), std::exp(1.f), std::exp(1.f)), 1e-4f);
    f.manager->undo();
    expectNear(b->getScale(), V(2, 1, 1));
    f.manager->redo();
    expectNear(a->getScale(), V(std::exp(1.f)), 1e-4f);

    // Back to the start point: no entry and the message.
    f.drag(V(0, 0, 0), {V(20, 0, 0), V(0, 0, 0)});
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_EQ(f.status.last().text, "Move the grip while the middle-button is pressed.");
}

TEST(ScaleObject, ShiftScalesPerAxisAndAKeyChangeKeepsTheScaleReached) {
    ToolFixture f;
    f.addTool<ScaleObjectFunction>();
    f.manager->activateFunction("ScaleObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    f.selectOnly({a});

    f.keyDown(OIS::KC_LSHIFT);
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(50, -50, 0));
    expectNear(a->getScale(), V(std::exp(1.f), std::exp(-1.f), 1), 1e-4f);
    // Control: uniform again, from the shape reached, driven by x alone.
    f.keyDown(OIS::KC_LCONTROL);
    f.stylus(V(100, -50, 0));
    expectNear(a->getScale(), V(std::exp(2.f), std::exp(0.f), std::exp(1.f)), 1e-3f);
    // Back to the point of the key change: the items stay as scaled there,
    // and that is an entry even though the part since is (1, 1, 1).
    f.stylus(V(50, -50, 0));
    f.release();
    f.keyUp(OIS::KC_LCONTROL);
    f.keyUp(OIS::KC_LSHIFT);
    expectNear(a->getScale(), V(std::exp(1.f), std::exp(-1.f), 1), 1e-4f);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    f.manager->undo();
    expectNear(a->getScale(), V(1, 1, 1));
}

TEST(ScaleObject, AxisLocksScaleOnlyTheirAxesAndShowTheSizeOfOneItem) {
    ToolFixture f;
    f.addTool<ScaleObjectFunction>();
    f.manager->activateFunction("ScaleObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    f.selectOnly({a});
    f.keyDown(OIS::KC_Y);
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(50, 0, 0));
    auto* scale = dynamic_cast<ScaleObjectFunction*>(f.manager->findFunction("ScaleObject"));
    IToolMarks::Marks marks = scale->getToolMarks();
    ASSERT_EQ(marks.captions.size(), 1u);
    EXPECT_EQ(marks.captions[0].text, "The approx size of the object is : 6.00 cm x 16.31 cm x 6.00 cm");
    EXPECT_GT(marks.captions[0].at.y, (f.root.getWorldMatrix() * f.box(*a).getMaximum()).y) << "above the item";
    // Only the locked axis is marked, centred on the stylus.
    ASSERT_EQ(marks.lines.size(), 1u);
    EXPECT_EQ(marks.lines[0].node, "ScaleAxisMarkerY");
    expectNear((marks.lines[0].from + marks.lines[0].to) * 0.5f, f.root.getWorldMatrix() * V(50, 0, 0));
    expectNear(marks.lines[0].to - marks.lines[0].from, V(0, 2 * ScaleObjectFunction::markerHalfLength, 0));
    f.keyDown(OIS::KC_LSHIFT);  // per-axis scaling marks every axis
    EXPECT_EQ(scale->getToolMarks().lines.size(), 3u);
    f.keyUp(OIS::KC_LSHIFT);
    f.release();
    f.keyUp(OIS::KC_Y);
    marks = scale->getToolMarks();
    EXPECT_TRUE(marks.lines.empty() && marks.captions.empty()) << "nothing shows after the drag";
}

TEST(ScaleObject, ForceBoxPushesBackOnlyOnceTheHandWasInsideAndExtendsTheDrag) {
    ScaleObjectFunction::HapticBox box;
    // Begun outside (x = 20): no force until the hand has been inside.
    EXPECT_EQ(box.forceAt(V(20, 0, -10)), V::ZERO);
    EXPECT_EQ(box.forceAt(V(0, 0, -10)), V::ZERO);
    EXPECT_EQ(box.forceAt(V(0, 0, 4)), V::ZERO) << "z is offset by 10: the box reaches z = 4";
    EXPECT_EQ(box.takeShift(), V::ZERO);
    expectNear(box.forceAt(V(16, 0, 5)), V(-2, 0, -1));
    expectNear(box.forceAt(V(16, 0, -10)), V(-2, 0, 0));
    // Each tick against the wall moves the drag's start the other way.
    expectNear(box.takeShift(), V(-0.04f, 0, -0.01f));
    EXPECT_EQ(box.takeShift(), V::ZERO);
    box.reset();
    EXPECT_EQ(box.forceAt(V(16, 0, -10)), V::ZERO);
}

TEST(ScaleObject, SwitchingToolsMidDragPutsTheScaleBack) {
    ToolFixture f;
    f.addTool<ScaleObjectFunction>();
    f.addTool<MoveObjectFunction>();
    f.manager->activateFunction("ScaleObject");
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    f.selectOnly({a});
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(50, 0, 0));
    f.manager->activateFunction("MoveObject");
    expectNear(a->getScale(), V(1, 1, 1));
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_TRUE(f.haptics.isWanted());
}

// -------------------------------------------------------------------- snap

TEST(Snap, GrabsTheTouchedItemOntoTheGridAndRefusesAZeroGrid) {
    EXPECT_EQ(*SnapFunction::snapToGrid(V(1.5f, -1.5f, 0.49f), 1.f), V(2, -2, 0));
    EXPECT_FALSE(SnapFunction::snapToGrid(V(1, 1, 1), 0.f));
    EXPECT_FALSE(SnapFunction::snapToGrid(V(1, 1, 1), std::nanf("")));

    ToolFixture f;
    f.addTool<SnapFunction>();
    auto* grid = f.addTool<FakeGridFunction>(0.5f);
    f.manager->activateFunction("Snap");
    Kiln::ObjectGroup* group = f.root.adoptChild(std::make_unique<Kiln::ObjectGroup>());
    group->setPosition(V(1.3f, 2.7f, -0.4f));
    Kiln::Object* part = f.addCube(V(0, 0, 0), group);
    f.haptics.touched = {part->getHandle()};

    f.drag(V(1, 1, 1), {V(2.1f, 1, 1), V(2.3f, 1.2f, 1)});
    // Grabbed at the snapped (1.5, 2.5, -0.5); the hand then moved (1.3, 0.2, 0).
    expectNear(group->getPosition(), V(3, 2.5f, -0.5f));
    EXPECT_EQ(*group->getParameterValue<bool>("showBoundingBox"), false);
    f.manager->undo();
    expectNear(group->getPosition(), V(1.3f, 2.7f, -0.4f));
    f.manager->redo();
    expectNear(group->getPosition(), V(3, 2.5f, -0.5f));

    grid->spacing = 0.f;
    f.drag(V(1, 1, 1), {V(5, 5, 5)});
    expectNear(group->getPosition(), V(3, 2.5f, -0.5f));
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_FALSE(f.manager->isBusy());
}

// ------------------------------------------------------------------ select

TEST(SelectObject, GripTwoTogglesTheTouchedTopLevelItem) {
    ToolFixture f;
    f.addTool<SelectObjectFunction>();
    Kiln::ObjectGroup* group = f.root.adoptChild(std::make_unique<Kiln::ObjectGroup>());
    Kiln::Object* part = f.addCube(V(0, 0, 0), group);
    Kiln::Object* other = f.addCube(V(9, 0, 0));

    f.haptics.touched = {part->getHandle(), part->getHandle()};
    f.press(2);
    f.release(2);
    EXPECT_TRUE(f.isSelected(group));
    EXPECT_EQ(f.selection.getSelected().count(group->getHandle()), 1u);

    // Without a modifier the touched item replaces the selection; with
    // Shift alone it is added.
    f.haptics.touched = {other->getHandle()};
    f.press(2);
    f.release(2);
    EXPECT_FALSE(f.isSelected(group));
    EXPECT_TRUE(f.isSelected(other));
    f.haptics.touched = {part->getHandle()};
    f.keyDown(OIS::KC_LSHIFT);
    f.press(2);
    f.release(2);
    f.keyUp(OIS::KC_LSHIFT);
    EXPECT_TRUE(f.isSelected(group));
    EXPECT_TRUE(f.isSelected(other));
    EXPECT_EQ(f.manager->getUndoCount(), 3u);

    f.manager->undo();
    EXPECT_FALSE(f.isSelected(group));
    EXPECT_TRUE(f.isSelected(other));
    f.manager->redo();
    EXPECT_TRUE(f.isSelected(group));

    // Control alone toggles the touched item off; the same click again
    // with Control toggles it back.
    f.keyDown(OIS::KC_LCONTROL);
    f.press(2);
    f.release(2);
    EXPECT_FALSE(f.isSelected(group));
    f.keyUp(OIS::KC_LCONTROL);

    // A click in empty space over nothing changes nothing: no entry.
    f.haptics.touched = {};
    f.selection.clearSelection();
    const std::size_t entries = f.manager->getUndoCount();
    f.press(2);
    f.release(2);
    EXPECT_EQ(f.manager->getUndoCount(), entries);
}

TEST(SelectObject, ASweepThatJumpsOverAnObjectBetweenFramesStillSelectsIt) {
    ToolFixture f;
    f.addTool<SelectObjectFunction>();
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    // The view shows the object only under points with |x| < 0.2.
    f.picker.at = [a](const Ogre::Vector3& p) {
        return std::abs(p.x) < 0.2f ? std::vector<Kiln::ObjectHandle>{a->getHandle()}
                                    : std::vector<Kiln::ObjectHandle>{};
    };
    f.stylus(V(-5, 0, 0));
    f.press(2);
    f.stylus(V(5, 0, 0)); // one slow frame: the stylus jumped across
    f.release(2);
    EXPECT_TRUE(f.isSelected(a));
}

/// Records where the view was told to turn about.
class CentreView : public IViewControl {
public:
    void resetCamera() override {}
    std::string setUnit(int) override { return ""; }
    void setTipRadius(float) override {}
    float getTipRadius() const override { return 1.f; }
    bool saveScreenshot(const std::string&) override { return false; }
    void setRotationCentre(const Ogre::Vector3& world) override { centres.push_back(world); }
    std::vector<Ogre::Vector3> centres;
};

TEST(SelectObject, SweepSelectsWhatTheViewShowsAndTabCycles) {
    ToolFixture f;
    CentreView view;
    f.context.view = &view;
    f.addTool<SelectObjectFunction>();
    f.addTool<SelectAllFunction>();
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    Kiln::Object* b = f.addCube(V(9, 0, 0));
    Kiln::Object* hidden = f.addCube(V(-9, 0, 0));
    hidden->setVisible(false);

    f.stylus(V(0, 0, 0));
    f.press(2);
    f.picker.under = {a->getHandle()};
    f.stylus(V(1, 0, 0));
    f.picker.under = {b->getHandle(), hidden->getHandle()};
    f.stylus(V(9, 0, 0));
    f.release(2);
    EXPECT_TRUE(f.isSelected(a));
    EXPECT_TRUE(f.isSelected(b));
    EXPECT_FALSE(f.isSelected(hidden));
    f.picker.under = {a->getHandle()};
    f.stylus(V(0, 0, 0));
    EXPECT_TRUE(f.isSelected(a)) << "the sweep ended with the release";

    f.tap(OIS::KC_TAB);  // cycles from the start
    ASSERT_EQ(f.selection.getSelected().size(), 1u);
    EXPECT_EQ(f.status.last().text.rfind("Selected Object No: ", 0), 0u);
    // The view now turns about the picked item (a world point).
    ASSERT_EQ(view.centres.size(), 1u);
    expectNear(view.centres.back(), f.selection.getSelected().begin()->get()->getWorldTransform().position);
    f.chord(OIS::KC_LMENU, OIS::KC_TAB);
    EXPECT_EQ(view.centres.size(), 1u) << "Alt keeps the centre";
    f.chord(OIS::KC_LCONTROL, OIS::KC_TAB);
    EXPECT_TRUE(f.selection.getSelected().empty());

    const std::size_t entries = f.manager->getUndoCount();
    f.chord(OIS::KC_LCONTROL, OIS::KC_A);
    EXPECT_TRUE(f.isSelected(a));
    EXPECT_TRUE(f.isSelected(b));
    EXPECT_EQ(f.selection.getSelected().size(), 2u) << "hidden items are not selected";
    EXPECT_EQ(f.manager->getUndoCount(), entries + 1);
    f.manager->undo();
    EXPECT_TRUE(f.selection.getSelected().empty());
}

} // namespace
