#include "input/InputManager.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace Kiln {
namespace {

bool keyIn(const std::array<bool, 256>& keys, OIS::KeyCode key) {
    const auto index = static_cast<std::size_t>(key);
    return index < keys.size() && keys[index];
}

void setKey(std::array<bool, 256>& keys, OIS::KeyCode key, bool down) {
    const auto index = static_cast<std::size_t>(key);
    if (index < keys.size())
        keys[index] = down;
}

} // namespace

InputManager::InputManager() = default;

InputManager::~InputManager() { destroyDevices(); }

void InputManager::destroyDevices() {
    if (!system)
        return;
    if (keyboard)
        system->destroyInputObject(keyboard);
    if (mouse)
        system->destroyInputObject(mouse);
    keyboard = nullptr;
    mouse = nullptr;
    OIS::InputManager::destroyInputSystem(system);
    system = nullptr;
}

void InputManager::initialise(unsigned long windowHandle, unsigned width, unsigned height,
                              std::uint16_t flags) {
    destroyDevices();
    OIS::ParamList parameters;
    parameters.insert({"WINDOW", std::to_string(windowHandle)});
    // Leave the desktop usable: no keyboard or pointer grab, and the system
    // pointer stays visible over the window.
    parameters.insert({"x11_keyboard_grab", "false"});
    parameters.insert({"x11_mouse_grab", "false"});
    parameters.insert({"x11_mouse_hide", "false"});
    system = OIS::InputManager::createInputSystem(parameters);
    if ((flags & INPUT_DEVICE_KEYBOARD) && system->getNumberOfDevices(OIS::OISKeyboard) > 0) {
        keyboard = static_cast<OIS::Keyboard*>(system->createInputObject(OIS::OISKeyboard, true));
        keyboard->setEventCallback(this);
    }
    if ((flags & INPUT_DEVICE_MOUSE) && system->getNumberOfDevices(OIS::OISMouse) > 0) {
        mouse = static_cast<OIS::Mouse*>(system->createInputObject(OIS::OISMouse, true));
        mouse->setEventCallback(this);
        setMouseArea(width, height);
    }
    setFlags(flags);
}

void InputManager::setFlags(std::uint16_t flags) {
    keyboardEnabled = (flags & INPUT_DEVICE_KEYBOARD) != 0;
    mouseEnabled = (flags & INPUT_DEVICE_MOUSE) != 0;
}

void InputManager::capture(std::uint16_t flags) {
    setFlags(flags);
    if (keyboard)
        keyboard->capture();
    if (mouse)
        mouse->capture();
}

void InputManager::setMouseArea(unsigned width, unsigned height) {
    if (!mouse)
        return;
    const OIS::MouseState& state = mouse->getMouseState();
    state.width = static_cast<int>(width);
    state.height = static_cast<int>(height);
}

bool InputManager::addKeyListener(OIS::KeyListener* listener, const std::string& name) {
    return keyListeners.add(name, listener);
}

void InputManager::removeKeyListener(const std::string& name) { keyListeners.remove(name); }

bool InputManager::addMouseListener(OIS::MouseListener* listener, const std::string& name) {
    return mouseListeners.add(name, listener);
}

void InputManager::removeMouseListener(const std::string& name) { mouseListeners.remove(name); }

bool InputManager::isKeyDown(OIS::KeyCode key) const { return keyIn(keysDown, key); }

bool InputManager::isShiftDown() const {
    return isKeyDown(OIS::KC_LSHIFT) || isKeyDown(OIS::KC_RSHIFT);
}

bool InputManager::isControlDown() const {
    return isKeyDown(OIS::KC_LCONTROL) || isKeyDown(OIS::KC_RCONTROL);
}

bool InputManager::isAltDown() const { return isKeyDown(OIS::KC_LMENU) || isKeyDown(OIS::KC_RMENU); }

bool InputManager::isOnlyShiftDown() const {
    return isShiftDown() && !isControlDown() && !isAltDown();
}

void InputManager::injectKeyPressed(OIS::KeyCode key, unsigned text) {
    setKey(keysDown, key, true);
    const OIS::KeyEvent event(keyboard, key, text);
    keyListeners.forEach([&](OIS::KeyListener& l) { l.keyPressed(event); });
}

