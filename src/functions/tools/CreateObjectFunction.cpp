#include "functions/tools/CreateObjectFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ScaleObjectFunction.h"
#include "functions/tools/StiffnessFunction.h"
#include "functions/tools/ToolSupport.h"
#include "mesh/MeshEditor.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"

#include <algorithm>
#include <cctype>
#include <cmath>

MORVEL_REGISTER_FUNCTION(CreateObjectFunction);

namespace {

struct Shape {
    const char* upper;
    const char* display;
};
const Shape SHAPES[] = {{"PLANE", "Plane"}, {"CUBE", "Cube"},         {"SPHERE", "Sphere"},
                        {"CONE", "Cone"},   {"CYLINDER", "Cylinder"}, {"TORUS", "Torus"}};
constexpr int CUBE = 1;
constexpr int TORUS = 5;

std::string upperCase(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return word;
}
std::string lowerCase(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return word;
}

} // namespace

// ------------------------------------------------------------------- state

CreateObjectState::CreateObjectState(const FunctionBase* function, const FunctionContext& context)
    : FunctionState(function), context(context) {
    if (context.selection)
        previousSelection = context.selection->getSelected();
}

CreateObjectState::~CreateObjectState() = default;

void CreateObjectState::undo() {
    Kiln::ObjectGroup* node = objectHandle.get();
    if (!node || detached || !node->hasParent())
        return;
    tools::clearSelection(context);
    node->getParent()->removeChild(detached, node);
    tools::restoreSelection(context, previousSelection);
}

void CreateObjectState::redo() {
    if (!detached || !context.sceneRoot)
        return;
    tools::clearSelection(context);
    context.sceneRoot->addChild(detached);
    tools::select(context, objectHandle);
}

// ---------------------------------------------------------------- function

CreateObjectFunction::CreateObjectFunction(FunctionContext& context)
    : FunctionBase(context, "CreateObject", FUNCTION_TOOL, "Create", FunctionText::literal("Create objects"),
                   FunctionText::literal("Click and drag towards you to create a Cube (Use SHIFT-key for "
                                         "non-uniform shape)")) {}

CreateObjectFunction::~CreateObjectFunction() = default;

void CreateObjectFunction::onArgumentSet() {
    const std::string word = upperCase(arguments.front());
    shapeType = CUBE;
    for (int type = 0; type < 6; ++type)
        if (word == SHAPES[type].upper)
            shapeType = type;
    const std::string display = SHAPES[shapeType].display;
    shapeWord = lowerCase(display);
    helpText = "Click the center button and drag the grip towards you to create a " + display +
               " (Use SHIFT-key for non-uniform shape)";
    title = "Create " + display;
}

void CreateObjectFunction::init() {
    if (!context.functions)
        return;
    scaleTool = dynamic_cast<ScaleObjectFunction*>(context.functions->findFunction("ScaleObject"));
    stiffness = dynamic_cast<StiffnessFunction*>(context.functions->findFunction("StiffnessFunction"));
}

bool CreateObjectFunction::altIsHeld() const { return tools::heldModifiers(context).alt; }

void CreateObjectFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!event.button(0) || !context.sceneRoot)
        return;
    if (state)
        finishCreation();  // the release of the last creation never came
    if (context.functions)
        context.functions->requestHaptics(this, false);  // the new object is not felt while sized
    colour = tools::currentColour(context);

    std::unique_ptr<Kiln::Object> made =
        context.objectFactory ? context.objectFactory->createObject() : std::make_unique<Kiln::Object>();
    Kiln::Object* created = context.sceneRoot->adoptChild(std::move(made));
    created->setMesh(Kiln::MeshEditor::createNewDynamicMesh(shapeType, colour));
    created->setParameter("material", "defaultMaterial");
    created->setParameter("castShadows", false);
    // Shown at the mesh's own size in world units, centred at the stylus.
    const Ogre::Vector3 rootScale = context.sceneRoot->getWorldTransform().scale;
    created->setScale(Ogre::Vector3(1.f / rootScale.x, 1.f / rootScale.y, 1.f / rootScale.z));
    created->setPosition(tools::stylusInRoot(context, event));
    const float sliderValue = stiffness ? stiffness->getSliderValue() : StiffnessFunction::defaultSliderValue;
    created->setParameter("stiffness", StiffnessFunction::stiffnessFor(sliderValue));
    object = created->getHandle();

    state = std::make_unique<CreateObjectState>(this, context);
    state->setObject(object);
    state->setShapeName(shapeWord);
    tools::clearSelection(context);

    altHeld = altIsHeld();
    altChanged = false;
    thickness = baseThickness = 1.0;
    thicknessStartZ = tools::stylusInView(context, event).z;
    if (scaleTool) {
        scaleTool->setTarget(*created);
        scaleTool->beginScaling(event);
    }
    beginOperation();
}

