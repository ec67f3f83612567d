#include "functions/tools/SelectObjectFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"

#include <algorithm>
#include <cmath>

MORVEL_REGISTER_FUNCTION(SelectObjectFunction);
MORVEL_REGISTER_FUNCTION(SelectAllFunction);

namespace {
constexpr unsigned SELECT_BUTTON = 2;

Kiln::SelectionManager::HandleSet currentSelection(const FunctionContext& context) {
    return context.selection ? context.selection->getSelected() : Kiln::SelectionManager::HandleSet();
}
} // namespace

void SelectionChangeState::undo() { tools::restoreSelection(context, before); }
void SelectionChangeState::redo() { tools::restoreSelection(context, after); }

SelectObjectFunction::SelectObjectFunction(FunctionContext& context)
    : FunctionBase(context, "SelectObject", FUNCTION_COMMAND, "Tools", FunctionText::literal("Select objects"),
                   FunctionText::literal("Touch and click an object to select or deselect it.")) {}

std::unique_ptr<FunctionState> SelectObjectFunction::invoke() {
    return std::make_unique<SelectionChangeState>(this, context, Kiln::SelectionManager::HandleSet());
}

void SelectObjectFunction::toggle(Kiln::ObjectGroup& node) {
    Kiln::ObjectGroup* item = context.selection->_getAbsoluteParent(&node);
    if (!item->isVisible())
        return;
    const Kiln::ObjectHandle handle = item->getHandle();
    if (context.selection->isSelected(handle))
        context.selection->removeObjectFromSelected(handle);
    else
        context.selection->addObjectToSelected(handle);
}

void SelectObjectFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(SELECT_BUTTON) || !context.selection)
        return;
    if (state)
        finishChange();  // the release of the last click never came
    std::vector<Kiln::ObjectGroup*> touched;
    if (context.haptics)
        for (const Kiln::ObjectHandle& handle : context.haptics->getTouchedObjects()) {
            Kiln::ObjectGroup* node = handle.get();
            if (!tools::isInScene(context, node))
                continue;
            // One toggle per item, however many of its parts are touched.
            Kiln::ObjectGroup* item = context.selection->_getAbsoluteParent(node);
            if (std::find(touched.begin(), touched.end(), item) == touched.end())
                touched.push_back(item);
        }
    state = std::make_unique<SelectionChangeState>(this, context, currentSelection(context));
    sweeping = false;
    const tools::Modifiers held = tools::heldModifiers(context);
    if (!held.shiftAlone() && !held.controlAlone())
        context.selection->clearSelection();
    // No beginOperation: a background command of a busy manager would
    // never hear its own release.
    if (touched.empty()) {
        sweeping = true;
        lastSweepPoint = event.getState().position;
        sweepAt(lastSweepPoint);
        return;
    }
    for (Kiln::ObjectGroup* item : touched)
        toggle(*item);
}

void SelectObjectFunction::sweepAt(const Ogre::Vector3& world) {
    if (!context.picker)
        return;
    const bool deselect = tools::heldModifiers(context).controlAlone();
    for (const Kiln::ObjectHandle& hit : context.picker->objectsUnder(world)) {
        if (!tools::isInScene(context, hit.get()))
            continue;
        Kiln::ObjectGroup* item = context.selection->_getAbsoluteParent(hit.get());
        const Kiln::ObjectHandle handle = item->getHandle();
        const bool selected = context.selection->isSelected(handle);
        if (deselect && selected)
            context.selection->removeObjectFromSelected(handle);
        else if (!deselect && !selected && item->isVisible())
            context.selection->addObjectToSelected(handle);
    }
}

void SelectObjectFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!sweeping || !state)
        return;
    // Frames come far apart when the machine is busy, and a quick sweep
    // would jump over an object between two of them: look along the whole
    // path since the last frame.
    const Ogre::Vector3 to = event.getState().position;
    const float length = lastSweepPoint.distance(to);
    const int steps = std::clamp(int(std::ceil(length / sweepStep)), 1, maxSweepSteps);
    for (int i = 1; i <= steps; ++i)
        sweepAt(lastSweepPoint + (to - lastSweepPoint) * (float(i) / float(steps)));
    lastSweepPoint = to;
}

void SelectObjectFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(SELECT_BUTTON) && state)
        finishChange();
}

void SelectObjectFunction::finishChange() {
    sweeping = false;
    std::unique_ptr<SelectionChangeState> finished = std::move(state);
    finished->setAfter(currentSelection(context));
    if (finished->getAfter() == finished->getBefore())
        commitOperation(nullptr);  // nothing changed: no entry
    else
        commitOperation(std::move(finished));
}

void SelectObjectFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key != OIS::KC_TAB || !context.selection)
        return;
    const tools::Modifiers held = tools::heldModifiers(context);
    if (!held.shift) {
        if (held.controlAlone())
            context.selection->clearSelection();
        else if (held.none())
            context.selection->selectNext();
    } else if (held.shiftAlone()) {
        context.selection->selectPrevious();
    }
    if (held.alt || context.selection->getSelected().empty())
        return;
    // The view turns about what was picked, so that it can be looked at
    // from every side at once.
    const Kiln::ObjectGroup* first = context.selection->getSelected().begin()->get();
    if (first && context.view)
        context.view->setRotationCentre(first->getWorldTransform().position);
    if (!context.status)
        return;
    const long id = first ? long(first->getId()) : -1L;
    const std::string text = "Selected Object No: " + std::to_string(id);
    context.status->post(text, IStatusSink::defaultSeconds(text), 1);
}

SelectAllFunction::SelectAllFunction(FunctionContext& context)
    : FunctionBase(context, "SelectAll", FUNCTION_COMMAND, "Selection", FunctionText::literal("Select all"),
                   FunctionText::literal("Select all objects in the scene")) {}

void SelectAllFunction::execute() {
    if (!context.selection)
        return;
    auto state = std::make_unique<SelectionChangeState>(this, context, currentSelection(context));
    Kiln::SelectionManager::HandleSet all;
    for (const Kiln::ObjectHandle& item : context.selection->getTopLevelObjects(true))
        all.insert(item);
    state->setAfter(all);
    context.selection->setSelection(all);
    commitOperation(std::move(state));
}

void SelectAllFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_A && tools::heldModifiers(context).controlAlone())
        execute();
}
