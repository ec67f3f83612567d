#include "graphics/OgreStylusView.h"

#include "config/ConfigReader.h"

#include <OgreEntity.h>
#include <OgreMaterialManager.h>
#include <OgreResourceGroupManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <cmath>
#include <cstdio>

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
    shown = material;
    entity->setCastShadows(false);
    node->attachObject(entity);
    setRadius(1.f);
}

std::unique_ptr<OgreStylusView> OgreStylusView::fromSettings(Ogre::SceneManager& sceneManager,
                                                             ConfigReader& configuration) {
    const std::string model = configuration.readString("Haptic.StylusModel", "ogreStylusTip.mesh");
    const std::string material = configuration.readString("Haptic.StylusMaterial", "stylusMaterial");
    return std::make_unique<OgreStylusView>(sceneManager, model, material);
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

// Each colour gets its own copy of the material: the engine uploads a
// pass's fixed-function colours when the pass changes, so tinting the pass
// in use would not show while nothing else is drawn in between; the named
// material itself stays as the resources define it.
void OgreStylusView::setColour(const Ogre::ColourValue& colour) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "/Stylus/%.3f,%.3f,%.3f,%.3f", colour.r, colour.g, colour.b,
                  colour.a);
    const std::string name = material->getName() + suffix;
    auto& materials = Ogre::MaterialManager::getSingleton();
    Ogre::MaterialPtr tinted = materials.getByName(name, material->getGroup());
    if (!tinted) {
        tinted = material->clone(name);
        tinted->setDiffuse(colour);
        tinted->setAmbient(colour);
        tinted->load();
    }
    entity->setMaterial(tinted);
    shown = tinted;
}

void OgreStylusView::setVisible(bool visible) { node->setVisible(visible); }

} // namespace Kiln
