#pragma once
// Broad phases of the self-crossing check: the pairs of triangles (or of
// boxes) near enough to be worth an exact test. Internal to the geometry
// library.
//
// Contract for all three: boxes are finite with lo <= hi; item numbers are
// indices into `boxes` and fit 32 bits; visit(s, t) is called on the
// caller's thread and may stop the search by returning true. None keeps
// state between calls.
#include "detail/BspTree.h"
#include "detail/FloatBox.h"
#include "detail/ParallelChunks.h"
#include "detail/UniformGrid.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Kiln {
namespace NearPairs {

using BSP::Box;

inline bool sharesCorner(const std::uint32_t* a, const std::uint32_t* b) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (a[i] == b[j])
                return true;
    return false;
}

/// The box around the items not skipped, and how many they are.
inline Box boundsOfItems(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip, std::size_t& used) {
    Box bounds{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
    used = 0;
    for (std::size_t t = 0; t < boxes.size(); ++t) {
        if (skip[t])
            continue;
        ++used;
        for (int k = 0; k < 3; ++k) {
            bounds.lo[k] = std::min(bounds.lo[k], boxes[t].lo[k]);
            bounds.hi[k] = std::max(bounds.hi[k], boxes[t].hi[k]);
        }
    }
    return bounds;
}

/// A sparse grid of cubic cells about as large as the larger items, keyed
/// by cell number; the cell numbers fit `keyBits` bits (at most 32).
struct SparseGrid {
    double origin[3];
    double scale;          ///< cells per unit
    double cell;           ///< the side of a cell
    std::uint64_t dims[3]; ///< cells along each axis
    int keyBits;

    /// The cell along `axis` that holds x, never one of the border cells
    /// (the grid has an empty cell on either side of the bounds).
    std::uint32_t cellOf(double x, int axis) const {
        return static_cast<std::uint32_t>(
            std::clamp(std::floor((x - origin[axis]) * scale), 1.0, static_cast<double>(dims[axis] - 2)));
    }
    std::uint64_t key(std::uint64_t x, std::uint64_t y, std::uint64_t z) const {
        return (z * dims[1] + y) * dims[0] + x;
    }
};

inline double largestSide(const Box& box) {
    return std::max({box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]});
}

/// The grid over `bounds` with cells of side `cell` (> 0) and an empty cell
/// beyond the bounds on every side, coarsened where the cell numbers would
/// not fit 32 bits.
inline SparseGrid sparseGridWithCell(const Box& bounds, double cell) {
    SparseGrid grid;
    for (;;) {
        double cells = 1.0;
        for (int k = 0; k < 3; ++k) {
            grid.origin[k] = bounds.lo[k] - cell;
            grid.dims[k] = static_cast<std::uint64_t>(std::floor((bounds.hi[k] - bounds.lo[k]) / cell)) + 3;
            cells *= static_cast<double>(grid.dims[k]);
        }
        if (cells <= 4294967295.0)
            break;
        cell *= 1.25;
    }
    grid.cell = cell;
    grid.scale = 1.0 / cell;
    const std::uint64_t last = grid.dims[0] * grid.dims[1] * grid.dims[2] - 1;
    grid.keyBits = 1;
    while (grid.keyBits < 32 && (last >> grid.keyBits) != 0)
        ++grid.keyBits;
    return grid;
}

/// The grid over `bounds` whose cells fit the items' largest box sides (from
/// a sample of at most about 65536): all of the sample when the largest is
/// within 1.5 times the 95th percentile (as in most meshes, so that few
/// items are left for the slower search of large ones), else the 95th
/// percentile.
inline SparseGrid sparseGridFor(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip,
                                const Box& bounds) {
    std::vector<double> sizes;
    const std::size_t stride = std::max<std::size_t>(1, boxes.size() / 65536);
    for (std::size_t t = 0; t < boxes.size(); t += stride)
        if (!skip[t])
            sizes.push_back(largestSide(boxes[t]));
    const double extent = largestSide(bounds);
    double cell = extent;
    if (!sizes.empty()) {
        const auto at = sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() * 95 / 100);
        std::nth_element(sizes.begin(), at, sizes.end());
        const double largest = *std::max_element(at, sizes.end());
        // fitsCell keeps a margin of 1e-4 below the side.
        cell = std::max(largest <= 1.5 * *at ? largest * 1.0002 : *at, extent * 1e-6);
    }
    return sparseGridWithCell(bounds, cell > 0.0 ? cell : 1.0);
}

