#include "functions/cut/SliceFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"
#include "functions/colour/ColourFunction.h"
#include "functions/combine/BooleanJob.h"
#include "log/Exception.h"
#include "mesh/MeshMeasures.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <exception>

MORVEL_REGISTER_FUNCTION(SliceFunction);

namespace {
constexpr int INFORMATION = 1;
constexpr int WARNING = 2;
constexpr int ERROR = 3;
const Ogre::ColourValue STYLUS_COLOUR(0.0f, 0.8f, 1.0f, 1.0f);

/// A box with one face in the plane and the rest far on the positive side,
/// large enough to hold every part of the mesh there. Outward winding.
std::unique_ptr<Kiln::DynamicMesh> halfSpaceBox(const Kiln::DynamicMesh& mesh, const Ogre::Vector3& point,
                                                const Ogre::Vector3& unitNormal, const Ogre::ColourValue& colour) {
    const Ogre::AxisAlignedBox box = Kiln::bounds(mesh);
    const Ogre::Vector3 centre = box.isFinite() ? box.getCenter() : point;
    const float reach = (box.isFinite() ? box.getHalfSize().length() : 1.f) + centre.distance(point);
    const float size = 2.f * reach + 1.f;
    const Ogre::Vector3 u = unitNormal.perpendicular();
    const Ogre::Vector3 v = unitNormal.crossProduct(u);  // u, v, n right-handed
    std::vector<Kiln::Vertex> corners(8);
    for (int i = 0; i < 8; ++i) {
        const float su = (i & 1) ? size : -size;
        const float sv = (i & 2) ? size : -size;
        const float sn = (i & 4) ? 2.f * size : 0.f;
        corners[i].position = point + u * su + v * sv + unitNormal * sn;
        corners[i].colour = colour;
    }
    // A unit cube's faces with corner index x + 2y + 4z, counter-clockwise
    // from outside; (u, v, n) keeps the handedness.
    static const std::uint32_t triangles[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6},
                                                   {0, 1, 5}, {0, 5, 4}, {2, 6, 7}, {2, 7, 3},
                                                   {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    std::vector<Kiln::Face> faces;
    for (const auto& t : triangles)
        faces.push_back({t[0], t[1], t[2]});
    return std::make_unique<Kiln::DynamicMesh>(std::move(corners), std::move(faces));
}

} // namespace

SliceHalves sliceMesh(const Kiln::DynamicMesh& mesh, const Ogre::Vector3& point, const Ogre::Vector3& normal,
                      const Ogre::ColourValue& capColour) {
    SliceHalves halves;
    const float length = normal.length();
    if (!(length > 0.f) || !std::isfinite(length) || mesh.getFaceCount() == 0)
        return halves;
    const std::unique_ptr<Kiln::DynamicMesh> box = halfSpaceBox(mesh, point, normal / length, capColour);
    BooleanJob job(mesh, Ogre::Matrix4::IDENTITY, *box, Ogre::Matrix4::IDENTITY, BooleanJobKind::Difference, true);
    job.run();
    if (!job.getError().empty())
        throw Kiln::Exception(Kiln::ErrorCode::OperationFailed, job.getError(), "sliceMesh()");
    halves.positive = job.takeCutPiece();
    halves.negative = job.takeResult();
    if (!halves.positive || !halves.negative)
        halves = SliceHalves();  // the plane does not cross the mesh
    return halves;
}

void SliceState::undo() { exchange.apply(root); }

void SliceState::redo() {
    if (selection)
        selection->clearSelection();
    exchange.apply(root);
}

SliceFunction::SliceFunction(FunctionContext& context)
    : FunctionBase(context, "SliceFunction", FUNCTION_TOOL, "Tools", FunctionText::id(331), FunctionText::id(333)) {}

void SliceFunction::activate() {
    tools::setStylusColour(context, STYLUS_COLOUR);
}

void SliceFunction::deactivate() {
    if (dragging)
        abandonDrag();
    plane.clearLocks();  // key releases do not reach an inactive tool
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

void SliceFunction::keyPressed(const OIS::KeyEvent& event) { plane.setLock(event.key, true); }

void SliceFunction::keyReleased(const OIS::KeyEvent& event) {
    if (plane.setLock(event.key, false) && dragging && plane.hasPlane())
        plane.reanchor();
}

void SliceFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || dragging)
        return;
    if (!context.selection || context.selection->getSelected().empty()) {
        if (context.status)
            context.status->postDefault("No object selected to slice", WARNING);
        return;
    }
    // Groups are skipped, not opened: their halves could not be placed in
    // the group's frame.
    before.clear();
    for (const Kiln::ObjectHandle& item : context.selection->getSelected())
        if (Kiln::Object* object = item.getObject(); object && object->getMesh())
            before.push_back(item);
    if (before.empty()) {
        if (context.status)
            context.status->postDefault("Please UnGroup the ObjectGroup", WARNING);
        return;
    }
    plane.start(event.getState().position);
    dragging = true;
    if (context.functions)
        context.functions->requestHaptics(this, false);
    beginOperation();
}

void SliceFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (dragging)
        plane.moveTo(event.getState().position);
}

void SliceFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !dragging)
        return;
    plane.moveTo(event.getState().position);
    finishDrag();
}

void SliceFunction::abandonDrag() {
    dragging = false;
    before.clear();
    if (context.functions)
        context.functions->requestHaptics(this, true);
    endOperation();
}

void SliceFunction::finishDrag() {
    const std::vector<Kiln::ObjectHandle> targets = std::move(before);
    const Ogre::Vector3 anchor = plane.getAnchor();
    const Ogre::Vector3 normal = plane.getNormal();
    abandonDrag();  // haptics back on and the operation ended on every path
    if (!plane.hasPlane() || !context.sceneRoot) {
        if (context.status)
            context.status->postDefault("Slice plane intersect no object", WARNING);
        return;
    }
    const Ogre::ColourValue capColour = ColourFunction::currentColour(context.functions);
    SceneExchange exchange;
    bool anyCut = false;
    try {
        for (const Kiln::ObjectHandle& handle : targets) {
            Kiln::Object* object = handle.getObject();
            if (!object || !object->getMesh())
                continue;
            const Ogre::Matrix4& world = object->getWorldMatrix();
            const Ogre::Vector3 localPoint = object->getInverseWorldMatrix() * anchor;
            const Ogre::Vector3 localNormal = world.linear().Transpose() * normal;
            SliceHalves halves = sliceMesh(*object->getMesh(), localPoint, localNormal, capColour);
            if (!halves.positive)
                continue;
            anyCut = true;
            exchange.addLeaving(handle);
            exchange.addEntering(makeResultObject(context.objectFactory, std::move(halves.positive), *object));
            exchange.addEntering(makeResultObject(context.objectFactory, std::move(halves.negative), *object));
        }
    } catch (const std::exception& failure) {
        // Nothing has entered the scene yet: dropping the exchange drops the
        // halves made so far and leaves every object as it was.
        if (context.status)
            context.status->postDefault(failure.what(), ERROR);
        return;
    }
    if (!anyCut) {
        if (context.status)
            context.status->postDefault("Slice plane intersect no object", WARNING);
        return;
    }
    if (context.selection)
        context.selection->clearSelection();
    exchange.apply(*context.sceneRoot);
    if (context.functions)
        context.functions->pushState(
            std::make_unique<SliceState>(this, *context.sceneRoot, context.selection, std::move(exchange)));
    if (context.status)
        context.status->postDefault("Sliced the selected object(s)", INFORMATION);
}
