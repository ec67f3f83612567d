#pragma once
// The one owner of the keyboard and mouse, opened through OIS on the render
// window. Each frame `capture` reads the devices; their buffered events go to
// the listeners registered by name (in name order). The desktop keeps
// working: nothing is grabbed and the pointer is never hidden.
//
// Key state is tracked from the events themselves, so keys injected by a
// session script count as held exactly like keys typed on the keyboard.
#include "input/NamedListeners.h"

#include <OIS.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace Kiln {

/// Which devices to read (bits of the application's input flags).
enum InputDevices : std::uint16_t {
    INPUT_DEVICE_KEYBOARD = 1,
    INPUT_DEVICE_MOUSE = 2,
    INPUT_DEVICE_JOYSTICKS = 4
};

/// Answers whether a key is held; what tools ask about modifiers.
class IKeyState {
public:
    virtual ~IKeyState() = default;
    virtual bool isKeyDown(OIS::KeyCode key) const = 0;
};

class InputManager : public IKeyState,
                     public OIS::KeyListener,
                     public OIS::MouseListener {
public:
    InputManager();
    ~InputManager() override;
    InputManager(const InputManager&) = delete;
    InputManager& operator=(const InputManager&) = delete;

    /// Opens the devices `flags` names on the X11 window `windowHandle`
    /// (the engine's "WINDOW" attribute). `width`/`height`: the window's
    /// size in pixels, the mouse's area. Throws what OIS throws.
    void initialise(unsigned long windowHandle, unsigned width, unsigned height,
                    std::uint16_t flags);
    /// Reads the opened devices; their events reach the listeners whose
    /// kind `flags` enables. Main thread, once per frame.
    void capture(std::uint16_t flags);
    void setMouseArea(unsigned width, unsigned height);
    bool hasKeyboard() const { return keyboard != nullptr; }
    bool hasMouse() const { return mouse != nullptr; }

    /// The first listener under a name stays.
    bool addKeyListener(OIS::KeyListener* listener, const std::string& name);
    void removeKeyListener(const std::string& name);
    bool addMouseListener(OIS::MouseListener* listener, const std::string& name);
    void removeMouseListener(const std::string& name);

    bool isKeyDown(OIS::KeyCode key) const override;
    bool isShiftDown() const;
    bool isControlDown() const;
    bool isAltDown() const;
    /// Shift held with neither control nor alt.
    bool isOnlyShiftDown() const;

    /// Key events as if typed (session scripts, tests); forwarded like
    /// captured ones whatever the flags say.
    void injectKeyPressed(OIS::KeyCode key, unsigned text = 0);
    void injectKeyReleased(OIS::KeyCode key, unsigned text = 0);

    // OIS callbacks: each forwards to the listeners and answers true.
    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;

private:
    void setFlags(std::uint16_t flags);
    void destroyDevices();

    OIS::InputManager* system = nullptr;
    OIS::Keyboard* keyboard = nullptr;
    OIS::Mouse* mouse = nullptr;
    bool keyboardEnabled = true;
    bool mouseEnabled = false;
    std::array<bool, 256> keysDown{};
    NamedListeners<OIS::KeyListener> keyListeners;
    NamedListeners<OIS::MouseListener> mouseListeners;
};

/// OIS key code of a key name: a letter (either case), a digit, Escape,
/// Tab, Delete, Return, Space, PageUp, PageDown, Plus, Minus, F1-F12,
/// Shift, Ctrl, Alt. KC_UNASSIGNED when unknown.
OIS::KeyCode keyCodeFromName(const std::string& name);

} // namespace Kiln
