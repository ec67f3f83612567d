#include "detail/TriangleTree.h"

#include <algorithm>
#include <numeric>

namespace Kiln {
namespace {

constexpr std::uint32_t leafSize = 8;

int longestAxis(const Box3d& box) {
    const Vec3d size = box.max - box.min;
    if (size.x >= size.y && size.x >= size.z)
        return 0;
    return size.y >= size.z ? 1 : 2;
}

} // namespace

const Box3d TriangleTree::emptyBox{};

void Box3d::extend(const Vec3d& p) {
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

void Box3d::extend(const Box3d& b) {
    extend(b.min);
    extend(b.max);
}

const std::vector<std::uint32_t> TriangleTree::noOrder{};

TriangleTree::TriangleTree(const std::vector<Box3d>& boxes) {
    if (boxes.empty())
        return;
    std::vector<std::uint32_t> sorted(boxes.size());
    std::iota(sorted.begin(), sorted.end(), 0u);
    std::vector<Vec3d> centres(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i)
        centres[i] = (boxes[i].min + boxes[i].max) * 0.5;
    std::vector<Node> built;
    built.reserve(2 * boxes.size() / leafSize + 1);
    build(built, boxes, centres, sorted, 0, static_cast<std::uint32_t>(boxes.size()));
    std::vector<Box3d> inOrder;
    inOrder.reserve(boxes.size());
    for (const std::uint32_t index : sorted)
        inOrder.push_back(boxes[index]);
    nodes = PagedArray<Node>(built);
    orderedBoxes = PagedArray<Box3d>(inOrder);
    order = std::make_shared<const std::vector<std::uint32_t>>(std::move(sorted));
}

// Median split on the longest axis of the centres keeps the tree balanced,
// so its depth stays near log2(n / leafSize) and fits the query stack. The
// split position depends on the range alone (its middle), which lets a
// refit find every node's range again without storing it.
std::uint32_t TriangleTree::build(std::vector<Node>& built, const std::vector<Box3d>& boxes,
                                  std::vector<Vec3d>& centres, std::vector<std::uint32_t>& sorted,
                                  std::uint32_t begin, std::uint32_t end) {
    const auto index = static_cast<std::uint32_t>(built.size());
    built.emplace_back();
    Box3d box, centreBox;
    for (std::uint32_t i = begin; i < end; ++i) {
        box.extend(boxes[sorted[i]]);
        centreBox.extend(centres[sorted[i]]);
    }
    built[index].box = box;
    if (end - begin <= leafSize) {
        built[index].first = begin;
        built[index].count = end - begin;
        return index;
    }
    const int axis = longestAxis(centreBox);
    const std::uint32_t middle = begin + (end - begin) / 2;
    std::nth_element(sorted.begin() + begin, sorted.begin() + middle, sorted.begin() + end,
                     [&](std::uint32_t a, std::uint32_t b) {
                         return centres[a][axis] < centres[b][axis];
                     });
    build(built, boxes, centres, sorted, begin, middle);
    const std::uint32_t right = build(built, boxes, centres, sorted, middle, end);
    built[index].first = right;
    built[index].count = 0;
    return index;
}

TriangleTree TriangleTree::refitted(
    const std::vector<std::pair<std::uint32_t, Box3d>>& changes) const {
    TriangleTree tree(*this);
    if (changes.empty() || nodes.empty())
        return tree;
    for (const auto& change : changes)
        tree.orderedBoxes.set(change.first, change.second);
    tree.refit(0, 0, static_cast<std::uint32_t>(orderedBoxes.size()), changes.data(),
               changes.data() + changes.size());
    return tree;
}

Box3d TriangleTree::refit(std::uint32_t index, std::uint32_t begin, std::uint32_t end,
                          const std::pair<std::uint32_t, Box3d>* first,
                          const std::pair<std::uint32_t, Box3d>* last) {
    if (first == last)
        return nodes[index].box;
    Box3d box;
    if (end - begin <= leafSize) {
        for (std::uint32_t i = begin; i < end; ++i)
            box.extend(orderedBoxes[i]);
    } else {
        const std::uint32_t middle = begin + (end - begin) / 2;
        const auto* split = std::lower_bound(
            first, last, middle,
            [](const std::pair<std::uint32_t, Box3d>& change, std::uint32_t position) {
                return change.first < position;
            });
        box.extend(refit(index + 1, begin, middle, first, split));
        box.extend(refit(nodes[index].first, middle, end, split, last));
    }
    nodes.edit(index).box = box;
    return box;
}

} // namespace Kiln
