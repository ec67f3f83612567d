// Switches the unit the grid and the measurements are shown in.
#include "functions/FunctionBase.h"
#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"

#include <string>

namespace {

class SwitchUnitFunction : public FunctionBase {
public:
    explicit SwitchUnitFunction(FunctionContext& context)
        : FunctionBase(context, "SwitchUnitFunction", FUNCTION_COMMAND, "Unit",
                       FunctionText::literal("Switch Unit"),
                       FunctionText::literal("Set the scene unit to the selected one")) {}
    void execute() override {
        const std::string word = arguments.empty() ? "" : arguments.front();
        const int unit = word == "Millimetre" ? 1 : word == "Meter" ? 3 : 2;
        // The grid is the ruler: its cells change size with the unit.
        if (context.functions)
            if (auto* grid = dynamic_cast<IGridUnit*>(context.functions->findFunction("SwitchGridFunction")))
                grid->setUnit(unit);
        if (!context.view)
            return;
        const std::string caption = context.view->setUnit(unit);
        if (context.status)
            context.status->postDefault(caption, 1);
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(SwitchUnitFunction);
