#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"

class ImportFunction : public FunctionBase {
public:
    explicit ImportFunction(FunctionContext& context)
        : FunctionBase(context, "ImportFunction", FUNCTION_COMMAND, "Other", FunctionText::id(138),
                       FunctionText::literal("")) {}

    void execute() override {
        const std::string named = arguments.empty() ? std::string() : arguments.front();
        arguments.clear();
        if (!named.empty()) {
            importFrom(named);
            return;
        }
        if (!context.dialogs)
            return;
        context.dialogs->askOpenFile(getTitle(), scenefiles::importFilters(), [this](const std::string* chosen) {
            if (!chosen)
                return;
            const std::string path = *chosen;
            if (context.tasks)
                context.tasks->queue([this, path] { importFrom(path); });
            else
                importFrom(path);
        });
    }

private:
    void importFrom(const std::string& path) {
        const std::string failure =
            addFileToScene(*this, context, path, "Undone import operation...", "Redone import operation...");
        if (failure.empty()) {
            if (context.documentHost)
                rememberRecentFile(*context.documentHost, path);
            if (context.status)
                context.status->postDefault("Imported from '" + path + "' successfully.", filetexts::INFO);
        } else if (context.dialogs) {
            context.dialogs->showMessage("Import Failed!", "Failed to import from '" + path + "' because:\n" +
                                                               failure + "\nThe scene is unchanged.");
        }
    }
};

MORVEL_REGISTER_FUNCTION(ImportFunction);
