#include "gui/HapticMouseControl.h"

#include "gui/InterfaceManager.h"

#include <algorithm>

namespace Kiln {

HapticMouseControl::HapticMouseControl(InterfaceManager& gui, Hooks hooks)
    : gui(gui), hooks(std::move(hooks)) {}

void HapticMouseControl::setHapticsToRestore(bool on) {
    hapticsToRestore = on;
    if (!inGuiMode && hooks.setHapticsEnabled)
        hooks.setHapticsEnabled(on);
}

bool HapticMouseControl::hapticMoved(const HapticEvent& event) {
    update(event.getState());
    return true;
}

void HapticMouseControl::update(const HapticState& state) {
    float x = 0.f, y = 0.f;
    if (!hooks.project || !hooks.project(state, x, y))
        return;
    const bool overGui = gui.isModal() || (enabled && gui.isOverGui(x, y));
    if (!inGuiMode) {
        if (overGui)
            enterGui(x, y);
        return;
    }
    if (overGui) {
        if (x == lastX && y == lastY)
            return;
        gui.injectMouseMove(x - lastX, y - lastY);
        lastX = x;
        lastY = y;
        return;
    }
    leaveGui();
}

void HapticMouseControl::enterGui(float x, float y) {
    lastX = x;
    lastY = y;
    gui.injectMousePosition(x, y);
    gui.setCursorVisible(true);
    if (hooks.setHapticsEnabled)
        hooks.setHapticsEnabled(false);
    if (hooks.setStylusVisible)
        hooks.setStylusVisible(false);
    inGuiMode = true;
}

void HapticMouseControl::leaveGui() {
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (!held[i])
            continue;
        gui.injectMouseButton(guiButtonOf(int(i)), false);
        held[i] = false;
    }
    if (hooks.setHapticsEnabled)
        hooks.setHapticsEnabled(hapticsToRestore);
    if (hooks.setStylusVisible)
        hooks.setStylusVisible(true);
    if (!gui.isModal())
        gui.setCursorVisible(false);
    inGuiMode = false;
}

bool HapticMouseControl::hapticButtonPressed(const HapticEvent& event, const ButtonMask& wentDown) {
    if (!inGuiMode) {
        pressedOutside |= wentDown;
        return true;
    }
    const int count = std::min(event.getState().numButtons, int(held.size()));
    for (int i = 0; i < count; ++i) {
        if (!(wentDown & (1u << i)))
            continue;
        gui.injectMouseButton(guiButtonOf(i), true);
        held[std::size_t(i)] = true;
    }
    return false;
}

bool HapticMouseControl::hapticButtonReleased(const HapticEvent& event, const ButtonMask& wentUp) {
    const ButtonMask outside = wentUp & pressedOutside;
    pressedOutside &= ~wentUp;
    if (!inGuiMode)
        return true;
    const int count = std::min(event.getState().numButtons, int(held.size()));
    for (int i = 0; i < count; ++i) {
        if (!(wentUp & (1u << i)) || !held[std::size_t(i)])
            continue;
        gui.injectMouseButton(guiButtonOf(i), false);
        held[std::size_t(i)] = false;
    }
    // A press that began over the 3D view ends there.
    return outside != 0;
}

} // namespace Kiln
