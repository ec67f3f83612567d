#include "app/MouseNavigation.h"

#include "input/InputManager.h"
#include "log/DebugChannel.h"
#include "scene/ObjectGroup.h"

#include <OgreCamera.h>

#include <algorithm>
#include <cmath>

namespace Kiln {

MouseNavigation::MouseNavigation(ObjectGroup& viewRoot, Ogre::Camera* camera, const IKeyState& keys,
                                 Post post)
    : viewRoot(viewRoot), camera(camera), keys(keys), post(std::move(post)),
      startPosition(viewRoot.getPosition()), startOrientation(viewRoot.getOrientation()) {}

float MouseNavigation::getDistance() const { return (viewRoot.getPosition() - centre).length(); }

void MouseNavigation::place(const Ogre::Quaternion& orientation, float distance) {
    // The camera looks along its -Z: it sits at the centre plus its +Z axis.
    const Ogre::Vector3 back = orientation * Ogre::Vector3::UNIT_Z;
    viewRoot.setTransform(centre + back * distance, orientation, viewRoot.getScale());
}

void MouseNavigation::orbit(float dx, float dy) {
    if (enabled)
        turn(-dx * orbitRate, -dy * orbitRate);
}

void MouseNavigation::turn(float yawRadians, float pitchRadians) {
    const Ogre::Quaternion q = viewRoot.getOrientation();
    const Ogre::Quaternion yaw(Ogre::Radian(yawRadians), Ogre::Vector3::UNIT_Y);
    const Ogre::Quaternion pitch(Ogre::Radian(pitchRadians), Ogre::Vector3::UNIT_X);
    Ogre::Quaternion turned = yaw * q * pitch;
    turned.normalise();
    place(turned, getDistance());
}

void MouseNavigation::moveAway(float distance) {
    if (distance != 0.f)
        place(viewRoot.getOrientation(), std::max(getDistance() + distance, minimumDistance));
}

void MouseNavigation::shift(const Ogre::Vector3& world) {
    centre += world;
    viewRoot.setPosition(viewRoot.getPosition() + world);
}

Ogre::Vector3 MouseNavigation::toCameraFrame(const Ogre::Vector3& world) const {
    return viewRoot.getInverseWorldMatrix() * world;
}

Ogre::Vector3 MouseNavigation::toWorldDirection(const Ogre::Vector3& local) const {
    return viewRoot.getOrientation() * local;
}

void MouseNavigation::pan(float dx, float dy) {
    if (!enabled)
        return;
    // One pixel moves the scene by about one pixel at the centre's depth.
    const float perPixel = std::max(getDistance(), minimumDistance) * 0.0012f;
    const Ogre::Quaternion q = viewRoot.getOrientation();
    const Ogre::Vector3 shift = (q * Ogre::Vector3::UNIT_X) * (-dx * perPixel) +
                                (q * Ogre::Vector3::UNIT_Y) * (dy * perPixel);
    centre += shift;
    viewRoot.setPosition(viewRoot.getPosition() + shift);
}

void MouseNavigation::zoom(float notches) {
    if (!enabled || notches == 0.f)
        return;
    const float distance = std::max(getDistance() * std::pow(zoomStep, notches), minimumDistance);
    place(viewRoot.getOrientation(), distance);
}

void MouseNavigation::reset() {
    centre = Ogre::Vector3::ZERO;
    viewRoot.setTransform(startPosition, startOrientation, viewRoot.getScale());
}

bool MouseNavigation::modifierHeld() const {
    return keys.isKeyDown(OIS::KC_LSHIFT) || keys.isKeyDown(OIS::KC_RSHIFT) ||
           keys.isKeyDown(OIS::KC_LCONTROL) || keys.isKeyDown(OIS::KC_RCONTROL) ||
           keys.isKeyDown(OIS::KC_LMENU) || keys.isKeyDown(OIS::KC_RMENU);
}

void MouseNavigation::step(float seconds) {
    if (!enabled || modifierHeld())
        return;
    Ogre::Vector3 local = Ogre::Vector3::ZERO;
    if (keys.isKeyDown(OIS::KC_LEFT)) local.x -= 1.f;
    if (keys.isKeyDown(OIS::KC_RIGHT)) local.x += 1.f;
    if (keys.isKeyDown(OIS::KC_DOWN)) local.y -= 1.f;
    if (keys.isKeyDown(OIS::KC_UP)) local.y += 1.f;
    if (keys.isKeyDown(OIS::KC_HOME)) local.z -= 1.f;
    if (keys.isKeyDown(OIS::KC_END)) local.z += 1.f;
    if (local.isZeroLength())
        return;
    const Ogre::Vector3 shift = viewRoot.getOrientation() * local * (keyboardSpeed * seconds);
    viewRoot.setPosition(viewRoot.getPosition() + shift);
    // Forward and back moves bring the camera nearer the centre; sideways
    // moves carry the centre along.
    centre += viewRoot.getOrientation() * Ogre::Vector3(local.x, local.y, 0.f) * (keyboardSpeed * seconds);
}

bool MouseNavigation::keyPressed(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_L) {
        centreUnlocked = !centreUnlocked;
        if (post)
            post(std::string("World rotation centre point is now ") + (centreUnlocked ? "unlocked." : "locked."));
    }
    return true;
}

bool MouseNavigation::keyReleased(const OIS::KeyEvent& event) {
    if (event.key != OIS::KC_F2 || modifierHeld() || !camera)
        return true;
    const Ogre::PolygonMode mode = camera->getPolygonMode();
    const char* text = "PolygonMode: SOLID (from unknown)";
    Ogre::PolygonMode next = Ogre::PM_SOLID;
    if (mode == Ogre::PM_WIREFRAME) {
        text = "PolygonMode: SOLID";
    } else if (mode == Ogre::PM_SOLID) {
        text = "PolygonMode: WIREFRAME";
        next = Ogre::PM_WIREFRAME;
    }
    camera->setPolygonMode(next);
    debugChannel("Navigation") << text << " [" << int(next) << "]" << Kiln::endl;
    return true;
}

} // namespace Kiln
