#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/EditFunctions.h"
#include "functions/tools/EditStates.h"

MORVEL_REGISTER_FUNCTION(DeleteObjectFunction);

DeleteObjectFunction::DeleteObjectFunction(FunctionContext& context)
    : FunctionBase(context, "DeleteObject", FUNCTION_COMMAND, "Tools", FunctionText::id(83),
                   FunctionText::id(85)) {}

void DeleteObjectFunction::execute() {
    // A copy of the selection: taking items out changes the selection.
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    if (items.empty())
        return;
    auto state = std::make_unique<DeleteObjectState>(this, context, items);
    state->redo();
    commitOperation(std::move(state));
}

void DeleteObjectFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_DELETE)
        execute();
}
