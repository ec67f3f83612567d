#include "functions/tools/RotateObjectFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"

#include <cmath>

MORVEL_REGISTER_FUNCTION(RotateObjectFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(1.0f, 0.8f, 0.0f, 1.0f);
const char* const WIREFRAME = "wireframeMaterial";
} // namespace

RotateObjectFunction::RotateObjectFunction(FunctionContext& context)
    : FunctionBase(context, "RotateObject", FUNCTION_TOOL, "Tools", FunctionText::id(261),
                   FunctionText::id(263)) {}

void RotateObjectFunction::activate() {
    fixedAxis.clear();
    tools::setStylusColour(context, STYLUS_COLOUR);
}

void RotateObjectFunction::deactivate() {
    if (state)
        finishDrag();
    fixedAxis.clear();
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

void RotateObjectFunction::keyPressed(const OIS::KeyEvent& event) { fixedAxis.take(event.key, true, true); }
void RotateObjectFunction::keyReleased(const OIS::KeyEvent& event) { fixedAxis.take(event.key, false); }

IToolMarks::Marks RotateObjectFunction::getToolMarks() const {
    Marks marks;
    if (state)
        marks.lines.push_back({"RotationRefLineNode", pivot, lastPoint, STYLUS_COLOUR});
    return marks;
}

void RotateObjectFunction::saveMaterials(Kiln::ObjectGroup& node) {
    // Pre-order, so that restoring in the same order lets a child's own
    // material override the value its group hands down.
    const auto material = node.getParameterValue<std::string>("material");
    savedMaterials.push_back({node.getHandle(), material ? *material : std::string("defaultMaterial")});
    for (const auto& child : node.getChildren())
        saveMaterials(*child);
}

void RotateObjectFunction::restoreMaterials() {
    for (const SavedMaterial& saved : savedMaterials)
        if (Kiln::ObjectGroup* node = saved.handle.get())
            node->setParameter("material", saved.material);
    savedMaterials.clear();
}

void RotateObjectFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0))
        return;
    if (state)
        finishDrag();  // the release of the last drag never came
    const std::vector<Kiln::ObjectHandle> selected = tools::liveSelection(context);
    if (selected.empty())
        return;
    beginOperation();
    if (context.functions)
        context.functions->requestHaptics(this, false);
    state = std::make_unique<RotateObjectState>(this);
    Ogre::Vector3 sum = Ogre::Vector3::ZERO;
    for (const Kiln::ObjectHandle& handle : selected) {
        Kiln::ObjectGroup& node = *handle.get();
        state->add(node);
        sum += node.getWorldTransform().position;
        saveMaterials(node);
        node.setParameter("material", WIREFRAME);
    }
    pivot = sum / float(selected.size());
    // The first step starts here, not where the previous drag ended.
    lastPoint = event.getState().position;
    rotated = false;
}

Ogre::Quaternion RotateObjectFunction::stepRotation(const Ogre::Vector3& pivot, const Ogre::Vector3& from,
                                                    const Ogre::Vector3& to, const Ogre::Vector3& lock) {
    Ogre::Vector3 a = from - pivot;
    Ogre::Vector3 d = to - from;
    Ogre::Vector3 axis;
    if (lock == Ogre::Vector3::ZERO) {
        axis = a.crossProduct(d);
        if (axis.isZeroLength())
            return Ogre::Quaternion::IDENTITY;
        axis.normalise();
    } else {
        axis = lock;
        a -= axis * axis.dotProduct(a);
        d -= axis * axis.dotProduct(d);
    }
    if (d.isZeroLength())
        return Ogre::Quaternion::IDENTITY;
    const double sum = double(a.squaredLength()) + double(d.squaredLength());
    const double dot = double(a.dotProduct(d));
    const double q = sum * sum - 4.0 * dot * dot;
    if (!(q > 0.0))
        return Ogre::Quaternion::IDENTITY;
    // Twice the area swept over the product of the diagonals: for small
    // steps the sine of the angle turned around the pivot.
    const double s = double(axis.dotProduct(a.crossProduct(d))) / std::sqrt(q);
    if (s < -1.0 || s > 1.0)
        return Ogre::Quaternion::IDENTITY;
    Ogre::Quaternion turn;
    turn.FromAngleAxis(Ogre::Radian(float(std::asin(s))), axis);
    return turn;
}

void RotateObjectFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!state || !tools::mainButtonHeld(event))
        return;
    const Ogre::Vector3 point = event.getState().position;
    const Ogre::Quaternion turn = stepRotation(pivot, lastPoint, point, fixedAxis.firstAxis());
    lastPoint = point;
    if (turn == Ogre::Quaternion::IDENTITY)
        return;
    for (const auto& entry : state->getEntries())
        if (Kiln::ObjectGroup* node = entry.handle.get()) {
            Ogre::Quaternion turned = turn * node->getOrientation();
            turned.normalise();
            node->setOrientation(turned);
        }
    rotated = true;
}

void RotateObjectFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishDrag();
}

void RotateObjectFunction::finishDrag() {
    restoreMaterials();
    if (context.functions)
        context.functions->requestHaptics(this, true);
    std::unique_ptr<RotateObjectState> finished = std::move(state);
    // A press and release that turned nothing is not an edit.
    if (rotated)
        commitOperation(std::move(finished));
    else
        endOperation();
}
