#include "gui/GuiManager.h"

#include "gui/InterfaceManager.h"
#include "gui/StatusMessage.h"
#include "log/DebugChannel.h"

#include <CEGUI/CEGUI.h>

#include <sstream>

namespace Kiln {

/// Turns the reader's notifications into bindings and special windows.
class GuiManager::SettingsListener : public XmlReaderListener {
public:
    explicit SettingsListener(GuiManager& owner) : owner(owner) {}

    void onElementStart(const std::string& element) override {
        if (element == "Window") {
            record = WindowBinding();
            recordOpen = true;
        }
    }

    void onAttribute(const std::string& element, const std::string& name,
                     const std::string& value) override {
        if (recordOpen && element == "Window") {
            if (name == "Name")
                record.window = value;
            else if (name == "Event")
                record.event = value;
            else if (name == "InvokeFunction")
                record.function = value;
            else if (name == "FunctionArgument") {
                record.argument = value;
                record.hasArgument = true;
            }
            return;
        }
        if (name == "Name") {
            if (element == "StatusBar" && owner.status)
                owner.status->setStatusBarWindow(value);
            else if (element == "FunctionBar" && owner.status)
                owner.status->setFunctionBarWindow(value);
            else if (element == "AlertBar" && owner.status)
                owner.status->setAlertBarWindow(value);
            else if (element == "RootWindow")
                owner.rootWindow = value;
            else if (element == "Panel")
                owner.gui.addPanel(value);
        } else if (element == "QuickHelp") {
            if (name == "FunctionName")
                owner.quickHelpFunction = value;
            else if (name == "FunctionArgument") {
                owner.quickHelpArgument = value;
                owner.quickHelpHasArgument = true;
            }
        }
    }

    void onElementEnd(const std::string& element) override {
        if (element != "Window" || !recordOpen)
            return;
        recordOpen = false;
        if (record.window.empty() || record.event.empty())
            return;
        owner.bind(record);
    }

private:
    GuiManager& owner;
    WindowBinding record;
    bool recordOpen = false;
};

GuiManager::GuiManager(InterfaceManager& gui, StatusMessage* status, IGuiFunctions& functions,
                       ErrorReporter reportError)
    : gui(gui), status(status), functions(functions), reportError(std::move(reportError)) {}

GuiManager::~GuiManager() = default;

void GuiManager::loadSettings(const std::string& file) {
    SettingsListener listener(*this);
    XmlReader::parseXml(file, listener);
}

void GuiManager::loadSettingsText(const std::string& text) {
    SettingsListener listener(*this);
    XmlReader::parseXmlText(text, "GUI settings", listener);
}

void GuiManager::resolveQuickHelp() {
    if (quickHelpFunction.empty() || !functions.hasFunction(quickHelpFunction) || !quickHelpHasArgument)
        return;
    setArgument(quickHelpFunction, quickHelpArgument);
}

void GuiManager::reapplyArguments() {
    for (const WindowBinding& binding : bindings)
        if (binding.event == "Argument" && functions.hasFunction(binding.function))
            setArgument(binding.function, binding.window);
}

std::string GuiManager::argumentWindowOf(const std::string& function) const {
    for (const WindowBinding& binding : bindings)
        if (binding.event == "Argument" && binding.function == function)
            return binding.window;
    return "";
}

void GuiManager::setArgument(const std::string& function, const std::string& argument) {
    try {
        functions.setFunctionArgument(function, argument);
    } catch (const std::exception& error) {
        if (reportError)
            reportError(std::string("An error occurred while trying to execute a function:\n") +
                        error.what());
    }
}

void GuiManager::run(const WindowBinding& binding, const std::string& value) {
    if (binding.function.empty())
        return;
    if (binding.event == "ValueChanged")
        setArgument(binding.function, binding.argument + " " + value);
    else if (binding.hasArgument)
        setArgument(binding.function, binding.argument);
    functions.invokeFunction(binding.function);
}

namespace {

std::string numberText(float value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

void GuiManager::bind(const WindowBinding& binding) {
    CEGUI::Window* window = gui.getWindow(binding.window);
    if (!window) {
        debugChannel("GUI") << "No window '" << binding.window << "' for " << binding.function
                            << Kiln::endl;
        return;
    }
    bindings.push_back(binding);
    const WindowBinding copy = binding;
    if (binding.event == "Argument") {
        setArgument(binding.function, binding.window);
        return;
    }
    if (binding.event == "MouseClick") {
        if (auto* radio = dynamic_cast<CEGUI::RadioButton*>(window)) {
            radio->subscribeEvent(CEGUI::ToggleButton::EventSelectStateChanged,
                                  [this, copy, radio](const CEGUI::EventArgs&) {
                                      if (radio->isSelected())
                                          run(copy);
                                      return true;
                                  });
        } else if (dynamic_cast<CEGUI::ToggleButton*>(window)) {
            window->subscribeEvent(CEGUI::ToggleButton::EventSelectStateChanged,
                                   [this, copy](const CEGUI::EventArgs&) {
                                       run(copy);
                                       return true;
                                   });
        } else if (dynamic_cast<CEGUI::MenuItem*>(window)) {
            window->subscribeEvent(CEGUI::MenuItem::EventClicked, [this, copy](const CEGUI::EventArgs&) {
                run(copy);
                return true;
            });
        } else {
            window->subscribeEvent(CEGUI::PushButton::EventClicked, [this, copy](const CEGUI::EventArgs&) {
                run(copy);
                return true;
            });
        }
        return;
    }
    if (binding.event == "ValueChanged") {
        if (auto* slider = dynamic_cast<CEGUI::Slider*>(window)) {
            slider->subscribeEvent(CEGUI::Slider::EventValueChanged,
                                   [this, copy, slider](const CEGUI::EventArgs&) {
                                       run(copy, numberText(slider->getCurrentValue()));
                                       return true;
                                   });
        } else if (auto* spinner = dynamic_cast<CEGUI::Spinner*>(window)) {
            spinner->subscribeEvent(CEGUI::Spinner::EventValueChanged,
                                    [this, copy, spinner](const CEGUI::EventArgs&) {
                                        run(copy, numberText(float(spinner->getCurrentValue())));
                                        return true;
                                    });
        } else if (auto* bar = dynamic_cast<CEGUI::Scrollbar*>(window)) {
            bar->subscribeEvent(CEGUI::Scrollbar::EventScrollPositionChanged,
                                [this, copy, bar](const CEGUI::EventArgs&) {
                                    run(copy, numberText(bar->getScrollPosition()));
                                    return true;
                                });
        }
        return;
    }
    window->subscribeEvent(binding.event, [this, copy](const CEGUI::EventArgs&) {
        run(copy);
        return true;
    });
}

} // namespace Kiln
