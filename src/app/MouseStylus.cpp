#include "app/MouseStylus.h"

#include "hapticdevice/HapticsDeviceSimulated.h"
#include "input/InputManager.h"

#include <cmath>

namespace Kiln {

MouseStylus::MouseStylus(HapticsDeviceSimulated& device_, const IKeyState& keys_, RayAt rayAt_,
                         SurfaceAt surfaceAt_, SeenButtons seenButtons_)
    : device(device_), keys(keys_), rayAt(std::move(rayAt_)), surfaceAt(std::move(surfaceAt_)),
      seenButtons(std::move(seenButtons_)) {}

int MouseStylus::buttonIdOf(OIS::MouseButtonID id) const {
    switch (id) {
    case OIS::MB_Left: return 0;
    case OIS::MB_Right: return 2;
    case OIS::MB_Middle: return middleButtonId;
    default: return -1;
    }
}

void MouseStylus::queueButton(int buttonId, bool down) {
    if (buttonId >= 0)
        pendingButtons.emplace_back(buttonId, down);
}

void MouseStylus::applyNextButton() {
    if (pendingButtons.empty() || (seenButtons && seenButtons() != buttons))
        return;
    const auto [buttonId, down] = pendingButtons.front();
    pendingButtons.pop_front();
    const std::uint32_t bit = 1u << unsigned(buttonId);
    buttons = down ? (buttons | bit) : (buttons & ~bit);
    device.setButtons(static_cast<int>(buttons));
}

bool MouseStylus::mousePressed(const OIS::MouseEvent&, OIS::MouseButtonID id) {
    if (id == OIS::MB_Middle) {
        const bool shift = keys.isKeyDown(OIS::KC_LSHIFT) || keys.isKeyDown(OIS::KC_RSHIFT);
        middleButtonId = shift ? 1 : 3;
    }
    queueButton(buttonIdOf(id), true);
    return true;
}

bool MouseStylus::mouseReleased(const OIS::MouseEvent&, OIS::MouseButtonID id) {
    queueButton(buttonIdOf(id), false);
    return true;
}

bool MouseStylus::mouseMoved(const OIS::MouseEvent& event) {
    wheelUnits += event.state.Z.rel;
    return true;
}

void MouseStylus::update(int x, int y, unsigned width, unsigned height, float radius) {
    applyNextButton();
    if (width == 0 || height == 0 || !(radius > 0.f) || !std::isfinite(radius))
        return;
    const int notches = wheelUnits / wheelUnitsPerNotch;
    wheelUnits -= notches * wheelUnitsPerNotch;
    push += float(notches) * pushStep * radius;
    if (x < 0 || y < 0 || x >= int(width) || y >= int(height))
        return; // the pointer left the window: the stylus stays where it was
    const Ogre::Ray ray = rayAt((float(x) + 0.5f) / float(width), (float(y) + 0.5f) / float(height));
    Ogre::Vector3 world;
    if (const std::optional<SurfaceHit> hit = surfaceAt(ray)) {
        // Rest the tip on the surface along its normal, whatever the angle
        // of view, then press in by the wheel's push.
        world = hit->point + hit->normal * (radius * (1.f - restingPress) - push);
        lastDistance = (world - ray.getOrigin()).length() + push;
    } else {
        if (lastDistance < 0.f) // nothing touched yet: keep the hand's own depth
            lastDistance = (device.getPosition() - ray.getOrigin()).length();
        world = ray.getPoint(lastDistance - push);
    }
    target = world;
    device.setTarget(device.worldPointToDevice(world));
}

} // namespace Kiln
