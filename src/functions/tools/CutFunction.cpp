#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/EditFunctions.h"
#include "functions/tools/EditStates.h"

MORVEL_REGISTER_FUNCTION(CutFunction);

CutFunction::CutFunction(FunctionContext& context)
    : FunctionBase(context, "CutFunction", FUNCTION_COMMAND, "Edit", FunctionText::id(71),
                   FunctionText::literal("")) {}

void CutFunction::execute() {
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    if (items.empty())
        return;
    auto state = std::make_unique<CutState>(this, context, items);
    tools::clearSelection(context);
    if (Clipboard* clipboard = CopyFunction::find(context))
        clipboard->fill(items);
    state->redo();
    commitOperation(std::move(state));
}

void CutFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_X && tools::heldModifiers(context).controlAlone())
        execute();
}
