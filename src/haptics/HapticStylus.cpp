#include "haptics/HapticStylus.h"

#include "log/DebugChannel.h"

#include <cmath>
#include <exception>
#include <iostream>

namespace Kiln {
namespace {

DebugChannel& channel() {
    static DebugChannel stylusChannel("HapticStylus", std::cerr);
    return stylusChannel;
}

bool hasNaN(const Ogre::Vector3& v) { return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z); }

} // namespace

HapticStylus::HapticStylus(IStylusView* view_) : view(view_) {}

// Tools set the colour on every activation; a view that fails here must not
// take the program down over a tint.
void HapticStylus::setColour(const Ogre::ColourValue& value) {
    colour = value;
    if (!view)
        return;
    try {
        view->setColour(value);
    } catch (const std::exception& error) {
        channel() << "setColour(): the stylus keeps its old colour: " << error.what() << endl;
    }
}

void HapticStylus::setVisible(bool on) {
    visible = on;
    if (view)
        view->setVisible(on);
}

void HapticStylus::setRadius(float value) {
    if (!(value > 0.f) || !std::isfinite(value))
        return;
    radius = value;
    if (view)
        view->setRadius(value);
}

void HapticStylus::setPosition(const Ogre::Vector3& p) {
    basePosition = p;
    displayPosition = p;
    if (!offsets.empty()) {
        Ogre::Vector3 sum = Ogre::Vector3::ZERO;
        for (const auto& entry : offsets)
            sum += entry.second;
        displayPosition += sum / static_cast<float>(offsets.size());
    }
    show();
}

void HapticStylus::setOffset(std::uint32_t objectId, const Ogre::Vector3& offset) {
    offsets[objectId] = offset;
}

void HapticStylus::removeOffset(std::uint32_t objectId) { offsets.erase(objectId); }

bool HapticStylus::hapticMoved(const HapticEvent& event) {
    const HapticState& state = event.getState();
    orientation = state.orientation;
    if (view)
        view->setOrientation(orientation);
    setPosition(hasNaN(state.proxyPosition) ? state.position : state.proxyPosition);
    return true;
}

void HapticStylus::show() {
    if (view)
        view->setPosition(displayPosition);
}

} // namespace Kiln