/// Whether an item fits a cell of the grid: then items whose boxes overlap
/// have their low corners in the same or neighbouring cells. The margin is
/// far above the rounding of cellOf.
inline bool fitsCell(const SparseGrid& grid, const Box& box) {
    return largestSide(box) <= 0.9999 * grid.cell;
}

/// Sorts entries (cell << 32 | item) by cell, keeping the order of equal
/// cells: an LSD radix sort over the `keyBits` low bits of the cell.
inline void sortByCell(std::vector<std::uint64_t>& entries, int keyBits) {
    // Two passes cover the cell numbers of most grids; the counters of a
    // 14-bit digit still fit the cache.
    const int digitBits = keyBits <= 28 ? (keyBits + 1) / 2 : 11;
    const std::size_t kDigits = std::size_t{1} << digitBits;
    std::vector<std::uint64_t> sorted(entries.size());
    std::vector<std::size_t> start(kDigits);
    for (int shift = 32; shift < 32 + keyBits; shift += digitBits) {
        std::fill(start.begin(), start.end(), 0);
        for (const std::uint64_t e : entries)
            ++start[(e >> shift) & (kDigits - 1)];
        std::size_t sum = 0;
        for (std::size_t& s : start)
            sum += std::exchange(s, sum);
        for (const std::uint64_t e : entries)
            sorted[start[(e >> shift) & (kDigits - 1)]++] = e;
        entries.swap(sorted);
    }
}

/// The items around the corner that most of them share (stored in
/// `corner`), moved to the front of a crowded cell's list (more than 16,
/// with corner ids), keeping their order; returns how many, 0 for a cell
/// that is not crowded. Pairs among them share that corner, so the check
/// around each corner covers them. `ids` is scratch space.
template <typename CornerIds>
std::size_t frontFanOfCrowdedCell(std::uint32_t* items, std::size_t count, CornerIds&& corners,
                                  std::vector<std::uint32_t>& ids, std::uint32_t& corner) {
    constexpr std::size_t kCrowded = 16;
    if (count <= kCrowded || !corners(items[0]))
        return 0;
    ids.clear();
    for (std::size_t e = 0; e < count; ++e)
        ids.insert(ids.end(), corners(items[e]), corners(items[e]) + 3);
    std::sort(ids.begin(), ids.end());
    std::uint32_t best = ids[0];
    std::size_t bestRun = 0;
    for (std::size_t i = 0, j; i < ids.size(); i = j) {
        for (j = i; j < ids.size() && ids[j] == ids[i]; ++j) {
        }
        if (j - i > bestRun) {
            bestRun = j - i;
            best = ids[i];
        }
    }
    const auto incident = [&](std::uint32_t t) {
        const std::uint32_t* id = corners(t);
        return id[0] == best || id[1] == best || id[2] == best;
    };
    corner = best;
    return static_cast<std::size_t>(std::stable_partition(items, items + count, incident) - items);
}

/// The occupied cells of a sparse grid in order of cell number, each with
/// its run of items.
struct OccupiedCells {
    /// From entries (cell << 32 | item) sorted by cell.
    explicit OccupiedCells(const std::vector<std::uint64_t>& sorted) {
        for (std::size_t e = 0; e < sorted.size(); ++e) {
            const auto cell = static_cast<std::uint32_t>(sorted[e] >> 32);
            if (e == 0 || cell != keys.back()) {
                keys.push_back(cell);
                begins.push_back(static_cast<std::uint32_t>(e));
            }
        }
        begins.push_back(static_cast<std::uint32_t>(sorted.size()));
    }

