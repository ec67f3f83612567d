#include "io/Vrml.h"

#include "IoTestSupport.h"

#include <gtest/gtest.h>

using namespace Kiln;
using namespace iotest;

TEST(Vrml, DistinctPointsAndColoursInNestedTransforms) {
    ObjectGroup root;
    auto group = std::make_unique<ObjectGroup>();
    group->setPosition(Ogre::Vector3(0, 0, 1));
    auto object = std::make_unique<Object>();
    // Four vertices, two at the same place and three sharing a colour.
    object->setMesh(std::make_unique<DynamicMesh>(
        std::vector<Vertex>{vertex(1, 0, 0, Ogre::ColourValue::Red), vertex(0, 0, 0),
                            vertex(0, 1, 0, Ogre::ColourValue::Red), vertex(1, 0, 0, Ogre::ColourValue::Red)},
        std::vector<Face>{{0, 2, 1}, {3, 2, 1}}));
    group->adoptChild(std::move(object));
    root.adoptChild(std::move(group));
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)->setVisible(false);

    EXPECT_EQ("#VRML V2.0 utf8\n"
              "# created by Morvel from Brevant\n"
              "Transform {\nchildren [\n"
              "Transform {\nchildren [\n"
              "Transform {\nchildren [\nShape {\n geometry IndexedFaceSet {\n"
              "  coord Coordinate { point [\n0 0 1\n,0 1 1\n,1 0 1\n  ] }\n"
              "  color Color { color [\n1 0 0\n,1 1 1\n  ] }\n"
              "  coordIndex [\n2,1,0,-1\n,2,1,0,-1\n  ]\n"
              "  colorIndex [\n0,0,1,-1\n,0,0,1,-1\n  ]\n"
              "  colorPerVertex TRUE\n }\n} ] }\n"
              "] }\n"
              "] }\n",
              writeVrml(root));
}
