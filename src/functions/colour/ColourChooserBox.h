#pragma once
// The colour chooser placed in the scene: an axis-aligned cube whose corners
// are black (at its origin) and white (opposite), red along x, green along
// y and blue along z. A point inside the cube is a colour; the cursor marks
// the current one. Main thread only.
#include <OgreColourValue.h>
#include <OgreVector3.h>

#include <string>
#include <utility>
#include <vector>

/// Told whenever the box's current colour changes.
class ColourProviderListener {
public:
    virtual ~ColourProviderListener() = default;
    virtual void colourChanged(const Ogre::ColourValue& colour) = 0;
};

class ColourChooserBox {
public:
    /// `origin`: the black corner, world frame; `size`: the edge length (> 0).
    ColourChooserBox(const Ogre::Vector3& origin, float size);

    const Ogre::ColourValue& getColour() const { return colour; }
    /// Components are clamped to [0, 1]; alpha becomes 1. Listeners hear
    /// every call, in registration order.
    void setColour(const Ogre::ColourValue& newColour);

    /// Whether the world point lies inside the box (faces included).
    bool contains(const Ogre::Vector3& point) const;
    /// The colour at a world point (clamped to the box).
    void setColourFromPoint(const Ogre::Vector3& point);
    /// Places the cursor `r`, `g`, `b` box units from the black corner, the
    /// box's size factor being one full component: callers pass colour
    /// components times getSizeFactor().
    void setCursorColour(float r, float g, float b);
    float getSizeFactor() const { return size; }
    /// The world point of the cursor (the current colour's place in the box).
    Ogre::Vector3 getCursorPosition() const;
    const Ogre::Vector3& getOrigin() const { return origin; }

    bool isVisible() const { return visible; }
    void setVisible(bool on) { visible = on; }
    bool isHovered() const { return hovered; }
    void setHovered(bool on) { hovered = on; }
    bool isActive() const { return active; }
    void setActive(bool on) { active = on; }

    /// A listener per name; a second one under a name replaces the first.
    /// The listener must outlive its registration.
    void addListener(const std::string& name, ColourProviderListener* listener);
    void removeListener(const std::string& name);

private:
    Ogre::Vector3 origin;
    float size;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    bool visible = true;
    bool hovered = false;
    bool active = false;
    std::vector<std::pair<std::string, ColourProviderListener*>> listeners;
};
