#include "functions/tools/ScaleObjectFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"
#include "hapticdevice/IHapticsDevice.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>

#include <cmath>

MORVEL_REGISTER_FUNCTION(ScaleObjectFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(1.0f, 1.0f, 0.6f, 1.0f);
constexpr int MESSAGE_WARNING = 2;
/// Scale factor per view unit of stylus travel, as an exponent.
constexpr float SCALE_RATE = 0.1f;
} // namespace

Ogre::Vector3 ScaleObjectFunction::HapticBox::forceAt(const Ogre::Vector3& devicePoint) {
    const Ogre::Vector3 p = devicePoint + Ogre::Vector3(0.f, 0.f, depthOffset);
    const Ogre::Vector3 inside(std::clamp(p.x, -halfSize, halfSize), std::clamp(p.y, -halfSize, halfSize),
                               std::clamp(p.z, -halfSize, halfSize));
    const Ogre::Vector3 wall = inside - p;
    const std::lock_guard<std::mutex> lock(mutex);
    if (wall == Ogre::Vector3::ZERO) {
        armed = true;
        return wall;
    }
    if (!armed)
        return Ogre::Vector3::ZERO;
    shift += wall * shiftRate;
    return wall;
}

Ogre::Vector3& ScaleObjectFunction::HapticBox::computeForce(Ogre::Vector3& force, Kiln::IHapticsDevice& device) {
    force = forceAt(device.getDevicePosition());
    return force;
}

Ogre::Vector3 ScaleObjectFunction::HapticBox::takeShift() {
    const std::lock_guard<std::mutex> lock(mutex);
    const Ogre::Vector3 taken = shift;
    shift = Ogre::Vector3::ZERO;
    return taken;
}

void ScaleObjectFunction::HapticBox::reset() {
    const std::lock_guard<std::mutex> lock(mutex);
    armed = false;
    shift = Ogre::Vector3::ZERO;
}

ScaleObjectFunction::ScaleObjectFunction(FunctionContext& context)
    : FunctionBase(context, "ScaleObject", FUNCTION_TOOL, "Utility", FunctionText::id(286),
                   FunctionText::id(288)) {}

ScaleObjectFunction::~ScaleObjectFunction() { removeForceBox(); }

void ScaleObjectFunction::activate() {
    locks.clear();
    nonUniform = false;
    tools::setStylusColour(context, STYLUS_COLOUR);
}

void ScaleObjectFunction::deactivate() {
    if (state) {
        // Back to the scale before the drag: no entry will record it.
        state->undo();
        finishScaling();
        endOperation();
    }
    locks.clear();
    nonUniform = false;
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

Ogre::Vector3 ScaleObjectFunction::getFactor() const {
    return state ? state->total() : Ogre::Vector3::UNIT_SCALE;
}

void ScaleObjectFunction::keyPressed(const OIS::KeyEvent& event) {
    const bool wasNonUniform = nonUniform;
    const tools::AxisKeys wereLocked = locks;
    const tools::Modifiers held = tools::heldModifiers(context);
    if (tools::isShiftKey(event.key) && held.shiftAlone())
        nonUniform = true;
    else if (tools::isControlKey(event.key) || tools::isAltKey(event.key))
        nonUniform = false;
    else if (held.none())
        locks.take(event.key, true);
    if (state && (wasNonUniform != nonUniform || wereLocked != locks))
        rebase();
}

void ScaleObjectFunction::keyReleased(const OIS::KeyEvent& event) {
    const bool wasNonUniform = nonUniform;
    const tools::AxisKeys wereLocked = locks;
    if (tools::isShiftKey(event.key))
        nonUniform = false;
    else
        locks.take(event.key, false);
    if (state && (wasNonUniform != nonUniform || wereLocked != locks))
        rebase();
}

IToolMarks::Marks ScaleObjectFunction::getToolMarks() const {
    Marks marks;
    if (!state)
        return marks;
    const Ogre::Quaternion rootTurn =
        context.sceneRoot ? context.sceneRoot->getWorldTransform().orientation : Ogre::Quaternion::IDENTITY;
    const bool all = nonUniform || !locks.any();
    const struct {
        bool shown;
        const char* node;
        Ogre::Vector3 axis;
        Ogre::ColourValue colour;
    } markers[] = {{all || locks.x, "ScaleAxisMarkerX", Ogre::Vector3::UNIT_X, Ogre::ColourValue(1.f, 0.25f, 0.25f)},
                   {all || locks.y, "ScaleAxisMarkerY", Ogre::Vector3::UNIT_Y, Ogre::ColourValue(0.3f, 1.f, 0.3f)},
                   {all || locks.z, "ScaleAxisMarkerZ", Ogre::Vector3::UNIT_Z, Ogre::ColourValue(0.35f, 0.55f, 1.f)}};
    for (const auto& marker : markers)
        if (marker.shown) {
            const Ogre::Vector3 half = rootTurn * marker.axis * markerHalfLength;
            marks.lines.push_back({marker.node, markerPoint - half, markerPoint + half, marker.colour});
        }
    if (!sizeText.empty())
        marks.captions.push_back({"ScaleSizeTextNode", sizePoint, sizeText});
    return marks;
}

void ScaleObjectFunction::setTarget(Kiln::ObjectGroup& node) {
    state = std::make_unique<ScaleObjectState>(this);
    state->add(node);
}

void ScaleObjectFunction::beginScaling(const Kiln::HapticEvent& event) {
    if (context.functions)
        context.functions->requestHaptics(this, false);
    nonUniform = tools::heldModifiers(context).shiftAlone();
    currentPoint = startPoint = tools::stylusInView(context, event);
    markerPoint = event.getState().position;
    removeForceBox();
    forceBox.reset();
    forceDevice = event.getDevice();
    if (forceDevice)
        forceDevice->addForceEffect(&forceBox);
    if (context.haptics)
        context.haptics->setStylusVisible(false);  // the hand is held in the box, not on a surface
}

void ScaleObjectFunction::removeForceBox() {
    // After the remove the device thread no longer calls the box.
    if (forceDevice)
        forceDevice->removeForceEffect(&forceBox);
    forceDevice = nullptr;
}

void ScaleObjectFunction::rebase() {
    if (!state)
        return;
    startPoint = currentPoint;
    state->base = state->base * state->scale;
    state->scale = Ogre::Vector3::UNIT_SCALE;
}

void ScaleObjectFunction::rebase(const Kiln::HapticEvent& event) {
    currentPoint = tools::stylusInView(context, event);
    rebase();
}

void ScaleObjectFunction::finishScaling() {
    removeForceBox();
    if (context.haptics)
        context.haptics->setStylusVisible(true);
    if (context.functions)
        context.functions->requestHaptics(this, true);
    hideSize();
    state.reset();
}

void ScaleObjectFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0))
        return;
    if (state)
        finishDrag();  // the release of the last drag never came
    state = tools::stateOverSelection<ScaleObjectState>(context, this);
    if (!state)
        return;
    beginScaling(event);
    beginOperation();
}

void ScaleObjectFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!state || !tools::mainButtonHeld(event))
        return;
    currentPoint = tools::stylusInView(context, event);
    markerPoint = event.getState().position;
    startPoint += forceBox.takeShift();
    scaleToCurrentPoint();
}

bool ScaleObjectFunction::update(const Ogre::FrameEvent&) {
    // A hand held still against a wall sends no moves: the frame applies
    // what the box gathered.
    if (!state)
        return true;
    const Ogre::Vector3 shift = forceBox.takeShift();
    if (shift != Ogre::Vector3::ZERO) {
        startPoint += shift;
        scaleToCurrentPoint();
    }
    return true;
}

void ScaleObjectFunction::scaleToCurrentPoint() {
    const Ogre::Vector3 d = (currentPoint - startPoint) * SCALE_RATE;
    if (nonUniform) {
        state->scale = Ogre::Vector3(std::exp(d.x), std::exp(d.y), std::exp(d.z));
    } else if (!locks.any()) {
        state->scale = Ogre::Vector3(std::exp(d.x));  // the sideways movement drives all three
    } else {
        const float factor = std::exp(d.x);
        if (locks.x)
            state->scale.x = factor;
        if (locks.y)
            state->scale.y = factor;
        if (locks.z)
            state->scale.z = factor;
    }
    applyScale();
    showSize();
}

void ScaleObjectFunction::applyScale() {
    const Ogre::Vector3 factor = state->total();
    for (const auto& entry : state->getEntries())
        if (Kiln::ObjectGroup* node = entry.handle.get())
            node->setScale(factor * entry.value);
}

void ScaleObjectFunction::showSize() {
    if (!state || state->getEntries().size() != 1)
        return hideSize();
    const Kiln::ObjectGroup* node = state->getEntries().front().handle.get();
    const Kiln::DynamicMesh* mesh = node ? node->getMesh() : nullptr;
    if (!mesh || !context.sceneRoot)
        return hideSize();
    const Ogre::AxisAlignedBox box =
        Kiln::bounds(*mesh, context.sceneRoot->getInverseWorldMatrix() * node->getWorldMatrix());
    if (box.isNull())
        return hideSize();
    const Ogre::Vector3 size = box.getSize();
    const tools::IGridUnit& grid = tools::gridUnit(context);
    sizeText = "The approx size of the object is : " + tools::formatLength(grid, size.x) + " x " +
               tools::formatLength(grid, size.y) + " x " + tools::formatLength(grid, size.z);
    // Just above the item's top, where the hand does not cover it.
    const Ogre::Vector3 top = box.getCenter() + Ogre::Vector3(0.f, size.y * 0.5f, 0.f);
    sizePoint = context.sceneRoot->getWorldMatrix() * top + Ogre::Vector3(0.f, 0.5f, 0.f);
}

void ScaleObjectFunction::hideSize() { sizeText.clear(); }

void ScaleObjectFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishDrag();
}

void ScaleObjectFunction::finishDrag() {
    // The whole factor counts: after a change of keys the part since is
    // (1, 1, 1) while the items are scaled all the same.
    if (state->total() == Ogre::Vector3::UNIT_SCALE) {
        endOperation();
        if (context.status)
            context.status->postDefault("Move the grip while the middle-button is pressed.", MESSAGE_WARNING);
    } else {
        std::unique_ptr<ScaleObjectState> finished = std::move(state);
        commitOperation(std::move(finished));
    }
    finishScaling();
}
