#pragma once
// What the haptic manager tells its listeners once per graphics frame: the
// device state of this frame and which grip buttons went down or up.
#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <cstdint>

namespace Kiln {

class IHapticsDevice;

/// Bit i set = button ID i down. IDs 0 to 7 are valid. With the four-button
/// grip: ID 0 = the centre button (every tool's main action), ID 1 = pan,
/// ID 2 = select, ID 3 = orbit.
using ButtonMask = std::uint32_t;

/// The device state of one frame, world frame unless said.
struct HapticState {
    Ogre::Vector3 position = Ogre::Vector3::ZERO;       ///< device point
    Ogre::Vector3 proxyPosition = Ogre::Vector3::ZERO;  ///< proxy centre
    Ogre::Vector3 devicePosition = Ogre::Vector3::ZERO; ///< device frame
    Ogre::Quaternion orientation{0.f, 0.f, 0.f, 0.f};
    int numButtons = 4;
    double proxyRadius = 0.0;
    ButtonMask buttons = 0;

    /// Vectors to zero, orientation to all zeros, buttons to 0; numButtons
    /// and proxyRadius keep their values.
    void reset() {
        position = proxyPosition = devicePosition = Ogre::Vector3::ZERO;
        orientation = Ogre::Quaternion(0.f, 0.f, 0.f, 0.f);
        buttons = 0;
    }
};

/// Lives on the stack for one dispatch; listeners must not keep it.
class HapticEvent {
public:
    HapticEvent(const HapticState* state, IHapticsDevice* device) : state(state), device(device) {}
    virtual ~HapticEvent() = default;

    const HapticState& getState() const { return *state; }
    IHapticsDevice* getDevice() const { return device; }

    /// Whether bit `id` of `mask` is set. Throws Kiln::Exception (code 3,
    /// "Invalid button ID", origin "Kiln::HapticEvent") for id above 7.
    static bool testButton(ButtonMask mask, unsigned id);

private:
    const HapticState* state;
    IHapticsDevice* device;
};

/// Return true to pass the event on to the next listener, false to consume it.
class IHapticListener {
public:
    virtual ~IHapticListener() = default;
    virtual bool hapticMoved(const HapticEvent& event) = 0;
    virtual bool hapticButtonPressed(const HapticEvent& event, const ButtonMask& wentDown) = 0;
    virtual bool hapticButtonReleased(const HapticEvent& event, const ButtonMask& wentUp) = 0;
};

} // namespace Kiln
