#pragma once
// Owns the functions and the undo history, keeps exactly one active tool and
// routes keyboard, haptic and per-frame events to the functions: the active
// tool first, then (unless an operation is under way or the user navigates)
// the commands in name order. A command may claim a grip press before the
// tool sees it (claimsButtonPress) and then has the grip to itself until the
// release. Main thread only.
#include "functions/FunctionBase.h"
#include "haptics/HapticEvent.h"

#include <OISKeyboard.h>
#include <OgreFrameListener.h>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class FunctionManager : public OIS::KeyListener,
                        public Kiln::IHapticListener,
                        public Ogre::FrameListener {
public:
    /// Number of key codes tracked (OIS key codes 0 to 237); events for
    /// higher codes reach the functions but are not tracked.
    static constexpr std::size_t keyCount = 238;

    /// Sets context.functions to this manager; reads the undo limit from
    /// "Functions.Undo.Size" (default 50).
    explicit FunctionManager(FunctionContext& context);
    /// Deletes the history, then the functions it owns.
    ~FunctionManager() override;
    FunctionManager(const FunctionManager&) = delete;
    FunctionManager& operator=(const FunctionManager&) = delete;

    /// Makes one instance of every registered function class, registers
    /// them, calls init on each, clears the history and remaps the GUI texts.
    void createRegisteredFunctions();
    /// Takes ownership. The first function under a name wins: a later one
    /// is deleted and false returned. An argument set earlier for the name
    /// is applied now.
    bool registerFunction(std::unique_ptr<FunctionBase> function);
    /// Looks in the tools, then the commands, then the update functions.
    FunctionBase* findFunction(const std::string& name) const;
    /// Calls init() once on every registered function.
    void initFunctions();
    /// Captions of GUI windows that name a function become its title.
    void remapFunctionTexts();

    /// Makes the tool `name` active (only refreshing the texts when it is
    /// already). Throws Kiln::Exception (code 9) when it is not a tool.
    void activateFunction(const std::string& name);
    FunctionBase* getActiveTool() const { return activeTool; }
    /// "Undo", "Redo", a tool (activated) or a command (executed). Errors
    /// are shown in an "Error" box, never thrown; false for an error or an
    /// unknown name.
    bool invokeFunction(const std::string& name);
    /// Passes the argument to the tool or command `name`; "Undo" and "Redo"
    /// bind the GUI button named by the argument (Kiln::Exception code 3 when
    /// there is none); other names keep it until they register.
    void setFunctionArgument(const std::string& name, const std::string& argument);

    /// Takes a finished invocation (null allowed: it only ends the
    /// operation). Marks the scene modified, drops the oldest entries beyond
    /// the undo limit and forgets the redo list.
    void pushState(std::unique_ptr<FunctionState> state);
    /// Steps back (forth) one entry. An entry whose undo (redo) throws is
    /// dropped and the exception passes on.
    void undo();
    void redo();
    void clearHistory();
    std::size_t getUndoCount() const { return undoStack.size(); }
    std::size_t getRedoCount() const { return redoStack.size(); }
    /// Depth of the undo list; at least 1.
    void setUndoLimit(std::size_t limit);
    std::size_t getUndoLimit() const { return undoLimit; }

    /// Haptic rendering is on while nobody asks for it off. `requester` is
    /// only compared, never dereferenced.
    void requestHaptics(const void* requester, bool on);
    bool isHapticsWanted() const { return hapticsOffRequests.empty(); }

    /// A press not yet consumed by another function.
    bool isKeyDown(OIS::KeyCode key) const;
    /// Stops the current press from reaching later commands.
    void consumeKey(OIS::KeyCode key);
    /// Whether the key is physically held (consuming does not change it).
    bool isKeyHeld(OIS::KeyCode key) const;
    bool isControlHeld() const { return isKeyHeld(OIS::KC_LCONTROL) || isKeyHeld(OIS::KC_RCONTROL); }

    bool isBusy() const { return busy; }
    void setBusy(bool on) { busy = on; }
    bool isInputEnabled() const { return inputEnabled; }
    /// Off while the user navigates: only the active tool hears events.
    void setInputEnabled(bool on) { inputEnabled = on; }

    // OIS::KeyListener
    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    // Kiln::IHapticListener: always pass the event on.
    bool hapticMoved(const Kiln::HapticEvent& event) override;
    bool hapticButtonPressed(const Kiln::HapticEvent& event, const Kiln::ButtonMask& wentDown) override;
    bool hapticButtonReleased(const Kiln::HapticEvent& event, const Kiln::ButtonMask& wentUp) override;
    // Ogre::FrameListener: queued tasks, then the active tool, then the
    // update functions.
    bool frameStarted(const Ogre::FrameEvent& event) override;

private:
    using FunctionMap = std::map<std::string, FunctionBase*>;
    template <typename Call>
    void forBackgroundCommands(FunctionBase* skip, Call call);
    bool backgroundEnabled() const { return !busy && inputEnabled; }
    void activateShortcut(const std::string& tool, const std::string& button);
    /// undo() or redo() with a failure shown in the "Error" box.
    void stepHistoryGuarded(bool backwards);
    void bindHistoryButton(const std::string& name, const std::string& window);
    void updateHistoryButtons();
    void post(const std::string& text, float seconds, int type);
    void markModified();
    void showTexts(const FunctionBase& tool);
    void reportError(const std::string& text);

    FunctionContext& context;
    std::vector<std::unique_ptr<FunctionBase>> owned;
    std::deque<std::unique_ptr<FunctionState>> undoStack;
    std::vector<std::unique_ptr<FunctionState>> redoStack;
    std::map<std::string, std::string> pendingArguments;
    std::size_t undoLimit = 50;
    std::string undoButton;
    std::string redoButton;
    FunctionMap tools;
    FunctionMap commands;
    FunctionMap updates;
    FunctionBase* activeTool = nullptr;
    FunctionBase* pressOwner = nullptr;  ///< a command that claimed the grip until button 0 goes up
    bool busy = false;
    bool activeToolUpdates = false;
    bool inputEnabled = true;
    std::vector<const void*> hapticsOffRequests;
    std::array<bool, keyCount> keyDown{};
    std::array<bool, keyCount> keyHeld{};
};
