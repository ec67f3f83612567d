#pragma once
// The round brush the painting and mesh-resolution tools share: its size
// follows the proxy, and it is mapped into the brushed object's own frame so
// that candidates are found in the mesh's coordinates.
#include "functions/brush/VertexGrid.h"
#include "haptics/HapticEvent.h"

#include <OgreVector3.h>

#include <cstdint>
#include <vector>

namespace Kiln {
class ObjectGroup;
} // namespace Kiln

/// World radius of the brush: five proxy radii, 0.25 world units without a proxy.
float brushRadius(const Kiln::HapticState& state);

/// A world sphere mapped into one object's local frame. The local radius is
/// the world radius over the object's smallest scale, so that the local
/// sphere holds the whole (possibly ellipsoidal) world sphere.
struct LocalBrush {
    LocalBrush(const Kiln::ObjectGroup& object, const Ogre::Vector3& worldCentre, float worldRadius);
    Ogre::Vector3 centre;
    float radius;
};

/// Mesh-local vertices inside a world sphere, taken from a grid built over
/// the mesh as it was when the stroke began.
class BrushCandidates {
public:
    /// Indexes `vertices` (the stroke's starting mesh) for brushes of about
    /// `localRadius`.
    void start(const std::vector<Kiln::Vertex>& vertices, float localRadius);
    void stop();
    bool isStarted() const { return started; }
    /// Vertices within the brush, appended to `out` after clearing it.
    void gather(const std::vector<Kiln::Vertex>& vertices, const LocalBrush& brush,
                std::vector<std::uint32_t>& out) const;
    const VertexGrid& getGrid() const { return grid; }

private:
    VertexGrid grid;
    bool started = false;
};
