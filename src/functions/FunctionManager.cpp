#include "functions/FunctionManager.h"

#include "config/ConfigurationFile.h"
#include "config/LanguageTable.h"
#include "functions/FunctionRegistration.h"
#include "log/DebugChannel.h"
#include "log/Exception.h"

#include <algorithm>

namespace {
constexpr int MESSAGE_WARNING = 2;
constexpr int MESSAGE_ERROR = 3;
constexpr float HISTORY_EMPTY_SECONDS = 5.0f;
constexpr float HISTORY_STEP_SECONDS = 3.0f;

std::size_t keyIndex(OIS::KeyCode key) {
    return static_cast<std::size_t>(key);
}
} // namespace

FunctionManager::FunctionManager(FunctionContext& context) : context(context) {
    context.functions = this;
    const int limit = Kiln::ConfigurationFile::getInt("Functions.Undo.Size", 50);
    setUndoLimit(limit > 0 ? static_cast<std::size_t>(limit) : 1);
}

FunctionManager::~FunctionManager() {
    // States may refer to their functions (names, settings): drop them first.
    redoStack.clear();
    undoStack.clear();
    // No deactivate here: the haptic side and the GUI may be gone already.
    activeTool = nullptr;
    tools.clear();
    commands.clear();
    updates.clear();
    owned.clear();
    if (context.functions == this)
        context.functions = nullptr;
}

// ---------------------------------------------------------------- registration

void FunctionManager::createRegisteredFunctions() {
    for (const FunctionRegistrar* r = FunctionRegistrar::head(); r; r = r->getNext())
        registerFunction(r->create(context));
    initFunctions();
    clearHistory();
    remapFunctionTexts();
}

bool FunctionManager::registerFunction(std::unique_ptr<FunctionBase> function) {
    if (!function)
        return false;
    const std::string& name = function->getName();
    if (tools.count(name) || commands.count(name) || updates.count(name))
        return false;
    FunctionBase* raw = function.get();
    owned.push_back(std::move(function));
    if (raw->getKind() & FUNCTION_TOOL)
        tools[name] = raw;
    if (raw->getKind() & FUNCTION_COMMAND)
        commands[name] = raw;
    if (raw->getKind() & FUNCTION_UPDATE)
        updates[name] = raw;
    const auto pending = pendingArguments.find(name);
    if (pending != pendingArguments.end()) {
        const std::string argument = pending->second;
        pendingArguments.erase(pending);
        raw->setArgument(argument);
    }
    return true;
}

FunctionBase* FunctionManager::findFunction(const std::string& name) const {
    for (const FunctionMap* map : {&tools, &commands, &updates}) {
        const auto found = map->find(name);
        if (found != map->end())
            return found->second;
    }
    return nullptr;
}

void FunctionManager::initFunctions() {
    // A function in two maps is initialised once: init may create windows
    // or overlay texts that must not exist twice.
    std::vector<FunctionBase*> done;
    for (const FunctionMap* map : {&tools, &commands, &updates})
        for (const auto& entry : *map)
            if (std::find(done.begin(), done.end(), entry.second) == done.end()) {
                done.push_back(entry.second);
                entry.second->init();
            }
}

void FunctionManager::remapFunctionTexts() {
    if (!context.gui)
        return;
    const Kiln::LanguageTable& language =
        context.language ? *context.language : Kiln::LanguageTable::instance();
    for (const auto& [window, functionName] : context.gui->windowsNamingFunctions()) {
        const FunctionBase* function = findFunction(functionName);
        if (!function) {
            Kiln::debugChannel("Functions")
                << "Not remapping function text for '" << functionName << "'" << Kiln::endl;
            continue;
        }
        const std::string& title = function->getTitle();
        context.gui->setWindowText(window, title, language.fontFor(title));
    }
}

// ------------------------------------------------------- activation, invocation

