#include "functions/sculpt/DeformFunction.h"

#include "functions/FunctionRegistration.h"
#include "scene/Object.h"

#include <algorithm>

MORVEL_REGISTER_FUNCTION(DeformFunction);

namespace {
constexpr int SIDE_OUTER = 1;
constexpr int SIDE_BOTH = 3;
const Ogre::ColourValue STYLUS_COLOUR(1.0f, 0.8f, 0.8f, 1.0f);
} // namespace

DeformFunction::DeformFunction(FunctionContext& context)
    : FunctionBase(context, "DeformFunction", FUNCTION_TOOL, "Tools", FunctionText::id(78),
                   FunctionText::id(80)) {}

void DeformFunction::activate() {
    IToolHaptics* haptics = context.haptics;
    if (!haptics)
        return;
    haptics->setStylusColour(STYLUS_COLOUR);
    if (context.sceneRoot && haptics->getSideSetting() != SIDE_BOTH)
        haptics->setHapticSideRecursive(*context.sceneRoot, SIDE_BOTH);
}

void DeformFunction::deactivate() {
    if (state || busy)
        finishClick();
    // Key releases do not reach an inactive tool: start the next activation free.
    lockX = lockY = lockZ = false;
    updateDirection();
    IToolHaptics* haptics = context.haptics;
    if (!haptics)
        return;
    haptics->setStylusColour(Ogre::ColourValue::White);
    if (context.sceneRoot && haptics->getSideSetting() != SIDE_OUTER)
        haptics->setHapticSideRecursive(*context.sceneRoot, SIDE_OUTER);
}

void DeformFunction::setLock(OIS::KeyCode key, bool held) {
    if (key == OIS::KC_X)
        lockX = held;
    else if (key == OIS::KC_Y)
        lockY = held;
    else if (key == OIS::KC_Z)
        lockZ = held;
}

void DeformFunction::keyPressed(const OIS::KeyEvent& event) {
    setLock(event.key, true);
    updateDirection();
}

void DeformFunction::keyReleased(const OIS::KeyEvent& event) {
    setLock(event.key, false);
    updateDirection();
}

void DeformFunction::updateDirection() {
    // One locked axis lets dents move along it only; two block them.
    direction = Ogre::Matrix3::ZERO;
    direction[0][0] = (lockY || lockZ) ? 0.f : 1.f;
    direction[1][1] = (lockX || lockZ) ? 0.f : 1.f;
    direction[2][2] = (lockX || lockY) ? 0.f : 1.f;
    if (context.haptics)
        context.haptics->setStylusDirection(direction);
}

void DeformFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || !context.haptics)
        return;
    if (state || busy)
        finishClick();  // the release of the last click never came
    std::vector<Kiln::ObjectHandle> touched = context.haptics->getTouchedObjects();
    // An object touched through several shapes must be dented once.
    std::vector<Kiln::ObjectHandle> unique;
    for (const Kiln::ObjectHandle& handle : touched)
        if (handle.getObject() && std::find(unique.begin(), unique.end(), handle) == unique.end())
            unique.push_back(handle);
    if (unique.empty())
        return;
    beginOperation();
    state = std::make_unique<DeformState>(this);
    for (const Kiln::ObjectHandle& handle : unique) {
        Kiln::Object* object = handle.getObject();
        Kiln::VertexListWorker* dent = context.haptics->getLiveDent(*object);
        if (dent)
            state->commitDent(*object, *dent, scratch);
    }
}

void DeformFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (busy && event.button(0))
        finishClick();
}

void DeformFunction::finishClick() {
    std::unique_ptr<DeformState> finished = std::move(state);
    if (finished && !finished->isEmpty())
        commitOperation(std::move(finished));
    else
        endOperation();  // touched, but no dent moved a vertex: no entry
}