void InputManager::injectKeyReleased(OIS::KeyCode key, unsigned text) {
    setKey(keysDown, key, false);
    const OIS::KeyEvent event(keyboard, key, text);
    keyListeners.forEach([&](OIS::KeyListener& l) { l.keyReleased(event); });
}

bool InputManager::keyPressed(const OIS::KeyEvent& event) {
    setKey(keysDown, event.key, true);
    if (keyboardEnabled)
        keyListeners.forEach([&](OIS::KeyListener& l) { l.keyPressed(event); });
    return true;
}

bool InputManager::keyReleased(const OIS::KeyEvent& event) {
    setKey(keysDown, event.key, false);
    if (keyboardEnabled)
        keyListeners.forEach([&](OIS::KeyListener& l) { l.keyReleased(event); });
    return true;
}

bool InputManager::mouseMoved(const OIS::MouseEvent& event) {
    if (mouseEnabled)
        mouseListeners.forEach([&](OIS::MouseListener& l) { l.mouseMoved(event); });
    return true;
}

bool InputManager::mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    if (mouseEnabled)
        mouseListeners.forEach([&](OIS::MouseListener& l) { l.mousePressed(event, id); });
    return true;
}

bool InputManager::mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    if (mouseEnabled)
        mouseListeners.forEach([&](OIS::MouseListener& l) { l.mouseReleased(event, id); });
    return true;
}

OIS::KeyCode keyCodeFromName(const std::string& name) {
    static const std::map<std::string, OIS::KeyCode> named = {
        {"escape", OIS::KC_ESCAPE},   {"tab", OIS::KC_TAB},       {"delete", OIS::KC_DELETE},
        {"return", OIS::KC_RETURN},   {"space", OIS::KC_SPACE},   {"pageup", OIS::KC_PGUP},
        {"pagedown", OIS::KC_PGDOWN}, {"plus", OIS::KC_ADD},      {"minus", OIS::KC_SUBTRACT},
        {"shift", OIS::KC_LSHIFT},    {"ctrl", OIS::KC_LCONTROL}, {"alt", OIS::KC_LMENU},
        {"f1", OIS::KC_F1},           {"f2", OIS::KC_F2},         {"f3", OIS::KC_F3},
        {"f4", OIS::KC_F4},           {"f5", OIS::KC_F5},         {"f6", OIS::KC_F6},
        {"f7", OIS::KC_F7},           {"f8", OIS::KC_F8},         {"f9", OIS::KC_F9},
        {"f10", OIS::KC_F10},         {"f11", OIS::KC_F11},       {"f12", OIS::KC_F12},
        {"a", OIS::KC_A}, {"b", OIS::KC_B}, {"c", OIS::KC_C}, {"d", OIS::KC_D}, {"e", OIS::KC_E},
        {"f", OIS::KC_F}, {"g", OIS::KC_G}, {"h", OIS::KC_H}, {"i", OIS::KC_I}, {"j", OIS::KC_J},
        {"k", OIS::KC_K}, {"l", OIS::KC_L}, {"m", OIS::KC_M}, {"n", OIS::KC_N}, {"o", OIS::KC_O},
        {"p", OIS::KC_P}, {"q", OIS::KC_Q}, {"r", OIS::KC_R}, {"s", OIS::KC_S}, {"t", OIS::KC_T},
        {"u", OIS::KC_U}, {"v", OIS::KC_V}, {"w", OIS::KC_W}, {"x", OIS::KC_X}, {"y", OIS::KC_Y},
        {"z", OIS::KC_Z}, {"0", OIS::KC_0}, {"1", OIS::KC_1}, {"2", OIS::KC_2}, {"3", OIS::KC_3},
        {"4", OIS::KC_4}, {"5", OIS::KC_5}, {"6", OIS::KC_6}, {"7", OIS::KC_7}, {"8", OIS::KC_8},
        {"9", OIS::KC_9}};
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = named.find(lower);
    return found == named.end() ? OIS::KC_UNASSIGNED : found->second;
}

} // namespace Kiln
