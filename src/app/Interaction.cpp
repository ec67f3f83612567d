// The interaction layer of the application: the haptic device and manager,
// keyboard and mouse, the functions, the mouse-driven stylus and session
// scripts, wired together once the window exists and stepped every frame.
#include "app/AppSeams.h"
#include "app/Application.h"
#include "app/MouseStylus.h"
#include "app/StateDump.h"

#include "config/ConfigReader.h"
#include "config/KeyValueStore.h"
#include "functions/FunctionContext.h"
#include "functions/FunctionManager.h"
#include "graphics/ColourBoxView.h"
#include "graphics/GraphicsManager.h"
#include "graphics/ToolPlaneView.h"
#include "graphics/OgreStylusView.h"
#include "graphics/RayQuery.h"
#include "haptics/HapticManager.h"
#include "hapticdevice/HapticsDeviceDriven.h"
#include "hapticdevice/HapticsDeviceFactory.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "hapticdevice/HapticsDeviceScripted.h"
#include "input/InputManager.h"
#include "io/SceneFiles.h"
#include "log/Exception.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "platform/X11WindowEvents.h"
#include "platform/XDisplay.h"
#include "scene/Object.h"
#include "scene/ObjectGroup.h"
#include "scene/Scene.h"
#include "scene/SelectionManager.h"

#include <OgreCamera.h>
#include <OgreFrameListener.h>
#include <OgreRenderWindow.h>

#include <iostream>

namespace {

/// The first surface along a world ray among the user's objects, with the
/// face normal turned towards the ray's origin.
std::optional<Kiln::SurfaceHit> surfaceAlong(Kiln::ObjectGroup& root, const Ogre::Ray& ray) {
    const std::vector<Kiln::RayHit> hits = Kiln::raycastObjects(root, ray);
    if (hits.empty())
        return std::nullopt;
    const Kiln::RayHit& hit = hits.front();
    Kiln::Object* object = hit.object.getObject();
    const Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
    if (!mesh || hit.face >= mesh->getFaceCount())
        return std::nullopt;
    const Kiln::Face& f = mesh->getFaces()[hit.face];
    const Ogre::Matrix4& world = object->getWorldMatrix();
    const Ogre::Vector3 a = world * mesh->getVertices()[f.i0].position;
    const Ogre::Vector3 b = world * mesh->getVertices()[f.i1].position;
    const Ogre::Vector3 c = world * mesh->getVertices()[f.i2].position;
    Ogre::Vector3 normal = (b - a).crossProduct(c - a);
    if (normal.isZeroLength())
        return std::nullopt;
    normal.normalise();
    if (normal.dotProduct(ray.getDirection()) > 0.f)
        normal = -normal;
    return Kiln::SurfaceHit{hit.point, normal};
}

} // namespace

Application::~Application() {
    // The functions reach the seams and the seams the managers: the context
    // (functions first) goes before the seams it points into.
    scriptRunner.reset();
    if (context && context->inputManager)
        context->inputManager->removeMouseListener("MouseStylus");
    mouseStylus.reset();
    context.reset();
    functionContext.reset();
    seams.reset();
}

std::unique_ptr<Kiln::IHapticsDevice> Application::chooseDevice(Kiln::ConfigReader& hapticSettings) {
    const std::string choice = hapticSettings.readString("Haptic.Device", "auto");
    // A script drives the stylus itself, unless a real device is asked for.
    if (!options.scriptPath.empty() && choice != "falcon" && !Kiln::usesMouseStylus(scriptCommands)) {
        auto driven = std::make_unique<Kiln::HapticsDeviceDriven>();
        drivenDevice = driven.get();
        deviceName = "script";
        return driven;
    }
    Kiln::HapticsDeviceOptions deviceOptions;
    deviceOptions.falconFirmware = hapticSettings.readString("Haptic.FalconFirmware", "");
    Kiln::HapticsDeviceChoice chosen;
    try {
        chosen = Kiln::createHapticsDevice(choice, deviceOptions);
    } catch (const Kiln::Exception& e) {
        throw DeviceRefused(e.getDescription());
    }
    statusLine.post(chosen.notice);
    if (dynamic_cast<Kiln::HapticsDeviceSimulated*>(chosen.device.get()))
        deviceName = "simulated";
    else if (dynamic_cast<Kiln::HapticsDeviceScripted*>(chosen.device.get()))
        deviceName = "trajectory";
    else
        deviceName = "falcon";
    return std::move(chosen.device);
}

