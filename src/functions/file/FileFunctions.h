#pragma once
// The scene file tools. Saving is the heart of them: new, open and quit all
// ask SaveFunction to make the user's work safe before they go ahead.
#include "functions/FunctionBase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {
class ObjectGroup;
}

namespace filetexts {
constexpr int INFO = 1;
constexpr int WARNING = 2;
constexpr int ERROR = 3;
// Answers of IDialogs::ask.
constexpr int OK = 1;
constexpr int CANCEL = 2;
constexpr int YES = 3;
constexpr int NO = 4;
} // namespace filetexts

/// "SaveFunction", and "SaveAsFunction" through the subclass below.
class SaveFunction : public FunctionBase {
public:
    /// Told whether the scene is now safely in a file.
    using Done = std::function<void(bool saved)>;

    explicit SaveFunction(FunctionContext& context) : SaveFunction(context, false) {}
    void execute() override;

    /// Runs `action` (at the start of a later frame) once the unsaved work
    /// is safe. Nothing unsaved, or an empty scene: at once. Otherwise the
    /// user is asked; Yes saves first and goes on only if the save
    /// succeeded, No goes on, Cancel or closing the box drops the action.
    /// While one such question or its save is in progress further requests
    /// are dropped; once it is over, the next request asks again.
    void confirmThen(std::function<void()> action);
    /// A question (or the save it led to) is in progress.
    bool isConfirming() const { return confirming; }

    /// Saves to the current file, or asks for one when there is none; on a
    /// failed write offers to save elsewhere.
    void save(Done done);
    /// Asks for a file and saves there.
    void saveAs(Done done);

    /// The registered "SaveFunction", or null.
    static SaveFunction* find(const FunctionContext& context);

protected:
    SaveFunction(FunctionContext& context, bool saveAs);

private:
    /// Writes the scene to `path`; on success it becomes the current file.
    bool write(const std::string& path, std::string& reason);
    /// Writes with the busy notice up and everything else held; `then`
    /// hears whether it worked.
    void writeAlone(const std::string& path, Done then);
    void later(std::function<void()> step);

    bool asSaveAs;
    bool confirming = false;
};

class SaveAsFunction : public SaveFunction {
public:
    explicit SaveAsFunction(FunctionContext& context) : SaveFunction(context, true) {}
};

/// "OpenFunction" replaces the scene with a .cr8 file; "InsertFunction"
/// (the subclass) adds a file's objects to the scene as one undoable step.
/// The argument, when set, names the file instead of the dialog asking.
class OpenFunction : public FunctionBase {
public:
    explicit OpenFunction(FunctionContext& context) : OpenFunction(context, false) {}
    void execute() override;
    /// As execute with `path` named (blanks and all): asks about unsaved
    /// changes first when opening, then reads the file.
    void openPath(const std::string& path);

protected:
    OpenFunction(FunctionContext& context, bool insert);

private:
    void chooseAndLoad(const std::string& named);
    void load(const std::string& path);
    bool inserting;
};

class InsertFunction : public OpenFunction {
public:
    explicit InsertFunction(FunctionContext& context) : OpenFunction(context, true) {}
};

/// Adds objects read from a file to the scene as one undoable step.
/// Returns the reason on failure (the scene is then unchanged), "" on success.
std::string addFileToScene(FunctionBase& function, FunctionContext& context, const std::string& path,
                           const std::string& undoneText, const std::string& redoneText);

/// Empties the scene, the selection and the history.
void clearScene(FunctionContext& context);

/// The recent-file list in the user's settings ("RecentFile.Recent.1" is
/// the latest), at most this many entries.
constexpr int recentFileCount = 8;
/// Puts `path` first in the list, once.
void rememberRecentFile(IDocumentHost& host, const std::string& path);
/// Takes `path` off the list (a file that no longer exists).
void forgetRecentFile(IDocumentHost& host, const std::string& path);
std::vector<std::string> recentFiles(const IDocumentHost& host);
