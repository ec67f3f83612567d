#pragma once
// Helpers the modelling tools share: frames, modifiers, the selection as
// live handles, placements that survive a change of parent, nodes held
// outside the scene by history entries, and the grid.
#include "functions/FunctionContext.h"
#include "haptics/HapticEvent.h"
#include "scene/ObjectGroup.h"
#include "scene/SelectionManager.h"

#include <OISKeyboard.h>
#include <OgreColourValue.h>
#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <memory>
#include <string>
#include <vector>

class FunctionBase;

namespace tools {

/// A world point in the scene root's frame (the frame of the user's
/// objects); unchanged without a root.
Ogre::Vector3 toRootFrame(const FunctionContext& context, const Ogre::Vector3& world);
/// The device point of the event, in the scene root's frame.
Ogre::Vector3 stylusInRoot(const FunctionContext& context, const Kiln::HapticEvent& event);
/// The device point of the event, in the view root's frame (world frame
/// without a view root).
Ogre::Vector3 stylusInView(const FunctionContext& context, const Kiln::HapticEvent& event);
/// Whether the centre button (ID 0) is held in this event.
bool mainButtonHeld(const Kiln::HapticEvent& event);

void setStylusColour(const FunctionContext& context, const Ogre::ColourValue& colour);

/// Modifier keys as the function manager saw them.
struct Modifiers {
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool shiftAlone() const { return shift && !control && !alt; }
    bool controlAlone() const { return control && !shift && !alt; }
    bool none() const { return !shift && !control && !alt; }
};
Modifiers heldModifiers(const FunctionContext& context);
bool isShiftKey(OIS::KeyCode key);
bool isControlKey(OIS::KeyCode key);
bool isAltKey(OIS::KeyCode key);

/// The X, Y and Z keys as the transform tools read them: held keys limit a
/// change to their axes, in the scene root's frame.
struct AxisKeys {
    bool x = false;
    bool y = false;
    bool z = false;
    /// Takes an X, Y or Z key going down or up; false for any other key.
    /// `oneHot`: a key going down clears the other two (one fixed axis).
    bool take(OIS::KeyCode key, bool down, bool oneHot = false);
    bool any() const { return x || y || z; }
    void clear() { x = y = z = false; }
    /// `v` with the components of the axes not held set to 0; `v` itself
    /// when none is held.
    Ogre::Vector3 keep(const Ogre::Vector3& v) const;
    /// The first held axis (x, then y, then z) as a unit vector; zero when
    /// none is held.
    Ogre::Vector3 firstAxis() const;
    bool operator==(const AxisKeys& other) const { return x == other.x && y == other.y && z == other.z; }
    bool operator!=(const AxisKeys& other) const { return !(*this == other); }
};

/// Whether `node` hangs below the scene root (so it may be selected).
bool isInScene(const FunctionContext& context, const Kiln::ObjectGroup* node);
/// The selected top-level items that are alive and in the scene, in the
/// scene root's child order.
std::vector<Kiln::ObjectHandle> liveSelection(const FunctionContext& context);
/// A new transform state (`State(owner)`, then `add(node)` per item) over
/// every live selected item; null when nothing is selected.
template <typename State, typename Owner>
std::unique_ptr<State> stateOverSelection(const FunctionContext& context, Owner* owner) {
    const std::vector<Kiln::ObjectHandle> selected = liveSelection(context);
    if (selected.empty())
        return nullptr;
    auto state = std::make_unique<State>(owner);
    for (const Kiln::ObjectHandle& handle : selected)
        state->add(*handle.get());
    return state;
}
/// Replaces the selection, skipping items that died or left the scene.
void restoreSelection(const FunctionContext& context, const Kiln::SelectionManager::HandleSet& items);
void clearSelection(const FunctionContext& context);
/// Selects the node when it is alive, in the scene and visible.
void select(const FunctionContext& context, const Kiln::ObjectHandle& handle);

/// Position, orientation and scale of a node in some parent's frame.
struct Placement {
    Ogre::Vector3 position = Ogre::Vector3::ZERO;
    Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
    Ogre::Vector3 scale = Ogre::Vector3::UNIT_SCALE;
};
Placement localPlacement(const Kiln::ObjectGroup& node);
/// Where `node` stands as seen from `frame` (any node, usually a parent to
/// be), composed as the scene graph derives transforms: a non-uniform scale
/// under a rotation (a shear) is not kept.
Placement placementIn(const Kiln::ObjectGroup& node, const Kiln::ObjectGroup& frame);
void applyPlacement(Kiln::ObjectGroup& node, const Placement& placement);
/// Moves `node` from its parent to `parent` so that it stays where it is
/// in the world; a node without parent is left alone.
void reparentKeepingWorld(Kiln::ObjectGroup& node, Kiln::ObjectGroup& parent);

/// Nodes that a history entry has taken out of the scene. While a node is
/// out its entry owns it; while it is in, the scene does and the entry
/// keeps only the handle. Dead handles are skipped both ways.
class DetachedNodes {
public:
    void add(const Kiln::ObjectHandle& handle) { entries.push_back({handle, nullptr}); }
    /// Takes every listed node that is in a parent out into this holder
    /// (deselecting it first).
    void takeOut(const FunctionContext& context);
    /// Puts every held node back under the scene root and, if asked,
    /// selects it.
    void putBack(const FunctionContext& context, bool selectThem);
    std::vector<Kiln::ObjectHandle> handles() const;
    bool empty() const { return entries.empty(); }

private:
    struct Entry {
        Kiln::ObjectHandle handle;
        std::unique_ptr<Kiln::ObjectGroup> held;
    };
    std::vector<Entry> entries;
};

/// The grid as the tools' ruler (the grid function implements it).
using IGridUnit = ::IGridUnit;
/// The colour new objects get; the colour function implements it.
using IColourSource = ::IColourSource;
/// The colour of the function "ColourFunction", or white.
Ogre::ColourValue currentColour(const FunctionContext& context);

/// The grid of the function "SwitchGridFunction", or the fallback.
const IGridUnit& gridUnit(const FunctionContext& context);
/// "12.35 cm": a length in scene-root units in grid units.
std::string formatLength(const IGridUnit& grid, float rootLength);

} // namespace tools
