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
    if (locks.x)
        d.x = 0.f;
    if (locks.y)
        d.y = 0.f;
    if (locks.z)
        d.z = 0.f;
    if (d != Ogre::Vector3::ZERO && std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z))
        normal = d;
}

bool PlaneDrag::setLock(OIS::KeyCode key, bool held) { return locks.take(key, held); }

void PlaneDrag::reanchor() { anchor = current - normal; }
