#include "ToolTestSupport.h"

#include "functions/tools/CreateObjectFunction.h"
#include "functions/tools/EditFunctions.h"
#include "functions/tools/LineFunction.h"
#include "functions/tools/MoveObjectFunction.h"
#include "functions/tools/ScaleObjectFunction.h"
#include "functions/tools/StiffnessFunction.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using V = Ogre::Vector3;

/// Every node below `root` as "id<parent id@x,y,z", sorted (items put back
/// come last among their siblings).
std::vector<std::string> sceneTree(const Kiln::ObjectGroup& root) {
    std::vector<std::string> out;
    std::function<void(const Kiln::ObjectGroup&)> walk = [&](const Kiln::ObjectGroup& node) {
        for (const auto& child : node.getChildren()) {
            const Ogre::Vector3 p = child->getPosition();
            char text[128];
            std::snprintf(text, sizeof text, "%u<%u@%.4f,%.4f,%.4f", child->getId(), node.getId(), p.x, p.y, p.z);
            out.push_back(text);
            walk(*child);
        }
    };
    walk(root);
    std::sort(out.begin(), out.end());
    return out;
}

Kiln::Object* onlyObject(ToolFixture& f) {
    EXPECT_EQ(f.root.getChildren().size(), 1u);
    return f.root.getChildren().empty() ? nullptr : dynamic_cast<Kiln::Object*>(f.root.getChildren().back().get());
}

// ------------------------------------------------------------------ create

TEST(CreateObject, ArgumentPicksTheShapeInAnyCaseAndUnknownWordsGiveACube) {
    ToolFixture f;
    auto* create = f.addTool<CreateObjectFunction>();
    EXPECT_EQ(create->getShapeType(), 1);
    f.manager->setFunctionArgument("CreateObject", "sPhErE");
    EXPECT_EQ(create->getShapeType(), 2);
    EXPECT_EQ(create->getTitle(), "Create Sphere");
    f.manager->setFunctionArgument("CreateObject", "pyramid");
    EXPECT_EQ(create->getShapeType(), 1);
    EXPECT_EQ(create->getHelpText(),
              "Click the center button and drag the grip towards you to create a Cube (Use SHIFT-key for non-uniform shape)");
}

TEST(CreateObject, PutsTheShapeAtTheStylusAtItsMeshSizeAndUndoesIt) {
    ToolFixture f;
    f.addTool<CreateObjectFunction>();
    f.addTool<ScaleObjectFunction>();
    f.manager->initFunctions();
    f.manager->activateFunction("CreateObject");
    Kiln::Object* before = f.addCube(V(20, 0, 0));
    f.selectOnly({before});

    // Never given an argument: a cube, and the entry says so.
    f.drag(V(1, 2, 3), {});
    Kiln::Object* cube = dynamic_cast<Kiln::Object*>(f.root.getChildren().back().get());
    ASSERT_NE(cube, before);
    EXPECT_EQ(cube->getMesh()->getVertexCount(), 3750u);
    // World size = mesh size: a cube of edge 6 in world units is 30 root units.
    const Ogre::AxisAlignedBox box = f.box(*cube);
    expectNear(box.getCenter(), V(1, 2, 3));
    expectNear(box.getSize(), V(30, 30, 30), 1e-3f);
    EXPECT_TRUE(f.isSelected(cube));
    EXPECT_FALSE(f.isSelected(before));
    EXPECT_FLOAT_EQ(*cube->getParameterValue<float>("stiffness"),
                    StiffnessFunction::stiffnessFor(StiffnessFunction::defaultSliderValue));
    EXPECT_EQ(*cube->getParameterValue<std::string>("material"), "defaultMaterial");

    f.manager->undo();
    EXPECT_EQ(f.status.last().text, "Undo create cube");
    EXPECT_EQ(f.root.getChildren().size(), 1u);
    EXPECT_TRUE(f.isSelected(before));
    f.manager->redo();
    EXPECT_EQ(f.root.getChildren().back().get(), cube);
    EXPECT_TRUE(f.isSelected(cube));
    EXPECT_FALSE(f.isSelected(before));
    EXPECT_TRUE(f.haptics.isWanted());
}

