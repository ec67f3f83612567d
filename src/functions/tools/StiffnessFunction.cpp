#include "functions/tools/StiffnessFunction.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/tools/ToolSupport.h"
#include "log/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

MORVEL_REGISTER_FUNCTION(StiffnessFunction);

/// Each touched object's stiffness before and after the gesture.
class StiffnessState : public FunctionState {
public:
    StiffnessState(const FunctionBase* function, const std::vector<Kiln::ObjectHandle>& items)
        : FunctionState(function) {
        for (const Kiln::ObjectHandle& item : items)
            record(*item.get());
    }
    void apply(float stiffness) {
        for (Entry& entry : entries)
            if (Kiln::ObjectGroup* node = entry.handle.get()) {
                node->setParameter("stiffness", stiffness);
                entry.after = stiffness;
            }
    }
    bool empty() const { return entries.empty(); }
    void undo() override { set(&Entry::before); }
    void redo() override { set(&Entry::after); }

private:
    struct Entry {
        Kiln::ObjectHandle handle;
        float before;
        float after;
    };
    void record(Kiln::ObjectGroup& node) {
        // Every object below a selected group keeps its own value.
        if (node.isObject()) {
            const auto value = node.getParameterValue<float>("stiffness");
            const float before = value ? *value : StiffnessFunction::stiffnessFor(StiffnessFunction::defaultSliderValue);
            entries.push_back({node.getHandle(), before, before});
        }
        for (const auto& child : node.getChildren())
            record(*child);
    }
    void set(float Entry::*which) {
        for (const Entry& entry : entries)
            if (Kiln::ObjectGroup* node = entry.handle.get())
                node->setParameter("stiffness", entry.*which);
    }
    std::vector<Entry> entries;
};

StiffnessFunction::StiffnessFunction(FunctionContext& context)
    : FunctionBase(context, "StiffnessFunction", FUNCTION_TOOL | FUNCTION_UPDATE, "Tools", FunctionText::id(344),
                   FunctionText::id(346)) {}

StiffnessFunction::~StiffnessFunction() = default;

void StiffnessFunction::onArgumentSet() {
    const std::string& word = arguments.front();
    if (word == "done") {
        sliderReleased();
        return;
    }
    char* end = nullptr;
    const float value = std::strtof(word.c_str(), &end);
    if (!word.empty() && end && *end == '\0' && std::isfinite(value)) {
        if (!state)
            gestureOnSlider = false;
        sliderMoved(value);
        showOnSlider(sliderValue);
        return;
    }
    if (context.gui && !context.gui->hasWindow(word))
        throw Kiln::Exception(3, "Could not find the slider bar for Stiffness function...",
                              "StiffnessFunction::onArgumentSet()");
    sliderWindow = word;
    if (context.gui) {
        // The window's starting position is the stiffness of new objects.
        seenOnSlider = context.gui->getValue(sliderWindow);
        sliderValue = std::clamp(seenOnSlider, 0.f, 1.f);
    }
}

void StiffnessFunction::activate() {
    shownFor = Kiln::ObjectHandle();
    showSelectedStiffness();
}

void StiffnessFunction::sliderMoved(float value) {
    sliderValue = std::clamp(value, 0.f, 1.f);
    idleSeconds = 0.f;
    if (!context.functions || context.functions->getActiveTool() != this)
        return;  // a slider set while another tool is active only sets the value for new objects
    if (!state) {
        const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
        if (items.empty())
            return;
        state = std::make_unique<StiffnessState>(this, items);
        if (state->empty()) {
            state.reset();
            return;
        }
        beginOperation();
    }
    state->apply(getStiffness());
}

void StiffnessFunction::sliderReleased() {
    if (state)
        commitOperation(std::move(state));
}

void StiffnessFunction::deactivate() { sliderReleased(); }

void StiffnessFunction::showOnSlider(float value) {
    if (!context.gui || sliderWindow.empty())
        return;
    context.gui->setValue(sliderWindow, value);
    seenOnSlider = context.gui->getValue(sliderWindow);
}

void StiffnessFunction::readSlider() {
    if (!context.gui || sliderWindow.empty())
        return;
    const float value = context.gui->getValue(sliderWindow);
    if (value == seenOnSlider)
        return;
    seenOnSlider = value;
    if (!state)
        gestureOnSlider = true;
    sliderMoved(value);
}

bool StiffnessFunction::gestureEnded() const {
    if (gestureOnSlider && context.gui && !sliderWindow.empty())
        return !context.gui->isValueTracking(sliderWindow);
    return idleSeconds >= gestureGap;
}

/// The first object at or below `node` in pre-order (a group's first
/// object speaks for the group), or null.
static Kiln::ObjectGroup* firstObject(Kiln::ObjectGroup& node) {
    if (node.isObject())
        return &node;
    for (const auto& child : node.getChildren())
        if (Kiln::ObjectGroup* found = firstObject(*child))
            return found;
    return nullptr;
}

void StiffnessFunction::showSelectedStiffness() {
    const std::vector<Kiln::ObjectHandle> items = tools::liveSelection(context);
    Kiln::ObjectGroup* first = items.empty() ? nullptr : firstObject(*items.front().get());
    if (first == shownFor.get())
        return;
    shownFor = first ? first->getHandle() : Kiln::ObjectHandle();
    if (!first)
        return;
    const auto stiffness = first->getParameterValue<float>("stiffness");
    if (!stiffness)
        return;
    sliderValue = std::clamp((*stiffness - 0.05f) / 0.95f, 0.f, 1.f);
    showOnSlider(sliderValue);
}

bool StiffnessFunction::update(const Ogre::FrameEvent& event) {
    readSlider();
    if (!context.functions || context.functions->getActiveTool() != this)
        return true;
    if (!state) {
        showSelectedStiffness();
        return true;
    }
    idleSeconds += event.timeSinceLastFrame;
    if (gestureEnded())
        sliderReleased();
    return true;
}
