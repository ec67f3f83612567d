#pragma once
// The plane the slice and mirror tools place with the grip: anchored where
// the centre button went down, facing the stylus as it moves, with X, Y and
// Z held to drop that component of the direction. The tools feed it the
// device point, not the proxy: forces are off while a plane is placed and
// the proxy only trails the device then, so the plane follows the hand.
#include "functions/FunctionSeams.h"
#include "functions/tools/ToolSupport.h"

#include <OIS.h>
#include <OgreVector3.h>

class PlaneDrag {
public:
    /// A new drag at `point` (world): no direction yet.
    void start(const Ogre::Vector3& point);
    /// The stylus moved to `point`; the direction follows unless the
    /// constrained difference is zero.
    void moveTo(const Ogre::Vector3& point);
    /// X, Y, Z: true when the key was one of them.
    bool setLock(OIS::KeyCode key, bool held);
    /// Keeps the plane where it is shown when a constraint is lifted.
    void reanchor();

    const Ogre::Vector3& getAnchor() const { return anchor; }
    /// Not normalised; zero until the stylus left the anchor.
    const Ogre::Vector3& getNormal() const { return normal; }
    bool hasPlane() const { return normal != Ogre::Vector3::ZERO; }
    void clearLocks() { locks.clear(); }
    /// The plane as drawn: through the anchor, facing the stylus.
    IToolPlane::Plane shownPlane(bool dragging) const {
        IToolPlane::Plane shown;
        shown.shown = dragging && hasPlane();
        shown.point = anchor;
        if (shown.shown)
            shown.normal = normal.normalisedCopy();
        return shown;
    }

private:
    Ogre::Vector3 anchor = Ogre::Vector3::ZERO;
    Ogre::Vector3 current = Ogre::Vector3::ZERO;
    Ogre::Vector3 normal = Ogre::Vector3::ZERO;
    tools::AxisKeys locks; ///< held axes are dropped from the direction
};
