#include "graphics/TextRenderer.h"

#include "log/Exception.h"

#include <OgreOverlay.h>
#include <OgreOverlayContainer.h>
#include <OgreOverlayManager.h>
#include <OgreTextAreaOverlayElement.h>

namespace Kiln {
namespace {

const char* const kOverlayName = "Kiln::TextRenderer::Overlay";
const char* const kPanelName = "Kiln::TextRenderer::Panel";

} // namespace

TextRenderer::TextRenderer() {
    auto& overlays = Ogre::OverlayManager::getSingleton();
    overlay = overlays.create(kOverlayName);
    panel = static_cast<Ogre::OverlayContainer*>(overlays.createOverlayElement("Panel", kPanelName));
    panel->setDimensions(1, 1);
    panel->setPosition(0, 0);
    overlay->add2D(panel);
    overlay->show();
}

TextRenderer::~TextRenderer() {
    auto* overlays = Ogre::OverlayManager::getSingletonPtr();
    if (!overlays)
        return;
    std::vector<std::string> names;
    for (const auto& child : panel->getChildren())
        names.push_back(child.first);
    for (const auto& name : names)
        removeTextBox(name);
    overlay->remove2D(panel);
    overlays->destroyOverlayElement(panel);
    overlays->destroy(overlay);
}

void TextRenderer::addTextBox(const std::string& id, const std::string& text, float x, float y,
                              float width, float height, const Ogre::ColourValue& colour,
                              bool relative) {
    removeTextBox(id);
    auto* area = static_cast<Ogre::TextAreaOverlayElement*>(
        Ogre::OverlayManager::getSingleton().createOverlayElement("TextArea", id));
    area->setMetricsMode(relative ? Ogre::GMM_RELATIVE : Ogre::GMM_PIXELS);
    area->setDimensions(width, height);
    area->setPosition(x, y);
    area->setFontName("Brevant");
    area->setCharHeight(16);
    area->setColour(colour);
    area->setCaption(text);
    panel->addChild(area);
}

void TextRenderer::removeTextBox(const std::string& id) {
    if (!panel->getChildren().count(id))
        return;
    Ogre::OverlayElement* element = panel->getChild(id);
    panel->removeChild(id);
    Ogre::OverlayManager::getSingleton().destroyOverlayElement(element);
}

void TextRenderer::setText(const std::string& id, const std::string& text) {
    if (!panel->getChildren().count(id))
        throw Exception(ErrorCode::General, "No text box named '" + id + "'", "Kiln::TextRenderer::setText()");
    panel->getChild(id)->setCaption(text);
}

std::string TextRenderer::getText(const std::string& id) const {
    if (!panel->getChildren().count(id))
        return {};
    return panel->getChild(id)->getCaption().asUTF8();
}

void TextRenderer::setVisible(bool visible) {
    if (visible)
        overlay->show();
    else
        overlay->hide();
}

} // namespace Kiln
