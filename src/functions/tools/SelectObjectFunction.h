#pragma once
// Selection by touch (grip button 2 on an object toggles its top-level
// item; Shift or Control alone held adds to the selection instead of
// replacing it), by sweeping (button 2 pressed in empty space, then moved:
// what the view shows under the stylus is selected, or deselected with
// Control alone), by Tab cycling, and all at once (Control+A).
#include "functions/FunctionBase.h"
#include "scene/SelectionManager.h"

#include <memory>

/// The selection before and after a change; undo and redo set one or the other.
class SelectionChangeState : public FunctionState {
public:
    SelectionChangeState(const FunctionBase* function, const FunctionContext& context,
                         Kiln::SelectionManager::HandleSet before)
        : FunctionState(function), context(context), before(std::move(before)) {}
    void setAfter(Kiln::SelectionManager::HandleSet items) { after = std::move(items); }
    const Kiln::SelectionManager::HandleSet& getBefore() const { return before; }
    const Kiln::SelectionManager::HandleSet& getAfter() const { return after; }
    void undo() override;
    void redo() override;

private:
    const FunctionContext& context;
    Kiln::SelectionManager::HandleSet before;
    Kiln::SelectionManager::HandleSet after;
};
using SelectObjectState = SelectionChangeState;
using SelectAllState = SelectionChangeState;

class SelectObjectFunction : public FunctionBase {
public:
    explicit SelectObjectFunction(FunctionContext& context);

    /// An empty entry, as asked of every function that runs by itself.
    std::unique_ptr<FunctionState> invoke() override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    bool isSweeping() const { return sweeping; }

private:
    void toggle(Kiln::ObjectGroup& item);
    void finishChange();
    void sweepAt(const Ogre::Vector3& world);

    std::unique_ptr<SelectionChangeState> state;
    bool sweeping = false;
    Ogre::Vector3 lastSweepPoint = Ogre::Vector3::ZERO; ///< world, the last point swept
    /// World distance between the points looked under along a sweep's path,
    /// and the most points looked under in one frame.
    static constexpr float sweepStep = 0.05f;
    static constexpr int maxSweepSteps = 32; // each one a ray query over the scene
};

class SelectAllFunction : public FunctionBase {
public:
    explicit SelectAllFunction(FunctionContext& context);
    /// Every visible top-level item becomes selected; always one entry.
    void execute() override;
    /// Control alone + A.
    void keyReleased(const OIS::KeyEvent& event) override;
};
