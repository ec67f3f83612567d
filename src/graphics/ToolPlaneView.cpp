#include "graphics/ToolPlaneView.h"

#include <OgreManualObject.h>
#include <OgreMaterialManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreTechnique.h>

namespace Kiln {
namespace {

const char* materialName() {
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    const std::string& group = Ogre::ResourceGroupManager::AUTODETECT_RESOURCE_GROUP_NAME;
    if (materials.getByName("mirrorPlaneMaterial", group))
        return "mirrorPlaneMaterial";
    const char* const own = "ToolPlaneMaterial";
    if (!materials.getByName(own, group)) {
        Ogre::MaterialPtr material =
            materials.create(own, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
        Ogre::Pass* pass = material->getTechnique(0)->getPass(0);
        pass->setLightingEnabled(false);
        pass->setSceneBlending(Ogre::SBT_TRANSPARENT_ALPHA);
        pass->setDepthWriteEnabled(false);
        pass->setCullingMode(Ogre::CULL_NONE);
        pass->setVertexColourTracking(Ogre::TVC_DIFFUSE);
    }
    return own;
}

} // namespace

ToolPlaneView::ToolPlaneView(Ogre::SceneManager& sceneManager, float halfSize) : sceneManager(sceneManager) {
    node = sceneManager.getRootSceneNode()->createChildSceneNode();
    square = sceneManager.createManualObject();
    square->setCastShadows(false);
    square->begin(materialName(), Ogre::RenderOperation::OT_TRIANGLE_LIST);
    const Ogre::ColourValue tint(0.0f, 0.8f, 1.0f, 0.35f);
    for (int i = 0; i < 4; ++i) {
        square->position(Ogre::Vector3((i & 1) ? halfSize : -halfSize, (i & 2) ? halfSize : -halfSize, 0.f));
        square->colour(tint);
    }
    square->triangle(0, 1, 3);
    square->triangle(0, 3, 2);
    square->end();
    node->attachObject(square);
    node->setVisible(false);
}

ToolPlaneView::~ToolPlaneView() {
    node->detachAllObjects();
    sceneManager.destroyManualObject(square);
    sceneManager.destroySceneNode(node);
}

void ToolPlaneView::show(const Ogre::Vector3& point, const Ogre::Vector3& normal) {
    node->setPosition(point);
    // The square lies in its local xy plane: turn local z onto the normal.
    node->setOrientation(Ogre::Vector3::UNIT_Z.getRotationTo(normal));
    node->setVisible(true);
}

void ToolPlaneView::hide() { node->setVisible(false); }

} // namespace Kiln
