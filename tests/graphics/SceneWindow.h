#pragma once
// A real window (under Xvfb in CI) with the two scene roots hung into it the
// way the program does, and helpers to read back what it shows.
#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"
#include "graphics/GraphicsPresenter.h"
#include "mesh/MeshEditor.h"
#include "scene/Object.h"
#include "scene/Scene.h"

#include <OgreCamera.h>
#include <OgreImage.h>
#include <OgreRenderWindow.h>

#include <functional>
#include <memory>

namespace testing_graphics {

constexpr unsigned kWidth = 320;
constexpr unsigned kHeight = 240;

/// Full ambient light makes a lit surface show exactly its vertex colour,
/// so tests can compare colours instead of guessing shading.
inline std::unique_ptr<Kiln::GraphicsManager> openSceneWindow(const std::string& extraSettings = "") {
    auto store = std::make_unique<Kiln::SimpleXMLKeyValueStore>(Kiln::SimpleXMLKeyValueStore::fromText(
        "<Config><Application Resolution=\"320x240\" Vsync=\"false\"/>"
        "<Background Color=\"0 0 1\"/><Scene Ambient=\"1 1 1\"/>"
        "<Camera Position=\"0 0 75\"/>" + extraSettings + "</Config>"));
    Kiln::GraphicsOptions options;
    options.dataDirectory = MORVEL_SOURCE_DATA_DIR;
    return Kiln::GraphicsManager::create(std::move(store), options);
}

struct SceneWindow {
    explicit SceneWindow(const std::string& extraSettings = "")
        : graphics(openSceneWindow(extraSettings)), scene(Kiln::Scene::create()) {
        sceneRoot = std::make_unique<Kiln::ObjectGroup>();
        viewRoot = std::make_unique<Kiln::ObjectGroup>();
        sceneRoot->setPresenter("graphics", newPresenter());
        viewRoot->setPresenter("graphics", newPresenter());
        viewRoot->setPosition(graphics->getCameraPosition());
        scene->addPresenter("graphics", graphics.get());
        scene->addObject(sceneRoot->getHandle());
        scene->addObject(viewRoot->getHandle());
        scene->setActiveObject(viewRoot->getHandle());
        graphics->startScene();
    }
    ~SceneWindow() {
        // Nodes go before the engine that draws them.
        sceneRoot.reset();
        viewRoot.reset();
        scene.reset();
        graphics.reset();
    }

    std::unique_ptr<Kiln::GraphicsPresenter> newPresenter() {
        return std::make_unique<Kiln::GraphicsPresenter>(*graphics->getSceneManager());
    }

    /// A cube of side 6 * scale, every vertex `colour`, under sceneRoot.
    Kiln::Object* addCube(const Ogre::ColourValue& colour, float scale = 3.0f,
                          Kiln::ObjectGroup* parent = nullptr) {
        auto cube = std::make_unique<Kiln::Object>();
        cube->setPresenter("graphics", newPresenter());
        cube->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, colour));
        cube->setScale(Ogre::Vector3(scale));
        return (parent ? parent : sceneRoot.get())->adoptChild(std::move(cube));
    }

    /// Renders one frame and reads the window back.
    Ogre::Image frame() {
        graphics->renderOneFrame(0.016f);
        Ogre::RenderWindow& window = *graphics->getRenderWindow();
        Ogre::Image image(Ogre::PF_BYTE_RGBA, window.getWidth(), window.getHeight());
        window.copyContentsToMemory(Ogre::Box(0, 0, window.getWidth(), window.getHeight()),
                                    image.getPixelBox());
        return image;
    }

    /// Window pixel of a world point.
    Ogre::Vector2 project(const Ogre::Vector3& world) const {
        const Ogre::Camera& camera = *graphics->getCamera();
        const Ogre::Vector3 clip = camera.getProjectionMatrix() * (camera.getViewMatrix() * world);
        return {(clip.x * 0.5f + 0.5f) * float(kWidth), (0.5f - clip.y * 0.5f) * float(kHeight)};
    }

    std::unique_ptr<Kiln::GraphicsManager> graphics;
    std::unique_ptr<Kiln::Scene> scene;
    std::unique_ptr<Kiln::ObjectGroup> sceneRoot;
    std::unique_ptr<Kiln::ObjectGroup> viewRoot;
};

inline bool near(const Ogre::ColourValue& a, const Ogre::ColourValue& b, float tolerance = 0.1f) {
    return std::abs(a.r - b.r) < tolerance && std::abs(a.g - b.g) < tolerance &&
           std::abs(a.b - b.b) < tolerance;
}

/// Pixels of `image` whose colour is near `colour`.
inline int countPixels(const Ogre::Image& image, const Ogre::ColourValue& colour, float tolerance = 0.1f) {
    int count = 0;
    for (unsigned y = 0; y < image.getHeight(); ++y)
        for (unsigned x = 0; x < image.getWidth(); ++x)
            count += near(image.getColourAt(x, y, 0), colour, tolerance) ? 1 : 0;
    return count;
}

/// The smallest rectangle holding every pixel near `colour` (x0, y0, x1, y1),
/// or (-1, -1, -1, -1) when there is none.
struct PixelRect {
    int x0 = -1, y0 = -1, x1 = -1, y1 = -1;
};
inline PixelRect pixelExtent(const Ogre::Image& image, const Ogre::ColourValue& colour,
                             float tolerance = 0.1f) {
    PixelRect rect;
    for (unsigned y = 0; y < image.getHeight(); ++y)
        for (unsigned x = 0; x < image.getWidth(); ++x)
            if (near(image.getColourAt(x, y, 0), colour, tolerance)) {
                rect.x0 = rect.x0 < 0 ? int(x) : std::min(rect.x0, int(x));
                rect.y0 = rect.y0 < 0 ? int(y) : std::min(rect.y0, int(y));
                rect.x1 = std::max(rect.x1, int(x));
                rect.y1 = std::max(rect.y1, int(y));
            }
    return rect;
}

} // namespace testing_graphics