void FunctionManager::activateFunction(const std::string& name) {
    const auto found = tools.find(name);
    if (found == tools.end())
        throw Kiln::Exception(Kiln::ErrorCode::OperationFailed, name + " is not a registered/active function or was unregistered before.",
                              "FunctionManager::activateFunction(std::string)");
    FunctionBase* tool = found->second;
    if (tool != activeTool) {
        if (activeTool) {
            FunctionBase* old = activeTool;
            activeTool = nullptr;
            activeToolUpdates = false;
            old->deactivate();
            requestHaptics(old, true);
        }
        activeTool = tool;
        tool->activate();
        // Every active tool is ticked each frame; one that is also an update
        // function is ticked there only once (see frameStarted).
        activeToolUpdates = true;
    }
    showTexts(*tool);
}

void FunctionManager::showTexts(const FunctionBase& tool) {
    if (!context.status)
        return;
    context.status->setFunctionBar(tool.getTitle());
    context.status->setHelpText(tool.getHelpText());
}

bool FunctionManager::invokeFunction(const std::string& name) {
    try {
        if (name == "Undo") {
            undo();
            return true;
        }
        if (name == "Redo") {
            redo();
            return true;
        }
        if (tools.count(name)) {
            activateFunction(name);
            return true;
        }
        const auto command = commands.find(name);
        if (command != commands.end()) {
            command->second->execute();
            return true;
        }
        Kiln::debugChannel("Functions") << "No function named '" << name << "'" << Kiln::endl;
        return false;
    } catch (const std::exception& error) {
        reportError(error.what());
    } catch (...) {
        reportError("unknown error");
    }
    return false;
}

void FunctionManager::reportError(const std::string& text) {
    const std::string message = "An error occurred while trying to execute a function:\n" + text;
    Kiln::debugChannel("Functions") << message << Kiln::endl;
    if (context.dialogs)
        context.dialogs->showMessage("Error", message);
}

void FunctionManager::setFunctionArgument(const std::string& name, const std::string& argument) {
    FunctionBase* target = nullptr;
    if (const auto tool = tools.find(name); tool != tools.end())
        target = tool->second;
    else if (const auto command = commands.find(name); command != commands.end())
        target = command->second;
    if (target) {
        target->setArgument(argument);
        return;
    }
    if (name == "Undo" || name == "Redo") {
        bindHistoryButton(name, argument);
        return;
    }
    pendingArguments[name] = argument;
}

void FunctionManager::bindHistoryButton(const std::string& name, const std::string& window) {
    if (!context.gui || !context.gui->hasWindow(window))
        throw Kiln::Exception(Kiln::ErrorCode::InvalidValue, "Invalid function argument for \"" + name + "\" function",
                              "FunctionManager::setFunctionArgument()");
    const bool isUndo = name == "Undo";
    (isUndo ? undoButton : redoButton) = window;
    context.gui->subscribeClick(window, [this, isUndo] { stepHistoryGuarded(isUndo); });
    updateHistoryButtons();
}

// --------------------------------------------------------------------- history

void FunctionManager::setUndoLimit(std::size_t limit) {
    undoLimit = std::max<std::size_t>(limit, 1);
    while (undoStack.size() > undoLimit)
        undoStack.pop_front();
}

void FunctionManager::pushState(std::unique_ptr<FunctionState> state) {
    if (state) {
        markModified();
        while (undoStack.size() >= undoLimit)
            undoStack.pop_front();
        undoStack.push_back(std::move(state));
        redoStack.clear();
        updateHistoryButtons();
    }
    if (context.gui)
        context.gui->setHitTesting(true);
    busy = false;
}

void FunctionManager::undo() {
    if (undoStack.empty()) {
        post("No more UNDOs available", HISTORY_EMPTY_SECONDS, MESSAGE_WARNING);
        updateHistoryButtons();
        return;
    }
    std::unique_ptr<FunctionState> state = std::move(undoStack.back());
    undoStack.pop_back();
    post("Undo " + state->getName(), HISTORY_STEP_SECONDS, MESSAGE_WARNING);
    // The scene now differs from any saved copy, whichever way history moved
    // (and also after a step that failed halfway; the failed entry is dropped).
    markModified();
    state->undo();
    redoStack.push_back(std::move(state));
    updateHistoryButtons();
}

