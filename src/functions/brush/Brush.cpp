#include "functions/brush/Brush.h"

#include "scene/ObjectGroup.h"

#include <algorithm>
#include <cmath>

float brushRadius(const Kiln::HapticState& state) {
    const float proxy = static_cast<float>(state.proxyRadius);
    return proxy > 0.f && std::isfinite(proxy) ? 5.f * proxy : 0.25f;
}

LocalBrush::LocalBrush(const Kiln::ObjectGroup& object, const Ogre::Vector3& worldCentre, float worldRadius)
    : centre(object.getInverseWorldMatrix() * worldCentre), radius(worldRadius) {
    const Ogre::Matrix4& m = object.getWorldMatrix();
    const float sx = Ogre::Vector3(m[0][0], m[1][0], m[2][0]).length();
    const float sy = Ogre::Vector3(m[0][1], m[1][1], m[2][1]).length();
    const float sz = Ogre::Vector3(m[0][2], m[1][2], m[2][2]).length();
    const float smallest = std::min({sx, sy, sz});
    if (smallest > 0.f && std::isfinite(smallest))
        radius = worldRadius / smallest;
}

void BrushCandidates::start(const std::vector<Kiln::Vertex>& vertices, float localRadius) {
    grid.build(vertices, localRadius);
    started = true;
}

void BrushCandidates::stop() {
    grid = VertexGrid();
    started = false;
}

void BrushCandidates::gather(const std::vector<Kiln::Vertex>& vertices, const LocalBrush& brush,
                             std::vector<std::uint32_t>& out) const {
    out.clear();
    grid.query(vertices, brush.centre, brush.radius, out);
}
