#pragma once
// The colour chooser drawn in the engine's scene: a cube whose surface shows
// the colour of each point (black at the origin corner, red, green and blue
// along its edges) and a small cursor cube at the current colour. Main
// thread only.
#include <OgreColourValue.h>
#include <OgreVector3.h>

namespace Ogre {
class ManualObject;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

/// What the view shows, world frame.
struct ColourBoxLook {
    bool visible = false;
    Ogre::Vector3 origin = Ogre::Vector3::ZERO; ///< the black corner
    float size = 1.f;                           ///< edge length
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    bool highlighted = false;                   ///< the stylus is inside
};

class ColourBoxView {
public:
    explicit ColourBoxView(Ogre::SceneManager& sceneManager);
    ~ColourBoxView();
    ColourBoxView(const ColourBoxView&) = delete;
    ColourBoxView& operator=(const ColourBoxView&) = delete;

    /// Rebuilds only what changed since the last call.
    void show(const ColourBoxLook& look);

private:
    void buildBox(const ColourBoxLook& look);
    void buildCursor(const ColourBoxLook& look);

    Ogre::SceneManager& sceneManager;
    Ogre::SceneNode* node = nullptr;
    Ogre::ManualObject* box = nullptr;
    Ogre::ManualObject* cursor = nullptr;
    ColourBoxLook shown;
    bool built = false;
};

} // namespace Kiln
