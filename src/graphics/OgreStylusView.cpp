#include "graphics/OgreStylusView.h"

#include <OgreEntity.h>
#include <OgreMaterialManager.h>
#include <OgreResourceGroupManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <cmath>

namespace Kiln {
namespace {

const char* const kNodeName = "Stylus_Node";
const char* const kEntityName = "Stylus_Entity";

Ogre::Entity* createTip(Ogre::SceneManager& sceneManager, const std::string& modelName) {
    if (Ogre::ResourceGroupManager::getSingleton().resourceExistsInAnyGroup(modelName))
        return sceneManager.createEntity(kEntityName, modelName);
    return sceneManager.createEntity(kEntityName, Ogre::SceneManager::PT_SPHERE);
}

Ogre::MaterialPtr findOrCreateMaterial(const std::string& name) {
    auto& materials = Ogre::MaterialManager::getSingleton();
    Ogre::MaterialPtr material = materials.getByName(name);
    if (material)
        return material;
    material = materials.create(name, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    material->setDiffuse(Ogre::ColourValue::White);
    material->setAmbient(Ogre::ColourValue::White);
    return material;
}

} // namespace

OgreStylusView::OgreStylusView(Ogre::SceneManager& manager, const std::string& modelName,
                               const std::string& materialName)
    : sceneManager(manager) {
    node = sceneManager.getRootSceneNode()->createChildSceneNode(kNodeName);
    entity = createTip(sceneManager, modelName);
    material = findOrCreateMaterial(materialName);
    material->load();
    entity->setMaterial(material);
    entity->setCastShadows(false);
    node->attachObject(entity);
    setRadius(1.f);
}

OgreStylusView::~OgreStylusView() {
    node->detachAllObjects();
    sceneManager.destroyEntity(entity);
    sceneManager.destroySceneNode(node);
}

void OgreStylusView::setPosition(const Ogre::Vector3& world) { node->setPosition(world); }

void OgreStylusView::setOrientation(const Ogre::Quaternion& orientation) {
    if (orientation.Norm() > 0.f)
        node->setOrientation(orientation);
}

void OgreStylusView::setRadius(float radius) {
    const float width = entity->getBoundingBox().getSize().x;
    if (!(radius > 0.f) || !std::isfinite(radius) || !(width > 0.f))
        return;
    node->setScale(Ogre::Vector3(2.f * radius / width));
}

void OgreStylusView::setColour(const Ogre::ColourValue& colour) {
    material->setDiffuse(colour);
    material->setAmbient(colour);
}

void OgreStylusView::setVisible(bool visible) { node->setVisible(visible); }

} // namespace Kiln
