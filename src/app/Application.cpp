#include "app/Application.h"
#include "functions/FunctionManager.h"
#include "functions/file/SceneContents.h"

#include "app/AppSeams.h"
#include "app/GripNavigation.h"
#include "app/GuiLayer.h"
#include "gui/HapticMouseControl.h"
#include "app/MouseNavigation.h"
#include "app/ViewControl.h"
#include "app/MouseStylus.h"
#include "functions/FunctionContext.h"

#include "config/ConfigurationFile.h"
#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"
#include "graphics/GraphicsPresenter.h"
#include "graphics/TextRenderer.h"
#include "graphics/TextureMaterials.h"
#include "haptics/HapticsPresenter.h"
#include "input/InputManager.h"
#include "log/Exception.h"
#include "platform/CrashGuard.h"
#include "platform/FatalMessage.h"
#include "platform/UserFolders.h"
#include "scene/ObjectGroup.h"
#include "scene/Scene.h"

#include <OgreRenderWindow.h>
#include <OgreStringConverter.h>

#include <chrono>
#include <iostream>

namespace CrashTexts {
namespace {
const char* const kSaved = "Your work has been saved in Documents/ForcedSave.cr8\n";
}

std::string unableToStart(const std::string& details) {
    return "The application was unable to start :(\n"
           "Check the haptic device is connected and powered.\n"
           "If this problem persists, please inform Brevant quoting the following details:\n" +
           details + "\n";
}

std::string wobbler(bool saved, const std::string& details) {
    return std::string("The application threw a wobbler :(\n") + (saved ? kSaved : "") +
           "Please inform Brevant quoting the following details:\n" + details + "\n";
}

std::string encounteredError(bool saved, const std::string& details) {
    return std::string("The application encountered an error :(\n") + (saved ? kSaved : "") +
           "Please inform Brevant quoting the following details:\n" + details + "\n";
}

std::string sumsWrong(bool saved) {
    return std::string("It looks like the application got its sums wrong :(\n") +
           (saved ? kSaved : "") + "Please inform Brevant.\n";
}

std::string mysterious(bool saved) {
    return std::string("I'm sorry, something really weird happened :(\n") + (saved ? kSaved : "") +
           "Please inform Brevant.\n";
}
} // namespace CrashTexts

Application::Application(const std::string& settingsFile, const std::string& hapticSettingsFile_)
    : hapticSettingsFile(hapticSettingsFile_), context(std::make_unique<AppContext>()) {
    using Kiln::GraphicsManager;

    const std::string dataDirectory = Kiln::dataDirectory();
    auto settings = std::make_unique<Kiln::SimpleXMLKeyValueStore>(settingsFile, dataDirectory);
    Kiln::GraphicsOptions graphicsOptions;
    graphicsOptions.dataDirectory = dataDirectory;
    graphicsOptions.logDirectory = Kiln::userStateFolder();
    context->graphicsManager = GraphicsManager::create(std::move(settings), graphicsOptions);
    createSceneRoots();

    // Start-up values of the GUI; nothing has started yet, so plain
    // assignments (the guarded GraphicsManager::assign is for values set
    // from outside once the loop may be running).
    guiConfigFile = "cegui.config";
    guiResourceGroup = "GUI";
    layoutFile.clear();
    context->exportFormats = Kiln::makeExportRegistry();
    context->importFormats = Kiln::makeImportRegistry();
    context->textureMaterials = std::make_unique<Kiln::EngineTextureMaterials>();
    for (const auto& format : context->importFormats.getAllFormats())
        format->setTextureMaterials(context->textureMaterials.get());
    for (const auto& format : context->exportFormats.getAllFormats())
        format->setTextureMaterials(context->textureMaterials.get());
}

void Application::createSceneRoots() {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    context->scene = Kiln::Scene::create();
    context->scene->addPresenter("graphics", &graphics);
    const auto presented = [&graphics] {
        auto root = std::make_unique<Kiln::ObjectGroup>();
        root->setPresenter("graphics", std::make_unique<Kiln::GraphicsPresenter>(*graphics.getSceneManager()));
        // The haptic manager finds the objects under a root, and follows the
        // view root's moves, through the roots' haptics presenters.
        root->setPresenter("haptics", std::make_unique<Kiln::HapticsPresenterBase>());
        return root;
    };
    context->sceneRoot = presented();
    context->sceneRoot->setScale(Ogre::Vector3(0.2f));
    context->viewRoot = presented();
    context->viewRoot->setPosition(graphics.getCameraPosition());
}

void Application::addRootsToScene() {
    context->scene->addObject(context->sceneRoot->getHandle());
    context->scene->addObject(context->viewRoot->getHandle());
    // The camera and the lights travel with the view root from now on.
    context->scene->setActiveObject(context->viewRoot->getHandle());
}

void Application::setCommandLine(const std::string& text) {
    if (text.empty())
        return;
    commandLine = text;
    arguments = Kiln::splitCommandLine(text);
    Kiln::interpretArguments(arguments, options);
}

