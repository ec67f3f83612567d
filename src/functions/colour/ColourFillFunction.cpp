#include "functions/colour/ColourFillFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/colour/ColourFunction.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

MORVEL_REGISTER_FUNCTION(ColourFillFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(0.8f, 0.6f, 1.0f, 1.0f);
const char* const LISTENER_NAME = "ColourFillFunction";
} // namespace

ColourFillFunction::ColourFillFunction(FunctionContext& context)
    : FunctionBase(context, "ColourFillFunction", FUNCTION_TOOL, "Properties", FunctionText::id(33),
                   FunctionText::id(35)) {}

// The box may be gone already (the functions are deleted in no fixed
// order) and, being deleted with its owner, calls no listener afterwards.
ColourFillFunction::~ColourFillFunction() = default;

void ColourFillFunction::init() { colourBox = ColourFunction::findColourBox(context.functions); }

void ColourFillFunction::activate() {
    if (colourBox)
        colourBox->addListener(LISTENER_NAME, this);
    if (context.haptics)
        context.haptics->setStylusColour(STYLUS_COLOUR);
}

void ColourFillFunction::deactivate() {
    if (state)
        finishLiveFill();
    if (colourBox)
        colourBox->removeListener(LISTENER_NAME);
    if (context.haptics)
        context.haptics->setStylusColour(Ogre::ColourValue::White);
}

std::vector<Kiln::Object*> ColourFillFunction::selectedObjects() const {
    return context.selection ? context.selection->getSelectedObjects() : std::vector<Kiln::Object*>();
}

Ogre::ColourValue ColourFillFunction::boxColour() const {
    return colourBox ? colourBox->getColour() : Ogre::ColourValue::White;
}

void ColourFillFunction::execute() {
    const std::vector<Kiln::Object*> objects = selectedObjects();
    if (objects.empty())
        return;
    auto fill = std::make_unique<ColourFillState>(this, objects);
    if (fill->isEmpty())
        return;
    fill->setColour(boxColour());
    fill->redo();
    if (context.functions)
        context.functions->pushState(std::move(fill));
}

bool ColourFillFunction::claimsButtonPress(const FunctionButtonEvent& event) const {
    return event.button(0) && colourBox && colourBox->isVisible() &&
           colourBox->contains(event.getState().proxyPosition);
}

void ColourFillFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || state)
        return;
    const std::vector<Kiln::Object*> objects = selectedObjects();
    if (objects.empty())
        return;
    if (claimsButtonPress(event)) {
        // No operation is begun here: the colour function must still hear
        // the drag in the background to move the box's colour.
        state = std::make_unique<ColourFillState>(this, objects);
        liveFill = true;
        busy = true;
    } else {
        execute();
    }
}

void ColourFillFunction::colourChanged(const Ogre::ColourValue& colour) {
    if (!state || !liveFill)
        return;
    state->setColour(colour);
    state->redo();
}

void ColourFillFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishLiveFill();
}

void ColourFillFunction::finishLiveFill() {
    std::unique_ptr<ColourFillState> finished = std::move(state);
    liveFill = false;
    busy = false;
    finished->setColour(boxColour());
    finished->redo();
    if (context.functions && !finished->isEmpty())
        context.functions->pushState(std::move(finished));
}
