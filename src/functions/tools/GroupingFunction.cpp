#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/EditFunctions.h"
#include "functions/tools/EditStates.h"
#include "scene/IObjectFactory.h"

MORVEL_REGISTER_FUNCTION(GroupingFunction);
MORVEL_REGISTER_FUNCTION(UnGroupFunction);

namespace {
constexpr int MESSAGE_INFO = 1;

bool isActiveTool(const FunctionContext& context, const FunctionBase* function) {
    return context.functions && context.functions->getActiveTool() == function;
}
} // namespace

// A command as well as a tool, so that Control+G groups whichever tool is
// active.
GroupingFunction::GroupingFunction(FunctionContext& context)
    : FunctionBase(context, "GroupingFunction", FUNCTION_TOOL | FUNCTION_COMMAND, "Tools",
                   FunctionText::id(122), FunctionText::id(124)) {}

void GroupingFunction::execute() {
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    if (items.size() < 2 || !context.sceneRoot) {
        if (context.status)
            context.status->postDefault(items.empty() ? "No objects were selected to be grouped..."
                                                      : "You must select more than one object to group them.",
                                        MESSAGE_INFO);
        return;
    }
    std::unique_ptr<Kiln::ObjectGroup> group = context.objectFactory ? context.objectFactory->createObjectGroup()
                                                                     : std::make_unique<Kiln::ObjectGroup>();
    auto state = std::make_unique<GroupingState>(this, context, std::move(group));
    for (const Kiln::ObjectHandle& item : items)
        state->addMember(*item.get());
    state->redo();
    commitOperation(std::move(state));
}

void GroupingFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_G && tools::heldModifiers(context).control)
        execute();
}

void GroupingFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (event.button(0) && isActiveTool(context, this))
        execute();
}

UnGroupFunction::UnGroupFunction(FunctionContext& context)
    : FunctionBase(context, "UnGroup", FUNCTION_TOOL, "Utility", FunctionText::id(396), FunctionText::id(399)) {}

void UnGroupFunction::execute() {
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    if (items.empty())
        return;
    auto state = std::make_unique<UnGroupState>(this, context);
    for (const Kiln::ObjectHandle& item : items)
        if (!item->isObject())
            state->addGroup(*item.get());
    if (state->empty()) {
        if (context.status)
            context.status->postDefault("There are no objects grouped to be ungrouped.", MESSAGE_INFO);
        return;
    }
    state->redo();
    commitOperation(std::move(state));
}

void UnGroupFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (event.button(0))
        execute();
}
