#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/EditFunctions.h"

MORVEL_REGISTER_FUNCTION(CopyFunction);

void Clipboard::fill(const std::vector<Kiln::ObjectHandle>& items) {
    std::vector<std::unique_ptr<Kiln::ObjectGroup>> fresh;
    Ogre::Vector3 sum = Ogre::Vector3::ZERO;
    for (const Kiln::ObjectHandle& item : items)
        if (const Kiln::ObjectGroup* node = item.get()) {
            fresh.push_back(node->clone());
            sum += node->getPosition();
        }
    if (fresh.empty())
        return;
    copies = std::move(fresh);
    referencePoint = sum / float(copies.size());
}

CopyFunction::CopyFunction(FunctionContext& context)
    : FunctionBase(context, "CopyFunction", FUNCTION_COMMAND, "Edit", FunctionText::id(42),
                   FunctionText::literal("")) {}

Clipboard* CopyFunction::find(const FunctionContext& context) {
    auto* copy = context.functions ? dynamic_cast<CopyFunction*>(context.functions->findFunction("CopyFunction"))
                                   : nullptr;
    return copy ? &copy->getClipboard() : nullptr;
}

void CopyFunction::execute() {
    // The items are taken before the selection is cleared.
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    if (items.empty())
        return;
    tools::clearSelection(context);
    clipboard.fill(items);
}

void CopyFunction::keyReleased(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_C && tools::heldModifiers(context).controlAlone())
        execute();
}