    std::size_t count() const { return keys.size(); }
    std::uint32_t begin(std::size_t c) const { return begins[c]; }
    std::uint32_t end(std::size_t c) const { return begins[c + 1]; }

    std::vector<std::uint32_t> keys, begins;
};

/// The items of each occupied cell's neighbours on one side (13 of the 26
/// around it, so that each pair of neighbouring cells comes up once), as at
/// most 5 runs of items: the next cell of its row, and 3 cells in each of
/// the rows at y + 1 (same z) and y - 1, y, y + 1 (z + 1). Cells of a row
/// lie together in cell order, and each row's start is a fixed step from
/// the cell, so one cursor per row walks the sorted cells once. Cells must
/// be asked for in increasing order.
class ForwardRows {
public:
    struct Run {
        std::uint32_t first, last; ///< items [first, last)
    };

    /// For cells from `firstCell` on.
    ForwardRows(const SparseGrid& grid, const OccupiedCells& cells, std::size_t firstCell = 0) : cells(cells) {
        // Occupied cells keep off the grid's border, so these steps land in
        // the row and slab they should.
        const auto dx = static_cast<std::int64_t>(grid.dims[0]), dxy = dx * static_cast<std::int64_t>(grid.dims[1]);
        const std::int64_t rows[4] = {dx, dxy - dx, dxy, dxy + dx};
        for (int r = 0; r < 4; ++r) {
            rowStep[r] = static_cast<std::uint64_t>(rows[r] - 1);
            if (firstCell < cells.count()) {
                const std::uint64_t low = cells.keys[firstCell] + rowStep[r];
                cursors[r] = static_cast<std::size_t>(
                    std::lower_bound(cells.keys.begin(), cells.keys.end(), low,
                                     [](std::uint32_t key, std::uint64_t value) { return key < value; }) -
                    cells.keys.begin());
            }
        }
    }

    /// The runs of cell c's forward neighbours, written to `runs`; returns
    /// how many.
    int runsOf(std::size_t c, Run (&runs)[5]) {
        const std::size_t count = cells.count();
        const std::uint64_t key = cells.keys[c];
        int n = 0;
        if (c + 1 < count && cells.keys[c + 1] == key + 1)
            runs[n++] = {cells.begin(c + 1), cells.end(c + 1)};
        for (int r = 0; r < 4; ++r) {
            const std::uint64_t low = key + rowStep[r];
            std::size_t& cursor = cursors[r];
            while (cursor < count && cells.keys[cursor] < low)
                ++cursor;
            std::size_t last = cursor;
            while (last < count && cells.keys[last] <= low + 2)
                ++last;
            if (last > cursor)
                runs[n++] = {cells.begin(cursor), cells.begin(last)};
        }
        return n;
    }

private:
    const OccupiedCells& cells;
    std::uint64_t rowStep[4];
    std::size_t cursors[4] = {};
};

/// Entries (cell << 32 | item) of the chosen items, by the cell holding
/// their box's low corner, sorted by cell and then by the order chosen.
inline std::vector<std::uint64_t> entriesByLowCorner(const SparseGrid& grid, const std::vector<Box>& boxes,
                                                     const std::vector<std::uint32_t>& chosen) {
    std::vector<std::uint64_t> entries;
    entries.reserve(chosen.size());
    for (const std::uint32_t t : chosen) {
        const Box& box = boxes[t];
        entries.push_back(grid.key(grid.cellOf(box.lo[0], 0), grid.cellOf(box.lo[1], 1), grid.cellOf(box.lo[2], 2))
                              << 32 |
                          t);
    }
    sortByCell(entries, grid.keyBits);
    return entries;
}

inline std::vector<std::uint32_t> itemsOfEntries(const std::vector<std::uint64_t>& entries) {
    std::vector<std::uint32_t> items(entries.size());
    for (std::size_t e = 0; e < entries.size(); ++e)
        items[e] = static_cast<std::uint32_t>(entries[e]);
    return items;
}

enum class SparseSearch {
    Found,      ///< visit returned true
    Finished,   ///< every pair offered
    TooCrowded, ///< more than the limit of pairs would be offered; none was
};

