#include "functions/tools/LineFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"

MORVEL_REGISTER_FUNCTION(LineFunction);
MORVEL_REGISTER_FUNCTION(MeasureFunction);

namespace {
constexpr int MESSAGE_WARNING = 2;
constexpr int MESSAGE_INFO = 1;

/// A line's entry is named after the tool, not "create ...".
class LineState : public CreateObjectState {
public:
    using CreateObjectState::CreateObjectState;
    std::string getName() const override { return FunctionState::getName(); }
};
} // namespace

LineFunction::LineFunction(FunctionContext& context)
    : FunctionBase(context, "CreateLine", FUNCTION_TOOL, "Create", FunctionText::literal("Draw line"),
                   FunctionText::literal("Click and drag to draw a 3D line")) {}

LineFunction::~LineFunction() = default;

std::unique_ptr<Kiln::DynamicMesh> LineFunction::buildBar(const Ogre::Vector3& from, const Ogre::Vector3& to) {
    Ogre::Vector3 along = to - from;
    if (along.isZeroLength())
        return nullptr;
    const Ogre::Vector3 half = along * 0.5f;
    along.normalise();
    Ogre::Vector3 side = along.perpendicular() * halfWidth;
    Ogre::Vector3 up = along.crossProduct(side);  // |up| = halfWidth, (along, side, up) right-handed
    std::vector<Kiln::Vertex> vertices(8);
    for (int k = 0; k < 8; ++k) {
        const float a = (k & 1) ? 1.f : -1.f;
        const float s = (k & 2) ? 1.f : -1.f;
        const float u = (k & 4) ? 1.f : -1.f;
        vertices[std::size_t(k)].position = half * a + side * s + up * u;
    }
    // The quads of a box whose corner k has bit 0 = along, bit 1 = side,
    // bit 2 = up, each wound outwards.
    const std::uint32_t quads[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1},
                                       {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
    std::vector<Kiln::Face> faces;
    for (const auto& q : quads) {
        faces.push_back({q[0], q[2], q[1]});
        faces.push_back({q[0], q[3], q[2]});
    }
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

void LineFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || !context.sceneRoot)
        return;
    if (drawing)
        finishLine();
    drawing = true;
    start = tools::stylusInRoot(context, event);
    beginOperation();
}

void LineFunction::drawTo(const Ogre::Vector3& end) {
    std::unique_ptr<Kiln::DynamicMesh> bar = buildBar(start, end);
    if (!bar)
        return;
    Kiln::Object* object = line.getObject();
    if (!object) {
        std::unique_ptr<Kiln::Object> made =
            context.objectFactory ? context.objectFactory->createObject() : std::make_unique<Kiln::Object>();
        object = context.sceneRoot->adoptChild(std::move(made));
        object->setParameter("material", "defaultMaterial");
        object->setParameter("castShadows", false);
        line = object->getHandle();
        state = std::make_unique<LineState>(this, context);
        state->setObject(line);
    }
    object->setMesh(std::move(bar));
    object->setPosition((start + end) * 0.5f);
}

void LineFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (drawing && tools::mainButtonHeld(event))
        drawTo(tools::stylusInRoot(context, event));
}

void LineFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !drawing)
        return;
    drawTo(tools::stylusInRoot(context, event));
    finishLine();
}

void LineFunction::finishLine() {
    drawing = false;
    line = Kiln::ObjectHandle();
    if (state) {
        commitOperation(std::move(state));
        return;
    }
    endOperation();
    if (context.status)
        context.status->postDefault("Move the grip while middle button is pressed.", MESSAGE_WARNING);
}

void LineFunction::deactivate() {
    if (drawing)
        finishLine();
}

// ------------------------------------------------------------------ measure

MeasureFunction::MeasureFunction(FunctionContext& context)
    : FunctionBase(context, "MeasureFunction", FUNCTION_TOOL, "Tools", FunctionText::id(158),
                   FunctionText::id(160)) {}

void MeasureFunction::measureTo(const Kiln::HapticEvent& event, const char* lead) {
    endWorld = event.getState().position;
    length = start.distance(tools::stylusInRoot(context, event));
    text = lead + tools::formatLength(tools::gridUnit(context), length);
}

IToolMarks::Marks MeasureFunction::getToolMarks() const {
    Marks marks;
    if (text.empty())
        return marks;
    marks.lines.push_back({"MeasureLineNode", startWorld, endWorld, Ogre::ColourValue(1.f, 1.f, 0.4f)});
    marks.captions.push_back({"MeasureTextNode", (startWorld + endWorld) * 0.5f + Ogre::Vector3(0.f, 0.5f, 0.f), text});
    return marks;
}

void MeasureFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0))
        return;
    measuring = true;
    start = tools::stylusInRoot(context, event);
    startWorld = event.getState().position;
    measureTo(event, "Length is: ");
}

void MeasureFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (measuring && tools::mainButtonHeld(event))
        measureTo(event, "Length is: ");
}

void MeasureFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !measuring)
        return;
    measuring = false;
    measureTo(event, "Measured Length is: ");
    if (context.status)
        context.status->postDefault(text, MESSAGE_INFO);
}

void MeasureFunction::deactivate() {
    measuring = false;
    text.clear();
}
