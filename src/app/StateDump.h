#pragma once
// The program's state as one JSON object: what session scripts write with
// `dump` and what the process tests read. Positions, sizes and volumes are
// in the scene root's coordinates (those of a saved scene and of
// `morvel-cli info`); the camera is in world coordinates.
#include "app/FrameTimes.h"

#include <OgreColourValue.h>
#include <OgreVector3.h>

#include <cstdint>

#include <optional>
#include <string>

namespace Kiln {

class HapticManager;
class ObjectGroup;
class SelectionManager;

/// Everything the dump reads, gathered by the application. Pointers may be
/// null where the part does not exist (no haptics, no selection).
struct StateView {
    std::uint64_t frame = 0;
    const ObjectGroup* sceneRoot = nullptr;
    const SelectionManager* selection = nullptr;
    HapticManager* haptics = nullptr;
    std::string deviceName;            ///< "simulated", "script", "falcon", ...
    std::optional<std::string> tool;   ///< active tool's name
    std::size_t undo = 0;
    std::size_t redo = 0;
    bool modified = false;
    std::optional<Ogre::ColourValue> currentColour; ///< the colour box's colour, when there is one
    Ogre::Vector3 cameraPosition = Ogre::Vector3::ZERO;
    Ogre::Vector3 cameraDirection = Ogre::Vector3::NEGATIVE_UNIT_Z;
    std::string alert;    ///< the timed message on screen now
    std::string status;   ///< the status bar
    std::string function; ///< the function bar (active tool's title)
    const FrameTimes* frameTimes = nullptr; ///< recent main-thread frame times
};

/// Builds the dump; the one place later features extend it.
std::string buildStateDump(const StateView& view);

} // namespace Kiln
