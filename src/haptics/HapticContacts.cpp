#include "detail/HapticContacts.h"

#include <algorithm>

namespace Kiln {

std::vector<std::shared_ptr<RuspiniShape>> touchedShapesOf(const std::vector<ContactRecord>& contacts) {
    std::vector<std::shared_ptr<RuspiniShape>> touched;
    for (const ContactRecord& contact : contacts)
        if (auto shape = contact.shape.lock())
            touched.push_back(std::move(shape));
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    return touched;
}

Ogre::Vector3 shapeForceOf(const std::vector<ContactRecord>& contacts, const RuspiniShape* shape) {
    Ogre::Vector3 sum = Ogre::Vector3::ZERO;
    for (const ContactRecord& contact : contacts)
        if (contact.shape.lock().get() == shape)
            sum -= contact.force;
    return sum;
}

Ogre::Vector3 shapeContactPointOf(const std::vector<ContactRecord>& contacts,
                                  const RuspiniShape* shape) {
    Vec3d sum;
    int count = 0;
    for (const ContactRecord& contact : contacts) {
        if (contact.shape.lock().get() != shape)
            continue;
        sum += Vec3d(contact.point.x, contact.point.y, contact.point.z);
        ++count;
    }
    if (count == 0 || !shape)
        return Ogre::Vector3::ZERO;
    const ShapeFrame frame = shape->getFrame();
    const Vec3d local = frame.inverse * (sum * (1.0 / count) - frame.translation);
    return {static_cast<float>(local.x), static_cast<float>(local.y), static_cast<float>(local.z)};
}

Ogre::Vector3 deformationVectorOf(const std::vector<ContactRecord>& contacts) {
    // The proxy resting where several triangles of one flat patch meet has
    // a contact with each of them, all with the same normal: they are one
    // push, counted once at its deepest. Only differently facing contacts
    // (a crease, a corner) add up.
    constexpr float sameDirection = 1.f - 1e-5f;
    std::vector<std::pair<Ogre::Vector3, float>> pushes; // normal, deepest depth
    for (const ContactRecord& contact : contacts) {
        const auto same = std::find_if(pushes.begin(), pushes.end(), [&](const auto& push) {
            return push.first.dotProduct(contact.normal) >= sameDirection;
        });
        if (same == pushes.end())
            pushes.emplace_back(contact.normal, contact.depth);
        else
            same->second = std::max(same->second, contact.depth);
    }
    Ogre::Vector3 sum = Ogre::Vector3::ZERO;
    for (const auto& push : pushes)
        sum -= push.first * push.second;
    return sum;
}

} // namespace Kiln
