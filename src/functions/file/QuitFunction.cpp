#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"

class QuitFunction : public FunctionBase {
public:
    explicit QuitFunction(FunctionContext& context)
        : FunctionBase(context, "QuitFunction", FUNCTION_COMMAND, "General", FunctionText::id(232),
                       FunctionText::literal("")) {}

    void execute() override {
        const auto end = [this] {
            if (context.documentHost)
                context.documentHost->endProgram();
        };
        if (SaveFunction* save = SaveFunction::find(context))
            save->confirmThen(end);
        else
            end();
    }
};

MORVEL_REGISTER_FUNCTION(QuitFunction);
