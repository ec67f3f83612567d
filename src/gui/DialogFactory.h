#pragma once
// The dialogs functions open: a message box, an open-file dialog and a
// save-file dialog. All are asynchronous: the call returns at once and the
// callback runs when the user answers.
#include <functional>
#include <string>
#include <vector>

namespace Kiln {

enum GuiMessageBoxResult {
    GMBR_OK = 1,
    GMBR_CANCEL = 2,
    GMBR_YES = 3,
    GMBR_NO = 4,
    GMBR_RETRY = 5,
    GMBR_ABORT = 6,
    GMBR_IGNORE = 7
};

/// Button sets of a message box.
enum GuiMessageBoxButtons {
    GMBB_OK = 1,
    GMBB_OK_CANCEL = 2,
    GMBB_YES_NO = 3,
    GMBB_YES_NO_CANCEL = 4,
    GMBB_RETRY_CANCEL = 5,
    GMBB_ABORT_RETRY_IGNORE = 6
};

struct OpenFileResult {
    bool chosen = false;
    std::string path; ///< full path with '/' separators when chosen
};

struct SaveFileResult {
    bool chosen = false;
    std::string path;
};

class DialogFactory {
public:
    using MessageBoxCallback = std::function<void(GuiMessageBoxResult)>;
    using OpenFileCallback = std::function<void(const OpenFileResult&)>;
    using SaveFileCallback = std::function<void(const SaveFileResult&)>;

    virtual ~DialogFactory() = default;
    /// `buttons`: one of GuiMessageBoxButtons (other values give "OK").
    virtual void messageBox(const std::string& title, const std::string& text, int buttons,
                            MessageBoxCallback callback) = 0;
    /// `filters`: "description|pattern|" pairs, e.g. "STL File (*.stl)|*.stl|";
    /// empty means "All files (*.*)|*.*|".
    virtual void openFile(const std::string& title, const std::string& filters,
                          OpenFileCallback callback) = 0;
    /// `proposedName`: the file name offered in the name box (may be empty).
    virtual void saveFile(const std::string& title, const std::string& filters,
                          SaveFileCallback callback, const std::string& proposedName = "") = 0;
};

/// Captions of a button set, left to right.
std::vector<std::string> messageBoxCaptions(int buttons);
/// The result of the button with that caption; 0 when there is none.
int messageBoxResultOf(const std::string& caption);
/// What closing the box (its close button) answers: the set's negative
/// answer, or its only one, so that no caller meets an answer it did not
/// offer.
GuiMessageBoxResult messageBoxCloseResult(int buttons);

} // namespace Kiln
