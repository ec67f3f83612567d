#pragma once
// Owns the 3D engine for the whole program: root, render system, window,
// resources, scene manager, camera, viewport, sky, lights and shadows, and
// runs one frame at a time for the application's loop while telling its
// listeners what happens (start, frames, window close and focus, end).
#include "graphics/GraphicsListener.h"
#include "graphics/ListenerList.h"
#include "log/Exception.h"
#include "scene/Scene.h"

#include <OgreVector.h>

#include <memory>
#include <string>
#include <vector>

namespace Ogre {
class Camera;
class SceneNode;
class RenderWindow;
class Root;
class SceneManager;
class Viewport;
} // namespace Ogre

namespace Kiln {

class ConfigReader;
class IKeyValueStore;
class TextRenderer;

/// Render API families, by the chosen render system's name.
enum RenderApi { RENDER_API_OTHER = 0, RENDER_API_OPENGL = 1, RENDER_API_OSVR_OPENGL = 2,
                 RENDER_API_DIRECT3D9 = 3 };

/// Things only the program's host decides (not user settings).
struct GraphicsOptions {
    /// Base for relative plug-in, resource and media paths.
    std::string dataDirectory;
    /// Folder of the engine log "Kiln.log"; empty: no log file.
    std::string logDirectory;
};

/// Also the scene presenter "graphics": roots added to the scene are hung
/// into the rendered scene through their "graphics" presenters.
class GraphicsManager : public IScenePresenter {
public:
    /// Builds the engine from `settings` (taking it over) and opens the
    /// window. Throws what the engine throws (missing plug-ins, no render
    /// system, bad resources) as Kiln::Exception.
    static std::unique_ptr<GraphicsManager> create(std::unique_ptr<IKeyValueStore> settings,
                                                   const GraphicsOptions& options);
    ~GraphicsManager() override;
    GraphicsManager(const GraphicsManager&) = delete;
    GraphicsManager& operator=(const GraphicsManager&) = delete;

    /// Tells every listener onStartScene, then restarts the frame timer.
    void startScene();
    /// One frame: window events, onUpdate, onPreRender, render, onPostRender.
    /// Returns false once the loop should stop. An exception stops the
    /// loop and is passed on.
    bool renderOneFrame(float dt);
    /// Microseconds since the last call (or since startScene), and restart.
    virtual unsigned long takeFrameMicroseconds() = 0;

    void addListener(GraphicsListener* listener) { listeners.add(listener); }
    void removeListener(GraphicsListener* listener) { listeners.remove(listener); }
    /// While false, frames still render but listeners get no onUpdate,
    /// onPreRender or onPostRender (while a modal dialog owns the program,
    /// say). A window close that every listener allows turns it back on,
    /// so that listeners see the last frames. Initially true.
    void setListenersNotified(bool notified) { notifyListeners = notified; }
    bool areListenersNotified() const { return notifyListeners; }
    /// Ends the loop after the current frame.
    void requestStop() { stopRequested = true; }
    bool isStopRequested() const { return stopRequested; }

    /// Hangs the root's "graphics" scene node under the engine's root node.
    /// A root without a graphics presenter is only remembered.
    void objectAdded(ObjectHandle root) override;
    /// Takes the root's scene node out of the rendered scene.
    void objectRemoved(ObjectHandle root) override;
    /// The camera and the lights move onto the root's scene node, so that
    /// they follow the root from now on.
    void setActiveObject(ObjectHandle root) override;
    /// The roots added and not removed, in order (dead ones included).
    const std::vector<ObjectHandle>& getPresentedRoots() const { return presentedRoots; }
    /// Lets every presenter under the presented roots pick up mesh changes
    /// made without a notification. Each frame does this before rendering.
    void refreshPresenters();

    /// Writes the window's contents. A path with a known three-letter image
    /// extension is used as it is; any other gets "." + the configured
    /// screenshot extension appended. Returns the path written.
    std::string saveScreenshot(const std::string& path);
    /// The path saveScreenshot would write for `path`.
    std::string screenshotPath(const std::string& path) const;

    virtual Ogre::Root* getRoot() const = 0;
    virtual Ogre::RenderWindow* getRenderWindow() const = 0;
    virtual TextRenderer& getTextRenderer() = 0;
    virtual ConfigReader& getSettings() = 0;
    Ogre::SceneManager* getSceneManager() const { return sceneManager; }
    Ogre::Camera* getCamera() const { return camera; }
    Ogre::Viewport* getViewport() const { return viewport; }
    RenderApi getRenderApi() const { return renderApi; }
    const Ogre::Vector3& getCameraPosition() const { return cameraPosition; }
    bool getRotateCameraWithMouse() const { return rotateCameraWithMouse; }
    float getLastFrameTime() const { return lastFrameTime; }
    unsigned getWindowWidth() const { return windowWidth; }
    unsigned getWindowHeight() const { return windowHeight; }
    const std::string& getScreenshotExtension() const { return screenshotExtension; }
    /// "Application.HandleException" as read at start-up; kept for whoever
    /// installs handlers, nothing in the graphics layer acts on it.
    bool getHandleExceptions() const { return handleExceptions; }

    /// Assigns a start-up value; refuses once the loop has started.
    template <typename T, typename U>
    static void assign(T& target, U&& value, bool started) {
        if (started)
            throw Exception(ErrorCode::General, "Value cannot be assigned after the application has started",
                            "Kiln::GraphicsManager::assign<>()");
        target = std::forward<U>(value);
    }

protected:
    GraphicsManager() = default;
    /// Handles the window system's pending events (resize, close, focus).
    virtual void pumpWindowEvents() = 0;
    /// Renders one frame; false when the engine reports failure.
    virtual bool renderEngineFrame(float dt) = 0;
    virtual void updateViewport() = 0;
    /// Moves the camera and the light nodes onto `node`.
    virtual void carryCameraAndLights(Ogre::SceneNode& node) = 0;

    void notifyWindowResized(unsigned width, unsigned height);
    /// Asks every listener; stops the loop only when all agree.
    void notifyWindowClosing();
    void notifyFocusChange(bool focused);
    void notifyEndScene();

    bool notifyListeners = true;
    ListenerList<GraphicsListener> listeners;
    float lastFrameTime = 0;
    Ogre::Viewport* viewport = nullptr;
    Ogre::Camera* camera = nullptr;
    Ogre::SceneManager* sceneManager = nullptr;
    RenderApi renderApi = RENDER_API_OTHER;
    Ogre::Vector3 cameraPosition = Ogre::Vector3::ZERO;
    bool stopRequested = false;
    bool rotateCameraWithMouse = true;
    unsigned windowWidth = 0;
    unsigned windowHeight = 0;
    std::string screenshotExtension = "bmp";
    bool handleExceptions = false;
    std::vector<ObjectHandle> presentedRoots;
};

/// `path` itself when it ends in a known three-letter image extension
/// (any case), else `path` + "." + `extension`.
std::string screenshotPathFor(const std::string& path, const std::string& extension);
/// The render API family of a render system's name.
RenderApi renderApiFromName(const std::string& renderSystemName);
/// Width and height from "WxH" or the engine's "W x H ..." video modes.
/// Throws Kiln::Exception for a text without two numbers.
void parseResolution(const std::string& text, unsigned& width, unsigned& height);

} // namespace Kiln