TEST(CreateObject, DraggingSizesThroughTheScaleToolAndTheSliderSetsStiffness) {
    ToolFixture f;
    f.addTool<CreateObjectFunction>();
    f.addTool<ScaleObjectFunction>();
    auto* stiffness = f.addTool<StiffnessFunction>();
    f.manager->initFunctions();
    f.manager->activateFunction("CreateObject");
    f.manager->setFunctionArgument("CreateObject", "cone");

    stiffness->sliderMoved(0.f);
    f.drag(V(0, 0, 0), {V(25, 0, 0), V(50, 0, 0)});
    Kiln::Object* cone = onlyObject(f);
    expectNear(cone->getScale(), V(5 * std::exp(1.f)), 1e-3f);
    EXPECT_FLOAT_EQ(*cone->getParameterValue<float>("stiffness"), 0.05f);
    EXPECT_EQ(f.manager->getUndoCount(), 1u) << "the sizing is part of the creation";

    // While it sizes the new object the creation tool shows the scale
    // tool's markers and the size of the object.
    auto* create = dynamic_cast<CreateObjectFunction*>(f.manager->findFunction("CreateObject"));
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(10, 0, 0));
    const IToolMarks::Marks sizing = create->getToolMarks();
    EXPECT_EQ(sizing.lines.size(), 3u);
    ASSERT_EQ(sizing.captions.size(), 1u);
    EXPECT_EQ(sizing.captions[0].text.rfind("The approx size of the object is : ", 0), 0u);
    f.release();
    EXPECT_TRUE(create->getToolMarks().lines.empty());

    stiffness->sliderMoved(1.f);
    f.drag(V(0, 0, 0), {});
    EXPECT_FLOAT_EQ(*dynamic_cast<Kiln::Object*>(f.root.getChildren().back().get())
                         ->getParameterValue<float>("stiffness"),
                    1.f);
}

TEST(CreateObject, AltChangesOnlyTheTorusTubeWithinItsLimits) {
    // At a tube of 1 the torus is the generator's own.
    const auto standard = Kiln::MeshEditor::createNewDynamicMesh(5, Ogre::ColourValue::White);
    const auto built = CreateObjectFunction::buildTorus(1.0, Ogre::ColourValue::White);
    ASSERT_EQ(built->getVertexCount(), standard->getVertexCount());
    ASSERT_EQ(built->getFaceCount(), standard->getFaceCount());
    for (std::size_t i = 0; i < built->getVertexCount(); ++i)
        expectNear(built->getVertices()[i].position, standard->getVertices()[i].position, 1e-5f);
    for (std::size_t i = 0; i < built->getFaceCount(); ++i)
        ASSERT_EQ(built->getFaces()[i], standard->getFaces()[i]) << i;
    EXPECT_TRUE(Kiln::isClosed(*CreateObjectFunction::buildTorus(0.3, Ogre::ColourValue::White)));

    ToolFixture f;
    auto* create = f.addTool<CreateObjectFunction>();
    f.addTool<ScaleObjectFunction>();
    f.manager->initFunctions();
    f.manager->activateFunction("CreateObject");
    f.manager->setFunctionArgument("CreateObject", "TORUS");
    f.stylus(V(0, 0, 0));
    f.press();
    f.keyDown(OIS::KC_LMENU);
    f.stylus(V(0, 0, 1));  // the drag goes on from here
    EXPECT_FLOAT_EQ(create->getThickness(), 1.f);
    f.stylus(V(30, 0, 1000));  // far towards the viewer: the thickest tube
    EXPECT_FLOAT_EQ(create->getThickness(), 1.9f);
    Kiln::Object* torus = onlyObject(f);
    EXPECT_EQ(torus->getMesh()->getVertexCount(), 80u * (4 + 53));
    expectNear(torus->getScale(), V(5), 1e-4f);
    f.keyUp(OIS::KC_LMENU);
    f.stylus(V(50, 0, 1000));  // uniform scaling again, from the size reached
    expectNear(torus->getScale(), V(5), 1e-4f);
    f.stylus(V(100, 0, 1000));
    expectNear(torus->getScale(), V(5 * std::exp(1.f)), 1e-3f);
    EXPECT_FLOAT_EQ(create->getThickness(), 1.9f);
    f.release();
}

// ------------------------------------------------------------ line, measure

