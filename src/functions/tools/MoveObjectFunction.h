#pragma once
// Moves the selection with the stylus while the centre button is held.
// X, Y and Z held keep only that component of each step (in the scene
// root's frame). One history entry per drag that moved something.
#include "functions/FunctionBase.h"
#include "functions/tools/ToolSupport.h"
#include "functions/tools/TransformStates.h"

#include <memory>

class MoveObjectFunction : public FunctionBase {
public:
    explicit MoveObjectFunction(FunctionContext& context);

    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    void activate() override;
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

private:
    void finishDrag();

    std::unique_ptr<MoveObjectState> state;
    bool moved = false;
    Ogre::Vector3 lastPoint = Ogre::Vector3::ZERO;
    tools::AxisKeys locks;
};