/// An item's box in floats rounded outwards and its corner ids, padded to
/// whole vectors: what the tight loop of the fine grid compares.
struct alignas(16) NearItem {
    float lo[4], hi[4];
    std::uint32_t id[4];

    NearItem() = default;
    NearItem(const Box& box, const std::uint32_t* corners) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = floatAtMost(box.lo[k]);
            hi[k] = floatAtLeast(box.hi[k]);
            id[k] = corners[k];
        }
        lo[3] = hi[3] = 0.0f;
        id[3] = 0xffffffffu; // no corner has this id
    }

    /// Whether the boxes overlap and the items share no corner id.
    bool worthTestWith(const NearItem& other) const {
#if defined(__SSE2__)
        const __m128 overlap = _mm_and_ps(_mm_cmple_ps(_mm_load_ps(lo), _mm_load_ps(other.hi)),
                                          _mm_cmple_ps(_mm_load_ps(other.lo), _mm_load_ps(hi)));
        // Lane 3 of ours holds 0xffffffff too: compare only lanes 0-2 of
        // ours against all of the other's, whose lane 3 matches nothing.
        const __m128i theirs = _mm_load_si128(reinterpret_cast<const __m128i*>(other.id));
        const __m128i same = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi32(theirs, _mm_set1_epi32(static_cast<int>(id[0]))),
                         _mm_cmpeq_epi32(theirs, _mm_set1_epi32(static_cast<int>(id[1])))),
            _mm_cmpeq_epi32(theirs, _mm_set1_epi32(static_cast<int>(id[2]))));
        return (_mm_movemask_ps(overlap) == 0xf) & (_mm_movemask_epi8(same) == 0);
#else
        for (int k = 0; k < 3; ++k)
            if (lo[k] > other.hi[k] || other.lo[k] > hi[k])
                return false;
        return !sharesCorner(id, other.id);
#endif
    }
};