TEST(CreateLine, DrawsABarBetweenPressAndReleaseOneEntryEach) {
    ToolFixture f;
    f.addTool<LineFunction>();
    f.manager->activateFunction("CreateLine");
    f.drag(V(0, 0, 0), {V(2, 0, 0), V(4, 3, 0)});
    Kiln::Object* line = onlyObject(f);
    EXPECT_TRUE(Kiln::isClosed(*line->getMesh()));
    EXPECT_GT(Kiln::signedVolume(*line->getMesh()), 0.0) << "wound outwards";
    const Ogre::AxisAlignedBox box = f.box(*line);
    EXPECT_NEAR(box.getMinimum().x, -0.08f, 0.03f);
    EXPECT_NEAR(box.getMaximum().x, 4.08f, 0.03f);
    EXPECT_NEAR(box.getMaximum().y, 3.06f, 0.05f);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    f.manager->undo();
    EXPECT_TRUE(f.root.getChildren().empty());
    EXPECT_EQ(f.status.last().text, "Undo Draw line");
    f.manager->redo();
    EXPECT_EQ(f.root.getChildren().size(), 1u);

    f.drag(V(1, 1, 1), {});
    EXPECT_EQ(f.root.getChildren().size(), 1u);
    EXPECT_EQ(f.status.last().text, "Move the grip while middle button is pressed.");
}

TEST(Measure, ReportsTheLengthInTheGridUnitAndChangesNothing) {
    ToolFixture f;
    auto* measure = f.addTool<MeasureFunction>();
    f.addTool<LineFunction>();
    f.addTool<FakeGridFunction>(0.5f);
    f.manager->activateFunction("MeasureFunction");
    f.stylus(V(0, 0, 0));
    f.press();
    f.stylus(V(3, 4, 0));
    IToolMarks::Marks marks = measure->getToolMarks();
    ASSERT_EQ(marks.captions.size(), 1u);
    EXPECT_EQ(marks.captions[0].text, "Length is: 10.00 mm");
    ASSERT_EQ(marks.lines.size(), 1u);
    expectNear(marks.lines[0].to, f.root.getWorldMatrix() * V(3, 4, 0));
    f.stylus(V(0, 0, 12));
    f.release();
    EXPECT_EQ(f.status.last().text, "Measured Length is: 24.00 mm");
    EXPECT_EQ(measure->getToolMarks().captions.at(0).text, f.status.last().text) << "the result stays shown";
    f.manager->activateFunction("CreateLine");
    EXPECT_TRUE(measure->getToolMarks().captions.empty());
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_TRUE(f.root.getChildren().empty());
}

// --------------------------------------------------------------- stiffness

TEST(Stiffness, OneEntryPerSliderGestureWithEachObjectsOwnValueRestored) {
    ToolFixture f;
    auto* stiffness = f.addTool<StiffnessFunction>();
    f.manager->activateFunction("StiffnessFunction");
    Kiln::ObjectGroup* group = f.root.adoptChild(std::make_unique<Kiln::ObjectGroup>());
    Kiln::Object* soft = f.addCube(V(0, 0, 0), group);
    Kiln::Object* hard = f.addCube(V(5, 0, 0), group);
    soft->setParameter("stiffness", 0.1f);
    hard->setParameter("stiffness", 0.9f);
    f.selectOnly({group});

    for (int i = 0; i <= 20; ++i)
        f.manager->setFunctionArgument("StiffnessFunction", std::to_string(i / 20.0));
    f.manager->setFunctionArgument("StiffnessFunction", "done");
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_FLOAT_EQ(*soft->getParameterValue<float>("stiffness"), 1.f);

    // A pause ends a gesture too.
    stiffness->sliderMoved(0.f);
    Ogre::FrameEvent frame;
    frame.timeSinceLastFrame = 0.3f;
    f.manager->frameStarted(frame);
    stiffness->sliderMoved(0.5f);
    f.manager->frameStarted(frame);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    f.manager->frameStarted(frame);
    EXPECT_EQ(f.manager->getUndoCount(), 2u);
    EXPECT_FLOAT_EQ(*hard->getParameterValue<float>("stiffness"), StiffnessFunction::stiffnessFor(0.5f));

    f.manager->undo();
    f.manager->undo();
    EXPECT_FLOAT_EQ(*soft->getParameterValue<float>("stiffness"), 0.1f);
    EXPECT_FLOAT_EQ(*hard->getParameterValue<float>("stiffness"), 0.9f);

    EXPECT_THROW(f.manager->setFunctionArgument("StiffnessFunction", "NoSuchSlider"), Kiln::Exception);
}

