#pragma once
// A bounding-volume tree over one mesh's triangles for ray queries, in the
// mesh's own space. Nodes sit in one flat array in depth-first order (the
// left child follows its parent) and leaves list their triangles in `order`,
// so a query allocates nothing. Built once for a set of faces; refitted in
// place when only the vertex positions move.
#include "mesh/Vertex.h"

#include <OgreRay.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kiln {

class RayTree {
public:
    /// Builds over `faces`, whose indices point into `vertices`; a face with
    /// an index out of range is left out, as the plain walk skips it.
    void build(const std::vector<Vertex>& vertices, const std::vector<Face>& faces);

    /// New boxes for the same faces after vertices moved: O(faces), no
    /// allocation. `faces` must be the list the tree was built on.
    void refit(const std::vector<Vertex>& vertices, const std::vector<Face>& faces);

    /// The nearest face the ray crosses from either side, as the plain walk
    /// over every face finds it (the lowest index among equal distances):
    /// `distance` in units of the ray's parameter. False when none.
    bool nearest(const Ogre::Ray& ray, const std::vector<Vertex>& vertices,
                 const std::vector<Face>& faces, float& distance, std::size_t& face) const;

    bool empty() const { return nodes.empty(); }
    /// Box around every face the tree holds (meaningless when empty()).
    Ogre::AxisAlignedBox bounds() const;

private:
    static constexpr std::uint32_t kLeafSize = 4;

    struct Node {
        float lo[3];
        float hi[3];
        std::uint32_t first = 0; ///< leaf: first entry of `order`; inner: the right child
        std::uint32_t count = 0; ///< leaf: its faces; 0 for an inner node
    };

    std::uint32_t buildRange(const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                             std::uint32_t begin, std::uint32_t end);
    void fitLeaf(Node& leaf, const std::vector<Vertex>& vertices, const std::vector<Face>& faces) const;

    std::vector<Node> nodes;
    std::vector<std::uint32_t> order; ///< face indices, leaf by leaf
};

} // namespace Kiln