/// Calls visit(s, t) once for each pair of small items that share no corner
/// id and whose boxes overlap (or nearly: boxes are compared in floats
/// rounded outwards); corners(item) gives an item's 3 corner ids. The grid's
/// cells (sparseGridFor) are at least as large as a small item, so each
/// item enters the one cell holding its box's low corner, and overlapping
/// items lie in the same or neighbouring cells. The items larger than a
/// cell (not skipped) are appended to `large`, untested. In a crowded cell
/// the items around its most shared corner are not paired with each other
/// (frontFanOfCrowdedCell). When more than `pairLimit` pairs would be
/// offered, returns TooCrowded before offering any. The cells are shared out
/// among `chunks` threads (Parallel::forChunks): visit(chunk, s, t) is
/// called on chunk's thread, and may throw to end the search (the other
/// chunks then stop early). Takes about 70 bytes an item.
template <typename CornerIds, typename Visit>
SparseSearch forSmallPairsInSparseGrid(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip,
                                       const Box& bounds, std::size_t pairLimit, CornerIds&& corners,
                                       std::vector<std::uint32_t>& large, unsigned chunks, Visit&& visit) {
    const SparseGrid grid = sparseGridFor(boxes, skip, bounds);
    std::vector<std::uint32_t> small;
    small.reserve(boxes.size());
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            (fitsCell(grid, boxes[t]) ? small : large).push_back(t);
    std::vector<std::uint64_t> entries = entriesByLowCorner(grid, boxes, small);
    small = std::vector<std::uint32_t>();
    const OccupiedCells cells(entries);
    std::vector<std::uint32_t> items = itemsOfEntries(entries);
    entries = std::vector<std::uint64_t>();
    // Fans first in crowded cells, and the count of pairs to offer.
    std::vector<std::uint32_t> fanEnd(cells.count()), ids;
    std::size_t offered = 0;
    ForwardRows counting(grid, cells);
    ForwardRows::Run runs[5];
    for (std::size_t c = 0; c < cells.count(); ++c) {
        const std::size_t count = cells.end(c) - cells.begin(c);
        std::uint32_t corner;
        const std::size_t fan = frontFanOfCrowdedCell(items.data() + cells.begin(c), count, corners, ids, corner);
        fanEnd[c] = static_cast<std::uint32_t>(cells.begin(c) + fan);
        offered += count * (count - 1) / 2 - (fan > 1 ? fan * (fan - 1) / 2 : 0);
        const int n = counting.runsOf(c, runs);
        for (int r = 0; r < n; ++r)
            offered += count * (runs[r].last - runs[r].first);
        if (offered > pairLimit)
            return SparseSearch::TooCrowded;
    }
    // Boxes and corner ids in cell order, boxes in floats rounded outwards:
    // a compact stream for the tight loop below.
    std::vector<NearItem> near(items.size());
    Parallel::forChunks(items.size(), chunks, [&](unsigned, std::size_t begin, std::size_t end) {
        constexpr std::size_t kAhead = 16; // gathers from far apart: fetch ahead
        for (std::size_t e = begin; e < end; ++e) {
            if (e + kAhead < end) {
                __builtin_prefetch(&boxes[items[e + kAhead]]);
                __builtin_prefetch(corners(items[e + kAhead]));
            }
            near[e] = NearItem(boxes[items[e]], corners(items[e]));
        }
    });
    // Each cell's items meet those after them in the cell and those of its
    // forward neighbours: runs of nearby memory. Candidates are written
    // without branching (about half the pairs offered in a fine mesh are
    // neighbours whose boxes overlap) and tested after each item, which
    // keeps the exact tests out of the tight loop.
    std::atomic<bool> stop{false}, found{false};
    Parallel::forChunks(cells.count(), chunks, [&](unsigned chunk, std::size_t first, std::size_t last) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pending;
        ForwardRows rows(grid, cells, first);
        ForwardRows::Run cellRuns[5];
        try {
            for (std::size_t c = first; c < last && !stop.load(std::memory_order_relaxed); ++c) {
                const int n = rows.runsOf(c, cellRuns);
                std::size_t around = 0;
                for (int r = 0; r < n; ++r)
                    around += cellRuns[r].last - cellRuns[r].first;
                pending.resize(cells.end(c) - cells.begin(c) + around);
                for (std::uint32_t a = cells.begin(c); a < cells.end(c); ++a) {
                    std::size_t candidates = 0;
                    const auto offer = [&](std::uint32_t b) {
                        pending[candidates] = {items[a], items[b]};
                        candidates += near[a].worthTestWith(near[b]);
                    };
                    for (std::uint32_t b = std::max(a + 1, a < fanEnd[c] ? fanEnd[c] : 0u); b < cells.end(c); ++b)
                        offer(b);
                    for (int r = 0; r < n; ++r)
                        for (std::uint32_t b = cellRuns[r].first; b < cellRuns[r].last; ++b)
                            offer(b);
                    for (std::size_t i = 0; i < candidates; ++i)
                        if (visit(chunk, pending[i].first, pending[i].second)) {
                            found = true;
                            stop = true;
                            return;
                        }
                }
            }
        } catch (...) {
            stop = true;
            throw;
        }
    });
    if (found)
        return SparseSearch::Found;
    return SparseSearch::Finished;
}

