#pragma once
// Reads the GUI settings file ("Config/GuiSettingsV2.xml"), which ties GUI
// windows and their events to the program's functions and names the special
// windows: the status, function and alert bars, the root window, the panels
// and the quick-help function. Main thread only.
//
// Settings elements (only attributes are read; nesting carries no meaning):
//   Window     Name, Event, InvokeFunction, FunctionArgument
//   StatusBar / FunctionBar / AlertBar / RootWindow / Panel     Name
//   QuickHelp  FunctionName, FunctionArgument
// Events: "MouseClick" (a button's click, a radio button's selection, a
// check box's toggle, a menu item's click), "ValueChanged" (a slider's or
// spinner's value, passed after the argument), "Argument" (nothing is
// subscribed: the function is told the window's name at once), or any
// toolkit event name of the window. Windows that do not exist are skipped.
#include "gui/XmlReader.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {

class InterfaceManager;
class StatusMessage;

/// What the GUI needs of the function framework.
class IGuiFunctions {
public:
    virtual ~IGuiFunctions() = default;
    virtual bool hasFunction(const std::string& name) const = 0;
    /// May throw; the GUI manager reports the failure.
    virtual void setFunctionArgument(const std::string& name, const std::string& argument) = 0;
    /// Reports its own failures; false for a failure or an unknown name.
    virtual bool invokeFunction(const std::string& name) = 0;
};

struct WindowBinding {
    std::string window;
    std::string event;
    std::string function;
    std::string argument;
    bool hasArgument = false;
};

class GuiManager {
public:
    /// Shows a function failure to the user ("Error" box).
    using ErrorReporter = std::function<void(const std::string& text)>;

    GuiManager(InterfaceManager& gui, StatusMessage* status, IGuiFunctions& functions,
               ErrorReporter reportError);
    ~GuiManager();
    GuiManager(const GuiManager&) = delete;
    GuiManager& operator=(const GuiManager&) = delete;

    /// Reads the settings file; Kiln::Exception "Failed to load XML file: "
    /// when it does not parse.
    void loadSettings(const std::string& file);
    /// The same from text (tests).
    void loadSettingsText(const std::string& text);
    /// Binds the quick-help argument once the functions exist (they are
    /// made after the settings are read).
    void resolveQuickHelp();
    /// Tells each function again, in file order, the windows its "Argument"
    /// bindings name: a function made after the settings were read kept only
    /// the last of several windows.
    void reapplyArguments();

    const std::vector<WindowBinding>& getBindings() const { return bindings; }
    const std::string& getRootWindowName() const { return rootWindow; }
    const std::string& getQuickHelpFunction() const { return quickHelpFunction; }
    /// The window an "Argument" binding gave `function`, or "".
    std::string argumentWindowOf(const std::string& function) const;

    /// Runs the binding as its event would (tests, scripts).
    void run(const WindowBinding& binding, const std::string& value = "");

private:
    class SettingsListener;
    void bind(const WindowBinding& binding);
    void setArgument(const std::string& function, const std::string& argument);

    InterfaceManager& gui;
    StatusMessage* status;
    IGuiFunctions& functions;
    ErrorReporter reportError;
    std::vector<WindowBinding> bindings;
    std::string rootWindow;
    std::string quickHelpFunction;
    std::string quickHelpArgument;
    bool quickHelpHasArgument = false;
};

} // namespace Kiln
