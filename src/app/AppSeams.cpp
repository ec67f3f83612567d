#include "app/AppSeams.h"
#include "config/ConfigurationFile.h"
#include "platform/UserFolders.h"

#include "graphics/GraphicsPresenter.h"
#include "graphics/RayQuery.h"
#include "graphics/TextRenderer.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticsPresenter.h"

#include <OgreCamera.h>
#include <OgreRenderWindow.h>

#include <iostream>

namespace Kiln {

void HeadlessDialogs::showMessage(const std::string& title, const std::string& text) {
    lastMessage = text;
    line.post(text, -1.0, 3);
    std::cerr << "morvel: " << title << ": " << text << std::endl;
}

std::vector<ObjectHandle> ToolHaptics::getTouchedObjects() const {
    return manager.getTouchedObjects();
}

int ToolHaptics::getSideSetting() const { return manager.getSideSetting(); }

void ToolHaptics::setHapticSideRecursive(ObjectGroup& group, int side) {
    manager.setHapticSideRecursive(group, side);
}

void ToolHaptics::setStylusColour(const Ogre::ColourValue& colour) {
    manager.getStylus().setColour(colour);
}

void ToolHaptics::setStylusVisible(bool visible) { manager.getStylus().setVisible(visible); }

void ToolHaptics::setStylusDirection(const Ogre::Matrix3& direction) {
    manager.getStylus().setDirectionMatrix(direction);
}

VertexListWorker* ToolHaptics::getLiveDent(ObjectGroup& object) {
    HapticsPresenter* presenter = HapticsPresenter::of(object);
    return presenter ? presenter->getDeformation() : nullptr;
}

void ToolHaptics::setHapticsWanted(bool on) {
    if (wantedSink)
        wantedSink(on);
    else
        manager.setHapticsEnabled(on);
}

void OverlayTexts::addText(const std::string& id, float x, float y, float width, float height) {
    text.addTextBox(id, "", x, y, width, height, Ogre::ColourValue::White, true);
}

void OverlayTexts::setText(const std::string& id, const std::string& value) { text.setText(id, value); }

void OverlayTexts::removeText(const std::string& id) { text.removeTextBox(id); }

IFrameStatistics::Rates WindowFrameStatistics::getFrameRates() const {
    const Ogre::RenderTarget::FrameStats& stats = window.getStatistics();
    Rates rates;
    rates.average = stats.avgFPS;
    rates.best = stats.bestFPS;
    rates.worst = stats.worstFPS;
    return rates;
}

std::unique_ptr<ObjectGroup> PresentedObjectFactory::makeObjectGroup() {
    auto group = std::make_unique<ObjectGroup>();
    group->setPresenter("graphics", std::make_unique<GraphicsPresenter>(sceneManager));
    group->setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    return group;
}

std::unique_ptr<Object> PresentedObjectFactory::makeObject() {
    auto object = std::make_unique<Object>();
    object->setPresenter("graphics", std::make_unique<GraphicsPresenter>(sceneManager));
    object->setPresenter("haptics", std::make_unique<HapticsPresenter>());
    return object;
}

void installHapticsPresenters(ObjectGroup& root) {
    if (!root.getPresenter("haptics")) {
        if (root.isObject())
            root.setPresenter("haptics", std::make_unique<HapticsPresenter>());
        else
            root.setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    }
    for (const auto& child : root.getChildren())
        installHapticsPresenters(*child);
}

} // namespace Kiln

namespace Kiln {

std::vector<ObjectHandle> ViewPicker::objectsUnder(const Ogre::Vector3& world) const {
    std::vector<ObjectHandle> found;
    const Ogre::Vector3 eye = camera.getDerivedPosition();
    Ogre::Vector3 direction = world - eye;
    // Only what lies in front of the camera has a place on the screen.
    if (direction.dotProduct(camera.getDerivedDirection()) <= 0.f || direction.isZeroLength())
        return found;
    direction.normalise();
    for (const RayHit& hit : caster.raycast(root, Ogre::Ray(eye, direction)))
        found.push_back(hit.object);
    return found;
}

} // namespace Kiln

std::string AppDocumentHost::getAutosaveFolder() const {
    const std::string documents = Kiln::documentsFolder();
    return !documents.empty() && Kiln::ensureDirectory(documents) ? documents : std::string();
}

std::string AppDocumentHost::readSetting(const std::string& key, const std::string& fallback) const {
    return Kiln::ConfigurationFile::getString(key, fallback);
}

void AppDocumentHost::writeSetting(const std::string& key, const std::string& value) {
    Kiln::ConfigurationFile::setString(key, value);
}