/// Calls visit(s, t) once for each pair of a large item s (listed in
/// `large`) with any other item t that share no corner id and whose boxes
/// overlap (for two large items, either may come first). A sparse grid of cells
/// as large as the largest item indexes every item not skipped by its low
/// corner, and each large item meets the items of its cell and of the 26
/// around it (ForwardRows, both ways). Suits a few large items among many
/// small ones; when more than `pairLimit` pairs would be offered, returns
/// TooCrowded before offering any.
template <typename CornerIds, typename Visit>
SparseSearch forLargePairsInSparseGrid(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip,
                                       const Box& bounds, const std::vector<std::uint32_t>& large,
                                       std::size_t pairLimit, CornerIds&& corners, Visit&& visit) {
    if (large.empty())
        return SparseSearch::Finished;
    double largest = 0.0;
    for (const std::uint32_t t : large)
        largest = std::max(largest, largestSide(boxes[t]));
    const SparseGrid grid = sparseGridWithCell(bounds, largest / 0.9999 + largestSide(bounds) * 1e-9);
    // Position in the large list plus one, 0 for a small item: large pairs
    // are offered once, from the item listed first.
    std::vector<std::uint32_t> rank(boxes.size(), 0);
    for (std::uint32_t r = 0; r < large.size(); ++r)
        rank[large[r]] = r + 1;
    std::vector<std::uint32_t> all;
    all.reserve(boxes.size());
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            all.push_back(t);
    std::vector<std::uint64_t> entries = entriesByLowCorner(grid, boxes, all);
    all = std::vector<std::uint32_t>();
    const OccupiedCells cells(entries);
    const std::vector<std::uint32_t> items = itemsOfEntries(entries);
    entries = std::vector<std::uint64_t>();
    // Large items among the first e items in cell order, for counting.
    std::vector<std::uint32_t> largeBefore(items.size() + 1, 0);
    for (std::size_t e = 0; e < items.size(); ++e)
        largeBefore[e + 1] = largeBefore[e] + (rank[items[e]] != 0);
    const auto largeIn = [&](std::uint32_t first, std::uint32_t last) { return largeBefore[last] - largeBefore[first]; };
    // The large items among items [from, fromEnd) against the items
    // [to, toEnd), each pair of large ones once: within one cell from the
    // one listed first, between two cells from the earlier cell (`Others`
    // then leaves the large ones out).
    enum class Against { SameCell, All, Others };
    const auto offer = [&](std::uint32_t from, std::uint32_t fromEnd, std::uint32_t to, std::uint32_t toEnd,
                           Against against) {
        if (largeIn(from, fromEnd) == 0)
            return false;
        for (std::uint32_t a = from; a < fromEnd; ++a) {
            const std::uint32_t s = items[a];
            if (rank[s] == 0)
                continue;
            for (std::uint32_t b = to; b < toEnd; ++b) {
                const std::uint32_t t = items[b];
                const bool skipLarge = against == Against::Others || (against == Against::SameCell && rank[t] < rank[s]);
                if (t == s || (rank[t] != 0 && skipLarge))
                    continue;
                if (BSP::overlaps(boxes[s], boxes[t]) && !sharesCorner(corners(s), corners(t)) && visit(s, t))
                    return true;
            }
        }
        return false;
    };
    ForwardRows::Run runs[5];
    std::size_t offered = 0;
    ForwardRows counting(grid, cells);
    for (std::size_t c = 0; c < cells.count(); ++c) {
        const std::uint32_t first = cells.begin(c), last = cells.end(c);
        offered += largeIn(first, last) * (last - first);
        const int n = counting.runsOf(c, runs);
        for (int r = 0; r < n; ++r)
            offered += largeIn(first, last) * (runs[r].last - runs[r].first) +
                       largeIn(runs[r].first, runs[r].last) * (last - first);
        if (offered > pairLimit)
            return SparseSearch::TooCrowded;
    }
    ForwardRows rows(grid, cells);
    for (std::size_t c = 0; c < cells.count(); ++c) {
        const std::uint32_t first = cells.begin(c), last = cells.end(c);
        if (offer(first, last, first, last, Against::SameCell))
            return SparseSearch::Found;
        const int n = rows.runsOf(c, runs);
        for (int r = 0; r < n; ++r)
            if (offer(first, last, runs[r].first, runs[r].last, Against::All) ||
                offer(runs[r].first, runs[r].last, first, last, Against::Others))
                return SparseSearch::Found;
    }
    return SparseSearch::Finished;
}

