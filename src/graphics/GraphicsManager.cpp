#include "graphics/GraphicsManager.h"

#include "config/ConfigReader.h"
#include "detail/GpuCommandBufferFlush.h"
#include "graphics/GraphicsPresenter.h"
#include "detail/Light.h"
#include "graphics/TextRenderer.h"
#include "log/DebugChannel.h"
#include "platform/X11WindowEvents.h"
#include "platform/XDisplay.h"
#include "scene/ObjectGroup.h"

#include <Ogre.h>
#include <OgreConfigFile.h>
#include <OgreOverlaySystem.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <iostream>

namespace Kiln {
namespace {

DebugChannel& channel() { return debugChannel("GraphicsManager"); }

/// `path` itself when it exists or is absolute, else inside `base`.
std::string resolve(const std::string& path, const std::string& base) {
    std::error_code ec;
    if (path.empty() || path[0] == '/' || base.empty() || std::filesystem::exists(path, ec))
        return path;
    return base + "/" + path;
}

/// The file the engine opens for a plug-in name: a bare name gets the
/// engine's own versioned suffix (RenderSystem_GL.so.1.12.10), which the
/// runtime package ships; the unversioned link exists only where the
/// engine's development files are installed.
std::string pluginFileName(const std::string& plugin) {
    if (plugin.find(".so") != std::string::npos)
        return plugin;
    return plugin + ".so." + std::to_string(OGRE_VERSION_MAJOR) + "." + std::to_string(OGRE_VERSION_MINOR) + "." +
           std::to_string(OGRE_VERSION_PATCH);
}

/// Loads the plug-ins named in `pluginsFile` once more, never to be unloaded.
/// A plug-in that fails while the engine starts (the render system cannot
/// open the display, say) throws an exception whose code lives in the
/// plug-in, and the engine unloads its plug-ins before the exception reaches
/// us; pinned, the code stays mapped while the exception is handled.
void pinPlugins(const std::string& pluginsFile) {
    Ogre::ConfigFile config;
    try {
        config.load(pluginsFile);
    } catch (const Ogre::Exception&) {
        return;  // the engine reports the missing file itself
    }
    const std::string folder = config.getSetting("PluginFolder");
    for (const std::string& plugin : config.getMultiSetting("Plugin")) {
        const std::string path = (folder.empty() ? std::string() : folder + "/") + pluginFileName(plugin);
        dlopen(path.c_str(), RTLD_LAZY | RTLD_NODELETE);
    }
}

Ogre::ShadowTechnique shadowTechnique(const std::string& name) {
    static const std::array<std::pair<const char*, Ogre::ShadowTechnique>, 6> techniques = {{
        {"STENCIL_ADDITIVE", Ogre::SHADOWTYPE_STENCIL_ADDITIVE},
        {"STENCIL_MODULATIVE", Ogre::SHADOWTYPE_STENCIL_MODULATIVE},
        {"TEXTURE_ADDITIVE", Ogre::SHADOWTYPE_TEXTURE_ADDITIVE},
        {"TEXTURE_MODULATIVE", Ogre::SHADOWTYPE_TEXTURE_MODULATIVE},
        {"TEXTURE_ADDITIVE_INTEGRATED", Ogre::SHADOWTYPE_TEXTURE_ADDITIVE_INTEGRATED},
        {"TEXTURE_MODULATIVE_INTEGRATED", Ogre::SHADOWTYPE_TEXTURE_MODULATIVE_INTEGRATED},
    }};
    for (const auto& [text, technique] : techniques)
        if (name == text)
            return technique;
    return Ogre::SHADOWTYPE_NONE;
}

/// Lends one store to several readers (one per start-up attempt).
class SharedStore : public IKeyValueStore {
public:
    explicit SharedStore(std::shared_ptr<IKeyValueStore> store) : store(std::move(store)) {}
    std::string operator[](const std::string& key) const override { return (*store)[key]; }

private:
    std::shared_ptr<IKeyValueStore> store;
};

class GraphicsManagerImpl final : public GraphicsManager {
public:
    GraphicsManagerImpl(std::unique_ptr<IKeyValueStore> store, const GraphicsOptions& options);
    ~GraphicsManagerImpl() override;

