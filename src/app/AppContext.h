#pragma once
// The bundle of managers every part of the program reaches through one
// non-owning pointer, plus the program-wide interaction state: the flags,
// the interaction mode and the stack of open interaction states.
#include "io/FormatRegistry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {
class ColourBoxView;
class GraphicsManager;
class HapticManager;
class InputManager;
class IStylusView;
class ObjectGroup;
class Scene;
class SelectionManager;
class ToolMarksView;
class ToolPlaneView;
} // namespace Kiln

class FunctionManager;

/// Bits of AppContext::flags.
enum AppFlags : std::uint8_t {
    APP_FLAG_MODIFIED = 1,        ///< the scene has unsaved changes
    APP_FLAG_SAVED = 2,           ///< the scene was saved (or never changed)
    APP_FLAG_END_REQUESTED = 4    ///< end the program after the current frame
};

/// Bits of the interaction mode.
enum InteractionMode : std::uint32_t {
    MODE_GUI_CURSOR = 1,   ///< the GUI mouse cursor is shown
    MODE_STYLUS = 2,       ///< the stylus is shown
    MODE_HAPTIC_MOUSE = 4  ///< the device drives the GUI pointer
};

/// One open interaction state (a GUI state opened by a function or dialog).
struct InteractionState {
    std::uint32_t modalDepth = 0;
};

class AppContext {
public:
    AppContext();
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    /// Owned; destroyed after every other manager.
    std::unique_ptr<Kiln::GraphicsManager> graphicsManager;
    /// The scene roots and the scene that presents them; they go before
    /// the graphics manager, whose engine draws them.
    std::unique_ptr<Kiln::Scene> scene;
    /// Holds the user's objects, at scale 0.2.
    std::unique_ptr<Kiln::ObjectGroup> sceneRoot;
    /// Carries the camera and the lights; the scene's active root.
    std::unique_ptr<Kiln::ObjectGroup> viewRoot;
    /// The file formats by extension ("cr8" first among the exporters).
    Kiln::ImportRegistry importFormats;
    Kiln::ExportRegistry exportFormats;
    /// Image materials named by scene files, shared by the formats above.
    std::unique_ptr<Kiln::ITextureMaterials> textureMaterials;
    /// Keyboard and mouse; made once the window exists.
    std::unique_ptr<Kiln::InputManager> inputManager;
    /// The device, the proxy renderer and the stylus; the scene's "haptics"
    /// presenter. Its stylus is drawn through stylusView.
    std::unique_ptr<Kiln::HapticManager> hapticManager;
    std::unique_ptr<Kiln::IStylusView> stylusView;
    /// The colour chooser of the colour tools, drawn while it is shown.
    std::unique_ptr<Kiln::ColourBoxView> colourBoxView;
    /// The plane the slice and mirror tools place, drawn while placed.
    std::unique_ptr<Kiln::ToolPlaneView> toolPlaneView;
    /// The lines and captions of the active tool (rotation, scale, measure).
    std::unique_ptr<Kiln::ToolMarksView> toolMarksView;
    std::unique_ptr<Kiln::SelectionManager> selectionManager;
    /// Every tool and command, and the undo history.
    std::unique_ptr<FunctionManager> functionManager;

    std::uint8_t flags = APP_FLAG_SAVED;
    std::string currentFileName;
    /// When set, emptying the state stack clears it instead of ending the program.
    bool keepRunning = false;

    std::uint32_t getInteractionMode() const { return interactionMode; }
    std::uint32_t getModalDepth() const { return modalDepth; }
    std::size_t getStateDepth() const { return stateStack.size(); }
    bool isEndRequested() const { return (flags & APP_FLAG_END_REQUESTED) != 0; }

    /// Shows the mode: GUI cursor, stylus and haptic mouse. Set once those
    /// exist; not called while a modal state is open.
    std::function<void(std::uint32_t mode)> applyInteractionMode;

    /// Remembers the mode; while a modal state is open it only remembers it.
    /// The GUI cursor bit wins over the stylus and haptic-mouse bits.
    void setInteractionMode(std::uint32_t mode);
    /// Opens a modal state on the top record.
    void beginModal();
    /// Closes one modal level; at depth 0 the remembered mode applies again.
    void endModal();
    void pushState();
    /// Ends the program after this frame, unless keepRunning was set (then
    /// keepRunning is cleared and the program goes on once more).
    void endUnlessKeptRunning();
    /// Removes the top state. Emptying the stack ends the program after this
    /// frame, unless keepRunning was set (then keepRunning is cleared).
    void popState();

private:
    std::uint32_t interactionMode = 0;
    std::uint32_t modalDepth = 0;
    std::vector<InteractionState> stateStack;
};
