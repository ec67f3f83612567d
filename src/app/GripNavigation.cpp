#include "app/GripNavigation.h"

#include "app/MouseNavigation.h"
#include "functions/FunctionManager.h"
#include "haptics/HapticManager.h"
#include "hapticdevice/IHapticsDevice.h"
#include "input/InputManager.h"

#include <cmath>

namespace Kiln {

Ogre::Vector3 CubeForces::pan(const Ogre::Vector3& d, bool& armed, Ogre::Vector3& velocity) {
    const float e = d.length() - deadZone;
    if (e <= 0.f) {
        armed = true;
        velocity = Ogre::Vector3::ZERO;
        return Ogre::Vector3::ZERO;
    }
    if (!armed) {
        velocity = Ogre::Vector3::ZERO;
        return Ogre::Vector3::ZERO;
    }
    velocity = -2.f * e * d;
    return -0.1f * e * d;
}

Ogre::Vector3 CubeForces::orbit(const Ogre::Vector3& d, bool& armed, Ogre::Vector3& velocity) {
    const float eXY = std::sqrt(d.x * d.x + d.y * d.y) - deadZone;
    const float eZ = std::fabs(d.z) - deadZone;
    if (eXY <= 0.f || eZ <= 0.f)
        armed = true;
    Ogre::Vector3 pull = Ogre::Vector3::ZERO;
    if (armed && eXY > 0.f) {
        pull.x = -eXY * d.x;
        pull.y = -eXY * d.y;
    }
    if (armed && eZ > 0.f)
        pull.z = -eZ * d.z;
    velocity = 2.f * pull;
    return 0.1f * pull;
}

/// One cube force on the haptic thread; the main thread reads its velocity.
class GripNavigation::CubeEffect : public IHapticForceEffect {
public:
    explicit CubeEffect(bool radial) : radial(radial) {}
    void arm(const Ogre::Vector3& rest) {
        std::lock_guard<std::mutex> lock(mutex);
        centre = rest;
        armed = false;
        velocity = Ogre::Vector3::ZERO;
    }
    Ogre::Vector3 getVelocity() {
        std::lock_guard<std::mutex> lock(mutex);
        return velocity;
    }
    Ogre::Vector3& computeForce(Ogre::Vector3& force, IHapticsDevice& device) override {
        const Ogre::Vector3 d = device.getDevicePosition() - centre;
        std::lock_guard<std::mutex> lock(mutex);
        force = radial ? CubeForces::pan(d, armed, velocity) : CubeForces::orbit(d, armed, velocity);
        return force;
    }

private:
    const bool radial;
    std::mutex mutex;
    Ogre::Vector3 centre = Ogre::Vector3(0.f, 0.f, -10.f);
    bool armed = false;
    Ogre::Vector3 velocity = Ogre::Vector3::ZERO;
};

GripNavigation::GripNavigation(MouseNavigation& view, HapticManager& haptics, FunctionManager& functions,
                               const IKeyState& keys)
    : view(view), haptics(haptics), functions(functions), keys(keys),
      orbitEffect(std::make_unique<CubeEffect>(false)), panEffect(std::make_unique<CubeEffect>(true)) {}

GripNavigation::~GripNavigation() {
    if (IHapticsDevice* device = haptics.getDevice()) {
        device->removeForceEffect(orbitEffect.get());
        device->removeForceEffect(panEffect.get());
    }
}

bool GripNavigation::modifierHeld() const {
    return keys.isKeyDown(OIS::KC_LSHIFT) || keys.isKeyDown(OIS::KC_RSHIFT) ||
           keys.isKeyDown(OIS::KC_LCONTROL) || keys.isKeyDown(OIS::KC_RCONTROL) ||
           keys.isKeyDown(OIS::KC_LMENU) || keys.isKeyDown(OIS::KC_RMENU);
}

void GripNavigation::begin(CubeEffect& effect) {
    functions.requestHaptics(this, false);
    functions.setInputEnabled(false);
    effect.arm(Ogre::Vector3(0.f, 0.f, -10.f));
    if (IHapticsDevice* device = haptics.getDevice()) {
        device->addForceEffect(&effect);
        lastDevice = device->getDevicePosition();
    }
    lastWorld = view.toCameraFrame(haptics.getState().position);
    delta = worldDelta = Ogre::Vector3::ZERO;
}

void GripNavigation::end(CubeEffect& effect) {
    if (IHapticsDevice* device = haptics.getDevice())
        device->removeForceEffect(&effect);
    functions.setInputEnabled(true);
    functions.requestHaptics(this, true);
}

bool GripNavigation::hapticButtonPressed(const HapticEvent& event, const ButtonMask& wentDown) {
    (void)event;
    held |= wentDown;
    if (!view.isEnabled() || orbiting || panning)
        return true;
    if (held == 8u && !modifierHeld()) {
        begin(*orbitEffect);
        orbiting = true;
    } else if (held == 2u && view.isCentreUnlocked()) {
        begin(*panEffect);
        panning = true;
    }
    return true;
}

bool GripNavigation::hapticMoved(const HapticEvent& event) {
    if (!orbiting && !panning)
        return true;
    const HapticState& state = event.getState();
    delta += lastDevice - state.devicePosition;
    lastDevice = state.devicePosition;
    // In the camera's frame: the device rides with the camera, so the
    // camera's own moves do not count as moves of the hand.
    const Ogre::Vector3 hand = view.toCameraFrame(state.position);
    worldDelta += hand - lastWorld;
    lastWorld = hand;
    return true;
}

bool GripNavigation::hapticButtonReleased(const HapticEvent& event, const ButtonMask& wentUp) {
    (void)event;
    held &= ~wentUp;
    if (orbiting && (wentUp & 8u)) {
        orbiting = false;
        end(*orbitEffect);
    } else if (panning && (wentUp & 2u)) {
        panning = false;
        end(*panEffect);
    }
    return true;
}

void GripNavigation::step(float seconds) {
    if (orbiting) {
        const Ogre::Vector3 velocity = orbitEffect->getVelocity();
        const float yaw = (velocity.x * seconds * 0.5f + delta.x) * 0.02f;
        const float pitch = (velocity.y * seconds * 0.5f + delta.y) * 0.02f;
        const float zoom = (velocity.z * seconds * 0.5f + delta.z) * 0.5f;
        view.turn(yaw, -pitch);
        view.moveAway(zoom);
        delta = Ogre::Vector3::ZERO;
    } else if (panning) {
        // The scene follows the hand like a dragged sheet, and the spring's
        // stretch keeps it sliding.
        const Ogre::Vector3 velocity = panEffect->getVelocity();
        view.shift(view.toWorldDirection(-worldDelta + velocity * (seconds * 0.5f * 0.01f)));
        worldDelta = Ogre::Vector3::ZERO;
    }
}

} // namespace Kiln
