#include "graphics/OffscreenRender.h"

#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"
#include "graphics/GraphicsPresenter.h"
#include "io/FileBytes.h"
#include "log/Exception.h"
#include "mesh/DynamicMesh.h"
#include "platform/FatalMessage.h"
#include "scene/ObjectGroup.h"

#include <Ogre.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Kiln {
namespace {

const char* const kSource = "Kiln::renderSceneToImage()";

/// The shipped settings with the window made small and unsynchronised:
/// the picture comes from an offscreen target of its own size.
std::unique_ptr<IKeyValueStore> thumbnailSettings(const std::string& dataDirectory) {
    std::string xml = "<Config></Config>";
    std::ifstream file(dataDirectory + "/Config/Settings.xml");
    if (file) {
        std::stringstream text;
        text << file.rdbuf();
        xml = text.str();
    }
    const std::string overrides =
        "<Application Resolution=\"64x64\" Vsync=\"false\" Fullscreen=\"false\"/>"
        "<Window UseDesktopResolution=\"false\"/>";
    const auto end = xml.rfind("</Config>");
    if (end == std::string::npos)
        throw Exception(ErrorCode::General, "Settings file has no <Config> element: " + dataDirectory +
                               "/Config/Settings.xml", kSource);
    xml.insert(end, overrides);
    return std::make_unique<SimpleXMLKeyValueStore>(SimpleXMLKeyValueStore::fromText(xml));
}

/// Removes the presenters installed for the render, whatever happens.
class PresenterScope {
public:
    PresenterScope(ObjectGroup& root_, Ogre::SceneManager& sceneManager) : root(root_) {
        installGraphicsPresenters(root, sceneManager);
    }
    ~PresenterScope() { removeGraphicsPresenters(root); }
    PresenterScope(const PresenterScope&) = delete;
    PresenterScope& operator=(const PresenterScope&) = delete;

private:
    ObjectGroup& root;
};

/// Places `view` so that the camera on it sees all of `box`.
void frameCamera(ObjectGroup& view, Ogre::Camera& camera, Ogre::AxisAlignedBox box, float aspect) {
    if (box.isNull() || !box.isFinite())
        box = Ogre::AxisAlignedBox(-1, -1, -1, 1, 1, 1);
    const Ogre::Vector3 centre = box.getCenter();
    const float radius = std::max(box.getHalfSize().length(), 1e-3f);
    const float halfFovY = camera.getFOVy().valueRadians() * 0.5f;
    const float halfFovX = std::atan(std::tan(halfFovY) * aspect);
    const float distance = radius / std::sin(std::min(halfFovX, halfFovY)) * 1.05f;
    const Ogre::Vector3 direction = Ogre::Vector3(0.0f, 0.35f, 1.0f).normalisedCopy();
    view.setPosition(centre + direction * distance);
    view.lookAt(centre);
    camera.setNearClipDistance(distance * 0.01f);
    camera.setFarClipDistance(distance * 4.0f);
}

// The engine's bounds and camera work with squared float lengths, which
// overflow (and trip its assertions) near 1e19; scenes are drawn only
// while every world coordinate stays within this.
constexpr double kLargestDrawableCoordinate = 1e18;

// The largest absolute world coordinate of any vertex below `node`, or
// infinity when one is not finite.
double largestWorldCoordinate(const ObjectGroup& node) {
    double largest = 0.0;
    for (const auto& child : node.getChildren()) {
        if (const DynamicMesh* mesh = child->isObject() ? child->getMesh() : nullptr) {
            const Ogre::Matrix4& world = child->getWorldMatrix();
            for (const Vertex& v : mesh->getVertices())
                for (int r = 0; r < 3; ++r) {
                    const double c = double(world[r][0]) * v.position.x + double(world[r][1]) * v.position.y +
                                     double(world[r][2]) * v.position.z + double(world[r][3]);
                    largest = std::isfinite(c) ? std::max(largest, std::fabs(c)) : HUGE_VAL;
                }
        }
        largest = std::max(largest, largestWorldCoordinate(*child));
    }
    return largest;
}

void writeAtomically(Ogre::RenderTarget& target, const std::string& path) {
    const std::string finalPath = resolveOutputPath(path, kSource);
    // A fresh, uniquely named file keeps a planted link or an unrelated
    // file from being written over; the extension stays last so that the
    // engine picks the right codec.
    OutputTemporary partial(finalPath, ".png", kSource, "Cannot write " + path);
    partial.close();
    try {
        target.writeContentsToFile(partial.getPath());
    } catch (const Ogre::Exception& e) {
        throw Exception(ErrorCode::General, "Cannot write " + path + ": " + e.getDescription(), kSource);
    }
    if (!partial.commit(finalPath))
        throw Exception(ErrorCode::General, "Cannot write " + path + ": " + std::strerror(errno), kSource);
}

} // namespace