/// A slider window the test moves, grabs and lets go of.
class SliderGui : public FakeGui {
public:
    float getValue(const std::string& w) const override { return values.count(w) ? values.at(w) : 0.f; }
    void setValue(const std::string& w, float v) override { values[w] = std::clamp(v, 0.f, 1.f); }
    bool isValueTracking(const std::string&) const override { return held; }
    std::map<std::string, float> values;
    bool held = false;
};

TEST(Stiffness, TheSliderShowsTheSelectionAndOneDragOfItIsOneEntry) {
    ToolFixture f;
    SliderGui gui;
    const std::string window = "Root/StiffnessSlider";
    gui.windows.insert(window);
    gui.values[window] = 0.5f;
    f.context.gui = &gui;
    auto* stiffness = f.addTool<StiffnessFunction>();
    f.addTool<MoveObjectFunction>();
    f.manager->setFunctionArgument("StiffnessFunction", window);
    Kiln::Object* soft = f.addCube(V(0, 0, 0));
    Kiln::Object* hard = f.addCube(V(9, 0, 0));
    soft->setParameter("stiffness", StiffnessFunction::stiffnessFor(0.2f));
    hard->setParameter("stiffness", StiffnessFunction::stiffnessFor(0.8f));
    Ogre::FrameEvent frame{};
    frame.timeSinceLastFrame = 1.f;  // longer than any pause: only the thumb ends a drag
    const auto step = [&] { f.manager->frameStarted(frame); };

    f.selectOnly({soft});
    f.manager->activateFunction("StiffnessFunction");
    EXPECT_NEAR(gui.values[window], 0.2f, 1e-5f);
    f.selectOnly({hard});
    step();
    EXPECT_NEAR(gui.values[window], 0.8f, 1e-5f);
    EXPECT_EQ(f.manager->getUndoCount(), 0u) << "showing a value is no edit";

    gui.held = true;
    for (float v : {0.7f, 0.5f, 0.3f}) {
        gui.values[window] = v;
        step();
        EXPECT_FLOAT_EQ(*hard->getParameterValue<float>("stiffness"), StiffnessFunction::stiffnessFor(v));
    }
    EXPECT_EQ(f.manager->getUndoCount(), 0u) << "the drag is still going on";
    gui.held = false;
    step();
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    gui.values[window] = 0.1f;  // a click beside the thumb
    step();
    EXPECT_EQ(f.manager->getUndoCount(), 2u);
    f.manager->undo();
    f.manager->undo();
    EXPECT_FLOAT_EQ(*hard->getParameterValue<float>("stiffness"), StiffnessFunction::stiffnessFor(0.8f));
    EXPECT_FLOAT_EQ(*soft->getParameterValue<float>("stiffness"), StiffnessFunction::stiffnessFor(0.2f));

    // Under another tool the slider only sets what new objects get.
    f.manager->activateFunction("MoveObject");
    gui.values[window] = 0.9f;
    step();
    EXPECT_FLOAT_EQ(stiffness->getStiffness(), StiffnessFunction::stiffnessFor(0.9f));
    EXPECT_FLOAT_EQ(*hard->getParameterValue<float>("stiffness"), StiffnessFunction::stiffnessFor(0.8f));
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
}

// -------------------------------------------------------------------- edit

struct EditFixture : ToolFixture {
    EditFixture() {
        addTool<CopyFunction>();
        addTool<CutFunction>();
        addTool<PasteFunction>();
        addTool<DeleteObjectFunction>();
        addTool<GroupingFunction>();
        addTool<UnGroupFunction>();
        addTool<MoveObjectFunction>();
        manager->activateFunction("MoveObject");
    }
    void control(OIS::KeyCode code) { chord(OIS::KC_LCONTROL, code); }
};

TEST(Edit, CopyThenPasteInPlaceOrAtTheStylus) {
    EditFixture f;
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    Kiln::Object* b = f.addCube(V(4, 2, 0));
    f.selectOnly({a, b});
    f.control(OIS::KC_C);
    EXPECT_TRUE(f.selection.getSelected().empty());
    EXPECT_EQ(f.manager->getUndoCount(), 0u) << "copying changes no scene";

    f.control(OIS::KC_F);
    ASSERT_EQ(f.root.getChildren().size(), 4u);
    Kiln::ObjectGroup* copyA = f.root.getChildren()[2].get();
    Kiln::ObjectGroup* copyB = f.root.getChildren()[3].get();
    expectNear(copyA->getPosition(), V(0, 0, 0));
    expectNear(copyB->getPosition(), V(4, 2, 0));
    EXPECT_NE(copyA->getId(), a->getId());
    EXPECT_TRUE(f.isSelected(copyA) && f.isSelected(copyB) && !f.isSelected(a));

    // Control+V: the copies' mean lands on the stylus.
    f.stylus(V(10, 10, 10));
    f.control(OIS::KC_V);
    ASSERT_EQ(f.root.getChildren().size(), 6u);
    const V mean = (f.root.getChildren()[4]->getPosition() + f.root.getChildren()[5]->getPosition()) * 0.5f;
    expectNear(mean, V(10, 10, 10));
    EXPECT_EQ(f.manager->getUndoCount(), 2u);

    f.manager->undo();
    f.manager->undo();
    EXPECT_EQ(f.root.getChildren().size(), 2u);
    f.manager->redo();
    EXPECT_EQ(f.root.getChildren().size(), 4u);
    EXPECT_TRUE(f.isSelected(f.root.getChildren()[3].get()));
}

