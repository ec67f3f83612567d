// A view command tied to one check box and one setting: the floor, the
// shadows. It is told its window by the GUI settings ("Argument"), takes its
// state from the user's settings, and stores every change back, so that the
// next start looks the same. The window is read once a frame, so a click, a
// script and a key all go the same way.
#pragma once

#include "config/ConfigurationFile.h"
#include "functions/FunctionBase.h"
#include "log/Exception.h"

#include <string>

namespace view {

/// A command tied to one check box and one setting.
class CheckboxFunction : public FunctionBase {
public:
    CheckboxFunction(FunctionContext& context, const char* name, const char* category, const FunctionText& title,
                     const FunctionText& help, std::string settingKey, bool defaultValue,
                     std::string missingWindowText)
        : FunctionBase(context, name, FUNCTION_COMMAND | FUNCTION_UPDATE, category, title, help),
          settingKey(std::move(settingKey)), defaultValue(defaultValue),
          missingWindowText(std::move(missingWindowText)) {}

    void onArgumentSet() override {
        const std::string window = arguments.empty() ? "" : arguments.front();
        if (!context.gui || !context.gui->hasWindow(window))
            throw Kiln::Exception(3, missingWindowText, name + "::onArgumentSet()");
        checkbox = window;
        on = Kiln::ConfigurationFile::getBool(settingKey, defaultValue);
        context.gui->setSelected(checkbox, on);
        apply(on);
    }
    /// Flips the check box (the next frame applies it).
    void execute() override {
        if (context.gui && !checkbox.empty())
            context.gui->setSelected(checkbox, !context.gui->isSelected(checkbox));
        else
            change(!on);
    }
    bool update(const Ogre::FrameEvent& event) override {
        (void)event;
        if (context.gui && !checkbox.empty() && context.gui->isSelected(checkbox) != on)
            change(!on);
        return true;
    }

protected:
    virtual void apply(bool state) = 0;

private:
    void change(bool state) {
        on = state;
        Kiln::ConfigurationFile::setString(settingKey, state ? "True" : "False");
        apply(state);
    }

    std::string settingKey;
    bool defaultValue;
    std::string missingWindowText;
    std::string checkbox;
    bool on = false;
};

} // namespace view
