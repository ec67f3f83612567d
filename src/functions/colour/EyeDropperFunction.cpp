#include "functions/colour/EyeDropperFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/colour/ColourFunction.h"
#include "scene/Object.h"

#include <limits>

MORVEL_REGISTER_FUNCTION(EyeDropperFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(0.8f, 0.8f, 0.8f, 1.0f);
} // namespace

EyeDropperFunction::EyeDropperFunction(FunctionContext& context)
    : FunctionBase(context, "EyeDropperFunction", FUNCTION_TOOL, "Properties", FunctionText::id(103),
                   FunctionText::id(105)) {}

void EyeDropperFunction::init() { colourBox = ColourFunction::findColourBox(context.functions); }

void EyeDropperFunction::activate() {
    if (context.haptics)
        context.haptics->setStylusColour(STYLUS_COLOUR);
}

void EyeDropperFunction::deactivate() {
    if (picking) {
        picking = false;
        endOperation();
    }
    if (context.haptics)
        context.haptics->setStylusColour(Ogre::ColourValue::White);
}

void EyeDropperFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || picking || !context.haptics || context.haptics->getTouchedObjects().empty())
        return;
    beginOperation();
    picking = true;
    pick(event);
}

void EyeDropperFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (picking)
        pick(event);
}

void EyeDropperFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !picking)
        return;
    pick(event);
    picking = false;
    endOperation();
}

void EyeDropperFunction::pick(const Kiln::HapticEvent& event) {
    if (!colourBox || !context.haptics)
        return;
    const std::vector<Kiln::ObjectHandle> touched = context.haptics->getTouchedObjects();
    Kiln::Object* object = touched.empty() ? nullptr : touched.front().getObject();
    const Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
    if (!mesh || mesh->getVertexCount() == 0)
        return;
    // One pass over the mesh per frame: a pick is a single nearest-point
    // question, cheaper than building an index for it.
    const Ogre::Vector3 local = object->getInverseWorldMatrix() * event.getState().proxyPosition;
    const std::vector<Kiln::Vertex>& vertices = mesh->getVertices();
    std::size_t nearest = 0;
    float best = std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const float d = vertices[i].position.squaredDistance(local);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    const Ogre::ColourValue& c = vertices[nearest].colour;
    const float size = colourBox->getSizeFactor();
    colourBox->setCursorColour(c.r * size, c.g * size, c.b * size);
}
