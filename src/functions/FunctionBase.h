#pragma once
// A function is one tool or command of the program, created once at start-up
// and reached by its registered name. FunctionState is the unit of undo.
#include "functions/FunctionContext.h"
#include "haptics/HapticEvent.h"

#include <OISKeyboard.h>
#include <OgreFrameListener.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FunctionBase;

/// Where a function is registered; a function may carry several bits.
enum FunctionKind : std::uint32_t {
    FUNCTION_TOOL = 1,    ///< exclusive: at most one tool is active
    FUNCTION_COMMAND = 2, ///< run by name; hears events in the background
    FUNCTION_UPDATE = 4   ///< ticked every frame
};

/// One finished invocation that changed the scene. Undo and redo must cope
/// with scene nodes that died since (skip them).
class FunctionState {
public:
    explicit FunctionState(const FunctionBase* function) : function(function) {}
    virtual ~FunctionState() = default;
    FunctionState(const FunctionState&) = delete;
    FunctionState& operator=(const FunctionState&) = delete;

    /// Shown after "Undo " / "Redo "; the function's title by default.
    virtual std::string getName() const;
    virtual void undo() = 0;
    virtual void redo() = 0;

protected:
    const FunctionBase* function;
};

/// A grip button event: the frame's device state plus which buttons went
/// down (or up). Only IDs 0 to 7 exist; higher mask bits are dropped.
class FunctionButtonEvent : public Kiln::HapticEvent {
public:
    FunctionButtonEvent(const Kiln::HapticEvent& event, Kiln::ButtonMask mask)
        : Kiln::HapticEvent(&event.getState(), event.getDevice()), mask(mask & 0xFFu) {}
    /// Whether button `id` changed in this event; false for id above 7.
    bool button(unsigned id) const { return id < 8 && (mask & (1u << id)) != 0; }
    Kiln::ButtonMask getMask() const { return mask; }

private:
    Kiln::ButtonMask mask;
};

/// A title or help text: a literal, or a language-table id looked up once
/// when the function is made ("STRING NOT FOUND" when the table lacks it).
struct FunctionText {
    static FunctionText literal(std::string text) { return {std::move(text), -1}; }
    static FunctionText id(std::int32_t languageId) { return {std::string(), languageId}; }
    std::string text;
    std::int32_t languageId = -1;
};

/// Splits at single blanks after trimming leading and trailing blanks, so
/// that inner runs of blanks give empty entries; never returns an empty list
/// (an empty or all-blank string gives one empty entry).
std::vector<std::string> splitArguments(const std::string& text);

class FunctionBase {
public:
    FunctionBase(FunctionContext& context, std::string name, std::uint32_t kind,
                 std::string category, const FunctionText& title, const FunctionText& helpText);
    virtual ~FunctionBase() = default;
    FunctionBase(const FunctionBase&) = delete;
    FunctionBase& operator=(const FunctionBase&) = delete;

    const std::string& getName() const { return name; }
    const std::string& getTitle() const { return title; }
    const std::string& getHelpText() const { return helpText; }
    std::uint32_t getKind() const { return kind; }
    bool isBusy() const { return busy; }
    const std::vector<std::string>& getArguments() const { return arguments; }
    const std::vector<std::string>& getArguments2() const { return arguments2; }

    virtual std::string getCategory() const { return category; }

    /// Replaces `arguments` with the split text and calls onArgumentSet.
    virtual void setArgument(const std::string& text);
    /// Replaces `arguments2` with the split text and calls onArgumentsSet.
    virtual void setArguments(const std::string& text);
    virtual void onArgumentSet() {}
    virtual void onArgumentsSet(const std::vector<std::string>& arguments2) { (void)arguments2; }

    /// Once, after every function is registered: look up other functions
    /// and GUI windows here.
    virtual void init() {}
    /// Runs without user interaction. Not implemented by default: throws
    /// Kiln::Exception (code 0).
    virtual std::unique_ptr<FunctionState> invoke();
    /// Per-frame tick; false skips the remaining ticks of this frame.
    virtual bool update(const Ogre::FrameEvent& event) { (void)event; return true; }
    /// Runs the command.
    virtual void execute() {}
    virtual void activate() {}
    virtual void deactivate() {}
    virtual void keyPressed(const OIS::KeyEvent& event) { (void)event; }
    virtual void keyReleased(const OIS::KeyEvent& event) { (void)event; }
    virtual void hapticMoved(const Kiln::HapticEvent& event) { (void)event; }
    virtual void buttonPressed(const FunctionButtonEvent& event) { (void)event; }
    /// Asked before anyone sees a grip press, of the active tool first:
    /// a tool that answers true keeps the usual routing (the fill tool
    /// working with the colour box); otherwise the first command that
    /// answers true takes the press, and every move and release up to the
    /// release of button 0, away from the tool (the colour box picking while
    /// a creation tool is active).
    virtual bool claimsButtonPress(const FunctionButtonEvent& event) const { (void)event; return false; }
    virtual void buttonReleased(const FunctionButtonEvent& event) { (void)event; }

protected:
    /// Starts a scene-changing interaction: this function and the manager
    /// are busy and GUI hit-testing is off until endOperation or
    /// commitOperation.
    void beginOperation();
    /// Ends it without a history entry.
    void endOperation();
    /// Ends it and hands `state` (may be null) to the history.
    void commitOperation(std::unique_ptr<FunctionState> state);

    FunctionContext& context;
    std::string name;
    std::string title;
    std::string category;
    std::uint32_t kind;
    std::string helpText;
    std::vector<std::string> arguments;
    std::vector<std::string> arguments2;
    bool busy = false;

private:
    std::string resolve(const FunctionText& text) const;
};
