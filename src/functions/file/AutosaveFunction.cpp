#include "functions/file/AutosaveFunction.h"

#include "functions/FunctionRegistration.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "scene/ObjectGroup.h"

#include <charconv>

MORVEL_REGISTER_FUNCTION(AutosaveFunction);

namespace {
const char* const checkboxWindow = "Root/AutosaveCheckbox";
const char* const intervalWindow = "Root/AutosaveIntervalEditbox";
constexpr int longestPeriod = 1439; // minutes; a day or more means "off"
} // namespace

AutosaveFunction::AutosaveFunction(FunctionContext& context)
    : FunctionBase(context, "AutosaveFunction", FUNCTION_UPDATE | FUNCTION_COMMAND, "Other", FunctionText::literal("Autosave scene"),
                   FunctionText::literal("")) {}

void AutosaveFunction::init() {
    if (!context.documentHost)
        return;
    enabled = context.documentHost->readSetting("Autosave.Enable", "true") != "false";
    if (const auto stored = parseInterval(context.documentHost->readSetting("Autosave.Period", "5")))
        period = *stored;
    if (context.gui) {
        context.gui->setSelected(checkboxWindow, enabled);
        context.gui->setWindowText(intervalWindow, std::to_string(period), "");
    }
}

std::optional<int> AutosaveFunction::parseInterval(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    int value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

void AutosaveFunction::readGui() {
    if (!context.gui)
        return;
    if (context.gui->hasWindow(checkboxWindow)) {
        const bool ticked = context.gui->isSelected(checkboxWindow);
        if (ticked != enabled) {
            enabled = ticked;
            if (context.documentHost)
                context.documentHost->writeSetting("Autosave.Enable", enabled ? "true" : "false");
        }
    }
    if (context.gui->hasWindow(intervalWindow)) {
        // Text that is no number (half typed, say) changes nothing.
        const auto typed = parseInterval(context.gui->getWindowText(intervalWindow));
        if (typed && *typed != period) {
            period = *typed;
            if (context.documentHost)
                context.documentHost->writeSetting("Autosave.Period", std::to_string(period));
        }
    }
}

bool AutosaveFunction::update(const Ogre::FrameEvent& event) {
    elapsed += double(event.timeSinceLastFrame);
    readGui();
    if (period < 1 || period > longestPeriod)
        return true;
    if (elapsed - lastSave > double(period) * 60.0) {
        lastSave = elapsed;
        execute();
    }
    return true;
}

void AutosaveFunction::execute() {
    if (!enabled || !context.sceneRoot || !context.documentHost)
        return;
    bool anythingVisible = false;
    for (const auto& child : context.sceneRoot->getChildren())
        anythingVisible = anythingVisible || child->isVisible();
    if (!anythingVisible)
        return;
    const std::string folder = context.documentHost->getAutosaveFolder();
    if (context.status)
        context.status->postDefault("Scene Autosaving ...", filetexts::INFO);
    bool saved = false;
    if (!folder.empty()) {
        try {
            scenefiles::writeSceneContents(*context.sceneRoot, folder + "/Autosave.cr8");
            saved = true;
        } catch (const std::exception&) {
        }
    }
    if (context.status)
        context.status->postDefault(saved ? "Scene Autosaved" : "Autosave Failed",
                                    saved ? filetexts::INFO : filetexts::ERROR);
}
