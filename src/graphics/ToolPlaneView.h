#pragma once
// The plane a tool places with the grip (slice, mirror), drawn as a
// translucent square through its point. Main thread only.
#include <OgreVector3.h>

namespace Ogre {
class ManualObject;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class ToolPlaneView {
public:
    /// `halfSize`: half the square's edge, world units. Drawn with
    /// "mirrorPlaneMaterial" when the resources define it, else with a
    /// translucent material of its own.
    ToolPlaneView(Ogre::SceneManager& sceneManager, float halfSize);
    ~ToolPlaneView();
    ToolPlaneView(const ToolPlaneView&) = delete;
    ToolPlaneView& operator=(const ToolPlaneView&) = delete;

    /// `normal` of unit length.
    void show(const Ogre::Vector3& point, const Ogre::Vector3& normal);
    void hide();

private:
    Ogre::SceneManager& sceneManager;
    Ogre::SceneNode* node = nullptr;
    Ogre::ManualObject* square = nullptr;
};

} // namespace Kiln