void Application::startInteraction() {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    Kiln::ConfigReader hapticSettings(
        std::make_unique<Kiln::SimpleXMLKeyValueStore>(hapticSettingsFile, Kiln::dataDirectory()));
    std::unique_ptr<Kiln::IHapticsDevice> device = chooseDevice(hapticSettings);

    context->stylusView = Kiln::OgreStylusView::fromSettings(*graphics.getSceneManager(), hapticSettings);
    context->hapticManager = std::make_unique<Kiln::HapticManager>();
    context->hapticManager->setNoticeSink([this](const std::string& text) { statusLine.post(text); });
    context->hapticManager->initialise(hapticSettings, std::move(device), context->stylusView.get());
    context->scene->addPresenter("haptics", context->hapticManager.get());
    context->scene->setActiveObject(context->viewRoot->getHandle());

    startInput(deviceName != "falcon");
    context->selectionManager = std::make_unique<Kiln::SelectionManager>(context->sceneRoot.get());
    startFunctions();
    if (deviceName == "simulated")
        startMouseStylus();
    if (!scriptCommands.empty())
        scriptRunner = std::make_unique<Kiln::ScriptRunner>(std::move(scriptCommands), *this);
    if (options.openFileOnStart)
        openStartFile();
}

void Application::startInput(bool withMouse) {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    unsigned long window = 0;
    graphics.getRenderWindow()->getCustomAttribute("WINDOW", &window);
    context->inputManager = std::make_unique<Kiln::InputManager>();
    inputFlags = std::uint16_t(INPUT_KEYBOARD | INPUT_HAPTIC | (withMouse ? INPUT_MOUSE : 0));
    // OIS opens its own X connection, which a busy X server may refuse for
    // a moment.
    Kiln::retryOnXRefusal(
        20,
        [&] {
            context->inputManager->initialise(window, graphics.getWindowWidth(),
                                              graphics.getWindowHeight(), inputFlags);
            return 0;
        },
        [](const std::exception&) { return true; });
}

void Application::startFunctions() {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    seams = std::make_unique<InteractionSeams>(statusLine, context->flags);
    seams->haptics = std::make_unique<Kiln::ToolHaptics>(*context->hapticManager);
    seams->overlay = std::make_unique<Kiln::OverlayTexts>(graphics.getTextRenderer());
    seams->frameStatistics = std::make_unique<Kiln::WindowFrameStatistics>(*graphics.getRenderWindow());
    seams->factory = std::make_unique<Kiln::PresentedObjectFactory>(*graphics.getSceneManager());

    functionContext = std::make_unique<FunctionContext>();
    FunctionContext& c = *functionContext;
    c.sceneRoot = context->sceneRoot.get();
    c.selection = context->selectionManager.get();
    c.objectFactory = seams->factory.get();
    c.status = &seams->status;
    c.dialogs = &seams->dialogs;
    c.haptics = seams->haptics.get();
    c.document = &seams->document;
    c.tasks = &seams->tasks;
    c.overlay = seams->overlay.get();
    c.frameStatistics = seams->frameStatistics.get();
    c.showFrameCount = options.showFrameCount;

    context->functionManager = std::make_unique<FunctionManager>(c);
    FunctionManager& functions = *context->functionManager;
    context->inputManager->addKeyListener(&functions, "FunctionManager");
    context->hapticManager->addListener(&functions);
    functions.createRegisteredFunctions();
    if (functions.findFunction("CreateLine"))
        functions.activateFunction("CreateLine");
}

