#pragma once
// The program's state as one JSON object: what session scripts write with
// `dump` and what the process tests read. Positions, sizes and volumes are
// in the scene root's coordinates (those of a saved scene and of
// `morvel-cli info`); the camera is in world coordinates.
#include "app/FrameTimes.h"

#include <OgreColourValue.h>
#include <OgreVector3.h>

#include <cstdint>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace Kiln {

class HapticManager;
class ObjectGroup;
class SelectionManager;

/// One named GUI window.
struct WindowView {
    std::string name;
    bool visible = false;
    bool enabled = false;
    std::optional<bool> selected; ///< check boxes, radio and tool buttons
    std::string text;
    float rect[4] = {0.f, 0.f, 0.f, 0.f}; ///< window pixels: x0, y0, x1, y1
    std::optional<float> value;            ///< sliders
    std::optional<std::array<float, 4>> thumb; ///< a slider's thumb, pixels like rect
};

struct BindingView {
    std::string window;
    std::string event;
    std::string function;
    std::string argument;
};

/// The open dialog: a message box or a file dialog.
struct DialogView {
    std::string kind; ///< "message" or "file"
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
    std::string mode;   ///< "open" or "save"
    std::string folder;
};

/// A line (two points) or a caption (one point and a text) the active tool
/// shows in the scene; world frame.
struct MarkView {
    std::string node;
    std::vector<Ogre::Vector3> points;
    std::string text;
};

/// Everything the dump reads, gathered by the application. Pointers may be
/// null where the part does not exist (no haptics, no selection).
struct StateView {
    std::uint64_t frame = 0;
    const ObjectGroup* sceneRoot = nullptr;
    const SelectionManager* selection = nullptr;
    HapticManager* haptics = nullptr;
    std::string deviceName;            ///< "simulated", "script", "falcon", ...
    std::optional<bool> deviceHomed;   ///< for a device that must be homed
    std::optional<std::string> tool;   ///< active tool's name
    std::size_t undo = 0;
    std::size_t redo = 0;
    bool modified = false;
    std::optional<Ogre::ColourValue> currentColour; ///< the colour box's colour, when there is one
    std::vector<MarkView> marks;                    ///< what the active tool draws in the scene
    Ogre::Vector3 cameraPosition = Ogre::Vector3::ZERO;
    Ogre::Vector3 cameraDirection = Ogre::Vector3::NEGATIVE_UNIT_Z;
    std::string alert;    ///< the timed message on screen now
    std::string status;   ///< the status bar
    std::string function; ///< the function bar (active tool's title)
    const FrameTimes* frameTimes = nullptr; ///< recent main-thread frame times
    /// The GUI's part; left out of the dump when the program runs without it.
    bool hasGui = false;
    std::vector<WindowView> windows;
    std::vector<BindingView> bindings;
    std::optional<DialogView> dialog;
    std::string language;
};

/// Builds the dump; the one place later features extend it.
std::string buildStateDump(const StateView& view);

} // namespace Kiln
