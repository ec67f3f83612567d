#include "detail/HapticContacts.h"

#include <gtest/gtest.h>

namespace {

Kiln::ContactRecord contact(const Ogre::Vector3& normal, float depth) {
    Kiln::ContactRecord c;
    c.normal = normal;
    c.depth = depth;
    return c;
}

TEST(DeformationVector, ContactsOfOneFlatPatchPushOnceAtTheirDeepest) {
    // Resting where six coplanar triangles meet gives six contacts: the dent
    // must not be six times as deep as the push.
    std::vector<Kiln::ContactRecord> flat;
    for (int i = 0; i < 6; ++i)
        flat.push_back(contact(Ogre::Vector3::UNIT_Y, 0.1f + 0.01f * float(i)));
    const Ogre::Vector3 v = Kiln::deformationVectorOf(flat);
    EXPECT_NEAR(v.x, 0.f, 1e-7f);
    EXPECT_NEAR(v.y, -0.15f, 1e-6f);
}

TEST(DeformationVector, DifferentlyFacingContactsAddUp) {
    // In a crease the two faces each push.
    const Ogre::Vector3 v = Kiln::deformationVectorOf(
        {contact(Ogre::Vector3::UNIT_Y, 0.2f), contact(Ogre::Vector3::UNIT_X, 0.1f),
         contact(Ogre::Vector3::UNIT_Y, 0.2f)});
    EXPECT_NEAR(v.x, -0.1f, 1e-7f);
    EXPECT_NEAR(v.y, -0.2f, 1e-7f);
    EXPECT_EQ(Kiln::deformationVectorOf({}), Ogre::Vector3::ZERO);
}

} // namespace
