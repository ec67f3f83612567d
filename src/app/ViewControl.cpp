#include "app/ViewControl.h"

#include "app/AppContext.h"
#include "app/MouseNavigation.h"
#include "graphics/GraphicsManager.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticStylus.h"
#include "scene/ObjectGroup.h"


#include <OgreEntity.h>
#include <OgreManualObject.h>
#include <OgreMaterialManager.h>
#include <OgreMeshManager.h>
#include <OgrePass.h>
#include <OgreSceneManager.h>
#include <OgreTechnique.h>

namespace Kiln {

ViewControl::ViewControl(AppContext& context, MouseNavigation* navigation, ShowCaption showCaption)
    : context(context), navigation(navigation), showCaption(std::move(showCaption)) {
    if (this->showCaption)
        this->showCaption("One Grid is 1 Centimetre");
}

void ViewControl::resetCamera() {
    if (navigation)
        navigation->reset();
}

std::string ViewControl::setUnit(int unit) {
    const char* text = unit == 1 ? "mm" : unit == 3 ? "m" : "cm";
    const std::string caption = std::string("One Grid is 1 ") + text;
    if (showCaption)
        showCaption(caption);
    return caption;
}

void ViewControl::setRotationCentre(const Ogre::Vector3& world) {
    if (navigation)
        navigation->setRotationCentre(world);
}

void ViewControl::setTipRadius(float radius) {
    if (context.hapticManager && radius > 0.f)
        context.hapticManager->getStylus().setRadius(radius);
}

float ViewControl::getTipRadius() const {
    return context.hapticManager ? context.hapticManager->getStylus().getRadius() : 0.f;
}

bool ViewControl::saveScreenshot(const std::string& path) {
    try {
        context.graphicsManager->saveScreenshot(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ViewControl::setFloorVisible(bool visible, const Ogre::ColourValue& ambient,
                                  const Ogre::ColourValue& diffuse) {
    Ogre::SceneManager& scene = *context.graphicsManager->getSceneManager();
    if (!floorNode) {
        if (!visible)
            return;
        // A shipped "floor.mesh" wins; otherwise a plain square is made.
        auto& meshes = Ogre::MeshManager::getSingleton();
        if (!meshes.resourceExists("floor.mesh", Ogre::RGN_DEFAULT) &&
            !Ogre::ResourceGroupManager::getSingleton().resourceExistsInAnyGroup("floor.mesh"))
            meshes.createPlane("floor.mesh", Ogre::RGN_DEFAULT, Ogre::Plane(Ogre::Vector3::UNIT_Y, 0.f),
                               200.f, 200.f, 10, 10, true, 1, 1.f, 1.f, Ogre::Vector3::UNIT_Z);
        auto& materials = Ogre::MaterialManager::getSingleton();
        if (!materials.resourceExists("floor/Material", Ogre::RGN_DEFAULT))
            materials.create("floor/Material", Ogre::RGN_DEFAULT);
        Ogre::Entity* floor = scene.createEntity("floor", "floor.mesh");
        floor->setMaterialName("floor/Material");
        floor->setCastShadows(false);
        floorNode = scene.getRootSceneNode()->createChildSceneNode(Ogre::Vector3(0.f, floorHeight, 0.f));
        floorNode->attachObject(floor);
    }
    Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().getByName("floor/Material");
    if (material && material->getNumTechniques() > 0 && material->getTechnique(0)->getNumPasses() > 0) {
        material->getTechnique(0)->getPass(0)->setAmbient(ambient);
        material->getTechnique(0)->getPass(0)->setDiffuse(diffuse);
        // Never darker than its ambient colour, whichever way the lights
        // point.
        material->getTechnique(0)->getPass(0)->setSelfIllumination(ambient);
    }
    floorNode->setVisible(visible);
}

void ViewControl::setShadowsEnabled(bool on) {
    Ogre::SceneManager& scene = *context.graphicsManager->getSceneManager();
    if (shadowTechnique < 0)
        shadowTechnique = int(scene.getShadowTechnique());
    scene.setShadowTechnique(on ? Ogre::ShadowTechnique(shadowTechnique) : Ogre::SHADOWTYPE_NONE);
}

void ViewControl::setGrid(bool visible, int plane, float cell, float offset) {
    Ogre::SceneManager& scene = *context.graphicsManager->getSceneManager();
    if (!grid) {
        grid = scene.createManualObject("GridPlanes");
        grid->setCastShadows(false);
        gridNode = scene.getRootSceneNode()->createChildSceneNode();
        gridNode->attachObject(grid);
    }
    grid->clear();
    gridNode->setVisible(visible);
    if (!visible || !(cell > 0.f))
        return;
    // In scene-root units, drawn at the root's scale.
    const float rootScale = context.sceneRoot ? context.sceneRoot->getScale().x : 1.f;
    gridNode->setScale(Ogre::Vector3(rootScale));
    const float extent = cell * gridHalfLines;
    const auto point = [plane, offset](float u, float v) {
        switch (plane) {
        case 0: return Ogre::Vector3(u, v, offset);  // XY
        case 1: return Ogre::Vector3(offset, u, v);  // YZ
        default: return Ogre::Vector3(u, offset, v); // ZX
        }
    };
    grid->begin("BaseWhiteNoLighting", Ogre::RenderOperation::OT_LINE_LIST);
    const Ogre::ColourValue colour(0.5f, 0.6f, 0.8f, 0.5f);
    for (int i = -gridHalfLines; i <= gridHalfLines; ++i) {
        const float t = cell * float(i);
        grid->position(point(t, -extent)); grid->colour(colour);
        grid->position(point(t, extent)); grid->colour(colour);
        grid->position(point(-extent, t)); grid->colour(colour);
        grid->position(point(extent, t)); grid->colour(colour);
    }
    grid->end();
}

} // namespace Kiln