void Application::startMouseStylus() {
    auto* simulated = dynamic_cast<Kiln::HapticsDeviceSimulated*>(context->hapticManager->getDevice());
    if (!simulated || !context->inputManager->hasMouse())
        return;
    Ogre::Camera* camera = context->graphicsManager->getCamera();
    Kiln::ObjectGroup* root = context->sceneRoot.get();
    mouseStylus = std::make_unique<Kiln::MouseStylus>(
        *simulated, *context->inputManager,
        [camera](float fx, float fy) { return camera->getCameraToViewportRay(fx, fy); },
        [root](const Ogre::Ray& ray) { return surfaceAlong(*root, ray); },
        [this] { return context->hapticManager->getState().buttons; });
    context->inputManager->addMouseListener(mouseStylus.get(), "MouseStylus");
}

void Application::openStartFile() {
    // Read beside the scene and move the objects over, so that the file's
    // own root transform does not replace the scene root's scale.
    Kiln::ObjectGroup loaded;
    try {
        Kiln::importSceneFile(options.startFile, loaded, *seams->factory);
    } catch (const std::exception& e) {
        if (scriptRunner) {
            failScript(0, "cannot open " + options.startFile + ": " + e.what());
            return;
        }
        statusLine.post("Failed to open '" + options.startFile + "'.", -1.0, 3);
        std::cerr << "morvel: " << options.startFile << ": " << e.what() << std::endl;
        return;
    }
    std::vector<Kiln::ObjectGroup*> children;
    for (const auto& child : loaded.getChildren())
        children.push_back(child.get());
    for (Kiln::ObjectGroup* child : children)
        context->sceneRoot->takeChild(child);
    context->currentFileName = options.startFile;
    context->flags = APP_FLAG_SAVED;
}

void Application::updateInteraction(float seconds) {
    if (!context->hapticManager)
        return;
    runScriptStep(seconds);
    if (context->isEndRequested())
        return;
    context->inputManager->capture(inputFlags);
    if (mouseStylus) {
        Kiln::GraphicsManager& graphics = *context->graphicsManager;
        void* display = nullptr;
        unsigned long window = 0;
        graphics.getRenderWindow()->getCustomAttribute("XDISPLAY", &display);
        graphics.getRenderWindow()->getCustomAttribute("WINDOW", &window);
        int x = -1, y = -1;
        if (display && Kiln::queryPointer(display, window, x, y))
            mouseStylus->update(x, y, graphics.getWindowWidth(), graphics.getWindowHeight(),
                                float(context->hapticManager->getState().proxyRadius));
    }
    context->hapticManager->update(seconds * 1000.f);
    Ogre::FrameEvent frame;
    frame.timeSinceLastFrame = seconds;
    frame.timeSinceLastEvent = seconds;
    context->functionManager->frameStarted(frame);
    showColourBox();
    showToolPlane();
    statusLine.update(seconds);
}

void Application::showColourBox() {
    const auto* colours =
        dynamic_cast<const IColourSource*>(context->functionManager->findFunction("ColourFunction"));
    if (!colours)
        return;
    if (!context->colourBoxView)
        context->colourBoxView = std::make_unique<Kiln::ColourBoxView>(*context->graphicsManager->getSceneManager());
    const IColourSource::BoxShape shape = colours->getBoxShape();
    Kiln::ColourBoxLook look;
    look.visible = shape.visible;
    look.origin = shape.origin;
    look.size = shape.size;
    look.highlighted = shape.highlighted;
    look.colour = colours->getCurrentColour();
    context->colourBoxView->show(look);
}

void Application::showToolPlane() {
    const auto* tool = dynamic_cast<const IToolPlane*>(context->functionManager->getActiveTool());
    const IToolPlane::Plane plane = tool ? tool->getToolPlane() : IToolPlane::Plane();
    if (!plane.shown) {
        if (context->toolPlaneView)
            context->toolPlaneView->hide();
        return;
    }
    if (!context->toolPlaneView)
        context->toolPlaneView =
            std::make_unique<Kiln::ToolPlaneView>(*context->graphicsManager->getSceneManager(), 2.f);
    context->toolPlaneView->show(plane.point, plane.normal);
}

