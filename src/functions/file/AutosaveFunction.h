#pragma once
#include "functions/FunctionBase.h"

#include <optional>
#include <string>

/// Saves the scene to "Autosave.cr8" in the autosave folder every `period`
/// minutes (1 to 1439; other values switch it off) while enabled. The
/// current file and the unsaved-changes state are left alone. The check box
/// "Root/AutosaveCheckbox" and the edit box "Root/AutosaveIntervalEditbox"
/// change the settings "Autosave.Enable" and "Autosave.Period". Also a
/// command, so that a save can be asked for at once.
class AutosaveFunction : public FunctionBase {
public:
    explicit AutosaveFunction(FunctionContext& context);
    void init() override;
    bool update(const Ogre::FrameEvent& event) override;
    /// Saves now (when enabled and something visible is in the scene).
    void execute() override;

    bool isEnabled() const { return enabled; }
    int getPeriod() const { return period; }

    /// A whole decimal number, blanks around it allowed; nothing otherwise.
    static std::optional<int> parseInterval(const std::string& text);

private:
    void readGui();

    bool enabled = true;
    int period = 5;
    double elapsed = 0.0;  ///< seconds since construction
    double lastSave = 0.0; ///< seconds
};
