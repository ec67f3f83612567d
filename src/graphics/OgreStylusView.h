#pragma once
// The stylus tip in the engine's scene: a node "Stylus_Node" under the root
// scene node holding the entity "Stylus_Entity". Main thread only, like
// everything that touches the scene manager.
#include "haptics/HapticStylus.h"

#include <OgreMaterial.h>

#include <memory>
#include <string>

namespace Ogre {
class Entity;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class ConfigReader;

class OgreStylusView : public IStylusView {
public:
    /// modelName: a mesh resource; when there is none, the engine's sphere
    /// stands in, so a data folder without the tip model still shows a tip.
    /// materialName: looked up, or created plain when missing, so that
    /// setColour always has a material to tint.
    OgreStylusView(Ogre::SceneManager& sceneManager,
                   const std::string& modelName = "ogreStylusTip.mesh",
                   const std::string& materialName = "stylusMaterial");
    /// The view named by "Haptic.StylusModel" (default "ogreStylusTip.mesh")
    /// and "Haptic.StylusMaterial" (default "stylusMaterial").
    static std::unique_ptr<OgreStylusView> fromSettings(Ogre::SceneManager& sceneManager,
                                                        ConfigReader& configuration);
    ~OgreStylusView() override;
    OgreStylusView(const OgreStylusView&) = delete;
    OgreStylusView& operator=(const OgreStylusView&) = delete;

    void setPosition(const Ogre::Vector3& world) override;
    /// An all-zero orientation (no reading yet) leaves the tip as it is.
    void setOrientation(const Ogre::Quaternion& orientation) override;
    /// Scales the tip so that its width is 2 * radius.
    void setRadius(float radius) override;
    void setColour(const Ogre::ColourValue& colour) override;
    void setVisible(bool visible) override;

    Ogre::SceneNode* getNode() const { return node; }
    Ogre::Entity* getEntity() const { return entity; }
    /// The material named at construction, as the resources define it.
    const Ogre::MaterialPtr& getMaterial() const { return material; }
    /// What the tip is drawn with: that material tinted by setColour.
    const Ogre::MaterialPtr& getShownMaterial() const { return shown; }

private:
    Ogre::SceneManager& sceneManager;
    Ogre::SceneNode* node = nullptr;
    Ogre::Entity* entity = nullptr;
    Ogre::MaterialPtr material;
    Ogre::MaterialPtr shown;
};

} // namespace Kiln
