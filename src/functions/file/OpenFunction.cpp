#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "scene/ObjectGroup.h"

MORVEL_REGISTER_FUNCTION(OpenFunction);
MORVEL_REGISTER_FUNCTION(InsertFunction);

OpenFunction::OpenFunction(FunctionContext& context, bool insert)
    : FunctionBase(context, insert ? "InsertFunction" : "OpenFunction", FUNCTION_COMMAND, "Tools",
                   FunctionText::id(insert ? 437 : 195), FunctionText::literal("")),
      inserting(insert) {}

void OpenFunction::execute() {
    // A file named by the argument (the command line's) is used once.
    const std::string named = arguments.empty() ? std::string() : arguments.front();
    arguments.clear();
    openPath(named);
}

void OpenFunction::openPath(const std::string& named) {
    if (inserting) {
        chooseAndLoad(named);
        return;
    }
    SaveFunction* save = SaveFunction::find(context);
    if (save)
        save->confirmThen([this, named] { chooseAndLoad(named); });
    else
        chooseAndLoad(named);
}

void OpenFunction::chooseAndLoad(const std::string& named) {
    if (!named.empty()) {
        load(named);
        return;
    }
    if (!context.dialogs)
        return;
    context.dialogs->askOpenFile(getTitle(), scenefiles::sceneFilter(), [this](const std::string* chosen) {
        if (!chosen)
            return;
        const std::string path = *chosen;
        if (context.tasks)
            context.tasks->queue([this, path] { load(path); });
        else
            load(path);
    });
}

void OpenFunction::load(const std::string& path) {
    std::string failure;
    if (inserting) {
        failure = addFileToScene(*this, context, path, "Undone insert operation...", "Redone insert operation...");
    } else if (!context.sceneRoot || !context.objectFactory) {
        failure = "There is no scene to open into.";
    } else {
        try {
            std::unique_ptr<Kiln::ObjectGroup> loaded = scenefiles::readSceneFile(path, *context.objectFactory);
            clearScene(context);
            scenefiles::moveChildren(*loaded, *context.sceneRoot);
            context.sceneRoot->updateTransform();
            if (context.documentHost)
                context.documentHost->setCurrentFile(path);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    if (!failure.empty()) {
        if (context.dialogs)
            context.dialogs->showMessage(inserting ? "Insert Failed!" : "Open Failed!",
                                         "Failed to open '" + path + "' because:\n" + failure +
                                             "\nThe scene is unchanged.");
        return;
    }
    if (context.documentHost)
        rememberRecentFile(*context.documentHost, path);
    if (context.status)
        context.status->postDefault((inserting ? "Inserted '" : "Opened '") + path + "' successfully.",
                                    filetexts::INFO);
}
