#include "gui/InterfaceManager.h"

#include "gui/OgreCEGUIResourceProvider.h"
#include "log/DebugChannel.h"
#include "log/Exception.h"

#include <CEGUI/CEGUI.h>
#include <CEGUI/RendererModules/Ogre/ImageCodec.h>
#include <CEGUI/RendererModules/Ogre/Renderer.h>
#include <OgreFrameListener.h>
#include <OgreRenderSystem.h>
#include <OgreRoot.h>

#include <chrono>
#include <cmath>
#include <functional>

namespace Kiln {
namespace {

DebugChannel& guiLog() { return debugChannel("GUI"); }

/// The window first found by `matches` along a depth-first walk.
CEGUI::Window* findWindow(CEGUI::Window& window,
                          const std::function<bool(const CEGUI::Window&)>& matches) {
    if (matches(window))
        return &window;
    for (size_t i = 0; i < window.getChildCount(); ++i)
        if (CEGUI::Window* found = findWindow(*window.getChildAtIdx(i), matches))
            return found;
    return nullptr;
}

void visitWindows(CEGUI::Window& window, const std::function<void(CEGUI::Window&)>& visit) {
    visit(window);
    for (size_t i = 0; i < window.getChildCount(); ++i)
        visitWindows(*window.getChildAtIdx(i), visit);
}

CEGUI::MouseButton toolkitButton(int button) {
    switch (button) {
    case 0: return CEGUI::LeftButton;
    case 2: return CEGUI::MiddleButton;
    default: return CEGUI::RightButton;
    }
}

/// Visible, or an item of a closed menu whose menu can be opened: a click
/// on a menu entry opens its menu first.
bool isReachable(const CEGUI::Window& window) {
    for (const CEGUI::Window* w = &window; w; w = w->getParent()) {
        if (w->isVisible())
            continue;
        if (!dynamic_cast<const CEGUI::PopupMenu*>(w))
            return false;
    }
    return true;
}

} // namespace

CEGUI::String toGuiString(const std::string& text) {
    return CEGUI::String(reinterpret_cast<const CEGUI::utf8*>(text.c_str()));
}

std::string fromGuiString(const CEGUI::String& text) { return text.c_str(); }

/// CEGUI's Ogre renderer clips every GUI batch with the render system's
/// scissor test and leaves that state behind when it has drawn the frame.
/// Ogre's scene rendering does not re-apply it, so the next frame's 3D view
/// was clipped away and the window kept showing whatever the view held when
/// the GUI first drew. Switching the scissor test off once the frame is
/// finished hands the render system back in the state Ogre expects, for the
/// next frame and for any off-screen render made between frames.
class InterfaceManager::ScissorReset : public Ogre::FrameListener {
public:
    explicit ScissorReset(Ogre::Root& root) : root(root) { root.addFrameListener(this); }
    ~ScissorReset() override { root.removeFrameListener(this); }
    ScissorReset(const ScissorReset&) = delete;
    ScissorReset& operator=(const ScissorReset&) = delete;

