#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "functions/tools/ToolSupport.h"

class ExportFunction : public FunctionBase {
public:
    explicit ExportFunction(FunctionContext& context)
        : FunctionBase(context, "ExportFunction", FUNCTION_COMMAND, "Other", FunctionText::id(90),
                       FunctionText::literal("")) {}

    void execute() override {
        if (!context.dialogs)
            return;
        // Any answer, the close button included, goes on to the export.
        context.dialogs->ask("Export Selected",
                             "This will only export the selected objects.\n\n\nTo save the whole scene, use "
                             "\"Save\" or \"Save As\".",
                             1, [this](int) {
                                 if (context.tasks)
                                     context.tasks->queue([this] { chooseTarget(); });
                                 else
                                     chooseTarget();
                             });
    }

private:
    void chooseTarget() {
        if (tools::liveSelection(context).empty()) {
            if (context.status)
                context.status->postDefault("No objects selected!", filetexts::WARNING);
            return;
        }
        context.dialogs->askSaveFile(getTitle(), scenefiles::exportFilters(), "", [this](const std::string* chosen) {
            if (!chosen)
                return;
            const std::string path = *chosen;
            if (scenefiles::isStlPath(path))
                askStlKind(path);
            else
                exportTo(path, scenefiles::StlKind::Binary);
        });
    }

    /// STL comes in two kinds under one extension: binary is compact, text
    /// can be read and mended by hand. Closing the box keeps the default.
    void askStlKind(const std::string& path) {
        context.dialogs->ask("Export STL",
                             "Write '" + path + "' as text STL?\n\nYes: text, readable in any editor.\n"
                             "No: binary, about a fifth of the size.",
                             3, [this, path](int result) {
                                 const auto kind =
                                     result == filetexts::YES ? scenefiles::StlKind::Text : scenefiles::StlKind::Binary;
                                 if (context.tasks)
                                     context.tasks->queue([this, path, kind] { exportTo(path, kind); });
                                 else
                                     exportTo(path, kind);
                             });
    }

    void exportTo(const std::string& path, scenefiles::StlKind stl) {
        try {
            // The selection as it is now: the dialog may have stayed open
            // while objects changed.
            scenefiles::writeItems(tools::liveSelection(context), path, stl);
        } catch (const std::exception& e) {
            context.dialogs->showMessage("Export Failed!", "Failed to export to '" + path + "'.\n" + e.what());
            return;
        }
        if (context.status)
            context.status->postDefault("Exported to '" + path + "' successfully.", filetexts::INFO);
    }
};

MORVEL_REGISTER_FUNCTION(ExportFunction);
