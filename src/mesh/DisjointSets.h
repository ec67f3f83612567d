#pragma once
// Union-find over the indices 0..n-1, for grouping vertices and faces into
// connected pieces.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

namespace Kiln {

/// Disjoint sets with path halving. A set is represented by its smallest
/// index, so callers can number sets in the order of their first member.
/// Not thread-safe: find() shortens paths.
class DisjointSets {
public:
    explicit DisjointSets(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }

    /// The smallest index of the set holding `i` (i < n).
    std::uint32_t find(std::uint32_t i) {
        assert(i < parent.size());
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }

    /// Joins the sets of a and b; false when they were one already.
    bool join(std::uint32_t a, std::uint32_t b) {
        const std::uint32_t x = find(a), y = find(b);
        if (x == y)
            return false;
        parent[std::max(x, y)] = std::min(x, y);
        return true;
    }

private:
    std::vector<std::uint32_t> parent;
};

} // namespace Kiln