/// Calls visit(s, t) once for each pair of items (triangles) that share no
/// corner id and share a cell of a uniform grid over their boxes (about two
/// cells an item, at most 256 a side); stops when visit returns true, and
/// returns whether it did.
/// Items with skip[item] set take no part. A large item (large[item] set)
/// enters only the cells of its box that touches(item, lo, hi) accepts,
/// others every cell of their box. With `large` null every pair s < t is
/// offered, each item counting as large; otherwise only pairs with a large
/// item s, t small or a large item after s. Where corners(item) gives
/// corner ids (nullptr: none), a crowded cell puts the items around its
/// most shared corner first, and those are not paired with each other
/// there: the fan around one corner is left to the caller.
template <typename Touches, typename CornerIds, typename Visit>
bool forPairsInCoarseGrid(const std::vector<Box>& boxes, const std::vector<std::uint8_t>& skip,
                          const std::vector<std::uint8_t>* large, Touches&& touches, CornerIds&& corners,
                          Visit&& visit) {
    const auto isLarge = [&](std::uint32_t item) { return large == nullptr || (*large)[item] != 0; };
    std::size_t used = 0;
    const Box bounds = boundsOfItems(boxes, skip, used);
    if (used < 2)
        return false;
    const GridShape shape = gridShapeFor(bounds.lo, bounds.hi, used, 256);
    const int* dims = shape.dims;
    const double* scale = shape.scale;
    double size[3];
    for (int k = 0; k < 3; ++k)
        size[k] = (bounds.hi[k] - bounds.lo[k]) / dims[k];
    auto forCells = [&](std::uint32_t item, auto&& action) {
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            const auto cellOf = [&](double x) {
                return static_cast<int>(std::clamp((x - bounds.lo[k]) * scale[k], 0.0, dims[k] - 1.0));
            };
            lo[k] = cellOf(boxes[item].lo[k]);
            hi[k] = cellOf(boxes[item].hi[k]);
        }
        // Halve the block of cells until single cells, dropping blocks the
        // item does not touch: a long sliver visits the cells along it, not
        // every cell of its box.
        struct Block {
            int lo[3], hi[3];
        };
        Block stack[3 * 8 * 4 + 8];
        std::size_t top = 0;
        stack[top++] = {{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}};
        while (top > 0) {
            const Block block = stack[--top];
            const bool single = block.lo[0] == block.hi[0] && block.lo[1] == block.hi[1] && block.lo[2] == block.hi[2];
            double cellLo[3], cellHi[3];
            for (int k = 0; k < 3; ++k) {
                cellLo[k] = bounds.lo[k] + block.lo[k] * size[k];
                cellHi[k] = block.hi[k] == dims[k] - 1 ? bounds.hi[k] : bounds.lo[k] + (block.hi[k] + 1) * size[k];
            }
            if (!(block.lo[0] == lo[0] && block.hi[0] == hi[0] && block.lo[1] == lo[1] && block.hi[1] == hi[1] &&
                  block.lo[2] == lo[2] && block.hi[2] == hi[2]) &&
                isLarge(item) && !touches(item, cellLo, cellHi))
                continue;
            if (single) {
                if (action((static_cast<std::size_t>(block.lo[2]) * dims[1] + block.lo[1]) * dims[0] + block.lo[0]))
                    return true;
                continue;
            }
            int k = 0;
            for (int c = 1; c < 3; ++c)
                if (block.hi[c] - block.lo[c] > block.hi[k] - block.lo[k])
                    k = c;
            const int middle = (block.lo[k] + block.hi[k]) / 2;
            Block first = block, second = block;
            first.hi[k] = middle;
            second.lo[k] = middle + 1;
            stack[top++] = second;
            stack[top++] = first;
        }
        return false;
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(t, [&](std::size_t c) {
                ++start[c + 1];
                return false;
            });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1), entries(start[cellCount]);
    for (std::uint32_t t = 0; t < boxes.size(); ++t)
        if (!skip[t])
            forCells(t, [&](std::size_t c) {
                entries[fill[c]++] = t;
                return false;
            });
    // Crowded cells: the items around the most shared corner first.
    std::vector<std::uint32_t> sharedCorner(cellCount, BSP::kNone), others(cellCount, 0);
    std::vector<std::uint32_t> ids;
    for (std::size_t c = 0; c < cellCount; ++c) {
        std::uint32_t corner = BSP::kNone;
        const std::size_t fan =
            frontFanOfCrowdedCell(entries.data() + start[c], start[c + 1] - start[c], corners, ids, corner);
        others[c] = static_cast<std::uint32_t>(start[c] + fan);
        sharedCorner[c] = fan > 0 ? corner : BSP::kNone;
    }
    std::vector<std::uint32_t> lastSeen(boxes.size(), BSP::kNone);
    for (std::uint32_t s = 0; s < boxes.size(); ++s) {
        if (skip[s] || !isLarge(s))
            continue;
        const std::uint32_t* own = corners(s);
        const bool found = forCells(s, [&](std::size_t c) {
            const std::uint32_t shared = sharedCorner[c];
            const bool aroundShared = shared != BSP::kNone && (own[0] == shared || own[1] == shared || own[2] == shared);
            for (std::uint32_t e = aroundShared ? others[c] : start[c]; e < start[c + 1]; ++e) {
                const std::uint32_t t = entries[e];
                if (t == s || lastSeen[t] == s || (t < s && isLarge(t)))
                    continue;
                lastSeen[t] = s;
                if (own != nullptr && sharesCorner(own, corners(t)))
                    continue;
                if (visit(s, t))
                    return true;
            }
            return false;
        });
        if (found)
            return true;
    }
    return false;
}

