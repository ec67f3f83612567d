#include "detail/RayTree.h"

#include "graphics/RayQuery.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Kiln {
namespace {

/// Boxes grow by this share of their size (and of their distance from the
/// origin), so that rounding in the triangle test never finds a hit just
/// outside the box that should have held it.
constexpr float kPad = 1e-4f;

void padBox(float lo[3], float hi[3]) {
    for (int axis = 0; axis < 3; ++axis) {
        const float margin = (hi[axis] - lo[axis]) * kPad +
                             std::max(std::fabs(lo[axis]), std::fabs(hi[axis])) * kPad * 0.01f + 1e-30f;
        lo[axis] -= margin;
        hi[axis] += margin;
    }
}

/// Where the ray enters the box, or infinity when it misses it or enters
/// only beyond `limit`. A zero direction component gives infinite slab
/// distances, and a NaN (origin on the slab) leaves that axis open: the box
/// then errs towards being entered, which costs time, never a hit.
float entryDistance(const float lo[3], const float hi[3], const float origin[3], const float inverse[3],
                    float limit) {
    float enter = 0.0f;
    float leave = limit;
    for (int axis = 0; axis < 3; ++axis) {
        const float a = (lo[axis] - origin[axis]) * inverse[axis];
        const float b = (hi[axis] - origin[axis]) * inverse[axis];
        enter = std::fmax(enter, std::fmin(a, b));
        leave = std::fmin(leave, std::fmax(a, b));
    }
    return enter <= leave ? enter : std::numeric_limits<float>::infinity();
}

bool usable(const Face& f, std::size_t vertexCount) {
    return f.i0 < vertexCount && f.i1 < vertexCount && f.i2 < vertexCount;
}

} // namespace

namespace {

/// The bits of `value` (10 used) spread to every third place.
std::uint64_t spreadBits(std::uint32_t value) {
    std::uint64_t x = value & 0x3ff;
    x = (x | (x << 16)) & 0x30000ff;
    x = (x | (x << 8)) & 0x300f00f;
    x = (x | (x << 4)) & 0x30c30c3;
    x = (x | (x << 2)) & 0x9249249;
    return x;
}

/// A coordinate already scaled to [0, 1023] as a grid cell; a stray value
/// (a NaN vertex) goes to cell 0 instead of being undefined.
std::uint32_t cellOf(float scaled) {
    return scaled >= 0.0f ? std::uint32_t(std::min(scaled, 1023.0f)) : 0u;
}

} // namespace

