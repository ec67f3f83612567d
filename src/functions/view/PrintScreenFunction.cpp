// Saves the 3D view as a PNG picture, by default in the pictures folder
// under a dated name.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

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

} // namespace

MORVEL_REGISTER_FUNCTION(PrintScreenFunction);
