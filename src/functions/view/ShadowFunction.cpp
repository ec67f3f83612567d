// The shadows check box.
#include "functions/FunctionRegistration.h"
#include "functions/view/CheckboxFunction.h"

namespace {

class ShadowFunction : public view::CheckboxFunction {
public:
    explicit ShadowFunction(FunctionContext& context)
        : CheckboxFunction(context, "ShadowFunction", "View", FunctionText::literal("Toggle shadows"),
                           FunctionText::literal("Toggle shadows"), "View.Shadows", false,
                           "Could not find the Checkbox for Shadow function...") {}

protected:
    void apply(bool state) override {
        if (context.view)
            context.view->setShadowsEnabled(state);
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(ShadowFunction);
