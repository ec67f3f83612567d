#pragma once
// The application's GUI: the toolkit over the render window, the settings
// that bind its windows to the functions, the status bars, dialogs and
// pictures, and the routing of the keyboard and the system mouse between
// the GUI, the view navigation and the mouse-driven stylus.
//
// Routing rules:
// - keys reach the GUI only while an edit box has the focus, and then they
//   do not also fire shortcuts;
// - a mouse press over a panel (or anywhere while a dialog is open) goes to
//   the GUI, elsewhere to the view; its release goes where the press went;
// - over the view: middle drag orbits, Shift + middle drag pans, Ctrl +
//   wheel zooms, everything else drives the stylus.
#include "functions/FunctionSeams.h"
#include "gui/DialogFactory_CEGUI.h"
#include "gui/GuiManager.h"
#include "gui/InterfaceManager.h"
#include "gui/PictureWindow.h"
#include "gui/StatusMessage.h"

#include <OIS.h>

#include <array>
#include <map>
#include <memory>
#include <string>

class AppContext;
class FunctionManager;

namespace CEGUI {
class ItemEntry;
class ItemListBase;
class Window;
} // namespace CEGUI

namespace Kiln {

class MouseNavigation;

class GuiLayer : public IFunctionGui,
                 public IDialogs,
                 public IStatusSink,
                 public IGuiFunctions,
                 public OIS::KeyListener,
                 public OIS::MouseListener {
public:
    /// Starts the toolkit on the render window (files from the engine group
    /// "GUI"). Throws Kiln::Exception when it cannot start.
    explicit GuiLayer(AppContext& context);
    ~GuiLayer() override;

    /// Reads the settings file (before the functions exist: their
    /// arguments wait for them in the function manager).
    void loadSettings(FunctionManager& functions, const std::string& file);
    /// Once the functions exist.
    void functionsReady();
    /// Shows the splash picture for `seconds` with the panels hidden.
    void showSplash(const std::string& imageFile, float seconds);
    /// Per frame: window size, toolkit clock, splash, tool button state.
    void update(float seconds);

    /// Where mouse and key events go after the GUI (may be null).
    void setViewMouse(OIS::MouseListener* stylus, MouseNavigation* navigation);
    void setShortcutKeys(OIS::KeyListener* functions, OIS::KeyListener* navigation);

    InterfaceManager& getInterface() { return gui; }
    StatusMessage& getStatus() { return *status; }
    GuiManager& getGuiManager() { return *guiManager; }
    DialogFactory_CEGUI& getDialogs() { return *dialogs; }
    const std::string& getLastError() const { return lastError; }
    void clearLastError() { lastError.clear(); }
    /// Modal state opened by dialogs and the splash.
    void beginModal();
    void endModal();

    // IFunctionGui
    bool hasWindow(const std::string& window) const override;
    void setEnabled(const std::string& window, bool enabled) override;
    void selectRadioButton(const std::string& window) override;
    void subscribeClick(const std::string& window, std::function<void()> onClick) override;
    std::vector<std::pair<std::string, std::string>> windowsNamingFunctions() const override;
    void setWindowText(const std::string& window, const std::string& text, const std::string& font) override;
    void setHitTesting(bool enabled) override { gui.setHitTesting(enabled); }
    bool isSelected(const std::string& window) const override;
    void setSelected(const std::string& window, bool selected) override;
    std::string getWindowText(const std::string& window) const override;
    float getValue(const std::string& window) const override;
    void setValue(const std::string& window, float value) override;
    bool isValueTracking(const std::string& window) const override;
    void setVisible(const std::string& window, bool visible) override;
    void setPanelsShown(bool shown) override;
    bool arePanelsShown() const override { return panelsShown; }

    // IDialogs
    void showMessage(const std::string& title, const std::string& text) override;
    void showPicture(const std::string& imageFile, const std::string& caption) override;
    void ask(const std::string& title, const std::string& text, int buttons,
             std::function<void(int result)> done) override;
    void askOpenFile(const std::string& title, const std::string& filters,
                     std::function<void(const std::string* path)> done) override;
    void askSaveFile(const std::string& title, const std::string& filters, const std::string& proposedName,
                     std::function<void(const std::string* path)> done) override;

    // IStatusSink
    void post(const std::string& text, float seconds, int type) override;
    void setFunctionBar(const std::string& title) override;
    void setHelpText(const std::string& text) override;
    void beginBusy(const std::string& text) override;
    void endBusy() override;

    // IGuiFunctions
    bool hasFunction(const std::string& name) const override;
    void setFunctionArgument(const std::string& name, const std::string& argument) override;
    bool invokeFunction(const std::string& name) override;

    // OIS
    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;

private:
    /// Puts the user's language into the layout's windows that name a text by number.
    void translateLayoutTexts();
    enum class Owner { None, Gui, Navigation, Stylus };
    void syncToolButtons();
    /// Takes a menu entry out of its menu while hidden, puts it back when shown.
    void parkMenuEntry(CEGUI::ItemEntry& entry, bool park);

    AppContext& context;
    InterfaceManager gui;
    std::unique_ptr<StatusMessage> status;
    std::unique_ptr<DialogFactory_CEGUI> dialogs;
    std::unique_ptr<GuiManager> guiManager;
    FunctionManager* functions = nullptr;
    std::unique_ptr<PictureWindow> splash;
    float splashLeft = 0.f;
    std::unique_ptr<PictureWindow> picture;
    OIS::MouseListener* stylusMouse = nullptr;
    MouseNavigation* navigation = nullptr;
    OIS::KeyListener* functionKeys = nullptr;
    OIS::KeyListener* navigationKeys = nullptr;
    std::array<Owner, 8> pressOwner{};
    std::array<bool, 256> keysToGui{};
    std::string lastError;
    std::string lastActiveTool;
    std::string helpText;
    bool panelsShown = true;
    CEGUI::Window* entryParking = nullptr;
    std::map<CEGUI::ItemEntry*, CEGUI::ItemListBase*> parkedEntries;
};

} // namespace Kiln