void renderSceneToImage(ObjectGroup& sceneRoot, const std::string& imagePath,
                        const OffscreenRenderOptions& options) {
    if (options.width == 0 || options.height == 0 || options.width > 8192 || options.height > 8192)
        throw Exception(ErrorCode::General, "Image size must be between 1x1 and 8192x8192", kSource);
    if (!displayAvailable())
        throw Exception(ErrorCode::General, "No X display: rendering needs one (run it under xvfb-run)", kSource);
    resolveOutputPath(imagePath, kSource);  // a folder or device fails here, before any drawing
    const double largest = largestWorldCoordinate(sceneRoot);
    if (!(largest <= kLargestDrawableCoordinate)) {
        char reason[160];
        std::snprintf(reason, sizeof reason,
                      "the scene reaches a coordinate of %.3g; only scenes within +-%.0e can be drawn", largest,
                      kLargestDrawableCoordinate);
        throw Exception(ErrorCode::General, reason, kSource);
    }

    GraphicsOptions graphicsOptions;
    graphicsOptions.dataDirectory = options.dataDirectory;
    auto graphics = GraphicsManager::create(thumbnailSettings(options.dataDirectory), graphicsOptions);
    Ogre::SceneManager& sceneManager = *graphics->getSceneManager();
    Ogre::Camera& camera = *graphics->getCamera();

    Ogre::TexturePtr texture = Ogre::TextureManager::getSingleton().createManual(
        "Kiln::OffscreenRender", Ogre::RGN_DEFAULT, Ogre::TEX_TYPE_2D, options.width,
        options.height, 0, Ogre::PF_BYTE_RGBA, Ogre::TU_RENDERTARGET);
    try {
        Ogre::RenderTarget& target = *texture->getBuffer()->getRenderTarget();
        target.setAutoUpdated(false);
        Ogre::Viewport* viewport = target.addViewport(&camera);
        viewport->setBackgroundColour(graphics->getViewport()->getBackgroundColour());
        viewport->setOverlaysEnabled(false);
        {
            ObjectGroup view;
            const PresenterScope scenePresenters(sceneRoot, sceneManager);
            const PresenterScope viewPresenters(view, sceneManager);
            const float aspect = float(options.width) / float(options.height);
            frameCamera(view, camera, GraphicsPresenter::of(sceneRoot)->getWorldBoundingBox(), aspect);
            graphics->objectAdded(sceneRoot.getHandle());
            graphics->objectAdded(view.getHandle());
            graphics->setActiveObject(view.getHandle());
            graphics->startScene();
            graphics->renderOneFrame(0.0f);
            camera.setAspectRatio(aspect);
            target.update();
            writeAtomically(target, imagePath);
            graphics->objectRemoved(view.getHandle());
            graphics->objectRemoved(sceneRoot.getHandle());
        }
        target.removeAllViewports();
    } catch (...) {
        Ogre::TextureManager::getSingleton().remove(texture);
        throw;
    }
    Ogre::TextureManager::getSingleton().remove(texture);
}

} // namespace Kiln
