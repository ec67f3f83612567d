#pragma once
// The plain vertex and triangle records of a DynamicMesh. Both are flat so
// whole arrays go to render buffers and files in one copy.
#include <OgreColourValue.h>
#include <OgreVector3.h>

#include <cstdint>
#include <type_traits>

namespace Kiln {

/// One mesh vertex: mesh-local position, per-vertex colour and two free
/// parameters (texture coordinates for the generated primitives).
struct Vertex {
    Ogre::Vector3 position = Ogre::Vector3::ZERO;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    float u = 0.0f;
    float v = 0.0f;
};

/// One triangle: three indices into the vertex list, counter-clockwise
/// when seen from the front (outside).
struct Face {
    std::uint32_t i0 = 0;
    std::uint32_t i1 = 0;
    std::uint32_t i2 = 0;

    /// Corner k (0, 1 or 2) in face order.
    std::uint32_t operator[](int k) const { return k == 0 ? i0 : (k == 1 ? i1 : i2); }
};

inline bool operator==(const Face& a, const Face& b) {
    return a.i0 == b.i0 && a.i1 == b.i1 && a.i2 == b.i2;
}
inline bool operator!=(const Face& a, const Face& b) { return !(a == b); }

static_assert(sizeof(Vertex) == 36, "Vertex must stay a flat 36-byte record");
static_assert(sizeof(Face) == 12, "Face must stay three packed indices");
static_assert(std::is_trivially_copyable<Vertex>::value, "Vertex is copied as bytes");

} // namespace Kiln
