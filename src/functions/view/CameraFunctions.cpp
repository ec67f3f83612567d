// The camera and picture commands: reset the camera, switch the grid unit,
// save the view as a picture, and show or hide the panels.
#include "functions/FunctionBase.h"
#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "platform/UserFolders.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

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

/// Where pictures go: the XDG pictures folder, else $HOME.
std::string picturesFolder() {
    if (const char* home = std::getenv("HOME")) {
        const std::filesystem::path pictures = std::filesystem::path(home) / "Pictures";
        std::error_code error;
        if (std::filesystem::is_directory(pictures, error))
            return pictures.string();
        return home;
    }
    return ".";
}

class PrintScreenFunction : public FunctionBase {
public:
    explicit PrintScreenFunction(FunctionContext& context)
        : FunctionBase(context, "PrintScreen", FUNCTION_COMMAND, "Utility",
                       FunctionText::literal("Save as picture"), FunctionText::literal("...")) {}
    /// A path given as the argument is written at once; otherwise a save
    /// dialog proposes a dated name.
    void execute() override {
        const std::string given = arguments.empty() ? "" : arguments.front();
        if (!given.empty()) {
            write(given);
            return;
        }
        if (context.dialogs)
            context.dialogs->askSaveFile("Save File", "PNG picture (*.png)|*.png|", proposedName(),
                                         [this](const std::string* path) {
                                             if (path)
                                                 write(*path);
                                         });
    }

private:
    static std::string proposedName() {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
        char name[64];
        std::strftime(name, sizeof name, "%Y_%m_%d__%H_%M_%S.png", &parts);
        return picturesFolder() + "/" + name;
    }
    void write(const std::string& path) {
        const bool written = context.view && context.view->saveScreenshot(path);
        if (context.status)
            context.status->postDefault(written ? "Saved the view to '" + path + "'."
                                                : "Could not save the view to '" + path + "'.",
                                        written ? 1 : 3);
    }
};

class AdjustMenuFunction : public FunctionBase {
public:
    explicit AdjustMenuFunction(FunctionContext& context)
        : FunctionBase(context, "AdjustMenu", FUNCTION_COMMAND, "Create", FunctionText::id(6),
                       FunctionText::literal("")) {}
    /// Hides the panels and closes the menus, or brings the panels back.
    void execute() override {
        if (context.gui)
            context.gui->setPanelsShown(!context.gui->arePanelsShown());
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(ResetCameraFunction);
MORVEL_REGISTER_FUNCTION(SwitchUnitFunction);
MORVEL_REGISTER_FUNCTION(PrintScreenFunction);
MORVEL_REGISTER_FUNCTION(AdjustMenuFunction);
