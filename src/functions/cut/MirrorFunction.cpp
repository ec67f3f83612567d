#include "functions/cut/MirrorFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <utility>

MORVEL_REGISTER_FUNCTION(MirrorFunction);

namespace {
constexpr int WARNING = 2;
const Ogre::ColourValue STYLUS_COLOUR(0.0f, 0.8f, 1.0f, 1.0f);
} // namespace

void reflectVertices(const std::vector<Kiln::Vertex>& source, const Ogre::Matrix4& toTarget,
                     const Ogre::Vector3& point, const Ogre::Vector3& unitNormal, std::vector<Kiln::Vertex>& target) {
    target.resize(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        target[i] = source[i];
        const Ogre::Vector3 p = toTarget * source[i].position;
        target[i].position = p - 2.f * (p - point).dotProduct(unitNormal) * unitNormal;
    }
}

std::vector<Kiln::Face> mirrorFaces(std::vector<Kiln::Face> faces) {
    for (Kiln::Face& face : faces)
        std::swap(face.i1, face.i2);
    return faces;
}

MirrorFunction::MirrorFunction(FunctionContext& context)
    : FunctionBase(context, "MirrorFunction", FUNCTION_TOOL, "Tools", FunctionText::id(174), FunctionText::id(176)) {}

void MirrorFunction::activate() {
    tools::setStylusColour(context, STYLUS_COLOUR);
}

void MirrorFunction::deactivate() {
    if (dragging)
        finishDrag();
    plane.clearLocks();
    tools::setStylusColour(context, Ogre::ColourValue::White);
}

void MirrorFunction::keyPressed(const OIS::KeyEvent& event) {
    if (plane.setLock(event.key, true) && dragging)
        updateCopies();
}

void MirrorFunction::keyReleased(const OIS::KeyEvent& event) {
    if (plane.setLock(event.key, false) && dragging && plane.hasPlane())
        plane.reanchor();
}

void MirrorFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || dragging || !context.selection || !context.sceneRoot)
        return;
    sources.clear();
    for (Kiln::Object* object : context.selection->getSelectedObjects())
        if (object->getMesh())
            sources.push_back(object->getHandle());
    if (sources.empty())
        return;
    plane.start(event.getState().position);
    dragging = true;
    if (context.functions)
        context.functions->requestHaptics(this, false);
    beginOperation();
}

void MirrorFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!dragging)
        return;
    plane.moveTo(event.getState().position);
    if (plane.hasPlane()) {
        if (copies.empty())
            makeCopies();
        updateCopies();
    }
}

void MirrorFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !dragging)
        return;
    hapticMoved(event);
    finishDrag();
}

void MirrorFunction::makeCopies() {
    Kiln::PlainObjectFactory plain;
    Kiln::IObjectFactory& factory = context.objectFactory ? *context.objectFactory : plain;
    for (const Kiln::ObjectHandle& handle : sources) {
        Kiln::Object* source = handle.getObject();
        if (!source || !source->getMesh())
            continue;
        std::unique_ptr<Kiln::Object> copy = factory.createObject();
        // The copy's vertices carry the whole placement (a reflection has no
        // position-rotation-scale form), so it sits at the root's origin.
        copy->setMesh(std::make_unique<Kiln::DynamicMesh>(source->getMesh()->getVertices(),
                                                          mirrorFaces(source->getMesh()->getFaces())));
        for (const char* name : {"material", "stiffness"})
            if (auto value = source->getParameter(name))
                copy->setParameter(name, *value);
        copies.push_back({handle, context.sceneRoot->adoptChild(std::move(copy))->getHandle()});
    }
}

void MirrorFunction::updateCopies() {
    if (!plane.hasPlane() || !context.sceneRoot)
        return;
    const Ogre::Matrix4& rootInverse = context.sceneRoot->getInverseWorldMatrix();
    const Ogre::Vector3 point = rootInverse * plane.getAnchor();
    // A normal maps into the root frame by the transpose of the root's
    // world matrix (the inverse transpose of rootInverse).
    Ogre::Vector3 normal = context.sceneRoot->getWorldMatrix().linear().Transpose() * plane.getNormal();
    normal.normalise();
    for (const Copy& entry : copies) {
        Kiln::Object* source = entry.source.getObject();
        Kiln::Object* copy = entry.copy.getObject();
        if (!source || !copy || !source->getMesh() || !copy->getMesh())
            continue;
        reflectVertices(source->getMesh()->getVertices(), rootInverse * source->getWorldMatrix(), point, normal,
                        scratch);
        copy->getMesh()->swapVertices(scratch);
        copy->notifyMeshChanged();
    }
}

void MirrorFunction::removeCopies() {
    for (const Copy& entry : copies)
        if (Kiln::ObjectGroup* copy = entry.copy.get()) {
            std::unique_ptr<Kiln::ObjectGroup> out;
            copy->getParent()->removeChild(out, copy);
        }
    copies.clear();
}

void MirrorFunction::finishDrag() {
    dragging = false;
    if (context.functions)
        context.functions->requestHaptics(this, true);
    if (copies.empty() || !plane.hasPlane()) {
        removeCopies();
        endOperation();
        return;
    }
    SceneExchange exchange;
    for (const Copy& entry : copies) {
        if (Kiln::Object* copy = entry.copy.getObject())
            copy->centrePivot();
        exchange.addLeaving(entry.copy);
    }
    copies.clear();
    sources.clear();
    commitOperation(std::make_unique<MirrorState>(this, *context.sceneRoot, std::move(exchange)));
}
