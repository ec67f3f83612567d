// The interaction layer of the application: the haptic device and manager,
// keyboard and mouse, the functions, the mouse-driven stylus and session
// scripts, wired together once the window exists and stepped every frame.
#include "app/AppSeams.h"
#include "app/Application.h"
#include "app/GripNavigation.h"
#include "app/GuiLayer.h"
#include "gui/HapticMouseControl.h"
#include "app/MouseNavigation.h"
#include "app/ViewControl.h"
#include "app/MouseStylus.h"
#include "app/StateDump.h"

#include "config/ConfigReader.h"
#include "config/KeyValueStore.h"
#include "functions/FunctionContext.h"
#include "functions/FunctionManager.h"
#include "functions/file/SceneContents.h"
#include "graphics/ColourBoxView.h"
#include "graphics/GraphicsManager.h"
#include "graphics/ToolMarksView.h"
#include "graphics/ToolPlaneView.h"
#include "graphics/OgreStylusView.h"
#include "graphics/RayQuery.h"
#include "haptics/HapticManager.h"
#include "hapticdevice/HapticsDeviceDriven.h"
#include "hapticdevice/HapticsDeviceFactory.h"
#include "hapticdevice/falcon/HapticsDeviceFalcon.h"
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

#include <CEGUI/CEGUI.h>

#include <cctype>
#include <cstdlib>
#include <iostream>

