#pragma once
// Session scripts: a file of commands, one per line, that drives the running
// program at frame boundaries (what `morvel -script=FILE` runs). The whole
// file is parsed before the first frame, so a typo fails at once instead of
// half way through a session.
#include <OgreVector3.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Kiln {

/// A script line that does not parse, or a command that failed while
/// running; `line` is 1-based (0: the file itself).
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& reason) : std::runtime_error(reason), line(line) {}
    const int line;
};

struct ScriptCommand {
    enum class Kind { Frames, Sleep, Stylus, Invoke, Key, KeyDown, KeyUp, Dump, Screenshot, Quit,
                      Exit, WaitFile, MouseStylus, Click, Answer, Choose, Type, Focus };
    Kind kind = Kind::Frames;
    int line = 0;
    std::uint64_t count = 0;           ///< Frames
    double seconds = 0.0;              ///< Sleep, Stylus
    Ogre::Vector3 point = Ogre::Vector3::ZERO; ///< Stylus, scene root coordinates
    std::uint32_t buttons = 0;         ///< Stylus: bit i = button ID i
    std::string name;                  ///< Invoke: function; Key*: key name; Dump/Screenshot/WaitFile/Choose: path;
                                       ///< Click/Focus: window; Answer: button; Type: text
    bool hasArgument = false;          ///< Invoke
    std::string argument;              ///< Invoke: the rest of the line
    bool ctrl = false, shift = false, alt = false; ///< Key
};

/// Parses the script text. `isKnownKey` answers whether a key name exists.
/// Throws ScriptError for the first line that does not parse, and for a
/// script that both moves the stylus and hands it to the mouse.
std::vector<ScriptCommand> parseScript(const std::string& text,
                                       bool (*isKnownKey)(const std::string& name));

/// Reads and parses a script file; ScriptError (line 0) when it cannot be read.
std::vector<ScriptCommand> loadScript(const std::string& path,
                                      bool (*isKnownKey)(const std::string& name));

/// What running a script needs from the program.
class IScriptHost {
public:
    virtual ~IScriptHost() = default;
    /// Starts moving the device point to `rootPoint` over `seconds`.
    virtual void moveStylus(const Ogre::Vector3& rootPoint, std::uint32_t buttons,
                            double seconds) = 0;
    /// Whether the device point has reached the end of the last move.
    virtual bool isStylusSettled() = 0;
    /// Sets the argument (when given) and invokes; throws std::exception
    /// with the reason when the function is unknown or fails.
    virtual void invoke(const std::string& name, const std::string* argument) = 0;
    virtual void key(const std::string& keyName, bool down) = 0;
    virtual void dump(const std::string& path) = 0;
    virtual void screenshot(const std::string& path) = 0;
    /// As the window's close button.
    virtual void quit() = 0;
    /// Ends at once with status 0.
    virtual void exitNow() = 0;
    // The GUI. Each throws std::exception with the reason when it cannot
    // act (a program without a GUI cannot act at all).
    /// What a click on the window fires; the window must be visible and enabled.
    virtual void click(const std::string& window) { unsupported("click " + window); }
    /// Presses a button of the open message box ("close": its close button).
    virtual void answer(const std::string& button) { unsupported("answer " + button); }
    /// Finishes the open file dialog with a full path, or "cancel".
    virtual void choose(const std::string& path) { unsupported("choose " + path); }
    /// Types into the edit box that has the focus.
    virtual void type(const std::string& text) { unsupported("type " + text); }
    virtual void focus(const std::string& window) { unsupported("focus " + window); }

private:
    [[noreturn]] static void unsupported(const std::string& what) {
        throw std::runtime_error("'" + what + "' needs the interface");
    }
};

/// Runs parsed commands, a few per frame: `frames`, `sleep` and stylus moves
/// hold the script until their frames or seconds have passed.
/// Whether the script hands the stylus to the system mouse (`mousestylus`):
/// then the mouse drives it as without a script, for tests of real pointer
/// input, and the script only waits, types and reports.
bool usesMouseStylus(const std::vector<ScriptCommand>& commands);

class ScriptRunner {
public:
    ScriptRunner(std::vector<ScriptCommand> commands, IScriptHost& host);

    /// Once per frame, before the frame's input is handled. `seconds`: time
    /// since the previous frame. Throws ScriptError when a command fails.
    void onFrame(double seconds);
    bool isFinished() const { return next >= commands.size() && !waiting(); }

private:
    bool waiting() const {
        return framesLeft > 0 || secondsLeft > 0.0 || awaitingStylus || !awaitedFile.empty();
    }
    /// Advances the current wait; true while the script must still wait.
    bool stillWaiting(double seconds);
    void run(const ScriptCommand& command);
    void pressKey(const ScriptCommand& command);

    std::vector<ScriptCommand> commands;
    IScriptHost& host;
    std::size_t next = 0;
    std::uint64_t framesLeft = 0;
    double secondsLeft = 0.0;
    bool awaitingStylus = false;
    std::string awaitedFile;
};

} // namespace Kiln
