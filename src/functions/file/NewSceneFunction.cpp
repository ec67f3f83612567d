#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"

class NewSceneFunction : public FunctionBase {
public:
    explicit NewSceneFunction(FunctionContext& context)
        : FunctionBase(context, "NewScene", FUNCTION_COMMAND, "Main", FunctionText::id(187),
                       FunctionText::literal("")) {}

    void execute() override {
        const auto startAfresh = [this] {
            clearScene(context);
            if (context.documentHost)
                context.documentHost->setCurrentFile("");
        };
        if (SaveFunction* save = SaveFunction::find(context))
            save->confirmThen(startAfresh);
        else
            startAfresh();
    }
};

MORVEL_REGISTER_FUNCTION(NewSceneFunction);