TEST(Edit, PasteToolPlacesTheCopiesWithTheDrag) {
    EditFixture f;
    f.addCube(V(2, 0, 0));
    f.manager->activateFunction("PasteFunction");
    f.drag(V(0, 0, 0), {});
    EXPECT_EQ(f.status.messages[f.status.messages.size() - 1].text,
              "No objects were pasted because the clipboard is empty.");
    EXPECT_FALSE(f.haptics.isWanted()) << "no haptics while pasting";

    f.selectOnly({f.root.getChildren()[0].get()});
    f.control(OIS::KC_C);
    f.drag(V(5, 5, 5), {V(6, 5, 5), V(7, 8, 9)});
    ASSERT_EQ(f.root.getChildren().size(), 2u);
    expectNear(f.root.getChildren()[1]->getPosition(), V(7, 8, 9));
    EXPECT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_FALSE(f.haptics.isWanted()) << "still pasting";
    f.manager->activateFunction("MoveObject");
    EXPECT_TRUE(f.haptics.isWanted());
}

TEST(Edit, CutAndDeleteTakeItemsOutAndUndoBringsThemBackSelected) {
    EditFixture f;
    Kiln::Object* a = f.addCube(V(0, 0, 0));
    Kiln::Object* b = f.addCube(V(5, 0, 0));
    Kiln::Object* c = f.addCube(V(9, 0, 0));
    f.selectOnly({a, b, c});
    f.tap(OIS::KC_DELETE);
    EXPECT_TRUE(f.root.getChildren().empty());
    EXPECT_TRUE(f.selection.getSelected().empty());
    f.manager->undo();
    EXPECT_EQ(f.root.getChildren().size(), 3u);
    EXPECT_TRUE(f.isSelected(a) && f.isSelected(b) && f.isSelected(c));

    f.selectOnly({b});
    f.control(OIS::KC_X);
    EXPECT_EQ(f.root.getChildren().size(), 2u);
    f.manager->undo();
    EXPECT_TRUE(f.isSelected(b));
    // The clipboard kept its copy of the cut item.
    f.control(OIS::KC_F);
    EXPECT_EQ(f.root.getChildren().size(), 4u);
    expectNear(f.root.getChildren().back()->getPosition(), V(5, 0, 0));
}

