#include "haptics/TriangleTree.h"

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

TriangleTree::TriangleTree(const std::vector<Box3d>& boxes) {
    if (boxes.empty())
        return;
    order.resize(boxes.size());
    std::iota(order.begin(), order.end(), 0u);
    std::vector<Vec3d> centres(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i)
        centres[i] = (boxes[i].min + boxes[i].max) * 0.5;
    nodes.reserve(2 * boxes.size() / leafSize + 1);
    build(boxes, centres, 0, static_cast<std::uint32_t>(boxes.size()));
    orderedBoxes.reserve(boxes.size());
    for (const std::uint32_t index : order)
        orderedBoxes.push_back(boxes[index]);
}

// Median split on the longest axis of the centres keeps the tree balanced,
// so its depth stays near log2(n / leafSize) and fits the query stack.
std::uint32_t TriangleTree::build(const std::vector<Box3d>& boxes, std::vector<Vec3d>& centres,
                                  std::uint32_t begin, std::uint32_t end) {
    const auto index = static_cast<std::uint32_t>(nodes.size());
    nodes.emplace_back();
    Box3d box, centreBox;
    for (std::uint32_t i = begin; i < end; ++i) {
        box.extend(boxes[order[i]]);
        centreBox.extend(centres[order[i]]);
    }
    nodes[index].box = box;
    if (end - begin <= leafSize) {
        nodes[index].first = begin;
        nodes[index].count = end - begin;
        return index;
    }
    const int axis = longestAxis(centreBox);
    const std::uint32_t middle = begin + (end - begin) / 2;
    std::nth_element(order.begin() + begin, order.begin() + middle, order.begin() + end,
                     [&](std::uint32_t a, std::uint32_t b) {
                         return centres[a][axis] < centres[b][axis];
                     });
    build(boxes, centres, begin, middle);
    const std::uint32_t right = build(boxes, centres, middle, end);
    nodes[index].first = right;
    nodes[index].count = 0;
    return index;
}

} // namespace Kiln
