#include "functions/tools/ToolSupport.h"

#include "functions/FunctionManager.h"

#include <OgreMatrix4.h>

#include <cmath>
#include <iomanip>
#include <sstream>

namespace tools {

Ogre::Vector3 toRootFrame(const FunctionContext& context, const Ogre::Vector3& world) {
    return context.sceneRoot ? context.sceneRoot->getInverseWorldMatrix() * world : world;
}

Ogre::Vector3 stylusInRoot(const FunctionContext& context, const Kiln::HapticEvent& event) {
    return toRootFrame(context, event.getState().position);
}

Ogre::Vector3 stylusInView(const FunctionContext& context, const Kiln::HapticEvent& event) {
    const Ogre::Vector3& world = event.getState().position;
    return context.viewRoot ? context.viewRoot->getInverseWorldMatrix() * world : world;
}

bool mainButtonHeld(const Kiln::HapticEvent& event) {
    return (event.getState().buttons & 1u) != 0;
}

void setStylusColour(const FunctionContext& context, const Ogre::ColourValue& colour) {
    if (context.haptics)
        context.haptics->setStylusColour(colour);
}

Modifiers heldModifiers(const FunctionContext& context) {
    Modifiers held;
    const FunctionManager* manager = context.functions;
    if (!manager)
        return held;
    held.shift = manager->isKeyHeld(OIS::KC_LSHIFT) || manager->isKeyHeld(OIS::KC_RSHIFT);
    held.control = manager->isKeyHeld(OIS::KC_LCONTROL) || manager->isKeyHeld(OIS::KC_RCONTROL);
    held.alt = manager->isKeyHeld(OIS::KC_LMENU) || manager->isKeyHeld(OIS::KC_RMENU);
    return held;
}

bool isShiftKey(OIS::KeyCode key) { return key == OIS::KC_LSHIFT || key == OIS::KC_RSHIFT; }
bool isControlKey(OIS::KeyCode key) { return key == OIS::KC_LCONTROL || key == OIS::KC_RCONTROL; }
bool isAltKey(OIS::KeyCode key) { return key == OIS::KC_LMENU || key == OIS::KC_RMENU; }

bool isInScene(const FunctionContext& context, const Kiln::ObjectGroup* node) {
    if (!node || !context.sceneRoot || node == context.sceneRoot)
        return false;
    for (const Kiln::ObjectGroup* n = node; n->hasParent(); n = n->getParent())
        if (n->getParent() == context.sceneRoot)
            return true;
    return false;
}

std::vector<Kiln::ObjectHandle> liveSelection(const FunctionContext& context) {
    std::vector<Kiln::ObjectHandle> live;
    if (!context.selection || !context.sceneRoot)
        return live;
    // In scene order rather than the set's (handle) order, so that copies,
    // groups and histories come out the same way every run.
    const Kiln::SelectionManager::HandleSet& selected = context.selection->getSelected();
    for (const auto& child : context.sceneRoot->getChildren()) {
        Kiln::ObjectHandle handle = child->getHandle();
        if (selected.count(handle))
            live.push_back(std::move(handle));
    }
    return live;
}

void clearSelection(const FunctionContext& context) {
    if (context.selection)
        context.selection->clearSelection();
}

void select(const FunctionContext& context, const Kiln::ObjectHandle& handle) {
    if (context.selection && isInScene(context, handle.get()))
        context.selection->addObjectToSelected(handle);
}

void restoreSelection(const FunctionContext& context, const Kiln::SelectionManager::HandleSet& items) {
    if (!context.selection)
        return;
    Kiln::SelectionManager::HandleSet live;
    for (const Kiln::ObjectHandle& handle : items)
        if (isInScene(context, handle.get()))
            live.insert(handle);
    context.selection->setSelection(live);
}

Placement localPlacement(const Kiln::ObjectGroup& node) {
    return {node.getPosition(), node.getOrientation(), node.getScale()};
}

namespace {

/// `child` (given in `parent`'s frame) seen from the frame `parent` itself
/// is given in; the way the scene graph derives transforms.
Placement compose(const Placement& parent, const Placement& child) {
    Placement out;
    out.position = parent.orientation * (parent.scale * child.position) + parent.position;
    out.orientation = parent.orientation * child.orientation;
    out.scale = parent.scale * child.scale;
    return out;
}

/// `placement` seen from `frame` (both given in the same frame).
Placement relativeTo(const Placement& frame, const Placement& placement) {
    const Ogre::Quaternion inverse = frame.orientation.Inverse();
    Placement out;
    out.position = (inverse * (placement.position - frame.position)) / frame.scale;
    out.orientation = inverse * placement.orientation;
    out.scale = placement.scale / frame.scale;
    return out;
}

bool isAncestor(const Kiln::ObjectGroup* ancestor, const Kiln::ObjectGroup* node) {
    for (const Kiln::ObjectGroup* n = node; n; n = n->hasParent() ? n->getParent() : nullptr)
        if (n == ancestor)
            return true;
    return false;
}

/// The node's placement in `ancestor`'s frame, composed along the chain
/// (exact where the nodes between are unplaced).
Placement placementUpTo(const Kiln::ObjectGroup& node, const Kiln::ObjectGroup* ancestor) {
    Placement out = localPlacement(node);
    for (const Kiln::ObjectGroup* n = node.hasParent() ? node.getParent() : nullptr; n && n != ancestor;
         n = n->hasParent() ? n->getParent() : nullptr)
        out = compose(localPlacement(*n), out);
    return out;
}

} // namespace

Placement placementIn(const Kiln::ObjectGroup& node, const Kiln::ObjectGroup& frame) {
    // Through the nearest common ancestor rather than the world, so that
    // the scene root's own scale adds no rounding.
    const Kiln::ObjectGroup* common = &frame;
    while (common && !isAncestor(common, &node))
        common = common->hasParent() ? common->getParent() : nullptr;
    const Placement nodeThere = common == &node ? Placement() : placementUpTo(node, common);
    const Placement frameThere = common == &frame ? Placement() : placementUpTo(frame, common);
    Placement placement = relativeTo(frameThere, nodeThere);
    placement.orientation.normalise();
    return placement;
}

void applyPlacement(Kiln::ObjectGroup& node, const Placement& placement) {
    node.setTransform(placement.position, placement.orientation, placement.scale);
}

void reparentKeepingWorld(Kiln::ObjectGroup& node, Kiln::ObjectGroup& parent) {
    if (!node.hasParent() || node.getParent() == &parent)
        return;
    const Placement placement = placementIn(node, parent);
    parent.takeChild(&node);
    applyPlacement(node, placement);
}

void DetachedNodes::takeOut(const FunctionContext& context) {
    for (Entry& entry : entries) {
        Kiln::ObjectGroup* node = entry.handle.get();
        if (!node || entry.held || !node->hasParent())
            continue;
        if (context.selection && isInScene(context, node) && context.selection->isSelected(entry.handle))
            context.selection->removeObjectFromSelected(entry.handle);
        node->getParent()->removeChild(entry.held, node);
    }
}

void DetachedNodes::putBack(const FunctionContext& context, bool selectThem) {
    for (Entry& entry : entries) {
        if (!entry.held || !context.sceneRoot)
            continue;
        context.sceneRoot->addChild(entry.held);
        if (selectThem)
            select(context, entry.handle);
    }
}

std::vector<Kiln::ObjectHandle> DetachedNodes::handles() const {
    std::vector<Kiln::ObjectHandle> out;
    for (const Entry& entry : entries)
        out.push_back(entry.handle);
    return out;
}

namespace {
class FallbackGrid : public IGridUnit {
public:
    float getGridSpacing() const override { return 1.0f; }
    std::string getUnitText() const override { return "cm"; }
};
} // namespace

bool AxisKeys::take(OIS::KeyCode key, bool down, bool oneHot) {
    bool* held = key == OIS::KC_X ? &x : key == OIS::KC_Y ? &y : key == OIS::KC_Z ? &z : nullptr;
    if (!held)
        return false;
    if (down && oneHot)
        clear();
    *held = down;
    return true;
}

Ogre::Vector3 AxisKeys::keep(const Ogre::Vector3& v) const {
    if (!any())
        return v;
    return Ogre::Vector3(x ? v.x : 0.f, y ? v.y : 0.f, z ? v.z : 0.f);
}

Ogre::Vector3 AxisKeys::firstAxis() const {
    return x ? Ogre::Vector3::UNIT_X : y ? Ogre::Vector3::UNIT_Y : z ? Ogre::Vector3::UNIT_Z : Ogre::Vector3::ZERO;
}

const IGridUnit& gridUnit(const FunctionContext& context) {
    static const FallbackGrid fallback;
    if (context.functions)
        if (const auto* grid = dynamic_cast<const IGridUnit*>(context.functions->findFunction("SwitchGridFunction")))
            return *grid;
    return fallback;
}

Ogre::ColourValue currentColour(const FunctionContext& context) {
    if (context.functions)
        if (const auto* source = dynamic_cast<const IColourSource*>(context.functions->findFunction("ColourFunction")))
            return source->getCurrentColour();
    return Ogre::ColourValue::White;
}

std::string formatLength(const IGridUnit& grid, float rootLength) {
    const float spacing = grid.getGridSpacing();
    const float units = (spacing > 0.f && std::isfinite(spacing)) ? rootLength / spacing : rootLength;
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << units << " " << grid.getUnitText();
    return text.str();
}

} // namespace tools