void Application::run() {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    if (!options.scriptPath.empty()) {
        try {
            scriptCommands = Kiln::loadScript(options.scriptPath, [](const std::string& name) {
                return Kiln::keyCodeFromName(name) != OIS::KC_UNASSIGNED;
            });
        } catch (const Kiln::ScriptError& e) {
            std::cerr << "morvel: " << options.scriptPath << ":" << e.line << ": " << e.what()
                      << std::endl;
            exitStatus = 1;
            return;
        }
    }
    graphics.addListener(this);
    started = true;
    graphics.startScene();
    for (;;) {
        const float dt = float(graphics.takeFrameMicroseconds()) / 1000000.0f;
        const auto frameStart = std::chrono::steady_clock::now();
        interactionMs = 0.0;
        const bool goOn = graphics.renderOneFrame(dt);
        frameTimes.addFrame(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - frameStart).count(),
            interactionMs);
        if (!goOn)
            break;
    }
    if (!options.screenshotPath.empty())
        std::cout << "Screenshot written to " << graphics.saveScreenshot(options.screenshotPath)
                  << std::endl;
    graphics.removeListener(this);
    Kiln::ConfigurationFile::save();
    context->endUnlessKeptRunning();
}

int Application::guardedRun() {
    try {
        run();
        return exitStatus;
    } catch (const DeviceRefused& e) {
        std::cerr << "morvel: " << e.what() << std::endl;
        return 1;
    } catch (const std::exception& e) {
        const bool saved = forcedSave();
        Kiln::showFatalMessage("Oops!", CrashTexts::encounteredError(saved, e.what()));
    } catch (...) {
        const bool saved = forcedSave();
        Kiln::showFatalMessage("Mysterious error", CrashTexts::mysterious(saved));
    }
    return -1;
}

namespace {
/// Ample for a scene of millions of faces on a slow disk.
constexpr unsigned kCrashSaveSeconds = 60;
} // namespace

int Application::runProtected() {
    return Kiln::runGuarded([this] { return guardedRun(); },
                            [this](Kiln::Fault fault) -> int {
                                // Bounded: a save stuck on a lock the fault
                                // left held must not keep the process alive.
                                Kiln::armFaultWatchdog(kCrashSaveSeconds);
                                const bool saved = forcedSave();
                                Kiln::disarmFaultWatchdog();
                                if (fault == Kiln::Fault::Arithmetic)
                                    Kiln::showFatalMessage("Oops!", CrashTexts::sumsWrong(saved));
                                else
                                    Kiln::showFatalMessage(
                                        "Oops!", CrashTexts::wobbler(saved, "Invalid memory access"));
                                // No teardown: the fault may have left the
                                // engine, the GUI or a lock in any state.
                                Kiln::endAfterFault(-1);
                            });
}

bool Application::forcedSave() {
    if (!context->sceneRoot || context->sceneRoot->getChildren().empty())
        return false;
    const std::string documents = Kiln::documentsFolder();
    if (documents.empty() || !Kiln::ensureDirectory(documents))
        return false;
    // The crash path: whatever goes wrong here only costs the saved line.
    // The same writer as the save tool, so the file reopens at the size the
    // user saw.
    try {
        scenefiles::writeSceneContents(*context->sceneRoot, documents + "/ForcedSave.cr8");
        return true;
    } catch (...) {
        return false;
    }
}

void Application::onStartScene() {
    Kiln::ConfigurationFile::load("FunctionConfig.cfg");
    addRootsToScene();
    if (options.showFrameCount)
        showFrameCounters();
    startInteraction();
}

void Application::showFrameCounters() {
    Kiln::TextRenderer& text = context->graphicsManager->getTextRenderer();
    text.addTextBox("HapticFPS", "", 0.04f, 0.8f, 0.1f, 0.05f, Ogre::ColourValue::White, false);
    text.addTextBox("GraphicsFPS", "", 0.04f, 12.0f, 0.1f, 0.05f, Ogre::ColourValue::Green, false);
}

void Application::onUpdate(const float&) {
    Kiln::GraphicsManager& graphics = *context->graphicsManager;
    ++frameCount;
    if (options.showFrameCount)
        graphics.getTextRenderer().setText(
            "GraphicsFPS", "Graphics FPS: " + Ogre::StringConverter::toString(graphics.getRenderWindow()->getStatistics().lastFPS));
    if (options.exitAfterFrames > 0 && frameCount >= std::uint64_t(options.exitAfterFrames))
        context->flags |= APP_FLAG_END_REQUESTED;
    if (context->isEndRequested()) {
        std::cout << "GraphicsManager::endScene()" << std::endl;
        graphics.requestStop();
    }
}

void Application::onPreRender() {
    const auto start = std::chrono::steady_clock::now();
    updateInteraction(context->graphicsManager->getLastFrameTime());
    interactionMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool Application::onWindowClosing() {
    // The window closes only once the quit tool has decided to end the
    // program; until then a close asks it (again, each time), so that no
    // close loses unsaved work.
    if (context->isEndRequested())
        return true;
    FunctionManager* functions = context->functionManager.get();
    if (!functions || !functions->findFunction("QuitFunction"))
        return true;
    functions->invokeFunction("QuitFunction");
    return false;
}

void Application::onWindowFocusChange(bool focused) {
    if (focused != hasFocus)
        postNotice(focused ? "Regained window focus." : "Lost window focus. Keys will not work.", 2);
    hasFocus = focused;
}
