#include "functions/combine/BooleanFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <algorithm>
#include <cstdio>
#include <thread>

MORVEL_REGISTER_FUNCTION(BooleanFunction);

namespace {
constexpr int INFORMATION = 1;
constexpr int WARNING = 2;
const char* const WIREFRAME = "wireframeMaterial";

const char* startMessage(std::uint32_t operation) {
    switch (operation) {
    case BOOLEAN_UNION: return "Perform Boolean Union operation...";
    case BOOLEAN_INTERSECTION: return "Perform Boolean Intersection operation...";
    default: return "Perform Boolean Subtract operation...";
    }
}
} // namespace

// ------------------------------------------------------------------ state

BooleanState::BooleanState(const FunctionBase* function, Kiln::ObjectGroup& root, Kiln::SelectionManager* selection,
                           SceneExchange exchange, std::vector<Kiln::ObjectHandle> operands)
    : FunctionState(function), root(root), selection(selection), exchange(std::move(exchange)),
      operands(std::move(operands)) {}

void BooleanState::undo() {
    exchange.apply(root);
    if (selection)
        for (const Kiln::ObjectHandle& operand : operands)
            if (operand)
                selection->addObjectToSelected(operand);
}

void BooleanState::redo() {
    if (selection)
        for (const Kiln::ObjectHandle& operand : operands)
            if (operand)
                selection->removeObjectFromSelected(operand);
    exchange.apply(root);
}

// --------------------------------------------------------------- function

BooleanFunction::BooleanFunction(FunctionContext& context)
    : FunctionBase(context, "Boolean", FUNCTION_TOOL, "Tools", FunctionText::id(18), FunctionText::id(21)) {}

BooleanFunction::~BooleanFunction() {
    // The worker holds its own reference to the job and stops soon.
    if (job)
        job->cancel();
}

void BooleanFunction::onArgumentSet() {
    operation = BOOLEAN_NONE;
    const std::string& word = arguments.front();
    if (word == "Boolean" || word.empty())
        return;
    if (context.gui)
        context.gui->selectRadioButton("BooleanButton");
    if (word == "Union")
        operation = BOOLEAN_UNION;
    else if (word == "Subtraction")
        operation = BOOLEAN_SECOND_MINUS_FIRST_WITH_PIECE;
    else if (word == "Intersection")
        operation = BOOLEAN_INTERSECTION;
    if (operation != BOOLEAN_NONE)
        execute();
}

bool BooleanFunction::isTopLevelObject(const Kiln::ObjectGroup* node) const {
    return node && node->isObject() && node->hasParent() && node->getParent() == context.sceneRoot;
}

std::vector<Kiln::ObjectGroup*> BooleanFunction::selectedPair() const {
    std::vector<Kiln::ObjectGroup*> pair;
    if (!context.selection || context.selection->getSelected().size() != 2)
        return pair;
    for (const Kiln::ObjectHandle& handle : context.selection->getSelected())
        if (handle.get())
            pair.push_back(handle.get());
    if (pair.size() != 2)
        return {};
    // Scene order, so that the operand order does not depend on where the
    // objects happen to live in memory.
    auto order = [this](const Kiln::ObjectGroup* node) {
        const Kiln::ObjectGroup* top = node;
        while (top->hasParent() && top->getParent() != context.sceneRoot)
            top = top->getParent();
        if (!context.sceneRoot)
            return std::size_t(0);
        const auto& children = context.sceneRoot->getChildren();
        for (std::size_t i = 0; i < children.size(); ++i)
            if (children[i].get() == top)
                return i;
        return children.size();  // not under the root: after every top-level item
    };
    if (order(pair[1]) < order(pair[0]))
        std::swap(pair[0], pair[1]);
    return pair;
}

void BooleanFunction::takeOperandsFromSelection(const std::vector<Kiln::ObjectGroup*>& pair, bool keepOrder) {
    const bool samePair = (pair[0] == first.get() && pair[1] == second.get()) ||
                          (pair[0] == second.get() && pair[1] == first.get());
    if (keepOrder && samePair)
        return;
    first = pair[0]->getHandle();
    second = pair[1]->getHandle();
}

