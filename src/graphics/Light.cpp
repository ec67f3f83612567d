#include "detail/Light.h"

#include "config/ConfigReader.h"

#include <OgreLight.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

namespace Kiln {
namespace {

std::string uniqueLightName(Ogre::SceneManager& sceneManager, const std::string& wanted) {
    std::string name = wanted;
    for (int i = 2; sceneManager.hasLight(name); ++i)
        name = wanted + "_" + std::to_string(i);
    return name;
}

Ogre::Light::LightTypes lightType(const std::string& type) {
    if (type == "SpotLight")
        return Ogre::Light::LT_SPOTLIGHT;
    if (type == "PointLight")
        return Ogre::Light::LT_POINT;
    return Ogre::Light::LT_DIRECTIONAL;
}

} // namespace

Light::Light(ConfigReader& settings, Ogre::SceneManager& sceneManager_, Ogre::SceneNode& parent)
    : sceneManager(sceneManager_) {
    const std::string name = settings.readString("Name", "anonymous_light");
    const std::string type = settings.readString("Type", "DirectionalLight");
    light = sceneManager.createLight(uniqueLightName(sceneManager, name));
    light->setType(lightType(type));
    node = parent.createChildSceneNode();
    node->attachObject(light);

    light->setDiffuseColour(settings.readColour("DiffuseColour", "1 1 1 1"));
    light->setSpecularColour(settings.readColour("SpecularColour", "1 1 1 1"));
    light->setCastShadows(settings.readBool("CastShadow", false));

    if (light->getType() != Ogre::Light::LT_POINT) {
        Ogre::Vector3 direction = settings.readVector3("Direction", "-10.0 0.0 -10.0");
        if (direction.isZeroLength())
            direction = Ogre::Vector3::NEGATIVE_UNIT_Z;
        node->setDirection(direction.normalisedCopy(), Ogre::Node::TS_PARENT);
    }
    if (light->getType() != Ogre::Light::LT_DIRECTIONAL)
        node->setPosition(settings.readVector3("Position", "0.0 0.0 0.0"));
    if (light->getType() == Ogre::Light::LT_SPOTLIGHT) {
        const float inner = settings.readFloat("SpotLightInnerAngle", 45.0f);
        const float outer = settings.readFloat("SpotLightOuterAngle", 60.0f);
        const float falloff = settings.readFloat("SpotLightFallOff", 1.0f);
        light->setSpotlightRange(Ogre::Degree(inner), Ogre::Degree(outer), falloff);
    }
}

Light::~Light() {
    if (node) {
        node->detachAllObjects();
        if (node->getParentSceneNode())
            node->getParentSceneNode()->removeAndDestroyChild(node);
    }
    if (light)
        sceneManager.destroyLight(light);
}

} // namespace Kiln