void FunctionManager::redo() {
    if (redoStack.empty()) {
        post("No more REDOs available", HISTORY_EMPTY_SECONDS, MESSAGE_WARNING);
        updateHistoryButtons();
        return;
    }
    std::unique_ptr<FunctionState> state = std::move(redoStack.back());
    redoStack.pop_back();
    post("Redo " + state->getName(), HISTORY_STEP_SECONDS, MESSAGE_WARNING);
    markModified();
    state->redo();
    undoStack.push_back(std::move(state));  // the limit applies to new entries only
    updateHistoryButtons();
}

void FunctionManager::stepHistoryGuarded(bool backwards) {
    // Keys and GUI buttons have nobody above them to catch a failing entry.
    try {
        backwards ? undo() : redo();
    } catch (const std::exception& error) {
        reportError(error.what());
        updateHistoryButtons();
    }
}

void FunctionManager::clearHistory() {
    redoStack.clear();
    undoStack.clear();
    updateHistoryButtons();
}

void FunctionManager::updateHistoryButtons() {
    if (!context.gui)
        return;
    if (!undoButton.empty())
        context.gui->setEnabled(undoButton, !undoStack.empty());
    if (!redoButton.empty())
        context.gui->setEnabled(redoButton, !redoStack.empty());
}

void FunctionManager::markModified() {
    if (context.document)
        context.document->markModified();
}

void FunctionManager::post(const std::string& text, float seconds, int type) {
    if (context.status)
        context.status->post(text, seconds, type);
}

void FunctionManager::requestHaptics(const void* requester, bool on) {
    const auto found = std::find(hapticsOffRequests.begin(), hapticsOffRequests.end(), requester);
    if (on && found != hapticsOffRequests.end())
        hapticsOffRequests.erase(found);
    else if (!on && found == hapticsOffRequests.end())
        hapticsOffRequests.push_back(requester);
    if (context.haptics)
        context.haptics->setHapticsWanted(hapticsOffRequests.empty());
}

// -------------------------------------------------------------------- keyboard

bool FunctionManager::isKeyDown(OIS::KeyCode key) const {
    return keyIndex(key) < keyCount && keyDown[keyIndex(key)];
}

void FunctionManager::consumeKey(OIS::KeyCode key) {
    if (keyIndex(key) < keyCount)
        keyDown[keyIndex(key)] = false;
}

bool FunctionManager::isKeyHeld(OIS::KeyCode key) const {
    return keyIndex(key) < keyCount && keyHeld[keyIndex(key)];
}

template <typename Call>
void FunctionManager::forBackgroundCommands(FunctionBase* skip, Call call) {
    for (const auto& entry : commands)
        if (entry.second != skip && !call(*entry.second))
            return;
}

bool FunctionManager::keyPressed(const OIS::KeyEvent& event) {
    const std::size_t index = keyIndex(event.key);
    if (index < keyCount)
        keyDown[index] = keyHeld[index] = true;
    FunctionBase* tool = activeTool;
    if (tool)
        tool->keyPressed(event);
    if (event.key == OIS::KC_ESCAPE) {
        // Escape frees the user from an object the stylus is stuck in, even
        // in the middle of an operation.
        requestHaptics(this, false);
        if (context.status)
            context.status->postDefault("Haptics is now turned off.", MESSAGE_WARNING);
    }
    if (backgroundEnabled())
        forBackgroundCommands(tool, [&](FunctionBase& command) {
            if (index < keyCount && !keyDown[index])
                return false;  // consumed: later commands do not see it
            command.keyPressed(event);
            return true;
        });
    return true;
}

