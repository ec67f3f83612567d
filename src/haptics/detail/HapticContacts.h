#pragma once
// What the main thread reads out of one published set of contacts. The
// renderer republishes every tick, so questions about the same frame must
// be asked of one copy (RuspiniRenderer::getContacts), or a shape touched in
// one tick may show no force in the next.
#include "haptics/RuspiniRenderer.h"

#include <memory>
#include <vector>

namespace Kiln {

/// Each shape that still exists once, in no particular order.
std::vector<std::shared_ptr<RuspiniShape>> touchedShapesOf(const std::vector<ContactRecord>& contacts);
/// The force the proxy exerts on `shape`: minus its contacts' forces.
Ogre::Vector3 shapeForceOf(const std::vector<ContactRecord>& contacts, const RuspiniShape* shape);
/// Mean contact point on `shape`, in its local frame; zero without contacts.
Ogre::Vector3 shapeContactPointOf(const std::vector<ContactRecord>& contacts,
                                  const RuspiniShape* shape);
/// -sum(normal * depth) over all contacts: where a soft surface gives way.
Ogre::Vector3 deformationVectorOf(const std::vector<ContactRecord>& contacts);

} // namespace Kiln