void Application::runScriptStep(float seconds) {
    if (!scriptRunner || scriptEnded)
        return;
    try {
        scriptRunner->onFrame(seconds);
    } catch (const Kiln::ScriptError& e) {
        failScript(e.line, e.what());
    }
}

void Application::failScript(int line, const std::string& reason) {
    std::cerr << "morvel: " << options.scriptPath << ":" << line << ": " << reason << std::endl;
    endRun(1);
}

void Application::endRun(int status) {
    exitStatus = status;
    scriptEnded = true;
    context->flags |= APP_FLAG_END_REQUESTED;
}

std::string Application::buildDump() const {
    Kiln::StateView view;
    view.frame = frameCount;
    view.sceneRoot = context->sceneRoot.get();
    view.selection = context->selectionManager.get();
    view.haptics = context->hapticManager.get();
    view.deviceName = deviceName;
    if (const FunctionManager* functions = context->functionManager.get()) {
        if (const FunctionBase* tool = functions->getActiveTool())
            view.tool = tool->getName();
        view.undo = functions->getUndoCount();
        view.redo = functions->getRedoCount();
        if (const auto* colours = dynamic_cast<const IColourSource*>(functions->findFunction("ColourFunction")))
            view.currentColour = colours->getCurrentColour();
    }
    view.modified = (context->flags & APP_FLAG_MODIFIED) != 0;
    if (const Ogre::Camera* camera = context->graphicsManager->getCamera()) {
        view.cameraPosition = camera->getDerivedPosition();
        view.cameraDirection = camera->getDerivedDirection();
    }
    view.alert = statusLine.getAlert();
    view.status = statusLine.getStatus();
    view.function = statusLine.getFunction();
    view.frameTimes = &frameTimes;
    return Kiln::buildStateDump(view);
}

void Application::moveStylus(const Ogre::Vector3& rootPoint, std::uint32_t buttons, double seconds) {
    if (!drivenDevice)
        throw std::runtime_error("the stylus follows the haptic device, not the script");
    const Ogre::Vector3 world = context->sceneRoot->getWorldMatrix() * rootPoint;
    drivenDevice->moveTo(drivenDevice->worldToDevice(world), seconds, int(buttons));
}

bool Application::isStylusSettled() { return !drivenDevice || drivenDevice->isSettled(); }

void Application::invoke(const std::string& name, const std::string* argument) {
    FunctionManager& functions = *context->functionManager;
    if (name != "Undo" && name != "Redo" && !functions.findFunction(name))
        throw std::runtime_error("unknown function '" + name + "'");
    if (argument)
        functions.setFunctionArgument(name, *argument);
    seams->dialogs.clearLastMessage();
    if (!functions.invokeFunction(name)) {
        const std::string& message = seams->dialogs.getLastMessage();
        throw std::runtime_error(message.empty() ? name + " failed" : message);
    }
}

void Application::key(const std::string& keyName, bool down) {
    const OIS::KeyCode code = Kiln::keyCodeFromName(keyName);
    if (down)
        context->inputManager->injectKeyPressed(code);
    else
        context->inputManager->injectKeyReleased(code);
}

void Application::dump(const std::string& path) {
    if (!Kiln::writeFileAtomically(path, buildDump()))
        throw std::runtime_error("cannot write the dump to '" + path + "'");
    frameTimes.clear(); // each dump reports the frames since the one before
}

void Application::screenshot(const std::string& path) {
    context->graphicsManager->saveScreenshot(path);
}

void Application::quit() {
    if (onWindowClosing())
        context->flags |= APP_FLAG_END_REQUESTED;
}

void Application::exitNow() { endRun(0); }

void Application::select(bool all) {
    Kiln::SelectionManager& selection = *context->selectionManager;
    if (!all) {
        selection.clearSelection();
        return;
    }
    const std::vector<Kiln::ObjectHandle> items = selection.getTopLevelObjects(true);
    selection.setSelection(Kiln::SelectionManager::HandleSet(items.begin(), items.end()));
}
