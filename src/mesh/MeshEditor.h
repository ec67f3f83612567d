#pragma once
// Generators for the primitive meshes the creation, slice and mirror tools
// start from. Every primitive is centred on its own origin.
#include "mesh/DynamicMesh.h"

#include <memory>

namespace Kiln {

enum class PrimitiveType { Plane = 0, Cube = 1, Sphere = 2, Cone = 3, Cylinder = 4, Torus = 5 };

class MeshEditor {
public:
    /// A new mesh of the given primitive type (0..5, see PrimitiveType),
    /// every vertex coloured `colour`. Closed primitives are wound
    /// outwards. Throws Kiln::Exception (code 5) for another type.
    static std::unique_ptr<DynamicMesh> createNewDynamicMesh(int type,
                                                             const Ogre::ColourValue& colour);
};

} // namespace Kiln
