#include "functions/colour/ColourChooserBox.h"

#include <algorithm>
#include <cmath>

namespace {
float unit(float value) {
    // NaN becomes 0 so a broken stylus position cannot poison the colour.
    return value > 0.f ? (value < 1.f ? value : 1.f) : 0.f;
}
} // namespace

ColourChooserBox::ColourChooserBox(const Ogre::Vector3& origin, float size)
    : origin(origin), size(size > 0.f ? size : 1.f) {}

void ColourChooserBox::setColour(const Ogre::ColourValue& newColour) {
    colour = Ogre::ColourValue(unit(newColour.r), unit(newColour.g), unit(newColour.b), 1.f);
    // A listener may unregister itself while told: walk a copy.
    const auto told = listeners;
    for (const auto& entry : told)
        entry.second->colourChanged(colour);
}

bool ColourChooserBox::contains(const Ogre::Vector3& point) const {
    const Ogre::Vector3 d = point - origin;
    return d.x >= 0.f && d.y >= 0.f && d.z >= 0.f && d.x <= size && d.y <= size && d.z <= size;
}

void ColourChooserBox::setColourFromPoint(const Ogre::Vector3& point) {
    const Ogre::Vector3 d = (point - origin) / size;
    setColour(Ogre::ColourValue(d.x, d.y, d.z, 1.f));
}

void ColourChooserBox::setCursorColour(float r, float g, float b) {
    setColour(Ogre::ColourValue(r / size, g / size, b / size, 1.f));
}

Ogre::Vector3 ColourChooserBox::getCursorPosition() const {
    return origin + Ogre::Vector3(colour.r, colour.g, colour.b) * size;
}

void ColourChooserBox::addListener(const std::string& name, ColourProviderListener* listener) {
    removeListener(name);
    if (listener)
        listeners.emplace_back(name, listener);
}

void ColourChooserBox::removeListener(const std::string& name) {
    listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
                                   [&](const auto& entry) { return entry.first == name; }),
                    listeners.end());
}
