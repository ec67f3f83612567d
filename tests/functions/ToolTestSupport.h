#pragma once
// A scene of plain objects under a root at the program's scale, a
// selection, and a stylus driven in scene-root coordinates through the
// function manager, as the haptic manager would drive it.
#include "FunctionTestSupport.h"

#include "functions/tools/ToolSupport.h"
#include "mesh/MeshEditor.h"
#include "mesh/MeshMeasures.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

/// Stands in for the view: returns the objects listed for any point, or
/// what `at` answers for the point when it is set.
class FakePicker : public IViewPicker {
public:
    std::vector<Kiln::ObjectHandle> objectsUnder(const Ogre::Vector3& point) const override {
        return at ? at(point) : under;
    }
    std::vector<Kiln::ObjectHandle> under;
    std::function<std::vector<Kiln::ObjectHandle>(const Ogre::Vector3&)> at;
};

/// Stands in for the grid function.
class FakeGridFunction : public FunctionBase, public tools::IGridUnit {
public:
    FakeGridFunction(FunctionContext& context, float spacing)
        : FunctionBase(context, "SwitchGridFunction", FUNCTION_COMMAND, "View", FunctionText::literal("Grid"),
                       FunctionText::literal("")),
          spacing(spacing) {}
    float getGridSpacing() const override { return spacing; }
    std::string getUnitText() const override { return "mm"; }
    float spacing;
};

struct ToolFixture : FunctionFixture {
    ToolFixture() {
        root.setScale(Ogre::Vector3(0.2f));
        context.selection = &selection;
        context.objectFactory = &factory;
        context.picker = &picker;
        context.overlay = &overlay;
    }

    template <typename T, typename... Args>
    T* addTool(Args... args) {
        auto function = std::make_unique<T>(context, args...);
        T* raw = function.get();
        EXPECT_TRUE(manager->registerFunction(std::move(function)));
        return raw;
    }

    /// A cube of edge 6 at `position` (scene root frame) under `parent`
    /// (the root by default).
    Kiln::Object* addCube(const Ogre::Vector3& position, Kiln::ObjectGroup* parent = nullptr) {
        auto object = std::make_unique<Kiln::Object>();
        object->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::White));
        object->setPosition(position);
        return (parent ? parent : &root)->adoptChild(std::move(object));
    }

    Kiln::HapticEvent event() const { return Kiln::HapticEvent(&device, nullptr); }
    void stylus(const Ogre::Vector3& rootPoint) {
        device.position = root.getWorldMatrix() * rootPoint;
        manager->hapticMoved(event());
    }
    void press(unsigned id = 0) {
        device.buttons |= 1u << id;
        manager->hapticButtonPressed(event(), 1u << id);
    }
    void release(unsigned id = 0) {
        device.buttons &= ~(1u << id);
        manager->hapticButtonReleased(event(), 1u << id);
    }
    /// Press at `from`, move to each point, release at the last one.
    void drag(const Ogre::Vector3& from, std::initializer_list<Ogre::Vector3> path, unsigned id = 0) {
        stylus(from);
        press(id);
        for (const Ogre::Vector3& p : path)
            stylus(p);
        release(id);
    }
    void keyDown(OIS::KeyCode code) { manager->keyPressed(key(code)); }
    void keyUp(OIS::KeyCode code) { manager->keyReleased(key(code)); }
    void chord(OIS::KeyCode modifier, OIS::KeyCode code) {
        keyDown(modifier);
        tap(code);
        keyUp(modifier);
    }
    void selectOnly(std::initializer_list<Kiln::ObjectGroup*> nodes) {
        selection.clearSelection();
        for (Kiln::ObjectGroup* node : nodes)
            selection.addObjectToSelected(node->getHandle());
    }
    bool isSelected(Kiln::ObjectGroup* node) { return selection.isSelected(node->getHandle()); }

    /// The node's mesh bounds in the scene root's frame.
    Ogre::AxisAlignedBox box(const Kiln::ObjectGroup& node) const {
        return Kiln::bounds(*node.getMesh(), root.getInverseWorldMatrix() * node.getWorldMatrix());
    }

    Kiln::SelectionManager selection{&root};
    Kiln::PlainObjectFactory factory;
    FakePicker picker;
    struct Overlay : IOverlayTexts {
        void addText(const std::string& id, float, float, float, float) override { texts[id]; }
        void setText(const std::string& id, const std::string& text) override { texts[id] = text; }
        void removeText(const std::string& id) override { texts.erase(id); }
        std::map<std::string, std::string> texts;
    } overlay;
    Kiln::HapticState device;
};

inline void expectNear(const Ogre::Vector3& actual, const Ogre::Vector3& expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}