    bool frameEnded(const Ogre::FrameEvent&) override {
        Ogre::RenderSystem* renderSystem = root.getRenderSystem();
        // Switching the test off resets the box to the active viewport, so
        // there must be one.
        if (renderSystem && renderSystem->_getViewport())
            renderSystem->setScissorTest(false);
        return true;
    }

private:
    Ogre::Root& root;
};

InterfaceManager::InterfaceManager() = default;

InterfaceManager::~InterfaceManager() {
    guiLog() << "Kiln::InterfaceManager::~InterfaceManager(void)" << Kiln::endl;
    destroy();
}

void InterfaceManager::destroy() {
    scissorReset.reset();
    context = nullptr;
    panels.clear();
    if (CEGUI::System::getSingletonPtr())
        CEGUI::System::destroy();
    if (auto* ogre = dynamic_cast<CEGUI::OgreRenderer*>(ownRenderer)) {
        if (ownCodec)
            CEGUI::OgreRenderer::destroyOgreImageCodec(*static_cast<CEGUI::OgreImageCodec*>(ownCodec));
        CEGUI::OgreRenderer::destroy(*ogre);
    }
    ownRenderer = nullptr;
    ownCodec = nullptr;
    provider.reset();
}

void InterfaceManager::initialize(Ogre::RenderTarget& target, const std::string& configFile,
                                  const std::string& layoutFile, const std::string& resourceGroup,
                                  const std::string& logFile) {
    CEGUI::OgreRenderer* renderer = nullptr;
    try {
        renderer = &CEGUI::OgreRenderer::create(target);
    } catch (const CEGUI::Exception& e) {
        guiLog() << e.what() << Kiln::endl;
    }
    if (!renderer)
        throw Exception(2, "Failed to create CEGUI::Renderer.", "Kiln::InterfaceManager::initialize");
    ownRenderer = renderer;
    if (Ogre::Root* root = Ogre::Root::getSingletonPtr())
        scissorReset = std::make_unique<ScissorReset>(*root);
    ownCodec = &CEGUI::OgreRenderer::createOgreImageCodec();
    initializeWith(*renderer, std::make_unique<OgreCEGUIResourceProvider>(resourceGroup), ownCodec,
                   configFile, layoutFile, logFile);
}

void InterfaceManager::initializeWith(CEGUI::Renderer& renderer,
                                      std::unique_ptr<CEGUI::ResourceProvider> resourceProvider,
                                      CEGUI::ImageCodec* codec, const std::string& configFile,
                                      const std::string& layoutFile, const std::string& logFile) {
    provider = std::move(resourceProvider);
    CEGUI::System* system = nullptr;
    std::string failure;
    try {
        system = &CEGUI::System::create(renderer, provider.get(), nullptr, codec, nullptr,
                                        configFile, logFile);
        if (!layoutFile.empty())
            system->getDefaultGUIContext().setRootWindow(
                CEGUI::WindowManager::getSingleton().loadLayoutFromFile(layoutFile));
    } catch (const CEGUI::Exception& e) {
        failure = e.what();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!system) {
        guiLog() << failure << Kiln::endl;
        destroy();
        throw Exception(2, "Failed to create CEGUI::System." + (failure.empty() ? "" : " " + failure),
                        "Kiln::InterfaceManager::initialize");
    }
    context = &system->getDefaultGUIContext();
    if (!context->getRootWindow()) {
        // No layout in the configuration: an empty sheet, so that dialogs
        // still have a parent.
        CEGUI::Window* root = CEGUI::WindowManager::getSingleton().createWindow("DefaultWindow", "Root");
        root->setArea(CEGUI::URect(CEGUI::UDim(0.f, 0.f), CEGUI::UDim(0.f, 0.f), CEGUI::UDim(1.f, 0.f),
                                   CEGUI::UDim(1.f, 0.f)));
        context->setRootWindow(root);
    }
    context->getRootWindow()->setMousePassThroughEnabled(true);
    // The toolkit turns the second press of a quick pair into a double click
    // instead of a press, so a button or check box clicked twice quickly
    // would act once. Presses stay presses; clicks are told apart here.
    context->setMouseClickEventGenerationEnabled(false);
}

CEGUI::Window* InterfaceManager::getRootWindow() const {
    return context ? context->getRootWindow() : nullptr;
}

std::string InterfaceManager::windowName(const CEGUI::Window& window) {
    if (window.isUserStringDefined("Id"))
        return window.getUserString("Id").c_str();
    return window.getNamePath().c_str();
}

CEGUI::Window* InterfaceManager::getWindow(const std::string& name) const {
    CEGUI::Window* root = getRootWindow();
    if (!root || name.empty())
        return nullptr;
    const CEGUI::String wanted(name);
    if (CEGUI::Window* byId = findWindow(*root, [&](const CEGUI::Window& w) {
            return w.isUserStringDefined("Id") && w.getUserString("Id") == wanted;
        }))
        return byId;
    if (CEGUI::Window* byPath =
            findWindow(*root, [&](const CEGUI::Window& w) { return w.getNamePath() == wanted; }))
        return byPath;
    return findWindow(*root, [&](const CEGUI::Window& w) { return w.getName() == wanted; });
}

void InterfaceManager::setWindowVisible(const std::string& name, bool visible) {
    if (CEGUI::Window* window = getWindow(name))
        window->setVisible(visible);
}

bool InterfaceManager::subscribeEvent(const std::string& window, const CEGUI::String& event,
                                      std::function<bool(const CEGUI::EventArgs&)> handler) {
    CEGUI::Window* found = getWindow(window);
    if (!found)
        return false;
    found->subscribeEvent(event, CEGUI::Event::Subscriber(std::move(handler)));
    return true;
}

void InterfaceManager::addPanel(const std::string& name) {
    if (CEGUI::Window* window = getWindow(name))
        panels.push_back(window);
}

void InterfaceManager::forEachWindow(const std::function<void(CEGUI::Window&)>& visit) const {
    if (CEGUI::Window* root = getRootWindow())
        visitWindows(*root, visit);
}

void InterfaceManager::resized(unsigned width, unsigned height) {
    if (!context)
        return;
    const CEGUI::Sizef size{float(width), float(height)};
    if (CEGUI::System::getSingleton().getRenderer()->getDisplaySize() != size)
        CEGUI::System::getSingleton().notifyDisplaySizeChanged(size);
}

bool InterfaceManager::isOverGui(float x, float y) const {
    if (!context || !hitTesting)
        return false;
    CEGUI::Window* root = getRootWindow();
    const CEGUI::Vector2f point(x, y);
    // Transparent containers let the mouse through, so only real widgets
    // (panels, buttons, dialogs) count.
    CEGUI::Window* target = root->getTargetChildAtPosition(point);
    return target && target != root;
}

void InterfaceManager::setCursorVisible(bool visible) {
    if (context)
        context->getMouseCursor().setVisible(visible);
}

bool InterfaceManager::isCursorVisible() const {
    return context && context->getMouseCursor().isVisible();
}

bool InterfaceManager::injectMousePosition(float x, float y) {
    return context && context->injectMousePosition(x, y);
}

bool InterfaceManager::injectMouseMove(float dx, float dy) {
    return context && context->injectMouseMove(dx, dy);
}

bool InterfaceManager::injectMouseButton(int button, bool down) {
    if (!context)
        return false;
    if (button >= 0 && button < 3)
        down ? pressed(button) : released(button);
    const bool used = down ? context->injectMouseButtonDown(toolkitButton(button))
                           : context->injectMouseButtonUp(toolkitButton(button));
    if (!down && button >= 0 && button < 3 && clickTracks[button].clicks > 0 &&
        clickTracks[button].pressedWindow == nullptr) {
        const CEGUI::MouseButton which = toolkitButton(button);
        context->injectMouseButtonClick(which);
        if (clickTracks[button].clicks == 2)
            context->injectMouseButtonDoubleClick(which);
        else if (clickTracks[button].clicks == 3)
            context->injectMouseButtonTripleClick(which);
    }
    return used;
}

void InterfaceManager::pressed(int button) {
    ClickTrack& track = clickTracks[button];
    track.pressedWindow = context->getWindowContainingMouse();
    const CEGUI::Vector2f at = context->getMouseCursor().getPosition();
    track.pressX = at.d_x;
    track.pressY = at.d_y;
}

void InterfaceManager::released(int button) {
    // A release counts as a click when it comes over the pressed window,
    // no further away than the toolkit's double-click tolerance.
    ClickTrack& track = clickTracks[button];
    CEGUI::Window* pressed = track.pressedWindow;
    track.pressedWindow = nullptr;
    const CEGUI::Vector2f at = context->getMouseCursor().getPosition();
    const CEGUI::Sizef tolerance = context->getMouseButtonMultiClickTolerance();
    const bool click = pressed && pressed == context->getWindowContainingMouse() &&
                       std::fabs(at.d_x - track.pressX) <= tolerance.d_width / 2 &&
                       std::fabs(at.d_y - track.pressY) <= tolerance.d_height / 2;
    if (!click) {
        track.clicks = 0;
        return;
    }
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const bool quick = pressed == track.clickedWindow &&
                       now - track.clickTime <= context->getMouseButtonMultiClickTimeout();
    track.clicks = quick && track.clicks < 3 ? track.clicks + 1 : 1;
    track.clickedWindow = pressed;
    track.clickTime = now;
}

bool InterfaceManager::injectMouseWheel(float notches) {
    return context && context->injectMouseWheelChange(notches);
}

bool InterfaceManager::injectKey(unsigned scanCode, bool down) {
    if (!context)
        return false;
    const auto key = static_cast<CEGUI::Key::Scan>(scanCode);
    return down ? context->injectKeyDown(key) : context->injectKeyUp(key);
}

bool InterfaceManager::injectChar(unsigned codePoint) {
    return context && codePoint != 0 && context->injectChar(codePoint);
}

bool InterfaceManager::isEditboxFocused() const {
    CEGUI::Window* root = getRootWindow();
    if (!root)
        return false;
    CEGUI::Window* active = root->getActiveChild();
    return active && active->isEffectiveVisible() && dynamic_cast<CEGUI::Editbox*>(active) &&
           !active->isEffectiveDisabled();
}

bool InterfaceManager::focusEditbox(const std::string& name) {
    auto* editbox = dynamic_cast<CEGUI::Editbox*>(getWindow(name));
    if (!editbox || !editbox->isEffectiveVisible() || editbox->isEffectiveDisabled())
        return false;
    editbox->activate();
    editbox->setCaretIndex(editbox->getText().length());
    return true;
}

void InterfaceManager::advanceTime(float seconds) {
    if (context) {
        CEGUI::System::getSingleton().injectTimePulse(seconds);
        context->injectTimePulse(seconds);
    }
}

std::string InterfaceManager::click(const std::string& name) {
    CEGUI::Window* window = getWindow(name);
    if (!window)
        return "no window '" + name + "'";
    if (!isReachable(*window))
        return "window '" + name + "' is hidden";
    if (window->isEffectiveDisabled())
        return "window '" + name + "' is disabled";
    if (auto* radio = dynamic_cast<CEGUI::RadioButton*>(window)) {
        if (radio->isSelected()) {
            // Clicking the selected tool again still runs it.
            CEGUI::WindowEventArgs args(radio);
            radio->fireEvent(CEGUI::ToggleButton::EventSelectStateChanged, args,
                             CEGUI::ToggleButton::EventNamespace);
        } else {
            radio->setSelected(true);
        }
        return "";
    }
    if (auto* toggle = dynamic_cast<CEGUI::ToggleButton*>(window)) {
        toggle->setSelected(!toggle->isSelected());
        return "";
    }
    if (auto* item = dynamic_cast<CEGUI::MenuItem*>(window)) {
        // A menu's own entry opens or closes its menu.
        if (item->getPopupMenu()) {
            if (item->isOpened())
                item->closePopupMenu();
            else
                item->openPopupMenu();
            return "";
        }
        CEGUI::WindowEventArgs args(item);
        item->fireEvent(CEGUI::MenuItem::EventClicked, args, CEGUI::MenuItem::EventNamespace);
        return "";
    }
    if (dynamic_cast<CEGUI::PushButton*>(window)) {
        // What a real click sends, in order, so that bindings on the press,
        // the release or the click all fire.
        CEGUI::MouseEventArgs args(window);
        args.button = CEGUI::LeftButton;
        args.clickCount = 1;
        window->fireEvent(CEGUI::Window::EventMouseButtonDown, args, CEGUI::Window::EventNamespace);
        args.handled = 0;
        window->fireEvent(CEGUI::Window::EventMouseButtonUp, args, CEGUI::Window::EventNamespace);
        CEGUI::WindowEventArgs clickArgs(window);
        window->fireEvent(CEGUI::PushButton::EventClicked, clickArgs, CEGUI::PushButton::EventNamespace);
        return "";
    }
    return "window '" + name + "' cannot be clicked";
}

} // namespace Kiln
