// Hides the panels for a clear view, or brings them back.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

class AdjustMenuFunction : public FunctionBase {
public:
    explicit AdjustMenuFunction(FunctionContext& context)
        : FunctionBase(context, "AdjustMenu", FUNCTION_COMMAND, "Create", FunctionText::id(6),
                       FunctionText::literal("")) {}
    /// Hides the panels and closes the menus, or brings the panels back.
    void execute() override {
        if (context.gui)
            context.gui->setPanelsShown(!context.gui->arePanelsShown());
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(AdjustMenuFunction);
