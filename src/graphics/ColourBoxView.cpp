#include "graphics/ColourBoxView.h"

#include <OgreManualObject.h>
#include <OgreMaterialManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreTechnique.h>

namespace Kiln {
namespace {

const char* const MATERIAL = "ColourBoxMaterial";
const char* const CURSOR_MATERIAL = "ColourBoxCursorMaterial";

/// Unlit, coloured by the vertices: the box must show true colours whatever
/// the lights do. The cursor sits inside the box, so it is drawn over it.
void ensureMaterial(const char* name, bool overEverything) {
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    if (materials.resourceExists(name, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME))
        return;
    Ogre::MaterialPtr material = materials.create(name, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    Ogre::Pass* pass = material->getTechnique(0)->getPass(0);
    pass->setLightingEnabled(false);
    pass->setVertexColourTracking(Ogre::TVC_DIFFUSE);
    if (overEverything)
        pass->setDepthCheckEnabled(false);
}

/// The 12 triangles of a cube with corners index x + 2y + 4z, outward.
const int CUBE_TRIANGLES[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                   {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};

template <typename ColourOf>
void cube(Ogre::ManualObject& object, const Ogre::Vector3& low, float size, ColourOf colourOf) {
    for (int i = 0; i < 8; ++i) {
        const Ogre::Vector3 unit(float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1));
        object.position(low + unit * size);
        object.colour(colourOf(unit));
    }
    for (const auto& t : CUBE_TRIANGLES)
        object.triangle(Ogre::uint32(t[0]), Ogre::uint32(t[1]), Ogre::uint32(t[2]));
}

} // namespace

ColourBoxView::ColourBoxView(Ogre::SceneManager& sceneManager) : sceneManager(sceneManager) {
    ensureMaterial(MATERIAL, false);
    ensureMaterial(CURSOR_MATERIAL, true);
    node = sceneManager.getRootSceneNode()->createChildSceneNode();
    box = sceneManager.createManualObject();
    cursor = sceneManager.createManualObject();
    box->setCastShadows(false);
    cursor->setCastShadows(false);
    cursor->setRenderQueueGroup(Ogre::RENDER_QUEUE_9);
    node->attachObject(box);
    node->attachObject(cursor);
    node->setVisible(false);
}

ColourBoxView::~ColourBoxView() {
    node->detachAllObjects();
    sceneManager.destroyManualObject(box);
    sceneManager.destroyManualObject(cursor);
    sceneManager.destroySceneNode(node);
}

void ColourBoxView::buildBox(const ColourBoxLook& look) {
    const bool first = box->getNumSections() == 0;
    if (first)
        box->begin(MATERIAL, Ogre::RenderOperation::OT_TRIANGLE_LIST);
    else
        box->beginUpdate(0);
    // The cube's own corners carry their colours; the faces blend between.
    cube(*box, look.origin, look.size, [](const Ogre::Vector3& unit) {
        return Ogre::ColourValue(unit.x, unit.y, unit.z, 1.f);
    });
    box->end();
}

void ColourBoxView::buildCursor(const ColourBoxLook& look) {
    const bool first = cursor->getNumSections() == 0;
    if (first)
        cursor->begin(CURSOR_MATERIAL, Ogre::RenderOperation::OT_TRIANGLE_LIST);
    else
        cursor->beginUpdate(0);
    const float half = look.size * (look.highlighted ? 0.08f : 0.05f);
    const Ogre::Vector3 centre =
        look.origin + Ogre::Vector3(look.colour.r, look.colour.g, look.colour.b) * look.size;
    const Ogre::ColourValue colour = look.colour;
    cube(*cursor, centre - Ogre::Vector3(half), 2.f * half, [colour](const Ogre::Vector3&) { return colour; });
    cursor->end();
}

void ColourBoxView::show(const ColourBoxLook& look) {
    node->setVisible(look.visible);
    if (!look.visible)
        return;
    if (!built || look.origin != shown.origin || look.size != shown.size)
        buildBox(look);
    if (!built || look.colour != shown.colour || look.highlighted != shown.highlighted ||
        look.origin != shown.origin || look.size != shown.size)
        buildCursor(look);
    shown = look;
    built = true;
}

} // namespace Kiln