std::unique_ptr<Kiln::DynamicMesh> CreateObjectFunction::buildTorus(double tube, const Ogre::ColourValue& colour) {
    constexpr int rings = 80;
    constexpr double major = 2.0;
    const int perRing = 4 + int(28.0 * tube);
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    vertices.reserve(std::size_t(rings * perRing));
    faces.reserve(std::size_t(2 * rings * perRing));
    const double pi = Ogre::Math::PI;
    for (int i = 0; i < rings; ++i) {
        const double theta = 2.0 * pi * i / rings;
        for (int j = 0; j < perRing; ++j) {
            // Each ring turns half a step further than the one before.
            const double phi = 2.0 * pi * j / perRing + i * pi / perRing;
            const double reach = major + tube * std::sin(phi);
            Kiln::Vertex v;
            v.position = Ogre::Vector3(float(std::sin(theta) * reach), float(std::cos(theta) * reach),
                                       float(tube * std::cos(phi)));
            v.colour = colour;
            v.u = float(i) / rings;
            v.v = float(j) / perRing;
            vertices.push_back(v);
        }
    }
    // The half steps add up to rings / 2 steps once round.
    const int lastShift = (rings / 2) % perRing;
    for (int i = 0; i < rings; ++i) {
        const bool last = i == rings - 1;
        const auto c = [&](int j) { return std::uint32_t(perRing * i + j % perRing); };
        const auto n = [&](int j) {
            return last ? std::uint32_t((j + lastShift) % perRing) : std::uint32_t(perRing * (i + 1) + j % perRing);
        };
        for (int j = 0; j < perRing; ++j) {
            faces.push_back({c(j), n(j), c(j + 1)});
            faces.push_back({n(j + 1), c(j + 1), n(j)});
        }
    }
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

void CreateObjectFunction::updateThickness(const Kiln::HapticEvent& event) {
    const double z = tools::stylusInView(context, event).z;
    if (altChanged) {
        scaleTool->rebase(event);
        thicknessStartZ = z;
        altChanged = false;
    }
    const double t = std::clamp((z - thicknessStartZ) * 0.1 * 0.5 + baseThickness, 0.1, 1.9);
    if (t == thickness)
        return;
    thickness = t;
    if (Kiln::Object* created = object.getObject())
        created->setMesh(buildTorus(t, colour));
}

void CreateObjectFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!state || !scaleTool || !tools::mainButtonHeld(event))
        return;
    if (altHeld && shapeType == TORUS) {
        updateThickness(event);
        return;
    }
    if (altChanged) {
        baseThickness = thickness;
        scaleTool->rebase(event);
        altChanged = false;
    }
    scaleTool->hapticMoved(event);
}

bool CreateObjectFunction::update(const Ogre::FrameEvent& event) {
    if (state && scaleTool && !(altHeld && shapeType == TORUS))
        scaleTool->update(event);
    return true;
}

void CreateObjectFunction::keyPressed(const OIS::KeyEvent& event) {
    if (tools::isAltKey(event.key)) {
        if (!altHeld)
            altChanged = true;
        altHeld = true;
    } else if (scaleTool) {
        scaleTool->keyPressed(event);
    }
}

void CreateObjectFunction::keyReleased(const OIS::KeyEvent& event) {
    if (tools::isAltKey(event.key)) {
        altHeld = altIsHeld();
        if (!altHeld)
            altChanged = true;
    } else if (scaleTool) {
        scaleTool->keyReleased(event);
    }
}

void CreateObjectFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (event.button(0) && state)
        finishCreation();
}

void CreateObjectFunction::finishCreation() {
    if (scaleTool)
        scaleTool->finishScaling();
    if (context.functions)
        context.functions->requestHaptics(this, true);
    tools::select(context, object);
    object = Kiln::ObjectHandle();
    commitOperation(std::move(state));
}

IToolMarks::Marks CreateObjectFunction::getToolMarks() const {
    return state && scaleTool ? scaleTool->getToolMarks() : Marks();
}

void CreateObjectFunction::deactivate() {
    if (state)
        finishCreation();
}
