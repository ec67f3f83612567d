#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "scene/ObjectGroup.h"

MORVEL_REGISTER_FUNCTION(SaveFunction);
MORVEL_REGISTER_FUNCTION(SaveAsFunction);

using namespace filetexts;

namespace {

bool hasUnsavedWork(const FunctionContext& context) {
    return context.documentHost && context.documentHost->hasUnsavedChanges() && context.sceneRoot &&
           !context.sceneRoot->getChildren().empty();
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

SaveFunction::SaveFunction(FunctionContext& context, bool saveAs)
    : FunctionBase(context, saveAs ? "SaveAsFunction" : "SaveFunction", FUNCTION_COMMAND, "Tools",
                   FunctionText::id(saveAs ? 438 : 192), FunctionText::literal("")),
      asSaveAs(saveAs) {}

SaveFunction* SaveFunction::find(const FunctionContext& context) {
    return context.functions ? dynamic_cast<SaveFunction*>(context.functions->findFunction("SaveFunction"))
                             : nullptr;
}

void SaveFunction::later(std::function<void()> step) {
    // Dialog answers arrive inside GUI event handling; what they lead to
    // (another dialog, replacing the scene) waits for the next frame.
    if (context.tasks)
        context.tasks->queue(std::move(step));
    else
        step();
}

void SaveFunction::execute() {
    if (asSaveAs) {
        saveAs(nullptr);
        return;
    }
    if (!context.documentHost || !context.documentHost->hasUnsavedChanges()) {
        if (context.status)
            context.status->postDefault("No changes to save.", INFO);
        return;
    }
    save(nullptr);
}

void SaveFunction::confirmThen(std::function<void()> action) {
    if (confirming)
        return;
    if (!hasUnsavedWork(context) || !context.dialogs) {
        later(std::move(action));
        return;
    }
    confirming = true;
    context.dialogs->ask("Wait!!!", "Do you want to save the current changes?", 4, [this, action](int result) {
        if (result == NO) {
            confirming = false;
            later(action);
        } else if (result == YES) {
            later([this, action] {
                save([this, action](bool saved) {
                    confirming = false;
                    if (saved)
                        later(action);
                });
            });
        } else {
            confirming = false;
        }
    });
}

bool SaveFunction::write(const std::string& path, std::string& reason) {
    if (!context.sceneRoot) {
        reason = "There is no scene.";
        return false;
    }
    try {
        scenefiles::writeSceneContents(*context.sceneRoot, path);
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    }
    if (context.documentHost) {
        context.documentHost->setCurrentFile(path);
        rememberRecentFile(*context.documentHost, path);
    }
    if (context.status)
        context.status->postDefault("Saved to '" + path + "' successfully.", INFO);
    return true;
}

void SaveFunction::writeAlone(const std::string& path, Done then) {
    // The notice goes up first and the file is written at the start of the
    // next frame, with the task queue paused: the notice is on screen
    // while the file is written, and nothing queued meanwhile (an open, an
    // import) reaches the scene before the save has it.
    if (context.status)
        context.status->beginBusy("Saving into a file. Please wait...");
    auto step = [this, path, then] {
        std::string reason;
        const bool saved = write(path, reason);
        if (context.status)
            context.status->endBusy();
        then(saved);
    };
    if (context.tasks)
        context.tasks->queueAlone(std::move(step));
    else
        step();
}

void SaveFunction::save(Done done) {
    const std::string file = context.documentHost ? context.documentHost->getCurrentFile() : std::string();
    if (file.empty()) {
        saveAs(std::move(done));
        return;
    }
    writeAlone(file, [this, file, done](bool saved) {
        if (saved || !context.dialogs) {
            if (done)
                done(saved);
            return;
        }
        context.dialogs->ask("Failed to save scene",
                             "Failed to save to '" + file + "'.\n  Do you want to try saving to a different file?", 3,
                             [this, done](int result) {
                                 if (result == YES)
                                     later([this, done] { saveAs(done); });
                                 else if (done)
                                     done(false);
                             });
    });
}

void SaveFunction::saveAs(Done done) {
    if (!context.dialogs) {
        if (done)
            done(false);
        return;
    }
    const std::string current = context.documentHost ? context.documentHost->getCurrentFile() : std::string();
    context.dialogs->askSaveFile(getTitle(), scenefiles::sceneFilter(), fileNameOf(current),
                                 [this, done](const std::string* chosen) {
                                     if (!chosen) {
                                         if (done)
                                             done(false);
                                         return;
                                     }
                                     const std::string path = scenefiles::withSceneExtension(*chosen);
                                     writeAlone(path, [this, path, done](bool saved) {
                                         if (!saved && context.status)
                                             context.status->post("Failed to save to '" + path + "'.", 3.0f, ERROR);
                                         if (done)
                                             done(saved);
                                     });
                                 });
}
