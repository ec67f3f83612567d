#include "functions/cut/PlaneDrag.h"

#include <cmath>

void PlaneDrag::start(const Ogre::Vector3& point) {
    // A new drag never inherits the last drag's plane: a click without a
    // movement must not cut or mirror anything.
    anchor = current = point;
    normal = Ogre::Vector3::ZERO;
}

void PlaneDrag::moveTo(const Ogre::Vector3& point) {
    current = point;
    Ogre::Vector3 d = current - anchor;
    if (lockX)
        d.x = 0.f;
    if (lockY)
        d.y = 0.f;
    if (lockZ)
        d.z = 0.f;
    if (d != Ogre::Vector3::ZERO && std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z))
        normal = d;
}

bool PlaneDrag::setLock(OIS::KeyCode key, bool held) {
    switch (key) {
    case OIS::KC_X: lockX = held; return true;
    case OIS::KC_Y: lockY = held; return true;
    case OIS::KC_Z: lockZ = held; return true;
    default: return false;
    }
}

void PlaneDrag::reanchor() { anchor = current - normal; }