    unsigned long takeFrameMicroseconds() override {
        const unsigned long us = timer.getMicroseconds();
        timer.reset();
        return us;
    }
    Ogre::Root* getRoot() const override { return root.get(); }
    Ogre::RenderWindow* getRenderWindow() const override { return window; }
    TextRenderer& getTextRenderer() override { return *textRenderer; }
    ConfigReader& getSettings() override { return settings; }

protected:
    void pumpWindowEvents() override;
    bool renderEngineFrame(float dt) override { return root->renderOneFrame(dt); }
    void updateViewport() override { viewport->_updateDimensions(); }
    void carryCameraAndLights(Ogre::SceneNode& node) override;

private:
    void setUp();
    void createRoot();
    void chooseRenderSystem();
    void createWindow();
    void loadResources();
    void createCameraAndViewport();
    void createSky();
    void createLights();
    void setUpShadows();
    void destroyEngine();

    Ogre::Timer timer;
    ConfigReader settings;
    GraphicsOptions options;
    std::unique_ptr<Ogre::Root> root;
    Ogre::RenderWindow* window = nullptr;
    std::unique_ptr<Ogre::OverlaySystem> overlaySystem;
    std::unique_ptr<TextRenderer> textRenderer;
    std::vector<std::unique_ptr<Light>> lights;
    GpuCommandBufferFlush commandBufferFlush;
    std::unique_ptr<X11WindowEvents> windowEvents;
    Ogre::SceneNode* cameraNode = nullptr;
};

GraphicsManagerImpl::GraphicsManagerImpl(std::unique_ptr<IKeyValueStore> store,
                                         const GraphicsOptions& options_)
    : settings(std::move(store)), options(options_) {
    timer.reset();
    // An engine exception may come from a plug-in that tear-down unloads,
    // taking the exception's code with it: keep its text, leave the catch,
    // and only then tear down.
    std::string engineFailure;
    try {
        setUp();
    } catch (const Exception&) {
        destroyEngine();
        throw;
    } catch (const Ogre::Exception& e) {
        engineFailure = e.getDescription() + " in " + e.getSource();
    } catch (const std::exception& e) {
        engineFailure = e.what();
    }
    if (!engineFailure.empty()) {
        destroyEngine();
        throw Exception(ErrorCode::General, engineFailure, "Kiln::GraphicsManager::create()");
    }
}

void GraphicsManagerImpl::setUp() {
    handleExceptions = settings.readBool("Application.HandleException", false);
    screenshotExtension = settings.readString("Scene.SaveExtension", "bmp");
    createRoot();
    chooseRenderSystem();
    sceneManager = root->createSceneManager("DefaultSceneManager", "KilnSceneManager");
    overlaySystem = std::make_unique<Ogre::OverlaySystem>();
    sceneManager->addRenderQueueListener(overlaySystem.get());
    createWindow();
    loadResources();
    createCameraAndViewport();
    createSky();
    createLights();
    setUpShadows();
    textRenderer = std::make_unique<TextRenderer>();
    rotateCameraWithMouse = settings.readBool("Mouse.RotateCamera", true);
}

void GraphicsManagerImpl::createRoot() {
    const std::string pluginsFile =
        resolve(settings.readString("Application.PluginsFile", "Plugins.cfg"), options.dataDirectory);
    const std::string logFile =
        options.logDirectory.empty() ? std::string() : options.logDirectory + "/Kiln.log";
    // A log manager of our own keeps the engine's chatter out of the terminal.
    if (!Ogre::LogManager::getSingletonPtr()) {
        auto* logs = new Ogre::LogManager();
        logs->createLog(logFile.empty() ? "Kiln.log" : logFile, true, false, logFile.empty());
    }
    pinPlugins(pluginsFile);
    root = std::make_unique<Ogre::Root>(pluginsFile, "", logFile);
}

void GraphicsManagerImpl::chooseRenderSystem() {
    const std::string wanted = settings.readString("Application.RenderApi", "OpenGL");
    const Ogre::RenderSystemList& available = root->getAvailableRenderers();
    if (available.empty())
        throw Exception(ErrorCode::General, "No render system is available (check the plug-ins file)",
                        "Kiln::GraphicsManager::create()");
    Ogre::RenderSystem* chosen = available.front();
    for (Ogre::RenderSystem* candidate : available)
        if (candidate->getName().find(wanted) != std::string::npos) {
            chosen = candidate;
            break;
        }
    renderApi = renderApiFromName(chosen->getName());
    root->setRenderSystem(chosen);
    root->initialise(false, "OGRE Render Window");
}

void GraphicsManagerImpl::createWindow() {
    const bool fullscreen = settings.readBool("Application.Fullscreen", false);
    const bool useDesktop = settings.readBool("Window.UseDesktopResolution", false);
    std::string resolution;
    if (useDesktop) {
        const bool clientAreaOnly = settings.readBool("Window.UseOnlyClientArea", true);
        const auto modes = root->getRenderSystem()->getConfigOptions();
        const auto mode = modes.find("Video Mode");
        resolution = mode != modes.end() && !mode->second.possibleValues.empty()
                         ? mode->second.possibleValues.back()
                         : std::string("1280x1024");
        // The area a maximised window gets, without the desktop's panels.
        unsigned areaWidth = 0, areaHeight = 0;
        if (clientAreaOnly && !fullscreen && desktopWorkArea(areaWidth, areaHeight))
            resolution = std::to_string(areaWidth) + "x" + std::to_string(areaHeight);
    } else {
        resolution = settings.readString("Application.Resolution", "");
        if (resolution.empty()) {
            const auto modes = root->getRenderSystem()->getConfigOptions();
            const auto mode = modes.find("Video Mode");
            resolution = mode != modes.end() ? mode->second.currentValue : std::string("800x600");
        }
    }
    parseResolution(resolution, windowWidth, windowHeight);

    Ogre::NameValuePairList windowOptions;
    windowOptions["fullscreen"] = fullscreen ? "true" : "false";
    windowOptions["vsync"] = settings.readString("Application.Vsync", "true");
    window = root->createRenderWindow(settings.readString("Window.Title", "Brevant Demo"),
                                      windowWidth, windowHeight, fullscreen, &windowOptions);
    void* display = nullptr;
    unsigned long handle = 0;
    window->getCustomAttribute("XDISPLAY", &display);
    window->getCustomAttribute("WINDOW", &handle);
    if (display && handle)
        windowEvents = std::make_unique<X11WindowEvents>(display, handle);
    commandBufferFlush.start(*root, unsigned(std::max(1, settings.readInt("Gpu.MaxQueuedFrames", 2))));
}

void GraphicsManagerImpl::loadResources() {
    const std::string resourceFile =
        resolve(settings.readString("Application.ResourceFile", "resources.cfg"), options.dataDirectory);
    Ogre::ConfigFile config;
    config.load(resourceFile, "\t:=", true);
    auto& resources = Ogre::ResourceGroupManager::getSingleton();
    for (const auto& [group, entries] : config.getSettingsBySection())
        for (const auto& [archiveType, location] : entries)
            resources.addResourceLocation(resolve(location, options.dataDirectory), archiveType,
                                          group.empty() ? Ogre::RGN_DEFAULT : group);
    resources.initialiseAllResourceGroups();
}

void GraphicsManagerImpl::createCameraAndViewport() {
    camera = sceneManager->createCamera(settings.readString("Camera.Name", "MainCamera"));
    cameraPosition = settings.readVector3("Camera.Position", "0 5 75");
    cameraNode = sceneManager->getRootSceneNode()->createChildSceneNode(cameraPosition);
    cameraNode->attachObject(camera);
    camera->setNearClipDistance(settings.readFloat("Camera.NearClipDistance", 1.0f));
    camera->setAutoAspectRatio(true);
    viewport = window->addViewport(camera, 0, 0, 0, 1, 1);
    viewport->setBackgroundColour(settings.readColour("Background.Color", "0.2 0.2 0.4"));
    viewport->setClearEveryFrame(true);
    camera->setAspectRatio(Ogre::Real(windowWidth) / Ogre::Real(std::max(1u, windowHeight)));
}

void GraphicsManagerImpl::createSky() {
    const std::string box = settings.readString("Background.Skybox", "");
    const float boxDistance = settings.readFloat("Background.SkyboxDistance", 50);
    if (!box.empty())
        sceneManager->setSkyBox(true, box, boxDistance);
    const std::string dome = settings.readString("Background.Skydome", "");
    const float curvature = settings.readFloat("Background.SkydomeCurvature", 50);
    const float domeDistance = settings.readFloat("Background.SkydomeDistance", 50);
    if (!dome.empty())
        sceneManager->setSkyDome(true, dome, curvature, 1, domeDistance, true,
                                 Ogre::Quaternion::IDENTITY, 16, 16, -1);
}

void GraphicsManagerImpl::createLights() {
    for (const char* name : {"Light1", "Light2", "Light3"}) {
        const ConfigReader::Section section = settings.enterSection(name);
        lights.push_back(std::make_unique<Light>(settings, *sceneManager,
                                                 *sceneManager->getRootSceneNode()));
    }
}

void GraphicsManagerImpl::setUpShadows() {
    sceneManager->setAmbientLight(settings.readColour("Scene.Ambient", "0 0 0 0"));
    sceneManager->setShadowColour(settings.readColour("Shadows.Color", "0.8 0.8 0.8 0.8"));
    const std::string type = settings.readString("Shadows.ShadowType", "STENCIL_ADDITIVE");
    sceneManager->setShadowTechnique(shadowTechnique(type));
    if (type.find("TEXTURE_") == std::string::npos)
        return;
    sceneManager->setShadowTextureSize(Ogre::ushort(settings.readInt("Shadows.TextureSize", 512)));
    sceneManager->setShadowDirLightTextureOffset(settings.readFloat("Shadows.TextureOffset", 0.6f));
    sceneManager->setShadowTextureSelfShadow(settings.readBool("Shadows.TextureSelfShadow", true));
    const std::string caster = settings.readString("Shadows.TextureShadowCasterMaterial", "");
    if (!caster.empty())
        sceneManager->setShadowTextureCasterMaterial(
            Ogre::MaterialManager::getSingleton().getByName(caster));
    sceneManager->setShadowTextureCount(size_t(std::max(1, settings.readInt("Shadows.TextureCount", 1))));
    const std::string format = settings.readString("Shadows.TexturePixelFormat", "FLOAT16_RGB");
    sceneManager->setShadowTexturePixelFormat(format == "FLOAT32_R" ? Ogre::PF_FLOAT32_R
                                                                    : Ogre::PF_FLOAT16_RGB);
    sceneManager->setShadowCasterRenderBackFaces(settings.readBool("Shadows.CasterRenderBackFace", false));
}

void GraphicsManagerImpl::pumpWindowEvents() {
    if (!windowEvents)
        return;
    WindowEventHandlers handlers;
    handlers.resized = [this](unsigned width, unsigned height) {
        window->resize(width, height);
        notifyWindowResized(width, height);
    };
    handlers.closeRequested = [this] { notifyWindowClosing(); };
    handlers.focusChanged = [this](bool focused) { notifyFocusChange(focused); };
    windowEvents->pump(handlers);
}

void GraphicsManagerImpl::carryCameraAndLights(Ogre::SceneNode& node) {
    camera->detachFromParent();
    node.attachObject(camera);
    for (const auto& light : lights) {
        Ogre::SceneNode* lightNode = light->getNode();
        if (Ogre::SceneNode* parent = lightNode->getParentSceneNode())
            parent->removeChild(lightNode);
        node.addChild(lightNode);
    }
}

void GraphicsManagerImpl::destroyEngine() {
    textRenderer.reset();
    commandBufferFlush.stop();
    lights.clear();
    windowEvents.reset();
    if (root) {
        if (sceneManager) {
            sceneManager->removeRenderQueueListener(overlaySystem.get());
            sceneManager->clearScene();
            root->destroySceneManager(sceneManager);
            sceneManager = nullptr;
        }
        camera = nullptr;
        viewport = nullptr;
        if (window) {
            root->getRenderSystem()->destroyRenderWindow(window->getName());
            window = nullptr;
        }
        overlaySystem.reset();
        root.reset();
    }
    overlaySystem.reset();
    delete Ogre::LogManager::getSingletonPtr();
}

GraphicsManagerImpl::~GraphicsManagerImpl() {
    debugChannel("GraphicsManager") << "GraphicsManager::Impl::~Impl()" << Kiln::endl;
    try {
        notifyEndScene();
        destroyEngine();
    } catch (const std::exception& e) {
        std::cerr << "Exception caught in GraphicsManager::_destroyGraphicsManager():" << std::endl
                  << e.what() << std::endl;
    }
}

} // namespace

std::unique_ptr<GraphicsManager> GraphicsManager::create(std::unique_ptr<IKeyValueStore> settings,
                                                         const GraphicsOptions& options) {
    // The engine opens its own X connection and gives up when the server
    // refuses it for a moment; the settings are kept for another try.
    std::shared_ptr<IKeyValueStore> shared(std::move(settings));
    return retryOnXRefusal(
        20,
        [&]() -> std::unique_ptr<GraphicsManager> {
            return std::make_unique<GraphicsManagerImpl>(std::make_unique<SharedStore>(shared), options);
        },
        [](const std::exception& e) {
            return std::string(e.what()).find("open X display") != std::string::npos;
        });
}

GraphicsManager::~GraphicsManager() = default;

void GraphicsManager::startScene() {
    try {
        listeners.notify([](GraphicsListener* l) { l->onStartScene(); });
    } catch (const std::exception& e) {
        std::cerr << "Caught exception in GraphicsManager::startScene(): exiting..." << std::endl
                  << e.what() << std::endl;
        throw;
    }
    takeFrameMicroseconds();
}

bool GraphicsManager::renderOneFrame(float dt) {
    try {
        lastFrameTime = dt;
        channel() << "renderOneFrame dt=" << dt << endl;
        pumpWindowEvents();
        if (notifyListeners)
            listeners.notify([dt](GraphicsListener* l) { l->onUpdate(dt); });
        if (!stopRequested) {
            if (notifyListeners)
                listeners.notify([](GraphicsListener* l) { l->onPreRender(); });
            refreshPresenters();
            updateViewport();
            stopRequested = !renderEngineFrame(dt);
            if (notifyListeners)
                listeners.notify([](GraphicsListener* l) { l->onPostRender(); });
        }
    } catch (...) {
        stopRequested = true;
        throw;
    }
    return !stopRequested;
}

namespace {

void refreshSubtree(const ObjectGroup& node) {
    if (GraphicsPresenter* presenter = GraphicsPresenter::of(node))
        presenter->refresh();
    for (const auto& child : node.getChildren())
        refreshSubtree(*child);
}

} // namespace

void GraphicsManager::objectAdded(ObjectHandle root) {
    presentedRoots.push_back(root);
    if (!root || !sceneManager)
        return;
    if (GraphicsPresenter* presenter = GraphicsPresenter::of(*root.get())) {
        Ogre::SceneNode* node = presenter->getSceneNode();
        if (Ogre::SceneNode* parent = node->getParentSceneNode())
            parent->removeChild(node);
        sceneManager->getRootSceneNode()->addChild(node);
    }
}

void GraphicsManager::objectRemoved(ObjectHandle root) {
    presentedRoots.erase(std::remove(presentedRoots.begin(), presentedRoots.end(), root),
                         presentedRoots.end());
    if (!root || !sceneManager)
        return;
    if (GraphicsPresenter* presenter = GraphicsPresenter::of(*root.get())) {
        Ogre::SceneNode* node = presenter->getSceneNode();
        if (node->getParentSceneNode() == sceneManager->getRootSceneNode())
            sceneManager->getRootSceneNode()->removeChild(node);
    }
}

void GraphicsManager::setActiveObject(ObjectHandle root) {
    if (!root)
        return;
    if (GraphicsPresenter* presenter = GraphicsPresenter::of(*root.get()))
        carryCameraAndLights(*presenter->getSceneNode());
}

void GraphicsManager::refreshPresenters() {
    for (const ObjectHandle& root : presentedRoots)
        if (root)
            refreshSubtree(*root.get());
}

void GraphicsManager::notifyWindowResized(unsigned width, unsigned height) {
    windowWidth = width;
    windowHeight = height;
    if (camera)
        camera->setAspectRatio(Ogre::Real(width) / Ogre::Real(std::max(1u, height)));
}

void GraphicsManager::notifyWindowClosing() {
    bool mayClose = true;
    listeners.notify([&mayClose](GraphicsListener* l) { mayClose = l->onWindowClosing() && mayClose; });
    if (mayClose) {
        stopRequested = true;
        notifyListeners = true;
    }
}

void GraphicsManager::notifyFocusChange(bool focused) {
    listeners.notify([focused](GraphicsListener* l) { l->onWindowFocusChange(focused); });
}

void GraphicsManager::notifyEndScene() {
    listeners.notify([](GraphicsListener* l) { l->onEndScene(); });
}

std::string GraphicsManager::screenshotPath(const std::string& path) const {
    return screenshotPathFor(path, screenshotExtension);
}

std::string screenshotPathFor(const std::string& path, const std::string& screenshotExtension) {
    static const std::array<const char*, 15> known = {"BMP", "EXR", "RAW", "GIF", "HDR",
                                                      "JNG", "JPG", "PBM", "PGM", "PNG",
                                                      "PPM", "TGA", "TIF", "WBMP", "XPM"};
    if (path.size() >= 4 && path[path.size() - 4] == '.') {
        std::string extension = path.substr(path.size() - 3);
        for (char& c : extension)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        for (const char* candidate : known)
            if (extension == candidate)
                return path;
    }
    return path + "." + screenshotExtension;
}

std::string GraphicsManager::saveScreenshot(const std::string& path) {
    const std::string target = screenshotPath(path);
    getRenderWindow()->writeContentsToFile(target);
    return target;
}

RenderApi renderApiFromName(const std::string& name) {
    if (name.find("OSVR OpenGL") != std::string::npos)
        return RENDER_API_OSVR_OPENGL;
    if (name.find("OpenGL") != std::string::npos)
        return RENDER_API_OPENGL;
    if (name.find("Direct3D9") != std::string::npos)
        return RENDER_API_DIRECT3D9;
    return RENDER_API_OTHER;
}

void parseResolution(const std::string& text, unsigned& width, unsigned& height) {
    const auto x = text.find('x');
    try {
        if (x == std::string::npos)
            throw std::invalid_argument("no x");
        std::size_t used = 0;
        const unsigned long w = std::stoul(text, &used);
        const unsigned long h = std::stoul(text.substr(x + 1));
        if (w == 0 || h == 0 || w > 16384 || h > 16384)
            throw std::out_of_range("size");
        width = unsigned(w);
        height = unsigned(h);
    } catch (const std::logic_error&) {
        throw Exception(ErrorCode::General, "Invalid window resolution '" + text + "' (expected e.g. 1280x1024)",
                        "Kiln::parseResolution()");
    }
}

} // namespace Kiln