bool FunctionManager::keyReleased(const OIS::KeyEvent& event) {
    const std::size_t index = keyIndex(event.key);
    if (index < keyCount)
        keyDown[index] = keyHeld[index] = false;
    if (event.key == OIS::KC_ESCAPE) {
        requestHaptics(this, true);
        if (context.status)
            context.status->postDefault("Haptics is now turned on.", MESSAGE_WARNING);
    }
    if (backgroundEnabled()) {
        if (event.key == OIS::KC_Z && isControlHeld())
            stepHistoryGuarded(true);
        else if (event.key == OIS::KC_Y && isControlHeld())
            stepHistoryGuarded(false);
        else if (event.key == OIS::KC_M)
            activateShortcut("MoveObject", "MoveButton");
        else if (event.key == OIS::KC_R)
            activateShortcut("RotateObject", "RotateButton");
        else if (event.key == OIS::KC_Q)
            activateShortcut("ScaleObject", "ScaleButton");
        else if (event.key == OIS::KC_H)
            activateShortcut("DeformFunction", "DeformButton");
        forBackgroundCommands(activeTool, [&](FunctionBase& command) {
            command.keyReleased(event);
            return true;
        });
    }
    if (activeTool)
        activeTool->keyReleased(event);
    return true;
}

void FunctionManager::activateShortcut(const std::string& tool, const std::string& button) {
    // A key must never end the program: a missing or failing tool is
    // reported and the keyboard carries on.
    try {
        activateFunction(tool);
    } catch (const Kiln::Exception& error) {
        Kiln::debugChannel("Functions") << error.what() << Kiln::endl;
        if (context.status)
            context.status->postDefault(error.getDescription(), MESSAGE_ERROR);
        return;
    }
    if (context.gui)
        context.gui->selectRadioButton(button);
}

// ---------------------------------------------------------------------- haptics

bool FunctionManager::hapticMoved(const Kiln::HapticEvent& event) {
    if (pressOwner) {
        pressOwner->hapticMoved(event);
        return true;
    }
    FunctionBase* tool = activeTool;
    if (tool)
        tool->hapticMoved(event);
    if (backgroundEnabled())
        forBackgroundCommands(tool, [&](FunctionBase& command) {
            command.hapticMoved(event);
            return true;
        });
    return true;
}

bool FunctionManager::hapticButtonPressed(const Kiln::HapticEvent& event,
                                          const Kiln::ButtonMask& wentDown) {
    const FunctionButtonEvent buttons(event, wentDown);
    if (!pressOwner && backgroundEnabled() && !(activeTool && activeTool->claimsButtonPress(buttons)))
        for (const auto& entry : commands)
            if (entry.second != activeTool && entry.second->claimsButtonPress(buttons)) {
                pressOwner = entry.second;
                break;
            }
    if (pressOwner) {
        pressOwner->buttonPressed(buttons);
        return true;
    }
    FunctionBase* tool = activeTool;
    if (tool)
        tool->buttonPressed(buttons);
    if (backgroundEnabled())
        forBackgroundCommands(tool, [&](FunctionBase& command) {
            command.buttonPressed(buttons);
            return true;
        });
    return true;
}

bool FunctionManager::hapticButtonReleased(const Kiln::HapticEvent& event,
                                           const Kiln::ButtonMask& wentUp) {
    const FunctionButtonEvent buttons(event, wentUp);
    if (pressOwner) {
        FunctionBase* owner = pressOwner;
        if (buttons.button(0))
            pressOwner = nullptr;
        owner->buttonReleased(buttons);
        return true;
    }
    FunctionBase* tool = activeTool;
    if (tool)
        tool->buttonReleased(buttons);
    if (backgroundEnabled())
        forBackgroundCommands(tool, [&](FunctionBase& command) {
            command.buttonReleased(buttons);
            return true;
        });
    return true;
}

// ------------------------------------------------------------------------ frame

bool FunctionManager::frameStarted(const Ogre::FrameEvent& event) {
    if (context.tasks)
        context.tasks->runQueued();
    FunctionBase* tool = activeTool;
    if (tool && activeToolUpdates && !tool->update(event))
        return true;
    if (backgroundEnabled())
        for (const auto& entry : updates)
            if (entry.second != tool)
                entry.second->update(event);
    return true;
}
