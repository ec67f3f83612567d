// The File menu's "Open recent" entries: one per file in the user's recent
// list, each opening its file the way Open does, question about unsaved
// changes included.
#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"

#include <charconv>
#include <filesystem>
#include <optional>

namespace {

const char* const menuWindow = "Root/File/Recent";

std::string entryWindow(int position) { return std::string(menuWindow) + "/" + std::to_string(position); }

/// "name  (folder)": the name is what a person looks for first.
std::string entryText(int position, const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::to_string(position) + "  " + path;
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    return std::to_string(position) + "  " + path.substr(slash + 1) + "  (" + folder + ")";
}

int positionOf(const std::string& text) {
    int position = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), position);
    return error == std::errc() && end == text.data() + text.size() ? position : 0;
}

} // namespace

/// "OpenRecentFunction": the argument is a position in the recent list
/// (1 = latest). Also keeps the menu entries in step with the list, which
/// saving, opening and importing change.
class OpenRecentFunction : public FunctionBase {
public:
    explicit OpenRecentFunction(FunctionContext& context)
        : FunctionBase(context, "OpenRecentFunction", FUNCTION_COMMAND | FUNCTION_UPDATE, "Tools",
                       FunctionText::literal("Open recent file"), FunctionText::literal("")) {}

    void init() override { refreshMenu(); }

    bool update(const Ogre::FrameEvent&) override {
        refreshMenu();
        return true;
    }

    void execute() override {
        const int position = arguments.empty() ? 0 : positionOf(arguments.front());
        const std::vector<std::string> files =
            context.documentHost ? recentFiles(*context.documentHost) : std::vector<std::string>();
        if (position < 1 || position > int(files.size())) {
            if (context.status)
                context.status->postDefault("There is no recent file " + std::to_string(position) + ".",
                                            filetexts::WARNING);
            return;
        }
        const std::string& path = files[std::size_t(position - 1)];
        std::error_code error;
        if (!std::filesystem::exists(path, error) && !error) {
            // Gone since it was listed (moved or deleted): nothing to open,
            // and nothing to offer again.
            forgetRecentFile(*context.documentHost, path);
            if (context.status)
                context.status->postDefault("'" + path + "' no longer exists; it is taken off the recent files.",
                                            filetexts::WARNING);
            return;
        }
        auto* open = context.functions ? dynamic_cast<OpenFunction*>(context.functions->findFunction("OpenFunction"))
                                       : nullptr;
        if (open)
            open->openPath(path);
    }

private:
    void refreshMenu() {
        if (!context.gui || !context.documentHost || !context.gui->hasWindow(menuWindow))
            return;
        std::vector<std::string> files = recentFiles(*context.documentHost);
        if (shown && files == *shown)
            return;
        context.gui->setEnabled(menuWindow, !files.empty());
        for (int i = 1; i <= recentFileCount; ++i) {
            const bool used = i <= int(files.size());
            context.gui->setWindowText(entryWindow(i), used ? entryText(i, files[std::size_t(i - 1)]) : "", "");
            context.gui->setVisible(entryWindow(i), used);
        }
        shown = std::move(files);
    }

    std::optional<std::vector<std::string>> shown;
};

MORVEL_REGISTER_FUNCTION(OpenRecentFunction);
