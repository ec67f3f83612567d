#pragma once
// The dialogs drawn by the GUI toolkit: the message box ("MessageBox.layout",
// window "GuiMessageBox") and the common file dialog
// ("DevadaFileDialog.layout", window "CommonFileDialog"), both under the root
// window and modal while open. Main thread only.
#include "gui/DialogFactory.h"
#include "gui/FileDialogModel.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CEGUI {
class Window;
}

namespace Kiln {

class InterfaceManager;

/// What the program does when a dialog opens and closes (the modal state:
/// cursor shown, stylus hidden, navigation off).
struct ModalHooks {
    std::function<void()> begin;
    std::function<void()> end;
};

/// The open dialog as the session dump reports it.
struct OpenDialogInfo {
    std::string kind; ///< "message" or "file"
    std::string title;
    std::string text;                 ///< message
    std::vector<std::string> buttons; ///< message
    std::string mode;                 ///< file: "open" or "save"
    std::string folder;               ///< file
};

class DialogFactory_CEGUI : public DialogFactory {
public:
    DialogFactory_CEGUI(InterfaceManager& gui, ModalHooks hooks);
    ~DialogFactory_CEGUI() override;

    void messageBox(const std::string& title, const std::string& text, int buttons,
                    MessageBoxCallback callback) override;
    void openFile(const std::string& title, const std::string& filters,
                  OpenFileCallback callback) override;
    void saveFile(const std::string& title, const std::string& filters, SaveFileCallback callback,
                  const std::string& proposedName = "") override;

    /// The topmost open dialog, if any.
    std::optional<OpenDialogInfo> getOpenDialog() const;
    /// Presses the button with this caption ("close": the close button) of
    /// the topmost message box. Returns "" or why it could not.
    std::string answer(const std::string& caption);
    /// Finishes the topmost file dialog with `path`, or cancels it when
    /// `path` is "cancel". Returns "" or why it could not.
    std::string choose(const std::string& path);

    /// Where the file dialog starts: $HOME, else "/".
    static std::string startFolder();

private:
    class MessageBoxWindow;
    class FileDialogWindow;
    struct Open;
    void present(std::unique_ptr<FileDialogWindow> dialog, const std::string& name);
    void close(Open* dialog);
    std::string uniqueName(const std::string& base) const;

    InterfaceManager& gui;
    ModalHooks hooks;
    std::vector<std::unique_ptr<Open>> open;
};

} // namespace Kiln
