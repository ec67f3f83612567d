#pragma once
// A light described by one settings section ("Light1" ... "Light3").
#include <string>

namespace Ogre {
class Light;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class ConfigReader;

class Light {
public:
    /// Reads Name, Type, Direction, Position, colours, CastShadow and the
    /// spot angles from the reader's current section and creates the engine
    /// light on a new child of `parent`. A name already used by another
    /// light gets a numeric suffix instead of failing the start-up.
    Light(ConfigReader& settings, Ogre::SceneManager& sceneManager, Ogre::SceneNode& parent);
    ~Light();
    Light(const Light&) = delete;
    Light& operator=(const Light&) = delete;

    Ogre::Light* getEngineLight() const { return light; }
    Ogre::SceneNode* getNode() const { return node; }

private:
    Ogre::SceneManager& sceneManager;
    Ogre::Light* light = nullptr;
    Ogre::SceneNode* node = nullptr;
};

} // namespace Kiln
