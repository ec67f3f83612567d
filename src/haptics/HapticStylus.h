#pragma once
// The visual stylus: a tip drawn at the proxy, as wide as the proxy, that
// sinks with a live dent. The drawing itself sits behind IStylusView so the
// haptic side needs no window (the graphics library supplies the view).
#include "haptics/HapticEvent.h"

#include <OgreColourValue.h>
#include <OgreMatrix3.h>

#include <cstdint>
#include <map>

namespace Kiln {

/// Draws the stylus. Main thread only.
class IStylusView {
public:
    virtual ~IStylusView() = default;
    virtual void setPosition(const Ogre::Vector3& world) = 0;
    virtual void setOrientation(const Ogre::Quaternion& orientation) = 0;
    /// World radius of the tip; > 0.
    virtual void setRadius(float radius) = 0;
    virtual void setColour(const Ogre::ColourValue& colour) = 0;
    virtual void setVisible(bool visible) = 0;
};

class HapticStylus : public IHapticListener {
public:
    /// `view` may be null (no window: tests, tools without graphics).
    explicit HapticStylus(IStylusView* view);

    /// Never throws: without a view the colour is only remembered.
    void setColour(const Ogre::ColourValue& colour);
    const Ogre::ColourValue& getColour() const { return colour; }
    void setVisible(bool visible);
    bool isVisible() const { return visible; }
    void setRadius(float radius);
    float getRadius() const { return radius; }

    /// Base position = p; the view shows p + the mean of the offsets.
    void setPosition(const Ogre::Vector3& p);
    const Ogre::Vector3& getBasePosition() const { return basePosition; }
    const Ogre::Vector3& getDisplayPosition() const { return displayPosition; }
    /// Named offsets (one per dented object id) that the tip sinks by.
    void setOffset(std::uint32_t objectId, const Ogre::Vector3& offset);
    void removeOffset(std::uint32_t objectId);

    /// Applied to the dent vector before a dent is made (the deform tool's
    /// axis locks); identity by default.
    void setDirectionMatrix(const Ogre::Matrix3& m) { direction = m; }
    const Ogre::Matrix3& getDirectionMatrix() const { return direction; }

    /// Follows the proxy (the device point when the proxy is NaN).
    bool hapticMoved(const HapticEvent& event) override;
    bool hapticButtonPressed(const HapticEvent&, const ButtonMask&) override { return true; }
    bool hapticButtonReleased(const HapticEvent&, const ButtonMask&) override { return true; }

private:
    void show();

    IStylusView* view;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    bool visible = true;
    float radius = 1.f;
    Ogre::Vector3 basePosition = Ogre::Vector3::ZERO;
    Ogre::Vector3 displayPosition = Ogre::Vector3::ZERO;
    Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
    std::map<std::uint32_t, Ogre::Vector3> offsets;
    Ogre::Matrix3 direction = Ogre::Matrix3::IDENTITY;
};

} // namespace Kiln
