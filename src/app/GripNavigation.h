#pragma once
// Moving the view with the haptic grip. Holding button ID 3 alone (no Shift,
// Ctrl or Alt) orbits; holding button ID 1 alone pans (unless the rotation
// centre is locked). While a mode is on, the device pushes the hand back
// towards a rest point with a soft cube-shaped force: inside a dead zone of
// 10 units the hand moves freely, beyond it a spring pulls it back and the
// stretch sets the speed of the camera. A mode starts disarmed, so a hand
// that is already off centre gets no jolt until it has been inside once.
//
// While navigating, haptic rendering is off (only the cube force is felt)
// and the tools hear no events.
#include "haptics/HapticEvent.h"
#include "hapticdevice/HapticForceEffect.h"

#include <OgreVector3.h>

#include <functional>
#include <memory>
#include <mutex>

class FunctionManager;

namespace Kiln {

class HapticManager;
class IKeyState;
class MouseNavigation;

/// The two cube forces, as functions of the hand's offset `d` from the rest
/// point (device frame). They set `armed` once the hand is inside the dead
/// zone and write the camera velocity; both are zero until armed.
struct CubeForces {
    static constexpr float deadZone = 10.f;
    /// Radial: force -0.1 e d and velocity -2 e d with e = |d| - 10.
    static Ogre::Vector3 pan(const Ogre::Vector3& d, bool& armed, Ogre::Vector3& velocity);
    /// A cylinder in X-Y and a slab in Z, each pulling back on its own.
    static Ogre::Vector3 orbit(const Ogre::Vector3& d, bool& armed, Ogre::Vector3& velocity);
};

class GripNavigation : public IHapticListener {
public:
    using Modifiers = std::function<bool()>;

    GripNavigation(MouseNavigation& view, HapticManager& haptics, FunctionManager& functions,
                   const IKeyState& keys);
    ~GripNavigation() override;

    bool isOrbiting() const { return orbiting; }
    bool isPanning() const { return panning; }
    /// The camera steps; once per frame on the main thread.
    void step(float seconds);

    bool hapticMoved(const HapticEvent& event) override;
    bool hapticButtonPressed(const HapticEvent& event, const ButtonMask& wentDown) override;
    bool hapticButtonReleased(const HapticEvent& event, const ButtonMask& wentUp) override;

private:
    class CubeEffect;
    bool modifierHeld() const;
    void begin(CubeEffect& effect);
    void end(CubeEffect& effect);

    MouseNavigation& view;
    HapticManager& haptics;
    FunctionManager& functions;
    const IKeyState& keys;
    std::unique_ptr<CubeEffect> orbitEffect;
    std::unique_ptr<CubeEffect> panEffect;
    ButtonMask held = 0;
    bool orbiting = false;
    bool panning = false;
    Ogre::Vector3 lastDevice = Ogre::Vector3::ZERO;
    Ogre::Vector3 delta = Ogre::Vector3::ZERO;
    /// The hand in the camera's frame, and its move since the last step.
    Ogre::Vector3 lastWorld = Ogre::Vector3::ZERO;
    Ogre::Vector3 worldDelta = Ogre::Vector3::ZERO;
};

} // namespace Kiln
