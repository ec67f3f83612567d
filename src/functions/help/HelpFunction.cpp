// The help button's command, which has nothing of its own to do: the button
// opens the help menu.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

class HelpFunction : public FunctionBase {
public:
    explicit HelpFunction(FunctionContext& context)
        : FunctionBase(context, "HelpFunction", FUNCTION_COMMAND, "General", FunctionText::id(133),
                       FunctionText::literal("...")) {}
};

} // namespace

MORVEL_REGISTER_FUNCTION(HelpFunction);
