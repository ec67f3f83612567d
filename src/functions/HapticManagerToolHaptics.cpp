#include "functions/HapticManagerToolHaptics.h"

#include "haptics/HapticManager.h"
#include "haptics/HapticsPresenter.h"

std::vector<Kiln::ObjectHandle> HapticManagerToolHaptics::getTouchedObjects() const {
    return manager.getTouchedObjects();
}

int HapticManagerToolHaptics::getSideSetting() const {
    return manager.getSideSetting();
}

void HapticManagerToolHaptics::setHapticSideRecursive(Kiln::ObjectGroup& group, int side) {
    manager.setHapticSideRecursive(group, side);
}

void HapticManagerToolHaptics::setStylusColour(const Ogre::ColourValue& colour) {
    manager.getStylus().setColour(colour);
}

void HapticManagerToolHaptics::setStylusDirection(const Ogre::Matrix3& direction) {
    manager.getStylus().setDirectionMatrix(direction);
}

Kiln::VertexListWorker* HapticManagerToolHaptics::getLiveDent(Kiln::ObjectGroup& object) {
    Kiln::HapticsPresenter* presenter = Kiln::HapticsPresenter::of(object);
    return presenter ? presenter->getDeformation() : nullptr;
}

void HapticManagerToolHaptics::setHapticsWanted(bool on) {
    if (guiMode && guiMode(on))
        return;
    manager.setHapticsEnabled(on);
}
