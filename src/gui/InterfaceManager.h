#pragma once
// Owns the GUI toolkit (CEGUI) drawn over the render window: the renderer,
// the resource provider, the toolkit system and its configuration, and
// offers window look-up, visibility, event subscription and input
// injection by window name. Main thread only.
//
// Window names: a window is found by its "Id" user string (the name other
// parts of the program use, like "Root/WireframeModeCheckbox"), by its full
// toolkit path ("Root/RootCanvas/..."), or by its own name, in that order of
// preference along a depth-first walk from the root.
#include <CEGUI/String.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CEGUI {
class EventArgs;
class GUIContext;
class ImageCodec;
class Renderer;
class ResourceProvider;
class Window;
} // namespace CEGUI

namespace Ogre {
class RenderTarget;
}

namespace Kiln {

/// UTF-8 text to the toolkit's string and back.
CEGUI::String toGuiString(const std::string& text);
std::string fromGuiString(const CEGUI::String& text);

class InterfaceManager {
public:
    InterfaceManager();
    /// Writes "Kiln::InterfaceManager::~InterfaceManager(void)" to the log and
    /// destroys the toolkit system and the renderer it made.
    ~InterfaceManager();
    InterfaceManager(const InterfaceManager&) = delete;
    InterfaceManager& operator=(const InterfaceManager&) = delete;

    /// The GUI over `target`, its files from the engine resource group
    /// `resourceGroup`; `configFile` ("cegui.config") names the schemes and
    /// fonts, `layoutFile` the main window layout (may be empty). Throws Kiln::Exception "Failed to create
    /// CEGUI::Renderer." or "Failed to create CEGUI::System.".
    void initialize(Ogre::RenderTarget& target, const std::string& configFile,
                    const std::string& layoutFile, const std::string& resourceGroup,
                    const std::string& logFile);
    /// The same over a renderer made by the caller (tests use the toolkit's
    /// null renderer). Takes ownership of `provider`.
    void initializeWith(CEGUI::Renderer& renderer, std::unique_ptr<CEGUI::ResourceProvider> provider,
                        CEGUI::ImageCodec* codec, const std::string& configFile,
                        const std::string& layoutFile, const std::string& logFile);
    bool isInitialized() const { return context != nullptr; }

    CEGUI::GUIContext& getContext() const { return *context; }
    CEGUI::Window* getRootWindow() const;
    /// Null when no window of that name exists.
    CEGUI::Window* getWindow(const std::string& name) const;
    void setWindowVisible(const std::string& name, bool visible);
    /// False when the window does not exist.
    bool subscribeEvent(const std::string& window, const CEGUI::String& event,
                        std::function<bool(const CEGUI::EventArgs&)> handler);
    /// Adds an existing window to the panel list.
    void addPanel(const std::string& name);
    const std::vector<CEGUI::Window*>& getPanels() const { return panels; }
    /// Depth-first over every window under the root, the root first.
    void forEachWindow(const std::function<void(CEGUI::Window&)>& visit) const;
    /// The name the rest of the program knows `window` by.
    static std::string windowName(const CEGUI::Window& window);

    /// Tells the toolkit the window's new size; call when it may have changed.
    void resized(unsigned width, unsigned height);

    /// Whether the pixel lies over a visible GUI window that takes the
    /// mouse (false while hit-testing is off, and over the 3D view).
    bool isOverGui(float x, float y) const;
    void setHitTesting(bool on) { hitTesting = on; }
    bool isHitTesting() const { return hitTesting; }
    void setModal(bool on) { modal = on; }
    bool isModal() const { return modal; }
    void setCursorVisible(bool visible);
    bool isCursorVisible() const;

    // Input for the toolkit. Each answers whether the GUI used the event.
    bool injectMousePosition(float x, float y);
    bool injectMouseMove(float dx, float dy);
    /// button: 0 left, 1 right, 2 middle. Every press reaches the window
    /// under the pointer as a press, however quickly it follows the last;
    /// a release over the window that was pressed is also a click, and the
    /// second and third of quick clicks in one place also a double and a
    /// triple click.
    bool injectMouseButton(int button, bool down);
    bool injectMouseWheel(float notches);
    bool injectKey(unsigned scanCode, bool down);
    bool injectChar(unsigned codePoint);
    /// Whether an edit box has the keyboard focus.
    bool isEditboxFocused() const;
    /// Gives the edit box `name` the keyboard focus; false when it is not one.
    bool focusEditbox(const std::string& name);
    /// Advances the toolkit's clock (tooltips, caret, fades).
    void advanceTime(float seconds);

    /// Fires what a click on the window fires (a push button's click, a
    /// radio button's selection, a check box's toggle, a menu item's
    /// click). Returns an empty string, or why the click was refused (no
    /// such window, hidden, disabled, not clickable).
    std::string click(const std::string& name);

private:
    class ScissorReset;
    /// What the last press and clicks of one button were, to tell clicks
    /// and double clicks apart.
    struct ClickTrack {
        CEGUI::Window* pressedWindow = nullptr;
        float pressX = 0.f, pressY = 0.f;
        CEGUI::Window* clickedWindow = nullptr;
        double clickTime = -1e9; ///< seconds on the steady clock
        int clicks = 0;          ///< quick clicks in a row on clickedWindow
    };

    void destroy();
    void pressed(int button);
    void released(int button);

    CEGUI::Renderer* ownRenderer = nullptr;
    std::unique_ptr<ScissorReset> scissorReset;
    std::unique_ptr<CEGUI::ResourceProvider> provider;
    CEGUI::ImageCodec* ownCodec = nullptr;
    CEGUI::GUIContext* context = nullptr;
    std::vector<CEGUI::Window*> panels;
    bool hitTesting = true;
    bool modal = false;
    ClickTrack clickTracks[3];
};

} // namespace Kiln
