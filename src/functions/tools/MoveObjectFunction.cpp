#include "functions/tools/MoveObjectFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"

MORVEL_REGISTER_FUNCTION(MoveObjectFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(0.0f, 0.8f, 1.0f, 1.0f);
constexpr int MESSAGE_WARNING = 2;
} // namespace

MoveObjectFunction::MoveObjectFunction(FunctionContext& context)
    : FunctionBase(context, "MoveObject", FUNCTION_TOOL, "Tools", FunctionText::id(179),
                   FunctionText::id(181)) {}

void MoveObjectFunction::activate() {
    locks.clear();
    tools::setStylusColour(context, STYLUS_COLOUR);
}

void MoveObjectFunction::deactivate() {
    // A drag cut short by switching tools keeps what it did, undoably.
    if (state)
        finishDrag();
    locks.clear();
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

void MoveObjectFunction::keyPressed(const OIS::KeyEvent& event) { locks.take(event.key, true); }
void MoveObjectFunction::keyReleased(const OIS::KeyEvent& event) { locks.take(event.key, false); }

void MoveObjectFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0))
        return;
    if (state)
        finishDrag();  // the release of the last drag never came
    state = tools::stateOverSelection<MoveObjectState>(context, this);
    if (!state)
        return;
    lastPoint = tools::stylusInRoot(context, event);
    moved = false;
    if (context.functions)
        context.functions->requestHaptics(this, false);  // objects are not felt while placed
    beginOperation();
}

void MoveObjectFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!state || !tools::mainButtonHeld(event))
        return;
    const Ogre::Vector3 point = tools::stylusInRoot(context, event);
    const Ogre::Vector3 step = locks.keep(point - lastPoint);
    lastPoint = point;
    if (step == Ogre::Vector3::ZERO)
        return;
    for (const auto& entry : state->getEntries())
        if (Kiln::ObjectGroup* node = entry.handle.get())
            node->setPosition(node->getPosition() + step);
    moved = true;
}

void MoveObjectFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishDrag();
}

void MoveObjectFunction::finishDrag() {
    if (context.functions)
        context.functions->requestHaptics(this, true);
    std::unique_ptr<MoveObjectState> finished = std::move(state);
    if (moved) {
        commitOperation(std::move(finished));
        return;
    }
    endOperation();
    if (context.status)
        context.status->postDefault("Move the grip while middle button is pressed down.", MESSAGE_WARNING);
}
