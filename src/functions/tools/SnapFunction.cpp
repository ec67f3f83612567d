#include "functions/tools/SnapFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"

#include <cmath>

MORVEL_REGISTER_FUNCTION(SnapFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(0.6f, 0.8f, 1.0f, 1.0f);
constexpr int MESSAGE_WARNING = 2;
} // namespace

SnapFunction::SnapFunction(FunctionContext& context)
    : FunctionBase(context, "Snap", FUNCTION_TOOL, "Tools", FunctionText::id(339), FunctionText::id(342)) {}

void SnapFunction::activate() { tools::setStylusColour(context, STYLUS_COLOUR); }

void SnapFunction::deactivate() {
    if (state)
        finishDrag();
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

std::optional<Ogre::Vector3> SnapFunction::snapToGrid(const Ogre::Vector3& point, float spacing) {
    if (!(spacing > 0.f) || !std::isfinite(spacing))
        return std::nullopt;
    const auto snap = [spacing](float c) { return std::round(c / spacing) * spacing; };
    return Ogre::Vector3(snap(point.x), snap(point.y), snap(point.z));
}

void SnapFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || !context.haptics)
        return;
    if (state)
        finishDrag();  // the release of the last drag never came
    Kiln::ObjectGroup* item = nullptr;
    for (const Kiln::ObjectHandle& touched : context.haptics->getTouchedObjects())
        if (tools::isInScene(context, touched.get())) {
            item = context.selection ? context.selection->_getAbsoluteParent(touched.get()) : touched.get();
            break;
        }
    if (!item)
        return;
    spacing = tools::gridUnit(context).getGridSpacing();
    const std::optional<Ogre::Vector3> snapped = snapToGrid(item->getPosition(), spacing);
    if (!snapped) {
        if (context.status)
            context.status->postDefault("The grid size must be greater than zero.", MESSAGE_WARNING);
        return;
    }
    beginOperation();
    if (context.functions)
        context.functions->requestHaptics(this, false);
    state = std::make_unique<SnapState>(this);
    state->add(*item);
    startPosition = item->getPosition();
    item->setParameter("showBoundingBox", true);
    item->setPosition(*snapped);
    grabOffset = tools::stylusInRoot(context, event) - *snapped;
}

void SnapFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!state || !tools::mainButtonHeld(event))
        return;
    Kiln::ObjectGroup* item = state->getEntries().front().handle.get();
    const std::optional<Ogre::Vector3> snapped =
        snapToGrid(tools::stylusInRoot(context, event) - grabOffset, spacing);
    if (item && snapped && *snapped != item->getPosition())
        item->setPosition(*snapped);
}

void SnapFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishDrag();
}

void SnapFunction::finishDrag() {
    std::unique_ptr<SnapState> finished = std::move(state);
    Kiln::ObjectGroup* item = finished->getEntries().front().handle.get();
    if (item)  // a selected item keeps showing its box
        item->setParameter("showBoundingBox", tools::isInScene(context, item) && context.selection &&
                                                  context.selection->isSelected(item->getHandle()));
    if (context.functions)
        context.functions->requestHaptics(this, true);
    if (item && item->getPosition() != startPosition)
        commitOperation(std::move(finished));
    else
        endOperation();
}