void BooleanFunction::startPreview() {
    endPreview();
    Kiln::ObjectGroup* node = first.get();
    if (!node)
        return;
    previewObject = first;
    previewMaterial = node->getParameterValue<std::string>("material").value_or("defaultMaterial");
    node->setParameter("material", WIREFRAME);
}

void BooleanFunction::endPreview() {
    if (Kiln::ObjectGroup* node = previewObject.get())
        node->setParameter("material", previewMaterial);
    previewObject = Kiln::ObjectHandle();
}

void BooleanFunction::deactivate() {
    // Only the active tool is ticked, so a result could never be taken in.
    cancel();
    endPreview();
}

void BooleanFunction::keyPressed(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_ESCAPE) {
        cancel();
        return;
    }
    if (job)
        return;
    const std::vector<Kiln::ObjectGroup*> pair = selectedPair();
    if (pair.empty() || !isTopLevelObject(pair[0]) || !isTopLevelObject(pair[1]))
        return;
    if (event.key == OIS::KC_1) {
        const bool samePair = (pair[0] == first.get() && pair[1] == second.get()) ||
                              (pair[0] == second.get() && pair[1] == first.get());
        if (samePair)
            std::swap(first, second);
        else
            takeOperandsFromSelection(pair, false);
        startPreview();
    } else if (!first || !second) {
        takeOperandsFromSelection(pair, false);
    }
}

void BooleanFunction::keyReleased(const OIS::KeyEvent& event) {
    if (job)
        return;
    operation = BOOLEAN_NONE;
    switch (event.key) {
    case OIS::KC_1: endPreview(); break;
    case OIS::KC_U: operation = BOOLEAN_UNION; break;
    case OIS::KC_I: operation = BOOLEAN_INTERSECTION; break;
    case OIS::KC_X: operation = BOOLEAN_SECOND_MINUS_FIRST_WITH_PIECE; break;
    case OIS::KC_B: operation = BOOLEAN_FIRST_MINUS_SECOND; break;
    default: break;
    }
    if (operation != BOOLEAN_NONE)
        execute();
}

void BooleanFunction::execute() {
    if (operation == BOOLEAN_NONE || job)
        return;
    endPreview();
    const std::vector<Kiln::ObjectGroup*> pair = selectedPair();
    if (pair.empty()) {
        if (context.status)
            context.status->postDefault("Make sure only 2 objects are selected.", INFORMATION);
        return;
    }
    if (!isTopLevelObject(pair[0]) || !isTopLevelObject(pair[1])) {
        if (context.status)
            context.status->postDefault("Object Group selected, please UnGroup", WARNING);
        return;
    }
    beginOperation();
    takeOperandsFromSelection(pair, true);
    if (context.status)
        context.status->postDefault(startMessage(operation), INFORMATION);
    Kiln::ObjectGroup* operands[2] = {first.get(), second.get()};
    for (int i = 0; i < 2; ++i) {
        savedShadows[i] = operands[i]->getParameterValue<bool>("castShadows");
        operands[i]->setParameter("castShadows", false);
    }
    startJob();
}

