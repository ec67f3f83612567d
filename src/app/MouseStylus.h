#pragma once
// The system mouse as the stylus, for the many people without a haptic
// device. The pointer aims the stylus: the simulated hand's target follows
// the ray under the pointer and rests on the first surface it shows; the
// wheel pushes the target into that surface (or pulls it out), and the
// push is kept while the pointer moves, so a press-and-drag sculpts. The
// hand's spring gives the contact force, exactly as a real hand would.
//
// The mapping lives here and only here (the README documents it):
//   left button            button ID 0, every tool's main action
//   right button           button ID 2, select
//   middle button drag     button ID 3, orbit
//   Shift + middle drag    button ID 1, pan
//   wheel, one notch       push into / pull out of the surface by pushStep
#include "scene/ObjectHandle.h"

#include <OIS.h>
#include <OgreRay.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace Kiln {

class HapticsDeviceSimulated;
class IKeyState;

/// The surface under the pointer: world point and the outward normal
/// facing the viewer.
struct SurfaceHit {
    Ogre::Vector3 point;
    Ogre::Vector3 normal;
};

class MouseStylus : public OIS::MouseListener {
public:
    /// World ray through a viewport point given as fractions (0..1).
    using RayAt = std::function<Ogre::Ray(float fx, float fy)>;
    /// The first surface the ray meets, if any.
    using SurfaceAt = std::function<std::optional<SurfaceHit>(const Ogre::Ray& ray)>;
    /// The button mask the program has seen from the device so far.
    using SeenButtons = std::function<std::uint32_t()>;

    /// Fraction of the stylus radius by which the resting tip presses into
    /// a surface: just enough that the surface counts as touched.
    static constexpr float restingPress = 0.02f;
    /// Wheel step, as a fraction of the stylus radius per notch.
    static constexpr float pushStep = 0.1f;
    /// OIS reports this much wheel travel per notch.
    static constexpr int wheelUnitsPerNotch = 120;

    /// `device` and `keys` must outlive this object.
    MouseStylus(HapticsDeviceSimulated& device, const IKeyState& keys, RayAt rayAt,
                SurfaceAt surfaceAt, SeenButtons seenButtons);

    /// Once per frame with the pointer position in window pixels and the
    /// window size; `radius`: the stylus radius in world units (> 0).
    /// Hands the device the next button change once the program has seen
    /// the last one, so that a click shorter than a frame is not lost.
    void update(int x, int y, unsigned width, unsigned height, float radius);

    /// The button mask the mouse holds now (bit i = button ID i).
    std::uint32_t getButtons() const { return buttons; }
    float getPush() const { return push; }
    const std::optional<Ogre::Vector3>& getTarget() const { return target; }

    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;

private:
    /// Button ID of a mouse button, -1 when it has none.
    int buttonIdOf(OIS::MouseButtonID id) const;
    void queueButton(int buttonId, bool down);
    void applyNextButton();

    HapticsDeviceSimulated& device;
    const IKeyState& keys;
    RayAt rayAt;
    SurfaceAt surfaceAt;
    SeenButtons seenButtons;
    std::deque<std::pair<int, bool>> pendingButtons; ///< button ID, down
    std::uint32_t buttons = 0;
    int middleButtonId = 3; ///< decided when the middle button goes down
    int wheelUnits = 0;     ///< signed wheel travel not yet turned into push
    float push = 0.f;       ///< world units into the surface (negative: out)
    float lastDistance = -1.f; ///< along the ray, for the pointer over empty space
    std::optional<Ogre::Vector3> target;
};

} // namespace Kiln