/// Calls visit(i, j) once for each pair i < j of overlapping boxes that
/// share a cell of a sparse grid whose cells are as large as the median
/// box; stops when visit returns true, and returns whether it did. Suits
/// boxes strung along a curve, as the arcs of a fan around one corner are,
/// where a dense grid would be mostly empty.
template <typename Visit>
bool forNearBoxesAlongCurves(const std::vector<Box>& boxes, Visit&& visit) {
    std::vector<double> sizes;
    for (const Box& b : boxes)
        sizes.push_back(std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]}));
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2), sizes.end());
    const double cell = std::max(sizes[sizes.size() / 2], 1e-300);
    // Cell coordinates of unit-sphere boxes stay far inside 21 bits a side
    // unless the cells are tiny; clamp then (a coarser index, still exact
    // about which pairs it offers).
    const auto cellOf = [&](double x) {
        return static_cast<std::int64_t>(std::clamp(std::floor((x + 2.0) / cell), 0.0, 2097151.0));
    };
    const auto key = [](std::int64_t x, std::int64_t y, std::int64_t z) {
        return static_cast<std::uint64_t>((x << 42) | (y << 21) | z);
    };
    std::vector<std::pair<std::uint64_t, std::uint32_t>> entries;
    auto forCells = [&](std::uint32_t i, auto&& action) {
        const Box& b = boxes[i];
        const std::int64_t x0 = cellOf(b.lo[0]), x1 = cellOf(b.hi[0]), y0 = cellOf(b.lo[1]), y1 = cellOf(b.hi[1]),
                           z0 = cellOf(b.lo[2]), z1 = cellOf(b.hi[2]);
        for (std::int64_t x = x0; x <= x1; ++x)
            for (std::int64_t y = y0; y <= y1; ++y)
                for (std::int64_t z = z0; z <= z1; ++z)
                    if (action(key(x, y, z)))
                        return true;
        return false;
    };
    for (std::uint32_t i = 0; i < boxes.size(); ++i)
        forCells(i, [&](std::uint64_t k) {
            entries.emplace_back(k, i);
            return false;
        });
    std::sort(entries.begin(), entries.end());
    std::vector<std::uint32_t> lastSeen(boxes.size(), BSP::kNone);
    for (std::uint32_t i = 0; i < boxes.size(); ++i) {
        const bool found = forCells(i, [&](std::uint64_t k) {
            auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(k, std::uint32_t{0}));
            for (; it != entries.end() && it->first == k; ++it) {
                const std::uint32_t j = it->second;
                if (j <= i || lastSeen[j] == i)
                    continue;
                lastSeen[j] = i;
                if (BSP::overlaps(boxes[i], boxes[j]) && visit(i, j))
                    return true;
            }
            return false;
        });
        if (found)
            return true;
    }
    return false;
}


} // namespace NearPairs
} // namespace Kiln