void RayTree::build(const std::vector<Vertex>& vertices, const std::vector<Face>& faces) {
    nodes.clear();
    order.clear();
    // Faces sorted along a Morton curve through their centres lie close in
    // space when close in the list, so halving the list at every level
    // makes a fair tree with one sort instead of a partition per level.
    Ogre::AxisAlignedBox box;
    for (const Face& f : faces)
        if (usable(f, vertices.size()))
            box.merge((vertices[f.i0].position + vertices[f.i1].position + vertices[f.i2].position) / 3.0f);
    if (box.isNull())
        return;
    const Ogre::Vector3 low = box.getMinimum();
    const Ogre::Vector3 extent = box.getMaximum() - low;
    const float scale = 1023.0f / std::max({extent.x, extent.y, extent.z, 1e-30f});
    std::vector<std::uint64_t> keyed;
    keyed.reserve(faces.size());
    for (std::uint32_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        if (!usable(f, vertices.size()))
            continue;
        const Ogre::Vector3 cell =
            ((vertices[f.i0].position + vertices[f.i1].position + vertices[f.i2].position) / 3.0f - low) * scale;
        const std::uint64_t morton = spreadBits(cellOf(cell.x)) | spreadBits(cellOf(cell.y)) << 1 |
                                     spreadBits(cellOf(cell.z)) << 2;
        keyed.push_back(morton << 32 | i);
    }
    std::sort(keyed.begin(), keyed.end());
    order.resize(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        order[i] = std::uint32_t(keyed[i]);
    nodes.reserve(2 * (order.size() / kLeafSize + 1));
    buildRange(vertices, faces, 0, std::uint32_t(order.size()));
}

std::uint32_t RayTree::buildRange(const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                                  std::uint32_t begin, std::uint32_t end) {
    const std::uint32_t index = std::uint32_t(nodes.size());
    nodes.emplace_back();
    if (end - begin <= kLeafSize) {
        nodes[index].first = begin;
        nodes[index].count = end - begin;
        fitLeaf(nodes[index], vertices, faces);
        return index;
    }
    const std::uint32_t middle = begin + (end - begin) / 2;
    buildRange(vertices, faces, begin, middle);
    const std::uint32_t right = buildRange(vertices, faces, middle, end);
    Node& node = nodes[index];
    node.first = right;
    node.count = 0;
    for (int k = 0; k < 3; ++k) {
        node.lo[k] = std::min(nodes[index + 1].lo[k], nodes[right].lo[k]);
        node.hi[k] = std::max(nodes[index + 1].hi[k], nodes[right].hi[k]);
    }
    return index;
}

void RayTree::fitLeaf(Node& leaf, const std::vector<Vertex>& vertices, const std::vector<Face>& faces) const {
    for (int axis = 0; axis < 3; ++axis) {
        leaf.lo[axis] = std::numeric_limits<float>::max();
        leaf.hi[axis] = -std::numeric_limits<float>::max();
    }
    for (std::uint32_t i = leaf.first; i < leaf.first + leaf.count; ++i) {
        const Face& f = faces[order[i]];
        for (const std::uint32_t corner : {f.i0, f.i1, f.i2}) {
            const Ogre::Vector3& p = vertices[corner].position;
            for (int axis = 0; axis < 3; ++axis) {
                leaf.lo[axis] = std::min(leaf.lo[axis], p[axis]);
                leaf.hi[axis] = std::max(leaf.hi[axis], p[axis]);
            }
        }
    }
    padBox(leaf.lo, leaf.hi);
}

void RayTree::refit(const std::vector<Vertex>& vertices, const std::vector<Face>& faces) {
    // Children sit after their parent, so a backward pass meets them first.
    for (std::size_t i = nodes.size(); i-- > 0;) {
        Node& node = nodes[i];
        if (node.count > 0) {
            fitLeaf(node, vertices, faces);
            continue;
        }
        const Node& left = nodes[i + 1];
        const Node& right = nodes[node.first];
        for (int axis = 0; axis < 3; ++axis) {
            node.lo[axis] = std::min(left.lo[axis], right.lo[axis]);
            node.hi[axis] = std::max(left.hi[axis], right.hi[axis]);
        }
    }
}

bool RayTree::nearest(const Ogre::Ray& ray, const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                      float& distance, std::size_t& face) const {
    if (nodes.empty())
        return false;
    const Ogre::Vector3& o = ray.getOrigin();
    const Ogre::Vector3& d = ray.getDirection();
    const float origin[3] = {o.x, o.y, o.z};
    const float inverse[3] = {1.0f / d.x, 1.0f / d.y, 1.0f / d.z};
    float best = std::numeric_limits<float>::infinity();
    std::size_t bestFace = 0;
    std::uint32_t stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes[stack[--top]];
        const float entry = entryDistance(node.lo, node.hi, origin, inverse, best);
        if (!std::isfinite(entry) || entry > best)
            continue;
        if (node.count > 0) {
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                const std::uint32_t index = order[i];
                const Face& f = faces[index];
                const float t = rayTriangleDistance(ray, vertices[f.i0].position, vertices[f.i1].position,
                                                    vertices[f.i2].position);
                if (t >= 0.0f && (t < best || (t == best && index < bestFace))) {
                    best = t;
                    bestFace = index;
                }
            }
            continue;
        }
        // Visit the nearer child first; the farther one is often skipped.
        const std::uint32_t left = std::uint32_t(&node - nodes.data()) + 1;
        const std::uint32_t right = node.first;
        const float toLeft = entryDistance(nodes[left].lo, nodes[left].hi, origin, inverse, best);
        const float toRight = entryDistance(nodes[right].lo, nodes[right].hi, origin, inverse, best);
        const bool leftFirst = toLeft <= toRight;
        if (top + 2 > int(sizeof stack / sizeof stack[0]))
            break; // deeper than any median split of a mesh that fits in memory
        if (std::isfinite(leftFirst ? toRight : toLeft))
            stack[top++] = leftFirst ? right : left;
        if (std::isfinite(leftFirst ? toLeft : toRight))
            stack[top++] = leftFirst ? left : right;
    }
    if (!std::isfinite(best))
        return false;
    distance = best;
    face = bestFace;
    return true;
}

Ogre::AxisAlignedBox RayTree::bounds() const {
    const Node& root = nodes.front();
    return Ogre::AxisAlignedBox(root.lo[0], root.lo[1], root.lo[2], root.hi[0], root.hi[1], root.hi[2]);
}

} // namespace Kiln
