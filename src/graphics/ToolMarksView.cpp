#include "graphics/ToolMarksView.h"

#include "graphics/DynamicLine.h"
#include "graphics/MovableText.h"
#include "log/DebugChannel.h"

#include <OgreMaterialManager.h>
#include <OgrePass.h>
#include <OgreRenderQueue.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreTechnique.h>

namespace Kiln {
namespace {

/// Unlit, coloured by the vertices, never hidden by what is in front.
Ogre::MaterialPtr lineMaterial() {
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    const char* const name = "ToolMarksMaterial";
    Ogre::MaterialPtr material = materials.getByName(name, Ogre::RGN_DEFAULT);
    if (!material) {
        material = materials.create(name, Ogre::RGN_DEFAULT);
        Ogre::Pass* pass = material->getTechnique(0)->getPass(0);
        pass->setLightingEnabled(false);
        pass->setDepthCheckEnabled(false);
        pass->setDepthWriteEnabled(false);
        pass->setVertexColourTracking(Ogre::TVC_DIFFUSE);
    }
    return material;
}

} // namespace

ToolMarksView::ToolMarksView(Ogre::SceneManager& sceneManager) : sceneManager(sceneManager) {}

ToolMarksView::~ToolMarksView() {
    for (auto& entry : marks) {
        entry.second.node->detachAllObjects();
        sceneManager.destroySceneNode(entry.second.node);
    }
}

void ToolMarksView::beginFrame() {
    for (auto& entry : marks)
        entry.second.shown = false;
}

ToolMarksView::Mark& ToolMarksView::mark(const std::string& node) {
    Mark& found = marks[node];
    if (!found.node)
        found.node = sceneManager.getRootSceneNode()->createChildSceneNode(node);
    found.shown = true;
    found.node->setVisible(true);
    return found;
}

void ToolMarksView::showLine(const std::string& node, const Ogre::Vector3& from, const Ogre::Vector3& to,
                             const Ogre::ColourValue& colour) {
    Mark& line = mark(node);
    if (!line.line) {
        line.line = std::make_unique<DynamicLine>(DynamicLine::DLT_LINE_LIST, false);
        line.line->setMaterial(lineMaterial());
        line.line->setCastShadows(false);
        // After the objects, so that the line is drawn over them.
        line.line->setRenderQueueGroup(Ogre::RENDER_QUEUE_SKIES_LATE);
        line.node->attachObject(line.line.get());
        line.line->addPoint(from, colour);
        line.line->addPoint(to, colour);
    }
    line.line->setPoint(0, from, colour);
    line.line->setPoint(1, to, colour);
    line.line->update();
}

void ToolMarksView::showCaption(const std::string& node, const Ogre::Vector3& at, const std::string& text) {
    Mark& caption = mark(node);
    caption.node->setPosition(at);
    if (text.empty())
        return;
    if (!caption.text) {
        try {
            caption.text = std::make_unique<MovableText>(node + "_Text", text, "Brevant", captionHeight,
                                                         Ogre::ColourValue(1.f, 1.f, 0.85f));
        } catch (const std::exception& e) {
            debugChannel("Graphics") << "No caption for " << node << ": " << e.what() << Kiln::endl;
            return;
        }
        caption.text->setTextAlignment(MovableText::H_CENTER, MovableText::V_ABOVE);
        caption.node->attachObject(caption.text.get());
    }
    if (caption.text->getCaption() != text)
        caption.text->setCaption(text);
}

void ToolMarksView::endFrame() {
    for (auto& entry : marks)
        if (!entry.second.shown)
            entry.second.node->setVisible(false);
}

} // namespace Kiln
