#include "functions/colour/PaintFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/colour/ColourFunction.h"
#include "scene/Object.h"

#include <algorithm>
#include <cmath>

MORVEL_REGISTER_FUNCTION(PaintFunction);

namespace {
const Ogre::ColourValue STYLUS_COLOUR(1.0f, 0.2f, 0.6f, 1.0f);
const char* const NOTHING_PAINTED = "Make sure you're touching the object while painting it.";

/// Blends the brush into the candidates, recording each vertex's colour
/// the first time the stroke reaches it.
class PaintWorker : public Kiln::VertexListWorker {
public:
    PaintWorker(const std::vector<std::uint32_t>& vertices, const Kiln::Object& object, const Ogre::Vector3& centre,
                float radius, const Ogre::ColourValue& colour, PaintState& state)
        : candidates(vertices), world(object.getWorldMatrix()), centre(centre), r2(radius * radius),
          colour(colour), state(state) {}
    void operator()(std::vector<Kiln::Vertex>& vertices) override {
        for (const std::uint32_t v : candidates) {
            Kiln::Vertex& vertex = vertices[v];
            const float d2 = (world * vertex.position).squaredDistance(centre);
            const float w = PaintFunction::brushWeight(d2, r2);
            if (w <= 0.f)
                continue;
            state.record(v, vertex.colour);
            vertex.colour = colour * w + vertex.colour * (1.f - w);
        }
    }

private:
    const std::vector<std::uint32_t>& candidates;
    const Ogre::Matrix4& world;
    Ogre::Vector3 centre;
    float r2;
    Ogre::ColourValue colour;
    PaintState& state;
};
} // namespace

PaintFunction::PaintFunction(FunctionContext& context)
    : FunctionBase(context, "PaintFunction", FUNCTION_TOOL, "Properties", FunctionText::id(206),
                   FunctionText::id(208)) {}

float PaintFunction::brushWeight(float d2, float r2) {
    if (!(r2 > 0.f) || !(d2 < r2))
        return 0.f;
    return 0.5f + 0.5f * std::cos(Ogre::Math::PI * std::min(1.f, d2 / r2));
}

void PaintFunction::activate() {
    if (context.haptics)
        context.haptics->setStylusColour(STYLUS_COLOUR);
}

void PaintFunction::deactivate() {
    if (state)
        endStroke();
    if (context.haptics)
        context.haptics->setStylusColour(Ogre::ColourValue::White);
}

bool PaintFunction::targetTouched() const {
    if (!context.haptics)
        return false;
    const std::vector<Kiln::ObjectHandle> touched = context.haptics->getTouchedObjects();
    return std::find(touched.begin(), touched.end(), target) != touched.end();
}

void PaintFunction::hapticMoved(const Kiln::HapticEvent& event) {
    const bool held = (event.getState().buttons & 1u) != 0;
    if (!state) {
        if (held)
            startStroke(event);
        return;
    }
    if (!held)
        return;  // the release event ends the stroke
    if (target.getObject() && targetTouched())
        paintPass(event);
    else
        endStroke();
}

void PaintFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (state && event.button(0))
        endStroke();
}

void PaintFunction::startStroke(const Kiln::HapticEvent& event) {
    if (!context.haptics)
        return;
    Kiln::Object* object = nullptr;
    for (const Kiln::ObjectHandle& handle : context.haptics->getTouchedObjects())
        if ((object = handle.getObject()) && object->getMesh())
            break;
    if (!object || !object->getMesh())
        return;
    beginOperation();
    target = object->getHandle();
    state = std::make_unique<PaintState>(this, *object);
    const LocalBrush brush(*object, event.getState().proxyPosition, brushRadius(event.getState()));
    candidates.start(object->getMesh()->getVertices(), brush.radius);
    paintPass(event);
}

void PaintFunction::paintPass(const Kiln::HapticEvent& event) {
    Kiln::Object* object = target.getObject();
    Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
    if (!mesh || mesh->getVertexCount() != candidates.getGrid().size())
        return;
    const Ogre::Vector3& centre = event.getState().proxyPosition;
    const float radius = brushRadius(event.getState());
    candidates.gather(mesh->getVertices(), LocalBrush(*object, centre, radius), found);
    if (found.empty())
        return;
    PaintWorker worker(found, *object, centre, radius, ColourFunction::currentColour(context.functions), *state);
    mesh->applyVertexWorker(worker);
    object->notifyMeshChanged();
}

void PaintFunction::endStroke() {
    std::unique_ptr<PaintState> finished = std::move(state);
    target = Kiln::ObjectHandle();
    candidates.stop();
    if (finished && !finished->isEmpty()) {
        commitOperation(std::move(finished));
        return;
    }
    endOperation();
    if (context.status)
        context.status->postDefault(NOTHING_PAINTED, 2);
}