TEST(Edit, GroupingKeepsWorldPlacesAndUndoReturnsItemsToTheirParents) {
    EditFixture f;
    Kiln::ObjectGroup* turned = f.root.adoptChild(std::make_unique<Kiln::ObjectGroup>());
    turned->setTransform(V(3, 0, 0), Ogre::Quaternion(Ogre::Degree(90), V::UNIT_Z), V(2, 2, 2));
    Kiln::Object* inner = f.addCube(V(1, 0, 0), turned);
    Kiln::Object* loose = f.addCube(V(-5, 0, 0));
    const Ogre::AxisAlignedBox innerBox = f.box(*inner);
    const Ogre::AxisAlignedBox looseBox = f.box(*loose);

    f.selectOnly({loose});
    f.control(OIS::KC_G);
    EXPECT_EQ(f.status.last().text, "You must select more than one object to group them.");
    EXPECT_EQ(f.manager->getUndoCount(), 0u);

    // Control+G groups while the move tool is active.
    f.selectOnly({turned, loose});
    f.control(OIS::KC_G);
    ASSERT_EQ(f.root.getChildren().size(), 1u);
    Kiln::ObjectGroup* group = f.root.getChildren()[0].get();
    EXPECT_EQ(group->getChildren().size(), 2u);
    expectNear(f.box(*inner).getMinimum(), innerBox.getMinimum(), 1e-4f);
    expectNear(f.box(*loose).getMaximum(), looseBox.getMaximum(), 1e-4f);

    // Moving the group moves its members; ungrouping keeps them there.
    f.selectOnly({group});
    f.drag(V(0, 0, 0), {V(0, 1, 0)});
    f.selectOnly({group});
    f.manager->activateFunction("UnGroup");
    f.drag(V(0, 0, 0), {});
    EXPECT_EQ(f.root.getChildren().size(), 2u);
    expectNear(f.box(*inner).getMinimum(), innerBox.getMinimum() + V(0, 1, 0), 1e-4f);
    expectNear(f.box(*loose).getMinimum(), looseBox.getMinimum() + V(0, 1, 0), 1e-4f);

    f.manager->undo();  // ungroup
    EXPECT_EQ(f.root.getChildren().size(), 1u);
    EXPECT_TRUE(f.isSelected(group));
    f.manager->undo();  // move
    f.manager->undo();  // group
    EXPECT_EQ(inner->getParent(), turned);
    EXPECT_EQ(loose->getParent(), &f.root);
    EXPECT_TRUE(f.isSelected(turned) && f.isSelected(loose));
    expectNear(inner->getPosition(), V(1, 0, 0));
    expectNear(f.box(*inner).getMinimum(), innerBox.getMinimum(), 1e-4f);
    f.manager->redo();
    EXPECT_EQ(f.root.getChildren().size(), 1u);
    expectNear(f.box(*inner).getMinimum(), innerBox.getMinimum(), 1e-4f);

    // Ungrouping a plain object says so and adds nothing.
    const std::size_t entries = f.manager->getUndoCount();
    f.manager->activateFunction("UnGroup");
    Kiln::Object* single = f.addCube(V(0, 9, 0));
    f.selectOnly({single});
    f.drag(V(0, 0, 0), {});
    EXPECT_EQ(f.status.last().text, "There are no objects grouped to be ungrouped.");
    EXPECT_EQ(f.manager->getUndoCount(), entries);
}

TEST(Edit, LongHistoriesWalkBackToTheStartAndDroppedEntriesFreeTheirItems) {
    EditFixture f;
    f.addTool<CreateObjectFunction>();
    f.addTool<ScaleObjectFunction>();
    f.manager->initFunctions();
    f.manager->setUndoLimit(6);
    Kiln::Object* base = f.addCube(V(0, 0, 0));

    // Create, move, copy-paste, group, delete, ... more steps than the limit.
    for (int round = 0; round < 3; ++round) {
        f.manager->activateFunction("CreateObject");
        f.drag(V(float(round * 10), 0, 0), {});
        f.manager->activateFunction("MoveObject");
        f.drag(V(0, 0, 0), {V(0, 1, 0)});
        f.control(OIS::KC_C);
        f.control(OIS::KC_F);
        f.selectOnly({base, f.root.getChildren().back().get()});
        f.control(OIS::KC_G);
        f.selectOnly({f.root.getChildren().back().get()});
        f.tap(OIS::KC_DELETE);
    }
    EXPECT_EQ(f.manager->getUndoCount(), 6u);
    const std::vector<std::string> end = sceneTree(f.root);
    std::vector<std::vector<std::string>> walkedBack;
    while (f.manager->getUndoCount() > 0) {
        walkedBack.push_back(sceneTree(f.root));
        f.manager->undo();
    }
    // Forth again through the same scenes, to the end.
    while (f.manager->getRedoCount() > 0) {
        f.manager->redo();
        EXPECT_EQ(sceneTree(f.root), walkedBack.back());
        walkedBack.pop_back();
    }
    EXPECT_EQ(sceneTree(f.root), end);
    EXPECT_EQ(f.manager->getUndoCount(), 6u);
    // Dropping the redo list after undoing everything frees what it held
    // without touching the scene.
    for (int i = 0; i < 6; ++i)
        f.manager->undo();
    const std::size_t shown = f.root.getChildren().size();
    f.selectOnly({});
    f.manager->activateFunction("CreateObject");
    f.drag(V(0, 0, 0), {});
    EXPECT_EQ(f.root.getChildren().size(), shown + 1);
    EXPECT_EQ(f.manager->getRedoCount(), 0u);
    f.manager->undo();
    EXPECT_EQ(f.root.getChildren().size(), shown);
}

} // namespace
