#pragma once
// Turns the selection with the stylus while the centre button is held: each
// step turns every selected item about its own origin by the angle the
// stylus swept around the selection's centre. X, Y or Z held fixes the
// axis. The items are drawn as wireframes while they turn, and a line runs
// from the centre of the turn to the stylus.
#include "functions/FunctionBase.h"
#include "functions/tools/ToolSupport.h"
#include "functions/tools/TransformStates.h"

#include <memory>
#include <string>
#include <vector>

class RotateObjectFunction : public FunctionBase, public IToolMarks {
public:
    explicit RotateObjectFunction(FunctionContext& context);

    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    void activate() override;
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;
    /// The reference line "RotationRefLineNode" while a drag runs.
    Marks getToolMarks() const override;

    /// The turn for one stylus step from `from` to `to` around `pivot`
    /// (world frame), about `axis` when it is not zero, else about the axis
    /// normal to both; identity when the step sweeps nothing.
    static Ogre::Quaternion stepRotation(const Ogre::Vector3& pivot, const Ogre::Vector3& from,
                                         const Ogre::Vector3& to, const Ogre::Vector3& axis);

private:
    struct SavedMaterial {
        Kiln::ObjectHandle handle;
        std::string material;
    };
    void saveMaterials(Kiln::ObjectGroup& node);
    void restoreMaterials();
    void finishDrag();

    std::unique_ptr<RotateObjectState> state;
    Ogre::Vector3 pivot = Ogre::Vector3::ZERO;
    Ogre::Vector3 lastPoint = Ogre::Vector3::ZERO;
    bool rotated = false;
    tools::AxisKeys fixedAxis;  ///< one at most
    std::vector<SavedMaterial> savedMaterials;
};
