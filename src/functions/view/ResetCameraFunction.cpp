// Puts the camera back where the program started it.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

class ResetCameraFunction : public FunctionBase {
public:
    explicit ResetCameraFunction(FunctionContext& context)
        : FunctionBase(context, "ResetCamera", FUNCTION_COMMAND, "Tools", FunctionText::id(256),
                       FunctionText::literal("Resets the camera to the initial position and orientation.")) {}
    void execute() override {
        if (context.view)
            context.view->resetCamera();
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(ResetCameraFunction);
