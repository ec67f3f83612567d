#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/EditFunctions.h"
#include "functions/tools/EditStates.h"

MORVEL_REGISTER_FUNCTION(PasteFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(0.6f, 1.0f, 0.6f, 1.0f);
constexpr int MESSAGE_INFO = 1;
} // namespace

PasteFunction::PasteFunction(FunctionContext& context)
    : FunctionBase(context, "PasteFunction", FUNCTION_TOOL | FUNCTION_COMMAND, "Edit", FunctionText::id(215),
                   FunctionText::id(217)) {}

PasteFunction::~PasteFunction() = default;

bool PasteFunction::paste() {
    const Clipboard* clipboard = CopyFunction::find(context);
    if (!clipboard || clipboard->empty() || !context.sceneRoot) {
        if (context.status)
            context.status->postDefault("No objects were pasted because the clipboard is empty.", MESSAGE_INFO);
        return false;
    }
    beginOperation();
    state = std::make_unique<PasteState>(this, context);
    tools::clearSelection(context);
    for (const auto& original : clipboard->getCopies()) {
        Kiln::ObjectGroup* copy = context.sceneRoot->adoptChild(original->clone());
        state->add(copy->getHandle(), copy->getPosition());
        tools::select(context, copy->getHandle());
    }
    referencePoint = clipboard->getReferencePoint();
    return true;
}

void PasteFunction::offsetCopies(const Ogre::Vector3& offset) {
    const auto& copies = state->getCopies();
    const auto& positions = state->getPositions();
    for (std::size_t i = 0; i < copies.size(); ++i)
        if (Kiln::ObjectGroup* copy = copies[i].get())
            copy->setPosition(positions[i] + offset);
}

void PasteFunction::execute() {
    if (state || !paste())
        return;
    commitOperation(std::move(state));
}

void PasteFunction::keyReleased(const OIS::KeyEvent& event) {
    if (state || !tools::heldModifiers(context).controlAlone())
        return;
    if (event.key == OIS::KC_F) {
        execute();
    } else if (event.key == OIS::KC_V && paste()) {
        offsetCopies(lastStylus - referencePoint);
        commitOperation(std::move(state));
    }
}

void PasteFunction::activate() {
    pasteMode = true;
    if (context.gui)
        context.gui->selectRadioButton("PasteButton");
    tools::setStylusColour(context, STYLUS_COLOUR);
    if (context.functions)
        context.functions->requestHaptics(this, false);
    if (context.status)
        context.status->postDefault("Haptics is off under paste mode to avoid getting stuck", MESSAGE_INFO);
}

void PasteFunction::deactivate() {
    if (state)
        commitOperation(std::move(state));
    pasteMode = false;
    tools::setStylusColour(context, Ogre::ColourValue::White);
    if (context.functions)
        context.functions->requestHaptics(this, true);
    if (context.status)
        context.status->postDefault("Haptics is now enabled", MESSAGE_INFO);
}

void PasteFunction::hapticMoved(const Kiln::HapticEvent& event) {
    lastStylus = tools::stylusInRoot(context, event);
    if (pasteMode && state && tools::mainButtonHeld(event))
        offsetCopies(lastStylus - referencePoint);
}

void PasteFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || !pasteMode || state)
        return;
    lastStylus = tools::stylusInRoot(context, event);
    if (!paste())
        return;
    offsetCopies(lastStylus - referencePoint);
    if (context.status)
        context.status->postDefault("Move stylus to position objects...", MESSAGE_INFO);
}

void PasteFunction::buttonReleased(const FunctionButtonEvent& event) {
    // Haptics stay off until the tool is left: the copies just placed sit
    // where the stylus is.
    if (event.button(0) && pasteMode && state)
        commitOperation(std::move(state));
}
