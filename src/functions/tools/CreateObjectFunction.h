#pragma once
// Puts a new primitive (plane, cube, sphere, cone, cylinder or torus, from
// the argument) where the stylus is when the centre button goes down, and
// sizes it by the scale tool's drag while the button is held (Shift alone:
// per axis). For a torus, Alt held changes the tube's thickness instead.
// One history entry per creation.
#include "functions/FunctionBase.h"
#include "scene/SelectionManager.h"

#include <OgreColourValue.h>

#include <memory>
#include <string>

class ScaleObjectFunction;
class StiffnessFunction;

namespace Kiln {
class DynamicMesh;
class Object;
} // namespace Kiln

/// A created object. Undo takes it out of the scene (and holds it) and
/// gives back the selection before; redo puts it back, selected.
class CreateObjectState : public FunctionState {
public:
    CreateObjectState(const FunctionBase* function, const FunctionContext& context);
    ~CreateObjectState() override;
    void setObject(const Kiln::ObjectHandle& object) { objectHandle = object; }
    const Kiln::ObjectHandle& getObject() const { return objectHandle; }
    void setShapeName(std::string word) { name = std::move(word); }
    /// "create " and the shape word.
    std::string getName() const override { return "create " + name; }
    void undo() override;
    void redo() override;

private:
    const FunctionContext& context;
    Kiln::SelectionManager::HandleSet previousSelection;
    Kiln::ObjectHandle objectHandle;
    std::unique_ptr<Kiln::ObjectGroup> detached;
    std::string name = "cube";
};

class CreateObjectFunction : public FunctionBase, public IToolMarks {
public:
    explicit CreateObjectFunction(FunctionContext& context);
    ~CreateObjectFunction() override;

    /// The first argument names the shape, in any letter case; an unknown
    /// word gives a cube.
    void onArgumentSet() override;
    void init() override;
    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    /// Finishes a creation in progress (it keeps its history entry).
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    /// Lets the scale tool apply its force box while sizing.
    bool update(const Ogre::FrameEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;
    /// While a new object is sized: the scale tool's markers and read-out.
    Marks getToolMarks() const override;

    int getShapeType() const { return shapeType; }
    float getThickness() const { return float(thickness); }

    /// A torus of major radius 2 and tube radius `tube` with 80 rings of
    /// 4 + trunc(28 × tube) vertices, every vertex coloured `colour`.
    static std::unique_ptr<Kiln::DynamicMesh> buildTorus(double tube, const Ogre::ColourValue& colour);

private:
    void finishCreation();
    void updateThickness(const Kiln::HapticEvent& event);
    bool altIsHeld() const;

    int shapeType = 1;
    std::string shapeWord = "cube";
    bool altHeld = false;
    bool altChanged = false;
    double thickness = 1.0;
    double baseThickness = 1.0;
    double thicknessStartZ = 0.0;
    std::unique_ptr<CreateObjectState> state;
    Kiln::ObjectHandle object;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    ScaleObjectFunction* scaleTool = nullptr;
    StiffnessFunction* stiffness = nullptr;
};