void BooleanFunction::startJob() {
    // The operand pushed first gives the frame of the result.
    const bool firstIsBase = operation == BOOLEAN_FIRST_MINUS_SECOND;
    Kiln::Object* base = (firstIsBase ? first : second).getObject();
    Kiln::Object* other = (firstIsBase ? second : first).getObject();
    if (!base || !other || !base->getMesh() || !other->getMesh()) {
        fail("Objects not intersected.");
        return;
    }
    const BooleanJobKind kind = operation == BOOLEAN_UNION          ? BooleanJobKind::Union
                                : operation == BOOLEAN_INTERSECTION ? BooleanJobKind::Intersection
                                                                    : BooleanJobKind::Difference;
    job = std::make_shared<BooleanJob>(*base->getMesh(), base->getWorldMatrix(), *other->getMesh(),
                                       other->getWorldMatrix(), kind,
                                       operation == BOOLEAN_SECOND_MINUS_FIRST_WITH_PIECE);
    jobOperation = operation;
    jobStart = std::chrono::steady_clock::now();
    if (job->size() <= backgroundThreshold) {
        job->run();
        finishJob();
        return;
    }
    std::shared_ptr<BooleanJob> running = job;
    // Detached: an abandoned job owns its copies and, told to stop, ends
    // at its next step on its own.
    std::thread([running] { running->run(); }).detach();
    showProgress();
}

bool BooleanFunction::update(const Ogre::FrameEvent& event) {
    (void)event;
    if (job) {
        if (job->isDone())
            finishJob();
        else
            showProgress();
    }
    return true;
}

void BooleanFunction::showProgress() {
    if (!context.status)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - jobStart).count();
    char text[96];
    std::snprintf(text, sizeof text, "Boolean operation: %.1f s (Escape cancels)", seconds);
    context.status->setHelpText(text);
}

void BooleanFunction::cancel() {
    if (!job)
        return;
    job->cancel();
    job.reset();
    restoreShadows();
    endOperation();
    if (context.status) {
        context.status->setHelpText(getHelpText());
        context.status->postDefault("Boolean operation cancelled.", WARNING);
    }
}

void BooleanFunction::restoreShadows() {
    Kiln::ObjectGroup* operands[2] = {first.get(), second.get()};
    for (int i = 0; i < 2; ++i) {
        if (operands[i] && savedShadows[i])
            operands[i]->setParameter("castShadows", *savedShadows[i]);
        savedShadows[i].reset();
    }
}

void BooleanFunction::fail(const std::string& text) {
    job.reset();
    restoreShadows();
    endOperation();
    if (context.status)
        context.status->postDefault(text, WARNING);
}

void BooleanFunction::finishJob() {
    std::shared_ptr<BooleanJob> finished = std::move(job);
    if (context.status)
        context.status->setHelpText(getHelpText());
    Kiln::ObjectGroup* firstNode = first.get();
    Kiln::ObjectGroup* secondNode = second.get();
    std::unique_ptr<Kiln::DynamicMesh> result = finished->takeResult();
    std::unique_ptr<Kiln::DynamicMesh> piece = finished->takeCutPiece();
    const bool withPiece = jobOperation == BOOLEAN_SECOND_MINUS_FIRST_WITH_PIECE;
    // The operands may have been deleted while the worker ran.
    if (!firstNode || !secondNode || !result || (withPiece && !piece) || !context.sceneRoot) {
        fail(finished->getError().empty() ? "Objects not intersected." : finished->getError());
        return;
    }
    restoreShadows();
    const Kiln::ObjectGroup& frame = jobOperation == BOOLEAN_FIRST_MINUS_SECOND ? *firstNode : *secondNode;
    if (context.selection)
        context.selection->clearSelection();
    SceneExchange exchange;
    exchange.addLeaving(first);
    exchange.addLeaving(second);
    exchange.addEntering(makeResultObject(context.objectFactory, std::move(result), frame));
    if (withPiece) {
        std::unique_ptr<Kiln::Object> cut = makeResultObject(context.objectFactory, std::move(piece), frame);
        // The removed piece stands beside the result, half way towards the
        // first operand.
        cut->setPosition(cut->getPosition() + 0.5f * (firstNode->getPosition() - secondNode->getPosition()));
        exchange.addEntering(std::move(cut));
    }
    std::vector<Kiln::ObjectHandle> operands = {first, second};
    exchange.apply(*context.sceneRoot);
    first = second = Kiln::ObjectHandle();
    commitOperation(std::make_unique<BooleanState>(this, *context.sceneRoot, context.selection, std::move(exchange),
                                                   std::move(operands)));
}
