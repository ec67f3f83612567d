#pragma once
// Bounding-volume tree over triangles for box queries: which triangles may
// touch this region? Nodes sit in one array in depth-first order (the left
// child follows its parent), so a query walks memory mostly forwards and
// allocates nothing. Node and triangle boxes are kept in shared pages, so a
// tree refitted after some triangles moved shares everything else with the
// tree it came from.
#include "haptics/PagedArray.h"
#include "haptics/SweepTypes.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Kiln {

class TriangleTree {
public:
    TriangleTree() = default;
    /// One box per triangle; the tree refers to triangles by their index.
    explicit TriangleTree(const std::vector<Box3d>& triangleBoxes);

    /// Calls visit(index) for every triangle whose box meets `query`.
    template <typename Visit>
    void forEachOverlap(const Box3d& query, Visit&& visit) const;

    /// Calls visit(first, count) for every leaf whose box passes
    /// enter(box), skipping whole subtrees whose box fails it. The leaf holds
    /// the triangles leafOrder()[first], ..., leafOrder()[first + count - 1].
    template <typename Enter, typename Visit>
    void forEachLeaf(Enter&& enter, Visit&& visit) const;

    /// The triangle indices in leaf order: triangles close in space are
    /// close in this order, so data kept in it is read mostly forwards.
    const std::vector<std::uint32_t>& leafOrder() const { return order ? *order : noOrder; }

    /// A tree over the same triangles in the same leaf order where the
    /// triangles at the given leaf positions have the given boxes, with the
    /// boxes of every node above them refitted. `changes` is sorted by leaf
    /// position, one entry per position. Costs the changed paths, not the
    /// tree: the rest is shared. Queries answer exactly as a tree built from
    /// the new boxes would; only their speed may suffer when boxes move far.
    TriangleTree refitted(const std::vector<std::pair<std::uint32_t, Box3d>>& changes) const;

    const Box3d& bounds() const { return nodes.empty() ? emptyBox : nodes[0].box; }
    std::size_t nodeCount() const { return nodes.size(); }
    /// Pages copied by the refit that made this tree (nodes and boxes).
    std::size_t pagesCopied() const { return nodes.pagesCopied() + orderedBoxes.pagesCopied(); }
    std::size_t pageCount() const { return nodes.pageCount() + orderedBoxes.pageCount(); }

private:
    struct Node {
        Box3d box;
        std::uint32_t first = 0;  ///< leaf: first entry in `order`; inner: right child
        std::uint32_t count = 0;  ///< leaf: number of triangles; 0 for an inner node
    };

    std::uint32_t build(std::vector<Node>& built, const std::vector<Box3d>& boxes,
                        std::vector<Vec3d>& centres, std::vector<std::uint32_t>& sorted,
                        std::uint32_t begin, std::uint32_t end);
    /// Refits node `index`, covering leaf positions [begin, end), for the
    /// changes in [first, last); returns its box.
    Box3d refit(std::uint32_t index, std::uint32_t begin, std::uint32_t end,
                const std::pair<std::uint32_t, Box3d>* first,
                const std::pair<std::uint32_t, Box3d>* last);

    static const Box3d emptyBox;
    static const std::vector<std::uint32_t> noOrder;
    PagedArray<Node> nodes;
    std::shared_ptr<const std::vector<std::uint32_t>> order; ///< never changes after the build
    PagedArray<Box3d> orderedBoxes; ///< the triangles' boxes, in `order`
};

template <typename Enter, typename Visit>
void TriangleTree::forEachLeaf(Enter&& enter, Visit&& visit) const {
    if (nodes.empty())
        return;
    std::uint32_t stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const std::uint32_t index = stack[--top];
        const Node& node = nodes[index];
        if (!enter(node.box))
            continue;
        if (node.count > 0) {
            visit(node.first, node.count);
        } else {
            stack[top++] = node.first;
            stack[top++] = index + 1;
        }
    }
}

template <typename Visit>
void TriangleTree::forEachOverlap(const Box3d& query, Visit&& visit) const {
    forEachLeaf([&](const Box3d& box) { return box.overlaps(query); },
                [&](std::uint32_t first, std::uint32_t count) {
                    for (std::uint32_t i = first; i < first + count; ++i)
                        if (orderedBoxes[i].overlaps(query))
                            visit((*order)[i]);
                });
}

} // namespace Kiln
