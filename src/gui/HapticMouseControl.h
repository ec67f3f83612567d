#pragma once
// Works the GUI with the haptic grip: while the stylus, projected onto the
// screen, lies over a GUI window, the stylus is hidden, haptic rendering is
// off, the stylus drives the GUI pointer and grip buttons click (index 0
// left, 2 middle, any other right). Leaving the GUI puts everything back.
//
// Two rules keep the grip and the tools in step:
// - a button pressed over the 3D view is released there too: its release
//   is passed on to the tools even if the stylus has since moved over a
//   panel, so a drag that crosses a panel still ends;
// - while a dialog is open the whole window is the dialog's, so the grip
//   drives the pointer everywhere and a dialog can always be answered.
// Main thread only (haptic events are delivered there).
#include "haptics/HapticEvent.h"

#include <array>
#include <functional>

namespace Kiln {

class InterfaceManager;

class HapticMouseControl : public IHapticListener {
public:
    struct Hooks {
        /// The stylus base in window pixels; false when it cannot be seen.
        std::function<bool(const HapticState& state, float& x, float& y)> project;
        /// Haptic rendering on or off.
        std::function<void(bool on)> setHapticsEnabled;
        std::function<void(bool visible)> setStylusVisible;
    };

    HapticMouseControl(InterfaceManager& gui, Hooks hooks);

    /// Off: the grip never takes the pointer (except under a dialog).
    void setEnabled(bool on) { enabled = on; }
    bool isEnabled() const { return enabled; }
    /// Whether haptic rendering is wanted once the stylus leaves the GUI;
    /// applied at once while the stylus is over the 3D view.
    void setHapticsToRestore(bool on);
    bool isInGuiMode() const { return inGuiMode; }

    /// Follows the stylus; also once per frame, since a stylus that comes
    /// to rest sends no more moves.
    void update(const HapticState& state);

    bool hapticMoved(const HapticEvent& event) override;
    bool hapticButtonPressed(const HapticEvent& event, const ButtonMask& wentDown) override;
    bool hapticButtonReleased(const HapticEvent& event, const ButtonMask& wentUp) override;

    /// GUI mouse button of grip button index i: 0 left, 2 middle, else right
    /// (InterfaceManager numbering: 0 left, 1 right, 2 middle).
    static int guiButtonOf(int index) { return index == 0 ? 0 : index == 2 ? 2 : 1; }

private:
    void enterGui(float x, float y);
    void leaveGui();

    InterfaceManager& gui;
    Hooks hooks;
    bool enabled = true;
    bool inGuiMode = false;
    bool hapticsToRestore = true;
    float lastX = 0.f;
    float lastY = 0.f;
    std::array<bool, 8> held{};
    /// Buttons pressed while the stylus was over the 3D view.
    ButtonMask pressedOutside = 0;
};

} // namespace Kiln
