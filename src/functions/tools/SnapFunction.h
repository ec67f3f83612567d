#pragma once
// Grabs the touched item with the centre button and drags it from grid
// point to grid point (the grid function's spacing, in the scene root's
// frame). A spacing that is not a positive number is refused.
#include "functions/FunctionBase.h"
#include "functions/tools/TransformStates.h"

#include <memory>
#include <optional>

class SnapFunction : public FunctionBase {
public:
    explicit SnapFunction(FunctionContext& context);

    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    void activate() override;
    void deactivate() override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    /// Each coordinate to the nearest multiple of the spacing (halves away
    /// from zero); nothing when the spacing is not finite and positive.
    static std::optional<Ogre::Vector3> snapToGrid(const Ogre::Vector3& point, float spacing);

private:
    void finishDrag();

    std::unique_ptr<SnapState> state;
    Ogre::Vector3 grabOffset = Ogre::Vector3::ZERO;
    Ogre::Vector3 startPosition = Ogre::Vector3::ZERO;
    float spacing = 1.f;
};
