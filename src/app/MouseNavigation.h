#pragma once
// Moving the view: orbit about the rotation centre, pan, zoom towards it,
// the keyboard camera moves, the rotation-centre lock (L) and the polygon
// mode (F2). The camera rides on the view root, so every move is a move of
// that root. Main thread only.
//
// Keyboard camera moves (held, no Shift/Ctrl/Alt; 20 units a second along
// the camera's own axes), chosen to clash with no shortcut:
//   Left / Right   camera X        Up / Down   camera Y
//   Home / End     forward / back (camera Z)
#include <OIS.h>
#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <functional>
#include <string>

namespace Ogre {
class Camera;
}

namespace Kiln {

class IKeyState;
class ObjectGroup;

class MouseNavigation : public OIS::KeyListener {
public:
    /// Radians per pixel of an orbit drag.
    static constexpr float orbitRate = 0.006f;
    /// Distance factor per wheel notch towards the centre.
    static constexpr float zoomStep = 0.85f;
    /// The camera never comes closer to the centre than this.
    static constexpr float minimumDistance = 0.5f;
    static constexpr float keyboardSpeed = 20.f;

    using Post = std::function<void(const std::string& text)>;

    /// `viewRoot` carries `camera`; `keys` answers which keys are held.
    MouseNavigation(ObjectGroup& viewRoot, Ogre::Camera* camera, const IKeyState& keys, Post post);

    void setEnabled(bool on) { enabled = on; }
    bool isEnabled() const { return enabled; }

    /// A drag by (dx, dy) pixels.
    void orbit(float dx, float dy);
    /// A drag by (dx, dy) pixels; the scene follows the pointer.
    void pan(float dx, float dy);
    /// Positive notches come closer.
    void zoom(float notches);
    void reset();
    /// Turns the camera about the centre: yaw about the world's up axis,
    /// pitch about the camera's own X axis (radians).
    void turn(float yaw, float pitch);
    /// Changes the distance to the centre (never below minimumDistance).
    void moveAway(float distance);
    /// Moves the camera and the centre by a world vector.
    void shift(const Ogre::Vector3& world);
    /// A camera-frame direction in world axes.
    Ogre::Vector3 toWorldDirection(const Ogre::Vector3& local) const;
    /// A world point in the camera's frame (which the device rides in).
    Ogre::Vector3 toCameraFrame(const Ogre::Vector3& world) const;
    /// Keyboard moves; once per frame.
    void step(float seconds);

    const Ogre::Vector3& getRotationCentre() const { return centre; }
    /// Pans the camera so that it looks at `world` as it looked at the old
    /// centre (same direction and distance); orbits then turn about it.
    void setRotationCentre(const Ogre::Vector3& world) { shift(world - centre); }
    float getDistance() const;
    bool isCentreUnlocked() const { return centreUnlocked; }

    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;

private:
    bool modifierHeld() const;
    void place(const Ogre::Quaternion& orientation, float distance);

    ObjectGroup& viewRoot;
    Ogre::Camera* camera;
    const IKeyState& keys;
    Post post;
    Ogre::Vector3 startPosition;
    Ogre::Quaternion startOrientation;
    Ogre::Vector3 centre = Ogre::Vector3::ZERO;
    bool enabled = true;
    bool centreUnlocked = true;
};

} // namespace Kiln