namespace {

/// The first surface along a world ray among the user's objects, with the
/// face normal turned towards the ray's origin.
std::optional<Kiln::SurfaceHit> surfaceAlong(Kiln::RayCaster& caster, Kiln::ObjectGroup& root,
                                             const Ogre::Ray& ray) {
    const std::vector<Kiln::RayHit> hits = caster.raycast(root, ray);
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

/// The GUI's part of the dump: windows, bindings, the open dialog, the bars.
void fillGuiView(Kiln::GuiLayer& gui, Kiln::StateView& view) {
    Kiln::InterfaceManager& ui = gui.getInterface();
    Kiln::StatusMessage& status = gui.getStatus();
    view.alert = status.getAlert();
    view.status = status.getStatusText();
    view.function = status.getFunctionText();
    view.hasGui = true;
    ui.forEachWindow([&](CEGUI::Window& window) {
        const std::string name = Kiln::InterfaceManager::windowName(window);
        if (name.find("__auto") != std::string::npos)
            return;
        Kiln::WindowView entry;
        entry.name = name;
        entry.visible = window.isEffectiveVisible();
        entry.enabled = !window.isEffectiveDisabled();
        if (const auto* toggle = dynamic_cast<const CEGUI::ToggleButton*>(&window))
            entry.selected = toggle->isSelected();
        entry.text = Kiln::fromGuiString(window.getText());
        const CEGUI::Rectf rect = window.getUnclippedOuterRect().get();
        entry.rect[0] = rect.left();
        entry.rect[1] = rect.top();
        entry.rect[2] = rect.right();
        entry.rect[3] = rect.bottom();
        if (const auto* slider = dynamic_cast<const CEGUI::Slider*>(&window)) {
            entry.value = slider->getCurrentValue();
            const CEGUI::Rectf thumb = slider->getThumb()->getUnclippedOuterRect().get();
            entry.thumb = std::array<float, 4>{thumb.left(), thumb.top(), thumb.right(), thumb.bottom()};
        }
        view.windows.push_back(entry);
    });
    for (const Kiln::WindowBinding& binding : gui.getGuiManager().getBindings())
        view.bindings.push_back({binding.window, binding.event, binding.function, binding.argument});
    if (const auto dialog = gui.getDialogs().getOpenDialog())
        view.dialog = Kiln::DialogView{dialog->kind, dialog->title, dialog->text, dialog->buttons,
                                       dialog->mode, dialog->folder};
    const char* language = std::getenv("MORVEL_LANGUAGE");
    view.language = language && std::string(language) == "cn" ? "cn" : "en";
}

} // namespace

Application::~Application() {
    // The functions reach the seams and the seams the managers: the context
    // (functions first) goes before the seams it points into.
    scriptRunner.reset();
    if (context)
        context->applyInteractionMode = nullptr;
    if (context && context->inputManager) {
        context->inputManager->removeMouseListener("MouseStylus");
        context->inputManager->removeMouseListener("Gui");
        context->inputManager->removeKeyListener("Gui");
    }
    mouseStylus.reset();
    if (context && context->hapticManager && hapticMouse)
        context->hapticManager->removeListener(hapticMouse.get());
    hapticMouse.reset();
    if (context && context->hapticManager && gripNavigation)
        context->hapticManager->removeListener(gripNavigation.get());
    gripNavigation.reset();
    // The functions reach the GUI, and the GUI draws with the engine: the
    // functions go first, the GUI before the engine.
    if (context)
        context->functionManager.reset();
    guiLayer.reset();
    viewControl.reset();
    navigation.reset();
    context.reset();
    functionContext.reset();
    seams.reset();
}

std::unique_ptr<Kiln::IHapticsDevice> Application::chooseDevice(Kiln::ConfigReader& hapticSettings) {
    const std::string choice = hapticSettings.readString("Haptic.Device", "auto");
    // A script drives the stylus itself, unless a real device is asked for.
    const bool falcon = choice == "falcon" || choice == "falcon-simulated";
    if (!options.scriptPath.empty() && !falcon && !Kiln::usesMouseStylus(scriptCommands)) {
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
    postNotice(chosen.notice);
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
    context->hapticManager->setNoticeSink([this](const std::string& text) { postNotice(text); });
    context->hapticManager->initialise(hapticSettings, std::move(device), context->stylusView.get());
    context->scene->addPresenter("haptics", context->hapticManager.get());
    context->scene->setActiveObject(context->viewRoot->getHandle());

    startInput(deviceName != "falcon");
    startGui();
    startNavigation();
    if (guiLayer && deviceName != "simulated")
        startHapticMouse();
    context->selectionManager = std::make_unique<Kiln::SelectionManager>(context->sceneRoot.get());
    startFunctions();
    if (deviceName == "simulated")
        startMouseStylus();
    if (guiLayer && context->inputManager->hasMouse()) {
        guiLayer->setViewMouse(mouseStylus.get(), navigation.get());
        context->inputManager->addMouseListener(guiLayer.get(), "Gui");
    }
    startInteractionModes();
    if (guiLayer && options.showSplash)
        guiLayer->showSplash("brevant-v3-blue.png", 3.0f);
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
    seams = std::make_unique<InteractionSeams>(statusLine, *context);
    seams->haptics = std::make_unique<Kiln::ToolHaptics>(*context->hapticManager);
    if (hapticMouse)
        seams->haptics->setWantedSink([this](bool on) { hapticMouse->setHapticsToRestore(on); });
    seams->overlay = std::make_unique<Kiln::OverlayTexts>(graphics.getTextRenderer());
    seams->frameStatistics = std::make_unique<Kiln::WindowFrameStatistics>(*graphics.getRenderWindow());
    seams->factory = std::make_unique<Kiln::PresentedObjectFactory>(*graphics.getSceneManager());
    seams->picker = std::make_unique<Kiln::ViewPicker>(*graphics.getCamera(), *context->sceneRoot,
                                                   seams->rayCaster);

    functionContext = std::make_unique<FunctionContext>();
    FunctionContext& c = *functionContext;
    c.sceneRoot = context->sceneRoot.get();
    c.viewRoot = context->viewRoot.get();
    c.picker = seams->picker.get();
    c.selection = context->selectionManager.get();
    c.objectFactory = seams->factory.get();
    c.status = &seams->status;
    c.dialogs = &seams->dialogs;
    c.haptics = seams->haptics.get();
    c.document = &seams->document;
    c.documentHost = &seams->documentHost;
    c.tasks = &seams->tasks;
    c.overlay = seams->overlay.get();
    c.frameStatistics = seams->frameStatistics.get();
    c.showFrameCount = options.showFrameCount;
    viewControl = std::make_unique<Kiln::ViewControl>(*context, navigation.get(), [this](const std::string& text) {
        if (guiLayer)
            guiLayer->setWindowText("Root/UnitCaption", text, "");
    });
    c.view = viewControl.get();
    if (guiLayer) {
        c.status = guiLayer.get();
        c.dialogs = guiLayer.get();
        c.gui = guiLayer.get();
    }

    context->functionManager = std::make_unique<FunctionManager>(c);
    FunctionManager& functions = *context->functionManager;
    if (guiLayer) {
        // Keys pass the GUI first: an edit box with the focus keeps them.
        guiLayer->setShortcutKeys(&functions, navigation.get());
        context->inputManager->addKeyListener(guiLayer.get(), "Gui");
        guiLayer->loadSettings(functions, Kiln::dataDirectory() + "/Config/GuiSettingsV2.xml");
    } else {
        context->inputManager->addKeyListener(&functions, "FunctionManager");
        if (navigation)
            context->inputManager->addKeyListener(navigation.get(), "DoodlewingNavigation");
    }
    context->hapticManager->addListener(&functions);
    functions.createRegisteredFunctions();
    if (guiLayer)
        guiLayer->functionsReady();
    gripNavigation = std::make_unique<Kiln::GripNavigation>(*navigation, *context->hapticManager, functions,
                                                            *context->inputManager);
    context->hapticManager->addListener(gripNavigation.get());
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
        [caster = &seams->rayCaster, root](const Ogre::Ray& ray) { return surfaceAlong(*caster, *root, ray); },
        [this] { return context->hapticManager->getState().buttons; });
    // With the interface up, the interface passes on only what is not its
    // own: hearing the mouse directly too made a click on a panel (a tool
    // button, say) a click of the newly chosen tool as well.
    if (!guiLayer)
        context->inputManager->addMouseListener(mouseStylus.get(), "MouseStylus");
}

void Application::openStartFile() {
    // The same reading path as the open tool: the file's objects go under
    // the scene root, which keeps its own display scale.
    std::unique_ptr<Kiln::ObjectGroup> loaded;
    try {
        loaded = scenefiles::readSceneFile(options.startFile, *seams->factory);
    } catch (const std::exception& e) {
        if (scriptRunner) {
            failScript(0, "cannot open " + options.startFile + ": " + e.what());
            return;
        }
        postNotice("Failed to open '" + options.startFile + "'.", 3);
        std::cerr << "morvel: " << options.startFile << ": " << e.what() << std::endl;
        return;
    }
    scenefiles::moveChildren(*loaded, *context->sceneRoot);
    context->sceneRoot->updateTransform();
    seams->documentHost.setCurrentFile(options.startFile);
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
    if (hapticMouse)
        hapticMouse->update(context->hapticManager->getState());
    Ogre::FrameEvent frame;
    frame.timeSinceLastFrame = seconds;
    frame.timeSinceLastEvent = seconds;
    context->functionManager->frameStarted(frame);
    showColourBox();
    showToolPlane();
    showToolMarks();
    statusLine.update(seconds);
    if (navigation)
        navigation->step(seconds);
    if (gripNavigation)
        gripNavigation->step(seconds);
    if (guiLayer)
        guiLayer->update(seconds);
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

void Application::showToolMarks() {
    const auto* tool = dynamic_cast<const IToolMarks*>(context->functionManager->getActiveTool());
    const IToolMarks::Marks marks = tool ? tool->getToolMarks() : IToolMarks::Marks();
    if (!context->toolMarksView) {
        if (marks.lines.empty() && marks.captions.empty())
            return;
        context->toolMarksView = std::make_unique<Kiln::ToolMarksView>(*context->graphicsManager->getSceneManager());
    }
    Kiln::ToolMarksView& view = *context->toolMarksView;
    view.beginFrame();
    for (const IToolMarks::Line& line : marks.lines)
        view.showLine(line.node, line.from, line.to, line.colour);
    for (const IToolMarks::Caption& caption : marks.captions)
        view.showCaption(caption.node, caption.at, caption.text);
    view.endFrame();
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
    if (context->hapticManager)
        if (auto* falcon = dynamic_cast<Kiln::HapticsDeviceFalcon*>(context->hapticManager->getDevice()))
            view.deviceHomed = falcon->isHomed();
    if (const FunctionManager* functions = context->functionManager.get()) {
        if (const FunctionBase* tool = functions->getActiveTool())
            view.tool = tool->getName();
        if (const auto* marking = dynamic_cast<const IToolMarks*>(functions->getActiveTool())) {
            const IToolMarks::Marks marks = marking->getToolMarks();
            for (const IToolMarks::Line& line : marks.lines)
                view.marks.push_back({line.node, {line.from, line.to}, ""});
            for (const IToolMarks::Caption& caption : marks.captions)
                view.marks.push_back({caption.node, {caption.at}, caption.text});
        }
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
    if (guiLayer)
        fillGuiView(*guiLayer, view);
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
    if (guiLayer)
        guiLayer->clearLastError();
    if (!functions.invokeFunction(name)) {
        const std::string& message = guiLayer ? guiLayer->getLastError() : seams->dialogs.getLastMessage();
        throw std::runtime_error(message.empty() ? name + " failed" : message);
    }
}

void Application::key(const std::string& keyName, bool down) {
    const OIS::KeyCode code = Kiln::keyCodeFromName(keyName);
    // A letter or digit carries its character, as a typed key does.
    const unsigned text = keyName.size() == 1 ? unsigned(std::tolower(static_cast<unsigned char>(keyName[0]))) : 0;
    if (down)
        context->inputManager->injectKeyPressed(code, text);
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

void Application::postNotice(const std::string& text, int type) {
    if (guiLayer)
        guiLayer->post(text, 0.f, type);
    else
        statusLine.post(text, -1.0, type);
}

void Application::startGui() {
    try {
        guiLayer = std::make_unique<Kiln::GuiLayer>(*context);
    } catch (const std::exception& e) {
        std::cerr << "morvel: the interface could not start, running without it: " << e.what() << std::endl;
        guiLayer.reset();
    }
}

void Application::startNavigation() {
    navigation = std::make_unique<Kiln::MouseNavigation>(
        *context->viewRoot, context->graphicsManager->getCamera(), *context->inputManager,
        [this](const std::string& text) { postNotice(text, 2); });
}

namespace {
void requireGui(const Kiln::GuiLayer* gui) {
    if (!gui)
        throw std::runtime_error("the interface is not running");
}
void check(const std::string& failure) {
    if (!failure.empty())
        throw std::runtime_error(failure);
}
} // namespace

void Application::click(const std::string& window) {
    requireGui(guiLayer.get());
    check(guiLayer->getInterface().click(window));
}

void Application::answer(const std::string& button) {
    requireGui(guiLayer.get());
    check(guiLayer->getDialogs().answer(button));
}

void Application::choose(const std::string& path) {
    requireGui(guiLayer.get());
    check(guiLayer->getDialogs().choose(path));
}

void Application::type(const std::string& text) {
    requireGui(guiLayer.get());
    Kiln::InterfaceManager& gui = guiLayer->getInterface();
    if (!gui.isEditboxFocused())
        throw std::runtime_error("no edit box has the focus");
    for (unsigned char c : text)
        gui.injectChar(c);
}

void Application::focus(const std::string& window) {
    requireGui(guiLayer.get());
    if (!guiLayer->getInterface().focusEditbox(window))
        throw std::runtime_error("'" + window + "' is not a visible, enabled edit box");
}

void Application::startHapticMouse() {
    Ogre::Camera* camera = context->graphicsManager->getCamera();
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    Kiln::HapticManager& haptics = *context->hapticManager;
    Kiln::HapticMouseControl::Hooks hooks;
    hooks.project = [camera, &graphics](const Kiln::HapticState& state, float& x, float& y) {
        const Ogre::Vector3 eye = camera->getViewMatrix(true) * state.proxyPosition;
        if (eye.z >= 0.f)
            return false; // behind the camera
        const Ogre::Vector3 clip = camera->getProjectionMatrix() * eye;
        x = (clip.x * 0.5f + 0.5f) * float(graphics.getWindowWidth());
        y = (0.5f - clip.y * 0.5f) * float(graphics.getWindowHeight());
        return true;
    };
    hooks.setHapticsEnabled = [&haptics](bool on) { haptics.setHapticsEnabled(on); };
    hooks.setStylusVisible = [&haptics](bool visible) { haptics.getStylus().setVisible(visible); };
    hapticMouse = std::make_unique<Kiln::HapticMouseControl>(guiLayer->getInterface(), std::move(hooks));
    // First among the listeners: presses over the GUI stop here.
    haptics.addListener(hapticMouse.get());
}

void Application::startInteractionModes() {
    context->applyInteractionMode = [this](std::uint32_t mode) {
        if (guiLayer)
            guiLayer->getInterface().setCursorVisible((mode & MODE_GUI_CURSOR) != 0);
        context->hapticManager->getStylus().setVisible((mode & MODE_STYLUS) != 0);
        if (hapticMouse)
            hapticMouse->setEnabled((mode & MODE_HAPTIC_MOUSE) != 0);
    };
    context->setInteractionMode(MODE_STYLUS | MODE_HAPTIC_MOUSE);
}
