#include "app/AppContext.h"

#include "functions/FunctionManager.h"
#include "graphics/ColourBoxView.h"
#include "graphics/GraphicsManager.h"
#include "graphics/ToolMarksView.h"
#include "graphics/ToolPlaneView.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticStylus.h"
#include "input/InputManager.h"
#include "scene/SelectionManager.h"
#include "scene/ObjectGroup.h"
#include "scene/Scene.h"

AppContext::AppContext() { stateStack.push_back({}); }

AppContext::~AppContext() {
    // The functions' states refer to nodes, and the nodes' presenters to the
    // haptic manager, whose device thread calls the renderer: take them
    // down in that order. The graphics manager goes last: the others may
    // still hold engine objects.
    functionManager.reset();
    selectionManager.reset();
    viewRoot.reset();
    sceneRoot.reset();
    scene.reset();
    hapticManager.reset();
    stylusView.reset();
    colourBoxView.reset();
    toolPlaneView.reset();
    toolMarksView.reset();
    inputManager.reset();
    textureMaterials.reset();
    graphicsManager.reset();
}

void AppContext::setInteractionMode(std::uint32_t mode) {
    if (mode & MODE_GUI_CURSOR)
        mode &= ~std::uint32_t(MODE_STYLUS | MODE_HAPTIC_MOUSE);
    // The cursor, stylus and haptic mouse follow the mode once their
    // managers exist; while a modal state is open the mode is only kept.
    interactionMode = mode;
    if (modalDepth == 0 && applyInteractionMode)
        applyInteractionMode(mode);
}

void AppContext::beginModal() {
    ++modalDepth;
    if (!stateStack.empty())
        stateStack.back().modalDepth = modalDepth;
}

void AppContext::endModal() {
    if (modalDepth > 0)
        --modalDepth;
    if (!stateStack.empty())
        stateStack.back().modalDepth = modalDepth;
    if (modalDepth == 0)
        setInteractionMode(interactionMode);
}

void AppContext::endUnlessKeptRunning() {
    if (keepRunning)
        keepRunning = false;
    else
        flags |= APP_FLAG_END_REQUESTED;
}

void AppContext::pushState() { stateStack.push_back({modalDepth}); }

void AppContext::popState() {
    if (!stateStack.empty())
        stateStack.pop_back();
    if (stateStack.empty()) {
        endUnlessKeptRunning();
        return;
    }
    modalDepth = stateStack.back().modalDepth;
    if (modalDepth == 0)
        setInteractionMode(interactionMode);
}
