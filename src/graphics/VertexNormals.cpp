#include "detail/VertexNormals.h"

namespace Kiln {

void computeVertexNormals(const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                          std::vector<Ogre::Vector3>& normals) {
    const std::size_t count = vertices.size();
    normals.assign(count, Ogre::Vector3::ZERO);
    for (const Face& face : faces) {
        if (face.i0 >= count || face.i1 >= count || face.i2 >= count)
            continue;
        const Ogre::Vector3& a = vertices[face.i0].position;
        // The cross product's length is twice the area: the weighting
        // comes for free by not normalising it.
        const Ogre::Vector3 areaNormal =
            (vertices[face.i1].position - a).crossProduct(vertices[face.i2].position - a);
        normals[face.i0] += areaNormal;
        normals[face.i1] += areaNormal;
        normals[face.i2] += areaNormal;
    }
    for (Ogre::Vector3& n : normals) {
        const float length = n.length();
        n = length > 0.0f ? n / length : Ogre::Vector3::UNIT_Y;
    }
}

} // namespace Kiln
